// AudioEffectX: the extended framework class. Adds no data; replaces dispatcher and resume
// and appends the operations of the extended opcodes and host calls after AudioEffect's.
#pragma once

#include "audio_effect.h"

class AudioEffectX : public AudioEffect {
public:
    AudioEffectX(audioMasterCallback hostCallback, VstInt32 numPrograms, VstInt32 numParams)
        : AudioEffect(hostCallback, numPrograms, numParams) {}

    // [any host thread] opcodes 25 to 79; everything else goes to AudioEffect's dispatcher
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    // [host's thread, never during process]
    void resume() override {}

    virtual bool getEffectName(char* /*name*/) { return false; }
    virtual bool getVendorString(char* /*text*/) { return false; }
    virtual bool getProductString(char* /*text*/) { return false; }
    virtual VstInt32 getVendorVersion() { return 0; }
};
