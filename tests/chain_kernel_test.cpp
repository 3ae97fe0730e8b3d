// The fast chain against the oracle run sample by sample, one channel after the other, with
// the same sine: the same output bits and the same state, for random settings, block sizes
// and buffer layouts (aliased ones included), on every instruction set this processor offers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "chain_oracle.h"
#include "effect/morvex.h"
#include "effect/sine_kernel.h"

namespace {

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 2400; }

std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Buffers as a host may hand them: separate, in place, or sharing memory across channels.
enum class Layout { kSeparate, kInPlace, kSharedOutput, kOutput0IsInput1, kOutput1IsInput0, kOutputsShifted };
const char* name(Layout layout) {
    switch (layout) {
        case Layout::kSeparate: return "separate buffers";
        case Layout::kInPlace: return "in place";
        case Layout::kSharedOutput: return "both outputs one buffer";
        case Layout::kOutput0IsInput1: return "first output is the second input";
        case Layout::kOutput1IsInput0: return "second output is the first input";
        case Layout::kOutputsShifted: return "each output one sample behind its input";
    }
    return "?";
}

// Places the four buffers of one block inside `memory` (which holds the inputs at 0 and
// frames + 8) and returns in[2], out[2].
void place(Layout layout, std::vector<float>& memory, int frames, float** in, float** out) {
    float* base = memory.data();
    in[0] = base + 1, in[1] = base + frames + 9;
    float* spare = base + 2 * frames + 20;
    switch (layout) {
        case Layout::kSeparate: out[0] = spare, out[1] = spare + frames + 4; break;
        case Layout::kInPlace: out[0] = in[0], out[1] = in[1]; break;
        case Layout::kSharedOutput: out[0] = out[1] = spare; break;
        case Layout::kOutput0IsInput1: out[0] = in[1], out[1] = spare; break;
        case Layout::kOutput1IsInput0: out[0] = spare, out[1] = in[0]; break;
        case Layout::kOutputsShifted: out[0] = in[0] + 1, out[1] = in[1] - 1; break;
    }
}

struct Random {
    std::mt19937 engine;
    explicit Random(unsigned seed) : engine(seed) {}
    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(engine); }
    int integer(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine); }
    // Mostly audio, sometimes silence, huge values, subnormals, inf and NaN.
    float sample() {
        switch (integer(0, 40)) {
            case 0: return std::numeric_limits<float>::quiet_NaN();
            case 1: return -std::numeric_limits<float>::infinity();
            case 2: return uniform(-1.0f, 1.0f) * 3e38f;
            case 3: return uniform(-1.0f, 1.0f) * 1e-39f;
            case 4: return uniform(-1.0f, 1.0f) * 5e5f;
            default: return uniform(-1.0f, 1.0f);
        }
    }
};

struct Outcome {
    std::vector<float> memory;
    OracleState state[2];
};

// Runs `blocks` on a fresh effect with the given target.
struct Case {
    const float* params;
    std::vector<std::vector<float>> inputs[2];  // per block
    Layout layout;
};

// Lays each block of `run` out in fresh memory, lets `process` fill it and keeps the whole
// memory, so that writes outside the output buffers show too.
template <typename Process>
void runBlocks(const Case& run, Outcome& o, Process process) {
    for (std::size_t blk = 0; blk < run.inputs[0].size(); ++blk) {
        const int frames = static_cast<int>(run.inputs[0][blk].size());
        std::vector<float> memory(4 * frames + 40, -7.0f);
        float *in[2], *out[2];
        place(run.layout, memory, frames, in, out);
        std::copy(run.inputs[0][blk].begin(), run.inputs[0][blk].end(), in[0]);
        std::copy(run.inputs[1][blk].begin(), run.inputs[1][blk].end(), in[1]);
        process(in, out, frames);
        o.memory.insert(o.memory.end(), memory.begin(), memory.end());
    }
}

Outcome runEffect(const Case& run, ChainTarget target) {
    Morvex effect(host);
    EXPECT_TRUE(effect.useChainTarget(target));
    for (int i = 0; i < kNumParams; ++i) effect.setParameter(i, run.params[i]);
    Outcome o;
    runBlocks(run, o, [&](float** in, float** out, int frames) { effect.processReplacing(in, out, frames); });
    for (int c = 0; c < 2; ++c) {
        const ChannelState& s = effect.channelState(c);
        o.state[c] = {s.envelope, s.notch, s.low, s.high, s.band, s.peak};
    }
    return o;
}

// The oracle, first channel then second, on the same memory layout.
Outcome runOracle(const Case& run) {
    Outcome o{};
    OracleParams params;
    for (int i = 0; i < kNumParams; ++i) params.values[i] = run.params[i];
    params.mode = filterModeFor(run.params[kMode]);
    runBlocks(run, o, [&](float** in, float** out, int frames) {
        for (int c = 0; c < 2; ++c)
            oracleProcessFlushed(params, o.state[c], in[c], out[c], frames, chainSine, chainFourthRoot);
    });
    return o;
}

void expectSameBits(const Outcome& got, const Outcome& want) {
    ASSERT_EQ(got.memory.size(), want.memory.size());
    for (std::size_t i = 0; i < got.memory.size(); ++i)
        if (bits(got.memory[i]) != bits(want.memory[i])) {
            ADD_FAILURE() << "first difference at memory index " << i << ": " << got.memory[i] << " instead of "
                          << want.memory[i];
            return;
        }
    for (int c = 0; c < 2; ++c) {
        const float* g = &got.state[c].envelope;
        const float* w = &want.state[c].envelope;
        for (int f = 0; f < 6; ++f) EXPECT_EQ(bits(g[f]), bits(w[f])) << "channel " << c << " state field " << f;
    }
}

TEST(ChainKernel, EveryTargetMatchesTheOracleWithTheSameSineBitForBit) {
    Random random(20261211);
    const Layout layouts[] = {Layout::kSeparate,        Layout::kInPlace,         Layout::kSharedOutput,
                              Layout::kOutput0IsInput1, Layout::kOutput1IsInput0, Layout::kOutputsShifted};
    for (int trial = 0; trial < 300; ++trial) {
        float params[kNumParams];
        for (float& p : params) p = random.uniform(0.0f, 1.0f);
        if (trial % 4 == 0) params[kResonance] = 1.0f;
        if (trial % 7 == 0) params[random.integer(0, kNumParams - 1)] = random.uniform(-2.0f, 3.0f);
        Case run{params, {}, layouts[trial % 6]};
        const bool wild = trial % 3 == 0;
        for (int blk = random.integer(1, 4); blk > 0; --blk) {
            const int frames = random.integer(0, 1) ? random.integer(1, 70) : random.integer(0, 700);
            for (auto& channel : run.inputs) {
                channel.emplace_back(frames);
                for (float& v : channel.back()) v = wild ? random.sample() : random.uniform(-1.0f, 1.0f);
            }
        }
        const Outcome want = runOracle(run);
        for (int t = 0; t < static_cast<int>(ChainTarget::kCount); ++t) {
            const auto target = static_cast<ChainTarget>(t);
            if (!chainTargetAvailable(target)) continue;
            SCOPED_TRACE(::testing::Message() << "trial " << trial << ", " << name(run.layout) << ", "
                                              << chainTargetName(target));
            expectSameBits(runEffect(run, target), want);
        }
    }
}

}  // namespace

namespace {

// The damping bound comes from Resonance^0.25 once per block. The chain's fourth root is
// the correctly rounded one (checked against long double) for a dense sweep of 0..1, and
// the C library's powf is at most one unit in the last place from it.
TEST(ChainKernel, FourthRootOfResonanceIsCorrectlyRounded) {
    long differing = 0, checked = 0;
    for (std::uint32_t pattern = 0x00800000u; pattern <= 0x3f800000u; pattern += 1021u) {
        float resonance;
        std::memcpy(&resonance, &pattern, sizeof resonance);
        const float got = chainFourthRoot(resonance);
        const float exact = static_cast<float>(std::pow(static_cast<long double>(resonance), 0.25L));
        ASSERT_EQ(bits(got), bits(exact)) << "Resonance " << resonance;
        const float library = std::pow(resonance, 0.25f);
        ++checked;
        if (bits(library) == bits(got)) continue;
        ++differing;
        ASSERT_TRUE(bits(got) == bits(std::nextafter(library, 0.0f)) || bits(got) == bits(std::nextafter(library, 2.0f)))
            << "Resonance " << resonance << ": " << got << ", powf gives " << library;
    }
    std::printf("powf differs from the correctly rounded fourth root for %ld of %ld values\n", differing, checked);
}

}  // namespace
