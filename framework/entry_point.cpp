#include "audio_effect.h"

#include <new>

#if defined(_WIN32)
#define VST_EXPORT __declspec(dllexport)
#else
#define VST_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

VST_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback hostCallback) {
    // A host that answers 0 to the version query gets nothing.
    if (!hostCallback || hostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    AudioEffect* effect = createEffectInstance(hostCallback);
    return effect ? effect->getAeffect() : nullptr;
}
}  // extern "C"
