#include "validator.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace validate {
namespace {

Options theOptions;
Totals* shared = nullptr;
std::mt19937_64 generator;
std::unique_ptr<vsthost::Module> loaded;

void line(const char* verdict, const std::string& check, const std::string& detail) {
    std::printf("%-4s  %s%s%s\n", verdict, check.c_str(), detail.empty() ? "" : ": ", detail.c_str());
    std::fflush(stdout);
}

// What the validator answers to the module's calls: the interface version, the current
// rate and block size, and 0 (not supported) for the rest.
struct HostAnswer {
    std::shared_ptr<Config> config;
    VstIntPtr operator()(const vsthost::CallbackCall& call) const {
        switch (call.opcode) {
            case audioMasterVersion: return 2400;
            case audioMasterGetSampleRate: return static_cast<VstIntPtr>(config->sampleRate);
            case audioMasterGetBlockSize: return config->blockSize;
            default: return 0;
        }
    }
};

}  // namespace

Totals& totals() { return *shared; }
const Options& options() { return theOptions; }
std::mt19937_64& rng() { return generator; }

void pass(const std::string& check, const std::string& detail) {
    ++shared->passed;
    line("PASS", check, detail);
}

void warn(const std::string& check, const std::string& detail) {
    ++shared->warned;
    line("WARN", check, detail);
}

void fail(const std::string& check, const std::string& detail) {
    ++shared->failed;
    line("FAIL", check, detail);
}

void problem(const std::string& check, const std::string& detail, int level) {
    if (theOptions.strictness >= level) fail(check, detail);
    else if (level >= kNeverFails) warn(check, detail);
    else warn(check, detail + format(" (fails at strictness %d and above)", level));
}

void step(const std::string& what) {
    std::snprintf(shared->step, sizeof shared->step, "%s", what.c_str());
}

std::string format(const char* fmt, ...) {
    char text[1024];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}

bool runIsolated(const char* group, const std::function<void()>& body, std::string* abnormal) {
    step("starting");
    if (!theOptions.isolate) {
        body();
        return true;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child < 0) {
        fail(group, "cannot start a child process");
        return false;
    }
    if (child == 0) {
        alarm(static_cast<unsigned>(theOptions.timeoutSeconds));
        body();
        std::fflush(stdout);
        loaded.reset();
        std::exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    std::string how;
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
        how = format("timed out after %d s", theOptions.timeoutSeconds);
    else if (WIFSIGNALED(status))
        how = format("crashed (%s)", strsignal(WTERMSIG(status)));
    else
        how = format("ended with status %d (a sanitizer or memory checker report is above)", WEXITSTATUS(status));
    if (abnormal) *abnormal = how;
    else fail(group, how + " while: " + shared->step);
    return false;
}

vsthost::Module& module() { return *loaded; }

bool useModule(std::string& error) {
    loaded = vsthost::Module::load(theOptions.module, error);
    return loaded != nullptr;
}

std::unique_ptr<vsthost::Effect> startEffect(const Config& config) {
    auto current = std::make_shared<Config>(config);
    auto effect = loaded->instantiate(HostAnswer{current});
    if (!effect) return nullptr;
    effect->open();
    effect->setSampleRate(config.sampleRate);
    effect->setBlockSize(config.blockSize);
    effect->mainsChanged(true);
    return effect;
}

void reconfigure(vsthost::Effect& effect, const Config& config) {
    effect.setAnswer(HostAnswer{std::make_shared<Config>(config)});
    effect.mainsChanged(false);
    effect.setSampleRate(config.sampleRate);
    effect.setBlockSize(config.blockSize);
    effect.mainsChanged(true);
}

std::vector<std::vector<float>> parameterSets(int numParams) {
    std::mt19937_64 local(theOptions.seed * 7919 + 17);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<std::vector<float>> sets(1);
    for (int set = 0; set < 3; ++set) {
        sets.emplace_back();
        for (int i = 0; i < std::min(numParams, 4096); ++i) sets.back().push_back(unit(local));
    }
    return sets;
}

void applyParameters(vsthost::Effect& effect, const std::vector<float>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) effect.setParameter(static_cast<VstInt32>(i), values[i]);
}

Audio::Audio(int channels, int frames, float value) : frames_(frames) {
    // Room behind the frames for a module that processes a whole announced block when given
    // fewer frames: checks meant for other things go on, and the guarded checks catch it.
    for (int c = 0; c < channels; ++c) data_.emplace_back(static_cast<std::size_t>(frames) + 8192 + 64, value);
    pointers_.resize(static_cast<std::size_t>(channels > 0 ? channels : 1), nullptr);
}

float** Audio::at(int offset) {
    for (std::size_t c = 0; c < data_.size(); ++c) pointers_[c] = data_[c].data() + offset;
    return pointers_.data();
}

const char* signalName(Signal signal) {
    switch (signal) {
        case Signal::Silence: return "silence";
        case Signal::Noise: return "noise";
        case Signal::Sine: return "sine";
        case Signal::Impulse: return "impulse";
        case Signal::Square: return "square";
    }
    return "?";
}

void generate(Audio& audio, Signal signal, float sampleRate) {
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (int c = 0; c < audio.channels(); ++c) {
        float* x = audio.channel(c);
        for (int i = 0; i < audio.frames(); ++i) {
            const double t = i / static_cast<double>(sampleRate);
            switch (signal) {
                case Signal::Silence: x[i] = 0.0f; break;
                case Signal::Noise: x[i] = uniform(generator); break;
                case Signal::Sine: x[i] = static_cast<float>(std::sin(2.0 * M_PI * 997.0 * t)); break;
                case Signal::Impulse: x[i] = i == 0 ? 1.0f : 0.0f; break;
                case Signal::Square: x[i] = std::fmod(t * 100.0, 1.0) < 0.5 ? 1.0f : -1.0f; break;
            }
        }
    }
}

void processAll(vsthost::Effect& effect, Audio& in, Audio& out, int blockSize) {
    for (int at = 0; at < out.frames(); at += blockSize) {
        const int frames = std::min(blockSize, out.frames() - at);
        effect.processReplacing(in.at(at), out.at(at), frames);
    }
}

void Scan::add(const Audio& audio, long from, long to) {
    if (to < 0) to = audio.frames();
    for (int c = 0; c < audio.channels(); ++c) {
        const float* y = audio.channel(c);
        for (long i = from; i < to; ++i) {
            const float v = y[i];
            if (!std::isfinite(v)) {
                if (firstNonFinite < 0 || i < firstNonFinite) firstNonFinite = i;
                continue;
            }
            if (std::fpclassify(v) == FP_SUBNORMAL && (firstSubnormal < 0 || i < firstSubnormal)) firstSubnormal = i;
            peak = std::max(peak, std::fabs(v));
        }
    }
}

}  // namespace validate

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: morvex-validate [--strictness 1..10] [--seed S] [--repeat N] [--no-fork] [--timeout S] "
                 "MODULE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace validate;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--strictness" && hasValue) theOptions.strictness = std::atoi(argv[++i]);
        else if (arg == "--seed" && hasValue) theOptions.seed = std::strtoull(argv[++i], nullptr, 0);
        else if (arg == "--repeat" && hasValue) theOptions.repeat = std::atoi(argv[++i]);
        else if (arg == "--timeout" && hasValue) theOptions.timeoutSeconds = std::atoi(argv[++i]);
        else if (arg == "--no-fork") theOptions.isolate = false;
        else if (!arg.empty() && arg[0] != '-' && theOptions.module.empty()) theOptions.module = arg;
        else return usage();
    }
    if (theOptions.module.empty() || theOptions.strictness < 1 || theOptions.strictness > 10 ||
        theOptions.repeat < 1)
        return usage();

    void* memory = mmap(nullptr, sizeof(Totals), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return 2;
    shared = new (memory) Totals();

    std::printf("morvex-validate %s (strictness %d, seed %llu)\n", theOptions.module.c_str(), theOptions.strictness,
                static_cast<unsigned long long>(theOptions.seed));
    const std::pair<const char*, void (*)()> groups[] = {
        {"lifecycle", checkLifecycle}, {"audio", checkAudio},       {"parameters", checkParameters},
        {"dispatcher", checkDispatcher}, {"realtime", checkRealtime}, {"cpu", checkCpu},
    };
    for (int round = 0; round < theOptions.repeat; ++round) {
        if (theOptions.repeat > 1) std::printf("round %d of %d\n", round + 1, theOptions.repeat);
        shared->moduleUsable = false;  // stays so if loading crashes
        runIsolated("loading", [] { shared->moduleUsable = checkLoading(); });
        if (!shared->moduleUsable) break;
        for (const auto& [name, run] : groups) {
            generator.seed(theOptions.seed + static_cast<std::uint64_t>(round));
            // The sweep isolates each stretch of opcodes itself, to carry on past a crash.
            if (run == checkDispatcher) {
                run();
                continue;
            }
            runIsolated(name, [&, name = name, run = run] {
                std::string error;
                if (!useModule(error)) {
                    fail(name, error);
                    return;
                }
                run();
            });
        }
    }
    std::printf("summary: %d passed, %d warnings, %d failed (strictness %d, seed %llu): %s\n", shared->passed,
                shared->warned, shared->failed, theOptions.strictness, static_cast<unsigned long long>(theOptions.seed),
                shared->failed ? "FAILED" : "ok");
    return shared->failed ? 1 : 0;
}
