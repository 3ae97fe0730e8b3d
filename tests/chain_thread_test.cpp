// The host may set parameters from another thread while a block is processed. Run under
// ThreadSanitizer this finds any unsynchronised access between the setter and the block copy.
#include <atomic>
#include <cmath>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "module_fixture.h"

namespace {

using ChainThreads = ModuleTest;

TEST_F(ChainThreads, ParameterChangesWhileProcessingKeepTheOutputFiniteAndBounded) {
    std::atomic<bool> stop{false};
    std::atomic<long> rounds{0};
    std::thread setter([&] {
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> unit(-0.25f, 1.25f);
        const float odd[] = {std::numeric_limits<float>::quiet_NaN(), 2.0f, -1.0f, 1e30f};
        while (!stop.load(std::memory_order_relaxed)) {
            for (VstInt32 i = 0; i < 10; ++i) {
                effect->setParameter(i, rng() % 16 == 0 ? odd[rng() % 4] : unit(rng));
                (void)effect->getParameter((i + 3) % 10);
            }
            rounds.fetch_add(1, std::memory_order_relaxed);
        }
    });

    std::mt19937 rng(2);
    std::uniform_real_distribution<float> signal(-1.0f, 1.0f);
    std::vector<float> left(256), right(256), outLeft(256), outRight(256);
    float* ins[2] = {left.data(), right.data()};
    float* outs[2] = {outLeft.data(), outRight.data()};
    bool bounded = true;
    for (int block = 0; block < 100 || rounds.load(std::memory_order_relaxed) < 200; ++block) {
        for (std::size_t i = 0; i < left.size(); ++i) {
            left[i] = signal(rng);
            right[i] = signal(rng);
        }
        effect->processReplacing(ins, outs, 256);
        (void)effect->getParameter(block % 10);
        for (std::size_t i = 0; i < left.size(); ++i)
            bounded = bounded && std::isfinite(outLeft[i]) && std::isfinite(outRight[i]) &&
                      std::fabs(outLeft[i]) <= 1.0f && std::fabs(outRight[i]) <= 1.0f;
        if (block > 100000) break;  // a setter that never gets to run is no reason to hang
    }
    stop.store(true, std::memory_order_relaxed);
    setter.join();
    EXPECT_TRUE(bounded) << "an output left -1..1 or was not finite";
    EXPECT_GT(rounds.load(), 0);
}

}  // namespace
