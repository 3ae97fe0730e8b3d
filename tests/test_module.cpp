// Stand-in modules for the render tool's failure paths, one per TEST_MODULE_* definition:
// no entry point, an entry point that returns null, an effect with one input, and a
// pass-through effect that interrupts its host (SIGINT) during its second block.
#include <csignal>
#include <cstring>

#include "framework/aeffect.h"

namespace {

VstIntPtr VSTCALLBACK dispatcher(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }
void VSTCALLBACK setParameter(AEffect*, VstInt32, float) {}
float VSTCALLBACK getParameter(AEffect*, VstInt32) { return 0.0f; }

void VSTCALLBACK processReplacing(AEffect*, float** inputs, float** outputs, VstInt32 frames) {
    for (int channel = 0; channel < 2; ++channel)
        std::memcpy(outputs[channel], inputs[channel], sizeof(float) * static_cast<std::size_t>(frames));
#ifdef TEST_MODULE_INTERRUPTING
    static int blocks = 0;
    if (++blocks == 2) std::raise(SIGINT);
#endif
}

AEffect makeRecord() {
    AEffect record{};
    record.magic = kEffectMagic;
    record.dispatcher = dispatcher;
    record.setParameter = setParameter;
    record.getParameter = getParameter;
    record.processReplacing = processReplacing;
    record.numPrograms = 1;
#ifdef TEST_MODULE_ONE_INPUT
    record.numInputs = 1;
#else
    record.numInputs = 2;
#endif
    record.numOutputs = 2;
    record.flags = effFlagsCanReplacing;
    return record;
}

AEffect record = makeRecord();

}  // namespace

#ifdef TEST_MODULE_NO_ENTRY
extern "C" __attribute__((visibility("default"))) int notAnEntryPoint() { return record.numInputs; }
#else
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback) {
#ifdef TEST_MODULE_NULL_ENTRY
    return nullptr;
#else
    return &record;
#endif
}
#endif
