#include <cmath>
#include <cstdint>
#include <cstring>

#include "audio_effect.h"
#include "bounded_copy.h"

namespace {

// Characters a number may take: sign, integer digits, point and fraction digits together.
constexpr int kNumberBudget = 8;
constexpr double kPowersOfTen[kNumberBudget] = {1.0, 10.0, 100.0, 1000.0, 10000.0, 100000.0, 1000000.0, 10000000.0};

// `remainder` is fmod(x, 10.0) of a non-negative x; the digit is its integer part.
char digitCharacter(double remainder) { return static_cast<char>('0' + static_cast<int>(remainder)); }

// Words and integer parts are shown whole or not at all: a cut "-12345" would read as a
// different number. With a limit too small for them the text stays empty.
void writeWhole(char* text, const char* whole, VstInt32 maxLen) {
    const bool fits = maxLen >= 0 && std::strlen(whole) <= static_cast<std::size_t>(maxLen);
    boundedCopy(text, fits ? whole : "", maxLen);
}

}  // namespace

void AudioEffect::float2string(float value, char* text, VstInt32 maxLen) {
    double v = value;
    if (std::isnan(v)) {
        writeWhole(text, "nan", maxLen);
        return;
    }
    const bool negative = v < 0.0;  // -0.0 is shown without a sign
    if (negative) v = -v;
    if (v > (negative ? 9999999.0 : 99999999.0)) {
        writeWhole(text, "Huge!", maxLen);
        return;
    }

    // Integer digits from the units upward. n is scaled by the double 0.1 and never floored
    // again; below 100000000 this still yields exactly the digits of the integer part.
    char reversed[kNumberBudget];
    int digits = 0;
    double n = std::floor(v);
    do {
        reversed[digits++] = digitCharacter(std::fmod(n, 10.0));
        n *= 0.1;
    } while (n >= 1.0 && digits < kNumberBudget);

    char head[kNumberBudget + 3];  // sign, digits, point, zero
    int length = 0;
    if (negative) head[length++] = '-';
    while (digits > 0) head[length++] = reversed[--digits];
    head[length] = '\0';

    // An integer part that fills the whole budget (eight digits, or a sign and seven) has no
    // room left for the point, and is shown alone.
    const VstInt32 room = maxLen < kNumberBudget ? maxLen : kNumberBudget;
    if (length >= room) {
        writeWhole(text, head, maxLen);
        return;
    }
    head[length++] = '.';
    head[length] = '\0';
    boundedCopy(text, head, maxLen);

    // The fraction takes what the budget leaves, cut digit by digit, never rounded.
    const int count = kNumberBudget - length;
    if (count == 0) return;
    char fraction[kNumberBudget + 1];
    double f = std::fmod(v, 1.0) * kPowersOfTen[count];
    for (int i = count - 1; i >= 0; --i) {
        if (f <= 0.0) {
            fraction[i] = '0';
        } else {
            fraction[i] = digitCharacter(std::fmod(f, 10.0));
            f *= 0.1;
        }
    }
    fraction[count] = '\0';
    boundedAppend(text, fraction, maxLen);
}

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxLen) {
    if (value >= 100000000) {
        writeWhole(text, "Huge!", maxLen);
        return;
    }
    // In 64 bits the most negative value has a magnitude too.
    std::int64_t magnitude = value;
    char number[12];  // sign, ten digits, zero
    int length = 0;
    if (magnitude < 0) {
        number[length++] = '-';
        magnitude = -magnitude;
    }
    bool started = false;
    for (std::int64_t place = 1000000000; place >= 1; place /= 10) {
        const int digit = static_cast<int>(magnitude / place);
        magnitude %= place;
        // The units place is always shown, so zero reads "0" rather than nothing.
        if (started || digit > 0 || place == 1) {
            number[length++] = static_cast<char>('0' + digit);
            started = true;
        }
    }
    number[length] = '\0';
    writeWhole(text, number, maxLen);
}

void AudioEffect::dB2string(float value, char* text, VstInt32 maxLen) {
    if (value <= 0.0f) {
        writeWhole(text, "-oo", maxLen);
        return;
    }
    float2string(static_cast<float>(20.0 * std::log10(static_cast<double>(value))), text, maxLen);
}

void AudioEffect::Hz2string(float samples, char* text, VstInt32 maxLen) {
    const float rate = getSampleRate();
    const float frequency = samples != 0.0f ? rate / samples : 0.0f;
    float2string(frequency, text, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, VstInt32 maxLen) {
    const float rate = getSampleRate();
    // No samples last no time at any rate; this also keeps 0 / 0 away at rate 0.
    const float milliseconds =
        samples != 0.0f ? static_cast<float>(static_cast<double>(samples) * 1000.0 / static_cast<double>(rate)) : 0.0f;
    float2string(milliseconds, text, maxLen);
}
