#include <cmath>
#include <cstdint>

#include "denormal_guard.h"
#include "morvex.h"
#include "sine_kernel.h"

namespace {

// The filter's damping bound and the clipper's positive denominator hold for values in 0..1
// only; NaN reads as 0.
float clampUnit(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

float* outputFor(ChannelState& state, FilterMode mode) {
    switch (mode) {
        case kFilterHp: return &state.high;
        case kFilterBand: return &state.band;
        case kFilterNotch: return &state.notch;
        case kFilterPeak: return &state.peak;
        default: return &state.low;
    }
}

bool overlap(const float* a, const float* b, VstInt32 frames) {
    const auto x = reinterpret_cast<std::uintptr_t>(a), y = reinterpret_cast<std::uintptr_t>(b);
    const std::uintptr_t bytes = static_cast<std::uintptr_t>(frames) * sizeof(float);
    return x < y + bytes && y < x + bytes;
}
bool sameOrApart(const float* a, const float* b, VstInt32 frames) { return a == b || !overlap(a, b, frames); }

ChainChannel toChain(const ChannelState& s) {
    return {s.envelope, s.notch, s.low, s.high, s.band, s.peak, s.cutoffCoef, s.damping};
}
void fromChain(const ChainChannel& c, ChannelState& s) {
    s.envelope = c.envelope, s.notch = c.notch, s.low = c.low, s.high = c.high, s.band = c.band, s.peak = c.peak;
    s.cutoffCoef = c.cutoffCoef, s.damping = c.damping;
}

}  // namespace

bool Morvex::useChainTarget(ChainTarget wanted) {
    if (!chainTargetAvailable(wanted)) return false;
    target = wanted;
    kernel = chainKernel(wanted);
    return true;
}

ChainBlock Morvex::chainBlock() const {
    const auto& p = blockParams.values;
    ChainBlock b;
    b.preAmp8 = p[kPreAmp] * 8.0f;
    b.shape = p[kShape];
    b.oneMinusShape = 1.0f - p[kShape];
    b.env = p[kEnv];
    b.cutoff = p[kCutoff];
    b.envAtk = p[kEnvAtk];
    b.envDec = p[kEnvDec];
    // The same every sample of the block. Not powf: its last bit differs between machines.
    b.dampingLimit = (1.0f - chainFourthRoot(p[kResonance])) * 2.0f;
    b.drive = p[kDisto] * 8.0f;
    b.driveMinusOne = b.drive - 1.0f;
    b.postAmp = p[kPostAmp];
    b.mode = blockParams.mode;
    return b;
}

void Morvex::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    const DenormalsFlushed flushed;
    for (std::size_t i = 0; i < paramValues.size(); ++i)
        blockParams.values[i] = clampUnit(paramValues[i].load(std::memory_order_relaxed));
    blockParams.mode = filterMode.load(std::memory_order_relaxed);
    for (ChannelState& st : channelStates) st.selectedOutput = outputFor(st, blockParams.mode);
    if (sampleFrames <= 0) return;

    const ChainBlock block = chainBlock();
    ChainChannel chain[2] = {toChain(channelStates[0]), toChain(channelStates[1])};
    const VstInt32 n = sampleFrames;
    // The kernel reads a chunk of both inputs before it writes that chunk of either output.
    // That equals finishing the first channel before the second unless the first output
    // feeds the second input or buffers overlap only in part; then one channel at a time.
    const bool interleave = !overlap(outputs[0], inputs[1], n) && sameOrApart(outputs[0], outputs[1], n) &&
                            sameOrApart(outputs[1], inputs[0], n) && sameOrApart(outputs[0], inputs[0], n) &&
                            sameOrApart(outputs[1], inputs[1], n);
    if (interleave) {
        ChainChannel* states[2] = {&chain[0], &chain[1]};
        kernel(block, states, inputs, outputs, 2, n);
    } else {
        for (int c = 0; c < 2; ++c) {
            ChainChannel* state = &chain[c];
            if (sameOrApart(outputs[c], inputs[c], n))
                kernel(block, &state, &inputs[c], &outputs[c], 1, n);
            else  // an output shifted against its own input: sample by sample, as written
                chainExact(block, chain[c], inputs[c], outputs[c], n);
        }
    }
    fromChain(chain[0], channelStates[0]);
    fromChain(chain[1], channelStates[1]);
}

void Morvex::processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) {
    for (VstInt32 i = 0; i < sampleFrames; ++i) {
        outputs[0][i] = inputs[0][i];
        outputs[1][i] = inputs[1][i];
    }
}
