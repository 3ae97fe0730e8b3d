// The chain split into its recursions (envelope; filter states), run sample by sample with
// the channels interleaved, and everything else (input sines, cutoff coefficient and
// damping, clipper, gain), run over vectors of MORVEX_VECTOR_BYTES bytes on a stack chunk.
// Each SIMD translation unit includes this once with its own vector width and defines
// MORVEX_KERNEL_NAME and MORVEX_SINE_NAME; every width performs the same IEEE operations, lane by lane, as the
// sample-by-sample chain, so all give the same bits.
#pragma once

#include "chain_simd.h"
#include "sine_kernel.h"

#ifndef MORVEX_VECTOR_BYTES
#error "define MORVEX_VECTOR_BYTES before including chain_kernel.h"
#endif

namespace {

constexpr int kLanes = MORVEX_VECTOR_BYTES / 4;
constexpr int kHalfLanes = kLanes / 2;
constexpr int kChunk = 64;  // frames per stack chunk: six arrays per channel stay in L1

typedef float VF __attribute__((vector_size(MORVEX_VECTOR_BYTES)));
typedef unsigned VU __attribute__((vector_size(MORVEX_VECTOR_BYTES)));
typedef int VI __attribute__((vector_size(MORVEX_VECTOR_BYTES)));
typedef float VFHalf __attribute__((vector_size(MORVEX_VECTOR_BYTES / 2)));
typedef unsigned VUHalf __attribute__((vector_size(MORVEX_VECTOR_BYTES / 2)));
typedef int VIHalf __attribute__((vector_size(MORVEX_VECTOR_BYTES / 2)));
typedef double VD __attribute__((vector_size(MORVEX_VECTOR_BYTES)));
typedef unsigned long long VQ __attribute__((vector_size(MORVEX_VECTOR_BYTES)));

template <class V>
inline V load(const float* p) {
    V v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}
template <class V>
inline void store(float* p, V v) {
    __builtin_memcpy(p, &v, sizeof v);
}
inline VF splat(float value) { return VF{} + value; }

inline bool isFinite(float v) { return __builtin_bit_cast(unsigned, v) << 1 < 0xff000000u; }

// out[i] = sin(in[i]) for i < count (a multiple of kLanes); in and out distinct.
inline void sineArray(const float* in, float* out, int count) {
    VIHalf large{};
    for (int i = 0; i < count; i += kHalfLanes) {
        const VUHalf bits = __builtin_bit_cast(VUHalf, load<VFHalf>(in + i));
        const VUHalf magnitudeBits = bits & 0x7fffffffu;
        large |= magnitudeBits > kSineFastLimitBits;
        const VD magnitude = __builtin_convertvector(__builtin_bit_cast(VFHalf, magnitudeBits), VD);
        const VFHalf value = __builtin_convertvector(sineOfMagnitude<VD, VQ>(magnitude), VFHalf);
        store(out + i, __builtin_bit_cast(VFHalf, __builtin_bit_cast(VUHalf, value) ^ (bits & 0x80000000u)));
    }
    bool any = false;
    for (int j = 0; j < kHalfLanes; ++j) any |= large[j] != 0;
    if (!any) return;
    for (int i = 0; i < count; ++i)
        if ((__builtin_bit_cast(unsigned, in[i]) & 0x7fffffffu) > kSineFastLimitBits) out[i] = sineLargeArgument(in[i]);
}

template <int C>
struct Chunk {
    alignas(64) float x[C][kChunk];
    alignas(64) float envelope[C][kChunk];
    alignas(64) float s[C][kChunk];
    alignas(64) float f[C][kChunk];
    alignas(64) float q[C][kChunk];
    alignas(64) float y[C][kChunk];
    alignas(64) float scratchA[kChunk];
    alignas(64) float scratchB[kChunk];
};

// Non-finite input samples count as 0; lanes past `frames` are zero.
inline void loadInput(const float* in, float* x, int frames, int padded) {
    int i = 0;
    for (; i + kLanes <= frames; i += kLanes) {
        const VF v = load<VF>(in + i);
        const VI finite = (__builtin_bit_cast(VU, v) << 1) < 0xff000000u;
        store(x + i, finite ? v : VF{});
    }
    for (; i < frames; ++i) x[i] = isFinite(in[i]) ? in[i] : 0.0f;
    for (; i < padded; ++i) x[i] = 0.0f;
}

template <int C>
inline void envelopePass(const ChainBlock& b, ChainChannel* const* state, Chunk<C>& w, int frames) {
    float e[C];
    for (int c = 0; c < C; ++c) e[c] = state[c]->envelope;
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < C; ++c) {
            const float d = __builtin_fabsf(w.x[c][i]) - e[c];  // d = |x| − envelope
            const float a = d < 0.0f ? b.envDec : b.envAtk;
            e[c] = e[c] + a * d;
            w.envelope[c][i] = e[c];
        }
    }
    for (int c = 0; c < C; ++c) state[c]->envelope = e[c];
}

// s = sin(2g)·Shape + sin(g)·(1 − Shape), g = (Pre Amp·8)·x
template <int C>
inline void shapePass(const ChainBlock& b, Chunk<C>& w, int c, int padded) {
    for (int i = 0; i < padded; i += kLanes) {
        const VF g = b.preAmp8 * load<VF>(w.x[c] + i);
        store(w.f[c] + i, g * 2.0f);  // f[] is free until cutoffPass fills it
        store(w.q[c] + i, g);
    }
    sineArray(w.f[c], w.scratchA, padded);
    sineArray(w.q[c], w.scratchB, padded);
    for (int i = 0; i < padded; i += kLanes)
        store(w.s[c] + i, load<VF>(w.scratchA + i) * b.shape + load<VF>(w.scratchB + i) * b.oneMinusShape);
}

// f = sin(u·π)·2 with u = clamp(((Env·envelope)·2 + Cutoff)·0.25, 0, 0.25);
// q = fmin(dampingLimit, fmin(2, 2/f − f·0.5))
template <int C>
inline void cutoffPass(const ChainBlock& b, Chunk<C>& w, int c, int padded) {
    const VF zero{}, quarter = splat(0.25f), two = splat(2.0f), limit = splat(b.dampingLimit);
    for (int i = 0; i < padded; i += kLanes) {
        VF u = ((b.env * load<VF>(w.envelope[c] + i)) * 2.0f + b.cutoff) * 0.25f;
        u = u > 0.0f ? u : zero;
        u = u < 0.25f ? u : quarter;
        store(w.scratchA + i, u * 3.1415927f);
    }
    sineArray(w.scratchA, w.scratchB, padded);
    const bool limitIsNaN = b.dampingLimit != b.dampingLimit;
    for (int i = 0; i < padded; i += kLanes) {
        const VF f = load<VF>(w.scratchB + i) * 2.0f;
        const VF t = 2.0f / f - f * 0.5f;
        const VF m = t < 2.0f ? t : two;
        store(w.f[c] + i, f);
        store(w.q[c] + i, limitIsNaN ? m : (m < limit ? m : limit));
    }
}

template <int C, int Mode>
inline void filterPass(ChainChannel* const* state, Chunk<C>& w, int frames) {
    float low[C], band[C], notch[C] = {}, high[C] = {};
    for (int c = 0; c < C; ++c) low[c] = state[c]->low, band[c] = state[c]->band;
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < C; ++c) {
            const float s = w.s[c][i], f = w.f[c][i], q = w.q[c][i];
            float o[2];
            for (float& half : o) {
                notch[c] = s - q * band[c];  // notch = s − q·band
                low[c] = f * band[c] + low[c];
                high[c] = notch[c] - low[c];
                band[c] = high[c] * f + band[c];
                if (Mode == 0) half = low[c];
                if (Mode == 1) half = high[c];
                if (Mode == 2) half = band[c];
                if (Mode == 3) half = notch[c];
                if (Mode == 4) half = low[c] - high[c];
            }
            w.y[c][i] = (o[0] + o[1]) * 0.5f;
        }
    }
    for (int c = 0; c < C; ++c) {
        ChainChannel& st = *state[c];
        st.low = low[c], st.band = band[c], st.notch = notch[c], st.high = high[c];
        st.peak = low[c] - high[c];
        st.cutoffCoef = w.f[c][frames - 1], st.damping = w.q[c][frames - 1];
    }
}

// z = ((k + |y|)·y) / (((k − 1)·|y| + y·y) + 1), clamped to −1..1, times Post Amp
inline VF clip(const ChainBlock& b, VF y) {
    const VF ay = __builtin_bit_cast(VF, __builtin_bit_cast(VU, y) & 0x7fffffffu);
    VF z = ((b.drive + ay) * y) / ((b.driveMinusOne * ay + y * y) + 1.0f);
    z = z > -1.0f ? z : splat(-1.0f);
    z = z < 1.0f ? z : splat(1.0f);
    return b.postAmp * z;
}

inline void clipPass(const ChainBlock& b, const float* y, float* out, int frames) {
    int i = 0;
    for (; i + kLanes <= frames; i += kLanes) store(out + i, clip(b, load<VF>(y + i)));
    if (i < frames) {
        alignas(64) float tail[kLanes];
        store(tail, clip(b, load<VF>(y + i)));
        for (int j = 0; i < frames; ++i, ++j) out[i] = tail[j];
    }
}

template <int C, int Mode>
void runChannels(const ChainBlock& b, ChainChannel* const* state, const float* const* in, float* const* out,
                 int frames) {
    Chunk<C> w;
    for (int start = 0; start < frames; start += kChunk) {
        const int n = frames - start < kChunk ? frames - start : kChunk;
        const int padded = (n + kLanes - 1) / kLanes * kLanes;
        ChainChannel saved[C];
        for (int c = 0; c < C; ++c) {
            loadInput(in[c] + start, w.x[c], n, padded);
            saved[c] = *state[c];
        }
        envelopePass<C>(b, state, w, n);
        for (int c = 0; c < C; ++c) {
            shapePass<C>(b, w, c, padded);
            cutoffPass<C>(b, w, c, padded);
        }
        filterPass<C, Mode>(state, w, n);
        for (int c = 0; c < C; ++c) {
            ChainChannel& st = *state[c];
            // A state that turned non-finite stays so to the chunk's end; the chain then
            // resets at the sample where it happened, which the exact path finds.
            if (isFinite(st.envelope) && isFinite(st.low) && isFinite(st.band)) {
                clipPass(b, w.y[c], out[c] + start, n);
            } else {
                st = saved[c];
                chainExact(b, st, w.x[c], out[c] + start, n);
            }
        }
    }
}

template <int C>
void runMode(const ChainBlock& b, ChainChannel* const* state, const float* const* in, float* const* out,
             int frames) {
    switch (b.mode) {
        case 1: return runChannels<C, 1>(b, state, in, out, frames);
        case 2: return runChannels<C, 2>(b, state, in, out, frames);
        case 3: return runChannels<C, 3>(b, state, in, out, frames);
        case 4: return runChannels<C, 4>(b, state, in, out, frames);
        default: return runChannels<C, 0>(b, state, in, out, frames);
    }
}

}  // namespace

void MORVEX_SINE_NAME(const float* in, float* out, int count) {
    alignas(64) float a[kChunk], b[kChunk];
    for (int start = 0; start < count; start += kChunk) {
        const int n = count - start < kChunk ? count - start : kChunk;
        const int padded = (n + kLanes - 1) / kLanes * kLanes;
        for (int i = 0; i < padded; ++i) a[i] = i < n ? in[start + i] : 0.0f;
        sineArray(a, b, padded);
        for (int i = 0; i < n; ++i) out[start + i] = b[i];
    }
}

void MORVEX_KERNEL_NAME(const ChainBlock& block, ChainChannel* const* state, const float* const* in,
                        float* const* out, int channels, int frames) {
    if (channels == 2)
        runMode<2>(block, state, in, out, frames);
    else
        runMode<1>(block, state, in, out, frames);
}
