/*
 * cli_test.cpp - korvel-cli run as the user runs it, checked against the
 * engine driven directly through the C API: every step must give the same
 * bytes as kvDoEdit (or the conversion) on the same range and parameters,
 * and every refusal must say why, set the documented status and write nothing.
 */
#include "tests/support/test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

extern char **environ;

namespace {

/* A canonical 16-bit WAVE file of interleaved samples. */
std::string waveBytes(int32_t channels, int32_t rate, const std::vector<int16_t> &samples) {
    auto number = [](uint32_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; i++)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
        return out;
    };
    uint32_t size = static_cast<uint32_t>(samples.size() * 2);
    std::string bytes = "RIFF" + number(size + 36, 4) + "WAVEfmt " + number(16, 4) + number(1, 2) +
                        number(channels, 2) + number(rate, 4) + number(rate * channels * 2, 4) +
                        number(channels * 2, 2) + number(16, 2) + "data" + number(size, 4);
    bytes.append(reinterpret_cast<const char *>(samples.data()), size);
    return bytes;
}

/* Two tones and a little noise, different on each channel, so that a step
 * that mixes up channels or positions shows. */
std::vector<int16_t> testSignal(int32_t channels, int32_t frames, uint32_t seed) {
    std::vector<int16_t> samples;
    for (int32_t i = 0; i < frames; i++)
        for (int32_t c = 0; c < channels; c++) {
            seed = seed * 1664525u + 1013904223u;
            double noise = static_cast<int32_t>(seed >> 16 & 0x7FF) - 1024;
            samples.push_back(static_cast<int16_t>(12000 * std::sin(i * 0.031 * (c + 1)) +
                                                   5000 * std::sin(i * 0.0021) + noise));
        }
    return samples;
}

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

constexpr int32_t rate = 22050;
constexpr int32_t frames = 13230; /* 0.6 s, four blocks */

class CliTest : public KvSandbox {
  protected:
    void SetUp() override {
        KvSandbox::SetUp();
        ASSERT_EQ(startEngine(), 0);
        base = params;
        input = path("take.wav");
        kvTestWriteFile(input, waveBytes(2, rate, testSignal(2, frames, 1)));
        kvTestWriteFile(path("clip.wav"), waveBytes(1, rate, testSignal(1, 5000, 2)));
    }

    /* Runs the program with `arguments`; its outputs are kept in files of
     * this test so a long output cannot block it. */
    CliRun cli(const std::vector<std::string> &arguments) {
        std::vector<std::string> words{KV_CLI_PROGRAM};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char *> argv;
        for (std::string &word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        std::string out = path("stdout"), err = path("stderr");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        pid_t child = 0;
        int status = -1;
        if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0)
            waitpid(child, &status, 0);
        posix_spawn_file_actions_destroy(&actions);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, kvTestReadFile(out),
                kvTestReadFile(err)};
    }

    /* Opens the input here, selects [start, end) (end -1: to the end), runs
     * `edit` with the parameters as the program starts, and saves the result
     * as 32-bit float, as the program is told to: the saved bytes. */
    std::string reference(const std::function<void(int32_t)> &edit, int32_t start = 0,
                          int32_t end = -1) {
        params = base;
        int32_t doc = kvCreate(nullptr);
        EXPECT_EQ(kvOpen(doc, input.c_str()), 0);
        kvSetSelection(doc, start, end < 0 ? kvGetLength(doc) : end, -1);
        edit(doc);
        EXPECT_EQ(kvSetSaveFormat(doc, 3, 32, 0), 0);
        std::string saved = path("reference.wav");
        std::filesystem::remove(saved);
        EXPECT_EQ(kvSave(doc, saved.c_str()), 0);
        kvClose(doc);
        return kvTestReadFile(saved);
    }

    /* The program's output of `steps` on the input, saved as float. */
    std::string viaCli(std::vector<std::string> steps) {
        std::string output = path("cli.wav");
        std::filesystem::remove(output);
        steps.insert(steps.begin(), "apply");
        for (const char *word : {"--format", "float", "-q", "--force", "-o"})
            steps.push_back(word);
        steps.push_back(output);
        steps.push_back(input);
        CliRun run = cli(steps);
        EXPECT_EQ(run.status, 0) << run.err;
        return kvTestReadFile(output);
    }

    KV_Params base{};
    std::string input;
};

/* One step of the editor: how the program is asked for it, and how the
 * editor runs it through the C API. */
struct EffectCase {
    const char *name;
    std::vector<std::string> arguments;
    bool ranged; /* the step takes --range */
    std::function<void(int32_t, KV_Params &)> edit;
};

std::function<void(int32_t, KV_Params &)> plain(int32_t edit) {
    return [edit](int32_t doc, KV_Params &) { EXPECT_EQ(kvDoEdit(doc, edit), 0); };
}

std::vector<EffectCase> effectCases(const std::string &clip) {
    return {
        {"volume",
         {"volume", "--db", "3"},
         true,
         [](int32_t doc, KV_Params &p) {
             p.volumeDb = 3;
             kvDoEdit(doc, KV_EDIT_VOLUME);
         }},
        {"fade-in", {"fade-in"}, true, plain(KV_EDIT_FADE_IN)},
        {"fade-out", {"fade-out"}, true, plain(KV_EDIT_FADE_OUT)},
        {"mute", {"mute"}, true, plain(KV_EDIT_MUTE)},
        {"normalize",
         {"normalize", "--peak", "-1"},
         false,
         [](int32_t doc, KV_Params &p) {
             p.normalizeDb = -1 - kvScanMax(doc);
             kvDoEdit(doc, KV_EDIT_NORMALIZE);
         }},
        {"eq",
         {"eq", "--bands", "0,0,2,4,6,0,-3,0,0,-9"},
         true,
         [](int32_t doc, KV_Params &p) {
             const int32_t bands[10] = {0, 0, 2, 4, 6, 0, -3, 0, 0, -9};
             std::memcpy(p.eqBandDb, bands, sizeof bands);
             kvDoEdit(doc, KV_EDIT_EQUALIZER);
         }},
        {"reverse", {"reverse"}, true, plain(KV_EDIT_REVERSE)},
        {"paste-mix",
         {"paste-mix", "--clip", clip, "--db", "-6"},
         true,
         [clip](int32_t doc, KV_Params &p) {
             int32_t other = kvCreate(nullptr);
             kvOpen(other, clip.c_str());
             kvSetSelection(other, 0, kvGetLength(other), -1);
             kvCopy(other);
             kvClose(other);
             p.pasteMixDb = -6;
             kvDoEdit(doc, KV_EDIT_PASTE_MIX);
         }},
        {"compressor",
         {"compressor", "--threshold", "-20", "--ratio", "4"},
         true,
         [](int32_t doc, KV_Params &p) {
             p.compThresholdDb = -20;
             p.compRatio = 4;
             kvDoEdit(doc, KV_EDIT_COMPRESSOR);
         }},
        {"echo",
         {"echo", "--left-delay", "50"},
         true,
         [](int32_t doc, KV_Params &p) {
             p.echoLeftDelayMs = 50;
             kvDoEdit(doc, KV_EDIT_ECHO);
         }},
        {"reverb",
         {"reverb", "--room", "2"},
         true,
         [](int32_t doc, KV_Params &p) {
             p.reverbRoomSize = 2;
             kvDoEdit(doc, KV_EDIT_REVERB);
         }},
        {"simple-echo",
         {"simple-echo", "--delay", "80"},
         true,
         [](int32_t doc, KV_Params &p) {
             p.simpleEchoDelayMs = 80;
             kvDoEdit(doc, KV_EDIT_SIMPLE_ECHO);
         }},
        {"distortion",
         {"distortion", "--high-clip", "-6"},
         true,
         [](int32_t doc, KV_Params &p) {
             p.distHighClipDb = -6;
             kvDoEdit(doc, KV_EDIT_DISTORTION);
         }},
        {"fft-filter",
         {"fft-filter", "--from", "300", "--to", "3000"},
         true,
         [](int32_t doc, KV_Params &p) {
             p.fftStartHighPassHz = 300;
             p.fftStartLowPassHz = 3000;
             kvDoEdit(doc, KV_EDIT_FFT_FILTER);
         }},
        {"tone",
         {"tone", "--freq", "440", "--length", "200", "--unit", "0"},
         true,
         [](int32_t doc, KV_Params &p) {
             p.toneStartHz = 440;
             p.toneLength = 200;
             p.toneLengthUnit = 0;
             kvDoEdit(doc, KV_EDIT_TONE);
         }},
        {"pitch-fft",
         {"pitch", "--percent", "150", "--mode", "1"},
         true,
         [](int32_t doc, KV_Params &p) {
             p.pitchStart = p.pitchEnd = 150;
             p.pitchMode = 1;
             kvDoEdit(doc, KV_EDIT_PITCH);
         }},
        {"pitch-resample",
         {"pitch", "--percent", "80"},
         true,
         [](int32_t doc, KV_Params &p) {
             p.pitchStart = p.pitchEnd = 80;
             kvDoEdit(doc, KV_EDIT_PITCH);
         }},
        {"rate",
         {"rate", "48000"},
         false,
         [](int32_t doc, KV_Params &) { kvConvertSampleRate(doc, 48000); }},
        {"mono", {"mono"}, false, [](int32_t doc, KV_Params &) { kvConvertChannels(doc, 1); }},
    };
}

TEST_F(CliTest, EveryStepGivesTheBytesTheEngineGivesOnTheWholeSoundAndOnARange) {
    for (const EffectCase &step : effectCases(path("clip.wav"))) {
        SCOPED_TRACE(step.name);
        auto edit = [this, &step](int32_t doc) { step.edit(doc, params); };
        std::string expected = reference(edit);
        ASSERT_GT(expected.size(), 44u);
        EXPECT_TRUE(viaCli(step.arguments) == expected);
        if (!step.ranged) continue;
        std::vector<std::string> ranged = step.arguments;
        ranged.insert(ranged.begin() + 1, {"--range", "2205-8820"});
        EXPECT_TRUE(viaCli(ranged) == reference(edit, 2205, 8820));
    }
}

TEST_F(CliTest, RangesInEveryStatusLineFormatSelectTheSameSamples) {
    int32_t start = 100 * rate / 1000, end = 400 * rate / 1000;
    std::string expected =
        reference([](int32_t doc) { kvDoEdit(doc, KV_EDIT_REVERSE); }, start, end);
    std::string samples = std::to_string(start) + "-" + std::to_string(end);
    for (const std::string &range :
         {std::string("00:00.100-00:00.400"), std::string("0.1s-0.4s"), std::string("100ms-400ms"),
          samples, std::to_string(start) + "smp-" + std::to_string(end) + "smp"}) {
        SCOPED_TRACE(range);
        EXPECT_TRUE(viaCli({"reverse", "--range", range}) == expected);
    }
}

TEST_F(CliTest, AChainRunsItsStepsInOrderEachOnItsOwnRange) {
    std::string expected = reference([this](int32_t doc) {
        params.volumeDb = -3;
        kvDoEdit(doc, KV_EDIT_VOLUME);
        params = base;
        kvDoEdit(doc, KV_EDIT_REVERSE);
        kvSetSelection(doc, 0, 4410, -1);
        kvDoEdit(doc, KV_EDIT_FADE_IN);
        kvConvertChannels(doc, 1);
    });
    EXPECT_TRUE(viaCli({"volume", "--db", "-3", "reverse", "fade-in", "--range", "0-4410",
                        "mono"}) == expected);
}

TEST_F(CliTest, StoredPresetIsTheOneTheEditorSaved) {
    const int32_t bands[10] = {6, 4, 2, 0, 0, 0, 0, 2, 4, 6};
    kvSavePreset("EQ", "Voice", bands, sizeof bands);
    std::string expected = reference([this, &bands](int32_t doc) {
        std::memcpy(params.eqBandDb, bands, sizeof bands);
        kvDoEdit(doc, KV_EDIT_EQUALIZER);
    });
    EXPECT_TRUE(viaCli({"eq", "--preset", "voice"}) == expected);
    CliRun listed = cli({"presets", "eq"});
    EXPECT_EQ(listed.out, "eq\tVoice\n");
}

/* A refusal: the arguments, the status, words of the message, and the
 * output that must not appear. */
struct RefusalCase {
    const char *name;
    std::vector<std::string> arguments;
    int status;
    std::string message;
};

TEST_F(CliTest, RefusalsSayWhyExitWithTheirStatusAndWriteNothing) {
    std::string out = path("out.wav");
    kvTestWriteFile(path("notes.wav"), std::string(2000, 'x'));
    std::vector<RefusalCase> cases = {
        {"unknown option", {"apply", "volume", "--dbb", "3", input, "-o", out}, 2, "dbb"},
        {"value out of range", {"apply", "volume", "--db", "99", input, "-o", out}, 2, "-48 to 48"},
        {"unknown preset", {"apply", "eq", "--preset", "Nope", input, "-o", out}, 2, "Nope"},
        {"unknown extension", {"apply", "mute", input, "-o", path("out.xyz")}, 2, "out.xyz"},
        {"bit rate no encoder offers",
         {"apply", "mp3", "--bitrate", "999", input, "-o", path("out.mp3")},
         1,
         "999 kbit/s"},
        {"missing file",
         {"apply", "mute", path("missing.wav"), "-o", out},
         1,
         "missing.wav: Can't open file"},
        {"unsupported file",
         {"apply", "mute", path("notes.wav"), "-o", out},
         1,
         "notes.wav: Invalid or Unsupported File Type"},
        {"read-only output",
         {"apply", "mute", input, "-o", "/proc/korvel-out.wav"},
         1,
         "take.wav: Can't create temporary file"},
    };
    for (const RefusalCase &refusal : cases) {
        SCOPED_TRACE(refusal.name);
        CliRun run = cli(refusal.arguments);
        EXPECT_EQ(run.status, refusal.status);
        EXPECT_NE(run.err.find(refusal.message), std::string::npos) << run.err;
        EXPECT_FALSE(kvTestFileExists(refusal.arguments.back()));
        EXPECT_FALSE(kvTestFileExists(refusal.arguments.back() + ".kv"));
    }
}

/* True when the engine can write FLAC (libsndfile is installed). */
static bool flacWritable() {
    int32_t doc = kvCreate(nullptr);
    kvNew(doc, 2, 16, 1, 44100);
    bool writable = kvSetSaveFormat(doc, KV_FORMAT_FLAC, 16, 5) == 0;
    kvClose(doc);
    return writable;
}

TEST_F(CliTest, LibraryKindsAreWrittenByTheirExtension) {
    if (!flacWritable()) GTEST_SKIP() << "libsndfile is not installed";
    struct Kind {
        const char *file;
        int32_t formatTag;
    };
    for (const Kind &kind : {Kind{"out.flac", KV_FORMAT_FLAC}, Kind{"out.ogg", KV_FORMAT_VORBIS},
                             Kind{"out.aif", KV_FORMAT_AIFF}}) {
        SCOPED_TRACE(kind.file);
        CliRun run = cli({"apply", "volume", "--db", "0", input, "-q", "-o", path(kind.file)});
        ASSERT_EQ(run.status, 0) << run.err;
        int32_t doc = kvCreate(nullptr);
        ASSERT_EQ(kvOpen(doc, path(kind.file).c_str()), 0);
        EXPECT_EQ(kvGetFormatTag(doc), kind.formatTag);
        int32_t original = kvCreate(nullptr);
        ASSERT_EQ(kvOpen(original, input.c_str()), 0);
        EXPECT_EQ(kvGetLength(doc), kvGetLength(original));
        kvClose(original);
        kvClose(doc);
    }
}

TEST_F(CliTest, AnExistingOutputIsKeptUnlessForceOrInPlaceIsGiven) {
    std::string out = path("out.wav");
    kvTestWriteFile(out, "keep me");
    CliRun refused = cli({"apply", "mute", input, "-o", out});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("--force"), std::string::npos);
    EXPECT_EQ(kvTestReadFile(out), "keep me");
    std::string before = kvTestReadFile(input);
    EXPECT_EQ(cli({"apply", "mute", input, "--in-place"}).status, 0);
    EXPECT_NE(kvTestReadFile(input), before);
    EXPECT_FALSE(kvTestFileExists(input + ".bak"));
}

TEST_F(CliTest, AFailingFileDoesNotStopTheOthers) {
    std::string second = path("second.wav");
    kvTestWriteFile(second, kvTestReadFile(input));
    CliRun run = cli({"apply", "mp3", "--bitrate", "64", input, path("missing.wav"), second});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(kvTestFileExists(path("take.mp3")));
    EXPECT_TRUE(kvTestFileExists(path("second.mp3")));
    EXPECT_FALSE(kvTestFileExists(path("missing.mp3")));
}

TEST_F(CliTest, WorkerProcessesWriteWhatOneProcessWrites) {
    std::vector<std::string> names;
    for (uint32_t i = 0; i < 3; i++) {
        names.push_back(path("in" + std::to_string(i) + ".wav"));
        kvTestWriteFile(names.back(), waveBytes(2, rate, testSignal(2, frames, 10 + i)));
    }
    std::vector<std::string> contents[2];
    for (int jobs : {1, 3}) {
        std::string folder = path("out" + std::to_string(jobs));
        std::vector<std::string> arguments = {"apply", "echo", "normalize",         "--output-dir",
                                              folder,  "-j",   std::to_string(jobs)};
        arguments.insert(arguments.end(), names.begin(), names.end());
        ASSERT_EQ(cli(arguments).status, 0);
        for (uint32_t i = 0; i < 3; i++)
            contents[jobs > 1].push_back(
                kvTestReadFile(folder + "/in" + std::to_string(i) + ".wav"));
    }
    EXPECT_EQ(contents[0], contents[1]);
    EXPECT_GT(contents[0][0].size(), 44u);
}

TEST_F(CliTest, TheEditorsWorkingFolderAndStoredSettingsAreLeftAlone) {
    kvTestWriteFile(workFolder + "/COPY.tmp", "the editor's clipboard");
    kvTestWriteFile(workFolder + "/DATA0000.tmp", "the editor's samples");
    ASSERT_EQ(cli({"apply", "volume", "--db", "6", input, "-o", path("out.wav")}).status, 0);
    EXPECT_EQ(kvTestReadFile(workFolder + "/COPY.tmp"), "the editor's clipboard");
    EXPECT_EQ(kvTestReadFile(workFolder + "/DATA0000.tmp"), "the editor's samples");
    KV_Params stored{};
    EXPECT_EQ(kvGetReg("Settings", "Parameters", &stored, sizeof stored), -1);
    std::vector<std::string> left; /* the batch session's own folder is gone */
    for (const auto &entry : std::filesystem::directory_iterator(tempFolder))
        left.push_back(entry.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"KORVEL"});
}

TEST_F(CliTest, LoudnessStepBringsTheFileToTheTargetGivenInTenths) {
    std::string out = path("loud.wav");
    ASSERT_EQ(cli({"apply", "loudness", "--target", "-200", input, "-o", out}).status, 0);
    int32_t doc = kvCreate(nullptr);
    ASSERT_EQ(kvOpen(doc, out.c_str()), 0);
    KV_Loudness loudness{};
    ASSERT_EQ(kvMeasureLoudness(doc, &loudness, sizeof loudness), 0);
    EXPECT_NEAR(loudness.integratedLufs, -20.0, 0.1);
    kvClose(doc);
}

TEST_F(CliTest, InfoReportsWhatTheEngineReads) {
    CliRun run = cli({"info", "--json", input});
    ASSERT_EQ(run.status, 0);
    int32_t doc = kvCreate(nullptr);
    ASSERT_EQ(kvOpen(doc, input.c_str()), 0);
    for (const std::string &field :
         {"\"rate\": " + std::to_string(kvGetSampleRate(doc)),
          "\"channels\": " + std::to_string(kvGetChannels(doc)),
          "\"samples\": " + std::to_string(kvGetLength(doc)), std::string("\"format\": \"wav16\"")})
        EXPECT_NE(run.out.find(field), std::string::npos) << field << "\n" << run.out;
    KV_Loudness loudness{};
    ASSERT_EQ(kvMeasureLoudness(doc, &loudness, sizeof loudness), 0);
    size_t at = run.out.find("\"loudness_lufs\": ");
    ASSERT_NE(at, std::string::npos) << run.out;
    EXPECT_NEAR(std::stod(run.out.substr(at + 17)), loudness.integratedLufs, 0.05);
    kvClose(doc);
}

} // namespace
