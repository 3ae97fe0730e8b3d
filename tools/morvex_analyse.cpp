// morvex-analyse: measures the Morvex module through its record, as a host drives it, and
// writes the results as data files for plotting:
//   response-<mode>.dat  small-signal magnitude response of each filter mode at a few
//                        Cutoff and Resonance settings (dB against frequency)
//   clipper.dat          the soft clipper's transfer curve at a few Disto settings
// With Pre Amp at 1/8 and Disto at 1/8 the shaper and the clipper both have unit gain for
// small signals, so a small impulse measures the filter alone; for the clipper the filter
// is held at DC, where its low-pass output equals its input.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "effect/parameters.h"
#include "host/vst_host.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRate = 44100;
constexpr long kImpulseFrames = 8192;  // over ten decay times of the most resonant setting
constexpr float kImpulse = 1e-4f;       // small enough that shaper and clipper stay linear
constexpr int kFrequencies = 400;
constexpr double kLowest = 20.0;
constexpr double kHighest = 20000.0;
constexpr long kSettleFrames = 512;
constexpr int kClipperPoints = 201;

const float kCutoffs[] = {0.02f, 0.1f, 0.4f};
const float kResonances[] = {0.0f, 0.8f};
const float kDistos[] = {0.0f, 0.05f, 0.1f, 0.25f, 0.5f, 1.0f};
const char* const kModeFiles[] = {"lp", "hp", "band", "notch", "peak"};

struct Failure {
    std::string message;
};

std::string besideExecutable(const std::string& name) {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) return name;
    path[length] = '\0';
    std::string directory(path);
    return directory.substr(0, directory.find_last_of('/') + 1) + name;
}

// Mode values in the middle of each mode's range.
float modeValue(int mode) { return 0.1f + 0.2f * static_cast<float>(mode); }

class Measurer {
public:
    explicit Measurer(const std::string& path) {
        std::string error;
        module_ = vsthost::Module::load(path, error);
        if (!module_) throw Failure{error};
    }

    // A fresh instance for each measurement, so no state carries over.
    std::unique_ptr<vsthost::Effect> instance(const std::vector<std::pair<int, float>>& settings) {
        auto effect = module_->instantiate();
        if (!effect) throw Failure{module_->path() + ": the entry point returned no effect"};
        if (effect->record()->numInputs != 2 || effect->record()->numOutputs != 2)
            throw Failure{module_->path() + ": not a module with 2 inputs and 2 outputs"};
        effect->open();
        effect->setSampleRate(static_cast<float>(kRate));
        effect->setBlockSize(kImpulseFrames);
        effect->setParameter(kPreAmp, 0.125f);
        effect->setParameter(kShape, 0.0f);
        effect->setParameter(kDisto, 0.125f);
        effect->setParameter(kEnv, 0.0f);
        effect->setParameter(kPostAmp, 1.0f);
        for (const auto& [index, value] : settings) effect->setParameter(index, value);
        effect->mainsChanged(true);
        return effect;
    }

    // Left output for `input` fed to both inputs.
    static std::vector<float> process(vsthost::Effect& effect, std::vector<float> input) {
        std::vector<float> right(input), outLeft(input.size()), outRight(input.size());
        float* inputs[2] = {input.data(), right.data()};
        float* outputs[2] = {outLeft.data(), outRight.data()};
        effect.processReplacing(inputs, outputs, static_cast<VstInt32>(input.size()));
        return outLeft;
    }

private:
    std::unique_ptr<vsthost::Module> module_;
};

std::vector<double> frequencies() {
    std::vector<double> result;
    for (int i = 0; i < kFrequencies; ++i)
        result.push_back(kLowest * std::pow(kHighest / kLowest, static_cast<double>(i) / (kFrequencies - 1)));
    return result;
}

// |H(f)| in dB from the impulse response, by a direct Fourier sum at each frequency.
std::vector<double> magnitudeDb(const std::vector<float>& response, const std::vector<double>& frequencies) {
    std::vector<double> result;
    for (double frequency : frequencies) {
        const std::complex<double> step = std::polar(1.0, -2.0 * kPi * frequency / kRate);
        std::complex<double> rotation = 1.0, sum = 0.0;
        for (float sample : response) {
            sum += static_cast<double>(sample) * rotation;
            rotation *= step;
        }
        result.push_back(20.0 * std::log10(std::max(std::abs(sum) / kImpulse, 1e-12)));
    }
    return result;
}

FILE* create(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file) throw Failure{path + ": " + std::strerror(errno)};
    return file;
}

void writeResponses(Measurer& measurer, const std::string& folder) {
    const auto freqs = frequencies();
    for (int mode = kFilterLp; mode <= kFilterPeak; ++mode) {
        std::vector<std::vector<double>> columns;
        std::string header = "# frequency/Hz";
        for (float resonance : kResonances) {
            for (float cutoff : kCutoffs) {
                auto effect = measurer.instance({{kMode, modeValue(mode)}, {kCutoff, cutoff}, {kResonance, resonance}});
                std::vector<float> impulse(kImpulseFrames, 0.0f);
                impulse[0] = kImpulse;
                columns.push_back(magnitudeDb(Measurer::process(*effect, impulse), freqs));
                char label[64];
                std::snprintf(label, sizeof(label), "  cutoff=%g,resonance=%g", cutoff, resonance);
                header += label;
            }
        }
        const std::string path = folder + "/response-" + kModeFiles[mode] + ".dat";
        FILE* file = create(path);
        std::fprintf(file, "# Morvex %s mode, magnitude in dB; Pre Amp 0.125, Disto 0.125, Post Amp 1\n%s\n",
                     kFilterModeNames[mode], header.c_str());
        for (std::size_t i = 0; i < freqs.size(); ++i) {
            std::fprintf(file, "%.2f", freqs[i]);
            for (const auto& column : columns) std::fprintf(file, " %.4f", column[i]);
            std::fputc('\n', file);
        }
        if (std::fclose(file) != 0) throw Failure{path + ": " + std::strerror(errno)};
    }
}

void writeClipper(Measurer& measurer, const std::string& folder) {
    // Pre Amp 0.25 makes the shaper sin(2x): input asin(y)/2 reaches the clipper as y.
    std::vector<std::vector<float>> columns;
    std::vector<double> levels;
    for (int i = 0; i < kClipperPoints; ++i) levels.push_back(-1.0 + 2.0 * i / (kClipperPoints - 1));
    std::string header = "# clipper input";
    for (float disto : kDistos) {
        auto effect = measurer.instance(
            {{kPreAmp, 0.25f}, {kDisto, disto}, {kMode, modeValue(kFilterLp)}, {kCutoff, 1.0f}, {kResonance, 0.0f}});
        std::vector<float> column;
        for (double level : levels) {
            const std::vector<float> input(kSettleFrames, static_cast<float>(std::asin(level) / 2.0));
            column.push_back(Measurer::process(*effect, input).back());
        }
        columns.push_back(column);
        char label[32];
        std::snprintf(label, sizeof(label), "  disto=%g", disto);
        header += label;
    }
    const std::string path = folder + "/clipper.dat";
    FILE* file = create(path);
    std::fprintf(file, "# Morvex soft clipper: output against input at DC; Post Amp 1\n%s\n", header.c_str());
    for (std::size_t i = 0; i < levels.size(); ++i) {
        std::fprintf(file, "%.4f", levels[i]);
        for (const auto& column : columns) std::fprintf(file, " %.6f", column[i]);
        std::fputc('\n', file);
    }
    if (std::fclose(file) != 0) throw Failure{path + ": " + std::strerror(errno)};
}

}  // namespace

int main(int argc, char** argv) {
    std::string plugin = besideExecutable(MORVEX_DEFAULT_MODULE);
    std::string folder;
    bool understood = true;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--plugin" && i + 1 < argc) plugin = argv[++i];
        else if (folder.empty() && !argument.empty() && argument[0] != '-') folder = argument;
        else understood = false;
    }
    if (plugin.find('/') == std::string::npos) plugin = "./" + plugin;  // a file, not a library search
    if (!understood || folder.empty()) {
        std::fprintf(stderr, "usage: morvex-analyse [--plugin PATH] FOLDER\n");
        return 2;
    }
    try {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) throw Failure{folder + ": " + error.message()};
        Measurer measurer(plugin);
        writeResponses(measurer, folder);
        writeClipper(measurer, folder);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "morvex-analyse: %s\n", failure.message.c_str());
        return 1;
    }
    return 0;
}
