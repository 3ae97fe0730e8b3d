#include "vst_host.h"

#include <cstring>
#include <unordered_map>

namespace vsthost {
namespace {

// The callback gets only the record's address; this maps it back to its Effect. Calls made
// before the entry point returns (the record is not known yet) go to the instance being
// created on this thread.
std::mutex registryMutex;
std::unordered_map<AEffect*, Effect*> registry;
thread_local Effect* instantiating = nullptr;
thread_local int callbackDepth = 0;

Effect* effectFor(AEffect* record) {
    std::lock_guard<std::mutex> lock(registryMutex);
    auto found = registry.find(record);
    return found != registry.end() ? found->second : instantiating;
}

}  // namespace

VstIntPtr defaultAnswer(const CallbackCall& call) { return call.opcode == audioMasterVersion ? 2400 : 0; }

bool insideHostCallback() { return callbackDepth > 0; }

VstIntPtr VSTCALLBACK hostCallback(AEffect* record, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
    struct Depth {
        Depth() { ++callbackDepth; }
        ~Depth() { --callbackDepth; }
    } depth;
    const CallbackCall call{opcode, index, value, ptr, opt, record != nullptr};
    Effect* effect = record ? effectFor(record) : instantiating;
    return effect ? effect->answerCall(call) : defaultAnswer(call);
}

std::unique_ptr<Module> Module::load(const std::string& path, std::string& error) {
    std::unique_ptr<Module> module(new Module());
    module->path_ = path;
    module->library_ = SharedLibrary::open(path, error);
    if (!module->library_) return nullptr;
    for (const char* name : {"VSTPluginMain", "main"}) {
        if (void* symbol = module->library_->symbol(name)) {
            module->entry_ = reinterpret_cast<VstPluginMainProc>(symbol);
            module->entryName_ = name;
            return module;
        }
    }
    error = path + ": no VST 2.4 entry point (neither VSTPluginMain nor main is exported)";
    return nullptr;
}

std::unique_ptr<Effect> Module::instantiate(CallbackAnswer answer) {
    std::unique_ptr<Effect> effect(new Effect(std::move(answer)));
    instantiating = effect.get();
    AEffect* record = entry_(hostCallback);
    instantiating = nullptr;
    if (!record) return nullptr;
    effect->record_ = record;
    std::lock_guard<std::mutex> lock(registryMutex);
    registry[record] = effect.get();
    return effect;
}

Effect::~Effect() {
    if (record_) close();
}

VstIntPtr Effect::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return record_->dispatcher(record_, opcode, index, value, ptr, opt);
}

VstIntPtr Effect::close() {
    VstIntPtr answer = dispatch(effClose);
    std::lock_guard<std::mutex> lock(registryMutex);
    registry.erase(record_);
    record_ = nullptr;
    return answer;
}

std::string Effect::readText(VstInt32 opcode, VstInt32 index) {
    char buffer[256] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[sizeof(buffer) - 1] = '\0';
    return buffer;
}

std::string Effect::paramName(VstInt32 index) { return readText(effGetParamName, index); }
std::string Effect::paramLabel(VstInt32 index) { return readText(effGetParamLabel, index); }
std::string Effect::paramDisplay(VstInt32 index) { return readText(effGetParamDisplay, index); }
std::string Effect::programName() { return readText(effGetProgramName, 0); }
std::string Effect::effectName() { return readText(effGetEffectName, 0); }
std::string Effect::vendorString() { return readText(effGetVendorString, 0); }
std::string Effect::productString() { return readText(effGetProductString, 0); }

VstIntPtr Effect::answerCall(const CallbackCall& call) {
    CallbackAnswer answer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(call);
        answer = answer_;
    }
    return answer ? answer(call) : defaultAnswer(call);
}

std::vector<CallbackCall> Effect::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

void Effect::clearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}

void Effect::setAnswer(CallbackAnswer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answer_ = std::move(answer);
}

}  // namespace vsthost
