// Every dispatcher opcode from -1 to 80 sent to the built module through host/, with its
// answer, what it does to the host's memory, the host calls it makes (none) and the object
// state it leaves (unchanged).
#include <cstring>
#include <limits>
#include <set>
#include <vector>

#include "effect/morvex.h"
#include "module_fixture.h"

namespace {

constexpr unsigned char kFill = 0xA5;
constexpr std::size_t kBufferBytes = 256;

enum class Ptr {
    Marker,   // a filled buffer, optionally starting with `text`; must come back as it was
    Written,  // the answer: `text`, zero-padded to exactly `written` bytes, the rest untouched
    Holders,  // value and ptr are two speaker-arrangement holders that both come back null
    Null,     // ptr and value-as-pointer null
};

struct Case {
    VstInt32 opcode;
    const char* what;
    VstIntPtr answer;
    Ptr ptr = Ptr::Marker;
    const char* text = nullptr;
    std::size_t written = 0;
    VstInt32 index = 0;
    VstIntPtr value = 0;
    float opt = 0.0f;
};

const float kNan = std::numeric_limits<float>::quiet_NaN();

// Arguments of the state-setting opcodes repeat the state a fresh instance already has
// (program 0 named "Default", 44100 Hz, 1024 frames, suspended), so that every row can
// require the object to be unchanged afterwards.
const Case kCases[] = {
    {-1, "opcode -1", 0},
    {effOpen, "effOpen", 0},
    // effClose is checked on its own below: it ends the instance.
    {effSetProgram, "effSetProgram", 0, Ptr::Marker, nullptr, 0, 0, 0},
    {effGetProgram, "effGetProgram", 0},
    {effSetProgramName, "effSetProgramName", 0, Ptr::Marker, "Default"},
    {effGetProgramName, "effGetProgramName", 0, Ptr::Written, "Default", 25},
    {effGetParamLabel, "effGetParamLabel", 0, Ptr::Written, "Hz", 17, kCutoff},
    {effGetParamDisplay, "effGetParamDisplay", 0, Ptr::Written, "Lp", 17, kMode},
    {effGetParamName, "effGetParamName", 0, Ptr::Written, "Cutoff", 17, kCutoff},
    {effGetVu, "effGetVu", 0},
    {effSetSampleRate, "effSetSampleRate", 0, Ptr::Marker, nullptr, 0, 0, 0, 44100.0f},
    {effSetBlockSize, "effSetBlockSize", 0, Ptr::Marker, nullptr, 0, 0, 1024},
    {effMainsChanged, "effMainsChanged on", 0, Ptr::Marker, nullptr, 0, 0, 1},
    {effMainsChanged, "effMainsChanged off", 0, Ptr::Marker, nullptr, 0, 0, 0},
    {effEditGetRect, "effEditGetRect", 0},
    {effEditOpen, "effEditOpen", 0},
    {effEditClose, "effEditClose", 0},
    {effEditDraw, "effEditDraw", 0},
    {effEditMouse, "effEditMouse", 0},
    {effEditKey, "effEditKey", 0},
    {effEditIdle, "effEditIdle", 0},
    {effEditTop, "effEditTop", 0},
    {effEditSleep, "effEditSleep", 0},
    {effIdentify, "effIdentify", 0x4E764566, Ptr::Marker, nullptr, 0, 3, 4, 5.0f},
    {effGetChunk, "effGetChunk", 0},
    {effSetChunk, "effSetChunk", 0, Ptr::Marker, nullptr, 0, 0, 16},
    {effProcessEvents, "effProcessEvents", 0},
    {effCanBeAutomated, "effCanBeAutomated 3", 1, Ptr::Marker, nullptr, 0, 3},
    {effCanBeAutomated, "effCanBeAutomated 1000", 1, Ptr::Marker, nullptr, 0, 1000},
    {effCanBeAutomated, "effCanBeAutomated -1", 1, Ptr::Marker, nullptr, 0, -1},
    {effString2Parameter, "effString2Parameter", 0, Ptr::Marker, "0.5"},
    {effGetNumProgramCategories, "effGetNumProgramCategories", 0},
    {effGetProgramNameIndexed, "effGetProgramNameIndexed", 0},
    {effCopyProgram, "effCopyProgram", 0},
    {effConnectInput, "effConnectInput", 0, Ptr::Marker, nullptr, 0, 0, 1},
    {effConnectOutput, "effConnectOutput", 0, Ptr::Marker, nullptr, 0, 0, 1},
    {effGetInputProperties, "effGetInputProperties", 0},
    {effGetOutputProperties, "effGetOutputProperties", 0},
    {effGetPlugCategory, "effGetPlugCategory", 0},
    {effGetCurrentPosition, "effGetCurrentPosition", 0},
    {effGetDestinationBuffer, "effGetDestinationBuffer", 0},
    {effOfflineNotify, "effOfflineNotify", 0, Ptr::Marker, nullptr, 0, 1, 1},
    {effOfflinePrepare, "effOfflinePrepare", 0, Ptr::Marker, nullptr, 0, 0, 1},
    {effOfflineRun, "effOfflineRun", 0, Ptr::Marker, nullptr, 0, 0, 1},
    {effProcessVarIo, "effProcessVarIo", 0},
    {effSetSpeakerArrangement, "effSetSpeakerArrangement", 0},
    {effSetBlockSizeAndSampleRate, "effSetBlockSizeAndSampleRate", 0, Ptr::Marker, nullptr, 0, 0, 512, 96000.0f},
    {effSetBypass, "effSetBypass", 0, Ptr::Marker, nullptr, 0, 0, 1},
    {effGetEffectName, "effGetEffectName", 1, Ptr::Written, "Morvex", 33},
    {effGetErrorText, "effGetErrorText", 0},
    {effGetVendorString, "effGetVendorString", 1, Ptr::Written, "Tarnwick", 65},
    {effGetProductString, "effGetProductString", 1, Ptr::Written, "Morvex", 65},
    {effGetVendorVersion, "effGetVendorVersion", 448},
    {effVendorSpecific, "effVendorSpecific", 0, Ptr::Marker, nullptr, 0, 1, 2, 3.0f},
    {effCanDo, "effCanDo receiveVstMidiEvent", 0, Ptr::Marker, "receiveVstMidiEvent"},
    {effCanDo, "effCanDo other text", 0, Ptr::Marker, "sendVstEvents"},
    {effCanDo, "effCanDo null", 0, Ptr::Null},
    {effGetTailSize, "effGetTailSize", 0},
    {effIdle, "effIdle", 0},
    {effGetIcon, "effGetIcon", 0},
    {effSetViewPosition, "effSetViewPosition", 0, Ptr::Marker, nullptr, 0, 10, 20},
    {effGetParameterProperties, "effGetParameterProperties", 0},
    {effKeysRequired, "effKeysRequired", 0},
    {effGetVstVersion, "effGetVstVersion", 2400, Ptr::Marker, nullptr, 0, 7, 8, 9.0f},
    {effEditKeyDown, "effEditKeyDown", 0, Ptr::Marker, nullptr, 0, 'a', 1, 1.0f},
    {effEditKeyDown, "effEditKeyDown NaN", 0, Ptr::Marker, nullptr, 0, 'a', 1, kNan},
    {effEditKeyUp, "effEditKeyUp", 0, Ptr::Marker, nullptr, 0, 'a', 1, 1e30f},
    {effSetEditKnobMode, "effSetEditKnobMode", 0, Ptr::Marker, nullptr, 0, 0, 2},
    {effGetMidiProgramName, "effGetMidiProgramName", 0},
    {effGetCurrentMidiProgram, "effGetCurrentMidiProgram", -1},
    {effGetMidiProgramCategory, "effGetMidiProgramCategory", 0},
    {effHasMidiProgramsChanged, "effHasMidiProgramsChanged", 0},
    {effGetMidiKeyName, "effGetMidiKeyName", 0},
    {effBeginSetProgram, "effBeginSetProgram", 0},
    {effEndSetProgram, "effEndSetProgram", 0},
    {effGetSpeakerArrangement, "effGetSpeakerArrangement", 0, Ptr::Holders},
    {effGetSpeakerArrangement, "effGetSpeakerArrangement null holders", 0, Ptr::Null},
    {effShellGetNextPlugin, "effShellGetNextPlugin", 0},
    {effStartProcess, "effStartProcess", 0},
    {effStopProcess, "effStopProcess", 0},
    {effSetTotalSampleToProcess, "effSetTotalSampleToProcess 44100", 44100, Ptr::Marker, nullptr, 0, 0, 44100},
    {effSetTotalSampleToProcess, "effSetTotalSampleToProcess -5", -5, Ptr::Marker, nullptr, 0, 0, -5},
    {effSetPanLaw, "effSetPanLaw", 0, Ptr::Marker, nullptr, 0, 0, 1, 0.5f},
    {effBeginLoadBank, "effBeginLoadBank", 0},
    {effBeginLoadProgram, "effBeginLoadProgram", 0},
    {effSetProcessPrecision, "effSetProcessPrecision", 0, Ptr::Marker, nullptr, 0, 0, 1},
    {effGetNumMidiInputChannels, "effGetNumMidiInputChannels", 0},
    {effGetNumMidiOutputChannels, "effGetNumMidiOutputChannels", 0},
    {80, "opcode 80", 0},
};

TEST(ModuleOpcodeTable, CoversEveryOpcodeFromMinusOneTo80) {
    std::set<VstInt32> covered;
    for (const Case& c : kCases) covered.insert(c.opcode);
    for (VstInt32 opcode = -1; opcode <= 80; ++opcode)
        if (opcode != effClose) {
            EXPECT_TRUE(covered.count(opcode)) << "opcode " << opcode;
        }
}

class ModuleOpcodes : public ModuleTest {
protected:
    // The object's bytes, read where the record says it lives.
    std::vector<unsigned char> objectBytes() const {
        const auto* object = static_cast<const unsigned char*>(record->object);
        return std::vector<unsigned char>(object, object + sizeof(Morvex));
    }
};

TEST_F(ModuleOpcodes, EachOpcodeAnswersAndTouchesOnlyWhatItShould) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        unsigned char buffer[kBufferBytes];
        std::memset(buffer, kFill, sizeof(buffer));
        if (c.ptr == Ptr::Marker && c.text) std::memcpy(buffer, c.text, std::strlen(c.text) + 1);
        unsigned char before[kBufferBytes];
        std::memcpy(before, buffer, sizeof(buffer));

        int storage[2] = {};
        auto* held = reinterpret_cast<VstSpeakerArrangement*>(storage);
        VstSpeakerArrangement* inputHolder = held;
        VstSpeakerArrangement* outputHolder = held;

        void* ptr = buffer;
        VstIntPtr value = c.value;
        if (c.ptr == Ptr::Holders) {
            ptr = &outputHolder;
            value = reinterpret_cast<VstIntPtr>(&inputHolder);
        } else if (c.ptr == Ptr::Null) {
            ptr = nullptr;
        }

        const std::vector<unsigned char> objectBefore = objectBytes();
        effect->clearCalls();
        EXPECT_EQ(dispatch(c.opcode, c.index, value, ptr, c.opt), c.answer);
        EXPECT_TRUE(effect->calls().empty()) << "the host was called";
        EXPECT_TRUE(objectBytes() == objectBefore) << "the object changed";

        switch (c.ptr) {
            case Ptr::Marker:
                EXPECT_EQ(std::memcmp(buffer, before, sizeof(buffer)), 0) << "the host's buffer changed";
                break;
            case Ptr::Written: {
                unsigned char expected[kBufferBytes];
                std::memset(expected, kFill, sizeof(expected));
                std::memset(expected, 0, c.written);
                std::memcpy(expected, c.text, std::strlen(c.text));
                for (std::size_t i = 0; i < kBufferBytes; ++i) ASSERT_EQ(buffer[i], expected[i]) << "byte " << i;
                break;
            }
            case Ptr::Holders:
                EXPECT_EQ(inputHolder, nullptr);
                EXPECT_EQ(outputHolder, nullptr);
                EXPECT_EQ(storage[0], 0);
                EXPECT_EQ(storage[1], 0);
                break;
            case Ptr::Null:
                break;
        }
    }
}

TEST_F(ModuleOpcodes, PlugCategoryAndMainsChangedMakeNoHostCall) {
    effect->clearCalls();
    for (VstIntPtr on : {1, 1, 0, 2}) dispatch(effMainsChanged, 0, on);
    EXPECT_TRUE(effect->calls().empty());
    EXPECT_EQ(dispatch(effGetPlugCategory), kPlugCategUnknown);
    EXPECT_EQ(record->flags & effFlagsIsSynth, 0);
}

TEST_F(ModuleOpcodes, CloseEndsTheInstanceWithAnswerOne) {
    effect->clearCalls();
    EXPECT_EQ(effect->close(), 1);
    EXPECT_TRUE(effect->calls().empty());
}

}  // namespace
