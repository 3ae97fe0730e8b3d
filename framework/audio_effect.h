// AudioEffect: the base of every effect class. Holds all framework data, including the
// effect record the host holds, and the first block of virtual operations. The order of
// the virtual operations below is part of the framework's contract: keep it.
#pragma once

#include "aeffect.h"

// An editor window attached to an effect. No effect in this project has one; the
// dispatcher forwards the editor opcodes only when one is attached.
class EffectEditor {
public:
    virtual ~EffectEditor() = default;
    virtual bool getRect(void* rect) = 0;
    virtual bool open(void* parentWindow) = 0;
    virtual void close() = 0;
    virtual void idle() = 0;
    virtual bool keyDown(VstKeyCode& key) = 0;
    virtual bool keyUp(VstKeyCode& key) = 0;
    virtual bool setKnobMode(VstInt32 mode) = 0;
};

class AudioEffect {
public:
    // [host's thread, never during process] for construction and destruction
    AudioEffect(audioMasterCallback hostCallback, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect();

    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // [any host thread] opcodes 0 to 24; 0 for every other opcode
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    // [host's thread, never during process]
    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setSampleRate(float newSampleRate) { sampleRate = newSampleRate; }
    virtual void setBlockSize(VstInt32 newBlockSize) { blockSize = newBlockSize; }

    // [audio thread]
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/, VstInt32 /*sampleFrames*/) {}

    // [any thread]
    virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}
    virtual float getParameter(VstInt32 /*index*/) { return 0.0f; }
    virtual void setParameterAutomated(VstInt32 index, float value);

    // [host's thread]
    virtual VstInt32 getProgram() { return currentProgram; }
    virtual void setProgram(VstInt32 program) { currentProgram = program; }
    virtual void setProgramName(char* /*name*/) {}
    virtual void getProgramName(char* name) { *name = '\0'; }
    virtual void getParameterLabel(VstInt32 /*index*/, char* label) { *label = '\0'; }
    virtual void getParameterDisplay(VstInt32 /*index*/, char* text) { *text = '\0'; }
    virtual void getParameterName(VstInt32 /*index*/, char* text) { *text = '\0'; }
    virtual VstInt32 getChunk(void** /*data*/, bool /*isPreset*/) { return 0; }
    virtual VstInt32 setChunk(void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/) { return 0; }

    // Record setters: none of them tells the host.
    virtual void setUniqueID(VstInt32 id) { effectRecord.uniqueID = id; }
    virtual void setNumInputs(VstInt32 inputs) { effectRecord.numInputs = inputs; }
    virtual void setNumOutputs(VstInt32 outputs) { effectRecord.numOutputs = outputs; }
    virtual void canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
    virtual void canDoubleReplacing(bool state) { setFlag(effFlagsCanDoubleReplacing, state); }
    virtual void programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
    virtual void setInitialDelay(VstInt32 delay) { effectRecord.initialDelay = delay; }

    virtual EffectEditor* getEditor() { return editor; }
    virtual AEffect* getAeffect() { return &effectRecord; }
    virtual float getSampleRate() { return sampleRate; }
    virtual VstInt32 getBlockSize() { return blockSize; }

    // Host queries.
    virtual VstInt32 getMasterVersion();
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();

    // Value-to-text conversions; `text` holds at least maxLen + 1 bytes.
    virtual void dB2string(float value, char* text, VstInt32 maxLen);
    virtual void Hz2string(float samples, char* text, VstInt32 maxLen);
    virtual void ms2string(float samples, char* text, VstInt32 maxLen);
    virtual void float2string(float value, char* text, VstInt32 maxLen);
    virtual void int2string(VstInt32 value, char* text, VstInt32 maxLen);

    // Deprecated accumulating process: the record's `process` lands here and does nothing.
    virtual void process(float** /*inputs*/, float** /*outputs*/, VstInt32 /*sampleFrames*/) {}
    virtual float getVu() { return 0.0f; }
    virtual void hasVu(bool state) { setFlag(effFlagsHasVu, state); }
    virtual void hasClip(bool state) { setFlag(effFlagsHasClip, state); }
    virtual void canMono(bool state) { setFlag(effFlagsCanMono, state); }
    virtual void setRealtimeQualities(VstInt32 qualities) { effectRecord.realQualities = qualities; }
    virtual void setOfflineQualities(VstInt32 qualities) { effectRecord.offQualities = qualities; }
    virtual bool isInputConnected(VstInt32 input);
    virtual bool isOutputConnected(VstInt32 output);

protected:
    void setFlag(VstInt32 flag, bool state) {
        if (state) effectRecord.flags |= flag;
        else effectRecord.flags &= ~flag;
    }
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return hostCallback(&effectRecord, opcode, index, value, ptr, opt);
    }

    audioMasterCallback hostCallback;
    EffectEditor* editor = nullptr;
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 1024;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 currentProgram = 0;
    AEffect effectRecord;
};

// Results handed to the host: a bool as exactly 1 or 0, an integer widened with its sign.
inline VstIntPtr hostBool(bool result) { return result ? 1 : 0; }
inline VstIntPtr hostInt(VstInt32 result) { return static_cast<VstIntPtr>(result); }

// Defined by the effect: the entry point's one link to the concrete class. Returns null if
// the object cannot be created.
AudioEffect* createEffectInstance(audioMasterCallback hostCallback);
