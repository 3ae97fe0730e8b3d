#include "morvex.h"

#include <new>

#include "../framework/bounded_copy.h"

namespace {
constexpr VstInt32 kTextLimit = 16;  // names, labels and value texts; hosts give 17 bytes or more
}

AudioEffect* createEffectInstance(audioMasterCallback hostCallback) {
    return new (std::nothrow) Morvex(hostCallback);
}

Morvex::Morvex(audioMasterCallback hostCallback) : AudioEffectX(hostCallback, kNumPrograms, kNumParams) {
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(fourCharCode("TwMv"));
    canProcessReplacing(true);
    canDoubleReplacing(false);
    programsAreChunks(false);
    setInitialDelay(0);
    for (std::size_t i = 0; i < kParameters.size(); ++i)
        paramValues[i].store(kParameters[i].defaultValue, std::memory_order_relaxed);
    boundedCopy(programName, "Default", kVstMaxProgNameLen);
}

void Morvex::setParameter(VstInt32 index, float value) {
    if (!isParameterIndex(index)) return;
    paramValues[index].store(value, std::memory_order_relaxed);
    if (index == kMode) filterMode.store(filterModeFor(value), std::memory_order_relaxed);
}

float Morvex::getParameter(VstInt32 index) {
    return isParameterIndex(index) ? paramValues[index].load(std::memory_order_relaxed) : 0.0f;
}

void Morvex::setProgramName(char* name) { boundedCopy(programName, name, kVstMaxProgNameLen); }
void Morvex::getProgramName(char* name) { boundedCopy(name, programName, kVstMaxProgNameLen); }

void Morvex::getParameterName(VstInt32 index, char* text) {
    if (isParameterIndex(index)) boundedCopy(text, kParameters[index].name, kTextLimit);
}

void Morvex::getParameterLabel(VstInt32 index, char* label) {
    if (isParameterIndex(index)) boundedCopy(label, kParameters[index].label, kTextLimit);
}

void Morvex::getParameterDisplay(VstInt32 index, char* text) {
    if (!isParameterIndex(index)) return;
    if (index == kMode) {
        boundedCopy(text, kFilterModeNames[getFilterMode()], kTextLimit);
        return;
    }
    float shown = getParameter(index) * kParameters[index].displayScale;
    float2string(shown, text, kTextLimit);
}

bool Morvex::getEffectName(char* name) {
    boundedCopy(name, "Morvex", kVstMaxEffectNameLen);
    return true;
}

bool Morvex::getVendorString(char* text) {
    boundedCopy(text, "Tarnwick", kVstMaxVendorStrLen);
    return true;
}

bool Morvex::getProductString(char* text) {
    boundedCopy(text, "Morvex", kVstMaxProductStrLen);
    return true;
}

VstInt32 Morvex::getVendorVersion() { return 448; }
