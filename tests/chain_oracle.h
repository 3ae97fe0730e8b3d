// The reference for the signal chain: a plain scalar transliteration of one channel's
// per-sample step, with the same guards (non-finite input as silence, restart of a channel
// whose state is not finite) and the same clamping of the parameters to 0..1. The shipped
// chain must match it bit for bit when both run in the same floating-point mode; a faster
// chain with its own sine passes that sine in here.
#pragma once

#include <array>
#include <cmath>

#include "effect/parameters.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

using SineFn = float (*)(float);
inline float oracleStdSine(float x) { return std::sin(x); }
// Resonance^0.25; a chain with its own power function passes it in too.
using FourthRootFn = float (*)(float);
inline float oracleStdFourthRoot(float v) { return std::pow(v, 0.25f); }

struct OracleParams {
    std::array<float, kNumParams> values;  // as the host sets them, unclamped
    FilterMode mode;
};

// The effect's state after construction.
inline OracleParams oracleDefaults() {
    OracleParams params{};
    for (int i = 0; i < kNumParams; ++i) params.values[i] = kParameters[i].defaultValue;
    params.mode = filterModeFor(params.values[kMode]);
    return params;
}

struct OracleState {
    float envelope = 0.0f;
    float notch = 0.0f;
    float low = 0.0f;
    float high = 0.0f;
    float band = 0.0f;
    float peak = 0.0f;
};

inline float oracleClampUnit(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

inline float oracleSelected(const OracleState& st, FilterMode mode) {
    switch (mode) {
        case kFilterHp: return st.high;
        case kFilterBand: return st.band;
        case kFilterNotch: return st.notch;
        case kFilterPeak: return st.peak;
        default: return st.low;
    }
}

// One channel, n samples; in and out may be the same buffer.
inline void oracleProcess(const OracleParams& params, OracleState& st, const float* in, float* out, int n,
                          SineFn sine = oracleStdSine, FourthRootFn fourthRoot = oracleStdFourthRoot) {
    std::array<float, kNumParams> p;
    for (int i = 0; i < kNumParams; ++i) p[i] = oracleClampUnit(params.values[i]);
    for (int i = 0; i < n; ++i) {
        float x = in[i];
        if (!std::isfinite(x)) x = 0.0f;

        float d = std::fabs(x) - st.envelope;
        float a = d < 0.0f ? p[kEnvDec] : p[kEnvAtk];
        st.envelope = st.envelope + a * d;

        float g = (p[kPreAmp] * 8.0f) * x;
        float s = sine(g * 2.0f) * p[kShape] + sine(g) * (1.0f - p[kShape]);

        float u = ((p[kEnv] * st.envelope) * 2.0f + p[kCutoff]) * 0.25f;
        if (!(u > 0.0f)) u = 0.0f;
        if (!(u < 0.25f)) u = 0.25f;
        float f = sine(u * 3.1415927f) * 2.0f;

        float m = std::fmin(2.0f, 2.0f / f - f * 0.5f);
        float q = std::fmin((1.0f - fourthRoot(p[kResonance])) * 2.0f, m);

        float o[2];
        for (int half = 0; half < 2; ++half) {
            st.notch = s - q * st.band;
            st.low = f * st.band + st.low;
            st.high = st.notch - st.low;
            st.band = st.high * f + st.band;
            st.peak = st.low - st.high;
            o[half] = oracleSelected(st, params.mode);
        }
        float y = (o[0] + o[1]) * 0.5f;

        float k = p[kDisto] * 8.0f;
        float ay = std::fabs(y);
        float z = ((k + ay) * y) / (((k - 1.0f) * ay + y * y) + 1.0f);
        if (!(z > -1.0f)) z = -1.0f;
        if (!(z < 1.0f)) z = 1.0f;
        out[i] = p[kPostAmp] * z;

        if (!std::isfinite(st.envelope) || !std::isfinite(st.low) || !std::isfinite(st.band)) st = OracleState{};
    }
}

// While it lives, the floating-point mode is the one the module's chain runs in: subnormal
// results flushed to zero and subnormal operands read as zero (x86 only; elsewhere nothing).
class OracleFlushedMode {
public:
#if defined(__SSE2__) || defined(_M_X64)
    OracleFlushedMode() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8040u); }
    ~OracleFlushedMode() { _mm_setcsr(saved_); }

private:
    unsigned saved_;
#endif
};

inline void oracleProcessFlushed(const OracleParams& params, OracleState& st, const float* in, float* out, int n,
                                 SineFn sine = oracleStdSine, FourthRootFn fourthRoot = oracleStdFourthRoot) {
    OracleFlushedMode flushed;
    oracleProcess(params, st, in, out, n, sine, fourthRoot);
}
