// The chain split into its recursions (envelope; filter states), run sample by sample with
// the channels interleaved, and everything else (input sines, cutoff coefficient and
// damping, clipper, gain), run over vectors of MORVEX_VECTOR_BYTES bytes on a stack chunk.
// Each SIMD translation unit includes this once with its own vector width and defines
// MORVEX_KERNEL_NAME and MORVEX_SINE_NAME; every width performs the same IEEE operations,
// lane by lane, as the sample-by-sample chain, so all give the same bits.
#pragma once

#include "chain_simd.h"
#include "sine_kernel.h"

#ifndef MORVEX_VECTOR_BYTES
#error "define MORVEX_VECTOR_BYTES before including chain_kernel.h"
#endif

namespace {

constexpr int kLanes = MORVEX_VECTOR_BYTES / 4;
constexpr int kHalfLanes = kLanes / 2;
constexpr int kChunk = 64;  // frames per stack chunk: its arrays stay in L1
// The first chunk of a block has nothing to overlap its vector work with: keep it short.
constexpr int kFirstChunk = 16;

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

// sin of kHalfLanes values at once, the fast path only; `large` collects the lanes whose
// argument needs sineLargeArgument instead.
__attribute__((always_inline)) inline VFHalf sineHalf(VFHalf v, VIHalf& large) {
    const VUHalf bits = __builtin_bit_cast(VUHalf, v);
    const VUHalf magnitudeBits = bits & 0x7fffffffu;
    large |= magnitudeBits > kSineFastLimitBits;
    const VD magnitude = __builtin_convertvector(__builtin_bit_cast(VFHalf, magnitudeBits), VD);
    const VFHalf value = __builtin_convertvector(sineOfMagnitude<VD, VQ>(magnitude), VFHalf);
    return __builtin_bit_cast(VFHalf, __builtin_bit_cast(VUHalf, value) ^ (bits & 0x80000000u));
}

inline bool anyLane(VIHalf m) {
    bool any = false;
    for (int j = 0; j < kHalfLanes; ++j) any |= m[j] != 0;
    return any;
}

// out[i] = sin(in[i]) for i < count (a multiple of kHalfLanes).
inline void sineArray(const float* in, float* out, int count) {
    VIHalf large{};
    for (int i = 0; i < count; i += kHalfLanes) store(out + i, sineHalf(load<VFHalf>(in + i), large));
    if (anyLane(large))
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
    typedef int RI __attribute__((vector_size(16)));
    R atk, dec;
    explicit EnvelopeStep(const ChainBlock& b) : atk(R{} + b.envAtk), dec(R{} + b.envDec) {}
    R operator()(R e, R x) const {
        const R d = __builtin_bit_cast(R, __builtin_bit_cast(RI, x) & 0x7fffffff) - e;
        const R a = d < 0.0f ? dec : atk;
        return e + a * d;
    }
};

// Both half-steps of the filter for one frame; returns y = (o1 + o2)·0.5.
template <int Mode>
struct FilterStep {
    R low, band, notch, high;
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

// One chunk's worth of the per-sample values, for C channels.
template <int C>
struct Frames {
    alignas(64) float x[C][kChunk];
    alignas(64) float s[C][kChunk];
    alignas(64) float f[C][kChunk];
    alignas(64) float q[C][kChunk];
};

template <int C>
struct Work {
    Frames<C> chunk[2];  // the one being filtered and the next one
    alignas(64) float envelope[C][kChunk];
    alignas(64) float y[C][kChunk];
};

// s = sin(2g)·Shape + sin(g)·(1 − Shape), g = (Pre Amp·8)·x, for kHalfLanes values
__attribute__((always_inline)) inline void shapeSlice(const ChainBlock& b, const float* x, float* s, VIHalf& large) {
    const VFHalf g = b.preAmp8 * load<VFHalf>(x);
    const VFHalf twice = sineHalf(g * 2.0f, large), once = sineHalf(g, large);
    store(s, twice * b.shape + once * b.oneMinusShape);
}

// The values whose arguments were too large for the vector sine, again with the exact one.
template <int C>
inline void patchShape(const ChainBlock& b, Frames<C>& fr, int padded) {
    for (int c = 0; c < C; ++c)
        for (int i = 0; i < padded; ++i) {
            const float g = b.preAmp8 * fr.x[c][i];
            fr.s[c][i] = chainSine(g * 2.0f) * b.shape + chainSine(g) * b.oneMinusShape;
        }
}

// f = sin(u·π)·2 with u = clamp(((Env·envelope)·2 + Cutoff)·0.25, 0, 0.25);
// q = fmin(dampingLimit, fmin(2, 2/f − f·0.5)); for kHalfLanes values
__attribute__((always_inline)) inline void cutoffSlice(const ChainBlock& b, const float* envelope, float* fOut, float* qOut) {
    VFHalf u = ((b.env * load<VFHalf>(envelope)) * 2.0f + b.cutoff) * 0.25f;
    u = u > 0.0f ? u : VFHalf{};
    u = u < 0.25f ? u : VFHalf{} + 0.25f;
    // u·π lies in 0..π/4, where the sine needs no reduction.
    const VD a = __builtin_convertvector(u * 3.1415927f, VD);
    const VFHalf f = __builtin_convertvector(sineOfFirstQuadrant<VD, VQ>(a), VFHalf) * 2.0f;
    const VFHalf t = 2.0f / f - f * 0.5f;
    const VFHalf m = t < 2.0f ? t : VFHalf{} + 2.0f;
    const VFHalf limit = VFHalf{} + b.dampingLimit;
    store(fOut, f);
    store(qOut, b.dampingLimit != b.dampingLimit ? m : (m < limit ? m : limit));
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

// The vector work of one chunk in slices of kHalfLanes values, so that it can be spread
// over the recursion loop of the chunk before, whose every step waits on the one before
// and leaves the processor idle enough to do it on the side.
template <int C>
struct ChunkPreparation {
    const ChainBlock& b;
    Frames<C>& fr;
    const float (*envelope)[kChunk];
    int padded, shapeChannel = 0, shapeAt = 0, cutoffGroups, cutoffDone = 0;
    VIHalf large{};

    ChunkPreparation(const ChainBlock& block, Frames<C>& frames, const float (*env)[kChunk], int n)
        : b(block), fr(frames), envelope(env), padded(padTo(n)), cutoffGroups(padded / kHalfLanes) {
        if (padded == 0) shapeChannel = C;
    }
    __attribute__((always_inline)) void shapeStep() {
        if (shapeChannel == C) return;
        shapeSlice(b, fr.x[shapeChannel] + shapeAt, fr.s[shapeChannel] + shapeAt, large);
        shapeAt += kHalfLanes;
        if (shapeAt == padded) shapeAt = 0, ++shapeChannel;
    }
    // The envelope of the group's frames must be known.
    __attribute__((always_inline)) void cutoffGroup() {
        const int i = cutoffDone * kHalfLanes;
        for (int c = 0; c < C; ++c) cutoffSlice(b, envelope[c] + i, fr.f[c] + i, fr.q[c] + i);
        ++cutoffDone;
    }
    void finish() {
        while (shapeChannel < C) shapeStep();
        while (cutoffDone < cutoffGroups) cutoffGroup();
        if (anyLane(large)) patchShape<C>(b, fr, padded);
    }
};

// Chunk by chunk: the filter recursion of a chunk runs together with the next chunk's
// envelope recursion (independent chains, so they overlap) and that chunk's vector work;
// then the chunk's clipper. Reading the next chunk's input before writing this chunk's
// output is safe for the buffers the caller lets through.
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
    R chunkEnvelope = envelope;  // at the start of the chunk being filtered

    int cur = 0, n = frames < kFirstChunk ? frames : kFirstChunk;
    {
        // No filtering yet to overlap with: the shaper's slices go along with the envelope.
        for (int c = 0; c < C; ++c) loadInput(in[c], w.chunk[cur].x[c], n, padTo(n));
        for (int c = 0; c < C; ++c)
            for (int i = n; i < padTo(n); ++i) w.envelope[c][i] = 0.0f;
        ChunkPreparation<C> first(b, w.chunk[cur], w.envelope, n);
        for (int i = 0; i < n; ++i) {
            envelope = envelopeStep(envelope, gather<C>(w.chunk[cur].x, i));
            scatter<C>(w.envelope, i, envelope);
            first.shapeStep();
            if ((i + 1) % kHalfLanes == 0 && i + 1 >= 2 * kHalfLanes) first.cutoffGroup();
        }
        first.finish();
    }

    for (int start = 0; start < frames;) {
        Frames<C>& now = w.chunk[cur];
        Frames<C>& next = w.chunk[cur ^ 1];
        const int nextStart = start + n;
        const int nextN = frames - nextStart < kChunk ? frames - nextStart : kChunk;
        for (int c = 0; c < C; ++c) loadInput(in[c] + nextStart, next.x[c], nextN, padTo(nextN));
        for (int c = 0; c < C; ++c)
            for (int i = nextN; i < padTo(nextN); ++i) w.envelope[c][i] = 0.0f;
        ChunkPreparation<C> prepare(b, next, w.envelope, nextN);
        const FilterStep<Mode> chunkStart = filter;
        R afterChunk = envelope;  // the envelope at this chunk's end

        const int both = n < nextN ? n : nextN;
        int i = 0;
        for (; i < both; ++i) {
            scatter<C>(w.y, i, filter(gather<C>(now.s, i), gather<C>(now.f, i), gather<C>(now.q, i)));
            envelope = envelopeStep(envelope, gather<C>(next.x, i));
            scatter<C>(w.envelope, i, envelope);
            prepare.shapeStep();
            // One group behind the envelope, so that its values have left the store queue.
            if ((i + 1) % kHalfLanes == 0 && i + 1 >= 2 * kHalfLanes) prepare.cutoffGroup();
        }
        for (int j = i; j < n; ++j)
            scatter<C>(w.y, j, filter(gather<C>(now.s, j), gather<C>(now.f, j), gather<C>(now.q, j)));
        for (int j = i; j < nextN; ++j) {
            envelope = envelopeStep(envelope, gather<C>(next.x, j));
            scatter<C>(w.envelope, j, envelope);
            prepare.shapeStep();
            if ((j + 1) % kHalfLanes == 0 && j + 1 >= 2 * kHalfLanes) prepare.cutoffGroup();
        }

        for (int c = 0; c < C; ++c) {
            ChainChannel& st = *state[c];
            // A state that turned non-finite stays so to the chunk's end; the chain then
            // resets at the sample where it happened, which the exact path finds.
            if (isFinite(afterChunk[c]) && isFinite(filter.low[c]) && isFinite(filter.band[c])) {
                clipPass(b, w.y[c], out[c] + start, n);
                st.cutoffCoef = now.f[c][n - 1], st.damping = now.q[c][n - 1];
                continue;
            }
            st.envelope = chunkEnvelope[c], st.low = chunkStart.low[c], st.band = chunkStart.band[c];
            st.notch = chunkStart.notch[c], st.high = chunkStart.high[c];
            chainExact(b, st, now.x[c], out[c] + start, n);
            filter.low[c] = st.low, filter.band[c] = st.band, filter.notch[c] = st.notch, filter.high[c] = st.high;
            // The next chunk's envelope, and so its cutoff, start from where the exact path
            // left the envelope.
            afterChunk[c] = st.envelope;
            R e{};
            e[0] = st.envelope;
            for (int j = 0; j < nextN; ++j) {
                R x{};
                x[0] = next.x[c][j];
                e = envelopeStep(e, x);
                w.envelope[c][j] = e[0];
            }
            envelope[c] = e[0];
            prepare.cutoffDone = 0;
        }
        prepare.finish();
        chunkEnvelope = afterChunk;
        cur ^= 1;
        start = nextStart;
        n = nextN;
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
