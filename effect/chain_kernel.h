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

// The recursions keep one channel per lane of a 4-lane vector (lanes past the channel
// count hold zeros): the same operations as one channel at a time, half the instructions.
typedef float R __attribute__((vector_size(16)));

template <int C>
inline R gather(const float (*a)[kChunk], int i) {
    if (C == 2) return R{a[0][i], a[1][i], 0.0f, 0.0f};
    return R{a[0][i], 0.0f, 0.0f, 0.0f};
}
template <int C>
inline void scatter(float (*a)[kChunk], int i, R v) {
    for (int c = 0; c < C; ++c) a[c][i] = v[c];
}

// Non-finite input samples count as 0; entries from `frames` to `padded` are zero.
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

// envelope = envelope + a·(|x| − envelope), a = Env Dec while |x| is below it, else Env Atk
struct EnvelopeStep {
    R atk, dec;
    explicit EnvelopeStep(const ChainBlock& b) : atk(R{} + b.envAtk), dec(R{} + b.envDec) {}
    R operator()(R e, R x) const {
        const R d = __builtin_bit_cast(R, __builtin_bit_cast(VI4, x) & 0x7fffffff) - e;
        const R a = d < 0.0f ? dec : atk;
        return e + a * d;
    }
    typedef int VI4 __attribute__((vector_size(16)));
};

// Both half-steps of the filter for one frame; returns y = (o1 + o2)·0.5.
template <int Mode>
struct FilterStep {
    R low, band, notch{}, high{};
    R operator()(R s, R f, R q) {
        R o[2];
        for (R& half : o) {
            notch = s - q * band;  // notch = s − q·band
            low = f * band + low;
            high = notch - low;
            band = high * f + band;
            if (Mode == 0) half = low;
            if (Mode == 1) half = high;
            if (Mode == 2) half = band;
            if (Mode == 3) half = notch;
            if (Mode == 4) half = low - high;
        }
        return (o[0] + o[1]) * 0.5f;
    }
};

template <int C>
struct Work {
    alignas(64) float x[2][C][kChunk];  // this chunk's input and the next one's
    alignas(64) float envelope[C][kChunk];
    alignas(64) float s[C][kChunk];
    alignas(64) float f[C][kChunk];
    alignas(64) float q[C][kChunk];
    alignas(64) float y[C][kChunk];
    alignas(64) float scratchA[kChunk];
    alignas(64) float scratchB[kChunk];
};

// s = sin(2g)·Shape + sin(g)·(1 − Shape), g = (Pre Amp·8)·x
template <int C>
inline void shapePass(const ChainBlock& b, Work<C>& w, const float* x, int c, int padded) {
    for (int i = 0; i < padded; i += kLanes) {
        const VF g = b.preAmp8 * load<VF>(x + i);
        store(w.f[c] + i, g * 2.0f);  // f[] and q[] are free until cutoffPass fills them
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
inline void cutoffPass(const ChainBlock& b, Work<C>& w, int c, int padded) {
    const VF two = splat(2.0f), limit = splat(b.dampingLimit);
    const bool limitIsNaN = b.dampingLimit != b.dampingLimit;
    for (int i = 0; i < padded; i += kHalfLanes) {
        VFHalf u = ((b.env * load<VFHalf>(w.envelope[c] + i)) * 2.0f + b.cutoff) * 0.25f;
        u = u > 0.0f ? u : VFHalf{};
        u = u < 0.25f ? u : VFHalf{} + 0.25f;
        // u·π lies in 0..π/4: the sine needs no reduction there.
        const VD a = __builtin_convertvector(u * 3.1415927f, VD);
        store(w.scratchA + i, __builtin_convertvector(sineOfFirstQuadrant<VD, VQ>(a), VFHalf));
    }
    for (int i = 0; i < padded; i += kLanes) {
        const VF f = load<VF>(w.scratchA + i) * 2.0f;
        const VF t = 2.0f / f - f * 0.5f;
        const VF m = t < 2.0f ? t : two;
        store(w.f[c] + i, f);
        store(w.q[c] + i, limitIsNaN ? m : (m < limit ? m : limit));
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

inline int padTo(int n) { return (n + kLanes - 1) / kLanes * kLanes; }

// Chunk by chunk: the vector passes of a chunk, then its filter recursion together with
// the next chunk's envelope recursion (independent chains, so they overlap), then its
// clipper. Reading the next chunk's input before writing this chunk's output is safe for
// the buffers the caller lets through.
template <int C, int Mode>
void runChannels(const ChainBlock& b, ChainChannel* const* state, const float* const* in, float* const* out,
                 int frames) {
    Work<C> w;
    const EnvelopeStep envelopeStep(b);
    FilterStep<Mode> filter{};
    R envelope{};  // the envelope recursion runs one chunk ahead of the filter
    for (int c = 0; c < C; ++c) {
        filter.low[c] = state[c]->low, filter.band[c] = state[c]->band;
        filter.notch[c] = state[c]->notch, filter.high[c] = state[c]->high;
        envelope[c] = state[c]->envelope;
    }
    R chunkEnvelope = envelope;  // at the start of the current chunk

    int cur = 0, n = frames < kChunk ? frames : kChunk;
    for (int c = 0; c < C; ++c) loadInput(in[c], w.x[cur][c], n, padTo(n));
    for (int i = 0; i < n; ++i) {
        envelope = envelopeStep(envelope, gather<C>(w.x[cur], i));
        scatter<C>(w.envelope, i, envelope);
    }
    for (int c = 0; c < C; ++c) shapePass<C>(b, w, w.x[cur][c], c, padTo(n)), cutoffPass<C>(b, w, c, padTo(n));

    for (int start = 0; start < frames; start += kChunk) {
        const int next = start + n;
        const int nextN = frames - next < kChunk ? frames - next : kChunk;
        for (int c = 0; c < C; ++c) loadInput(in[c] + next, w.x[cur ^ 1][c], nextN, padTo(nextN));
        const FilterStep<Mode> chunkStart = filter;
        R nextEnvelope = envelope;  // at the end of this chunk

        const int both = n < nextN ? n : nextN;
        int i = 0;
        for (; i < both; ++i) {
            scatter<C>(w.y, i, filter(gather<C>(w.s, i), gather<C>(w.f, i), gather<C>(w.q, i)));
            envelope = envelopeStep(envelope, gather<C>(w.x[cur ^ 1], i));
            scatter<C>(w.envelope, i, envelope);
        }
        for (int j = i; j < n; ++j) scatter<C>(w.y, j, filter(gather<C>(w.s, j), gather<C>(w.f, j), gather<C>(w.q, j)));
        for (int j = i; j < nextN; ++j) {
            envelope = envelopeStep(envelope, gather<C>(w.x[cur ^ 1], j));
            scatter<C>(w.envelope, j, envelope);
        }

        for (int c = 0; c < C; ++c) {
            ChainChannel& st = *state[c];
            // A state that turned non-finite stays so to the chunk's end; the chain then
            // resets at the sample where it happened, which the exact path finds. The next
            // chunk's envelope then starts from where the exact path left it.
            if (isFinite(nextEnvelope[c]) && isFinite(filter.low[c]) && isFinite(filter.band[c])) {
                clipPass(b, w.y[c], out[c] + start, n);
                st.cutoffCoef = w.f[c][n - 1], st.damping = w.q[c][n - 1];
                continue;
            }
            st.envelope = chunkEnvelope[c], st.low = chunkStart.low[c], st.band = chunkStart.band[c];
            st.notch = chunkStart.notch[c], st.high = chunkStart.high[c];
            chainExact(b, st, w.x[cur][c], out[c] + start, n);
            nextEnvelope[c] = st.envelope;
            filter.low[c] = st.low, filter.band[c] = st.band, filter.notch[c] = st.notch, filter.high[c] = st.high;
            R e{};
            e[0] = st.envelope;
            for (int j = 0; j < nextN; ++j) {
                R x{};
                x[0] = w.x[cur ^ 1][c][j];
                e = envelopeStep(e, x);
                w.envelope[c][j] = e[0];
            }
            envelope[c] = e[0];
        }

        chunkEnvelope = nextEnvelope;
        cur ^= 1;
        n = nextN;
        if (n > 0)
            for (int c = 0; c < C; ++c) shapePass<C>(b, w, w.x[cur][c], c, padTo(n)), cutoffPass<C>(b, w, c, padTo(n));
    }

    for (int c = 0; c < C; ++c) {
        ChainChannel& st = *state[c];
        st.envelope = envelope[c];
        st.low = filter.low[c], st.band = filter.band[c], st.notch = filter.notch[c], st.high = filter.high[c];
        st.peak = filter.low[c] - filter.high[c];
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
