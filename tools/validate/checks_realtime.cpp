// The audio path and the parameter calls: no allocation, no lock, no stall on subnormals.
#include <algorithm>
#include <chrono>

#include "rt_watch.h"
#include "validator.h"

namespace validate {

void checkRealtime() {
    const char* processCheck = "realtime: processReplacing allocates nothing and takes no lock";
    const char* parameterCheck = "realtime: setParameter and getParameter allocate nothing and take no lock";
    if (!rtwatch::interposerActive()) {
        const char* why = "not watched: something else replaced the allocator of this process (valgrind?)";
        warn(processCheck, why);
        warn(parameterCheck, why);
        return;
    }
    auto effect = startEffect(Config{44100.0f, 256});
    AEffect* record = effect->record();
    const int params = std::min(record->numParams, 512);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> index(0, std::max(0, params - 1));
    Audio in(record->numInputs, 256), out(record->numOutputs, 256);
    generate(in, Signal::Noise, 44100.0f);
    // The first calls on a thread may bind symbols lazily and set up thread-local storage;
    // hosts warm up the same way, so those calls are not held against the module.
    step(processCheck);
    effect->processReplacing(in.at(0), out.at(0), 256);
    for (int i = 0; i < params; ++i) effect->setParameter(i, effect->getParameter(i));

    rtwatch::Counts inProcess, inParameters;
    for (int block = 0; block < 400; ++block) {
        if (params > 0) {
            const int i = index(rng());
            const float value = unit(rng());
            rtwatch::Scope scope;
            effect->setParameter(i, value);
            (void)effect->getParameter(i);
            const auto counts = scope.counts();
            if (counts.total() && !inParameters.total()) inParameters = counts;
        }
        rtwatch::Scope scope;
        effect->processReplacing(in.at(0), out.at(0), block % 2 ? 256 : 1 + block % 255);
        const auto counts = scope.counts();
        if (counts.total() && !inProcess.total()) inProcess = counts;
    }
    if (inProcess.total()) problem(processCheck, "one block made: " + inProcess.describe(), 4);
    else pass(processCheck, "400 blocks with parameter changes between them");
    if (params == 0) pass(parameterCheck, "no parameters");
    else if (inParameters.total()) problem(parameterCheck, "one change made: " + inParameters.describe(), 4);
    else pass(parameterCheck, "400 changes");
}

void checkCpu() {
    const char* check = "cpu: silence after a loud burst costs no more than noise";
    step(check);
    using Clock = std::chrono::steady_clock;
    const int block = 512, blocks = 44100 * 3 / 512;
    auto timeRun = [&](bool burstThenSilence, const std::vector<float>& values) {
        auto effect = startEffect(Config{44100.0f, block});
        applyParameters(*effect, values);
        AEffect* record = effect->record();
        Audio in(record->numInputs, block * blocks), out(record->numOutputs, block * blocks);
        generate(in, Signal::Noise, 44100.0f);
        if (burstThenSilence)
            for (int c = 0; c < in.channels(); ++c) {
                float* x = in.channel(c);
                for (int i = 0; i < in.frames(); ++i) x[i] = i < 4096 ? (x[i] < 0 ? -1.0f : 1.0f) : 0.0f;
            }
        // Only the part after the burst is timed, the same span for both inputs.
        for (int at = 0; at < 4096; at += block) effect->processReplacing(in.at(at), out.at(at), block);
        const auto start = Clock::now();
        for (int at = 4096; at + block <= in.frames(); at += block) effect->processReplacing(in.at(at), out.at(at), block);
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    // The fastest of three runs of each, to keep other processes out of the comparison; the
    // worst parameter set counts.
    double factor = 0.0;
    int worstSet = 0, setNumber = 0;
    for (const auto& values : parameterSets(module().instantiate()->record()->numParams)) {
        double noise = 1e9, silence = 1e9;
        for (int round = 0; round < 3; ++round) {
            noise = std::min(noise, timeRun(false, values));
            silence = std::min(silence, timeRun(true, values));
        }
        if (silence / std::max(noise, 1e-9) > factor) {
            factor = silence / std::max(noise, 1e-9);
            worstSet = setNumber;
        }
        ++setNumber;
    }
    const double generous = 10.0;
    const std::string detail = format("silence after the burst takes %.2f times as long as noise (%s)", factor,
                                      worstSet ? format("random parameter set %d", worstSet).c_str() : "defaults");
    if (factor > generous) problem(check, detail + format(", beyond %.0f", generous), 3);
    else pass(check, detail);
}

}  // namespace validate
