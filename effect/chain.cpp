#include <cmath>

#include "denormal_guard.h"
#include "morvex.h"

namespace {
constexpr float kPi = 3.1415927f;

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

// A filter or envelope that has left the finite numbers would stay there (and the clipper
// would hold the output at -Post Amp) for ever; the channel starts again from silence instead.
void restartIfNotFinite(ChannelState& st) {
    if (std::isfinite(st.envelope) && std::isfinite(st.low) && std::isfinite(st.band)) return;
    st.envelope = st.notch = st.low = st.high = st.band = st.peak = 0.0f;
}
}  // namespace

void Morvex::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    const DenormalsFlushed flushed;
    for (std::size_t i = 0; i < paramValues.size(); ++i)
        blockParams.values[i] = clampUnit(paramValues[i].load(std::memory_order_relaxed));
    blockParams.mode = filterMode.load(std::memory_order_relaxed);
    processChannel(sampleFrames, inputs[0], outputs[0], channelStates[0]);
    processChannel(sampleFrames, inputs[1], outputs[1], channelStates[1]);
}

void Morvex::processChannel(VstInt32 sampleFrames, const float* input, float* output, ChannelState& st) {
    st.selectedOutput = outputFor(st, blockParams.mode);
    const auto& p = blockParams.values;
    const float resonanceRoot = std::pow(p[kResonance], 0.25f);  // same value every sample
    for (VstInt32 i = 0; i < sampleFrames; ++i) {
        const float raw = input[i];
        const float x = std::isfinite(raw) ? raw : 0.0f;  // NaN and ±inf count as silence

        const float d = std::fabs(x) - st.envelope;  // envelope follower on the raw input
        const float a = d < 0.0f ? p[kEnvDec] : p[kEnvAtk];
        st.envelope = st.envelope + a * d;

        const float g = (p[kPreAmp] * 8.0f) * x;  // s = sin(2g)·shape + sin(g)·(1 − shape)
        const float s = std::sin(g * 2.0f) * p[kShape] + std::sin(g) * (1.0f - p[kShape]);

        float u = ((p[kEnv] * st.envelope) * 2.0f + p[kCutoff]) * 0.25f;
        u = u > 0.0f ? u : 0.0f;
        u = u < 0.25f ? u : 0.25f;
        st.cutoffCoef = std::sin(u * kPi) * 2.0f;
        const float f = st.cutoffCoef;
        const float m = std::fmin(2.0f, 2.0f / f - f * 0.5f);  // 2 / 0 is +inf, so m is 2
        st.damping = std::fmin((1.0f - resonanceRoot) * 2.0f, m);
        const float q = st.damping;

        float o[2];
        for (float& half : o) {
            st.notch = s - q * st.band;  // notch = s − q·band
            st.low = f * st.band + st.low;
            st.high = st.notch - st.low;
            st.band = st.high * f + st.band;
            st.peak = st.low - st.high;
            half = *st.selectedOutput;
        }
        const float y = (o[0] + o[1]) * 0.5f;

        const float k = p[kDisto] * 8.0f;  // z = ((k + |y|)·y) / (((k − 1)·|y| + y²) + 1)
        const float ay = std::fabs(y);
        float z = ((k + ay) * y) / (((k - 1.0f) * ay + y * y) + 1.0f);
        z = z > -1.0f ? z : -1.0f;
        z = z < 1.0f ? z : 1.0f;
        output[i] = p[kPostAmp] * z;

        restartIfNotFinite(st);
    }
}

void Morvex::processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) {
    for (VstInt32 i = 0; i < sampleFrames; ++i) {
        outputs[0][i] = inputs[0][i];
        outputs[1][i] = inputs[1][i];
    }
}
