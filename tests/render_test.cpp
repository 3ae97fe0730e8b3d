// morvex-render end to end: the real binary on small generated files, checked against the
// same module driven through host/ directly.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "effect/parameters.h"
#include "host/vst_host.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr double kPi = 3.14159265358979323846;

const std::string kModuleDir = TEST_MODULE_DIR;
// From dpf-plugins-vst: two inputs, two outputs, four parameters.
const std::string kThirdPartyModule = "/usr/lib/vst/3BandEQ-vst.so";

struct Sound {
    int rate = 48000;
    int channels = 2;
    std::vector<float> samples;  // interleaved
    long frames() const { return static_cast<long>(samples.size()) / channels; }
};

// A sweep plus noise from a fixed generator: every frequency and level range gets used.
Sound testSignal(int channels, long frames, int rate = 48000) {
    Sound sound{rate, channels, {}};
    std::uint32_t seed = 12345;
    for (long i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        for (int c = 0; c < channels; ++c) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = (static_cast<double>(seed >> 8) / (1 << 24) - 0.5) * 0.2;
            sound.samples.push_back(static_cast<float>(0.7 * std::sin(2 * kPi * (50 + 4000 * t) * t * (c + 1)) + noise));
        }
    }
    return sound;
}

void writeSound(const std::string& path, const Sound& sound, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    SF_INFO info{};
    info.samplerate = sound.rate;
    info.channels = sound.channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    EXPECT_EQ(sf_writef_float(file, sound.samples.data(), sound.frames()), sound.frames());
    sf_close(file);
}

Sound readSound(const std::string& path, int* format = nullptr) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (!file) return {};
    Sound sound{info.samplerate, info.channels, std::vector<float>(info.frames * info.channels)};
    EXPECT_EQ(sf_readf_float(file, sound.samples.data(), info.frames), info.frames);
    sf_close(file);
    if (format) *format = info.format;
    return sound;
}

// What the module makes of `input` through host/ with the tool's sequence: stereo out,
// mono fed to both inputs, `tailFrames` of silence after the input, blocks of `block`.
std::vector<float> processDirectly(const std::string& modulePath, const Sound& input,
                                   const std::vector<std::pair<VstInt32, float>>& settings, long block,
                                   long tailFrames) {
    std::string error;
    auto module = vsthost::Module::load(modulePath, error);
    EXPECT_TRUE(module) << error;
    if (!module) return {};
    auto effect = module->instantiate();
    effect->open();
    effect->setSampleRate(static_cast<float>(input.rate));
    effect->setBlockSize(static_cast<VstInt32>(block));
    for (const auto& [index, value] : settings) effect->setParameter(index, value);
    effect->mainsChanged(true);

    const long frames = input.frames() + tailFrames;
    std::vector<float> left(frames, 0.0f), right(frames, 0.0f), output;
    for (long i = 0; i < input.frames(); ++i) {
        left[i] = input.samples[i * input.channels];
        right[i] = input.samples[i * input.channels + input.channels - 1];
    }
    std::vector<float> outLeft(block), outRight(block);
    for (long start = 0; start < frames; start += block) {
        const long count = std::min(block, frames - start);
        float* inputs[2] = {left.data() + start, right.data() + start};
        float* outputs[2] = {outLeft.data(), outRight.data()};
        effect->processReplacing(inputs, outputs, static_cast<VstInt32>(count));
        for (long i = 0; i < count; ++i) {
            output.push_back(outLeft[i]);
            output.push_back(outRight[i]);
        }
    }
    effect->mainsChanged(false);
    return output;
}

// Index of the first sample that differs in bits, or -1.
long firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<long>(i);
    return -1;
}

struct Outcome {
    int status;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

std::string fileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/morvex-render-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        logs = dir + ".logs";
        fs::create_directory(logs);
    }
    void TearDown() override {
        fs::remove_all(dir);
        fs::remove_all(logs);
    }

    std::string at(const std::string& name) const { return dir + "/" + name; }

    Outcome render(const std::vector<std::string>& args) {
        std::vector<std::string> all{MORVEX_RENDER_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& arg : all) argv.push_back(arg.data());
        argv.push_back(nullptr);
        const std::string out = logs + "/out", err = logs + "/err";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) return {-1, "", "cannot start " + all[0]};
        int status = 0;
        waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), fileText(out), fileText(err)};
    }

    // Every file in the folder with its bytes, to show that nothing changed or was left.
    std::map<std::string, std::string> folderContents() const {
        std::map<std::string, std::string> contents;
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            contents[entry.path().string()] = entry.is_regular_file() ? fileText(entry.path()) : "(not a file)";
        return contents;
    }

    std::string dir;
    std::string logs;
};

TEST_F(RenderTest, OutputEqualsTheModuleDrivenDirectly) {
    struct Case {
        const char* what;
        int channels;
        std::vector<std::string> options;
        std::vector<std::pair<VstInt32, float>> settings;
        long block;
        double tailSeconds;
    };
    const Case cases[] = {
        {"defaults, stereo", 2, {}, {}, 512, 0.0},
        {"settings by name in any case and by index, short last block",
         2,
         {"--set", "Post Amp=0.7", "--set", "RESONANCE=0.8", "--set", "5=0.45", "--set", " cutoff = 0.1", "--block",
          "256"},
         {{kPostAmp, 0.7f}, {kResonance, 0.8f}, {kMode, 0.45f}, {kCutoff, 0.1f}},
         256,
         0.0},
        {"mono input feeds both inputs", 1, {"--set", "Mode=0.9", "--block", "100"}, {{kMode, 0.9f}}, 100, 0.0},
        {"the last setting of a parameter wins, one-frame blocks",
         2,
         {"--set", "Disto=0.9", "--set", "disto=0.3", "--block=1"},
         {{kDisto, 0.3f}},
         1,
         0.0},
        {"tail lets a ringing filter decay",
         2,
         {"--set", "Cutoff=0.05", "--set", "Resonance=0.95", "--tail", "0.05"},
         {{kCutoff, 0.05f}, {kResonance, 0.95f}},
         512,
         0.05},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Sound input = testSignal(c.channels, 3000);
        writeSound(at("in.wav"), input);
        std::vector<std::string> args = c.options;
        args.push_back(at("in.wav"));
        args.push_back(at("out.wav"));
        const Outcome run = render(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");

        const Sound output = readSound(at("out.wav"));
        const long tailFrames = std::lround(c.tailSeconds * input.rate);
        EXPECT_EQ(output.channels, 2);
        EXPECT_EQ(output.rate, input.rate);
        EXPECT_EQ(output.frames(), input.frames() + tailFrames);
        const auto expected = processDirectly(MORVEX_MODULE_PATH, input, c.settings, c.block, tailFrames);
        EXPECT_EQ(firstDifference(output.samples, expected), -1);
        if (tailFrames > 0) {
            float tailPeak = 0.0f;
            for (long i = 2 * input.frames(); i < 2 * output.frames(); ++i)
                tailPeak = std::max(tailPeak, std::fabs(output.samples[i]));
            EXPECT_GT(tailPeak, 1e-3f) << "the tail should hold the filter's ringing";
        }
    }
}

TEST_F(RenderTest, SampleFormatFollowsOptionAndExtension) {
    struct Case {
        const char* what;
        const char* format;  // empty: none given
        const char* output;
        int expectedFormat;
        float tolerance;
    };
    const Case cases[] = {
        {"float by default", "", "out.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0.0f},
        {"pcm16", "pcm16", "out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2.0f / 32768},
        {"pcm24 in AIFF", "pcm24", "out.AIF", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 2.0f / 8388608},
        {"FLAC holds no floats: pcm24", "", "out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2.0f / 8388608},
    };
    const Sound input = testSignal(2, 2000);
    writeSound(at("in.wav"), input);
    const auto expected = processDirectly(MORVEX_MODULE_PATH, input, {}, 512, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args;
        if (*c.format) args = {"--format", c.format};
        args.push_back(at("in.wav"));
        args.push_back(at(c.output));
        const Outcome run = render(args);
        ASSERT_EQ(run.status, 0) << run.err;
        int format = 0;
        const Sound output = readSound(at(c.output), &format);
        EXPECT_EQ(format, c.expectedFormat);
        ASSERT_EQ(output.samples.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            ASSERT_NEAR(output.samples[i], expected[i], c.tolerance) << "sample " << i;
    }
}

TEST_F(RenderTest, ReplacesAnExistingOutputKeepingItsModeAndLinks) {
    writeSound(at("in.wav"), testSignal(2, 1000));
    std::ofstream(at("old.wav")) << "old contents";
    chmod(at("old.wav").c_str(), 0640);
    fs::create_symlink("old.wav", at("link.wav"));

    const Outcome run = render({at("in.wav"), at("link.wav")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::is_symlink(at("link.wav")));
    EXPECT_EQ(readSound(at("old.wav")).frames(), 1000);
    struct stat info {};
    ASSERT_EQ(stat(at("old.wav").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3) << "no temporary file left";
}

TEST_F(RenderTest, BadInputGetsOneLineAndLeavesEveryFileAsItWas) {
    writeSound(at("in.wav"), testSignal(2, 500));
    writeSound(at("three.wav"), testSignal(3, 500));
    std::ofstream(at("out.wav")) << "precious";
    std::ofstream(at("text.txt")) << "not a sound file\n";
    fs::create_directory(at("sub"));
    fs::create_hard_link(at("in.wav"), at("hardlink.wav"));
    fs::create_symlink("in.wav", at("symlink.wav"));
    writeSound(at("locked.wav"), testSignal(2, 10));
    chmod(at("locked.wav").c_str(), 0);
    const bool canReadEverything = geteuid() == 0;

    struct Case {
        const char* what;
        std::vector<std::string> args;  // "@name" is a file in the test's folder
        int status;
        const char* message;  // part of the one line on standard error
    };
    const std::string noEntry = kModuleDir + "/test_module_no_entry.so";
    const std::string nullEntry = kModuleDir + "/test_module_null_entry.so";
    const std::string oneInput = kModuleDir + "/test_module_one_input.so";
    const Case cases[] = {
        {"no files", {}, 2, "no INPUT and OUTPUT given"},
        {"one file", {"@in.wav"}, 2, "expected INPUT and OUTPUT, got 1"},
        {"unknown option", {"--loud", "@in.wav", "@out.wav"}, 2, "unknown option '--loud'"},
        {"option without its value", {"@in.wav", "@out.wav", "--block"}, 2, "--block needs a value"},
        {"block of zero", {"--block", "0", "@in.wav", "@out.wav"}, 2, "--block '0'"},
        {"block not a number", {"--block", "8k", "@in.wav", "@out.wav"}, 2, "--block '8k'"},
        {"negative tail", {"--tail", "-1", "@in.wav", "@out.wav"}, 2, "--tail '-1'"},
        {"unknown sample format", {"--format", "pcm8", "@in.wav", "@out.wav"}, 2, "--format 'pcm8'"},
        {"unknown output type", {"@in.wav", "@out.xyz"}, 2, "out.xyz: unknown file type .xyz"},
        {"output without extension", {"@in.wav", "@out"}, 2, "out: no extension"},
        {"float into FLAC", {"--format", "float", "@in.wav", "@out.flac"}, 2, ".flac files cannot hold float"},
        {"missing input", {"@missing.wav", "@out.wav"}, 1, "missing.wav: No such file or directory"},
        {"input is a folder", {"@sub", "@out.wav"}, 1, "sub: is a directory"},
        {"input not a sound file", {"@text.txt", "@out.wav"}, 1, "text.txt: not a sound file that libsndfile can read"},
        {"input with three channels", {"@three.wav", "@out.wav"}, 1, "three.wav: has 3 channels"},
        {"output is the input", {"@in.wav", "@in.wav"}, 2, "in.wav: is the input file itself"},
        {"output is the input by another path", {"@in.wav", "@sub/../in.wav"}, 2, "is the input file itself"},
        {"output is a hard link to the input", {"@in.wav", "@hardlink.wav"}, 2, "is the input file itself"},
        {"output is a symbolic link to the input", {"@in.wav", "@symlink.wav"}, 2, "is the input file itself"},
        {"output is a folder", {"@in.wav", "@sub"}, 2, "sub: is a directory"},
        {"output folder missing", {"@in.wav", "@nowhere/out.wav"}, 1, "cannot create a temporary file in"},
        {"unknown parameter name", {"--set", "Volume=0.5", "@in.wav", "@out.wav"}, 2, "no parameter named 'Volume'"},
        {"parameter index out of range", {"--set", "10=0.5", "@in.wav", "@out.wav"}, 2, "no parameter 10"},
        {"value above 1", {"--set", "Cutoff=1.5", "@in.wav", "@out.wav"}, 2, "the value must be a number from 0 to 1"},
        {"value below 0", {"--set", "Cutoff=-0.1", "@in.wav", "@out.wav"}, 2, "the value must be a number from 0"},
        {"value not a number", {"--set", "Cutoff=loud", "@in.wav", "@out.wav"}, 2, "the value must be a number"},
        {"value NaN", {"--set", "Cutoff=nan", "@in.wav", "@out.wav"}, 2, "the value must be a number"},
        {"setting without a value", {"--set", "Cutoff", "@in.wav", "@out.wav"}, 2, "expected NAME=VALUE"},
        {"module missing", {"--plugin", "@none.so", "@in.wav", "@out.wav"}, 1, "none.so: cannot open shared object"},
        {"module not a library", {"--plugin", "@text.txt", "@in.wav", "@out.wav"}, 1, "text.txt"},
        {"module without entry point", {"--plugin", noEntry, "@in.wav", "@out.wav"}, 1, "no VST 2.4 entry point"},
        {"module returns null", {"--plugin", nullEntry, "@in.wav", "@out.wav"}, 1, "entry point returned no effect"},
        {"module with one input", {"--plugin", oneInput, "@in.wav", "@out.wav"}, 1, "has 1 input and 2 outputs"},
        {"info with a file", {"--info", "@in.wav"}, 2, "--info takes no files"},
        {"demo without its file", {"--demo"}, 2, "--demo takes one file"},
        {"info and demo", {"--info", "--demo", "@out.wav"}, 2, "cannot be combined"},
        {"unreadable input", {"@locked.wav", "@out.wav"}, 1, "locked.wav: Permission denied"},
    };
    const auto before = folderContents();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (canReadEverything && std::string(c.what) == "unreadable input") continue;  // root reads it anyway
        std::vector<std::string> args;
        for (const auto& arg : c.args) args.push_back(arg[0] == '@' ? at(arg.substr(1)) : arg);
        const Outcome run = render(args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("morvex-render: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(folderContents(), before);
    }
}

TEST_F(RenderTest, InterruptRemovesThePartialOutput) {
    writeSound(at("in.wav"), testSignal(2, 4000));
    std::ofstream(at("out.wav")) << "precious";
    const auto before = folderContents();
    const Outcome run = render({"--plugin", kModuleDir + "/test_module_interrupting.so", "--block", "1000", at("in.wav"),
                            at("out.wav")});
    EXPECT_EQ(run.status, 128 + SIGINT);
    EXPECT_NE(run.err.find("interrupted"), std::string::npos) << run.err;
    EXPECT_EQ(folderContents(), before);
}

TEST_F(RenderTest, TailIsRoundedToWholeFramesAtTheFileRate) {
    struct Case {
        const char* tail;
        int rate;
        long expectedExtraFrames;
    };
    const Case cases[] = {{"0", 44100, 0}, {"1", 22050, 22050}, {"0.5", 8000, 4000}, {"0.00001", 48000, 0},
                          {"0.00002", 48000, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("--tail ") + c.tail + " at " + std::to_string(c.rate));
        writeSound(at("in.wav"), testSignal(1, 300, c.rate));
        const Outcome run = render({"--tail", c.tail, at("in.wav"), at("out.wav")});
        ASSERT_EQ(run.status, 0) << run.err;
        const Sound output = readSound(at("out.wav"));
        EXPECT_EQ(output.rate, c.rate);
        EXPECT_EQ(output.frames(), 300 + c.expectedExtraFrames);
    }
}

TEST_F(RenderTest, DemoRendersSecondsOfSound) {
    const Outcome run = render({"--set", "Post Amp=1", "--demo", at("demo.wav")});
    ASSERT_EQ(run.status, 0) << run.err;
    const Sound demo = readSound(at("demo.wav"));
    EXPECT_EQ(demo.channels, 2);
    EXPECT_GE(demo.frames(), 2 * demo.rate);
    double energy = 0.0;
    for (float sample : demo.samples) energy += double(sample) * sample;
    EXPECT_GT(std::sqrt(energy / demo.samples.size()), 0.05) << "the demo should be clearly audible";
}

// The columns of --info's parameter table, trimmed.
std::vector<std::string> columns(const std::string& line) {
    const std::pair<std::size_t, std::size_t> spans[] = {{0, 5}, {7, 16}, {24, 10}, {35, 16}, {52, std::string::npos}};
    std::vector<std::string> fields;
    for (const auto& [start, length] : spans) {
        std::string field = start < line.size() ? line.substr(start, length) : "";
        const auto first = field.find_first_not_of(' ');
        field = first == std::string::npos ? "" : field.substr(first, field.find_last_not_of(' ') - first + 1);
        fields.push_back(field);
    }
    return fields;
}

TEST_F(RenderTest, InfoShowsIdentityAndEveryParameterAsTheModuleReportsThem) {
    const Outcome run = render({"--set", "mode=0.9", "--info"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::string line;
    const char* identity[] = {"effect name : Morvex",        "vendor      : Tarnwick",
                              "product     : Morvex",        "version     : 448",
                              "unique id   : 0x54774D76",    "channels    : 2 in, 2 out"};
    for (const char* expected : identity) {
        std::getline(lines, line);
        EXPECT_EQ(line, expected);
    }
    std::getline(lines, line);
    EXPECT_EQ(line, "");
    std::getline(lines, line);
    EXPECT_EQ(columns(line), (std::vector<std::string>{"index", "name", "value", "display", "label"}));

    std::string error;
    auto module = vsthost::Module::load(MORVEX_MODULE_PATH, error);
    ASSERT_TRUE(module) << error;
    auto effect = module->instantiate();
    effect->setParameter(kMode, 0.9f);
    for (VstInt32 i = 0; i < kNumParams; ++i) {
        SCOPED_TRACE(kParameters[i].name);
        ASSERT_TRUE(std::getline(lines, line));
        const float value = i == kMode ? 0.9f : kParameters[i].defaultValue;
        std::ostringstream valueText;
        valueText << value;
        const std::string label = kParameters[i].label;
        EXPECT_EQ(columns(line), (std::vector<std::string>{std::to_string(i), kParameters[i].name, valueText.str(),
                                                           effect->paramDisplay(i), label == " " ? "" : label}));
    }
    EXPECT_FALSE(std::getline(lines, line)) << "nothing after the table";
}

TEST_F(RenderTest, InfoShowsModulesItCannotRender) {
    const Outcome run = render({"--plugin", kModuleDir + "/test_module_one_input.so", "--info"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("channels    : 1 in, 2 out\n"), std::string::npos) << run.out;
}

TEST_F(RenderTest, RendersAThirdPartyModule) {
    if (access(kThirdPartyModule.c_str(), R_OK) != 0)
        GTEST_SKIP() << kThirdPartyModule << " is not installed (Debian package dpf-plugins-vst)";
    const Sound input = testSignal(2, 3000, 44100);
    writeSound(at("in.wav"), input);
    const Outcome run =
        render({"--plugin", kThirdPartyModule, "--set", "low=0.2", "--set", "HIGH=0.9", at("in.wav"), at("out.wav")});
    ASSERT_EQ(run.status, 0) << run.err;
    const Sound output = readSound(at("out.wav"));
    const auto expected = processDirectly(kThirdPartyModule, input, {{0, 0.2f}, {2, 0.9f}}, 512, 0);
    EXPECT_EQ(firstDifference(output.samples, expected), -1);
    EXPECT_NE(firstDifference(output.samples, input.samples), -1) << "the settings should change the sound";
}

}  // namespace
