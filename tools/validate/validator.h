// Shared pieces of morvex-validate: options, the report, the isolated runner and the
// helpers that drive an effect the way a host does.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/vst_host.h"

namespace validate {

struct Options {
    int strictness = 5;
    std::uint64_t seed = 1;
    int repeat = 1;
    bool isolate = true;  // run each group of checks in a child process
    int timeoutSeconds = 900;
    std::string module;
};

// A check that finds a problem fails at strictness `level` and above and warns below it.
// kNeverFails marks findings that only ever warn.
constexpr int kAlways = 1;
constexpr int kNeverFails = 11;

// Counters live in memory shared with the child processes that run the checks.
struct Totals {
    int passed = 0;
    int warned = 0;
    int failed = 0;
    bool moduleUsable = true;
    char step[256] = {};  // what the running child is doing, for the crash report
    int sweepOpcode = 0;  // dispatcher sweep: the opcode being sent
};
Totals& totals();

void pass(const std::string& check, const std::string& detail);
void warn(const std::string& check, const std::string& detail);
void fail(const std::string& check, const std::string& detail);
// A finding: FAIL at strictness >= level, WARN below.
void problem(const std::string& check, const std::string& detail, int level);
void step(const std::string& what);

// Runs `body` in a child process (unless isolation is off) and reports a crash, a sanitizer
// abort or a time-out as a failure of `group`, or only describes it in `abnormal` when
// given. Returns true when the body ended normally.
bool runIsolated(const char* group, const std::function<void()>& body, std::string* abnormal = nullptr);

const Options& options();
std::mt19937_64& rng();

// Host side of one session: the loaded module and what the host answers.
vsthost::Module& module();
bool useModule(std::string& error);  // loads the module for this process

struct Config {
    float sampleRate = 44100.0f;
    int blockSize = 512;
};

// Instantiated, opened, given rate and block size, resumed: what hosts do before audio.
std::unique_ptr<vsthost::Effect> startEffect(const Config& config = {});
void reconfigure(vsthost::Effect& effect, const Config& config);

// The parameter sets the audio and CPU checks try: the module's defaults (an empty set),
// then random values for every parameter, the same for every effect of one run.
std::vector<std::vector<float>> parameterSets(int numParams);
void applyParameters(vsthost::Effect& effect, const std::vector<float>& values);

// Multichannel audio owned by the validator.
class Audio {
public:
    Audio(int channels, int frames, float value = 0.0f);
    int channels() const { return static_cast<int>(data_.size()); }
    int frames() const { return frames_; }
    float* channel(int c) { return data_[c].data(); }
    const float* channel(int c) const { return data_[c].data(); }
    // Pointers to every channel starting at `offset`; never empty, so that a module with no
    // channels on one side still gets a valid array.
    float** at(int offset);

private:
    int frames_;
    std::vector<std::vector<float>> data_;
    std::vector<float*> pointers_;
};

enum class Signal { Silence, Noise, Sine, Impulse, Square };
const char* signalName(Signal signal);
void generate(Audio& audio, Signal signal, float sampleRate);

// Processes `in` into `out` block by block with processReplacing.
void processAll(vsthost::Effect& effect, Audio& in, Audio& out, int blockSize);

struct Scan {
    long firstNonFinite = -1;
    long firstSubnormal = -1;
    float peak = 0.0f;
    void add(const Audio& audio, long from = 0, long to = -1);
};

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The groups of checks.
bool checkLoading();
void checkLifecycle();
void checkAudio();
void checkParameters();
void checkDispatcher();
void checkRealtime();
void checkCpu();

}  // namespace validate
