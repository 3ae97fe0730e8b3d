#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define MORVEX_SSE2_SQRT 1
#endif

#include "sine_kernel.h"

namespace {

// Bits of 2/pi, most significant first, behind one zero word so that a window may start
// up to 31 bits before the binary point.
constexpr std::uint32_t kTwoOverPiBits[] = {
    0x00000000, 0xa2f9836e, 0x4e441529, 0xfc2757d1, 0xf534ddc0, 0xdb629599,
    0x3c439041, 0xfe5163ab, 0xdebbc561, 0xb7246e3a, 0x424dd2e0,
};

// 32 bits of 2/pi starting at bit `position` of the table (0 = most significant).
std::uint32_t twoOverPiWord(int position) {
    const int word = position / 32, shift = position % 32;
    const std::uint64_t pair = (std::uint64_t{kTwoOverPiBits[word]} << 32) | kTwoOverPiBits[word + 1];
    return static_cast<std::uint32_t>(pair >> (32 - shift));
}

// sin(-x) = -sin(x): the magnitude's sine takes the argument's sign bit.
float flipSignIfNegative(float value, std::uint32_t argumentBits) {
    std::uint32_t valueBits;
    std::memcpy(&valueBits, &value, sizeof valueBits);
    valueBits ^= argumentBits & 0x80000000u;
    float result;
    std::memcpy(&result, &valueBits, sizeof result);
    return result;
}

}  // namespace

// a = m * 2^e with m a 24-bit integer. a/pi modulo 2 only needs the bits of 1/pi from
// weight 2^-e downwards (those of 2/pi from 2^(1-e)): 128 of them times m give the parity
// and 127 fraction bits, enough for the closest a float ever comes to a multiple of pi.
float sineLargeArgument(float x) {
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const std::uint32_t magnitude = bits & 0x7fffffffu;
    if (magnitude >= 0x7f800000u) return x - x;  // inf and NaN give NaN
    if (magnitude <= kSineFastLimitBits) return chainSine(x);

    const std::uint64_t m = (magnitude & 0x7fffffu) | 0x800000u;
    const int e = static_cast<int>(magnitude >> 23) - 150;
    const int start = e - 1 + 31;  // table position of 1/pi's bit of weight 2^-e
    std::uint64_t limb[4];
    for (int i = 0; i < 4; ++i) limb[i] = twoOverPiWord(start + 32 * i);

    // product = m * window, 152 bits, as 32-bit limbs r[0] (top) .. r[3].
    std::uint64_t r[4], carry = 0;
    for (int i = 3; i >= 0; --i) {
        const std::uint64_t t = m * limb[i] + carry;
        r[i] = t & 0xffffffffu;
        carry = t >> 32;
    }
    // The binary point of x/pi lies between bits 127 and 126 of the product.
    const std::uint64_t parity = r[0] >> 31;
    const std::uint64_t fractionHigh = ((r[0] & 0x7fffffffu) << 33) | (r[1] << 1) | (r[2] >> 31);
    const std::uint64_t fractionLow = ((r[2] & 0x7fffffffu) << 1) | (r[3] >> 31);
    // A fraction of one half or more rounds the count of half turns up and leaves a
    // negative remainder.
    const std::int64_t signedHigh = static_cast<std::int64_t>(fractionHigh);
    const std::uint64_t k = (parity + (fractionHigh >> 63)) & 1;
    const double halfTurns = static_cast<double>(signedHigh) * 0x1p-64 + static_cast<double>(fractionLow) * 0x1p-96;
    const double reduced = halfTurns * 0x1.921fb54442d18p+1;

    const float value = static_cast<float>(sineOfReduced<double, std::uint64_t>(reduced, k));
    return flipSignIfNegative(value, bits);
}

float chainSine(float x) {
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const std::uint32_t magnitudeBits = bits & 0x7fffffffu;
    if (magnitudeBits > kSineFastLimitBits) return sineLargeArgument(x);
    float magnitude;
    std::memcpy(&magnitude, &magnitudeBits, sizeof magnitude);
    const float value = static_cast<float>(sineOfMagnitude<double, std::uint64_t>(magnitude));
    return flipSignIfNegative(value, bits);
}

float chainFourthRoot(float v) {
#ifdef MORVEX_SSE2_SQRT
    // The instruction itself: no error handling for negative arguments, none needed here.
    const __m128d d = _mm_cvtss_sd(_mm_setzero_pd(), _mm_set_ss(v));
    return _mm_cvtss_f32(_mm_cvtsd_ss(_mm_setzero_ps(), _mm_sqrt_sd(d, _mm_sqrt_sd(d, d))));
#else
    return static_cast<float>(std::sqrt(std::sqrt(static_cast<double>(v))));
#endif
}
