#include "audio_effect.h"

#include <cstring>

namespace {

AudioEffect* objectOf(AEffect* effect) { return static_cast<AudioEffect*>(effect->object); }

VstIntPtr VSTCALLBACK dispatchEffectClass(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                          void* ptr, float opt) {
    AudioEffect* object = objectOf(effect);
    if (opcode == effClose) {
        object->dispatcher(opcode, index, value, ptr, opt);
        delete object;
        return 1;
    }
    return object->dispatcher(opcode, index, value, ptr, opt);
}

void VSTCALLBACK processClass(AEffect* effect, float** inputs, float** outputs, VstInt32 sampleFrames) {
    objectOf(effect)->process(inputs, outputs, sampleFrames);
}

void VSTCALLBACK setParameterClass(AEffect* effect, VstInt32 index, float value) {
    objectOf(effect)->setParameter(index, value);
}

float VSTCALLBACK getParameterClass(AEffect* effect, VstInt32 index) { return objectOf(effect)->getParameter(index); }

void VSTCALLBACK processClassReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 sampleFrames) {
    objectOf(effect)->processReplacing(inputs, outputs, sampleFrames);
}

void VSTCALLBACK processClassDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                             VstInt32 sampleFrames) {
    objectOf(effect)->processDoubleReplacing(inputs, outputs, sampleFrames);
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback callback, VstInt32 programs, VstInt32 params)
    : hostCallback(callback), numPrograms(programs), numParams(params) {
    std::memset(&effectRecord, 0, sizeof(effectRecord));
    effectRecord.magic = kEffectMagic;
    effectRecord.dispatcher = dispatchEffectClass;
    effectRecord.process = processClass;
    effectRecord.setParameter = setParameterClass;
    effectRecord.getParameter = getParameterClass;
    effectRecord.processReplacing = processClassReplacing;
    effectRecord.processDoubleReplacing = processClassDoubleReplacing;
    effectRecord.flags = effFlagsCanReplacing;
    effectRecord.numPrograms = programs;
    effectRecord.numParams = params;
    effectRecord.numInputs = 1;
    effectRecord.numOutputs = 2;
    effectRecord.ioRatio = 1.0f;
    effectRecord.object = this;
    effectRecord.uniqueID = fourCharCode("NoEf");
    effectRecord.version = 1;
}

AudioEffect::~AudioEffect() { delete editor; }

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    switch (opcode) {
        case effOpen: open(); return 0;
        case effClose: close(); return 0;
        case effSetProgram: if (value < numPrograms) setProgram(static_cast<VstInt32>(value)); return 0;
        case effGetProgram: return hostInt(getProgram());
        case effSetProgramName: setProgramName(static_cast<char*>(ptr)); return 0;
        case effGetProgramName: getProgramName(static_cast<char*>(ptr)); return 0;
        case effGetParamLabel: getParameterLabel(index, static_cast<char*>(ptr)); return 0;
        case effGetParamDisplay: getParameterDisplay(index, static_cast<char*>(ptr)); return 0;
        case effGetParamName: getParameterName(index, static_cast<char*>(ptr)); return 0;
        case effSetSampleRate: setSampleRate(opt); return 0;
        case effSetBlockSize: setBlockSize(static_cast<VstInt32>(value)); return 0;
        case effMainsChanged: if (value != 0) resume(); else suspend(); return 0;
        case effEditGetRect: return editor ? hostBool(editor->getRect(ptr)) : 0;
        case effEditOpen: return editor ? hostBool(editor->open(ptr)) : 0;
        case effEditClose: if (editor) editor->close(); return 0;
        case effEditIdle: if (editor) editor->idle(); return 0;
        case effIdentify: return fourCharCode("NvEf");
        case effGetChunk: return hostInt(getChunk(static_cast<void**>(ptr), index != 0));
        case effSetChunk: return hostInt(setChunk(ptr, static_cast<VstInt32>(value), index != 0));
        default: return 0;  // effGetVu, the unused editor opcodes and anything unknown
    }
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    if (hostCallback) callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() {
    if (!hostCallback) return 1;
    auto version = static_cast<VstInt32>(callHost(audioMasterVersion));
    return version != 0 ? version : 1;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
    return hostCallback ? static_cast<VstInt32>(callHost(audioMasterCurrentId)) : 0;
}

void AudioEffect::masterIdle() {
    if (hostCallback) callHost(audioMasterIdle);
}

// The host answers 0 for a connected pin; without a host every pin counts as connected.
bool AudioEffect::isInputConnected(VstInt32 input) {
    return hostCallback ? callHost(audioMasterPinConnected, input, 0) == 0 : true;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
    return hostCallback ? callHost(audioMasterPinConnected, output, 1) == 0 : true;
}
