// The chain's sine: within one unit in the last place of the exact sine for every finite
// float (checked on a dense sweep of bit patterns; the disabled test walks all of them),
// NaN for inf and NaN, and the same bits from every vector width as from the scalar code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "effect/chain_simd.h"
#include "effect/sine_kernel.h"

namespace {

float fromBits(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
std::uint32_t toBits(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}
// Position on a line where neighbouring floats are 1 apart, through zero.
std::int64_t ordinal(float f) {
    const std::uint32_t bits = toBits(f);
    return bits & 0x80000000u ? -static_cast<std::int64_t>(bits & 0x7fffffffu) : static_cast<std::int64_t>(bits);
}

// The reference is the C library's double-precision sine rounded to float. The GNU C
// library's is exact for every argument; others (the Windows runtime under Wine among them)
// get huge arguments wrong, so there only the vector path's range is held against it.
bool referenceIsExact(float x) {
#ifdef __GLIBC__
    (void)x;
    return true;
#else
    return std::fabs(x) <= kSineFastLimit;
#endif
}

struct Sweep {
    std::int64_t checked = 0, differentFromReference = 0, worstUlps = 0;
    float worstArgument = 0.0f;
};

// Checks the bit patterns first, first + stride, ... below `end` (both signs if `negatives`)
// against the double-precision sine rounded to float, on every available target.
void sweep(std::uint64_t first, std::uint64_t end, std::uint64_t stride, Sweep& result) {
    constexpr int kBatch = 4096;
    std::vector<float> args(kBatch), scalar(kBatch), vector(kBatch);
    std::uint64_t pattern = first;
    while (pattern < end) {
        int count = 0;
        for (; count < kBatch && pattern < end; pattern += stride) {
            const float x = fromBits(static_cast<std::uint32_t>(pattern));
            if (std::isfinite(x)) args[count++] = x;
        }
        for (int i = 0; i < count; ++i) {
            scalar[i] = chainSine(args[i]);
            if (!referenceIsExact(args[i])) continue;
            const float reference = static_cast<float>(std::sin(static_cast<double>(args[i])));
            const std::int64_t ulps = std::llabs(ordinal(scalar[i]) - ordinal(reference));
            result.differentFromReference += ulps != 0;
            if (ulps > result.worstUlps) result.worstUlps = ulps, result.worstArgument = args[i];
        }
        for (int i = 0; i < count; ++i) result.checked += referenceIsExact(args[i]);
        for (int t = 0; t < static_cast<int>(ChainTarget::kCount); ++t) {
            const auto target = static_cast<ChainTarget>(t);
            if (!chainTargetAvailable(target)) continue;
            chainSineArray(target)(args.data(), vector.data(), count);
            for (int i = 0; i < count; ++i)
                if (toBits(vector[i]) != toBits(scalar[i])) {
                    ADD_FAILURE() << chainTargetName(target) << " sin(" << args[i] << ") bits " << std::hex
                                  << toBits(vector[i]) << ", scalar " << toBits(scalar[i]);
                    return;
                }
        }
    }
}

TEST(ChainSine, WithinOneUlpOnADenseSweepOfAllFloats) {
    struct Case {
        const char* what;
        std::uint64_t first, end, stride;
    };
    const Case cases[] = {
        {"every 509th positive pattern", 0, 0x7f800000, 509},
        {"every 509th negative pattern", 0x80000001, 0xff800000, 509},
        {"every float around the first multiples of pi/2", 0x3f000000, 0x41000000, 17},
        {"the vector path's limit and the exact reduction beyond", 0x49700000, 0x49900000, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sweep result;
        sweep(c.first, c.end, c.stride, result);
        EXPECT_LE(result.worstUlps, 1) << "at " << result.worstArgument;
        // Evaluated in double precision, the sine is nearly always the correctly rounded one.
        EXPECT_LT(result.differentFromReference * 200, result.checked);
        std::printf("%s: %lld checked, %lld differ by 1 ulp from the reference\n", c.what,
                    static_cast<long long>(result.checked), static_cast<long long>(result.differentFromReference));
    }
}

TEST(ChainSine, DISABLED_WithinOneUlpForEveryFloat) {
    Sweep result;
    sweep(0, 0x100000000ull, 1, result);
    EXPECT_LE(result.worstUlps, 1) << "at " << result.worstArgument;
    std::printf("%lld checked, %lld differ by 1 ulp from the reference\n", static_cast<long long>(result.checked),
                static_cast<long long>(result.differentFromReference));
}

TEST(ChainSine, NonFiniteGivesNaNAndZeroKeepsItsSign) {
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> args = {inf, -inf, std::numeric_limits<float>::quiet_NaN(), 0.0f, -0.0f};
    args.resize(16, 1.0f);
    std::vector<float> out(args.size());
    for (int t = 0; t < static_cast<int>(ChainTarget::kCount); ++t) {
        const auto target = static_cast<ChainTarget>(t);
        if (!chainTargetAvailable(target)) continue;
        SCOPED_TRACE(chainTargetName(target));
        chainSineArray(target)(args.data(), out.data(), static_cast<int>(args.size()));
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isnan(out[i])) << args[i];
        EXPECT_EQ(toBits(out[3]), 0x00000000u);
        EXPECT_EQ(toBits(out[4]), 0x80000000u);
    }
    EXPECT_TRUE(std::isnan(chainSine(inf)));
    EXPECT_TRUE(std::isnan(chainSine(std::numeric_limits<float>::quiet_NaN())));
}

}  // namespace
