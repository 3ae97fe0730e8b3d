// Loading the module and the host's lifecycle calls.
#include <algorithm>
#include <cmath>

#include "guarded_memory.h"

#include "module_file.h"
#include "validator.h"

namespace validate {
namespace {

const float kSampleRates[] = {22050.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 176400.0f, 192000.0f};
const int kBlockSizes[] = {1, 2, 3, 7, 16, 31, 64, 100, 128, 257, 512, 1000, 1024, 2048, 4096, 8192};

bool finite(const Audio& audio) {
    Scan scan;
    scan.add(audio);
    return scan.firstNonFinite < 0;
}

// A few blocks of noise; false if the output is not finite.
bool processNoise(vsthost::Effect& effect, int blockSize, int blocks) {
    AEffect* record = effect.record();
    Audio in(record->numInputs, blockSize * blocks), out(record->numOutputs, blockSize * blocks);
    generate(in, Signal::Noise, 44100.0f);
    processAll(effect, in, out, blockSize);
    return finite(out);
}

}  // namespace

bool checkLoading() {
    const std::string& path = options().module;
    step("reading " + path);
    const ModuleFile file = readModuleFile(path);
    if (!file.readable) {
        warn("load: exported symbols", "cannot read the file: " + file.error);
    } else {
        std::vector<std::string> others;
        for (const auto& name : file.exports)
            if (name != "VSTPluginMain" && name != "main") others.push_back(name);
        if (others.empty()) {
            pass("load: exported symbols", "only the entry points");
        } else {
            std::string list;
            for (std::size_t i = 0; i < others.size() && i < 5; ++i) list += (i ? ", " : "") + others[i];
            if (others.size() > 5) list += ", ...";
            problem("load: exported symbols",
                    format("%zu besides the entry points (%s); they may clash with the host's", others.size(),
                           list.c_str()),
                    kNeverFails);
        }
        const std::string newest = newestGlibc(file.glibcVersions);
        pass("load: C library symbol versions",
             newest.empty() ? "none required" : format("newest required is %s", newest.c_str()));
    }

    step("loading " + path);
    std::string error;
    if (!useModule(error)) {
        fail("load: module loads", error);
        return false;
    }
    pass("load: module loads", "");
    pass("load: entry point", std::string(module().entryPointName()) +
                                  (std::string(module().entryPointName()) == "main" ? " (older name only)" : ""));
    step("calling the entry point");
    auto effect = module().instantiate();
    if (!effect) {
        fail("load: entry point returns an effect", "it returned null");
        return false;
    }
    AEffect* record = effect->record();
    if (record->magic != kEffectMagic) {
        fail("load: record magic", format("0x%08X instead of 'VstP'", static_cast<unsigned>(record->magic)));
        return false;
    }
    pass("load: record magic", "'VstP'");
    const bool sane = record->numInputs >= 0 && record->numInputs <= 64 && record->numOutputs >= 1 &&
                      record->numOutputs <= 64 && record->numParams >= 0 && record->numParams <= 100000 &&
                      record->numPrograms >= 0 && record->numPrograms <= 100000;
    const std::string counts = format("%d in, %d out, %d parameters, %d programs", record->numInputs,
                                      record->numOutputs, record->numParams, record->numPrograms);
    if (sane) pass("load: channel and parameter counts", counts);
    else fail("load: channel and parameter counts", counts);
    const bool functions = record->dispatcher && record->processReplacing && record->setParameter &&
                           record->getParameter;
    if (!functions) {
        fail("load: record functions", "dispatcher, processReplacing, setParameter or getParameter is null");
        return false;
    }
    if (!(record->flags & effFlagsCanReplacing))
        problem("load: record functions", "effFlagsCanReplacing is not set", 3);
    else
        pass("load: record functions", format("flags 0x%X", static_cast<unsigned>(record->flags)));
    return sane;
}

void checkLifecycle() {
    {
        const char* check = "lifecycle: open and close 100 times";
        int failures = 0;
        for (int i = 0; i < 100; ++i) {
            step(format("%s, round %d", check, i));
            auto effect = startEffect();
            if (!effect) {
                ++failures;
                continue;
            }
            if (!processNoise(*effect, 64, 1)) ++failures;
            effect->mainsChanged(false);
            effect->close();
        }
        if (failures) fail(check, format("%d of 100 rounds gave no effect or non-finite output", failures));
        else pass(check, "");
    }
    {
        const char* check = "lifecycle: effClose right after creation";
        step(check);
        for (int i = 0; i < 10; ++i) {
            auto effect = module().instantiate();
            if (effect) effect->close();
        }
        pass(check, "");
    }
    {
        const char* check = "lifecycle: two instances side by side";
        step(check);
        auto first = startEffect();
        auto second = startEffect();
        bool ok = first && second;
        for (int i = 0; ok && i < 20; ++i) ok = processNoise(*first, 128, 1) && processNoise(*second, 128, 1);
        if (ok) {
            first->close();
            ok = processNoise(*second, 128, 8);
        }
        if (ok) pass(check, "closing one leaves the other working");
        else fail(check, "an instance was missing or gave non-finite output");
    }
    {
        const char* check = "lifecycle: suspend and resume repeated";
        step(check);
        auto effect = startEffect();
        bool ok = effect != nullptr;
        for (int i = 0; ok && i < 50; ++i) {
            effect->mainsChanged(false);
            if (i % 5 == 0) effect->mainsChanged(false);
            effect->mainsChanged(true);
            if (i % 7 == 0) effect->mainsChanged(true);
            ok = processNoise(*effect, 256, 1);
        }
        if (ok) pass(check, "50 times, some calls repeated");
        else fail(check, "non-finite output after resume");
    }
    {
        const char* check = "lifecycle: sample rates and block sizes";
        auto effect = startEffect();
        std::string bad;
        for (float rate : kSampleRates)
            for (int block : kBlockSizes) {
                step(format("%s: %.0f Hz, %d frames", check, rate, block));
                reconfigure(*effect, Config{rate, block});
                if (!processNoise(*effect, block, block < 64 ? 16 : 2) && bad.empty())
                    bad = format("non-finite output at %.0f Hz with %d frames", rate, block);
            }
        effect->mainsChanged(false);
        if (bad.empty())
            pass(check, format("%zu rates from 22050 to 192000 Hz, %zu block sizes from 1 to 8192",
                               std::size(kSampleRates), std::size(kBlockSizes)));
        else
            fail(check, bad);
    }
    {
        const char* check = "lifecycle: blocks smaller than announced";
        auto effect = startEffect(Config{48000.0f, 1024});
        AEffect* record = effect->record();
        // The frames end where inaccessible memory begins: processing the announced size
        // instead of the given one faults.
        GuardedChannels in(record->numInputs, 1024), out(record->numOutputs, 1024);
        std::uniform_int_distribution<int> size(0, 1024);
        std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
        std::string bad;
        for (int i = 0; i < 300; ++i) {
            const int frames = i < 3 ? i : size(rng());
            step(format("%s: %d of 1024 frames (a fault here is an access beyond them)", check, frames));
            float** inputs = in.atEnd(frames);
            float** outputs = out.atEnd(frames);
            for (int c = 0; c < record->numInputs; ++c)
                for (int f = 0; f < frames; ++f) inputs[c][f] = noise(rng());
            effect->processReplacing(inputs, outputs, frames);
            for (int c = 0; c < record->numOutputs; ++c)
                for (int f = 0; f < frames; ++f)
                    if (!std::isfinite(outputs[c][f]) && bad.empty())
                        bad = format("non-finite output with %d frames", frames);
        }
        if (bad.empty()) pass(check, "300 blocks of 0 to 1024 frames after announcing 1024");
        else fail(check, bad);
    }
}

}  // namespace validate
