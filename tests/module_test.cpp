// The built module, loaded through host/ and driven through its record like a host does.
#include <cstring>
#include <vector>

#include "module_fixture.h"

namespace {

constexpr VstInt32 kParams = 10;

TEST_F(ModuleTest, EntryPointAsksOnlyForTheHostVersion) {
    auto calls = effect->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].opcode, audioMasterVersion);
    EXPECT_FALSE(calls[0].hadEffect);
    EXPECT_EQ(calls[0].index, 0);
    EXPECT_EQ(calls[0].value, 0);
    EXPECT_EQ(calls[0].ptr, nullptr);
    EXPECT_EQ(calls[0].opt, 0.0f);
}

TEST_F(ModuleTest, RecordHoldsMorvexValuesAndZerosElsewhere) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(record);
    EXPECT_EQ(bytes[0], 0x50);
    EXPECT_EQ(bytes[1], 0x74);
    EXPECT_EQ(bytes[2], 0x73);
    EXPECT_EQ(bytes[3], 0x56);
    EXPECT_EQ(record->flags, 0x10);
    EXPECT_EQ(record->numPrograms, 1);
    EXPECT_EQ(record->numParams, kParams);
    EXPECT_EQ(record->numInputs, 2);
    EXPECT_EQ(record->numOutputs, 2);
    EXPECT_EQ(record->initialDelay, 0);
    EXPECT_EQ(record->uniqueID, 0x54774D76);
    EXPECT_EQ(record->version, 1);
    EXPECT_EQ(record->ioRatio, 1.0f);
    EXPECT_NE(record->object, nullptr);
    EXPECT_EQ(record->resvd1, 0);
    EXPECT_EQ(record->resvd2, 0);
    EXPECT_EQ(record->realQualities, 0);
    EXPECT_EQ(record->offQualities, 0);
    EXPECT_EQ(record->user, nullptr);
    for (char byte : record->future) EXPECT_EQ(byte, 0);
    EXPECT_NE(record->dispatcher, nullptr);
    EXPECT_NE(record->process, nullptr);
    EXPECT_NE(record->processReplacing, nullptr);
    EXPECT_NE(record->processDoubleReplacing, nullptr);
}

TEST_F(ModuleTest, TwoInstancesAreIndependent) {
    auto second = module->instantiate();
    ASSERT_TRUE(second);
    EXPECT_NE(second->record(), record);
    EXPECT_NE(second->record()->object, record->object);
    effect->setParameter(3, 0.25f);
    EXPECT_EQ(second->getParameter(3), 1.0f);
    EXPECT_EQ(second->close(), 1);
    EXPECT_EQ(effect->getParameter(3), 0.25f);
    EXPECT_EQ(effect->paramName(3), "Cutoff");
}

TEST_F(ModuleTest, CloseAnswersOne) { EXPECT_EQ(effect->close(), 1); }

TEST_F(ModuleTest, BaseOpcodesAnswerAsSpecified) {
    struct Case {
        const char* what;
        VstInt32 opcode;
        VstIntPtr expected;
    };
    // Opcodes that only answer; the ones with effects are checked one by one below.
    const Case cases[] = {
        {"effOpen", effOpen, 0},           {"effGetProgram", effGetProgram, 0},
        {"effGetVu", effGetVu, 0},         {"effMainsChanged", effMainsChanged, 0},
        {"effEditGetRect", effEditGetRect, 0}, {"effEditOpen", effEditOpen, 0},
        {"effEditClose", effEditClose, 0}, {"effEditDraw", effEditDraw, 0},
        {"effEditMouse", effEditMouse, 0}, {"effEditKey", effEditKey, 0},
        {"effEditIdle", effEditIdle, 0},   {"effEditTop", effEditTop, 0},
        {"effEditSleep", effEditSleep, 0}, {"effIdentify", effIdentify, 0x4E764566},
        {"effGetChunk", effGetChunk, 0},   {"effSetChunk", effSetChunk, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        unsigned char marker[64];
        std::memset(marker, 0xA5, sizeof(marker));
        EXPECT_EQ(dispatch(c.opcode, 1, 0, marker, 0.0f), c.expected);
        for (unsigned char byte : marker) ASSERT_EQ(byte, 0xA5);
    }
    effect->clearCalls();
    dispatch(effMainsChanged, 0, 1);
    dispatch(effMainsChanged, 0, 0);
    EXPECT_TRUE(effect->calls().empty()) << "Morvex calls the host on resume or suspend";
}

TEST_F(ModuleTest, ProgramNumberQuirk) {
    dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(dispatch(effGetProgram), 0);
    dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(dispatch(effGetProgram), 0);
    dispatch(effSetProgram, 0, -1);
    EXPECT_EQ(dispatch(effGetProgram), -1);
    EXPECT_EQ(effect->programName(), "Default");
}

TEST_F(ModuleTest, ProgramNameRoundTripWritesExactly25Bytes) {
    char longName[] = "A program name longer than 24";
    EXPECT_EQ(dispatch(effSetProgramName, 0, 0, longName), 0);
    char buffer[64];
    std::memset(buffer, '#', sizeof(buffer));
    dispatch(effGetProgramName, 0, 0, buffer);
    EXPECT_EQ(std::string(buffer), "A program name longer th");
    EXPECT_EQ(buffer[24], '\0');
    EXPECT_EQ(buffer[25], '#');
}

TEST_F(ModuleTest, ParametersRoundTripThroughTheRecord) {
    const float values[] = {0.0f, 1.0f, 0.5f, -1.0f, 2.0f, 0.123f};
    for (VstInt32 i = 0; i < kParams; ++i)
        for (float v : values) {
            effect->setParameter(i, v);
            EXPECT_EQ(effect->getParameter(i), v) << "index " << i;
        }
    effect->setParameter(kParams, 0.5f);
    effect->setParameter(-1, 0.5f);
    EXPECT_EQ(effect->getParameter(kParams), 0.0f);
    EXPECT_EQ(effect->getParameter(-1), 0.0f);
}

TEST_F(ModuleTest, ParameterNamesAndLabelsWithBadIndexesUntouched) {
    const char* names[kParams] = {"Pre Amp", "Shape", "Disto", "Cutoff", "Resonance",
                                  "Mode",    "Env",   "Env Atk", "Env Dec", "Post Amp"};
    for (VstInt32 i = 0; i < kParams; ++i) EXPECT_EQ(effect->paramName(i), names[i]);
    for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay})
        for (VstInt32 index : {kParams, -1}) {
            char marker[32] = "marker text";
            dispatch(opcode, index, 0, marker);
            EXPECT_STREQ(marker, "marker text") << "opcode " << opcode << " index " << index;
        }
}

TEST_F(ModuleTest, SampleRateAndBlockSizeAnyValueAccepted) {
    for (float rate : {0.0f, -1.0f, 48000.0f, 192000.0f}) EXPECT_EQ(dispatch(effSetSampleRate, 0, 0, nullptr, rate), 0);
    for (VstIntPtr size : {0, -5, 1, 8192}) EXPECT_EQ(dispatch(effSetBlockSize, 0, size), 0);
}

TEST_F(ModuleTest, DeprecatedProcessLeavesOutputsAlone) {
    std::vector<float> left(16, 0.25f), right(16, -0.5f);
    float* ins[2] = {left.data(), right.data()};
    std::vector<float> outLeft(16, 7.0f), outRight(16, 9.0f);
    float* outs[2] = {outLeft.data(), outRight.data()};
    effect->process(ins, outs, 16);
    for (float v : outLeft) EXPECT_EQ(v, 7.0f);
    for (float v : outRight) EXPECT_EQ(v, 9.0f);
}

}  // namespace
