// The chain's single-precision sine, evaluated in double precision so that the float result
// is within one unit in the last place of the correctly rounded sine (almost always equal
// to it). Written once as templates over a double type D and a matching 64-bit unsigned
// type Q, so that the scalar code and every vector width run the same IEEE operations in
// the same order and give the same bits. No fused multiply-add anywhere: the project
// compiles with -ffp-contract=off and nothing here asks for one.
//
// Deliberately free of includes and of anything from namespace std: the SIMD translation
// units compile this with wider instruction sets, and internal linkage keeps their copies
// from being merged with the baseline ones.
#pragma once

namespace {

// Arguments up to this magnitude take the vector path; beyond it (and for inf and NaN) the
// caller uses sineLargeArgument, whose reduction is exact for every float.
constexpr float kSineFastLimit = 0x1p20f;
constexpr unsigned kSineFastLimitBits = 0x49800000u;  // bit pattern of kSineFastLimit

// sin(r + k*pi) for |r| <= pi/2 (a little more is fine): r + r^3·P(r^2), P of degree 4
// fitted at Chebyshev nodes, within 2^-33 of the sine relative to it, so the float result is
// always within one unit in the last place and nearly always the correctly rounded one.
template <class D, class Q>
__attribute__((always_inline)) inline D sineOfReduced(D r, Q k) {
    const D z = r * r;
    const D series = r + (r * z) * (-0x1.555555545fb70p-3 + z * (0x1.11110fda11a7dp-7 + z * (-0x1.a019055a61964p-13 +
                     z * (0x1.71967f6194f3bp-19 + z * -0x1.9dafb36b80d11p-26))));
    return __builtin_bit_cast(D, __builtin_bit_cast(Q, series) ^ (k << 63));
}

// sin(a) for 0 <= a <= kSineFastLimit. k = round(a/pi) has at most 19 bits and the first
// two parts of pi at most 32 and 29, so k times either part is exact and so is
// a - k*part1; what the third part leaves is far below what rounding to float notices.
template <class D, class Q>
__attribute__((always_inline)) inline D sineOfMagnitude(D a) {
    constexpr double kRoundingShift = 0x1.8p52;  // adding it rounds to an integer in the low bits
    const D t = a * 0x1.45f306dc9c883p-2 + kRoundingShift;
    const D k = t - kRoundingShift;
    const D r = ((a - k * 0x1.921fb544p+1) - k * 0x1.0b4611ap-33) - k * 0x1.898cc51701b84p-63;
    return sineOfReduced<D, Q>(r, __builtin_bit_cast(Q, t));
}

// sin(a) for 0 <= a <= pi/2, which needs no reduction: the same bits as sineOfMagnitude.
template <class D, class Q>
__attribute__((always_inline)) inline D sineOfFirstQuadrant(D a) {
    return sineOfReduced<D, Q>(a, Q{});
}

}  // namespace

// Exact argument reduction for any float (baseline code, shared by every target).
float sineLargeArgument(float x);
// The chain's sine for one value: the same bits as every vector lane computes.
float chainSine(float x);
// v^0.25 as two square roots in double precision, rounded once: correctly rounded (powf is
// not always), and the same bits with every processor and C library.
float chainFourthRoot(float v);
