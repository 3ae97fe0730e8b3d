// Parameter names, labels and value texts as a host reads them from the built module:
// opcodes 8, 6 and 7, exact texts, exactly 17 bytes written, bad indexes untouched.
#include <climits>
#include <cstring>
#include <limits>

#include "guarded_buffer.h"
#include "module_fixture.h"

namespace {

constexpr VstInt32 kParams = 10;
constexpr VstInt32 kMode = 5;

class ParameterTextTest : public ModuleTest {
protected:
    Written textFrom(VstInt32 opcode, VstInt32 index) {
        return writtenBy([&](char* text) { EXPECT_EQ(dispatch(opcode, index, 0, text), 0); });
    }
    void expectText(VstInt32 opcode, VstInt32 index, const char* expected) {
        const Written written = textFrom(opcode, index);
        EXPECT_EQ(written.text, expected);
        EXPECT_EQ(written.count, 17);
        EXPECT_TRUE(written.fromStart);
        EXPECT_TRUE(written.zeroPadded);
    }
};

TEST_F(ParameterTextTest, NamesLabelsAndDefaultDisplays) {
    struct Case {
        VstInt32 index;
        const char* name;
        const char* label;
        const char* display;
    };
    const Case cases[kParams] = {
        {0, "Pre Amp", "%", "160.0000"},   {1, "Shape", " ", "0.000000"},     {2, "Disto", "%", "80.00000"},
        {3, "Cutoff", "Hz", "22050.00"},   {4, "Resonance", " ", "0.000000"}, {5, "Mode", " ", "Lp"},
        {6, "Env", " ", "0.000000"},       {7, "Env Atk", " ", "1.000000"},   {8, "Env Dec", " ", "0.949999"},
        {9, "Post Amp", "%", "50.00000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectText(effGetParamName, c.index, c.name);
        expectText(effGetParamLabel, c.index, c.label);
        expectText(effGetParamDisplay, c.index, c.display);
    }
}

TEST_F(ParameterTextTest, DisplaysOfOtherValues) {
    struct Case {
        const char* what;
        VstInt32 index;
        float value;
        const char* display;
    };
    const Case cases[] = {
        {"cutoff 0.3 scales to 6615.0005", 3, 0.3f, "6615.000"},
        {"post amp 0.333 scales to 33.299999, cut not rounded", 9, 0.333f, "33.29999"},
        {"negative pre amp", 0, -0.5f, "-400.000"},
        {"disto above 1 shown unclamped", 2, 2.0f, "1600.000"},
        {"pre amp beyond the range", 0, 125000.0f, "Huge!"},
        {"shape unscaled", 1, 0.123f, "0.123000"},
        {"env dec unscaled", 8, 0.5f, "0.500000"},
        {"resonance NaN", 4, std::numeric_limits<float>::quiet_NaN(), "nan"},
        {"cutoff infinite", 3, std::numeric_limits<float>::infinity(), "Huge!"},
        {"mode 0.6", kMode, 0.6f, "Notch"},
        {"mode 0.2", kMode, 0.2f, "Hp"},
        {"mode 0.4", kMode, 0.4f, "Band"},
        {"mode 0.9", kMode, 0.9f, "Peak"},
        {"mode back to 0", kMode, 0.0f, "Lp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        effect->setParameter(c.index, c.value);
        expectText(effGetParamDisplay, c.index, c.display);
    }
}

TEST_F(ParameterTextTest, ModeDisplayShowsTheFilterModeWhileTheValueStaysRaw) {
    effect->setParameter(kMode, 0.6f);
    expectText(effGetParamDisplay, kMode, "Notch");
    EXPECT_EQ(effect->getParameter(kMode), 0.6f);
    effect->setParameter(kMode, 0.2f);
    expectText(effGetParamDisplay, kMode, "Hp");
    EXPECT_EQ(effect->getParameter(kMode), 0.2f);
}

TEST_F(ParameterTextTest, BadIndexesLeaveTheBufferUntouched) {
    for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay})
        for (VstInt32 index : {kParams, -1, kParams + 1, INT_MAX, INT_MIN}) {
            SCOPED_TRACE(testing::Message() << "opcode " << opcode << " index " << index);
            EXPECT_EQ(textFrom(opcode, index).count, 0);
            char marker[32] = "marker text";
            char before[32];
            std::memcpy(before, marker, sizeof marker);
            EXPECT_EQ(dispatch(opcode, index, 0, marker), 0);
            EXPECT_EQ(std::memcmp(marker, before, sizeof marker), 0);
        }
}

}  // namespace
