// Unit tests of AudioEffectX: argument placement of the extended dispatcher, editor key
// records, resume and the plug-in category, the host-callback wrappers against a recording
// host, the flag setters and the speaker-arrangement tools.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "framework/audio_effect_x.h"

#if defined(__SANITIZE_ADDRESS__)
// Exact sizes and liveness of heap blocks, straight from the address sanitizer's allocator.
extern "C" std::size_t __sanitizer_get_allocated_size(const volatile void* p);
extern "C" int __sanitizer_get_ownership(const volatile void* p);
// The refused-allocation test asks for ~240 GB and needs null back instead of an abort.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif
#if defined(__SANITIZE_THREAD__)
// The same refused-allocation test under the thread sanitizer's allocator.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_options() {
    return "allocator_may_return_null=1";
}
#endif

namespace {

struct HostCall {
    AEffect* effect;
    VstInt32 opcode, index;
    VstIntPtr value;
    void* ptr;
    float opt;
};
std::vector<HostCall> hostCalls;
VstIntPtr hostAnswer = 0;

VstIntPtr VSTCALLBACK recordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt) {
    hostCalls.push_back({effect, opcode, index, value, ptr, opt});
    return hostAnswer;
}

class PlainEffect : public AudioEffectX {
public:
    explicit PlainEffect(audioMasterCallback host) : AudioEffectX(host, 1, 1) {}
    void processReplacing(float**, float**, VstInt32) override {}
    VstInt32 flags() { return effectRecord.flags; }
    void setFlags(VstInt32 flags) { effectRecord.flags = flags; }
    void attach(EffectEditor* newEditor) { editor = newEditor; }
};

// ---- Extended dispatcher: which operation runs, with which arguments, answering what.

struct Seen {
    std::string op;
    VstIntPtr a = 0, b = 0;
    const void* p = nullptr;
    const void* q = nullptr;
    float f = 0.0f;
};

// A pointer-wide answer that must reach the host at full width.
constexpr VstIntPtr kWide = INTPTR_MIN + 5;

// Overrides every operation an opcode of 25..79 reaches, records its arguments and answers
// `yes` (bools) or -7 (integers, to see the sign survive the widening).
class DispatchProbe : public PlainEffect {
public:
    DispatchProbe() : PlainEffect(recordingHost) {}
    Seen seen;
    bool yes = true;

    bool note(const char* op, VstIntPtr a = 0, VstIntPtr b = 0, const void* p = nullptr, const void* q = nullptr,
              float f = 0.0f) {
        seen = Seen{op, a, b, p, q, f};
        return yes;
    }
    VstInt32 noteInt(const char* op, VstIntPtr a = 0, const void* p = nullptr) {
        note(op, a, 0, p);
        return -7;
    }

    VstInt32 processEvents(VstEvents* e) override { return noteInt("processEvents", 0, e); }
    bool canParameterBeAutomated(VstInt32 i) override { return note("canParameterBeAutomated", i); }
    bool string2parameter(VstInt32 i, char* t) override { return note("string2parameter", i, 0, t); }
    bool getProgramNameIndexed(VstInt32 c, VstInt32 i, char* t) override {
        return note("getProgramNameIndexed", c, i, t);
    }
    bool getInputProperties(VstInt32 i, VstPinProperties* p) override { return note("getInputProperties", i, 0, p); }
    bool getOutputProperties(VstInt32 i, VstPinProperties* p) override { return note("getOutputProperties", i, 0, p); }
    VstInt32 getPlugCategory() override { return noteInt("getPlugCategory"); }
    bool offlineNotify(VstAudioFile* f, VstInt32 n, bool s) override { return note("offlineNotify", n, s, f); }
    bool offlinePrepare(VstOfflineTask* t, VstInt32 n) override { return note("offlinePrepare", n, 0, t); }
    bool offlineRun(VstOfflineTask* t, VstInt32 n) override { return note("offlineRun", n, 0, t); }
    bool processVariableIo(VstVariableIo* io) override { return note("processVariableIo", 0, 0, io); }
    bool setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) override {
        return note("setSpeakerArrangement", 0, 0, in, out);
    }
    bool setBypass(bool on) override { return note("setBypass", on); }
    bool getEffectName(char* t) override { return note("getEffectName", 0, 0, t); }
    bool getVendorString(char* t) override { return note("getVendorString", 0, 0, t); }
    bool getProductString(char* t) override { return note("getProductString", 0, 0, t); }
    VstInt32 getVendorVersion() override { return noteInt("getVendorVersion"); }
    VstIntPtr vendorSpecific(VstInt32 a, VstIntPtr b, void* p, float f) override {
        note("vendorSpecific", a, b, p, nullptr, f);
        return kWide;
    }
    VstInt32 canDo(char* t) override { return noteInt("canDo", 0, t); }
    VstInt32 getGetTailSize() override { return noteInt("getGetTailSize"); }
    bool getParameterProperties(VstInt32 i, VstParameterProperties* p) override {
        return note("getParameterProperties", i, 0, p);
    }
    VstInt32 getVstVersion() override { return noteInt("getVstVersion"); }
    VstInt32 getMidiProgramName(VstInt32 c, MidiProgramName* n) override { return noteInt("getMidiProgramName", c, n); }
    VstInt32 getCurrentMidiProgram(VstInt32 c, MidiProgramName* n) override {
        return noteInt("getCurrentMidiProgram", c, n);
    }
    VstInt32 getMidiProgramCategory(VstInt32 c, MidiProgramCategory* n) override {
        return noteInt("getMidiProgramCategory", c, n);
    }
    bool hasMidiProgramsChanged(VstInt32 c) override { return note("hasMidiProgramsChanged", c); }
    bool getMidiKeyName(VstInt32 c, MidiKeyName* k) override { return note("getMidiKeyName", c, 0, k); }
    bool beginSetProgram() override { return note("beginSetProgram"); }
    bool endSetProgram() override { return note("endSetProgram"); }
    bool getSpeakerArrangement(VstSpeakerArrangement** in, VstSpeakerArrangement** out) override {
        return note("getSpeakerArrangement", 0, 0, in, out);
    }
    VstInt32 getNextShellPlugin(char* t) override { return noteInt("getNextShellPlugin", 0, t); }
    VstInt32 startProcess() override { return noteInt("startProcess"); }
    VstInt32 stopProcess() override { return noteInt("stopProcess"); }
    VstInt32 setTotalSampleToProcess(VstInt32 v) override { return noteInt("setTotalSampleToProcess", v); }
    bool setPanLaw(VstInt32 t, float g) override { return note("setPanLaw", t, 0, nullptr, nullptr, g); }
    VstInt32 beginLoadBank(VstPatchChunkInfo* i) override { return noteInt("beginLoadBank", 0, i); }
    VstInt32 beginLoadProgram(VstPatchChunkInfo* i) override { return noteInt("beginLoadProgram", 0, i); }
    bool setProcessPrecision(VstInt32 p) override { return note("setProcessPrecision", p); }
    VstInt32 getNumMidiInputChannels() override { return noteInt("getNumMidiInputChannels"); }
    VstInt32 getNumMidiOutputChannels() override { return noteInt("getNumMidiOutputChannels"); }

    // Reached by no opcode: a call here is a dispatcher fault.
    VstInt32 getNumProgramCategories() override { return noteInt("getNumProgramCategories"); }
    bool copyProgram(VstInt32) override { return note("copyProgram"); }
    void connectInput(VstInt32, VstInt32) override { note("connectInput"); }
    void connectOutput(VstInt32, VstInt32) override { note("connectOutput"); }
    VstInt32 getCurrentPosition() override { return noteInt("getCurrentPosition"); }
    float* getDestinationBuffer() override { return note("getDestinationBuffer"), nullptr; }
    void setBlockSizeAndSampleRate(VstInt32, float) override { note("setBlockSizeAndSampleRate"); }
    bool getErrorText(char*) override { return note("getErrorText"); }
    void* getIcon() override { return note("getIcon"), nullptr; }
    bool setViewPosition(VstInt32, VstInt32) override { return note("setViewPosition"); }
    VstInt32 effectIdle() override { return noteInt("effectIdle"); }
    bool keysRequired() override { return note("keysRequired"); }
};

TEST(ExtendedDispatcher, EachOpcodeCallsItsOperationWithItsArguments) {
    char text[8];
    VstSpeakerArrangement* inHolder = nullptr;
    const auto valuePtr = reinterpret_cast<VstIntPtr>(&inHolder);
    const void* P = text;
    const void* V = &inHolder;
    enum Result { Bool, Int, Wide };
    struct Case {
        VstInt32 opcode;
        VstIntPtr value;  // the index is always 5, ptr `text` and opt 0.5
        Seen expected;
        Result result;
    };
    // value 9 unless the operation reads value as a pointer or a flag.
    const Case cases[] = {
        {effProcessEvents, 9, {"processEvents", 0, 0, P}, Int},
        {effCanBeAutomated, 9, {"canParameterBeAutomated", 5}, Bool},
        {effString2Parameter, 9, {"string2parameter", 5, 0, P}, Bool},
        {effGetProgramNameIndexed, 9, {"getProgramNameIndexed", 9, 5, P}, Bool},
        {effGetInputProperties, 9, {"getInputProperties", 5, 0, P}, Bool},
        {effGetOutputProperties, 9, {"getOutputProperties", 5, 0, P}, Bool},
        {effGetPlugCategory, 9, {"getPlugCategory"}, Int},
        {effOfflineNotify, 9, {"offlineNotify", 9, 1, P}, Bool},
        {effOfflinePrepare, 9, {"offlinePrepare", 9, 0, P}, Bool},
        {effOfflineRun, 9, {"offlineRun", 9, 0, P}, Bool},
        {effProcessVarIo, 9, {"processVariableIo", 0, 0, P}, Bool},
        {effSetSpeakerArrangement, valuePtr, {"setSpeakerArrangement", 0, 0, V, P}, Bool},
        {effSetBypass, 9, {"setBypass", 1}, Bool},
        {effGetEffectName, 9, {"getEffectName", 0, 0, P}, Bool},
        {effGetVendorString, 9, {"getVendorString", 0, 0, P}, Bool},
        {effGetProductString, 9, {"getProductString", 0, 0, P}, Bool},
        {effGetVendorVersion, 9, {"getVendorVersion"}, Int},
        {effVendorSpecific, 9, {"vendorSpecific", 5, 9, P, nullptr, 0.5f}, Wide},
        {effCanDo, 9, {"canDo", 0, 0, P}, Int},
        {effGetTailSize, 9, {"getGetTailSize"}, Int},
        {effGetParameterProperties, 9, {"getParameterProperties", 5, 0, P}, Bool},
        {effGetVstVersion, 9, {"getVstVersion"}, Int},
        {effGetMidiProgramName, 9, {"getMidiProgramName", 5, 0, P}, Int},
        {effGetCurrentMidiProgram, 9, {"getCurrentMidiProgram", 5, 0, P}, Int},
        {effGetMidiProgramCategory, 9, {"getMidiProgramCategory", 5, 0, P}, Int},
        {effHasMidiProgramsChanged, 9, {"hasMidiProgramsChanged", 5}, Bool},
        {effGetMidiKeyName, 9, {"getMidiKeyName", 5, 0, P}, Bool},
        {effBeginSetProgram, 9, {"beginSetProgram"}, Bool},
        {effEndSetProgram, 9, {"endSetProgram"}, Bool},
        {effGetSpeakerArrangement, valuePtr, {"getSpeakerArrangement", 0, 0, V, P}, Bool},
        {effShellGetNextPlugin, 9, {"getNextShellPlugin", 0, 0, P}, Int},
        {effStartProcess, 9, {"startProcess"}, Int},
        {effStopProcess, 9, {"stopProcess"}, Int},
        {effSetTotalSampleToProcess, 9, {"setTotalSampleToProcess", 9}, Int},
        {effSetPanLaw, 9, {"setPanLaw", 9, 0, nullptr, nullptr, 0.5f}, Bool},
        {effBeginLoadBank, 9, {"beginLoadBank", 0, 0, P}, Int},
        {effBeginLoadProgram, 9, {"beginLoadProgram", 0, 0, P}, Int},
        {effSetProcessPrecision, 9, {"setProcessPrecision", 9}, Bool},
        {effGetNumMidiInputChannels, 9, {"getNumMidiInputChannels"}, Int},
        {effGetNumMidiOutputChannels, 9, {"getNumMidiOutputChannels"}, Int},
    };
    DispatchProbe probe;
    hostCalls.clear();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.op);
        for (bool yes : {true, false}) {
            probe.seen = Seen{};
            probe.yes = yes;
            VstIntPtr answer = probe.dispatcher(c.opcode, 5, c.value, text, 0.5f);
            EXPECT_EQ(probe.seen.op, c.expected.op);
            EXPECT_EQ(probe.seen.a, c.expected.a);
            EXPECT_EQ(probe.seen.b, c.expected.b);
            EXPECT_EQ(probe.seen.p, c.expected.p);
            EXPECT_EQ(probe.seen.q, c.expected.q);
            EXPECT_EQ(probe.seen.f, c.expected.f);
            EXPECT_EQ(answer, c.result == Bool ? (yes ? 1 : 0) : c.result == Int ? -7 : kWide);
        }
    }
    // A flag taken from value is any non-zero value, a count its low 32 bits.
    probe.dispatcher(effSetBypass, 0, VstIntPtr{-2}, nullptr, 0.0f);
    EXPECT_EQ(probe.seen.a, 1);
    probe.dispatcher(effOfflineNotify, 0, 3, nullptr, 0.0f);
    EXPECT_EQ(probe.seen.b, 0) << "start is index != 0";
    EXPECT_TRUE(hostCalls.empty());
}

TEST(ExtendedDispatcher, UnhandledOpcodesOfTheRangeReachNoOperation) {
    DispatchProbe probe;
    const VstInt32 passedOn[] = {28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, -1, 80, 1000};
    for (VstInt32 opcode : passedOn) {
        SCOPED_TRACE(opcode);
        char text[8] = "marker";
        probe.seen = Seen{};
        EXPECT_EQ(probe.dispatcher(opcode, 5, 9, text, 0.5f), 0);
        EXPECT_EQ(probe.seen.op, "");
        EXPECT_STREQ(text, "marker");
    }
    // AudioEffect's opcodes still arrive: the fallback passes all five arguments on.
    EXPECT_EQ(probe.dispatcher(effIdentify, 0, 0, nullptr, 0.0f), 0x4E764566);
    probe.dispatcher(effSetSampleRate, 0, 0, nullptr, 22050.0f);
    EXPECT_EQ(probe.getSampleRate(), 22050.0f);
    probe.dispatcher(effSetBlockSize, 0, 64, nullptr, 0.0f);
    EXPECT_EQ(probe.getBlockSize(), 64);
}

TEST(ExtendedDispatcher, DefaultsOfTheUnreachedEntries) {
    PlainEffect effect(nullptr);
    EXPECT_EQ(effect.offlinePassCount(), 0);
    EXPECT_EQ(effect.offlineMetaPassCount(), 0);
    EXPECT_EQ(effect.getNumProgramCategories(), 1);
    EXPECT_FALSE(effect.copyProgram(0));
    EXPECT_EQ(effect.getCurrentPosition(), 0);
    EXPECT_EQ(effect.getDestinationBuffer(), nullptr);
    char text[4] = "abc";
    EXPECT_FALSE(effect.getErrorText(text));
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(effect.getIcon(), nullptr);
    EXPECT_FALSE(effect.setViewPosition(1, 2));
    EXPECT_EQ(effect.effectIdle(), 0);
    EXPECT_FALSE(effect.keysRequired());
    effect.connectInput(0, 1);
    effect.connectOutput(0, 1);
    effect.setBlockSizeAndSampleRate(-3, -1.0f);  // unchecked, like the dispatcher's setters
    EXPECT_EQ(effect.getBlockSize(), -3);
    EXPECT_EQ(effect.getSampleRate(), -1.0f);
}

TEST(ExtendedDispatcher, NullSpeakerHoldersAreSkipped) {
    PlainEffect effect(nullptr);
    int storage = 0;
    auto* held = reinterpret_cast<VstSpeakerArrangement*>(&storage);
    VstSpeakerArrangement* holder = held;
    EXPECT_EQ(effect.dispatcher(effGetSpeakerArrangement, 0, 0, &holder, 0.0f), 0);
    EXPECT_EQ(holder, nullptr);
    holder = held;
    EXPECT_EQ(effect.dispatcher(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&holder), nullptr, 0.0f), 0);
    EXPECT_EQ(holder, nullptr);
    EXPECT_EQ(effect.dispatcher(effGetSpeakerArrangement, 0, 0, nullptr, 0.0f), 0);
}

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && !defined(_MSC_VER)
// Under the Itanium C++ ABI a pointer to a virtual member holds 1 + its byte offset in the
// table of virtual operations.
template <class F>
std::ptrdiff_t slotOf(F member) {
    static_assert(sizeof(F) == 2 * sizeof(std::uintptr_t), "Itanium member pointer");
    std::uintptr_t words[2];
    std::memcpy(words, &member, sizeof(words));
    return (words[0] & 1) ? static_cast<std::ptrdiff_t>((words[0] - 1) / sizeof(void*)) : -1;
}

TEST(ExtendedDispatcher, AppendedOperationsKeepTheirOrder) {
    using X = AudioEffectX;
    const std::ptrdiff_t slots[] = {
        slotOf(&X::canParameterBeAutomated), slotOf(&X::string2parameter), slotOf(&X::getParameterProperties),
        slotOf(&X::beginEdit), slotOf(&X::endEdit), slotOf(&X::getProgramNameIndexed),
        slotOf(&X::beginSetProgram), slotOf(&X::endSetProgram), slotOf(&X::beginLoadBank),
        slotOf(&X::beginLoadProgram), slotOf(&X::ioChanged), slotOf(&X::updateSampleRate),
        slotOf(&X::updateBlockSize), slotOf(&X::getInputLatency), slotOf(&X::getOutputLatency),
        slotOf(&X::getInputProperties), slotOf(&X::getOutputProperties), slotOf(&X::setSpeakerArrangement),
        slotOf(&X::getSpeakerArrangement), slotOf(&X::setBypass), slotOf(&X::setPanLaw),
        slotOf(&X::setProcessPrecision), slotOf(&X::getNumMidiInputChannels), slotOf(&X::getNumMidiOutputChannels),
        slotOf(&X::getTimeInfo), slotOf(&X::getCurrentProcessLevel), slotOf(&X::getAutomationState),
        slotOf(&X::processEvents), slotOf(&X::startProcess), slotOf(&X::stopProcess),
        slotOf(&X::processVariableIo), slotOf(&X::setTotalSampleToProcess), slotOf(&X::getHostVendorString),
        slotOf(&X::getHostProductString), slotOf(&X::getHostVendorVersion), slotOf(&X::hostVendorSpecific),
        slotOf(&X::canHostDo), slotOf(&X::getHostLanguage), slotOf(&X::isSynth),
        slotOf(&X::noTail), slotOf(&X::getGetTailSize), slotOf(&X::getDirectory),
        slotOf(&X::getEffectName), slotOf(&X::getVendorString), slotOf(&X::getProductString),
        slotOf(&X::getVendorVersion), slotOf(&X::vendorSpecific), slotOf(&X::canDo),
        slotOf(&X::getVstVersion), slotOf(&X::getPlugCategory), slotOf(&X::getMidiProgramName),
        slotOf(&X::getCurrentMidiProgram), slotOf(&X::getMidiProgramCategory), slotOf(&X::hasMidiProgramsChanged),
        slotOf(&X::getMidiKeyName), slotOf(&X::updateDisplay), slotOf(&X::sizeWindow),
        slotOf(&X::openFileSelector), slotOf(&X::closeFileSelector), slotOf(&X::getNextShellPlugin),
        slotOf(&X::allocateArrangement), slotOf(&X::deallocateArrangement), slotOf(&X::copySpeaker),
        slotOf(&X::matchArrangement), slotOf(&X::offlineRead), slotOf(&X::offlineWrite),
        slotOf(&X::offlineStart), slotOf(&X::offlineGetCurrentPass), slotOf(&X::offlineGetCurrentMetaPass),
        slotOf(&X::offlineNotify), slotOf(&X::offlinePrepare), slotOf(&X::offlineRun),
        slotOf(&X::offlinePassCount), slotOf(&X::offlineMetaPassCount), slotOf(&X::wantEvents),
        slotOf(&X::tempoAt), slotOf(&X::getNumAutomatableParameters), slotOf(&X::getParameterQuantization),
        slotOf(&X::getNumProgramCategories), slotOf(&X::copyProgram), slotOf(&X::needIdle),
        slotOf(&X::getPreviousPlug), slotOf(&X::getNextPlug), slotOf(&X::connectInput),
        slotOf(&X::connectOutput), slotOf(&X::willProcessReplacing), slotOf(&X::extIsAsync),
        slotOf(&X::extHasBuffer), slotOf(&X::getCurrentPosition), slotOf(&X::getDestinationBuffer),
        slotOf(&X::setOutputSamplerate), slotOf(&X::getInputSpeakerArrangement),
        slotOf(&X::getOutputSpeakerArrangement), slotOf(&X::openWindow), slotOf(&X::closeWindow),
        slotOf(&X::setBlockSizeAndSampleRate), slotOf(&X::getErrorText), slotOf(&X::getIcon),
        slotOf(&X::setViewPosition), slotOf(&X::effectIdle), slotOf(&X::keysRequired), slotOf(&X::getChunkFile),
    };
    static_assert(sizeof(slots) / sizeof(slots[0]) == 102, "102 appended operations");
    EXPECT_EQ(slotOf(&X::dispatcher), slotOf(&AudioEffect::dispatcher));
    EXPECT_EQ(slotOf(&X::resume), slotOf(&AudioEffect::resume));
    std::ptrdiff_t previous = slotOf(&AudioEffect::isOutputConnected);
    for (std::size_t i = 0; i < 102; ++i) {
        EXPECT_EQ(slots[i], previous + 1) << "operation " << i;
        previous = slots[i];
    }
}
#endif

// ---- Editor forwarding of the key and knob-mode opcodes.

class RecordingEditor : public EffectEditor {
public:
    bool answer = true;
    int calls = 0;
    VstKeyCode key{-1, 0xEE, 0xEE};
    VstInt32 knobMode = -1;
    bool getRect(void*) override { return false; }
    bool open(void*) override { return false; }
    void close() override {}
    void idle() override {}
    bool keyDown(VstKeyCode& k) override { return record(k); }
    bool keyUp(VstKeyCode& k) override { return record(k); }
    bool setKnobMode(VstInt32 mode) override {
        ++calls;
        knobMode = mode;
        return answer;
    }

private:
    bool record(const VstKeyCode& k) {
        ++calls;
        key = k;
        return answer;
    }
};

TEST(ExtendedDispatcher, KeyOpcodesLendTheEditorAKeyRecord) {
    struct Case {
        const char* what;
        VstInt32 index;
        VstIntPtr value;
        float opt;
        int virt, modifier;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {"plain", 'a', 0x41, 3.9f, 0x41, 3},
        {"value's low byte only", 'b', 0x1234, 0.0f, 0x34, 0},
        {"negative value", 7, -1, 0.0f, 0xFF, 0},
        {"negative opt truncates toward zero", 0, 0, -1.5f, 0, 0xFF},
        {"opt above a byte keeps its low byte", 0, 0, 300.7f, 0, 300 & 0xFF},
        {"largest opt in range", 0, 0, 2147483520.0f, 0, 0x80},
        {"opt beyond the range", 0, 0, 3.0e9f, 0, 0},
        {"opt below the range", 0, 0, -3.0e9f, 0, 0},
        {"lowest VstInt32", 0, 0, -2147483648.0f, 0, 0},
        {"NaN opt", 0, 0, nan, 0, 0},
        {"infinite opt", 0, 0, inf, 0, 0},
        {"negative infinite opt", 0, 0, -inf, 0, 0},
    };
    PlainEffect effect(nullptr);
    auto* editor = new RecordingEditor;  // the effect's destructor releases it
    effect.attach(editor);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (VstInt32 opcode : {effEditKeyDown, effEditKeyUp}) {
            for (bool answer : {true, false}) {
                editor->answer = answer;
                editor->key = VstKeyCode{-1, 0xEE, 0xEE};
                EXPECT_EQ(effect.dispatcher(opcode, c.index, c.value, nullptr, c.opt), answer ? 1 : 0);
                EXPECT_EQ(editor->key.character, c.index);
                EXPECT_EQ(editor->key.virt, c.virt);
                EXPECT_EQ(editor->key.modifier, c.modifier);
            }
        }
    }
    editor->answer = true;
    EXPECT_EQ(effect.dispatcher(effSetEditKnobMode, 0, 2, nullptr, 0.0f), 1);
    EXPECT_EQ(editor->knobMode, 2);
}

TEST(ExtendedDispatcher, KeyOpcodesWithoutAnEditorAnswerZero) {
    PlainEffect effect(recordingHost);
    hostCalls.clear();
    for (VstInt32 opcode : {effEditKeyDown, effEditKeyUp, effSetEditKnobMode})
        for (float opt : {0.0f, std::numeric_limits<float>::quiet_NaN(), 1e30f})
            EXPECT_EQ(effect.dispatcher(opcode, 1, 2, nullptr, opt), 0) << opcode;
    EXPECT_TRUE(hostCalls.empty());
}

// ---- resume and the plug-in category.

// Counts the capability questions resume asks and answers them as told.
class MidiEffect : public PlainEffect {
public:
    MidiEffect(bool synth, VstInt32 midiAnswer) : PlainEffect(recordingHost), midiAnswer_(midiAnswer) {
        if (synth) isSynth();
    }
    VstInt32 canDo(char* text) override {
        ++questions;
        asked = text;
        return midiAnswer_;
    }
    int questions = 0;
    std::string asked;

private:
    VstInt32 midiAnswer_;
};

TEST(ExtendedResume, SynthAsksForMidiOnceWithoutAskingItself) {
    MidiEffect synth(true, 0);
    EXPECT_EQ(synth.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0.0f), kPlugCategSynth);
    hostCalls.clear();
    EXPECT_EQ(synth.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f), 0);
    ASSERT_EQ(hostCalls.size(), 1u);
    EXPECT_EQ(hostCalls[0].effect, synth.getAeffect());
    EXPECT_EQ(hostCalls[0].opcode, audioMasterWantMidi);
    EXPECT_EQ(hostCalls[0].index, 0);
    EXPECT_EQ(hostCalls[0].value, 1);
    EXPECT_EQ(hostCalls[0].ptr, nullptr);
    EXPECT_EQ(hostCalls[0].opt, 0.0f);
    EXPECT_EQ(synth.questions, 0);
    synth.dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(hostCalls.size(), 1u) << "suspend asks for nothing";
    synth.isSynth(false);
    EXPECT_EQ(synth.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0.0f), kPlugCategUnknown);
}

TEST(ExtendedResume, OtherEffectsAskForMidiOnlyWhenTheyCanReceiveIt) {
    struct Case {
        VstInt32 canDoAnswer;
        std::size_t wantMidiCalls;
    };
    const Case cases[] = {{1, 1}, {0, 0}, {-1, 0}, {2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.canDoAnswer);
        MidiEffect effect(false, c.canDoAnswer);
        hostCalls.clear();
        effect.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
        EXPECT_EQ(effect.questions, 1);
        EXPECT_EQ(effect.asked, "receiveVstMidiEvent");
        ASSERT_EQ(hostCalls.size(), c.wantMidiCalls);
        if (c.wantMidiCalls) {
            EXPECT_EQ(hostCalls[0].value, 1);
        }
        EXPECT_EQ(effect.getPlugCategory(), kPlugCategUnknown) << "never the effect category";
    }
    PlainEffect withoutHost(nullptr);
    withoutHost.isSynth();
    withoutHost.resume();  // nothing to call: the null callback is never touched
    EXPECT_EQ(withoutHost.getPlugCategory(), kPlugCategSynth);
}

// ---- Host-callback wrappers.

enum class Convert { AsIs, TrueIfNotZero, OneIfNotZero, TrueIfZero, Version, Nothing, PositiveRate, PositiveSize };

VstIntPtr converted(Convert convert, VstIntPtr answer) {
    switch (convert) {
        case Convert::AsIs: return answer;
        case Convert::TrueIfNotZero:
        case Convert::OneIfNotZero: return answer != 0 ? 1 : 0;
        case Convert::TrueIfZero: return answer == 0 ? 1 : 0;
        case Convert::Version: return answer != 0 ? answer : 1;
        case Convert::Nothing: return 0;
        case Convert::PositiveRate: return answer > 0 ? answer : 44100;
        case Convert::PositiveSize: return answer > 0 ? answer : 1024;
    }
    return -12345;
}

template <class T>
VstIntPtr asInt(T* pointer) {
    return reinterpret_cast<VstIntPtr>(pointer);
}

TEST(HostCallbacks, EachWrapperSendsItsOpcodeAndConvertsTheAnswer) {
    char text[8];
    char* T = text;
    void* P = text;
    auto* task = reinterpret_cast<VstOfflineTask*>(text);
    auto* files = reinterpret_cast<VstAudioFile*>(text);
    auto* selector = reinterpret_cast<VstFileSelect*>(text);
    auto* window = reinterpret_cast<VstWindow*>(text);
    using Call = std::function<VstIntPtr(AudioEffectX&)>;
    struct Case {
        const char* what;
        Call call;
        VstInt32 opcode, index;
        VstIntPtr value;
        void* ptr;
        float opt;
        Convert convert;
        VstIntPtr withoutHost;
    };
    const Case cases[] = {
        {"getMasterVersion", [](AudioEffectX& e) { return hostInt(e.getMasterVersion()); },
         audioMasterVersion, 0, 0, nullptr, 0.0f, Convert::Version, 1},
        {"getCurrentUniqueId", [](AudioEffectX& e) { return hostInt(e.getCurrentUniqueId()); },
         audioMasterCurrentId, 0, 0, nullptr, 0.0f, Convert::AsIs, 0},
        {"masterIdle", [](AudioEffectX& e) { return e.masterIdle(), VstIntPtr{0}; },
         audioMasterIdle, 0, 0, nullptr, 0.0f, Convert::Nothing, 0},
        {"isInputConnected", [](AudioEffectX& e) { return hostBool(e.isInputConnected(3)); },
         audioMasterPinConnected, 3, 0, nullptr, 0.0f, Convert::TrueIfZero, 1},
        {"isOutputConnected", [](AudioEffectX& e) { return hostBool(e.isOutputConnected(1)); },
         audioMasterPinConnected, 1, 1, nullptr, 0.0f, Convert::TrueIfZero, 1},
        {"wantEvents", [](AudioEffectX& e) { return e.wantEvents(4), VstIntPtr{0}; },
         audioMasterWantMidi, 0, 4, nullptr, 0.0f, Convert::Nothing, 0},
        {"getTimeInfo", [](AudioEffectX& e) { return asInt(e.getTimeInfo(0x0A00)); },
         audioMasterGetTime, 0, 0x0A00, nullptr, 0.0f, Convert::AsIs, 0},
        {"tempoAt", [](AudioEffectX& e) { return hostInt(e.tempoAt(96)); },
         audioMasterTempoAt, 0, 96, nullptr, 0.0f, Convert::AsIs, 0},
        {"getNumAutomatableParameters", [](AudioEffectX& e) { return hostInt(e.getNumAutomatableParameters()); },
         audioMasterGetNumAutomatableParameters, 0, 0, nullptr, 0.0f, Convert::AsIs, 0},
        {"getParameterQuantization", [](AudioEffectX& e) { return hostInt(e.getParameterQuantization()); },
         audioMasterGetParameterQuantization, 0, 0, nullptr, 0.0f, Convert::AsIs, 0},
        {"ioChanged", [](AudioEffectX& e) { return hostBool(e.ioChanged()); },
         audioMasterIOChanged, 0, 0, nullptr, 0.0f, Convert::TrueIfNotZero, 0},
        {"needIdle", [](AudioEffectX& e) { return hostBool(e.needIdle()); },
         audioMasterNeedIdle, 0, 0, nullptr, 0.0f, Convert::TrueIfNotZero, 0},
        {"sizeWindow", [](AudioEffectX& e) { return hostBool(e.sizeWindow(640, 480)); },
         audioMasterSizeWindow, 640, 480, nullptr, 0.0f, Convert::TrueIfNotZero, 0},
        {"updateSampleRate", [](AudioEffectX& e) { return static_cast<VstIntPtr>(e.updateSampleRate()); },
         audioMasterGetSampleRate, 0, 0, nullptr, 0.0f, Convert::PositiveRate, 44100},
        {"updateBlockSize", [](AudioEffectX& e) { return hostInt(e.updateBlockSize()); },
         audioMasterGetBlockSize, 0, 0, nullptr, 0.0f, Convert::PositiveSize, 1024},
        {"getInputLatency", [](AudioEffectX& e) { return hostInt(e.getInputLatency()); },
         audioMasterGetInputLatency, 0, 0, nullptr, 0.0f, Convert::AsIs, 0},
        {"getOutputLatency", [](AudioEffectX& e) { return hostInt(e.getOutputLatency()); },
         audioMasterGetOutputLatency, 0, 0, nullptr, 0.0f, Convert::AsIs, 0},
        {"getPreviousPlug", [](AudioEffectX& e) { return asInt(e.getPreviousPlug(7)); },
         audioMasterGetPreviousPlug, 0, 0, nullptr, 0.0f, Convert::AsIs, 0},
        {"getNextPlug", [](AudioEffectX& e) { return asInt(e.getNextPlug(7)); },
         audioMasterGetNextPlug, 0, 0, nullptr, 0.0f, Convert::AsIs, 0},
        {"willProcessReplacing", [](AudioEffectX& e) { return hostInt(e.willProcessReplacing()); },
         audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0.0f, Convert::AsIs, 0},
        {"getCurrentProcessLevel", [](AudioEffectX& e) { return hostInt(e.getCurrentProcessLevel()); },
         audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f, Convert::AsIs, 0},
        {"getAutomationState", [](AudioEffectX& e) { return hostInt(e.getAutomationState()); },
         audioMasterGetAutomationState, 0, 0, nullptr, 0.0f, Convert::AsIs, 0},
        {"offlineStart", [=](AudioEffectX& e) { return hostBool(e.offlineStart(files, 4, 2)); },
         audioMasterOfflineStart, 2, 4, P, 0.0f, Convert::TrueIfNotZero, 0},
        {"offlineRead", [=](AudioEffectX& e) { return hostBool(e.offlineRead(task, 3, true)); },
         audioMasterOfflineRead, 1, 3, P, 0.0f, Convert::TrueIfNotZero, 0},
        {"offlineRead, destination", [=](AudioEffectX& e) { return hostBool(e.offlineRead(task, 3, false)); },
         audioMasterOfflineRead, 0, 3, P, 0.0f, Convert::TrueIfNotZero, 0},
        {"offlineWrite", [=](AudioEffectX& e) { return hostBool(e.offlineWrite(task, 5)); },
         audioMasterOfflineWrite, 0, 5, P, 0.0f, Convert::TrueIfNotZero, 0},
        {"offlineGetCurrentPass", [](AudioEffectX& e) { return hostInt(e.offlineGetCurrentPass()); },
         audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0.0f, Convert::OneIfNotZero, 0},
        {"offlineGetCurrentMetaPass", [](AudioEffectX& e) { return hostInt(e.offlineGetCurrentMetaPass()); },
         audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0.0f, Convert::OneIfNotZero, 0},
        {"setOutputSamplerate", [](AudioEffectX& e) { return e.setOutputSamplerate(48000.5f), VstIntPtr{0}; },
         audioMasterSetOutputSampleRate, 0, 0, nullptr, 48000.5f, Convert::Nothing, 0},
        {"getOutputSpeakerArrangement", [](AudioEffectX& e) { return asInt(e.getOutputSpeakerArrangement()); },
         audioMasterGetOutputSpeakerArrangement, 0, 0, nullptr, 0.0f, Convert::AsIs, 0},
        {"getHostVendorString", [=](AudioEffectX& e) { return hostBool(e.getHostVendorString(T)); },
         audioMasterGetVendorString, 0, 0, P, 0.0f, Convert::TrueIfNotZero, 0},
        {"getHostProductString", [=](AudioEffectX& e) { return hostBool(e.getHostProductString(T)); },
         audioMasterGetProductString, 0, 0, P, 0.0f, Convert::TrueIfNotZero, 0},
        {"getHostVendorVersion", [](AudioEffectX& e) { return hostInt(e.getHostVendorVersion()); },
         audioMasterGetVendorVersion, 0, 0, nullptr, 0.0f, Convert::AsIs, 0},
        {"hostVendorSpecific", [=](AudioEffectX& e) { return e.hostVendorSpecific(-6, -77, P, 0.25f); },
         audioMasterVendorSpecific, -6, -77, P, 0.25f, Convert::AsIs, 0},
        {"canHostDo", [=](AudioEffectX& e) { return hostInt(e.canHostDo(T)); },
         audioMasterCanDo, 0, 0, P, 0.0f, Convert::OneIfNotZero, 0},
        {"getHostLanguage", [](AudioEffectX& e) { return hostInt(e.getHostLanguage()); },
         audioMasterGetLanguage, 0, 0, nullptr, 0.0f, Convert::AsIs, 0},
        {"openWindow", [=](AudioEffectX& e) { return hostInt(e.openWindow(window)); },
         audioMasterOpenWindow, 0, 0, P, 0.0f, Convert::AsIs, 0},
        {"closeWindow", [=](AudioEffectX& e) { return hostBool(e.closeWindow(window)); },
         audioMasterCloseWindow, 0, 0, P, 0.0f, Convert::TrueIfNotZero, 0},
        {"getDirectory", [](AudioEffectX& e) { return asInt(e.getDirectory()); },
         audioMasterGetDirectory, 0, 0, nullptr, 0.0f, Convert::AsIs, 0},
        {"updateDisplay", [](AudioEffectX& e) { return hostBool(e.updateDisplay()); },
         audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f, Convert::TrueIfNotZero, 0},
        {"beginEdit", [](AudioEffectX& e) { return hostBool(e.beginEdit(9)); },
         audioMasterBeginEdit, 9, 0, nullptr, 0.0f, Convert::TrueIfNotZero, 0},
        {"endEdit", [](AudioEffectX& e) { return hostBool(e.endEdit(9)); },
         audioMasterEndEdit, 9, 0, nullptr, 0.0f, Convert::TrueIfNotZero, 0},
        {"openFileSelector", [=](AudioEffectX& e) { return hostBool(e.openFileSelector(selector)); },
         audioMasterOpenFileSelector, 0, 0, P, 0.0f, Convert::TrueIfNotZero, 0},
        {"closeFileSelector", [=](AudioEffectX& e) { return hostBool(e.closeFileSelector(selector)); },
         audioMasterCloseFileSelector, 0, 0, P, 0.0f, Convert::TrueIfNotZero, 0},
        {"getChunkFile", [=](AudioEffectX& e) { return hostBool(e.getChunkFile(P)); },
         audioMasterGetChunkFile, 0, 0, P, 0.0f, Convert::TrueIfNotZero, 0},
        {"getInputSpeakerArrangement", [](AudioEffectX& e) { return asInt(e.getInputSpeakerArrangement()); },
         audioMasterGetInputSpeakerArrangement, 0, 0, nullptr, 0.0f, Convert::AsIs, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (VstIntPtr answer : {0, 1, -1, 2, 2400}) {
            SCOPED_TRACE(answer);
            PlainEffect effect(recordingHost);
            hostCalls.clear();
            hostAnswer = answer;
            EXPECT_EQ(c.call(effect), converted(c.convert, answer));
            ASSERT_EQ(hostCalls.size(), 1u);
            EXPECT_EQ(hostCalls[0].effect, effect.getAeffect());
            EXPECT_EQ(hostCalls[0].opcode, c.opcode);
            EXPECT_EQ(hostCalls[0].index, c.index);
            EXPECT_EQ(hostCalls[0].value, c.value);
            EXPECT_EQ(hostCalls[0].ptr, c.ptr);
            EXPECT_EQ(hostCalls[0].opt, c.opt);
        }
        PlainEffect withoutHost(nullptr);
        EXPECT_EQ(c.call(withoutHost), c.withoutHost) << "without a host callback";
    }
    hostAnswer = 0;
}

TEST(HostCallbacks, SampleRateAndBlockSizeKeepOnlyPositiveAnswers) {
    PlainEffect effect(recordingHost);
    const VstIntPtr answers[] = {48000, 0, -1};
    for (VstIntPtr answer : answers) {
        hostAnswer = answer;
        EXPECT_EQ(effect.updateSampleRate(), 48000.0) << answer;
        EXPECT_EQ(effect.getSampleRate(), 48000.0f);
    }
    hostAnswer = 512;
    EXPECT_EQ(effect.updateBlockSize(), 512);
    for (VstIntPtr answer : {VstIntPtr{0}, VstIntPtr{-5}}) {
        hostAnswer = answer;
        EXPECT_EQ(effect.updateBlockSize(), 512) << answer;
    }
#if INTPTR_MAX > INT32_MAX
    // Positive answers that truncate to 0 or to a negative block size are refused too.
    for (VstIntPtr answer : {VstIntPtr{1} << 32, VstIntPtr{0x80000000LL}}) {
        hostAnswer = answer;
        EXPECT_EQ(effect.updateBlockSize(), 512);
    }
#endif
    hostAnswer = 96001;  // odd rates are kept as the nearest float
    EXPECT_EQ(effect.updateSampleRate(), 96001.0);
    hostAnswer = 0;
}

TEST(HostCallbacks, FileCallsWithoutARecordSendNothing) {
    PlainEffect effect(recordingHost);
    hostCalls.clear();
    hostAnswer = 1;
    EXPECT_FALSE(effect.openFileSelector(nullptr));
    EXPECT_FALSE(effect.closeFileSelector(nullptr));
    EXPECT_FALSE(effect.getChunkFile(nullptr));
    EXPECT_TRUE(hostCalls.empty());
    hostAnswer = 0;
}

TEST(HostCallbacks, FlagSettersTouchOnlyTheirBitAndTellNoOne) {
    struct Case {
        const char* what;
        void (AudioEffectX::*setter)(bool);
        VstInt32 bit;
    };
    const Case cases[] = {
        {"isSynth", &AudioEffectX::isSynth, 0x100},
        {"noTail", &AudioEffectX::noTail, 0x200},
        {"extIsAsync", &AudioEffectX::extIsAsync, 0x400},
        {"extHasBuffer", &AudioEffectX::extHasBuffer, 0x800},
    };
    PlainEffect effect(recordingHost);
    hostCalls.clear();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (VstInt32 before : {0x10, ~0}) {
            effect.setFlags(before);
            (effect.*c.setter)(true);
            EXPECT_EQ(effect.flags(), before | c.bit);
            (effect.*c.setter)(false);
            EXPECT_EQ(effect.flags(), before & ~c.bit);
        }
    }
    effect.setFlags(0x10);
    effect.isSynth(true);
    EXPECT_EQ(effect.flags(), 0x110);
    effect.noTail(true);
    EXPECT_EQ(effect.flags(), 0x310);
    effect.isSynth(false);
    EXPECT_EQ(effect.flags(), 0x210);
    EXPECT_TRUE(hostCalls.empty());
}

// ---- Speaker arrangements. The address-sanitizer build checks exact sizes, liveness of
// released arrangements and leaks; elsewhere the checks that need it are skipped.

constexpr std::size_t arrangementBytes(VstInt32 channels) { return 8 + 112 * static_cast<std::size_t>(channels); }

void expectHeapBlock(const void* block, std::size_t bytes) {
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(__sanitizer_get_allocated_size(block), bytes);
#else
    (void)block;
    (void)bytes;
#endif
}

void expectReleased(const void* block) {
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_FALSE(__sanitizer_get_ownership(block)) << "previous arrangement still allocated";
#else
    (void)block;
#endif
}

VstSpeakerProperties* speaker(VstSpeakerArrangement* arrangement, VstInt32 index) {
    return reinterpret_cast<VstSpeakerProperties*>(reinterpret_cast<unsigned char*>(arrangement) + 8 + 112 * index);
}

TEST(SpeakerArrangement, AllocateGivesAZeroedRecordOfExactSize) {
    PlainEffect effect(nullptr);
    for (VstInt32 channels : {0, 1, 2, 6, 64}) {
        SCOPED_TRACE(channels);
        VstSpeakerArrangement* holder = nullptr;
        ASSERT_TRUE(effect.allocateArrangement(&holder, channels));
        ASSERT_NE(holder, nullptr);
        expectHeapBlock(holder, arrangementBytes(channels));
        EXPECT_EQ(holder->type, 0);
        EXPECT_EQ(holder->numChannels, channels);
        const auto* bytes = reinterpret_cast<const unsigned char*>(holder);
        for (std::size_t i = 8; i < arrangementBytes(channels); ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
        EXPECT_TRUE(effect.deallocateArrangement(&holder));
        EXPECT_EQ(holder, nullptr);
    }
}

TEST(SpeakerArrangement, ReallocatingReleasesThePreviousArrangement) {
    PlainEffect effect(nullptr);
    VstSpeakerArrangement* holder = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&holder, 2));
    VstSpeakerArrangement* first = holder;
    ASSERT_TRUE(effect.allocateArrangement(&holder, 3));
    expectReleased(first);
    expectHeapBlock(holder, arrangementBytes(3));
    // A refused count still releases what the holder had, and leaves it empty.
    VstSpeakerArrangement* second = holder;
    EXPECT_FALSE(effect.allocateArrangement(&holder, -1));
    EXPECT_EQ(holder, nullptr);
    expectReleased(second);
    EXPECT_FALSE(effect.allocateArrangement(&holder, std::numeric_limits<VstInt32>::min()));
    EXPECT_EQ(holder, nullptr);
    EXPECT_TRUE(effect.deallocateArrangement(&holder));  // empty holder: nothing to do
    EXPECT_EQ(holder, nullptr);
}

TEST(SpeakerArrangement, StorageThatCannotBeObtainedAnswersFalse) {
    const VstInt32 channels = std::numeric_limits<VstInt32>::max();
    if (sizeof(std::size_t) == 4) {
        // 8 + 112 * channels does not fit a 32-bit address space: refused before any call.
        PlainEffect effect(nullptr);
        VstSpeakerArrangement* holder = nullptr;
        EXPECT_FALSE(effect.allocateArrangement(&holder, channels));
        EXPECT_EQ(holder, nullptr);
        return;
    }
    // About 240 GB: most machines refuse it. One that grants it cannot show the failure.
    if (void* granted = std::calloc(1, arrangementBytes(channels))) {
        std::free(granted);
        GTEST_SKIP() << "this machine grants " << arrangementBytes(channels) << " bytes";
    }
    PlainEffect effect(nullptr);
    VstSpeakerArrangement* holder = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&holder, 1));
    VstSpeakerArrangement* previous = holder;
    EXPECT_FALSE(effect.allocateArrangement(&holder, channels));
    EXPECT_EQ(holder, nullptr);
    expectReleased(previous);
}

TEST(SpeakerArrangement, NullHoldersAndRecordsAreRefused) {
    PlainEffect effect(nullptr);
    VstSpeakerArrangement* source = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&source, 2));
    EXPECT_FALSE(effect.allocateArrangement(nullptr, 2));
    EXPECT_FALSE(effect.deallocateArrangement(nullptr));
    EXPECT_FALSE(effect.matchArrangement(nullptr, source));
    VstSpeakerArrangement* holder = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&holder, 1));
    VstSpeakerArrangement* kept = holder;
    EXPECT_FALSE(effect.matchArrangement(&holder, nullptr));
    EXPECT_EQ(holder, kept) << "a null source leaves the holder untouched";
    VstSpeakerProperties one;
    std::memset(&one, 0x5A, sizeof(one));
    EXPECT_FALSE(effect.copySpeaker(&one, nullptr));
    EXPECT_FALSE(effect.copySpeaker(nullptr, &one));
    for (unsigned char byte : reinterpret_cast<unsigned char(&)[112]>(one)) ASSERT_EQ(byte, 0x5A);
    effect.deallocateArrangement(&holder);
    effect.deallocateArrangement(&source);
}

// A source entry whose bytes are all distinct from the destination's fill.
VstSpeakerProperties patternedSpeaker(unsigned char seed) {
    VstSpeakerProperties speaker;
    auto* bytes = reinterpret_cast<unsigned char*>(&speaker);
    for (int i = 0; i < 112; ++i) bytes[i] = static_cast<unsigned char>(0x20 + (seed + i) % 0x50);
    return speaker;
}

TEST(SpeakerArrangement, CopySpeakerWritesAll112Bytes) {
    struct Case {
        const char* what;
        const char* name;  // null: 64 name bytes without a zero
    };
    const Case cases[] = {{"name without a zero", nullptr}, {"short name", "L"}, {"empty name", ""}};
    PlainEffect effect(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VstSpeakerProperties from = patternedSpeaker(3);
        if (c.name) std::strcpy(from.name, c.name);
        VstSpeakerProperties expected = from;
        if (c.name) std::memset(expected.name + std::strlen(c.name), 0, 64 - std::strlen(c.name));
        expected.name[63] = '\0';
        VstSpeakerProperties to;
        std::memset(&to, 0xA5, sizeof(to));
        EXPECT_TRUE(effect.copySpeaker(&to, &from));
        const auto* got = reinterpret_cast<const unsigned char*>(&to);
        const auto* want = reinterpret_cast<const unsigned char*>(&expected);
        for (int i = 0; i < 112; ++i) ASSERT_EQ(got[i], want[i]) << "byte " << i;
    }
    // A signalling NaN in the leading words goes through bit for bit.
    VstSpeakerProperties from = patternedSpeaker(0), to;
    const std::uint32_t signalling = 0x7F800001;
    std::memcpy(&from.azimuth, &signalling, 4);
    effect.copySpeaker(&to, &from);
    std::uint32_t copied;
    std::memcpy(&copied, &to.azimuth, 4);
    EXPECT_EQ(copied, signalling);
}

// Counts the operations matchArrangement reaches, to show they are called through the object.
class CountingEffect : public PlainEffect {
public:
    CountingEffect() : PlainEffect(nullptr) {}
    int allocations = 0, releases = 0, copies = 0;
    bool allocateArrangement(VstSpeakerArrangement** holder, VstInt32 channels) override {
        ++allocations;
        return AudioEffectX::allocateArrangement(holder, channels);
    }
    bool deallocateArrangement(VstSpeakerArrangement** holder) override {
        ++releases;
        return AudioEffectX::deallocateArrangement(holder);
    }
    bool copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) override {
        ++copies;
        return AudioEffectX::copySpeaker(to, from);
    }
};

TEST(SpeakerArrangement, MatchMakesAnIndependentCopy) {
    CountingEffect effect;
    VstSpeakerArrangement* source = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&source, 6));
    source->type = 14;
    for (VstInt32 i = 0; i < 6; ++i) {
        *speaker(source, i) = patternedSpeaker(static_cast<unsigned char>(i * 11));
        speaker(source, i)->name[0] = static_cast<char>('A' + i);
        speaker(source, i)->name[1] = '\0';
    }
    VstSpeakerArrangement* holder = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&holder, 1));
    VstSpeakerArrangement* previous = holder;
    effect.allocations = effect.releases = effect.copies = 0;

    ASSERT_TRUE(effect.matchArrangement(&holder, source));
    EXPECT_EQ(effect.releases, 1);
    EXPECT_EQ(effect.allocations, 1);
    EXPECT_EQ(effect.copies, 6);
    expectReleased(previous);
    ASSERT_NE(holder, source);
    expectHeapBlock(holder, 680);
    EXPECT_EQ(holder->type, 14);
    EXPECT_EQ(holder->numChannels, 6);
    for (VstInt32 i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        VstSpeakerProperties expected = *speaker(source, i);
        std::memset(expected.name + 1, 0, 63);
        EXPECT_EQ(std::memcmp(speaker(holder, i), &expected, 112), 0);
    }
    effect.deallocateArrangement(&source);
    EXPECT_EQ(holder->numChannels, 6) << "the copy does not depend on the source";

    // The holder's own arrangement as source: nothing released, nothing read after release.
    VstSpeakerArrangement* same = holder;
    effect.releases = 0;
    EXPECT_TRUE(effect.matchArrangement(&holder, holder));
    EXPECT_EQ(holder, same);
    EXPECT_EQ(effect.releases, 0);
    EXPECT_EQ(speaker(holder, 5)->name[0], 'F');

    // A source with a negative count cannot be matched: the holder ends empty.
    VstSpeakerArrangement bad{};
    bad.numChannels = -2;
    EXPECT_FALSE(effect.matchArrangement(&holder, &bad));
    EXPECT_EQ(holder, nullptr);
}

}  // namespace
