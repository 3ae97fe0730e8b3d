#include <cmath>

#include "chain_simd.h"
#include "sine_kernel.h"

void chainKernel_sse2(const ChainBlock&, ChainChannel* const*, const float* const*, float* const*, int, int);
void chainKernel_avx2(const ChainBlock&, ChainChannel* const*, const float* const*, float* const*, int, int);
void chainKernel_avx512(const ChainBlock&, ChainChannel* const*, const float* const*, float* const*, int, int);

void chainSine_sse2(const float*, float*, int);
void chainSine_avx2(const float*, float*, int);
void chainSine_avx512(const float*, float*, int);

const char* chainTargetName(ChainTarget target) {
    switch (target) {
        case ChainTarget::kSse2: return "SSE2";
        case ChainTarget::kAvx2: return "AVX2";
        case ChainTarget::kAvx512: return "AVX-512";
        default: return "?";
    }
}

bool chainTargetAvailable(ChainTarget target) {
    switch (target) {
        case ChainTarget::kSse2: return true;
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
        // The compiler's checks include the operating system's support for the wider registers.
        case ChainTarget::kAvx2: return __builtin_cpu_supports("avx2");
        case ChainTarget::kAvx512: return __builtin_cpu_supports("avx512f");
#endif
        default: return false;
    }
}

ChainTarget bestChainTarget() {
    if (chainTargetAvailable(ChainTarget::kAvx512)) return ChainTarget::kAvx512;
    if (chainTargetAvailable(ChainTarget::kAvx2)) return ChainTarget::kAvx2;
    return ChainTarget::kSse2;
}

ChainKernel chainKernel(ChainTarget target) {
    switch (target) {
        case ChainTarget::kAvx2: return chainKernel_avx2;
        case ChainTarget::kAvx512: return chainKernel_avx512;
        default: return chainKernel_sse2;
    }
}

ChainSineArray chainSineArray(ChainTarget target) {
    switch (target) {
        case ChainTarget::kAvx2: return chainSine_avx2;
        case ChainTarget::kAvx512: return chainSine_avx512;
        default: return chainSine_sse2;
    }
}

namespace {
bool finite(float v) { return std::isfinite(v); }
}  // namespace

void chainExact(const ChainBlock& b, ChainChannel& st, const float* in, float* out, int frames) {
    for (int i = 0; i < frames; ++i) {
        const float x = finite(in[i]) ? in[i] : 0.0f;

        const float d = std::fabs(x) - st.envelope;  // envelope follower on the raw input
        const float a = d < 0.0f ? b.envDec : b.envAtk;
        st.envelope = st.envelope + a * d;

        const float g = b.preAmp8 * x;  // s = sin(2g)·shape + sin(g)·(1 − shape)
        const float s = chainSine(g * 2.0f) * b.shape + chainSine(g) * b.oneMinusShape;

        float u = ((b.env * st.envelope) * 2.0f + b.cutoff) * 0.25f;
        u = u > 0.0f ? u : 0.0f;
        u = u < 0.25f ? u : 0.25f;
        const float f = chainSine(u * 3.1415927f) * 2.0f;
        const float t = 2.0f / f - f * 0.5f;  // q = fmin(dampingLimit, fmin(2, t)), NaN losing
        const float m = t < 2.0f ? t : 2.0f;
        const float q = m < b.dampingLimit || b.dampingLimit != b.dampingLimit ? m : b.dampingLimit;
        st.cutoffCoef = f, st.damping = q;

        float o[2];
        for (float& half : o) {
            st.notch = s - q * st.band;  // notch = s − q·band
            st.low = f * st.band + st.low;
            st.high = st.notch - st.low;
            st.band = st.high * f + st.band;
            st.peak = st.low - st.high;
            switch (b.mode) {
                case 1: half = st.high; break;
                case 2: half = st.band; break;
                case 3: half = st.notch; break;
                case 4: half = st.peak; break;
                default: half = st.low; break;
            }
        }
        const float y = (o[0] + o[1]) * 0.5f;

        const float ay = std::fabs(y);  // z = ((k + |y|)·y) / (((k − 1)·|y| + y²) + 1)
        float z = ((b.drive + ay) * y) / ((b.driveMinusOne * ay + y * y) + 1.0f);
        z = z > -1.0f ? z : -1.0f;
        z = z < 1.0f ? z : 1.0f;
        out[i] = b.postAmp * z;

        if (!finite(st.envelope) || !finite(st.low) || !finite(st.band))
            st.envelope = st.notch = st.low = st.high = st.band = st.peak = 0.0f;
    }
}
