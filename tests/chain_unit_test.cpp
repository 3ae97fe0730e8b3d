// The chain's per-channel state, read from the effect object between samples: the envelope,
// the coefficients, and what silence, empty blocks and overflows leave behind.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <initializer_list>
#include <random>
#include <utility>
#include <vector>

#include "effect/morvex.h"

namespace {

void set(Morvex& effect, std::initializer_list<std::pair<int, float>> values) {
    for (const auto& [index, value] : values) effect.setParameter(index, value);
}

// One frame, the same sample in both channels.
void step(Morvex& effect, float x) {
    float left = x, right = x;
    float* ins[2] = {&left, &right};
    float outLeft, outRight;
    float* outs[2] = {&outLeft, &outRight};
    effect.processReplacing(ins, outs, 1);
}

void process(Morvex& effect, std::vector<float> left, std::vector<float> right) {
    float* io[2] = {left.data(), right.data()};
    effect.processReplacing(io, io, static_cast<VstInt32>(left.size()));
}

std::vector<float> fields(const ChannelState& st) {
    return {st.envelope, st.notch, st.low, st.high, st.band, st.peak};
}

TEST(ChainState, WorkedEnvelopeAndCoefficients) {
    Morvex example1(nullptr);
    step(example1, 0.5f);
    EXPECT_NEAR(example1.channelState(0).envelope, 0.5, 0.000002);
    EXPECT_NEAR(example1.channelState(0).cutoffCoef, 1.414214, 0.000002);
    EXPECT_NEAR(example1.channelState(0).damping, 0.707107, 0.000002);

    Morvex example2(nullptr);
    set(example2, {{kCutoff, 0.25f}, {kResonance, 0.5f}});
    for (float x : {0.5f, 0.0f, 0.0f, 0.0f}) {
        step(example2, x);
        EXPECT_NEAR(example2.channelState(0).cutoffCoef, 0.390181, 0.000002);
        EXPECT_NEAR(example2.channelState(0).damping, 0.318207, 0.000002);
    }

    struct Row {
        float input, envelope, cutoffCoef;
    };
    const Row rows[] = {
        {0.5f, 0.250000f, 0.542881f}, {-0.25f, 0.250000f, 0.542881f}, {0.75f, 0.500000f, 0.907981f},
        {0.0f, 0.450000f, 0.837320f}, {-1.0f, 0.725000f, 1.207112f},  {0.3f, 0.682500f, 1.153221f},
        {0.1f, 0.624250f, 1.077284f}, {0.0f, 0.561825f, 0.993406f},
    };
    Morvex example3(nullptr);
    set(example3, {{kPreAmp, 0.3f}, {kShape, 0.5f}, {kDisto, 0.5f}, {kCutoff, 0.1f}, {kResonance, 0.3f},
                   {kEnv, 0.5f}, {kEnvAtk, 0.5f}, {kEnvDec, 0.1f}, {kPostAmp, 0.8f}});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        step(example3, row.input);
        for (int channel = 0; channel < 2; ++channel) {
            const ChannelState& st = example3.channelState(channel);
            EXPECT_NEAR(st.envelope, row.envelope, 0.000002);
            EXPECT_NEAR(st.cutoffCoef, row.cutoffCoef, 0.000002);
            EXPECT_NEAR(st.damping, 0.519834, 0.000002);
        }
    }
}

TEST(ChainState, CoefficientsAtTheCutoffExtremes) {
    struct Case {
        const char* what;
        float cutoff, resonance;
        float cutoffCoef;
        float damping;  // a negative number means "at most its absolute value"
    };
    const Case cases[] = {
        {"cutoff 0, resonance 0", 0.0f, 0.0f, 0.0f, 2.0f},
        {"cutoff 0, resonance 0.5", 0.0f, 0.5f, 0.0f, 0.3182072f},  // (1 − 0.5^¼) × 2
        {"cutoff 0, resonance 1", 0.0f, 1.0f, 0.0f, 0.0f},
        {"cutoff 1, resonance 0", 1.0f, 0.0f, 1.4142135f, -0.7071068f},
        {"cutoff 1, resonance 0.3", 1.0f, 0.3f, 1.4142135f, -0.7071068f},
        {"cutoff 1, resonance 1", 1.0f, 1.0f, 1.4142135f, 0.0f},
        {"cutoff 0.5, resonance 0", 0.5f, 0.0f, 0.7653669f, 2.0f},
        {"cutoff 0.25, resonance 1", 0.25f, 1.0f, 0.3901806f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Morvex effect(nullptr);
        set(effect, {{kCutoff, c.cutoff}, {kResonance, c.resonance}, {kEnv, 0.0f}});
        step(effect, 0.3f);
        const ChannelState& st = effect.channelState(0);
        EXPECT_NEAR(st.cutoffCoef, c.cutoffCoef, 0.0000002);
        if (c.damping >= 0) {
            EXPECT_NEAR(st.damping, c.damping, 0.0000002);
        } else {
            EXPECT_LE(st.damping, -c.damping);
        }
        if (c.cutoff == 0.0f) {
            EXPECT_EQ(st.low, 0.0f);  // nothing integrates
            EXPECT_EQ(st.band, 0.0f);
        }
    }
}

TEST(ChainState, EnvelopeFollowsAttackAndDecay) {
    struct Case {
        const char* what;
        float attack, decay;
        std::vector<float> input;
        std::vector<float> envelope;
    };
    const Case cases[] = {
        {"attack 0 never rises", 0.0f, 0.5f, {0.5f, -1.0f, 0.25f}, {0.0f, 0.0f, 0.0f}},
        {"attack and decay 1 follow |x|", 1.0f, 1.0f, {0.5f, -1.0f, 0.25f, 0.0f}, {0.5f, 1.0f, 0.25f, 0.0f}},
        {"decay 0 never falls", 1.0f, 0.0f, {0.5f, 0.0f, -0.75f, 0.25f}, {0.5f, 0.5f, 0.75f, 0.75f}},
        {"half way each sample", 0.5f, 0.5f, {1.0f, 1.0f, 0.0f}, {0.5f, 0.75f, 0.375f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Morvex effect(nullptr);
        set(effect, {{kEnvAtk, c.attack}, {kEnvDec, c.decay}});
        for (std::size_t i = 0; i < c.input.size(); ++i) {
            step(effect, c.input[i]);
            EXPECT_EQ(effect.channelState(0).envelope, c.envelope[i]) << "sample " << i;
        }
    }
}

TEST(ChainState, SilenceAndEmptyBlocksLeaveTheStateAlone) {
    Morvex silent(nullptr);
    set(silent, {{kResonance, 1.0f}, {kEnv, 1.0f}, {kPreAmp, 1.0f}});
    process(silent, std::vector<float>(500, 0.0f), std::vector<float>(500, 0.0f));
    for (int channel = 0; channel < 2; ++channel)
        for (float v : fields(silent.channelState(channel))) EXPECT_EQ(v, 0.0f);

    Morvex busy(nullptr);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> left(64), right(64);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = dist(rng);
        right[i] = dist(rng);
    }
    process(busy, left, right);
    const auto before0 = fields(busy.channelState(0));
    const auto before1 = fields(busy.channelState(1));
    for (VstInt32 frames : {0, -1}) {
        float* io[2] = {left.data(), right.data()};
        busy.processReplacing(io, io, frames);
    }
    busy.setParameter(kCutoff, 0.1f);
    busy.suspend();
    busy.resume();
    EXPECT_EQ(fields(busy.channelState(0)), before0);
    EXPECT_EQ(fields(busy.channelState(1)), before1);
}

TEST(ChainState, AnOverflowedFilterRestartsAtZero) {
    Morvex effect(nullptr);
    set(effect, {{kPreAmp, 1.0f}, {kEnv, 1.0f}, {kResonance, 0.7f}});
    process(effect, {0.5f, -0.3f, 0.9f}, {0.5f, -0.3f, 0.9f});
    process(effect, {FLT_MAX}, {0.25f});
    for (float v : fields(effect.channelState(0))) EXPECT_EQ(v, 0.0f);
    for (float v : fields(effect.channelState(1))) EXPECT_TRUE(std::isfinite(v));
    EXPECT_NE(effect.channelState(1).envelope, 0.0f);
}

// With flushing, a filter ringing out into silence never holds a subnormal. (It may come to rest
// near the smallest normal number instead, once its updates flush to zero: harmless and cheap.)
TEST(ChainState, RingingOutLeavesNoSubnormalsInTheState) {
#if !(defined(__SSE2__) || defined(_M_X64))
    GTEST_SKIP() << "no flush-to-zero mode on this processor";
#endif
    Morvex effect(nullptr);
    set(effect, {{kCutoff, 0.05f}, {kResonance, 0.5f}, {kMode, 0.5f}, {kEnvDec, 0.5f}});
    process(effect, {1.0f, -1.0f, 1.0f, -1.0f}, {0.7f, 0.2f, -0.9f, 0.0f});
    for (int i = 0; i < 40000; ++i) {
        step(effect, 0.0f);
        for (int channel = 0; channel < 2; ++channel)
            for (float v : fields(effect.channelState(channel))) ASSERT_NE(std::fpclassify(v), FP_SUBNORMAL) << i;
    }
}

}  // namespace
