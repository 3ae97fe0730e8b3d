// Unit tests of the framework classes, through a small effect that records what reaches it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "framework/audio_effect_x.h"

namespace {

struct HostCall {
    VstInt32 opcode, index;
    VstIntPtr value;
    void* ptr;
    float opt;
};
std::vector<HostCall> hostCalls;
float parameterSeenByHost = -1.0f;

class ProbeEffect;
ProbeEffect* probe = nullptr;

VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt);

class ProbeEffect : public AudioEffect {
public:
    explicit ProbeEffect(audioMasterCallback host, bool* destroyed = nullptr)
        : AudioEffect(host, 1, 4), destroyed_(destroyed) {}
    ~ProbeEffect() override {
        if (destroyed_) *destroyed_ = true;
    }
    void processReplacing(float**, float**, VstInt32) override {}
    void resume() override { ++resumes; }
    void suspend() override { ++suspends; }
    void close() override { ++closes; }
    void setParameter(VstInt32 index, float value) override {
        if (index >= 0 && index < 4) values[index] = value;
    }
    float getParameter(VstInt32 index) override { return index >= 0 && index < 4 ? values[index] : 0.0f; }
    float currentSampleRate() const { return sampleRate; }
    VstInt32 currentBlockSize() const { return blockSize; }

    int resumes = 0, suspends = 0, closes = 0;
    float values[4] = {};

private:
    bool* destroyed_;
};

VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt) {
    hostCalls.push_back({opcode, index, value, ptr, opt});
    if (opcode == audioMasterAutomate && probe) parameterSeenByHost = probe->getParameter(index);
    return opcode == audioMasterVersion ? 2400 : 0;
}

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        hostCalls.clear();
        effect = new ProbeEffect(recordingHost);
        probe = effect;
        record = effect->getAeffect();
    }
    void TearDown() override {
        probe = nullptr;
        if (record) record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
    }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return record->dispatcher(record, opcode, index, value, ptr, opt);
    }
    ProbeEffect* effect = nullptr;
    AEffect* record = nullptr;
};

TEST_F(FrameworkTest, ConstructorFillsTheRecordWithFrameworkDefaults) {
    EXPECT_EQ(record->magic, 0x56737450);
    EXPECT_EQ(record->flags, effFlagsCanReplacing);
    EXPECT_EQ(record->numPrograms, 1);
    EXPECT_EQ(record->numParams, 4);
    EXPECT_EQ(record->numInputs, 1);
    EXPECT_EQ(record->numOutputs, 2);
    EXPECT_EQ(record->uniqueID, 0x4E6F4566);  // 'NoEf'
    EXPECT_EQ(record->version, 1);
    EXPECT_EQ(record->ioRatio, 1.0f);
    EXPECT_EQ(record->object, static_cast<void*>(effect));
    EXPECT_EQ(effect->getSampleRate(), 44100.0f);
    EXPECT_EQ(effect->getBlockSize(), 1024);
    EXPECT_EQ(effect->getEditor(), nullptr);
}

TEST_F(FrameworkTest, UnhandledAndFixedOpcodesAnswerAsTheInterfaceSays) {
    struct Case {
        const char* what;
        VstInt32 opcode;
        VstIntPtr expected;
    };
    const Case cases[] = {
        {"effIdentify", effIdentify, 0x4E764566}, {"effGetVu", effGetVu, 0},
        {"effEditGetRect", effEditGetRect, 0},    {"effEditOpen", effEditOpen, 0},
        {"effEditClose", effEditClose, 0},        {"effEditDraw", effEditDraw, 0},
        {"effEditMouse", effEditMouse, 0},        {"effEditKey", effEditKey, 0},
        {"effEditIdle", effEditIdle, 0},          {"effEditTop", effEditTop, 0},
        {"effEditSleep", effEditSleep, 0},        {"effGetChunk", effGetChunk, 0},
        {"effSetChunk", effSetChunk, 0},          {"opcode -1", -1, 0},
        {"opcode 25 (not AudioEffect's)", 25, 0}, {"opcode 80", 80, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        char marker[32];
        std::memset(marker, 'x', sizeof(marker));
        EXPECT_EQ(dispatch(c.opcode, 7, 9, marker, 3.5f), c.expected);
        for (char byte : marker) ASSERT_EQ(byte, 'x');  // the host's pointer is left alone
    }
}

TEST_F(FrameworkTest, DefaultTextOperationsWriteOneZeroByte) {
    for (VstInt32 opcode : {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        SCOPED_TRACE(opcode);
        char text[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
        EXPECT_EQ(dispatch(opcode, 0, 0, text), 0);
        EXPECT_EQ(text[0], '\0');
        EXPECT_EQ(text[1], 'x');
    }
}

TEST_F(FrameworkTest, SetProgramTestsOnlyTheUpperBound) {
    dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(dispatch(effGetProgram), 0);
    dispatch(effSetProgram, 0, 1);  // not below numPrograms: ignored
    EXPECT_EQ(dispatch(effGetProgram), 0);
    dispatch(effSetProgram, 0, -1);  // negative values pass the one test made
    EXPECT_EQ(dispatch(effGetProgram), -1);
}

TEST_F(FrameworkTest, MainsChangedResumesOnAnyNonZeroValue) {
    dispatch(effMainsChanged, 0, 1);
    dispatch(effMainsChanged, 0, 1);
    dispatch(effMainsChanged, 0, 2);
    EXPECT_EQ(effect->resumes, 3);
    EXPECT_EQ(effect->suspends, 0);
    dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(effect->suspends, 1);
}

TEST_F(FrameworkTest, SampleRateComesFromOptAndBlockSizeFromValue) {
    dispatch(effSetSampleRate, 0, 96000, nullptr, 48000.0f);
    EXPECT_EQ(effect->currentSampleRate(), 48000.0f);
    dispatch(effSetBlockSize, 0, 512, nullptr, 1.0f);
    EXPECT_EQ(effect->currentBlockSize(), 512);
    dispatch(effSetBlockSize, 0, -3);  // stored unchecked
    EXPECT_EQ(effect->currentBlockSize(), -3);
}

TEST_F(FrameworkTest, FlagSettersTouchOnlyTheirBit) {
    struct Case {
        const char* what;
        void (AudioEffect::*setter)(bool);
        VstInt32 bit;
    };
    const Case cases[] = {
        {"canProcessReplacing", &AudioEffect::canProcessReplacing, 0x10},
        {"canDoubleReplacing", &AudioEffect::canDoubleReplacing, 0x1000},
        {"programsAreChunks", &AudioEffect::programsAreChunks, 0x20},
        {"hasVu", &AudioEffect::hasVu, 0x4},
        {"hasClip", &AudioEffect::hasClip, 0x2},
        {"canMono", &AudioEffect::canMono, 0x8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        record->flags = 0x10;
        (effect->*c.setter)(true);
        EXPECT_EQ(record->flags, 0x10 | c.bit);
        (effect->*c.setter)(false);
        EXPECT_EQ(record->flags, 0x10 & ~c.bit);
    }
}

TEST_F(FrameworkTest, SetParameterAutomatedSetsFirstThenTellsTheHost) {
    effect->setParameterAutomated(3, 0.25f);
    EXPECT_EQ(effect->getParameter(3), 0.25f);
    ASSERT_EQ(hostCalls.size(), 1u);
    EXPECT_EQ(hostCalls[0].opcode, audioMasterAutomate);
    EXPECT_EQ(hostCalls[0].index, 3);
    EXPECT_EQ(hostCalls[0].value, 0);
    EXPECT_EQ(hostCalls[0].ptr, nullptr);
    EXPECT_EQ(hostCalls[0].opt, 0.25f);
    EXPECT_EQ(parameterSeenByHost, 0.25f);
}

TEST_F(FrameworkTest, RecordFunctionsReachTheObject) {
    record->setParameter(record, 2, 0.75f);
    EXPECT_EQ(record->getParameter(record, 2), 0.75f);
    float left[4] = {1, 2, 3, 4}, right[4] = {5, 6, 7, 8};
    float* outputs[2] = {left, right};
    record->process(record, outputs, outputs, 4);  // the deprecated accumulating call does nothing
    EXPECT_EQ(left[3], 4.0f);
    EXPECT_EQ(right[0], 5.0f);
}

TEST(FrameworkClose, EffCloseThroughTheRecordAnswersOneAndDestroysTheObject) {
    bool destroyed = false;
    auto* effect = new ProbeEffect(recordingHost, &destroyed);
    AEffect* record = effect->getAeffect();
    EXPECT_EQ(effect->dispatcher(effClose, 0, 0, nullptr, 0.0f), 0);  // the object's own answer
    EXPECT_EQ(effect->closes, 1);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_TRUE(destroyed);
}

TEST(FrameworkHostQueries, WithoutACallbackNothingIsSentAndFixedAnswersCome) {
    ProbeEffect effect(nullptr);
    EXPECT_EQ(effect.getMasterVersion(), 1);
    EXPECT_EQ(effect.getCurrentUniqueId(), 0);
    EXPECT_TRUE(effect.isInputConnected(0));
    EXPECT_TRUE(effect.isOutputConnected(5));
    effect.masterIdle();
    effect.setParameterAutomated(1, 0.5f);
    EXPECT_EQ(effect.getParameter(1), 0.5f);
}

}  // namespace
