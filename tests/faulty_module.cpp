// A small VST 2.4 module for the validator's own tests: a stereo gain that behaves the way
// the validator expects, or makes one fault chosen by MORVEX_FAULT when it is created.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "framework/aeffect.h"

namespace {

enum class Fault {
    None,
    AllocateInProcess,
    LockInSetParameter,
    WriteBeyondFrames,
    ProcessAnnouncedSize,
    LongText,
    LatchNaN,
    CrashOnOpcode150,
    Subnormal,
    NonFiniteParameter,
    InPlaceDiffers,
};

struct Gain {
    AEffect record{};
    Fault fault = Fault::None;
    float gain = 0.5f;
    float state = 0.0f;
    float previous[2] = {};
    VstInt32 blockSize = 1024;
    std::mutex mutex;
};

Gain& of(AEffect* e) { return *static_cast<Gain*>(e->object); }

Fault faultFromEnvironment() {
    const char* name = std::getenv("MORVEX_FAULT");
    const std::string fault = name ? name : "";
    if (fault == "allocate-in-process") return Fault::AllocateInProcess;
    if (fault == "lock-in-set-parameter") return Fault::LockInSetParameter;
    if (fault == "write-beyond-frames") return Fault::WriteBeyondFrames;
    if (fault == "process-announced-size") return Fault::ProcessAnnouncedSize;
    if (fault == "long-text") return Fault::LongText;
    if (fault == "latch-nan") return Fault::LatchNaN;
    if (fault == "crash-on-opcode-150") return Fault::CrashOnOpcode150;
    if (fault == "subnormal") return Fault::Subnormal;
    if (fault == "non-finite-parameter") return Fault::NonFiniteParameter;
    if (fault == "in-place-differs") return Fault::InPlaceDiffers;
    return Fault::None;
}

void copyText(void* ptr, const char* text) {
    std::strncpy(static_cast<char*>(ptr), text, kVstMaxParamStrLen);
    static_cast<char*>(ptr)[kVstMaxParamStrLen] = '\0';
}

VstIntPtr VSTCALLBACK dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float) {
    Gain& g = of(e);
    switch (opcode) {
        case effClose: delete &g; return 1;
        case effSetBlockSize: g.blockSize = static_cast<VstInt32>(value); return 0;
        case effGetParamName:
            if (index != 0) return 0;
            if (g.fault == Fault::LongText) std::memset(ptr, 'n', 100);
            else copyText(ptr, "Gain");
            return 0;
        case effGetParamLabel: if (index == 0) copyText(ptr, "x"); return 0;
        case effGetParamDisplay: if (index == 0) copyText(ptr, "gain"); return 0;
        case 150:
            if (g.fault == Fault::CrashOnOpcode150) *static_cast<volatile int*>(nullptr) = 1;
            return 0;
        default: return 0;
    }
}

float usable(const Gain& g) {
    if (g.fault == Fault::NonFiniteParameter) return g.gain;
    return std::isfinite(g.gain) ? std::fmin(std::fmax(g.gain, 0.0f), 1.0f) : 0.5f;
}

void VSTCALLBACK processReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
    Gain& g = of(e);
    if (g.fault == Fault::AllocateInProcess) {
        float* volatile scratch = new float[frames > 0 ? frames : 1];
        delete[] scratch;
    }
    if (g.fault == Fault::ProcessAnnouncedSize) frames = g.blockSize;
    const float gain = usable(g);
    for (int c = 0; c < 2; ++c) {
        for (VstInt32 i = 0; i < frames; ++i) {
            float x = inputs[c][i];
            if (g.fault == Fault::LatchNaN) {
                g.state += x * 0.0f;  // NaN or infinity make the state NaN for good
                outputs[c][i] = std::isfinite(g.state) ? x * gain : 0.5f;
                continue;
            }
            if (!std::isfinite(x)) x = 0.0f;
            if (g.fault == Fault::Subnormal) {
                g.previous[c] = x + g.previous[c] * 0.5f;  // decays through the subnormal range
                outputs[c][i] = g.previous[c] * gain;
            } else if (g.fault == Fault::InPlaceDiffers) {
                outputs[c][i] = x * gain;
                if (i > 0) outputs[c][i] += inputs[c][i - 1] * 0.25f;  // reads what it wrote when in place
            } else {
                outputs[c][i] = std::fmin(std::fmax(x, -4.0f), 4.0f) * gain;
            }
        }
        if (g.fault == Fault::WriteBeyondFrames) outputs[c][frames] = 0.0f;
    }
}

void VSTCALLBACK process(AEffect*, float**, float**, VstInt32) {}
void VSTCALLBACK processDouble(AEffect*, double**, double**, VstInt32) {}

void VSTCALLBACK setParameter(AEffect* e, VstInt32 index, float value) {
    Gain& g = of(e);
    if (g.fault == Fault::LockInSetParameter) std::lock_guard<std::mutex> lock(g.mutex);
    if (index == 0) g.gain = value;
}

float VSTCALLBACK getParameter(AEffect* e, VstInt32 index) { return index == 0 ? of(e).gain : 0.0f; }

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) {
    if (!host || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    Gain* g = new Gain;
    g->fault = faultFromEnvironment();
    AEffect& r = g->record;
    r.magic = kEffectMagic;
    r.dispatcher = dispatcher;
    r.process = process;
    r.setParameter = setParameter;
    r.getParameter = getParameter;
    r.numPrograms = 1;
    r.numParams = 1;
    r.numInputs = 2;
    r.numOutputs = 2;
    r.flags = effFlagsCanReplacing;
    r.ioRatio = 1.0f;
    r.object = g;
    r.uniqueID = fourCharCode("MvFt");
    r.version = 1;
    r.processReplacing = processReplacing;
    r.processDoubleReplacing = processDouble;
    return &r;
}

#ifdef MORVEX_EXTRA_EXPORT
extern "C" __attribute__((visibility("default"))) int faultyHelper() { return 1; }
#endif
