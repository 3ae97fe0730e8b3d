// The signal chain of the built module, driven through its record as a host does, against
// the worked numbers, the edge cases and the oracle in chain_oracle.h.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "chain_oracle.h"
#include "effect/sine_kernel.h"
#include "module_fixture.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kHalfPi = 1.5707964f;  // sinf of it is exactly 1

std::uint32_t bitsOf(float v) {
    std::uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

using Samples = std::vector<float>;
struct Stereo {
    Samples left, right;
};

// The defaults with some values changed; the mode follows the Mode value as in the effect.
OracleParams paramsWith(std::initializer_list<std::pair<int, float>> changes) {
    OracleParams params = oracleDefaults();
    for (const auto& [index, value] : changes) params.values[index] = value;
    params.mode = filterModeFor(params.values[kMode]);
    return params;
}

const OracleParams kExample3 = paramsWith({{kPreAmp, 0.3f},
                                           {kShape, 0.5f},
                                           {kDisto, 0.5f},
                                           {kCutoff, 0.1f},
                                           {kResonance, 0.3f},
                                           {kEnv, 0.5f},
                                           {kEnvAtk, 0.5f},
                                           {kEnvDec, 0.1f},
                                           {kPostAmp, 0.8f}});

void apply(vsthost::Effect& fx, const OracleParams& params) {
    for (VstInt32 i = 0; i < kNumParams; ++i) fx.setParameter(i, params.values[i]);
}

Stereo run(vsthost::Effect& fx, const Stereo& in) {
    Stereo out{Samples(in.left.size(), 99.0f), Samples(in.right.size(), 99.0f)};
    float* ins[2] = {const_cast<float*>(in.left.data()), const_cast<float*>(in.right.data())};
    float* outs[2] = {out.left.data(), out.right.data()};
    fx.processReplacing(ins, outs, static_cast<VstInt32>(in.left.size()));
    return out;
}

Stereo runInPlace(vsthost::Effect& fx, Stereo buffers) {
    float* io[2] = {buffers.left.data(), buffers.right.data()};
    fx.processReplacing(io, io, static_cast<VstInt32>(buffers.left.size()));
    return buffers;
}

// What the module must give for one channel: the oracle in the module's floating-point mode,
// with the module's own sine and power.
Samples expected(const OracleParams& params, OracleState& state, const Samples& in) {
    Samples out(in.size());
    oracleProcessFlushed(params, state, in.data(), out.data(), static_cast<int>(in.size()), chainSine,
                         chainFourthRoot);
    return out;
}

Samples noise(std::mt19937& rng, std::size_t n, float amplitude) {
    std::uniform_real_distribution<float> dist(-amplitude, amplitude);
    Samples s(n);
    for (float& v : s) v = dist(rng);
    return s;
}

::testing::AssertionResult sameBits(const Samples& actual, const Samples& wanted) {
    if (actual.size() != wanted.size()) return ::testing::AssertionFailure() << "sizes differ";
    for (std::size_t i = 0; i < actual.size(); ++i)
        if (bitsOf(actual[i]) != bitsOf(wanted[i]))
            return ::testing::AssertionFailure() << "sample " << i << ": " << actual[i] << " (0x" << std::hex
                                                 << bitsOf(actual[i]) << "), wanted " << wanted[i] << " (0x"
                                                 << bitsOf(wanted[i]) << ")";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult finiteWithin(const Samples& out, float bound) {
    for (std::size_t i = 0; i < out.size(); ++i)
        if (!std::isfinite(out[i]) || std::fabs(out[i]) > bound)
            return ::testing::AssertionFailure() << "sample " << i << " is " << out[i] << ", bound " << bound;
    return ::testing::AssertionSuccess();
}

using ChainTest = ModuleTest;

TEST_F(ChainTest, WorkedExamplesWithinTwoMillionths) {
    struct Case {
        const char* what;
        OracleParams params;
        Samples input;
        Samples output;
    };
    const Samples example3Input = {0.5f, -0.25f, 0.75f, 0.0f, -1.0f, 0.3f, 0.1f, 0.0f};
    auto example3 = [&](const char* what, float mode, Samples output) {
        OracleParams params = kExample3;
        params.values[kMode] = mode;
        params.mode = filterModeFor(mode);
        return Case{what, params, example3Input, std::move(output)};
    };
    const Case cases[] = {
        {"defaults, constant 0.5", oracleDefaults(), Samples(16, 0.5f), Samples(16, 0.396930f)},
        {"Cutoff 0.25, Resonance 0.5, one impulse",
         paramsWith({{kCutoff, 0.25f}, {kResonance, 0.5f}}),
         {0.5f, 0, 0, 0, 0, 0, 0, 0},
         {0.023520f, 0.195711f, 0.247627f, 0.138203f, -0.006804f, -0.113411f, -0.135059f, -0.068925f}},
        example3("example 3 Lp", 0.1f,
                 {0.284976f, 0.654599f, -0.503817f, 0.462326f, 0.250998f, 0.708782f, 0.723449f, -0.140995f}),
        example3("example 3 Hp", 0.3f,
                 {0.687444f, -0.800000f, 0.744819f, -0.603490f, 0.249268f, -0.047197f, -0.290226f, 0.327239f}),
        example3("example 3 Band", 0.5f,
                 {0.668400f, -0.679201f, 0.524056f, -0.070041f, 0.126143f, 0.592554f, -0.660489f, -0.106504f}),
        example3("example 3 Notch", 0.7f,
                 {0.730170f, -0.769485f, 0.630989f, -0.363480f, 0.409427f, 0.703095f, 0.677159f, 0.236445f}),
        example3("example 3 Peak", 0.9f,
                 {-0.629605f, 0.800000f, -0.800000f, 0.718479f, 0.002826f, 0.714258f, 0.758108f, -0.400991f}),
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto fx = module->instantiate();
        apply(*fx, c.params);
        Stereo out = run(*fx, {c.input, c.input});
        OracleState state;
        Samples oracle(c.input.size());
        oracleProcess(c.params, state, c.input.data(), oracle.data(), static_cast<int>(c.input.size()));
        for (std::size_t i = 0; i < c.input.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_NEAR(out.left[i], c.output[i], 0.000002);
            EXPECT_NEAR(out.right[i], c.output[i], 0.000002);
            EXPECT_NEAR(oracle[i], c.output[i], 0.000002) << "the oracle itself";
        }
    }
}

TEST_F(ChainTest, SilenceIntoAFreshEffectStaysExactlyZero) {
    const OracleParams cases[] = {
        oracleDefaults(),
        kExample3,
        paramsWith({{kMode, 0.9f}, {kResonance, 1.0f}, {kPreAmp, 1.0f}, {kEnv, 1.0f}}),
        paramsWith({{kMode, 0.3f}, {kCutoff, 0.0f}, {kDisto, 0.0f}, {kPostAmp, 1.0f}}),
        paramsWith({{kMode, 0.5f}, {kResonance, -1.0f}, {kDisto, kNaN}, {kShape, 2.0f}}),
    };
    for (const OracleParams& params : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << params.mode << " resonance " << params.values[kResonance]);
        auto fx = module->instantiate();
        apply(*fx, params);
        for (int block = 0; block < 3; ++block) {
            Stereo out = run(*fx, {Samples(100, 0.0f), Samples(100, 0.0f)});
            for (float v : out.left) ASSERT_EQ(v, 0.0f);
            for (float v : out.right) ASSERT_EQ(v, 0.0f);
        }
    }
}

TEST_F(ChainTest, ZeroOrNegativeFrameCountWritesNothingAndKeepsTheState) {
    std::mt19937 rng(7);
    const Stereo first{noise(rng, 64, 1.0f), noise(rng, 64, 1.0f)};
    const Stereo second{noise(rng, 64, 1.0f), noise(rng, 64, 1.0f)};
    auto reference = module->instantiate();
    apply(*effect, kExample3);
    apply(*reference, kExample3);
    run(*effect, first);
    run(*reference, first);
    for (VstInt32 frames : {0, -1, -64}) {
        SCOPED_TRACE(frames);
        Stereo in{Samples(8, 0.5f), Samples(8, 0.5f)};
        Stereo out{Samples(8, 42.0f), Samples(8, 42.0f)};
        float* ins[2] = {in.left.data(), in.right.data()};
        float* outs[2] = {out.left.data(), out.right.data()};
        effect->processReplacing(ins, outs, frames);
        for (float v : out.left) EXPECT_EQ(v, 42.0f);
        for (float v : out.right) EXPECT_EQ(v, 42.0f);
    }
    Stereo after = run(*effect, second);
    Stereo wanted = run(*reference, second);
    EXPECT_TRUE(sameBits(after.left, wanted.left));
    EXPECT_TRUE(sameBits(after.right, wanted.right));
}

TEST_F(ChainTest, InPlaceGivesTheSameBitsAsSeparateBuffers) {
    std::mt19937 rng(11);
    for (float mode : {0.1f, 0.3f, 0.5f, 0.7f, 0.9f}) {
        SCOPED_TRACE(mode);
        auto separate = module->instantiate();
        auto inPlace = module->instantiate();
        OracleParams params = kExample3;
        params.values[kMode] = mode;
        apply(*separate, params);
        apply(*inPlace, params);
        for (int block = 0; block < 4; ++block) {
            const Stereo in{noise(rng, 37, 1.5f), noise(rng, 37, 0.5f)};
            Stereo a = run(*separate, in);
            Stereo b = runInPlace(*inPlace, in);
            ASSERT_TRUE(sameBits(b.left, a.left));
            ASSERT_TRUE(sameBits(b.right, a.right));
        }
    }
}

TEST_F(ChainTest, ChannelsAreIndependent) {
    std::mt19937 rng(3);
    const Samples signal = noise(rng, 200, 1.0f);
    const Samples other = noise(rng, 200, 1.0f);
    const Samples silence(200, 0.0f);
    auto both = module->instantiate();
    auto leftOnly = module->instantiate();
    auto rightOnly = module->instantiate();
    auto different = module->instantiate();
    for (auto* fx : {both.get(), leftOnly.get(), rightOnly.get(), different.get()}) apply(*fx, kExample3);

    Stereo same = run(*both, {signal, signal});
    EXPECT_TRUE(sameBits(same.right, same.left));

    Stereo left = run(*leftOnly, {signal, silence});
    EXPECT_TRUE(sameBits(left.left, same.left));
    for (float v : left.right) ASSERT_EQ(v, 0.0f);

    Stereo right = run(*rightOnly, {silence, signal});
    EXPECT_TRUE(sameBits(right.right, same.left));
    for (float v : right.left) ASSERT_EQ(v, 0.0f);

    Stereo mixed = run(*different, {signal, other});
    EXPECT_TRUE(sameBits(mixed.left, same.left));
}

// The first channel's block is finished before the second begins: with the first output
// buffer being the second input, the second channel processes the first one's output.
TEST_F(ChainTest, TheFirstChannelIsFinishedBeforeTheSecondBegins) {
    std::mt19937 rng(37);
    apply(*effect, kExample3);
    Samples a = noise(rng, 50, 1.0f);
    Samples shared = noise(rng, 50, 1.0f);
    Samples c(50, 99.0f);
    float* ins[2] = {a.data(), shared.data()};
    float* outs[2] = {shared.data(), c.data()};
    effect->processReplacing(ins, outs, 50);

    OracleState left, right;
    const Samples firstOut = expected(kExample3, left, a);
    EXPECT_TRUE(sameBits(shared, firstOut));
    EXPECT_TRUE(sameBits(c, expected(kExample3, right, firstOut)));
}

// With Cutoff 0 and Env 0 the filter coefficient is 0: low and band stay 0 from a fresh state,
// so every sample shows the shaper's s (or 0, or -s) straight through the clipper. Pre Amp
// 0.125 makes g equal to the input; Disto 0.125 makes k 1.
TEST_F(ChainTest, CutoffZeroShowsTheShaperThroughEachOutput) {
    struct Case {
        const char* what;
        float mode;
        double sign;  // of s in the selected output
    };
    const Case cases[] = {
        {"Lp", 0.1f, 0.0}, {"Hp", 0.3f, 1.0}, {"Band", 0.5f, 0.0}, {"Notch", 0.7f, 1.0}, {"Peak", 0.9f, -1.0},
    };
    const Samples input = {0.3f, -0.7f, 1.2f, -1.5f, 0.05f, 2.5f};
    for (float resonance : {0.0f, 0.6f, 1.0f})
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.what << ", resonance " << resonance);
            auto fx = module->instantiate();
            apply(*fx, paramsWith({{kCutoff, 0.0f},
                                   {kEnv, 0.0f},
                                   {kResonance, resonance},
                                   {kMode, c.mode},
                                   {kPreAmp, 0.125f},
                                   {kShape, 0.0f},
                                   {kDisto, 0.125f},
                                   {kPostAmp, 1.0f}}));
            Stereo out = run(*fx, {input, input});
            for (std::size_t i = 0; i < input.size(); ++i) {
                const double y = c.sign * std::sin(static_cast<double>(input[i]));
                const double z = ((1 + std::fabs(y)) * y) / (y * y + 1);
                EXPECT_NEAR(out.left[i], z, 0.000001) << "sample " << i;
                if (c.sign == 0.0) {
                    EXPECT_EQ(out.left[i], 0.0f);
                }
            }
        }
}

// Hp with Cutoff 0 hands the clipper y = s = sin(input) (Pre Amp 0.125, Shape 0).
TEST_F(ChainTest, ClipperShapesAtDistoZeroAndOneEighth) {
    struct Case {
        float disto;
        double y;
        double z;
    };
    const Case cases[] = {
        {0.0f, 0.5, 1.0 / 3.0},   {0.0f, -0.5, -1.0 / 3.0}, {0.0f, 0.25, 0.0625 / 0.8125},
        {0.0f, 1.0, 1.0},         {0.0f, 0.0, 0.0},         {0.125f, 0.5, 0.6},
        {0.125f, -0.5, -0.6},     {0.125f, 0.25, 0.3125 / 1.0625}, {0.125f, -1.0, -1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "disto " << c.disto << ", y " << c.y);
        auto fx = module->instantiate();
        apply(*fx, paramsWith({{kCutoff, 0.0f},
                               {kMode, 0.3f},
                               {kPreAmp, 0.125f},
                               {kShape, 0.0f},
                               {kDisto, c.disto},
                               {kPostAmp, 1.0f}}));
        const float x = static_cast<float>(std::asin(c.y));
        Stereo out = run(*fx, {{x}, {x}});
        EXPECT_NEAR(out.left[0], c.z, 0.000001);
    }
}

// Peak with Cutoff 1 and Resonance 0 makes the first y of a fresh effect about 1.5 s, beyond the
// clipper's knee at 1; the clamp must give exactly ±Post Amp for every Disto.
TEST_F(ChainTest, BeyondTheKneeTheOutputIsExactlyPostAmp) {
    const float inputs[] = {kHalfPi, -kHalfPi, 1.0f, -1.0f};  // y ≈ ±1.5 and ±1.26
    for (float disto : {0.0f, 0.125f, 0.5f, 1.0f})
        for (float x : inputs) {
            SCOPED_TRACE(::testing::Message() << "disto " << disto << ", input " << x);
            auto fx = module->instantiate();
            apply(*fx, paramsWith({{kCutoff, 1.0f},
                                   {kResonance, 0.0f},
                                   {kMode, 0.9f},
                                   {kPreAmp, 0.125f},
                                   {kShape, 0.0f},
                                   {kDisto, disto},
                                   {kPostAmp, 0.8f}}));
            Stereo out = run(*fx, {{x}, {x}});
            EXPECT_EQ(bitsOf(out.left[0]), bitsOf(x > 0 ? 0.8f : -0.8f)) << out.left[0];
        }
}

TEST_F(ChainTest, DoubleReplacingCopiesBitForBitAndLeavesTheChainAlone) {
    auto reference = module->instantiate();
    std::mt19937 rng(5);
    const Stereo first{noise(rng, 32, 1.0f), noise(rng, 32, 1.0f)};
    const Stereo second{noise(rng, 32, 1.0f), noise(rng, 32, 1.0f)};
    run(*effect, first);
    run(*reference, first);

    std::uint64_t payloads[] = {0x7FF8000000012345u, 0xFFF0000000000000u, 0x8000000000000000u, 0x0000000000000001u,
                                0x7FEFFFFFFFFFFFFFu, 0x3FF0000000000000u, 0xBFD5555555555555u};
    constexpr int kFrames = 7;
    for (VstInt32 frames : {kFrames, 1, 0, -1}) {
        SCOPED_TRACE(frames);
        double left[kFrames], right[kFrames], outLeft[kFrames + 2], outRight[kFrames + 2];
        for (int i = 0; i < kFrames; ++i) {
            std::memcpy(&left[i], &payloads[i], 8);
            std::memcpy(&right[i], &payloads[kFrames - 1 - i], 8);
        }
        for (int i = 0; i < kFrames + 2; ++i) outLeft[i] = outRight[i] = 42.0;
        double* ins[2] = {left, right};
        double* outs[2] = {outLeft, outRight};
        effect->processDoubleReplacing(ins, outs, frames);
        for (int i = 0; i < kFrames + 2; ++i) {
            SCOPED_TRACE(i);
            if (i < frames) {
                EXPECT_EQ(std::memcmp(&outLeft[i], &left[i], 8), 0);
                EXPECT_EQ(std::memcmp(&outRight[i], &right[i], 8), 0);
            } else {
                EXPECT_EQ(outLeft[i], 42.0);
                EXPECT_EQ(outRight[i], 42.0);
            }
        }
    }
    Stereo after = run(*effect, second);
    Stereo wanted = run(*reference, second);
    EXPECT_TRUE(sameBits(after.left, wanted.left));
    EXPECT_TRUE(sameBits(after.right, wanted.right));
}

// A change made between two blocks shows from the first sample of the next block on, in both
// channels, and the second block differs from what the old value would have given.
TEST_F(ChainTest, AChangeBetweenBlocksTakesEffectAtTheNextBlock) {
    struct Case {
        const char* what;
        int index;
        float value;
    };
    const Case cases[] = {
        {"mode Lp to Hp", kMode, 0.3f},   {"mode Lp to Peak", kMode, 0.9f}, {"Pre Amp", kPreAmp, 0.7f},
        {"Shape", kShape, 1.0f},          {"Disto", kDisto, 0.9f},          {"Cutoff", kCutoff, 0.6f},
        {"Resonance", kResonance, 0.9f},  {"Env", kEnv, 1.0f},              {"Env Atk", kEnvAtk, 0.05f},
        {"Env Dec", kEnvDec, 0.9f},       {"Post Amp", kPostAmp, 0.3f},
    };
    std::mt19937 rng(13);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Stereo first{noise(rng, 48, 1.0f), noise(rng, 48, 1.0f)};
        const Stereo second{noise(rng, 48, 1.0f), noise(rng, 48, 1.0f)};
        OracleParams before = kExample3;
        OracleParams after = kExample3;
        after.values[c.index] = c.value;
        after.mode = filterModeFor(after.values[kMode]);

        auto fx = module->instantiate();
        apply(*fx, before);
        Stereo out1 = run(*fx, first);
        fx->setParameter(c.index, c.value);
        Stereo out2 = run(*fx, second);

        OracleState left, right;
        EXPECT_TRUE(sameBits(out1.left, expected(before, left, first.left)));
        EXPECT_TRUE(sameBits(out1.right, expected(before, right, first.right)));
        OracleState unchangedLeft = left;
        EXPECT_TRUE(sameBits(out2.left, expected(after, left, second.left)));
        EXPECT_TRUE(sameBits(out2.right, expected(after, right, second.right)));
        EXPECT_FALSE(sameBits(out2.left, expected(before, unchangedLeft, second.left)))
            << "the change made no difference";
    }
}

// NaN and infinite samples count as silence: the block equals the same block with 0 there, in
// that channel and later on.
TEST_F(ChainTest, NonFiniteInputSamplesCountAsSilence) {
    std::mt19937 rng(17);
    for (float bad : {kNaN, -kNaN, kInf, -kInf})
        for (float mode : {0.1f, 0.3f, 0.5f, 0.7f, 0.9f}) {
            SCOPED_TRACE(::testing::Message() << bad << ", mode " << mode);
            OracleParams params = kExample3;
            params.values[kMode] = mode;
            auto fx = module->instantiate();
            auto reference = module->instantiate();
            apply(*fx, params);
            apply(*reference, params);
            Stereo in{noise(rng, 32, 1.0f), noise(rng, 32, 1.0f)};
            Stereo zeroed = in;
            for (std::size_t i : {5u, 6u, 20u}) {
                in.left[i] = bad;
                zeroed.left[i] = 0.0f;
            }
            in.right[31] = bad;
            zeroed.right[31] = 0.0f;
            for (int block = 0; block < 3; ++block) {
                Stereo out = run(*fx, in);
                Stereo wanted = run(*reference, zeroed);
                ASSERT_TRUE(finiteWithin(out.left, 0.8f));
                ASSERT_TRUE(finiteWithin(out.right, 0.8f));
                ASSERT_TRUE(sameBits(out.left, wanted.left));
                ASSERT_TRUE(sameBits(out.right, wanted.right));
                in = zeroed = Stereo{noise(rng, 32, 1.0f), noise(rng, 32, 1.0f)};
            }
        }
}

// An input so large that the shaper's argument overflows makes s NaN and with it the filter.
// That sample comes out clamped; from the next sample on the channel runs as a fresh one would,
// and the other channel never notices.
TEST_F(ChainTest, AChannelWhoseFilterOverflowsStartsAgainFromSilence) {
    struct Case {
        const char* what;
        float preAmp;
        float spike;
    };
    const Case cases[] = {
        {"largest float, Pre Amp 0.5", 0.5f, FLT_MAX},
        {"minus largest float, Pre Amp 0.5", 0.5f, -FLT_MAX},
        {"1e38, Pre Amp 1", 1.0f, 1e38f},
        {"largest float, Pre Amp 0.125", 0.125f, FLT_MAX},  // only g × 2 overflows
    };
    std::mt19937 rng(19);
    constexpr std::size_t kAt = 9;
    for (const Case& c : cases)
        for (float mode : {0.1f, 0.3f, 0.5f, 0.7f, 0.9f}) {
            SCOPED_TRACE(::testing::Message() << c.what << ", mode " << mode);
            OracleParams params = kExample3;
            params.values[kPreAmp] = c.preAmp;
            params.values[kMode] = mode;
            auto fx = module->instantiate();
            auto fresh = module->instantiate();
            auto untouched = module->instantiate();
            for (auto* e : {fx.get(), fresh.get(), untouched.get()}) apply(*e, params);

            Stereo in{noise(rng, 40, 1.0f), noise(rng, 40, 1.0f)};
            in.left[kAt] = c.spike;
            Stereo out = run(*fx, in);
            ASSERT_TRUE(finiteWithin(out.left, 0.8f));
            EXPECT_EQ(out.left[kAt], -0.8f) << "a NaN before the clamp becomes -1";

            Samples rest(in.left.begin() + kAt + 1, in.left.end());
            Stereo restOut = run(*fresh, {rest, rest});
            EXPECT_TRUE(sameBits(Samples(out.left.begin() + kAt + 1, out.left.end()), restOut.left));
            EXPECT_TRUE(sameBits(out.right, run(*untouched, in).right));
        }
}

// The value that selects the same thing as an out-of-range one: the clamped value, and for Mode
// a value in range that gives the same filter mode.
float equivalentInRange(int index, float value) {
    if (index == kMode) {
        const float representative[] = {0.1f, 0.3f, 0.5f, 0.7f, 0.9f};
        return representative[filterModeFor(value)];
    }
    return oracleClampUnit(value);
}

TEST_F(ChainTest, OutOfRangeParametersAreStoredButUsedClamped) {
    std::mt19937 rng(23);
    for (int index = 0; index < kNumParams; ++index)
        for (float value : {-1.0f, 2.0f, 1e30f, kNaN, -kInf, kInf}) {
            SCOPED_TRACE(::testing::Message() << kParameters[index].name << " = " << value);
            OracleParams params = kExample3;
            params.values[kResonance] = 0.9f;  // near the edge of stability, where 2 would run away
            OracleParams inRange = params;
            params.values[index] = value;
            params.mode = filterModeFor(params.values[kMode]);
            inRange.values[index] = equivalentInRange(index, value);
            inRange.mode = filterModeFor(inRange.values[kMode]);

            auto fx = module->instantiate();
            auto reference = module->instantiate();
            apply(*fx, params);
            apply(*reference, inRange);
            EXPECT_EQ(bitsOf(fx->getParameter(index)), bitsOf(value)) << "stored as set";

            const float bound = oracleClampUnit(params.values[kPostAmp]);
            OracleState left, right;
            for (int block = 0; block < 4; ++block) {
                Stereo in{noise(rng, 300, 2.0f), noise(rng, 300, 0.01f)};
                in.left[17] = kNaN;
                Stereo out = run(*fx, in);
                ASSERT_TRUE(finiteWithin(out.left, bound));
                ASSERT_TRUE(finiteWithin(out.right, bound));
                ASSERT_TRUE(sameBits(out.left, run(*reference, in).left));
                ASSERT_TRUE(sameBits(out.left, expected(params, left, in.left)));
                ASSERT_TRUE(sameBits(out.right, expected(params, right, in.right)));
            }
            // Back in range, the channel carries on exactly as the oracle that lived through the same.
            fx->setParameter(index, kExample3.values[index]);
            Stereo in{noise(rng, 64, 1.0f), noise(rng, 64, 1.0f)};
            Stereo out = run(*fx, in);
            OracleParams back = params;
            back.values[index] = kExample3.values[index];
            back.mode = filterModeFor(back.values[kMode]);
            EXPECT_TRUE(sameBits(out.left, expected(back, left, in.left)));
            EXPECT_TRUE(sameBits(out.right, expected(back, right, in.right)));
        }
}

// Random parameters (now and then out of range), random block lengths, random signals with
// silences, spikes and non-finite samples, in place or not: every output bit as the oracle's.
TEST_F(ChainTest, RandomBlocksMatchTheOracleBitForBit) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const float oddValues[] = {-1.0f, 2.0f, 1e30f, kNaN, 0.0f, 1.0f, -0.0f, 0.99999994f, 1e-40f};
    const float oddSamples[] = {kNaN, kInf, -kInf, FLT_MAX, -FLT_MAX, 1e-40f, -1e-42f, 0.0f, -0.0f, 40.0f};
    for (int trial = 0; trial < 24; ++trial) {
        auto fx = module->instantiate();
        OracleParams params = oracleDefaults();
        OracleState left, right;
        for (int block = 0; block < 30; ++block) {
            SCOPED_TRACE(::testing::Message() << "trial " << trial << ", block " << block);
            const int changes = static_cast<int>(rng() % 4);
            for (int c = 0; c < changes; ++c) {
                const int index = static_cast<int>(rng() % kNumParams);
                params.values[index] = rng() % 8 == 0 ? oddValues[rng() % std::size(oddValues)] : unit(rng);
                fx->setParameter(index, params.values[index]);
            }
            params.mode = filterModeFor(params.values[kMode]);

            const std::size_t frames = rng() % 5 == 0 ? rng() % 3 : rng() % 700;
            const float amplitudes[] = {0.0f, 1e-6f, 0.3f, 1.0f, 4.0f};
            Stereo in{noise(rng, frames, amplitudes[rng() % 5]), noise(rng, frames, amplitudes[rng() % 5])};
            for (Samples* channel : {&in.left, &in.right})
                if (!channel->empty() && rng() % 4 == 0)
                    (*channel)[rng() % channel->size()] = oddSamples[rng() % std::size(oddSamples)];

            const Samples wantedLeft = expected(params, left, in.left);
            const Samples wantedRight = expected(params, right, in.right);
            Stereo out = rng() % 2 ? runInPlace(*fx, in) : run(*fx, in);
            ASSERT_TRUE(sameBits(out.left, wantedLeft));
            ASSERT_TRUE(sameBits(out.right, wantedRight));
            ASSERT_TRUE(finiteWithin(out.left, 1.0f));
            ASSERT_TRUE(finiteWithin(out.right, 1.0f));
        }
    }
}

// The C library's sine one unit in the last place above or below itself: what a last-bit
// difference between two sines can do at most, all of them in the same direction.
float sineUlpUp(float x) { return std::nextafter(std::sin(x), FLT_MAX); }
float sineUlpDown(float x) { return std::nextafter(std::sin(x), -FLT_MAX); }

// Against the oracle with the C library's sine, the module (which has a sine of its own) may
// differ only as much as a one-ulp change of that sine moves the oracle itself.
TEST_F(ChainTest, AgainstTheLibrarySineOnlyWhatOneUlpOfTheSineMakes) {
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int trial = 0; trial < 60; ++trial) {
        SCOPED_TRACE(::testing::Message() << "trial " << trial);
        OracleParams params = oracleDefaults();
        for (float& v : params.values) v = unit(rng);
        if (trial % 3 == 0) params.values[kResonance] = 1.0f;
        params.mode = filterModeFor(params.values[kMode]);
        auto fx = module->instantiate();
        apply(*fx, params);
        OracleState library[2], up[2], down[2];
        double floor[2] = {}, difference[2] = {};
        for (int block = 0; block < 4; ++block) {
            const std::size_t frames = 1 + rng() % 600;
            Stereo in{noise(rng, frames, 1.0f), noise(rng, frames, 1.0f)};
            const Stereo out = block % 2 ? runInPlace(*fx, in) : run(*fx, in);
            for (int c = 0; c < 2; ++c) {
                const Samples& input = c ? in.right : in.left;
                const Samples& output = c ? out.right : out.left;
                Samples withLibrary(frames), withUp(frames), withDown(frames);
                const int n = static_cast<int>(frames);
                oracleProcessFlushed(params, library[c], input.data(), withLibrary.data(), n);
                oracleProcessFlushed(params, up[c], input.data(), withUp.data(), n, sineUlpUp);
                oracleProcessFlushed(params, down[c], input.data(), withDown.data(), n, sineUlpDown);
                for (std::size_t i = 0; i < frames; ++i) {
                    floor[c] = std::max({floor[c], std::fabs(double{withUp[i]} - withLibrary[i]),
                                         std::fabs(double{withDown[i]} - withLibrary[i])});
                    difference[c] = std::max(difference[c], std::fabs(double{output[i]} - withLibrary[i]));
                }
            }
        }
        for (int c = 0; c < 2; ++c) EXPECT_LE(difference[c], 4.0 * floor[c]) << "channel " << c << ", floor " << floor[c];
    }
}

#if defined(__SSE2__) || defined(_M_X64)
// Whatever mode the caller is in, processReplacing hands it back unchanged, exception flags
// raised during the block included.
TEST_F(ChainTest, CallersFloatingPointModeIsRestored) {
    const unsigned callerModes[] = {
        0x1F80,           // the usual: all exceptions masked, round to nearest
        0x1F80 | 0x8040,  // caller flushes already
        0x1F80 | 0x6000,  // round toward zero
        0x1F80 | 0x0021,  // sticky invalid and inexact flags already raised
    };
    std::mt19937 rng(29);
    apply(*effect, kExample3);
    const unsigned saved = _mm_getcsr();
    for (unsigned mode : callerModes) {
        SCOPED_TRACE(::testing::Message() << std::hex << mode);
        Stereo in{noise(rng, 64, 1.0f), noise(rng, 64, 1.0f)};
        in.left[3] = kNaN;
        float* ins[2] = {in.left.data(), in.right.data()};
        Stereo out = in;
        float* outs[2] = {out.left.data(), out.right.data()};
        _mm_setcsr(mode);
        effect->processReplacing(ins, outs, 64);
        const unsigned after = _mm_getcsr();
        _mm_setcsr(saved);
        EXPECT_EQ(after, mode);
    }
}

// Subnormal input reads as zero, and a filter ringing out into silence reaches exactly 0 rather
// than lingering in subnormals; the plain oracle (caller's mode, no flushing) shows what that
// replaces.
TEST_F(ChainTest, SubnormalsAreFlushedToZero) {
    const OracleParams passThrough = paramsWith(
        {{kCutoff, 0.0f}, {kMode, 0.3f}, {kPreAmp, 0.125f}, {kShape, 0.0f}, {kDisto, 0.125f}, {kPostAmp, 1.0f}});
    const Samples tiny = {1e-39f, -3e-40f, 1e-45f};
    apply(*effect, passThrough);
    Stereo out = run(*effect, {tiny, tiny});
    OracleState state;
    Samples plain(tiny.size());
    oracleProcess(passThrough, state, tiny.data(), plain.data(), static_cast<int>(tiny.size()));
    for (std::size_t i = 0; i < tiny.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(out.left[i], 0.0f);
        EXPECT_NE(plain[i], 0.0f) << "unflushed, the input would show";
    }

    auto ringing = module->instantiate();
    const OracleParams resonant = paramsWith({{kCutoff, 0.05f}, {kResonance, 0.5f}, {kMode, 0.5f}});
    apply(*ringing, resonant);
    std::mt19937 rng(31);
    OracleState flushedState, plainState;
    const Samples burst = noise(rng, 256, 1.0f);
    run(*ringing, {burst, burst});
    expected(resonant, flushedState, burst);
    Samples scratch(burst.size());
    oracleProcess(resonant, plainState, burst.data(), scratch.data(), static_cast<int>(burst.size()));
    bool plainSubnormal = false;
    for (int block = 0; block < 100; ++block) {
        const Samples silence(512, 0.0f);
        Stereo silent = run(*ringing, {silence, silence});
        ASSERT_TRUE(sameBits(silent.left, expected(resonant, flushedState, silence)));
        for (float v : silent.left) ASSERT_NE(std::fpclassify(v), FP_SUBNORMAL);
        Samples plainOut(silence.size());
        oracleProcess(resonant, plainState, silence.data(), plainOut.data(), static_cast<int>(silence.size()));
        plainSubnormal = plainSubnormal || std::fpclassify(plainState.band) == FP_SUBNORMAL ||
                         std::fpclassify(plainState.low) == FP_SUBNORMAL;
    }
    EXPECT_TRUE(plainSubnormal) << "the ring-out never reached the subnormals: the test shows nothing";
}
#endif

}  // namespace
