// Speed of the chain, in nanoseconds per sample per channel ("ns_per_sample" counter):
// - Straightforward: the chain as written, sample by sample, sinf and powf every sample;
// - Shipped/<target>: Morvex::processReplacing with each instruction set the CPU has;
// - DependencyBound: only the recursions (envelope and the two filter half-steps) of both
//   channels interleaved, with the sines and coefficients precomputed: the floor.
// Inputs: white noise, a 440 Hz sine, and a loud burst followed by silence (the filter and
// envelope ring down through the subnormal range). Frames per block: 32, 512, 4096.
// Summarise with bench/summarise.py for the ratios.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "effect/morvex.h"

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

// The chain exactly as written, one channel after the other.
struct PlainChannel {
    float envelope = 0, notch = 0, low = 0, high = 0, band = 0, peak = 0;
};

void plainChain(const float* p, int mode, PlainChannel& st, const float* in, float* out, int frames) {
    float* selected = mode == 1 ? &st.high : mode == 2 ? &st.band : mode == 3 ? &st.notch : mode == 4 ? &st.peak
                                                                                                       : &st.low;
    for (int i = 0; i < frames; ++i) {
        const float x = in[i];
        const float d = std::fabs(x) - st.envelope;
        const float a = d < 0.0f ? p[kEnvDec] : p[kEnvAtk];
        st.envelope = st.envelope + a * d;
        const float g = (p[kPreAmp] * 8.0f) * x;
        const float s = std::sin(g * 2.0f) * p[kShape] + std::sin(g) * (1.0f - p[kShape]);
        float u = ((p[kEnv] * st.envelope) * 2.0f + p[kCutoff]) * 0.25f;
        u = u > 0.0f ? u : 0.0f;
        u = u < 0.25f ? u : 0.25f;
        const float f = std::sin(u * 3.1415927f) * 2.0f;
        const float m = std::fmin(2.0f, 2.0f / f - f * 0.5f);
        const float q = std::fmin((1.0f - std::pow(p[kResonance], 0.25f)) * 2.0f, m);
        float o[2];
        for (float& half : o) {
            st.notch = s - q * st.band;
            st.low = f * st.band + st.low;
            st.high = st.notch - st.low;
            st.band = st.high * f + st.band;
            st.peak = st.low - st.high;
            half = *selected;
        }
        const float y = (o[0] + o[1]) * 0.5f;
        const float k = p[kDisto] * 8.0f;
        const float ay = std::fabs(y);
        float z = ((k + ay) * y) / (((k - 1.0f) * ay + y * y) + 1.0f);
        z = z > -1.0f ? z : -1.0f;
        z = z < 1.0f ? z : 1.0f;
        out[i] = p[kPostAmp] * z;
    }
}

void Straightforward(benchmark::State& state, Signal signal) {
    const int frames = static_cast<int>(state.range(0));
    Stereo io(signal);
    PlainChannel channels[2];
    int at = 0;
    for (auto _ : state) {
        for (int c = 0; c < 2; ++c) plainChain(kSetting, 2, channels[c], &io.in[c][at], &io.out[c][at], frames);
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
