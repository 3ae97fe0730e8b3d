// Speed of the chain, in nanoseconds per sample per channel ("ns_per_sample" counter):
// - Straightforward: the chain as written (the tests' oracle), sample by sample, sinf and
//   powf every sample, in the caller's floating-point mode;
// - Shipped/<target>: Morvex::processReplacing with each instruction set the CPU has;
// - DependencyBound: only the recursions (envelope and the two filter half-steps) of both
//   channels interleaved, with the sines and coefficients precomputed: the floor.
// Inputs: white noise, a 440 Hz sine, and a loud burst followed by silence (the filter and
// envelope ring down through the subnormal range). Frames per block: 32, 512, 4096.
// bench/summarise.py turns the JSON output into the table of the README, with the ratios.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "effect/morvex.h"
#include "tests/chain_oracle.h"

namespace {

constexpr int kCycle = 16 * 4096;  // frames of input the blocks walk through, cyclically

enum Signal { kNoise, kSine, kBurst };
const char* const kSignalNames[] = {"noise", "sine", "burst_then_silence"};

std::vector<float> makeSignal(Signal signal, unsigned seed) {
    std::vector<float> v(kCycle);
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (int i = 0; i < kCycle; ++i) {
        switch (signal) {
            case kNoise: v[i] = uniform(random); break;
            case kSine: v[i] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 440.0 * i / 44100.0)); break;
            case kBurst: v[i] = i < 4096 ? uniform(random) : 0.0f; break;
        }
    }
    return v;
}

// A setting that uses every stage: envelope opening a resonant band-pass, some drive.
constexpr float kSetting[kNumParams] = {0.5f, 0.3f, 0.3f, 0.4f, 0.7f, 0.5f, 0.5f, 0.9f, 0.1f, 0.5f};

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == 1 ? 2400 : 0;  // audioMasterVersion
}

struct Stereo {
    std::vector<float> in[2], out[2];
    explicit Stereo(Signal signal) {
        for (int c = 0; c < 2; ++c) in[c] = makeSignal(signal, 1 + c), out[c].assign(kCycle, 0.0f);
    }
};

void report(benchmark::State& state, int frames) {
    state.counters["ns_per_sample"] = benchmark::Counter(
        2.0 * frames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void Straightforward(benchmark::State& state, Signal signal) {
    const int frames = static_cast<int>(state.range(0));
    Stereo io(signal);
    OracleParams params = oracleDefaults();
    for (int i = 0; i < kNumParams; ++i) params.values[i] = kSetting[i];
    params.mode = filterModeFor(kSetting[kMode]);
    OracleState channels[2];
    int at = 0;
    for (auto _ : state) {
        for (int c = 0; c < 2; ++c) oracleProcess(params, channels[c], &io.in[c][at], &io.out[c][at], frames);
        benchmark::DoNotOptimize(io.out[1][at]);
        at = (at + frames) % kCycle;
    }
    report(state, frames);
}

void Shipped(benchmark::State& state, Signal signal, ChainTarget target) {
    const int frames = static_cast<int>(state.range(0));
    Morvex effect(host);
    if (!effect.useChainTarget(target)) {
        state.SkipWithError("instruction set not available");
        return;
    }
    for (int i = 0; i < kNumParams; ++i) effect.setParameter(i, kSetting[i]);
    Stereo io(signal);
    int at = 0;
    for (auto _ : state) {
        float* in[2] = {&io.in[0][at], &io.in[1][at]};
        float* out[2] = {&io.out[0][at], &io.out[1][at]};
        effect.processReplacing(in, out, frames);
        benchmark::DoNotOptimize(io.out[1][at]);
        at = (at + frames) % kCycle;
    }
    report(state, frames);
}

// Envelope plus the two filter half-steps, the two channels in the lanes of one vector and
// the envelope's choice of coefficient made without a branch; sines and coefficients
// precomputed. No chain can be faster than its recursions: this is the floor.
typedef float Lanes __attribute__((vector_size(16)));

void DependencyBound(benchmark::State& state, Signal signal) {
    const int frames = static_cast<int>(state.range(0));
    Stereo io(signal);
    std::vector<float> s[2], f[2], q[2];
    for (int c = 0; c < 2; ++c) {
        s[c].resize(kCycle), f[c].resize(kCycle), q[c].resize(kCycle);
        for (int i = 0; i < kCycle; ++i) {
            s[c][i] = std::sin(io.in[c][i] * 4.0f);
            f[c][i] = 0.8f + 0.1f * io.in[c][i];
            q[c][i] = 0.5f;
        }
    }
    const Lanes atk = Lanes{} + kSetting[kEnvAtk], dec = Lanes{} + kSetting[kEnvDec];
    Lanes env{}, low{}, band{};
    int at = 0;
    OracleFlushedMode flushed;  // subnormals flushed, as the shipped chain runs
    for (auto _ : state) {
        for (int i = at; i < at + frames; ++i) {
            const Lanes x = {io.in[0][i], io.in[1][i], 0.0f, 0.0f};
            const Lanes d = (x < 0.0f ? -x : x) - env;
            env = env + (d < 0.0f ? dec : atk) * d;
            const Lanes si = {s[0][i], s[1][i], 0.0f, 0.0f}, fi = {f[0][i], f[1][i], 0.0f, 0.0f},
                        qi = {q[0][i], q[1][i], 0.0f, 0.0f};
            Lanes o{};
            for (int h = 0; h < 2; ++h) {
                const Lanes notch = si - qi * band;
                low = fi * band + low;
                const Lanes high = notch - low;
                band = high * fi + band;
                o += band;
            }
            o = o * 0.5f + env;
            io.out[0][i] = o[0], io.out[1][i] = o[1];
        }
        benchmark::DoNotOptimize(io.out[1][at]);
        at = (at + frames) % kCycle;
    }
    report(state, frames);
}

// The vector sine alone, per value, over arguments like those the shaper sees.
void Sine(benchmark::State& state, ChainTarget target) {
    std::vector<float> in = makeSignal(kNoise, 7), out(4096);
    for (float& v : in) v *= 8.0f;
    const ChainSineArray sine = chainSineArray(target);
    for (auto _ : state) {
        sine(in.data(), out.data(), 4096);
        benchmark::DoNotOptimize(out[0]);
    }
    state.counters["ns_per_value"] = benchmark::Counter(
        4096, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void registerAll() {
    for (int t = 0; t < static_cast<int>(ChainTarget::kCount); ++t) {
        const auto target = static_cast<ChainTarget>(t);
        if (chainTargetAvailable(target))
            benchmark::RegisterBenchmark(("Sine_" + std::string(chainTargetName(target))).c_str(), Sine, target);
    }
    for (int sig = 0; sig < 3; ++sig) {
        const auto signal = static_cast<Signal>(sig);
        const std::string name = kSignalNames[sig];
        benchmark::RegisterBenchmark(("Straightforward/" + name).c_str(), Straightforward, signal)
            ->Arg(32)->Arg(512)->Arg(4096);
        for (int t = 0; t < static_cast<int>(ChainTarget::kCount); ++t) {
            const auto target = static_cast<ChainTarget>(t);
            if (!chainTargetAvailable(target)) continue;
            benchmark::RegisterBenchmark(("Shipped_" + std::string(chainTargetName(target)) + "/" + name).c_str(),
                                         Shipped, signal, target)
                ->Arg(32)->Arg(512)->Arg(4096);
        }
        benchmark::RegisterBenchmark(("DependencyBound/" + name).c_str(), DependencyBound, signal)
            ->Arg(32)->Arg(512)->Arg(4096);
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
