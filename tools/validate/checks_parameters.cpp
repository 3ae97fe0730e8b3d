// Parameter values, their texts, automation and a second thread setting them.
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "validator.h"

namespace validate {
namespace {

constexpr int kHostText = 64;                          // what hosts give for parameter texts
constexpr int kDocumentedText = kVstMaxParamStrLen + 1;  // what the interface promises
constexpr int kMaxSwept = 512;                         // parameters looked at one by one

int sweptParams(AEffect* record) { return std::min(record->numParams, kMaxSwept); }

// One text read the way hosts read them, twice: into a zeroed buffer (what hosts hand over)
// and into one filled with 'x' (to see the terminator), each followed by canary bytes.
struct TextResult {
    int written = 0;       // bytes up to and including the last one changed
    bool terminated = true;
};

TextResult readText(vsthost::Effect& effect, VstInt32 opcode, VstInt32 index) {
    TextResult result;
    for (char fill : {'\0', 'x'}) {
        unsigned char buffer[kHostText + 256];
        std::memset(buffer, fill, kHostText);
        std::memset(buffer + kHostText, 0xA5, sizeof buffer - kHostText);
        effect.dispatch(opcode, index, 0, buffer);
        for (int i = sizeof buffer - 1; i >= 0; --i)
            if (buffer[i] != (i < kHostText ? static_cast<unsigned char>(fill) : 0xA5)) {
                result.written = std::max(result.written, i + 1);
                break;
            }
        if (fill == 'x' && buffer[0] != 'x' && !std::memchr(buffer, 0, kHostText)) result.terminated = false;
    }
    return result;
}

struct TextFindings {
    std::string overrun, unterminated, long_;
    int longest = 0;
    void check(vsthost::Effect& effect, VstInt32 index) {
        const std::pair<VstInt32, const char*> kinds[] = {
            {effGetParamName, "name"}, {effGetParamLabel, "label"}, {effGetParamDisplay, "display"}};
        for (const auto& [opcode, what] : kinds) {
            const TextResult text = readText(effect, opcode, index);
            const std::string where = format("parameter %d %s", index, what);
            if (text.written > kHostText && overrun.empty()) overrun = where + format(" wrote %d bytes", text.written);
            if (!text.terminated && unterminated.empty()) unterminated = where;
            if (text.written > kDocumentedText && text.written > longest) {
                longest = text.written;
                long_ = where + format(" wrote %d bytes", text.written);
            }
        }
    }
};

bool processFinite(vsthost::Effect& effect, int frames, int blockSize = 512) {
    AEffect* record = effect.record();
    Audio in(record->numInputs, frames), out(record->numOutputs, frames);
    generate(in, Signal::Noise, 44100.0f);
    processAll(effect, in, out, blockSize);
    Scan scan;
    scan.add(out);
    return scan.firstNonFinite < 0;
}

}  // namespace

void checkParameters() {
    auto effect = startEffect();
    AEffect* record = effect->record();
    const int params = sweptParams(record);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    TextFindings texts;
    for (int i = 0; i < params; ++i) texts.check(*effect, i);
    {
        const char* check = "parameters: random values in 0..1 read back";
        const int perParameter = 2 + options().strictness * 2;
        std::string mismatch;
        for (int i = 0; i < params; ++i)
            for (int n = 0; n < perParameter; ++n) {
                const float value = unit(rng());
                step(format("%s: parameter %d = %g", check, i, value));
                effect->setParameter(i, value);
                const float back = effect->getParameter(i);
                if (!(std::fabs(back - value) <= 1e-5f) && mismatch.empty())
                    mismatch = format("parameter %d set to %.9g reads %.9g", i, value, back);
                if (n == 0) texts.check(*effect, i);
            }
        if (mismatch.empty()) pass(check, format("%d values for each of %d parameters", perParameter, params));
        else problem(check, mismatch, 6);
    }
    {
        const char* check = "parameters: edge values 0 and 1 read back";
        std::string mismatch;
        for (int i = 0; i < params; ++i)
            for (float value : {0.0f, 1.0f}) {
                step(format("%s: parameter %d = %g", check, i, value));
                effect->setParameter(i, value);
                const float back = effect->getParameter(i);
                if (back != value && mismatch.empty()) mismatch = format("parameter %d set to %g reads %.9g", i, value, back);
                texts.check(*effect, i);
                if (!processFinite(*effect, 512) && mismatch.empty())
                    mismatch = format("non-finite output with parameter %d at %g", i, value);
            }
        if (mismatch.empty()) pass(check, "");
        else problem(check, mismatch, 6);
    }
    {
        const char* check = "parameters: values -1, 2 and NaN";
        const float nan = std::numeric_limits<float>::quiet_NaN();
        std::string bad;
        for (int i = 0; i < params; ++i) {
            const float before = effect->getParameter(i);
            for (float value : {-1.0f, 2.0f, nan}) {
                step(format("%s: parameter %d = %g", check, i, value));
                effect->setParameter(i, value);
                (void)effect->getParameter(i);
                texts.check(*effect, i);
                if (!processFinite(*effect, 1024) && bad.empty())
                    bad = format("non-finite output with parameter %d at %g", i, value);
            }
            effect->setParameter(i, before);
            if (!processFinite(*effect, 4096) && bad.empty())
                bad = format("non-finite output after parameter %d went back to %g", i, before);
        }
        if (bad.empty()) pass(check, "accepted, output stays finite");
        else problem(check, bad, 7);
    }
    {
        const char* check = "parameters: texts terminated within 64 bytes";
        if (!texts.overrun.empty()) fail(check, texts.overrun);
        else if (!texts.unterminated.empty()) fail(check, texts.unterminated + " has no terminating zero within 64 bytes");
        else pass(check, "names, labels and displays at defaults, random and edge values");
        if (!texts.long_.empty())
            problem("parameters: texts within the documented 8 characters",
                    texts.long_ + "; hosts that give only 9 bytes would be overrun", kNeverFails);
        else
            pass("parameters: texts within the documented 8 characters", "");
    }
    {
        const char* check = "parameters: random automation in 32-sample sub-blocks";
        step(check);
        auto automated = startEffect();
        const int frames = 44100 * 2;
        Audio in(record->numInputs, frames), out(record->numOutputs, frames);
        generate(in, Signal::Noise, 44100.0f);
        std::uniform_int_distribution<int> index(0, std::max(0, params - 1));
        for (int at = 0; at < frames; at += 32) {
            if (params > 0) automated->setParameter(index(rng()), unit(rng()));
            automated->processReplacing(in.at(at), out.at(at), std::min(32, frames - at));
        }
        Scan scan;
        scan.add(out);
        if (scan.firstNonFinite >= 0) fail(check, format("non-finite output from frame %ld", scan.firstNonFinite));
        else if (scan.peak > 16.0f) problem(check, format("peak %g", scan.peak), 3);
        else pass(check, format("2 s, peak %g", scan.peak));
    }
    {
        const char* check = "parameters: set from a second thread while processing";
        step(check);
        auto shared = startEffect(Config{44100.0f, 64});
        std::atomic<bool> stop{false};
        std::atomic<long> changes{0};
        const std::uint64_t seed = rng()();
        std::thread ui([&] {
            std::mt19937_64 local(seed);
            std::uniform_int_distribution<int> index(0, std::max(0, params - 1));
            std::uniform_real_distribution<float> value(0.0f, 1.0f);
            char text[kHostText];
            while (!stop.load(std::memory_order_relaxed)) {
                if (params == 0) break;
                const int i = index(local);
                shared->setParameter(i, value(local));
                (void)shared->getParameter(i);
                std::memset(text, 0, sizeof text);
                shared->dispatch(effGetParamDisplay, i, 0, text);
                changes.fetch_add(1, std::memory_order_relaxed);
            }
        });
        const int frames = 44100;
        Audio in(record->numInputs, frames), out(record->numOutputs, frames);
        generate(in, Signal::Noise, 44100.0f);
        processAll(*shared, in, out, 64);
        stop = true;
        ui.join();
        Scan scan;
        scan.add(out);
        if (scan.firstNonFinite >= 0) fail(check, format("non-finite output from frame %ld", scan.firstNonFinite));
        else pass(check, format("%ld changes during %d blocks", changes.load(), frames / 64));
    }
}

}  // namespace validate
