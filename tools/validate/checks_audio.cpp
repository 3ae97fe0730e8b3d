// What comes out for the signals hosts send, and where the module reads and writes.
#include <cfloat>
#include <cmath>
#include <algorithm>
#include <cstring>
#include <limits>

#include "guarded_memory.h"
#include "validator.h"

namespace validate {
namespace {

const float kSampleRates[] = {22050.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 176400.0f, 192000.0f};
const int kBlockSizes[] = {1, 7, 32, 64, 127, 256, 441, 512, 1024, 2048, 4096, 8192};
const Signal kSignals[] = {Signal::Noise, Signal::Sine, Signal::Impulse, Signal::Square};
constexpr float kBound = 16.0f;  // +24 dBFS: well beyond what a full-scale test signal should become

// Output that follows one bad block: every sample from the block on must be finite, and a
// second later the output must match that of a twin that got zeros instead of the bad
// values (a state that latched the bad values never does).
// A module that passes bad input through as it comes fails only at `levelDuring`; one whose
// later output is still affected fails at `levelAfter`.
void checkBadInput(const char* check, const char* recoverCheck, const float* values, int count, int levelDuring,
                   int levelAfter) {
    auto effect = startEffect();
    auto twin = startEffect();
    auto third = startEffect();
    AEffect* record = effect->record();
    const int block = 256, blocks = 200, frames = block * blocks;
    Audio in(record->numInputs, frames), clean(record->numInputs, frames);
    Audio out(record->numOutputs, frames), twinOut(record->numOutputs, frames), thirdOut(record->numOutputs, frames);
    generate(in, Signal::Noise, 44100.0f);
    const int badBlock = 4, spacing = block / count;
    for (int c = 0; c < in.channels(); ++c) {
        std::copy(in.channel(c), in.channel(c) + frames, clean.channel(c));
        for (int i = 0; i < count; ++i) {
            in.channel(c)[badBlock * block + i * spacing] = values[i];
            clean.channel(c)[badBlock * block + i * spacing] = 0.0f;
        }
    }
    step(check);
    processAll(*effect, in, out, block);
    processAll(*twin, clean, twinOut, block);
    processAll(*third, clean, thirdOut, block);
    Scan during, after;
    during.add(out, badBlock * block, (badBlock + 1) * block);
    after.add(out, (badBlock + 1) * block);
    if (after.firstNonFinite >= 0)
        problem(check, format("non-finite output %ld frames after the bad block", after.firstNonFinite - (badBlock + 1) * block),
                levelAfter);
    else if (during.firstNonFinite >= 0)
        problem(check, format("non-finite output in the bad block from its frame %ld on, finite after it",
                              during.firstNonFinite - badBlock * block),
                levelDuring);
    else
        pass(check, format("finite output in the bad block and the %d blocks after it", blocks - badBlock - 1));

    auto largestDifference = [&](const Audio& a, const Audio& b) {
        double worst = 0.0, peak = 0.0;
        for (int c = 0; c < a.channels(); ++c)
            for (int i = frames - 11025; i < frames; ++i) {
                const double d = std::fabs(static_cast<double>(a.channel(c)[i]) - b.channel(c)[i]);
                worst = std::isnan(d) ? INFINITY : std::max(worst, d);
                peak = std::max(peak, std::fabs(static_cast<double>(b.channel(c)[i])));
            }
        return std::make_pair(worst, peak);
    };
    if (largestDifference(twinOut, thirdOut).first > 1e-6) {
        pass(recoverCheck, "not compared: the output for the same input is not repeatable");
        return;
    }
    const auto [worst, peak] = largestDifference(out, twinOut);
    if (worst > 1e-3 * std::max(1.0, peak))
        problem(recoverCheck,
                format("a second later the output still differs by %g from an effect that never got them (state latched)",
                       worst),
                levelAfter);
    else
        pass(recoverCheck, "a second later the output matches an effect that never got them");
}

}  // namespace

void checkAudio() {
    {
        const char* check = "audio: silence in gives silence out";
        step(check);
        auto effect = startEffect();
        AEffect* record = effect->record();
        Audio in(record->numInputs, 88200), out(record->numOutputs, 88200);
        processAll(*effect, in, out, 512);
        Scan scan;
        scan.add(out);
        if (scan.firstNonFinite >= 0) fail(check, "non-finite output");
        else if (scan.peak > 1e-5f) problem(check, format("peak %g from a fresh effect", scan.peak), 3);
        else pass(check, scan.peak == 0.0f ? "exactly zero" : format("peak %g", scan.peak));
    }
    {
        const char* check = "audio: output decays after a burst";
        step(check);
        auto effect = startEffect();
        AEffect* record = effect->record();
        const int frames = 44100 * 4;
        Audio in(record->numInputs, frames), out(record->numOutputs, frames);
        generate(in, Signal::Noise, 44100.0f);
        for (int c = 0; c < in.channels(); ++c) std::fill(in.channel(c) + 4410, in.channel(c) + frames, 0.0f);
        processAll(*effect, in, out, 512);
        Scan tail;
        tail.add(out, frames - 22050);
        if (tail.firstNonFinite >= 0) fail(check, "non-finite output in the silence");
        else if (tail.peak > 1e-4f)
            problem(check, format("peak %g after 3.5 s of silence", tail.peak), 3);
        else pass(check, format("peak %g after 3.5 s of silence", tail.peak));
    }
    {
        step("audio: test signals");
        Scan all;
        std::string firstBad, firstLoud, firstSubnormal;
        int runs = 0;
        for (float rate : kSampleRates)
            for (int block : kBlockSizes) {
                auto effect = startEffect(Config{rate, block});
                AEffect* record = effect->record();
                const int frames = std::max(block * 3, 8192);
                Audio in(record->numInputs, frames), out(record->numOutputs, frames);
                for (Signal signal : kSignals) {
                    step(format("audio: %s at %.0f Hz in blocks of %d", signalName(signal), rate, block));
                    generate(in, signal, rate);
                    processAll(*effect, in, out, block);
                    Scan scan;
                    scan.add(out);
                    ++runs;
                    const std::string where = format("%s at %.0f Hz in blocks of %d", signalName(signal), rate, block);
                    if (scan.firstNonFinite >= 0 && firstBad.empty())
                        firstBad = where + format(", frame %ld", scan.firstNonFinite);
                    if (scan.peak > kBound && firstLoud.empty()) firstLoud = where + format(", peak %g", scan.peak);
                    if (scan.firstSubnormal >= 0 && firstSubnormal.empty())
                        firstSubnormal = where + format(", frame %ld", scan.firstSubnormal);
                    all.peak = std::max(all.peak, scan.peak);
                }
            }
        // Decays are where subnormal numbers appear: a burst, then silence, for each parameter set.
        int setNumber = 0;
        for (const auto& values : parameterSets(module().instantiate()->record()->numParams)) {
            step(format("audio: decay after a burst with parameter set %d", setNumber));
            auto effect = startEffect();
            applyParameters(*effect, values);
            AEffect* record = effect->record();
            const int frames = 44100 * 2;
            Audio in(record->numInputs, frames), out(record->numOutputs, frames);
            generate(in, Signal::Noise, 44100.0f);
            for (int c = 0; c < in.channels(); ++c) std::fill(in.channel(c) + 4410, in.channel(c) + frames, 0.0f);
            processAll(*effect, in, out, 512);
            Scan scan;
            scan.add(out);
            if (scan.firstSubnormal >= 0 && firstSubnormal.empty())
                firstSubnormal = format("decay after a burst with %s, frame %ld",
                                        setNumber ? format("random parameter set %d", setNumber).c_str() : "the defaults",
                                        scan.firstSubnormal);
            ++setNumber;
        }
        const std::string what = format("%d runs: noise, sine, impulse, square at 7 rates and %zu block sizes", runs,
                                        std::size(kBlockSizes));
        if (firstBad.empty()) pass("audio: output finite", what);
        else fail("audio: output finite", "not a number or infinite: " + firstBad);
        if (firstLoud.empty()) pass("audio: output bounded", format("peak %g", all.peak));
        else problem("audio: output bounded", format("beyond %g: ", kBound) + firstLoud, 3);
        if (firstSubnormal.empty()) pass("audio: no subnormal output", "");
        else problem("audio: no subnormal output", firstSubnormal, 6);
    }
    {
        const float huge[] = {1e30f, -1e30f, FLT_MAX, -FLT_MAX, 1e20f, 3e38f};
        checkBadInput("audio: huge input values", "audio: recovers from huge input values", huge, 6, 5, 5);
        const float inf = std::numeric_limits<float>::infinity();
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float nonFinite[] = {nan, inf, -inf, -nan};
        checkBadInput("audio: NaN and infinite input values", "audio: recovers from NaN and infinite input values",
                      nonFinite, 4, 7, 5);
    }
    {
        const char* check = "audio: in-place processing matches separate buffers";
        step(check);
        auto separate = startEffect();
        auto inPlace = startEffect();
        AEffect* record = separate->record();
        const int block = 256, frames = 256 * 64;
        Audio in(record->numInputs, frames), out(record->numOutputs, frames);
        generate(in, Signal::Noise, 44100.0f);
        processAll(*separate, in, out, block);
        // The same input, with each output buffer also serving as the input of its channel.
        const int shared = std::min(record->numInputs, record->numOutputs);
        Audio work(record->numOutputs, frames), extra(record->numInputs, frames);
        for (int c = 0; c < record->numInputs; ++c)
            std::memcpy(c < shared ? work.channel(c) : extra.channel(c), in.channel(c), sizeof(float) * frames);
        std::vector<float*> inputs(std::max(1, record->numInputs)), outputs(std::max(1, record->numOutputs));
        double worst = 0.0;
        for (int at = 0; at < frames; at += block) {
            for (int c = 0; c < record->numInputs; ++c) inputs[c] = (c < shared ? work.channel(c) : extra.channel(c)) + at;
            for (int c = 0; c < record->numOutputs; ++c) outputs[c] = work.channel(c) + at;
            inPlace->processReplacing(inputs.data(), outputs.data(), block);
        }
        for (int c = 0; c < record->numOutputs; ++c)
            for (int i = 0; i < frames; ++i)
                worst = std::max(worst, static_cast<double>(std::fabs(work.channel(c)[i] - out.channel(c)[i])));
        if (!(worst <= 1e-6)) problem(check, format("outputs differ by up to %g", worst), 4);
        else pass(check, worst == 0.0 ? "identical" : format("within %g", worst));
    }
    {
        const char* check = "audio: reads and writes only the given frames";
        auto effect = startEffect(Config{44100.0f, 1024});
        AEffect* record = effect->record();
        GuardedChannels in(record->numInputs, 1024), out(record->numOutputs, 1024);
        std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
        std::string canaryDamage, inputDamage;
        const int sizes[] = {1, 2, 7, 64, 333, 512, 1000, 1024};
        for (int frames : sizes)
            for (int placement = 0; placement < 3; ++placement) {
                step(format("%s: %d frames %s (a fault here is an access beyond them)", check, frames,
                            placement == 0 ? "against the following page" : placement == 1 ? "right after a page" : "between canaries"));
                float** inputs = placement == 0 ? in.atEnd(frames) : in.atStart(frames);
                std::vector<std::vector<float>> original(record->numInputs);
                for (int c = 0; c < record->numInputs; ++c) {
                    for (int f = 0; f < frames; ++f) inputs[c][f] = noise(rng());
                    original[c].assign(inputs[c], inputs[c] + frames);
                }
                if (placement < 2) {
                    effect->processReplacing(inputs, placement == 0 ? out.atEnd(frames) : out.atStart(frames), frames);
                } else {
                    CanaryChannels canaries(record->numOutputs, frames);
                    effect->processReplacing(inputs, canaries.pointers(), frames);
                    int channel = 0, offset = 0;
                    if (canaries.damaged(channel, offset) && canaryDamage.empty())
                        canaryDamage = format("output %d written at frame %d of a %d-frame block", channel, offset, frames);
                }
                for (int c = 0; c < record->numInputs && inputDamage.empty(); ++c)
                    if (std::memcmp(original[c].data(), inputs[c], sizeof(float) * frames) != 0)
                        inputDamage = format("input %d changed in a %d-frame block", c, frames);
            }
        if (canaryDamage.empty()) pass(check, "guard pages before and after the frames, canaries around outputs");
        else fail(check, canaryDamage);
        if (inputDamage.empty()) pass("audio: input buffers left unchanged", "");
        else problem("audio: input buffers left unchanged", inputDamage, 3);
    }
}

}  // namespace validate
