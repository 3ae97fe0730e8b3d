#include "audio_effect_x.h"

namespace {

template <class T>
T* pointerFrom(VstIntPtr value) {
    return reinterpret_cast<T*>(value);
}

// Modifier bits are the low 8 bits of opt truncated toward zero. Every finite float outside
// the VstInt32 range is a multiple of 256, so 0 is already its low byte; NaN gets 0 too,
// and no out-of-range conversion is ever made.
unsigned char modifierBits(float opt) {
    if (!(opt > -2147483648.0f && opt < 2147483648.0f)) return 0;
    return static_cast<unsigned char>(static_cast<VstInt32>(opt) & 0xFF);
}

VstKeyCode keyCodeFor(VstInt32 index, VstIntPtr value, float opt) {
    return VstKeyCode{index, static_cast<unsigned char>(value & 0xFF), modifierBits(opt)};
}

}  // namespace

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    auto* text = static_cast<char*>(ptr);
    auto count = static_cast<VstInt32>(value);
    switch (opcode) {
        case effProcessEvents: return hostInt(processEvents(static_cast<VstEvents*>(ptr)));
        case effCanBeAutomated: return hostBool(canParameterBeAutomated(index));
        case effString2Parameter: return hostBool(string2parameter(index, text));
        case effGetProgramNameIndexed: return hostBool(getProgramNameIndexed(count, index, text));
        case effGetInputProperties: return hostBool(getInputProperties(index, static_cast<VstPinProperties*>(ptr)));
        case effGetOutputProperties: return hostBool(getOutputProperties(index, static_cast<VstPinProperties*>(ptr)));
        case effGetPlugCategory: return hostInt(getPlugCategory());
        case effOfflineNotify: return hostBool(offlineNotify(static_cast<VstAudioFile*>(ptr), count, index != 0));
        case effOfflinePrepare: return hostBool(offlinePrepare(static_cast<VstOfflineTask*>(ptr), count));
        case effOfflineRun: return hostBool(offlineRun(static_cast<VstOfflineTask*>(ptr), count));
        case effProcessVarIo: return hostBool(processVariableIo(static_cast<VstVariableIo*>(ptr)));
        case effSetSpeakerArrangement: return hostBool(setSpeakerArrangement(pointerFrom<VstSpeakerArrangement>(value), static_cast<VstSpeakerArrangement*>(ptr)));
        case effSetBypass: return hostBool(setBypass(value != 0));
        case effGetEffectName: return hostBool(getEffectName(text));
        case effGetVendorString: return hostBool(getVendorString(text));
        case effGetProductString: return hostBool(getProductString(text));
        case effGetVendorVersion: return hostInt(getVendorVersion());
        case effVendorSpecific: return vendorSpecific(index, value, ptr, opt);
        case effCanDo: return hostInt(canDo(text));
        case effGetTailSize: return hostInt(getGetTailSize());
        case effGetParameterProperties: return hostBool(getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)));
        case effGetVstVersion: return hostInt(getVstVersion());
        case effEditKeyDown: { VstKeyCode key = keyCodeFor(index, value, opt); return editor ? hostBool(editor->keyDown(key)) : 0; }
        case effEditKeyUp: { VstKeyCode key = keyCodeFor(index, value, opt); return editor ? hostBool(editor->keyUp(key)) : 0; }
        case effSetEditKnobMode: return editor ? hostBool(editor->setKnobMode(count)) : 0;
        case effGetMidiProgramName: return hostInt(getMidiProgramName(index, static_cast<MidiProgramName*>(ptr)));
        case effGetCurrentMidiProgram: return hostInt(getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr)));
        case effGetMidiProgramCategory: return hostInt(getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr)));
        case effHasMidiProgramsChanged: return hostBool(hasMidiProgramsChanged(index));
        case effGetMidiKeyName: return hostBool(getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)));
        case effBeginSetProgram: return hostBool(beginSetProgram());
        case effEndSetProgram: return hostBool(endSetProgram());
        case effGetSpeakerArrangement: return hostBool(getSpeakerArrangement(pointerFrom<VstSpeakerArrangement*>(value), static_cast<VstSpeakerArrangement**>(ptr)));
        case effShellGetNextPlugin: return hostInt(getNextShellPlugin(text));
        case effStartProcess: return hostInt(startProcess());
        case effStopProcess: return hostInt(stopProcess());
        case effSetTotalSampleToProcess: return hostInt(setTotalSampleToProcess(count));
        case effSetPanLaw: return hostBool(setPanLaw(count, opt));
        case effBeginLoadBank: return hostInt(beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr)));
        case effBeginLoadProgram: return hostInt(beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr)));
        case effSetProcessPrecision: return hostBool(setProcessPrecision(count));
        case effGetNumMidiInputChannels: return hostInt(getNumMidiInputChannels());
        case effGetNumMidiOutputChannels: return hostInt(getNumMidiOutputChannels());
        // Opcodes 28, 30-32, 36, 37, 43, 46, 53-55 and 57 are not handled: they answer 0.
        default: return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

void AudioEffectX::resume() {
    if (effectRecord.flags & effFlagsIsSynth) {
        wantEvents(1);
        return;
    }
    char capability[] = "receiveVstMidiEvent";
    if (canDo(capability) == 1) wantEvents(1);
}

VstInt32 AudioEffectX::getPlugCategory() {
    return (effectRecord.flags & effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output) {
    if (input) *input = nullptr;
    if (output) *output = nullptr;
    return false;
}
