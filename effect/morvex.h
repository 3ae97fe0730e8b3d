// Morvex: sine wave-shaper, resonant state-variable filter with an envelope-driven cutoff,
// soft clipper and output gain, in stereo.
#pragma once

#include <array>
#include <atomic>

#include "../framework/audio_effect_x.h"
#include "chain_simd.h"
#include "parameters.h"

// The chain's copy of the parameters, taken once at the start of every block so that both
// channels see the same values for the whole block. The values are clamped to 0..1 (NaN to 0)
// for the chain; the effect keeps and reports them as the host set them.
struct BlockParams {
    std::array<float, kNumParams> values;
    FilterMode mode;
};

// What one channel carries from sample to sample (envelope, low, band) plus the outputs of
// the latest filter half-step, kept side by side so that selectedOutput can point at any.
struct ChannelState {
    float envelope = 0.0f;
    float notch = 0.0f;
    float low = 0.0f;
    float high = 0.0f;
    float band = 0.0f;
    float peak = 0.0f;
    float cutoffCoef = 0.0f;
    float damping = 0.0f;
    float* selectedOutput = nullptr;
};

class Morvex : public AudioEffectX {
public:
    explicit Morvex(audioMasterCallback hostCallback);
    ~Morvex() override = default;

    // [audio thread] Runs with subnormals flushed to zero and gives the caller back its own
    // floating-point mode. Non-finite input samples count as silence; the output is always finite.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) override;

    // [any thread]
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;

    // [host's thread]
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;

    // [any thread] the mode the next block will use
    FilterMode getFilterMode() const { return filterMode.load(std::memory_order_relaxed); }
    // For tests and tools: the per-channel memory of the chain.
    const ChannelState& channelState(int channel) const { return channelStates[channel]; }
    // For tests and benchmarks: run the chain with this instruction set's code from now on;
    // false (and no change) if this processor cannot run it. Every target gives the same bits.
    // [host's thread, never during process]
    bool useChainTarget(ChainTarget target);
    ChainTarget chainTarget() const { return target; }

private:
    static bool isParameterIndex(VstInt32 index) { return static_cast<std::uint32_t>(index) < kNumParams; }
    ChainBlock chainBlock() const;

    // Written by the host's threads, read by the audio thread's block copy.
    std::array<std::atomic<float>, kNumParams> paramValues;
    std::atomic<FilterMode> filterMode{kFilterLp};
    BlockParams blockParams{};
    char programName[kVstMaxProgNameLen + 1];
    std::array<ChannelState, 2> channelStates{};
    ChainTarget target = bestChainTarget();
    ChainKernel kernel = chainKernel(target);
};
