// The chain's fast kernels and how the effect picks one at run time. Free of includes so
// that the SIMD translation units, compiled for wider instruction sets, share no inline
// code with the rest of the module.
#pragma once

// What one channel carries between samples, plus the latest half-step's outputs.
struct ChainChannel {
    float envelope, notch, low, high, band, peak;
    float cutoffCoef, damping;  // of the latest sample
};

// Per-block constants, each computed exactly as the per-sample formula would.
struct ChainBlock {
    float preAmp8;        // Pre Amp * 8
    float shape;          // Shape
    float oneMinusShape;  // 1 - Shape
    float env;            // Env
    float cutoff;         // Cutoff
    float envAtk;         // Env Atk
    float envDec;         // Env Dec
    float dampingLimit;   // (1 - Resonance^0.25) * 2
    float drive;          // Disto * 8
    float driveMinusOne;  // Disto * 8 - 1
    float postAmp;        // Post Amp
    int mode;             // FilterMode
};

// Runs `frames` samples of `channels` (1 or 2) channels, interleaving their recursions.
// in[c] may equal out[c]; otherwise the buffers must not overlap, and out[0] must not
// overlap in[1] (the caller checks and falls back to one channel at a time).
using ChainKernel = void (*)(const ChainBlock& block, ChainChannel* const* state, const float* const* in,
                             float* const* out, int channels, int frames);

enum class ChainTarget { kSse2, kAvx2, kAvx512, kCount };

const char* chainTargetName(ChainTarget target);
// Whether this processor (and operating system) can run the target's code.
bool chainTargetAvailable(ChainTarget target);
ChainTarget bestChainTarget();
ChainKernel chainKernel(ChainTarget target);
// The target's vector sine over an array (for tests): the same bits as chainSine.
using ChainSineArray = void (*)(const float* in, float* out, int count);
ChainSineArray chainSineArray(ChainTarget target);

// Sample by sample, for buffers that overlap in ways the kernels cannot take.
void chainExact(const ChainBlock& block, ChainChannel& state, const float* in, float* out, int frames);
