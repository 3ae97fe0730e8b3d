// The Ardour test's side of the comparison: makes the stereo test signal, renders it through
// a VST 2.4 module with host/ exactly as a host would, and compares float WAV files sample by
// sample. Ardour keeps one mono file per channel, so the tool also joins two into a stereo one.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/vst_host.h"

namespace {

constexpr int kRate = 48000;
// Bounce hands the plug-in blocks of this size; the reference does the same.
constexpr VstInt32 kBlockFrames = 8192;

struct Audio {
    int channels = 0;
    int rate = 0;
    std::vector<float> samples;  // interleaved
    std::size_t frames() const { return channels ? samples.size() / channels : 0; }
};

bool readWav(const std::string& path, Audio& audio) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    audio.channels = info.channels;
    audio.rate = info.samplerate;
    audio.samples.assign(static_cast<std::size_t>(info.frames) * info.channels, 0.0f);
    // Float files come back bit for bit; integer files would be scaled, which no caller wants.
    const bool isFloat = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT;
    const sf_count_t got = sf_readf_float(file, audio.samples.data(), info.frames);
    sf_close(file);
    if (!isFloat) {
        std::fprintf(stderr, "%s: not a 32-bit float file\n", path.c_str());
        return false;
    }
    if (got != info.frames) {
        std::fprintf(stderr, "%s: short read\n", path.c_str());
        return false;
    }
    return true;
}

bool writeWav(const std::string& path, const Audio& audio) {
    SF_INFO info{};
    info.channels = audio.channels;
    info.samplerate = audio.rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    const sf_count_t frames = static_cast<sf_count_t>(audio.frames());
    const bool ok = sf_writef_float(file, audio.samples.data(), frames) == frames;
    sf_close(file);
    return ok;
}

Audio channel(const Audio& audio, int which) {
    Audio mono{1, audio.rate, {}};
    for (std::size_t i = 0; i < audio.frames(); ++i) mono.samples.push_back(audio.samples[i * audio.channels + which]);
    return mono;
}

// Decaying tone bursts on the left (the envelope follower rises and falls), a sweep with a
// little deterministic noise on the right, silence between and at the end: both channels
// differ, so a swapped or shared channel state shows.
Audio testSignal(double seconds) {
    Audio audio{2, kRate, {}};
    const std::size_t frames = static_cast<std::size_t>(seconds * kRate);
    std::uint32_t noise = 12345;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double burstTime = std::fmod(t, 0.25);
        const double left = burstTime < 0.2 ? 0.9 * std::exp(-12.0 * burstTime) * std::sin(2 * M_PI * 220.0 * t) : 0.0;
        noise = noise * 1664525u + 1013904223u;
        const double white = (static_cast<double>(noise >> 8) / (1 << 24)) * 2.0 - 1.0;
        const double sweep = std::sin(2 * M_PI * (50.0 * t + 2000.0 * t * t / seconds));
        const double right = t < seconds * 0.9 ? 0.6 * sweep + 0.05 * white : 0.0;
        audio.samples.push_back(static_cast<float>(left));
        audio.samples.push_back(static_cast<float>(right));
    }
    return audio;
}

bool render(const std::string& modulePath, const Audio& input, const std::vector<float>& values, Audio& output) {
    std::string error;
    auto module = vsthost::Module::load(modulePath, error);
    if (!module) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    auto effect = module->instantiate();
    if (!effect) {
        std::fprintf(stderr, "%s: the entry point returned no effect\n", modulePath.c_str());
        return false;
    }
    effect->open();
    effect->setSampleRate(static_cast<float>(input.rate));
    effect->setBlockSize(kBlockFrames);
    for (std::size_t i = 0; i < values.size(); ++i) effect->setParameter(static_cast<VstInt32>(i), values[i]);
    effect->mainsChanged(true);

    const Audio left = channel(input, 0), right = channel(input, 1);
    Audio outLeft = left, outRight = right;
    for (std::size_t start = 0; start < input.frames(); start += kBlockFrames) {
        const auto frames = static_cast<VstInt32>(std::min<std::size_t>(kBlockFrames, input.frames() - start));
        float* in[2] = {const_cast<float*>(&left.samples[start]), const_cast<float*>(&right.samples[start])};
        float* out[2] = {&outLeft.samples[start], &outRight.samples[start]};
        effect->processReplacing(in, out, frames);
    }
    effect->mainsChanged(false);

    output = Audio{2, input.rate, {}};
    for (std::size_t i = 0; i < input.frames(); ++i) {
        output.samples.push_back(outLeft.samples[i]);
        output.samples.push_back(outRight.samples[i]);
    }
    return true;
}

// Prints how far two files are apart. Same shape and every sample within `tolerance` is a
// match; a non-finite sample never matches.
bool matches(const Audio& expected, const Audio& actual, double tolerance, double& worst) {
    worst = INFINITY;
    if (expected.channels != actual.channels || expected.frames() != actual.frames() || expected.rate != actual.rate) {
        std::printf("MISMATCH shape: expected %d ch x %zu frames @ %d Hz, got %d ch x %zu frames @ %d Hz\n",
                    expected.channels, expected.frames(), expected.rate, actual.channels, actual.frames(), actual.rate);
        return false;
    }
    double energy = 0.0;
    std::size_t worstAt = 0, over = 0;
    worst = 0.0;
    for (std::size_t i = 0; i < expected.samples.size(); ++i) {
        const double e = expected.samples[i], a = actual.samples[i];
        const double diff = std::isfinite(a) ? std::fabs(e - a) : INFINITY;
        energy += e * e;
        if (diff > tolerance) ++over;
        if (diff > worst) {
            worst = diff;
            worstAt = i;
        }
    }
    std::printf("%s: %zu frames x %d ch, rms %.6f, max |diff| %.3g at frame %zu ch %zu (expected %.9g got %.9g), "
                "%zu samples over %.3g\n",
                over ? "MISMATCH" : "MATCH", expected.frames(), expected.channels,
                std::sqrt(energy / std::max<std::size_t>(1, expected.samples.size())), worst,
                worstAt / expected.channels, worstAt % expected.channels, expected.samples[worstAt],
                actual.samples[worstAt], over, tolerance);
    return over == 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: wav_tool generate SECONDS STEREO.wav LEFT.wav RIGHT.wav\n"
                 "       wav_tool render MODULE IN.wav OUT.wav V0 ... V9\n"
                 "       wav_tool join LEFT.wav RIGHT.wav STEREO.wav\n"
                 "       wav_tool compare EXPECTED.wav ACTUAL.wav TOLERANCE\n"
                 "       wav_tool differ A.wav B.wav MIN_MAX_DIFF\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "generate" && argc == 6) {
        const Audio audio = testSignal(std::atof(argv[2]));
        return writeWav(argv[3], audio) && writeWav(argv[4], channel(audio, 0)) && writeWav(argv[5], channel(audio, 1))
                   ? 0
                   : 1;
    }
    if (command == "render" && argc >= 5) {
        std::vector<float> values;
        for (int i = 5; i < argc; ++i) values.push_back(std::strtof(argv[i], nullptr));
        Audio input, output;
        return readWav(argv[3], input) && input.channels == 2 && render(argv[2], input, values, output) &&
                       writeWav(argv[4], output)
                   ? 0
                   : 1;
    }
    if (command == "join" && argc == 5) {
        Audio left, right;
        if (!readWav(argv[2], left) || !readWav(argv[3], right)) return 1;
        if (left.channels != 1 || right.channels != 1 || left.frames() != right.frames()) {
            std::fprintf(stderr, "join: needs two mono files of equal length\n");
            return 1;
        }
        Audio stereo{2, left.rate, {}};
        for (std::size_t i = 0; i < left.frames(); ++i) {
            stereo.samples.push_back(left.samples[i]);
            stereo.samples.push_back(right.samples[i]);
        }
        return writeWav(argv[4], stereo) ? 0 : 1;
    }
    if ((command == "compare" || command == "differ") && argc == 5) {
        Audio expected, actual;
        if (!readWav(argv[2], expected) || !readWav(argv[3], actual)) return 1;
        const double threshold = std::atof(argv[4]);
        double worst = 0.0;
        const bool match = matches(expected, actual, command == "compare" ? threshold : 0.0, worst);
        // differ: same shape, and somewhere at least `threshold` apart.
        if (command == "differ") return !match && std::isfinite(worst) && worst >= threshold ? 0 : 1;
        return match ? 0 : 1;
    }
    return usage();
}
