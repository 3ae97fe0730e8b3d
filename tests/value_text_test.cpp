// Value-to-text conversions: exact texts and exact bytes written, at the usual limit of 16
// and at limits too small for the text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "framework/audio_effect.h"
#include "framework/bounded_copy.h"
#include "guarded_buffer.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class TextEffect : public AudioEffect {
public:
    TextEffect() : AudioEffect(nullptr, 1, 1) {}
    void processReplacing(float**, float**, VstInt32) override {}
};

float fromBits(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Bytes written by a limit: maxLen + 1, none for a negative one.
int bytesFor(VstInt32 maxLen) { return maxLen < 0 ? 0 : maxLen + 1; }

void expectWritten(const Written& written, const std::string& text, int count) {
    EXPECT_EQ(written.text, text);
    EXPECT_EQ(written.count, count);
    EXPECT_TRUE(written.fromStart);
    EXPECT_TRUE(written.zeroPadded);
}

struct FloatCase {
    const char* what;
    float value;
    const char* text;
};

TEST(Float2String, TextsAtLimit16) {
    const FloatCase cases[] = {
        {"zero", 0.0f, "0.000000"},
        {"negative zero has no sign", -0.0f, "0.000000"},
        {"half", 0.5f, "0.500000"},
        {"one", 1.0f, "1.000000"},
        {"pre amp default", 0.2f * 800.0f, "160.0000"},
        {"cutoff default", 22050.0f, "22050.00"},
        {"fraction cut, not rounded", 12345.678f, "12345.67"},
        {"negative", -3.25f, "-3.25000"},
        {"negative below one", -0.5f, "-0.50000"},
        {"stored below its decimal", 0.95f, "0.949999"},
        {"largest below one", fromBits(0x3F7FFFFF), "0.999999"},
        {"tiny", 0.0000001f, "0.000000"},
        {"zeros inside", 100.05f, "100.0500"},
        {"seven digits end with the point", 1234567.0f, "1234567."},
        {"six digits and a sign end with the point", -999999.5f, "-999999."},
        {"eight digits: integer part alone", 10000000.0f, "10000000"},
        {"eight digits, fraction dropped", 12345678.0f, "12345678"},
        {"largest formatted", 99999992.0f, "99999992"},
        {"sign and seven digits: integer part alone", -1000000.0f, "-1000000"},
        {"sign and seven digits, fraction dropped", -1234567.5f, "-1234567"},
        {"most negative formatted", -9999999.0f, "-9999999"},
        {"99999999 is stored as 100000000", 99999999.0f, "Huge!"},
        {"one thousand million", 1000000000.0f, "Huge!"},
        {"minus ten million", -10000000.0f, "Huge!"},
        {"infinity", kInf, "Huge!"},
        {"negative infinity", -kInf, "Huge!"},
        {"largest float", FLT_MAX, "Huge!"},
        {"most negative float", -FLT_MAX, "Huge!"},
        {"smallest subnormal", fromBits(1), "0.000000"},
        {"negative subnormal keeps its sign", fromBits(0x80000001), "-0.00000"},
        {"NaN", kNaN, "nan"},
        {"NaN with the sign bit", fromBits(0xFFC00000), "nan"},
        {"signalling NaN with a payload", fromBits(0x7F800123), "nan"},
    };
    TextEffect effect;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expectWritten(writtenBy([&](char* text) { effect.float2string(c.value, text, 16); }), c.text, 17);
    }
}

struct LimitCase {
    const char* what;
    float value;
    VstInt32 maxLen;
    const char* text;
};

TEST(Float2String, SmallLimitsCutTheFractionButNeverTheIntegerPart) {
    const LimitCase cases[] = {
        {"smallest limit hosts are promised", 22050.0f, 9, "22050.00"},
        {"eight characters fit limit 8", 22050.0f, 8, "22050.00"},
        {"one fraction digit cut", 22050.0f, 7, "22050.0"},
        {"only the point left", 22050.0f, 6, "22050."},
        {"no room for the point", 22050.0f, 5, "22050"},
        {"integer part does not fit", 22050.0f, 4, ""},
        {"eight digits at limit 8", 12345678.0f, 8, "12345678"},
        {"eight digits at limit 7", 12345678.0f, 7, ""},
        {"negative, sign and point", -3.25f, 3, "-3."},
        {"negative, sign and digit", -3.25f, 2, "-3"},
        {"negative, the sign alone would mislead", -3.25f, 1, ""},
        {"single digit", 0.5f, 1, "0"},
        {"limit 0", 0.5f, 0, ""},
        {"Huge! whole", kInf, 5, "Huge!"},
        {"Huge! does not fit", kInf, 4, ""},
        {"nan whole", kNaN, 3, "nan"},
        {"nan does not fit", kNaN, 2, ""},
        {"negative limit", 0.5f, -1, ""},
        {"very negative limit", 22050.0f, -1000, ""},
        {"Huge! at a negative limit", kInf, -1, ""},
    };
    TextEffect effect;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expectWritten(writtenBy([&](char* text) { effect.float2string(c.value, text, c.maxLen); }), c.text,
                      bytesFor(c.maxLen));
    }
}

struct IntCase {
    const char* what;
    VstInt32 value;
    VstInt32 maxLen;
    const char* text;
};

TEST(Int2String, TextsAndBytes) {
    const IntCase cases[] = {
        {"zero shows as 0", 0, 16, "0"},
        {"one digit", 7, 16, "7"},
        {"zeros inside", 1000, 16, "1000"},
        {"zeros between digits", 90000009, 16, "90000009"},
        {"negative", -42, 16, "-42"},
        {"minus one", -1, 16, "-1"},
        {"largest formatted", 99999999, 16, "99999999"},
        {"range limit", 100000000, 16, "Huge!"},
        {"largest value", INT_MAX, 16, "Huge!"},
        {"nine digits negative", -123456789, 16, "-123456789"},
        {"most negative with nine digits", -999999999, 16, "-999999999"},
        {"ten digits negative", -1000000000, 16, "-1000000000"},
        {"ten digits negative, the top digit 2", -2147483647, 16, "-2147483647"},
        {"most negative value", INT_MIN, 16, "-2147483648"},
        {"most negative value at the smallest promised limit", INT_MIN, 11, "-2147483648"},
        {"most negative value one short", INT_MIN, 10, ""},
        {"four digits at limit 4", 1234, 4, "1234"},
        {"four digits at limit 3", 1234, 3, ""},
        {"Huge! at limit 4", 100000000, 4, ""},
        {"limit 0", -1, 0, ""},
        {"negative limit", 5, -1, ""},
    };
    TextEffect effect;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expectWritten(writtenBy([&](char* text) { effect.int2string(c.value, text, c.maxLen); }), c.text,
                      bytesFor(c.maxLen));
    }
}

TEST(DB2String, GainsAsDecibels) {
    const FloatCase cases[] = {
        {"zero gain", 0.0f, "-oo"},
        {"negative zero gain", -0.0f, "-oo"},
        {"negative gain", -1.0f, "-oo"},
        {"most negative gain", -kInf, "-oo"},
        {"unity", 1.0f, "0.000000"},
        {"half", 0.5f, "-6.02059"},
        {"double", 2.0f, "6.020599"},
        {"ten", 10.0f, "20.00000"},
        {"one thousandth", 0.001f, "-60.0000"},
        {"largest float", FLT_MAX, "770.6367"},
        {"smallest subnormal", fromBits(1), "-897.069"},
        {"infinite gain", kInf, "Huge!"},
        {"NaN", kNaN, "nan"},
    };
    TextEffect effect;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expectWritten(writtenBy([&](char* text) { effect.dB2string(c.value, text, 16); }), c.text, 17);
    }
    SCOPED_TRACE("-oo does not fit limit 2");
    expectWritten(writtenBy([&](char* text) { effect.dB2string(0.0f, text, 2); }), "", 3);
}

struct RateCase {
    const char* what;
    float sampleRate;
    float samples;
    const char* text;
};

TEST(Hz2String, PeriodsAsFrequencies) {
    const RateCase cases[] = {
        {"no period", 44100.0f, 0.0f, "0.000000"},
        {"one sample", 44100.0f, 1.0f, "44100.00"},
        {"three samples", 44100.0f, 3.0f, "14700.00"},
        {"hundred samples", 44100.0f, 100.0f, "441.0000"},
        {"one second", 44100.0f, 44100.0f, "1.000000"},
        {"negative period", 44100.0f, -1.0f, "-44100.0"},
        {"rate 0", 0.0f, 1.0f, "0.000000"},
        {"NaN period", 44100.0f, kNaN, "nan"},
        {"subnormal period", 44100.0f, fromBits(1), "Huge!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TextEffect effect;
        effect.setSampleRate(c.sampleRate);
        expectWritten(writtenBy([&](char* text) { effect.Hz2string(c.samples, text, 16); }), c.text, 17);
    }
}

TEST(Ms2String, LengthsAsMilliseconds) {
    const RateCase cases[] = {
        {"no samples", 44100.0f, 0.0f, "0.000000"},
        {"one sample", 44100.0f, 1.0f, "0.022675"},
        {"ten milliseconds", 44100.0f, 441.0f, "10.00000"},
        {"a block", 44100.0f, 1024.0f, "23.21995"},
        {"one second", 44100.0f, 44100.0f, "1000.000"},
        {"no samples at rate 0", 0.0f, 0.0f, "0.000000"},
        {"one sample at rate 0", 0.0f, 1.0f, "Huge!"},
        {"minus one sample at rate 0", 0.0f, -1.0f, "Huge!"},
        {"NaN samples", 44100.0f, kNaN, "nan"},
        {"NaN rate", kNaN, 1.0f, "nan"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TextEffect effect;
        effect.setSampleRate(c.sampleRate);
        expectWritten(writtenBy([&](char* text) { effect.ms2string(c.samples, text, 16); }), c.text, 17);
    }
}

// The unit conversions reach float2string and the sample rate through the object, so an
// effect that overrides either changes their texts.
class OverridingEffect : public TextEffect {
public:
    void float2string(float value, char* text, VstInt32 maxLen) override {
        received = value;
        receivedLimit = maxLen;
        boundedCopy(text, "own", maxLen);
    }
    float getSampleRate() override { return 1000.0f; }
    float received = -1.0f;
    VstInt32 receivedLimit = 0;
};

TEST(UnitConversions, GoThroughTheOverriddenFloat2StringAndSampleRate) {
    struct Case {
        const char* what;
        void (AudioEffect::*conversion)(float, char*, VstInt32);
        float argument;
        float handedOn;
    };
    const Case cases[] = {
        {"dB2string", &AudioEffect::dB2string, 10.0f, 20.0f},
        {"Hz2string", &AudioEffect::Hz2string, 4.0f, 250.0f},
        {"ms2string", &AudioEffect::ms2string, 3.0f, 3.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OverridingEffect effect;
        AudioEffect& base = effect;
        expectWritten(writtenBy([&](char* text) { (base.*c.conversion)(c.argument, text, 12); }), "own", 13);
        EXPECT_EQ(effect.received, c.handedOn);
        EXPECT_EQ(effect.receivedLimit, 12);
    }
}

TEST(BoundedText, CopyAndAppendStayWithinTheLimit) {
    struct Case {
        const char* what;
        const char* first;
        const char* appended;
        VstInt32 maxChars;
        const char* text;
    };
    const Case cases[] = {
        {"both fit", "ab", "cd", 8, "abcd"},
        {"append cut", "ab", "cdef", 3, "abc"},
        {"copy fills the limit", "abcd", "ef", 4, "abcd"},
        {"copy cut", "abcdef", "gh", 2, "ab"},
        {"limit 0", "ab", "cd", 0, ""},
        {"negative limit", "ab", "cd", -1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expectWritten(writtenBy([&](char* text) {
                          boundedCopy(text, c.first, c.maxChars);
                          boundedAppend(text, c.appended, c.maxChars);
                      }),
                      c.text, bytesFor(c.maxChars));
    }
}

// A float2string text within the limits is made of an optional sign, the integer digits and,
// if there is room, a point and fraction digits; this returns the integer digits.
std::string integerDigits(const std::string& text) {
    const std::size_t begin = !text.empty() && text[0] == '-' ? 1 : 0;
    return text.substr(begin, text.find('.') - begin);
}

TEST(Float2String, AnyFloatStaysWithinTheLimitAndTheBudget) {
    std::vector<float> values = {
        0.0f, -0.0f, kNaN, -kNaN, fromBits(0x7F800001), fromBits(0xFFFFFFFF), kInf, -kInf, FLT_MAX, -FLT_MAX,
        FLT_MIN, -FLT_MIN, fromBits(1), fromBits(0x80000001), fromBits(0x007FFFFF), fromBits(0x807FFFFF),
        99999992.0f, 100000000.0f, 9999999.0f, -9999999.0f, -10000000.0f, 10000000.0f, -1000000.0f,
        std::nextafter(1.0f, 0.0f), std::nextafter(10000000.0f, 0.0f), std::nextafter(-1000000.0f, 0.0f),
    };
    std::mt19937 random(20240417);
    std::uniform_int_distribution<std::uint32_t> anyBits;
    std::uniform_real_distribution<float> inRange(-2.0e8f, 2.0e8f);
    std::uniform_real_distribution<float> small(-2.0f, 2.0f);
    for (int i = 0; i < 15000; ++i) {
        values.push_back(fromBits(anyBits(random)));
        values.push_back(inRange(random));
        values.push_back(small(random));
    }
    const VstInt32 limits[] = {16, 9, 8, 7, 4, 1, 0, -1, -9};

    TextEffect effect;
    int failures = 0;
    for (float value : values) {
        for (VstInt32 maxLen : limits) {
            const Written written = writtenBy([&](char* text) { effect.float2string(value, text, maxLen); });
            const std::string& text = written.text;
            const double magnitude = std::fabs(static_cast<double>(value));
            bool ok = written.count == bytesFor(maxLen) && written.fromStart && written.zeroPadded &&
                      static_cast<VstInt32>(text.size()) <= std::max(maxLen, 0);
            if (text == "nan") {
                ok = ok && std::isnan(value);
            } else if (text == "Huge!") {
                ok = ok && magnitude > (value < 0.0f ? 9999999.0 : 99999999.0);
            } else if (text.empty()) {
                ok = ok && maxLen < 8;  // eight characters always fit from limit 8 up
            } else {
                ok = ok && !std::isnan(value) && text.size() <= 8 && (maxLen < 8 || text.size() == 8) &&
                     (text[0] == '-') == (value < 0.0f) &&
                     integerDigits(text) == std::to_string(static_cast<long long>(std::floor(magnitude)));
            }
            if (!ok && ++failures <= 10) {
                std::uint32_t bits;
                std::memcpy(&bits, &value, sizeof bits);
                ADD_FAILURE() << "value " << value << " (bits 0x" << std::hex << bits << std::dec << ") maxLen "
                              << maxLen << ": \"" << text << "\", " << written.count << " bytes written";
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

}  // namespace
