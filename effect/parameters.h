// The ten parameters of Morvex: one table that the constructor, the texts, the tools and
// the tests all read.
#pragma once

#include <array>
#include <cstdint>

enum ParameterIndex : std::int32_t {
    kPreAmp = 0,
    kShape,
    kDisto,
    kCutoff,
    kResonance,
    kMode,
    kEnv,
    kEnvAtk,
    kEnvDec,
    kPostAmp,
    kNumParams,
};
constexpr std::int32_t kNumPrograms = 1;

enum FilterMode : std::int32_t {
    kFilterLp = 0,
    kFilterHp,
    kFilterBand,
    kFilterNotch,
    kFilterPeak,
};

struct ParameterInfo {
    const char* name;
    const char* label;
    float defaultValue;
    // Display = value * scale, in single precision; 0 marks the Mode parameter, shown as text.
    float displayScale;
};

constexpr std::array<ParameterInfo, kNumParams> kParameters{{
    {"Pre Amp", "%", 0.2f, 800.0f},
    {"Shape", " ", 0.0f, 1.0f},
    {"Disto", "%", 0.1f, 800.0f},
    {"Cutoff", "Hz", 1.0f, 22050.0f},
    {"Resonance", " ", 0.0f, 1.0f},
    {"Mode", " ", 0.0f, 0.0f},
    {"Env", " ", 0.0f, 1.0f},
    {"Env Atk", " ", 1.0f, 1.0f},
    {"Env Dec", " ", 0.95f, 1.0f},
    {"Post Amp", "%", 0.5f, 100.0f},
}};

constexpr std::array<const char*, 5> kFilterModeNames{{"Lp", "Hp", "Band", "Notch", "Peak"}};

// Mode value to filter mode. Compared in double precision against the double thresholds,
// so a float equal to 0.2 already selects Hp; NaN is below nothing and selects Peak.
constexpr FilterMode filterModeFor(float modeValue) {
    const double v = modeValue;
    if (v < 0.2) return kFilterLp;
    if (v < 0.4) return kFilterHp;
    if (v < 0.6) return kFilterBand;
    if (v < 0.8) return kFilterNotch;
    return kFilterPeak;
}
