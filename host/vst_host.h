// A small, generic VST 2.4 host: load a module, create effect instances through its entry
// point, answer and record the host callback, and drive each instance's record.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../framework/aeffect.h"
#include "shared_library.h"

namespace vsthost {

// One call the module made into the host.
struct CallbackCall {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
    bool hadEffect;  // false for calls with a null record (the entry point's version query)
};

// What the host answers. The default answers 2400 to the version query and 0 to the rest.
using CallbackAnswer = std::function<VstIntPtr(const CallbackCall&)>;
VstIntPtr defaultAnswer(const CallbackCall& call);

class Effect;

class Module {
public:
    // Loads the module and finds VSTPluginMain, or main for older modules. Null on failure,
    // with a sentence in `error`.
    static std::unique_ptr<Module> load(const std::string& path, std::string& error);

    // Calls the entry point with this host's callback. Null if the module returned null.
    std::unique_ptr<Effect> instantiate(CallbackAnswer answer = defaultAnswer);

    const std::string& path() const { return path_; }
    VstPluginMainProc entryPoint() const { return entry_; }
    const char* entryPointName() const { return entryName_; }

private:
    Module() = default;
    std::string path_;
    std::unique_ptr<SharedLibrary> library_;
    VstPluginMainProc entry_ = nullptr;
    const char* entryName_ = nullptr;
};

// One effect instance. Closes itself (effClose) when destroyed, unless closed already.
class Effect {
public:
    ~Effect();
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    AEffect* record() const { return record_; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);
    // effClose; the record is gone afterwards. Returns the dispatcher's answer.
    VstIntPtr close();
    bool isOpen() const { return record_ != nullptr; }

    void open() { dispatch(effOpen); }
    void setSampleRate(float rate) { dispatch(effSetSampleRate, 0, 0, nullptr, rate); }
    void setBlockSize(VstInt32 frames) { dispatch(effSetBlockSize, 0, frames); }
    void mainsChanged(bool on) { dispatch(effMainsChanged, 0, on ? 1 : 0); }

    // Texts, read into buffers larger than the interface asks for and cut at the first zero.
    std::string paramName(VstInt32 index);
    std::string paramLabel(VstInt32 index);
    std::string paramDisplay(VstInt32 index);
    std::string programName();
    std::string effectName();
    std::string vendorString();
    std::string productString();

    void setParameter(VstInt32 index, float value) { record_->setParameter(record_, index, value); }
    float getParameter(VstInt32 index) { return record_->getParameter(record_, index); }
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) {
        record_->processReplacing(record_, inputs, outputs, frames);
    }
    void processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames) {
        record_->processDoubleReplacing(record_, inputs, outputs, frames);
    }
    void process(float** inputs, float** outputs, VstInt32 frames) {
        record_->process(record_, inputs, outputs, frames);
    }

    // Every callback this instance has made so far, oldest first.
    std::vector<CallbackCall> calls() const;
    void clearCalls();
    void setAnswer(CallbackAnswer answer);

private:
    friend class Module;
    friend VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float);
    explicit Effect(CallbackAnswer answer) : answer_(std::move(answer)) {}
    VstIntPtr answerCall(const CallbackCall& call);
    std::string readText(VstInt32 opcode, VstInt32 index);

    AEffect* record_ = nullptr;
    mutable std::mutex mutex_;
    CallbackAnswer answer_;
    std::vector<CallbackCall> calls_;
};

VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt);

// True while the calling thread runs inside hostCallback. What the host does there (record
// the call, take its own locks) is host work, which tools that watch a module's audio path
// for allocations and locks leave out.
bool insideHostCallback();

}  // namespace vsthost
