// Unit tests of the Morvex class: parameters, filter mode, program name, entry point.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "effect/morvex.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback host);

// Counts heap allocations made by this test program, the linked-in effect included.
static std::atomic<long> allocations{0};
void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++allocations;
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

VstIntPtr VSTCALLBACK hostAnsweringZero(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 0; }
VstIntPtr VSTCALLBACK hostAnsweringOne(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) { return 1; }

TEST(EntryPoint, HostAnsweringZeroToTheVersionQueryGetsNothing) {
    long before = allocations.load();
    EXPECT_EQ(VSTPluginMain(hostAnsweringZero), nullptr);
    EXPECT_EQ(allocations.load(), before);
    EXPECT_EQ(VSTPluginMain(nullptr), nullptr);  // no host to ask: refuse rather than crash
}

TEST(EntryPoint, AnyNonZeroVersionGetsARecord) {
    AEffect* record = VSTPluginMain(hostAnsweringOne);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->magic, kEffectMagic);
    EXPECT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f), 1);
}

TEST(MorvexParameters, DefaultsAreTheTableValues) {
    Morvex effect(nullptr);
    const std::uint32_t bits[kNumParams] = {0x3E4CCCCD, 0, 0x3DCCCCCD, 0x3F800000, 0,
                                            0,          0, 0x3F800000, 0x3F733333, 0x3F000000};
    for (VstInt32 i = 0; i < kNumParams; ++i) {
        SCOPED_TRACE(kParameters[i].name);
        float value = effect.getParameter(i);
        std::uint32_t valueBits;
        std::memcpy(&valueBits, &value, 4);
        EXPECT_EQ(valueBits, bits[i]);
    }
    EXPECT_EQ(effect.getParameter(kNumParams), 0.0f);
    EXPECT_EQ(effect.getFilterMode(), kFilterLp);
}

TEST(MorvexParameters, ValuesAreStoredUnclampedAndBadIndexesIgnored) {
    Morvex effect(nullptr);
    effect.setParameter(kCutoff, 2.5f);
    EXPECT_EQ(effect.getParameter(kCutoff), 2.5f);
    effect.setParameter(kShape, NAN);
    EXPECT_TRUE(std::isnan(effect.getParameter(kShape)));
    effect.setParameter(10, 0.5f);
    effect.setParameter(-1, 0.5f);
    EXPECT_EQ(effect.getParameter(-1), 0.0f);
    EXPECT_EQ(effect.getParameter(10), 0.0f);
    for (VstInt32 i = 0; i < kNumParams; ++i)
        if (i != kCutoff && i != kShape) {
            EXPECT_EQ(effect.getParameter(i), kParameters[i].defaultValue) << i;
        }
}

TEST(MorvexParameters, ModeValueSelectsFilterModeByThreshold) {
    struct Case {
        float value;
        FilterMode mode;
    };
    const Case cases[] = {
        {0.19999999f, kFilterLp}, {-0.5f, kFilterLp},       {0.2f, kFilterHp},          {0.39999998f, kFilterHp},
        {0.4f, kFilterBand},      {0.6f, kFilterNotch},     {0.79999995f, kFilterNotch}, {0.8f, kFilterPeak},
        {1.0f, kFilterPeak},      {7.0f, kFilterPeak},      {NAN, kFilterPeak},         {-INFINITY, kFilterLp},
    };
    Morvex effect(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        effect.setParameter(kMode, c.value);
        EXPECT_EQ(effect.getFilterMode(), c.mode);
        if (!std::isnan(c.value)) {
            EXPECT_EQ(effect.getParameter(kMode), c.value);  // the raw value stays
        }
    }
}

TEST(MorvexProgram, NameIsBoundedTo24CharactersWith25BytesWritten) {
    Morvex effect(nullptr);
    char name[40];
    std::memset(name, 'x', sizeof(name));
    effect.getProgramName(name);
    EXPECT_STREQ(name, "Default");
    for (int i = 7; i <= 24; ++i) EXPECT_EQ(name[i], '\0') << i;
    EXPECT_EQ(name[25], 'x');

    char longName[] = "abcdefghijklmnopqrstuvwxyz0123";  // 30 characters
    effect.setProgramName(longName);
    std::memset(name, 'x', sizeof(name));
    effect.getProgramName(name);
    EXPECT_EQ(std::string(name), "abcdefghijklmnopqrstuvwx");
    EXPECT_EQ(name[25], 'x');

    effect.setProgram(0);
    EXPECT_EQ(effect.getProgram(), 0);
    EXPECT_EQ(std::string(name), "abcdefghijklmnopqrstuvwx");
}

TEST(MorvexChain, ProcessingAllocatesNothing) {
    Morvex effect(nullptr);
    float left[64] = {0.5f}, right[64] = {NAN};
    float* io[2] = {left, right};
    double dleft[8] = {}, dright[8] = {};
    double* dio[2] = {dleft, dright};
    long before = allocations.load();
    effect.processReplacing(io, io, 64);
    effect.processReplacing(io, io, 0);
    effect.processDoubleReplacing(dio, dio, 8);
    EXPECT_EQ(allocations.load(), before);
}

}  // namespace
