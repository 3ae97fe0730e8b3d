// Does a filter ringing out into silence cost more than a busy one? Each iteration processes
// 16 blocks of 512 stereo frames through the built module: either noise throughout, or one
// loud block followed by fifteen of silence, during which the filter decays towards the
// subnormal range. The module flushes subnormals, so both should run at the same speed. The
// same two signals through the plain oracle, flushed and not, show what the flush avoids;
// subnormal_blocks is the share of blocks after which the oracle's filter held a subnormal.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/vst_host.h"
#include "tests/chain_oracle.h"

namespace {

constexpr int kBlock = 512;
constexpr int kBlocks = 16;

struct Signal {
    std::vector<float> left, right;  // kBlock × kBlocks frames
};

Signal makeSignal(bool burstThenSilence) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    Signal s{std::vector<float>(kBlock * kBlocks), std::vector<float>(kBlock * kBlocks)};
    for (int i = 0; i < kBlock * kBlocks; ++i) {
        const bool loud = !burstThenSilence || i < kBlock;
        s.left[i] = loud ? dist(rng) : 0.0f;
        s.right[i] = loud ? dist(rng) : 0.0f;
    }
    return s;
}

// A resonant low-pass with the envelope opening it: rings for a while after the burst.
OracleParams benchParams() {
    OracleParams p = oracleDefaults();
    p.values[kPreAmp] = 0.5f;
    p.values[kCutoff] = 0.1f;
    p.values[kResonance] = 0.6f;
    p.values[kEnv] = 0.5f;
    p.values[kEnvDec] = 0.3f;
    p.values[kPostAmp] = 0.8f;
    p.mode = filterModeFor(p.values[kMode]);
    return p;
}

void moduleChain(benchmark::State& state, bool burstThenSilence) {
    std::string error;
    auto module = vsthost::Module::load(MORVEX_MODULE_PATH, error);
    if (!module) {
        state.SkipWithError(error.c_str());
        return;
    }
    auto effect = module->instantiate();
    const OracleParams params = benchParams();
    for (VstInt32 i = 0; i < kNumParams; ++i) effect->setParameter(i, params.values[i]);
    const Signal in = makeSignal(burstThenSilence);
    std::vector<float> outLeft(kBlock), outRight(kBlock);
    float* outs[2] = {outLeft.data(), outRight.data()};
    for (auto _ : state) {
        for (int b = 0; b < kBlocks; ++b) {
            float* ins[2] = {const_cast<float*>(in.left.data()) + b * kBlock,
                             const_cast<float*>(in.right.data()) + b * kBlock};
            effect->processReplacing(ins, outs, kBlock);
        }
        benchmark::DoNotOptimize(outLeft.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock * kBlocks);
}

// The plain oracle, in the caller's floating-point mode or in the module's (flushed).
void oracleChain(benchmark::State& state, bool burstThenSilence, bool flushed) {
    const OracleParams params = benchParams();
    const Signal in = makeSignal(burstThenSilence);
    OracleState left, right;
    std::vector<float> outLeft(kBlock), outRight(kBlock);
    long subnormalBlocks = 0;
    for (auto _ : state) {
        for (int b = 0; b < kBlocks; ++b) {
            if (flushed) {
                oracleProcessFlushed(params, left, in.left.data() + b * kBlock, outLeft.data(), kBlock);
                oracleProcessFlushed(params, right, in.right.data() + b * kBlock, outRight.data(), kBlock);
            } else {
                oracleProcess(params, left, in.left.data() + b * kBlock, outLeft.data(), kBlock);
                oracleProcess(params, right, in.right.data() + b * kBlock, outRight.data(), kBlock);
            }
            subnormalBlocks += std::fpclassify(left.band) == FP_SUBNORMAL;
        }
        benchmark::DoNotOptimize(outLeft.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock * kBlocks);
    state.counters["subnormal_blocks"] =
        benchmark::Counter(static_cast<double>(subnormalBlocks) / (state.iterations() * kBlocks));
}

BENCHMARK_CAPTURE(moduleChain, noise, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(moduleChain, burst_then_silence, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(oracleChain, noise_flushed, false, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(oracleChain, burst_then_silence_flushed, true, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(oracleChain, noise_unflushed, false, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(oracleChain, burst_then_silence_unflushed, true, false)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
