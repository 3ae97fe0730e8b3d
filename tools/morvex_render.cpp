// morvex-render: an offline host for VST 2.4 modules with two inputs and two outputs. It
// renders a sound file (or a synthesised bass line) through a module, or prints what the
// module reports. Morvex is the default module; any other can be given with --plugin.
#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "host/vst_host.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;

constexpr long kDefaultBlock = 512;
constexpr long kMaxBlock = 65536;
constexpr double kMaxTailSeconds = 3600.0;
// Renders shorter than this finish before a progress bar would tell anything.
constexpr double kProgressAfterSeconds = 5.0;
constexpr int kDemoRate = 44100;

const char kUsage[] =
    "usage: morvex-render [--plugin PATH] [--set NAME=VALUE]... [--block N] [--tail SECONDS]\n"
    "                     [--format float|pcm16|pcm24] INPUT OUTPUT\n"
    "       morvex-render [--plugin PATH] [--set NAME=VALUE]... --info\n"
    "       morvex-render [--plugin PATH] [--set NAME=VALUE]... [--block N] [--tail SECONDS]\n"
    "                     [--format ...] --demo OUTPUT\n"
    "\n"
    "NAME is a parameter's name as the module reports it (any case) or its index; VALUE is\n"
    "0..1. The output's type follows its extension (.wav, .aiff, .flac, .caf, ...).\n";

// Thrown to main, which prints the one-line message and exits with the status; everything
// on the way (temporary output, effect, module) is cleaned up by its owner.
struct Failure {
    int status;
    std::string message;
};
[[noreturn]] void usageError(std::string message) { throw Failure{kUsageError, std::move(message)}; }
[[noreturn]] void failure(std::string message) { throw Failure{kFailure, std::move(message)}; }

std::string quoted(const std::string& text) { return "'" + text + "'"; }

std::string counted(long count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// The handler removes the temporary output, so an interrupt never leaves a partial file;
// the rest of the program changes these only with the signals blocked.
char gTempPath[4096];
volatile sig_atomic_t gTempExists = 0;
volatile sig_atomic_t gProgressShown = 0;

extern "C" void onInterrupt(int signal) {
    if (gTempExists) unlink(gTempPath);
    static const char message[] = "morvex-render: interrupted, no output written\n";
    if (gProgressShown) (void)!write(STDERR_FILENO, "\n", 1);
    (void)!write(STDERR_FILENO, message, sizeof(message) - 1);
    std::signal(signal, SIG_DFL);
    raise(signal);
}

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : kInterrupts) sigaction(signal, &action, nullptr);
}

class InterruptsBlocked {
public:
    InterruptsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        for (int signal : kInterrupts) sigaddset(&set, signal);
        sigprocmask(SIG_BLOCK, &set, &previous_);
    }
    ~InterruptsBlocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

private:
    sigset_t previous_;
};

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Where the finished output goes: OUTPUT itself, or the file it links to, so that a link
// keeps pointing at the new result.
struct OutputTarget {
    std::string path;
    mode_t mode;
};

OutputTarget outputTarget(const std::string& output, const struct stat* input) {
    struct stat existing {};
    if (stat(output.c_str(), &existing) != 0) {
        const mode_t mask = umask(0);
        umask(mask);
        return {output, static_cast<mode_t>(0666 & ~mask)};
    }
    if (S_ISDIR(existing.st_mode)) usageError(output + ": is a directory; OUTPUT must be a file name");
    if (input && existing.st_dev == input->st_dev && existing.st_ino == input->st_ino)
        usageError(output + ": is the input file itself; morvex-render never overwrites its input");
    char* real = realpath(output.c_str(), nullptr);
    std::string path = real ? real : output;
    std::free(real);
    return {path, static_cast<mode_t>(existing.st_mode & 07777)};
}

// A temporary file beside the output, renamed onto it only when complete and removed in
// every other case.
class TemporaryOutput {
public:
    explicit TemporaryOutput(const OutputTarget& target) : target_(target) {
        std::string pattern = directoryOf(target.path) + "/." + baseNameOf(target.path) + ".XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (name.size() > sizeof(gTempPath)) failure(target.path + ": path too long");
        InterruptsBlocked blocked;
        fd_ = mkstemp(name.data());
        if (fd_ < 0)
            failure("cannot create a temporary file in " + directoryOf(target.path) + ": " + std::strerror(errno));
        std::memcpy(gTempPath, name.data(), name.size());
        gTempExists = 1;
        path_ = name.data();
    }
    ~TemporaryOutput() {
        if (fd_ >= 0) close(fd_);
        if (!path_.empty()) {
            InterruptsBlocked blocked;
            unlink(path_.c_str());
            gTempExists = 0;
        }
    }
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    int fd() const { return fd_; }

    void commit() {
        if (fchmod(fd_, target_.mode) != 0 || fsync(fd_) != 0 || close(fd_) != 0) {
            fd_ = -1;
            failure("cannot write " + path_ + ": " + std::strerror(errno));
        }
        fd_ = -1;
        InterruptsBlocked blocked;
        if (rename(path_.c_str(), target_.path.c_str()) != 0)
            failure("cannot rename " + path_ + " to " + target_.path + ": " + std::strerror(errno));
        gTempExists = 0;
        path_.clear();
    }

private:
    OutputTarget target_;
    std::string path_;
    int fd_ = -1;
};

// The container follows OUTPUT's extension; the sample format is --format, or float where
// the container holds it.
int outputFormat(const std::string& output, const std::string& sampleFormat) {
    const std::string base = baseNameOf(output);
    const auto dot = base.find_last_of('.');
    if (dot == std::string::npos || dot + 1 == base.size())
        usageError(output + ": no extension to choose the file type from (.wav, .aiff, .flac, ...)");
    std::string extension = lowered(base.substr(dot + 1));
    if (extension == "aif") extension = "aiff";

    int major = 0;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof(count));
    for (int i = 0; i < count && major == 0; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof(info));
        if (info.extension && extension == info.extension) major = info.format;
    }
    if (major == 0) usageError(output + ": unknown file type ." + extension + " (use .wav, .aiff, .flac, ...)");

    const std::pair<const char*, int> subtypes[] = {
        {"float", SF_FORMAT_FLOAT}, {"pcm24", SF_FORMAT_PCM_24}, {"pcm16", SF_FORMAT_PCM_16}};
    for (const auto& [name, subtype] : subtypes) {
        if (!sampleFormat.empty() && sampleFormat != name) continue;
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = major | subtype;
        if (sf_format_check(&info)) return major | subtype;
        if (!sampleFormat.empty())
            usageError(output + ": ." + extension + " files cannot hold " + sampleFormat + " samples");
    }
    usageError(output + ": morvex-render cannot write ." + extension + " files");
}

std::string besideExecutable(const std::string& relative) {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) return relative;
    path[length] = '\0';
    return directoryOf(path) + "/" + relative;
}

// Built beside the tool, installed beside it, or in the folders hosts scan.
std::string defaultModule() {
    std::vector<std::string> candidates = {besideExecutable(MORVEX_DEFAULT_MODULE),
                                           besideExecutable("../lib/vst/" MORVEX_DEFAULT_MODULE)};
    if (const char* home = std::getenv("HOME")) candidates.push_back(std::string(home) + "/.vst/" MORVEX_DEFAULT_MODULE);
    candidates.push_back("/usr/local/lib/vst/" MORVEX_DEFAULT_MODULE);
    candidates.push_back("/usr/lib/vst/" MORVEX_DEFAULT_MODULE);
    for (const auto& path : candidates)
        if (access(path.c_str(), R_OK) == 0) return path;
    failure("no " MORVEX_DEFAULT_MODULE " beside the tool, in ~/.vst or in /usr/local/lib/vst or /usr/lib/vst;"
            " give one with --plugin PATH");
}

struct Plugin {
    std::string path;
    std::unique_ptr<vsthost::Module> module;
    std::unique_ptr<vsthost::Effect> effect;  // declared after the module: closed before unloading
};

// Rendering needs two inputs and two outputs; --info shows any module.
enum class Channels { Stereo, Any };

Plugin loadPlugin(std::string path, Channels channels = Channels::Stereo) {
    // The loader searches the library path for a bare file name; a path given on the
    // command line means a file.
    if (path.find('/') == std::string::npos) path = "./" + path;
    Plugin plugin;
    plugin.path = path;
    std::string error;
    plugin.module = vsthost::Module::load(path, error);
    if (!plugin.module) failure(error);
    plugin.effect = plugin.module->instantiate();
    if (!plugin.effect) failure(path + ": the module's entry point returned no effect");
    AEffect* record = plugin.effect->record();
    if (record->magic != kEffectMagic) {
        // Not an effect record: nothing in it may be called, effClose included.
        plugin.effect.release();
        failure(path + ": the entry point returned something that is not a VST effect");
    }
    if (channels == Channels::Stereo && (record->numInputs != 2 || record->numOutputs != 2))
        failure(path + ": has " + counted(record->numInputs, "input") + " and " + counted(record->numOutputs, "output") +
                "; morvex-render needs 2 inputs and 2 outputs");
    plugin.effect->open();
    return plugin;
}

struct Setting {
    std::string text;  // as given, for messages
    std::string name;
    float value;
};

Setting parseSetting(const std::string& text) {
    const auto equals = text.find_last_of('=');
    if (equals == std::string::npos || trimmed(text.substr(0, equals)).empty())
        usageError("--set " + quoted(text) + ": expected NAME=VALUE");
    const std::string valueText = trimmed(text.substr(equals + 1));
    char* end = nullptr;
    errno = 0;
    const float value = std::strtof(valueText.c_str(), &end);
    if (valueText.empty() || *end != '\0' || errno != 0 || !(value >= 0.0f && value <= 1.0f))
        usageError("--set " + quoted(text) + ": the value must be a number from 0 to 1");
    return {text, trimmed(text.substr(0, equals)), value};
}

VstInt32 findParameter(const Plugin& plugin, const Setting& setting) {
    const VstInt32 count = plugin.effect->record()->numParams;
    const std::string wanted = lowered(setting.name);
    std::vector<VstInt32> matches;
    for (VstInt32 i = 0; i < count; ++i)
        if (lowered(trimmed(plugin.effect->paramName(i))) == wanted) matches.push_back(i);
    if (matches.size() == 1) return matches[0];
    if (matches.size() > 1)
        usageError("--set " + quoted(setting.text) + ": " + plugin.path + " has " + std::to_string(matches.size()) +
                   " parameters of that name; give the index instead");
    if (std::all_of(wanted.begin(), wanted.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const long index = wanted.size() <= 9 ? std::stol(wanted) : count;
        if (index < count) return static_cast<VstInt32>(index);
        usageError("--set " + quoted(setting.text) + ": no parameter " + wanted + " in " + plugin.path + " (it has " +
                   std::to_string(count) + ", from 0)");
    }
    usageError("--set " + quoted(setting.text) + ": no parameter named " + quoted(setting.name) + " in " +
               plugin.path + " (--info lists them)");
}

void applySettings(const Plugin& plugin, const std::vector<Setting>& settings) {
    for (const auto& setting : settings) plugin.effect->setParameter(findParameter(plugin, setting), setting.value);
}

void printInfo(vsthost::Effect& effect) {
    AEffect* record = effect.record();
    std::printf("effect name : %s\n", effect.effectName().c_str());
    std::printf("vendor      : %s\n", effect.vendorString().c_str());
    std::printf("product     : %s\n", effect.productString().c_str());
    std::printf("version     : %ld\n", static_cast<long>(effect.dispatch(effGetVendorVersion)));
    std::printf("unique id   : 0x%08X\n", static_cast<unsigned>(record->uniqueID));
    std::printf("channels    : %d in, %d out\n", record->numInputs, record->numOutputs);
    std::printf("\n%5s  %-16s %-10s %-16s %s\n", "index", "name", "value", "display", "label");
    for (VstInt32 i = 0; i < record->numParams; ++i)
        std::printf("%5d  %-16s %-10g %-16s %s\n", i, effect.paramName(i).c_str(), effect.getParameter(i),
                    effect.paramDisplay(i).c_str(), effect.paramLabel(i).c_str());
}

// Fills up to `frames` frames of the two inputs; fewer only at the end of the source.
using Source = std::function<long(float* left, float* right, long frames)>;

class ProgressBar {
public:
    ProgressBar(long long totalFrames, int rate)
        : total_(totalFrames), enabled_(isatty(STDERR_FILENO) && totalFrames > kProgressAfterSeconds * rate) {}
    void update(long long done) {
        if (!enabled_) return;
        const int percent = static_cast<int>(std::min<long long>(100, done * 100 / total_));
        if (percent == shown_) return;
        shown_ = percent;
        constexpr int kWidth = 40;
        const int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\rrendering [%s%s] %3d%%", std::string(filled, '#').c_str(),
                     std::string(kWidth - filled, ' ').c_str(), percent);
        gProgressShown = 1;
    }
    ~ProgressBar() {
        if (gProgressShown) std::fputc('\n', stderr);
        gProgressShown = 0;
    }

private:
    long long total_;
    bool enabled_;
    int shown_ = -1;
};

struct RenderJob {
    int rate;
    long block;
    long long tailFrames;
    long long expectedFrames;  // of the source, for the progress bar; 0 if unknown
    std::string output;
    OutputTarget target;
    int format;
};

// The usual host sequence: sample rate, block size, settings, mains on, processReplacing
// block by block (the last one may be short), mains off. The caller closes the effect.
void render(const Plugin& plugin, const std::vector<Setting>& settings, const Source& source, const RenderJob& job) {
    vsthost::Effect& effect = *plugin.effect;
    effect.setSampleRate(static_cast<float>(job.rate));
    effect.setBlockSize(static_cast<VstInt32>(job.block));
    applySettings(plugin, settings);

    TemporaryOutput temporary(job.target);
    SF_INFO info{};
    info.samplerate = job.rate;
    info.channels = 2;
    info.format = job.format;
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open_fd(temporary.fd(), SFM_WRITE, &info, SF_FALSE),
                                                     sf_close);
    SNDFILE* out = file.get();
    if (!out) failure(job.output + ": cannot write: " + sf_strerror(nullptr));
    // Integer samples beyond full scale are clipped rather than wrapped around.
    sf_command(out, SFC_SET_CLIPPING, nullptr, SF_TRUE);

    const bool replacing = (effect.record()->flags & effFlagsCanReplacing) != 0;
    const auto block = static_cast<std::size_t>(job.block);
    std::vector<float> left(block), right(block), outLeft(block), outRight(block), interleaved(2 * block);
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};

    ProgressBar progress(job.expectedFrames + job.tailFrames, job.rate);
    effect.mainsChanged(true);
    bool sourceEnded = false;
    long long tailLeft = job.tailFrames;
    long long done = 0;
    std::string writeError;
    while (writeError.empty()) {
        long frames = 0;
        if (!sourceEnded) {
            frames = source(left.data(), right.data(), job.block);
            sourceEnded = frames < job.block;
        }
        const long silence = static_cast<long>(std::min<long long>(job.block - frames, tailLeft));
        std::fill_n(left.begin() + frames, silence, 0.0f);
        std::fill_n(right.begin() + frames, silence, 0.0f);
        tailLeft -= silence;
        frames += silence;
        if (frames == 0) break;

        if (replacing) {
            effect.processReplacing(inputs, outputs, static_cast<VstInt32>(frames));
        } else {  // older modules accumulate into the outputs
            std::fill(outLeft.begin(), outLeft.end(), 0.0f);
            std::fill(outRight.begin(), outRight.end(), 0.0f);
            effect.process(inputs, outputs, static_cast<VstInt32>(frames));
        }
        for (long i = 0; i < frames; ++i) {
            interleaved[2 * i] = outLeft[i];
            interleaved[2 * i + 1] = outRight[i];
        }
        if (sf_writef_float(out, interleaved.data(), frames) != frames) writeError = sf_strerror(out);
        done += frames;
        progress.update(done);
    }
    effect.mainsChanged(false);
    if (sf_close(file.release()) != 0 && writeError.empty()) writeError = "cannot finish the file";
    if (!writeError.empty()) failure(job.output + ": " + writeError);
    temporary.commit();
}

Source fileSource(SNDFILE* file, int channels, const std::string& path) {
    auto buffer = std::make_shared<std::vector<float>>();
    return [=](float* left, float* right, long frames) -> long {
        buffer->resize(static_cast<std::size_t>(frames) * channels);
        const sf_count_t got = sf_readf_float(file, buffer->data(), frames);
        if (got < frames && sf_error(file) != SF_ERR_NO_ERROR) failure(path + ": cannot read: " + sf_strerror(file));
        for (sf_count_t i = 0; i < got; ++i) {
            left[i] = (*buffer)[i * channels];
            right[i] = (*buffer)[i * channels + channels - 1];  // mono feeds both inputs
        }
        return static_cast<long>(got);
    };
}

// A bass line of sixteen eighth notes at 120 beats a minute, band-limited saw plus a sine
// an octave down, with a plucked envelope.
std::vector<float> demoBassLine(int rate) {
    constexpr int kNotes[16] = {33, 33, 45, 33, 36, 33, 38, 40, 33, 33, 45, 43, 41, 40, 36, 28};
    constexpr double kStep = 0.25;  // seconds per eighth note
    constexpr double kPi = 3.14159265358979323846;
    const long stepFrames = std::lround(kStep * rate);
    std::vector<float> samples(16 * stepFrames + rate / 2);
    double phase = 0.0;
    double subPhase = 0.0;
    for (std::size_t n = 0; n < std::size(kNotes); ++n) {
        const double frequency = 440.0 * std::pow(2.0, (kNotes[n] - 69) / 12.0);
        const double increment = frequency / rate;
        const long gate = std::lround(0.8 * stepFrames);
        for (long i = 0; i < stepFrames + rate / 2 && n * stepFrames + i < samples.size(); ++i) {
            const double t = static_cast<double>(i) / rate;
            double envelope = std::min(1.0, t / 0.004) * (0.35 + 0.65 * std::exp(-t / 0.08));
            if (i >= gate) {
                envelope *= std::exp(-static_cast<double>(i - gate) / (0.01 * rate));
                if (envelope < 1e-5) break;
            }
            // Saw with a polynomial band-limited step at the wrap.
            double saw = 2.0 * phase - 1.0;
            if (phase < increment) {
                const double x = phase / increment;
                saw -= x + x - x * x - 1.0;
            } else if (phase > 1.0 - increment) {
                const double x = (phase - 1.0) / increment;
                saw -= x * x + x + x + 1.0;
            }
            const double value = 0.35 * saw + 0.3 * std::sin(2.0 * kPi * subPhase);
            samples[n * stepFrames + i] += static_cast<float>(envelope * value);
            phase += increment;
            phase -= std::floor(phase);
            subPhase += increment / 2.0;
            subPhase -= std::floor(subPhase);
        }
    }
    return samples;
}

struct Options {
    std::string plugin;
    std::vector<Setting> settings;
    long block = kDefaultBlock;
    double tail = 0.0;
    std::string format;
    bool info = false;
    bool demo = false;
    std::vector<std::string> files;
};

long parseBlock(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 1 || value > kMaxBlock)
        usageError("--block " + quoted(text) + ": expected a whole number of frames from 1 to " +
                   std::to_string(kMaxBlock));
    return value;
}

double parseTail(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(value >= 0.0 && value <= kMaxTailSeconds))
        usageError("--tail " + quoted(text) + ": expected a number of seconds from 0 to 3600");
    return value;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    bool endOfOptions = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (endOfOptions || argument.size() < 2 || argument[0] != '-') {
            options.files.push_back(argument);
            continue;
        }
        if (argument == "--") {
            endOfOptions = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (argument == "--info") {
            options.info = true;
            continue;
        }
        if (argument == "--demo") {
            options.demo = true;
            continue;
        }
        std::string value;
        const auto equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        if (name != "--plugin" && name != "--set" && name != "--block" && name != "--tail" && name != "--format")
            usageError("unknown option " + quoted(argument) + " (--help lists the options)");
        if (equals != std::string::npos) value = argument.substr(equals + 1);
        else if (i + 1 < argc) value = argv[++i];
        else usageError(name + " needs a value");

        if (name == "--plugin") options.plugin = value;
        else if (name == "--set") options.settings.push_back(parseSetting(value));
        else if (name == "--block") options.block = parseBlock(value);
        else if (name == "--tail") options.tail = parseTail(value);
        else if (value == "float" || value == "pcm16" || value == "pcm24") options.format = value;
        else usageError("--format " + quoted(value) + ": expected float, pcm16 or pcm24");
    }
    if (options.info && options.demo) usageError("--info and --demo cannot be combined");
    const std::size_t wanted = options.info ? 0 : options.demo ? 1 : 2;
    if (options.files.size() != wanted) {
        if (options.info) usageError("--info takes no files");
        if (options.demo) usageError("--demo takes one file, OUTPUT");
        usageError(options.files.empty() ? "no INPUT and OUTPUT given (--help shows the usage)"
                                         : "expected INPUT and OUTPUT, got " + std::to_string(options.files.size()) +
                                               " file names");
    }
    return options;
}

int run(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);

    if (options.info) {
        Plugin plugin = loadPlugin(options.plugin.empty() ? defaultModule() : options.plugin, Channels::Any);
        applySettings(plugin, options.settings);
        printInfo(*plugin.effect);
        return 0;
    }

    if (options.demo) {
        const std::string& output = options.files[0];
        RenderJob job{kDemoRate, options.block, std::llround(options.tail * kDemoRate), 0,
                      output, outputTarget(output, nullptr), outputFormat(output, options.format)};
        Plugin plugin = loadPlugin(options.plugin.empty() ? defaultModule() : options.plugin);
        const std::vector<float> bass = demoBassLine(kDemoRate);
        job.expectedFrames = static_cast<long long>(bass.size());
        std::size_t position = 0;
        Source source = [&](float* left, float* right, long frames) -> long {
            const long count = static_cast<long>(std::min<std::size_t>(frames, bass.size() - position));
            std::copy_n(bass.begin() + position, count, left);
            std::copy_n(bass.begin() + position, count, right);
            position += count;
            return count;
        };
        render(plugin, options.settings, source, job);
        return 0;
    }

    const std::string& input = options.files[0];
    const std::string& output = options.files[1];
    struct stat inputStat {};
    if (stat(input.c_str(), &inputStat) != 0) failure(input + ": " + std::strerror(errno));
    if (S_ISDIR(inputStat.st_mode)) failure(input + ": is a directory, not a sound file");
    const OutputTarget target = outputTarget(output, &inputStat);
    const int format = outputFormat(output, options.format);

    const int fd = open(input.c_str(), O_RDONLY);
    if (fd < 0) failure(input + ": " + std::strerror(errno));
    SF_INFO info{};
    SNDFILE* in = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    if (!in) failure(input + ": not a sound file that libsndfile can read (" + sf_strerror(nullptr) + ")");
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> closeInput(in, sf_close);
    if (info.channels > 2)
        failure(input + ": has " + counted(info.channels, "channel") + "; morvex-render takes mono or stereo");

    Plugin plugin = loadPlugin(options.plugin.empty() ? defaultModule() : options.plugin);
    const RenderJob job{info.samplerate, options.block, std::llround(options.tail * info.samplerate),
                        info.frames > 0 ? static_cast<long long>(info.frames) : 0, output, target, format};
    render(plugin, options.settings, fileSource(in, info.channels, input), job);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    installInterruptHandlers();
    try {
        return run(argc, argv);
    } catch (const Failure& caught) {
        std::fprintf(stderr, "morvex-render: %s\n", caught.message.c_str());
        return caught.status;
    }
}
