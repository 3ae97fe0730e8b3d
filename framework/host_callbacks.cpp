// AudioEffectX's calls into the host. Each sends one opcode with its arguments in fixed
// places and converts the answer; without a host callback each returns a fixed value and
// sends nothing. AudioEffect's five (version, unique id, idle, pin connections) are in
// audio_effect.cpp.
#include <cstdint>

#include "audio_effect_x.h"

bool AudioEffectX::beginEdit(VstInt32 index) { return hostCallback && callHost(audioMasterBeginEdit, index) != 0; }
bool AudioEffectX::endEdit(VstInt32 index) { return hostCallback && callHost(audioMasterEndEdit, index) != 0; }
bool AudioEffectX::ioChanged() { return hostCallback && callHost(audioMasterIOChanged) != 0; }

// Only a positive answer is kept: 0 or below means the host does not know.
double AudioEffectX::updateSampleRate() {
    if (hostCallback) {
        VstIntPtr answer = callHost(audioMasterGetSampleRate);
        if (answer > 0) sampleRate = static_cast<float>(answer);
    }
    return sampleRate;
}

// Answers that do not fit a positive VstInt32 (possible only with 64-bit pointers) are
// rejected like 0, so blockSize never turns 0 or negative through truncation.
VstInt32 AudioEffectX::updateBlockSize() {
    if (hostCallback) {
        VstIntPtr answer = callHost(audioMasterGetBlockSize);
        if (answer > 0 && answer <= INT32_MAX) blockSize = static_cast<VstInt32>(answer);
    }
    return blockSize;
}

VstInt32 AudioEffectX::getInputLatency() {
    return hostCallback ? static_cast<VstInt32>(callHost(audioMasterGetInputLatency)) : 0;
}
VstInt32 AudioEffectX::getOutputLatency() {
    return hostCallback ? static_cast<VstInt32>(callHost(audioMasterGetOutputLatency)) : 0;
}
VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
    return hostCallback ? reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter)) : nullptr;
}
VstInt32 AudioEffectX::getCurrentProcessLevel() {
    return hostCallback ? static_cast<VstInt32>(callHost(audioMasterGetCurrentProcessLevel)) : 0;
}
VstInt32 AudioEffectX::getAutomationState() {
    return hostCallback ? static_cast<VstInt32>(callHost(audioMasterGetAutomationState)) : 0;
}

bool AudioEffectX::getHostVendorString(char* text) {
    return hostCallback && callHost(audioMasterGetVendorString, 0, 0, text) != 0;
}
bool AudioEffectX::getHostProductString(char* text) {
    return hostCallback && callHost(audioMasterGetProductString, 0, 0, text) != 0;
}
VstInt32 AudioEffectX::getHostVendorVersion() {
    return hostCallback ? static_cast<VstInt32>(callHost(audioMasterGetVendorVersion)) : 0;
}
VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptr, float opt) {
    return hostCallback ? callHost(audioMasterVendorSpecific, arg1, arg2, ptr, opt) : 0;
}
VstInt32 AudioEffectX::canHostDo(char* text) {
    return (hostCallback && callHost(audioMasterCanDo, 0, 0, text) != 0) ? 1 : 0;
}
VstInt32 AudioEffectX::getHostLanguage() {
    return hostCallback ? static_cast<VstInt32>(callHost(audioMasterGetLanguage)) : 0;
}
void* AudioEffectX::getDirectory() {
    return hostCallback ? reinterpret_cast<void*>(callHost(audioMasterGetDirectory)) : nullptr;
}

bool AudioEffectX::updateDisplay() { return hostCallback && callHost(audioMasterUpdateDisplay) != 0; }
bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    return hostCallback && callHost(audioMasterSizeWindow, width, height) != 0;
}
// The three file calls hand the host a record to fill: without one there is nothing to ask.
bool AudioEffectX::openFileSelector(VstFileSelect* selector) {
    return hostCallback && selector && callHost(audioMasterOpenFileSelector, 0, 0, selector) != 0;
}
bool AudioEffectX::closeFileSelector(VstFileSelect* selector) {
    return hostCallback && selector && callHost(audioMasterCloseFileSelector, 0, 0, selector) != 0;
}

bool AudioEffectX::offlineRead(VstOfflineTask* task, VstInt32 option, bool readSource) {
    return hostCallback && callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, task) != 0;
}
bool AudioEffectX::offlineWrite(VstOfflineTask* task, VstInt32 option) {
    return hostCallback && callHost(audioMasterOfflineWrite, 0, option, task) != 0;
}
bool AudioEffectX::offlineStart(VstAudioFile* files, VstInt32 fileCount, VstInt32 newFileCount) {
    return hostCallback && callHost(audioMasterOfflineStart, newFileCount, fileCount, files) != 0;
}
VstInt32 AudioEffectX::offlineGetCurrentPass() {
    return (hostCallback && callHost(audioMasterOfflineGetCurrentPass) != 0) ? 1 : 0;
}
VstInt32 AudioEffectX::offlineGetCurrentMetaPass() {
    return (hostCallback && callHost(audioMasterOfflineGetCurrentMetaPass) != 0) ? 1 : 0;
}

void AudioEffectX::wantEvents(VstInt32 filter) {
    if (hostCallback) callHost(audioMasterWantMidi, 0, filter);
}
VstInt32 AudioEffectX::tempoAt(VstInt32 position) {
    return hostCallback ? static_cast<VstInt32>(callHost(audioMasterTempoAt, 0, position)) : 0;
}
VstInt32 AudioEffectX::getNumAutomatableParameters() {
    return hostCallback ? static_cast<VstInt32>(callHost(audioMasterGetNumAutomatableParameters)) : 0;
}
VstInt32 AudioEffectX::getParameterQuantization() {
    return hostCallback ? static_cast<VstInt32>(callHost(audioMasterGetParameterQuantization)) : 0;
}
bool AudioEffectX::needIdle() { return hostCallback && callHost(audioMasterNeedIdle) != 0; }

// The interface's call has no place for the pin: the host answers for the effect as a whole.
AEffect* AudioEffectX::getPreviousPlug(VstInt32 /*input*/) {
    return hostCallback ? reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug)) : nullptr;
}
AEffect* AudioEffectX::getNextPlug(VstInt32 /*output*/) {
    return hostCallback ? reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug)) : nullptr;
}
VstInt32 AudioEffectX::willProcessReplacing() {
    return hostCallback ? static_cast<VstInt32>(callHost(audioMasterWillReplaceOrAccumulate)) : 0;
}

void AudioEffectX::setOutputSamplerate(float rate) {
    if (hostCallback) callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, rate);
}
VstSpeakerArrangement* AudioEffectX::getInputSpeakerArrangement() {
    return hostCallback ? reinterpret_cast<VstSpeakerArrangement*>(callHost(audioMasterGetInputSpeakerArrangement))
                        : nullptr;
}
VstSpeakerArrangement* AudioEffectX::getOutputSpeakerArrangement() {
    return hostCallback ? reinterpret_cast<VstSpeakerArrangement*>(callHost(audioMasterGetOutputSpeakerArrangement))
                        : nullptr;
}
VstInt32 AudioEffectX::openWindow(VstWindow* window) {
    return hostCallback ? static_cast<VstInt32>(callHost(audioMasterOpenWindow, 0, 0, window)) : 0;
}
bool AudioEffectX::closeWindow(VstWindow* window) {
    return hostCallback && callHost(audioMasterCloseWindow, 0, 0, window) != 0;
}
bool AudioEffectX::getChunkFile(void* nativePath) {
    return hostCallback && nativePath && callHost(audioMasterGetChunkFile, 0, 0, nativePath) != 0;
}
