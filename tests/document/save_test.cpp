/*
 * Saving: sample conversion of every format, byte-exact round trips, files
 * sox reads back, and the temporary-file and backup rules under failure.
 */
#include "engine/codec/codec.h"
#include "engine/document/wave.h"
#include "tests/document/wave_files.h"
#include "tests/support/document_fixture.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>

class Saving : public OneDocumentTest {
  protected:
    /* Replaces the document's sound by these samples in one edit. */
    void setSamples(const std::vector<float> &left, const std::vector<float> &right) {
        ASSERT_EQ(replace(doc, 0, kvGetLength(doc), -1, left, right), 0);
    }
    void makeFormat(int32_t channels, int32_t bits, int32_t formatTag) {
        kvNew(doc, channels, bits, formatTag, 8000);
    }
    /* A short stereo document that is not saved. */
    void makeEditedDocument() {
        makeFormat(2, 16, 1);
        setSamples(std::vector<float>(3 * 4096 + 5, 0.25f),
                   std::vector<float>(3 * 4096 + 5, -0.25f));
        ASSERT_EQ(kvIsSaved(doc), 0);
    }
    std::string lastMessage() {
        std::vector<KvShownBox> boxes = kvTestTakeShownBoxes();
        return boxes.empty() ? "" : boxes.back().text;
    }
};

/* The sample bytes of a saved file after its 44-byte header. */
static std::string sampleBytes(const std::string &file) {
    return kvTestReadFile(file).substr(44);
}

TEST_F(Saving, SixteenBitClampsAndTruncates) {
    makeFormat(1, 16, 1);
    setSamples({1.0f, -1.0f, 1.5f, -0.99999f, NAN}, {});
    ASSERT_EQ(kvSave(doc, path("out.wav").c_str()), 0);
    std::string expected;
    for (int32_t value : {32767, -32768, 32767, -32767, 0})
        testPut16(expected, value);
    EXPECT_EQ(sampleBytes(path("out.wav")), expected);
}

TEST_F(Saving, EightBitSilenceIsTheMiddleValue) {
    makeFormat(1, 8, 1);
    setSamples({0.0f, -1.0f, 1.0f, -0.5f, 0.9921875f}, {});
    ASSERT_EQ(kvSave(doc, path("out.wav").c_str()), 0);
    EXPECT_EQ(sampleBytes(path("out.wav")), std::string("\x80\x00\xFF\x40\xFF", 5));
}

TEST_F(Saving, ThirtyTwoBitPcmLeavesTheLowByteZero) {
    makeFormat(1, 32, 1);
    setSamples({0.5f, -1.0f, 2.0f}, {});
    ASSERT_EQ(kvSave(doc, path("out.wav").c_str()), 0);
    std::string expected;
    for (uint32_t value : {0x40000000u, 0x80000000u, 0x7FFFFF00u})
        testPut32(expected, value);
    EXPECT_EQ(sampleBytes(path("out.wav")), expected);
}

TEST_F(Saving, FloatFormatsClampToFullScale) {
    makeFormat(1, 32, 3);
    setSamples({1.5f, -2.0f, 0.125f}, {});
    ASSERT_EQ(kvSave(doc, path("f32.wav").c_str()), 0);
    std::string bytes = sampleBytes(path("f32.wav"));
    float f32[3];
    ASSERT_EQ(bytes.size(), sizeof f32);
    std::memcpy(f32, bytes.data(), sizeof f32);
    EXPECT_EQ(f32[0], 1.0f);
    EXPECT_EQ(f32[1], -1.0f);
    EXPECT_EQ(f32[2], 0.125f);
    kvGetDocument(doc)->bitsPerSample = 64;
    ASSERT_EQ(kvSave(doc, path("f64.wav").c_str()), 0);
    bytes = sampleBytes(path("f64.wav"));
    double f64[3];
    ASSERT_EQ(bytes.size(), sizeof f64);
    std::memcpy(f64, bytes.data(), sizeof f64);
    EXPECT_EQ(f64[0], 1.0);
    EXPECT_EQ(f64[1], -1.0);
    EXPECT_EQ(f64[2], 0.125);
}

TEST_F(Saving, HeaderDescribesTheDocument) {
    makeFormat(2, 16, 1);
    setSamples(std::vector<float>(10, 0.0f), std::vector<float>(10, 0.0f));
    ASSERT_EQ(kvSave(doc, path("out.wav").c_str()), 0);
    TestWave wave;
    wave.sampleRate = 8000;
    wave.samples = std::string(40, '\0');
    EXPECT_EQ(kvTestReadFile(path("out.wav")), wave.bytes());
}

/* Opening a canonical file and saving it unchanged gives the same bytes. */
struct RoundTrip {
    const char *name;
    int32_t bits;
    int32_t formatTag;
    std::string (*samples)();
};

class SavingRoundTrip : public Saving, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(SavingRoundTrip, UnchangedFileSavesToTheSameBytes) {
    TestWave wave;
    wave.bitsPerSample = GetParam().bits;
    wave.formatTag = GetParam().formatTag;
    wave.samples = GetParam().samples();
    ASSERT_EQ(openBytes(wave.bytes()), 0);
    ASSERT_EQ(kvSave(doc, path("copy.wav").c_str()), 0);
    std::string saved = kvTestReadFile(path("copy.wav")), original = wave.bytes();
    ASSERT_EQ(saved.size(), original.size());
    auto difference = std::mismatch(saved.begin(), saved.end(), original.begin()).first;
    EXPECT_EQ(difference - saved.begin(), static_cast<ptrdiff_t>(saved.size()));
}

static std::string everyByte() {
    std::string bytes;
    for (int i = 0; i < 256; i++)
        bytes += static_cast<char>(i), bytes += static_cast<char>(255 - i);
    return bytes;
}
static std::string pcm16Ramp() {
    std::string bytes;
    for (int i = -32768; i < 32768; i += 7)
        testPut16(bytes, i), testPut16(bytes, -i - 1);
    return bytes;
}
static std::string pcm24Ramp() {
    std::string bytes;
    for (int32_t i = -8388608; i < 8388608; i += 4099)
        for (int32_t value : {i, -i - 1})
            bytes += std::string(reinterpret_cast<const char *>(&value), 3);
    return bytes;
}
static std::string pcm32Ramp() {
    std::string bytes;
    for (int64_t i = -8388608; i < 8388608; i += 4099)
        testPut32(bytes, static_cast<uint32_t>(i) << 8),
            testPut32(bytes, static_cast<uint32_t>(-i - 1) << 8);
    return bytes;
}
static std::string float32Values() {
    std::vector<float> values;
    for (int i = 0; i < 2000; i++)
        values.push_back(std::sin(i * 0.01f) * (i % 2 ? 1.0f : -1.0f));
    values.push_back(1.0f);
    values.push_back(-1.0f);
    return std::string(reinterpret_cast<const char *>(values.data()), values.size() * 4);
}
static std::string float64Values() {
    std::vector<double> values;
    for (int i = 0; i < 2000; i++)
        values.push_back(static_cast<float>(std::cos(i * 0.37)));
    return std::string(reinterpret_cast<const char *>(values.data()), values.size() * 8);
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, SavingRoundTrip,
                         ::testing::Values(RoundTrip{"Pcm8", 8, 1, everyByte},
                                           RoundTrip{"Pcm16", 16, 1, pcm16Ramp},
                                           RoundTrip{"Pcm24", 24, 1, pcm24Ramp},
                                           RoundTrip{"Pcm32", 32, 1, pcm32Ramp},
                                           RoundTrip{"Float32", 32, 3, float32Values},
                                           RoundTrip{"Float64", 64, 3, float64Values}),
                         [](const auto &info) { return std::string(info.param.name); });

/* sox reads back the samples we put in a saved file: exactly for integer
 * formats; float files pass through sox's 32-bit integer samples, which can
 * move the last bit of a float. */
class SavedForSox : public Saving, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(SavedForSox, SoxReadsTheSamplesWeWrote) {
    makeFormat(2, GetParam().bits, GetParam().formatTag);
    std::vector<float> left, right;
    for (int i = 0; i < 5000; i++) {
        left.push_back(std::sin(i * 0.05f) * 0.8f);
        right.push_back(std::cos(i * 0.013f) * 0.6f);
    }
    setSamples(left, right);
    ASSERT_EQ(kvSave(doc, path("ours.wav").c_str()), 0);
    int32_t reopened = kvCreate(nullptr);
    ASSERT_EQ(kvOpen(reopened, path("ours.wav").c_str()), 0);
    std::vector<float> ourLeft(5000), ourRight(5000);
    kvReadFrames(reopened, 0, 0, 5000, ourLeft.data());
    kvReadFrames(reopened, 1, 0, 5000, ourRight.data());
    std::vector<float> sox = soxSamples(path("ours.wav"));
    ASSERT_EQ(sox.size(), 10000u);
    float tolerance = GetParam().formatTag == 3 ? 1e-7f : 0.0f;
    for (int i = 0; i < 5000; i++) {
        ASSERT_NEAR(sox[2 * i], ourLeft[i], tolerance) << i;
        ASSERT_NEAR(sox[2 * i + 1], ourRight[i], tolerance) << i;
    }
    kvClose(reopened);
}

INSTANTIATE_TEST_SUITE_P(
    EveryFormat, SavedForSox,
    ::testing::Values(RoundTrip{"Pcm8", 8, 1, nullptr}, RoundTrip{"Pcm16", 16, 1, nullptr},
                      RoundTrip{"Pcm24", 24, 1, nullptr}, RoundTrip{"Pcm32", 32, 1, nullptr},
                      RoundTrip{"Float32", 32, 3, nullptr}, RoundTrip{"Float64", 64, 3, nullptr}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Saving, NewPathIsWrittenWithoutBackupAndMarksTheDocumentSaved) {
    makeEditedDocument();
    std::string target = path("new.wav");
    ASSERT_EQ(kvSave(doc, target.c_str()), 0);
    EXPECT_TRUE(kvTestFileExists(target));
    EXPECT_EQ(kvTestFilesBeside(target), std::vector<std::string>{});
    EXPECT_EQ(kvIsSaved(doc), 1);
    EXPECT_STREQ(kvGetDocument(doc)->path, target.c_str());
}

TEST_F(Saving, ExistingFileIsReplacedAndItsBackupRemoved) {
    makeEditedDocument();
    std::string target = path("old.wav");
    kvTestWriteFile(target, "the old file");
    ASSERT_EQ(kvSave(doc, target.c_str()), 0);
    EXPECT_EQ(kvTestReadFile(target).substr(0, 4), "RIFF");
    EXPECT_EQ(kvTestFilesBeside(target), std::vector<std::string>{});
}

/* Files of the user's (or links someone planted) under the names a save
 * could pick for its temporary file or backup are neither removed nor
 * written through. */
struct PlantedName {
    const char *name;
    const char *suffix;
    bool link; /* a link to a file of the user's rather than a file */
};

class SavingBesidePlantedNames : public Saving,
                                 public ::testing::WithParamInterface<PlantedName> {};

TEST_P(SavingBesidePlantedNames, LeavesThemAsTheyWere) {
    makeEditedDocument();
    std::string target = path("take.wav");
    std::string planted = target + GetParam().suffix;
    kvTestWriteFile(target, "the old file");
    kvTestWriteFile(path("victim.txt"), "the user's notes");
    if (GetParam().link)
        ASSERT_EQ(symlink(path("victim.txt").c_str(), planted.c_str()), 0);
    else
        kvTestWriteFile(planted, "the user's own file");
    ASSERT_EQ(kvSave(doc, target.c_str()), 0) << lastMessage();
    EXPECT_EQ(kvTestReadFile(target).substr(0, 4), "RIFF");
    EXPECT_TRUE(kvTestReadFile(path("victim.txt")) == "the user's notes") << "written through";
    EXPECT_EQ(std::filesystem::is_symlink(planted), GetParam().link);
    std::string kept = GetParam().link ? "the user's notes" : "the user's own file";
    EXPECT_TRUE(kvTestReadFile(planted) == kept) << "removed or replaced";
}

INSTANTIATE_TEST_SUITE_P(EveryName, SavingBesidePlantedNames,
                         ::testing::Values(PlantedName{"BackupFile", ".bak", false},
                                           PlantedName{"TemporaryFile", ".kv", false},
                                           PlantedName{"BackupLink", ".bak", true},
                                           PlantedName{"TemporaryLink", ".kv", true}),
                         [](const auto &info) { return std::string(info.param.name); });

/* What a save that died left beside the target goes at the next save;
 * the files of a save still running (its temporary file locked) and names
 * that are not a save's stay. */
TEST_F(Saving, LeftoversOfDeadSavesGoAndThoseOfARunningSaveStay) {
    makeEditedDocument();
    std::string target = path("take.wav");
    kvTestWriteFile(target, "the old file");
    for (const char *name : {".take.wav.kv-Dead01", ".take.wav.bak-Dead01", ".take.wav.kv-Live01",
                             ".take.wav.bak-Live01", ".take.wav.kv-notes"})
        kvTestWriteFile(path(name), "left");
    int running = ::open(path(".take.wav.kv-Live01").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(running, LOCK_EX), 0);
    ASSERT_EQ(kvSave(doc, target.c_str()), 0) << lastMessage();
    ::close(running);
    EXPECT_EQ(kvTestFilesBeside(target),
              std::vector<std::string>(
                  {".take.wav.bak-Live01", ".take.wav.kv-Live01", ".take.wav.kv-notes"}));
}

TEST_F(Saving, ThroughASymlinkWritesTheFileItPointsToAndKeepsTheLink) {
    makeEditedDocument();
    std::filesystem::create_directory(path("takes"));
    std::string real = path("takes/real.wav");
    kvTestWriteFile(real, "the old file");
    chmod(real.c_str(), 0640);
    ASSERT_EQ(symlink("takes/real.wav", path("link.wav").c_str()), 0);
    ASSERT_EQ(kvSave(doc, path("link.wav").c_str()), 0) << lastMessage();
    ASSERT_TRUE(std::filesystem::is_symlink(path("link.wav")));
    EXPECT_EQ(std::filesystem::read_symlink(path("link.wav")), "takes/real.wav");
    EXPECT_EQ(kvTestReadFile(real).substr(0, 4), "RIFF");
    struct stat info {};
    ASSERT_EQ(stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(kvTestFilesBeside(real), std::vector<std::string>{});
    EXPECT_STREQ(kvGetDocument(doc)->path, path("link.wav").c_str());
}

TEST_F(Saving, MissingDirectoryFailsBeforeAnythingIsWritten) {
    makeEditedDocument();
    EXPECT_EQ(kvSave(doc, path("no/such/dir/x.wav").c_str()), -1);
    EXPECT_EQ(lastMessage(), "Can't create temporary file.\n\nMake sure the directory is not "
                             "read-only and try again, or choose a different location to save "
                             "your file.");
    EXPECT_EQ(kvIsSaved(doc), 0);
    EXPECT_STREQ(kvGetDocument(doc)->path, "");
}

TEST_F(Saving, TargetThatIsAFolderIsNeitherMovedNorReplaced) {
    makeEditedDocument();
    std::string target = path("folder.wav");
    std::filesystem::create_directory(target);
    kvTestWriteFile(target + "/inside", "keep me");
    EXPECT_EQ(kvSave(doc, target.c_str()), -1);
    EXPECT_EQ(lastMessage(), "An error occurred while saving the file. Your original file has not "
                             "been affected.\n\nMake sure the file is not marked read-only and "
                             "try again.");
    EXPECT_EQ(kvTestReadFile(target + "/inside"), "keep me");
    EXPECT_EQ(kvTestFilesBeside(target), std::vector<std::string>{});
    EXPECT_EQ(kvIsSaved(doc), 0);
}

TEST_F(Saving, FailedWriteLeavesTheTargetAndTheSavedStateAlone) {
    makeEditedDocument();
    std::string target = path("precious.wav");
    kvTestWriteFile(target, "precious contents");
    kvTestTakeShownBoxes();
    kvTestFileFault(KV_FAULT_WRITE, 3, -1);
    EXPECT_EQ(kvSave(doc, target.c_str()), -1);
    kvTestFileFault(KV_FAULT_WRITE, 0, 0);
    EXPECT_EQ(lastMessage(),
              "Error writing to file. Make sure your disk is not full, and try again.");
    EXPECT_EQ(kvTestReadFile(target), "precious contents");
    EXPECT_EQ(kvTestFilesBeside(target), std::vector<std::string>{});
    EXPECT_EQ(kvIsSaved(doc), 0);
}

static KV_Params *cancellingParams = nullptr;
static void cancelOnFirstReport(const char *, int32_t, int32_t percent, int32_t) {
    if (percent >= 0 && cancellingParams) cancellingParams->cancelRequested = 1;
}

TEST_F(Saving, CancelLeavesNoTemporaryFileAndNoChange) {
    kvClose(doc);
    stopEngine();
    ASSERT_EQ(kvInit(nullptr, &options, 144, &params, 344, nullptr, cancelOnFirstReport, nullptr),
              0);
    engineStarted = true;
    doc = kvCreate(nullptr);
    cancellingParams = nullptr;
    makeEditedDocument();
    cancellingParams = &params;
    std::string target = path("cancelled.wav");
    EXPECT_EQ(kvSave(doc, target.c_str()), -1);
    cancellingParams = nullptr;
    EXPECT_FALSE(kvTestFileExists(target));
    EXPECT_EQ(kvTestFilesBeside(target), std::vector<std::string>{});
    EXPECT_EQ(kvIsSaved(doc), 0);
}

/* Who may read a saved file is the user's choice, not the temporary file's:
 * a file saved over keeps the old one's permissions and group, a new one
 * gets what any new file gets. Every writer, WAVE and MP3. */
class SavingAccess : public Saving, public ::testing::WithParamInterface<int32_t> {
  protected:
    void SetUp() override {
        Saving::SetUp();
        kvNew(doc, 2, 16, 1, 44100);
        setSamples(std::vector<float>(5000, 0.25f), std::vector<float>(5000, -0.25f));
        if (GetParam() != 85) return;
        KV_Document *document = kvGetDocument(doc);
        document->codecDriver = kvFindCodec(2, 44100);
        if (!document->codecDriver) GTEST_SKIP() << "no MP3 encoder installed";
        document->formatTag = 85;
        document->bitRate = 128;
    }
    /* The permission bits and the group of a file. */
    static struct stat accessOf(const std::string &file) {
        struct stat info {};
        EXPECT_EQ(stat(file.c_str(), &info), 0) << file;
        return info;
    }
};

/* A group other than our own that a file of ours may be given, or our own
 * when there is none. */
static gid_t anotherGroup() {
    gid_t groups[64];
    int count = getgroups(64, groups);
    for (int i = 0; i < count; i++)
        if (groups[i] != getegid()) return groups[i];
    return geteuid() == 0 ? getegid() + 1 : getegid();
}

TEST_P(SavingAccess, PermissionsAreTheOldFilesOrTheDefaultForANewOne) {
    struct Case {
        const char *file;
        int oldMode; /* -1: nothing there before */
        mode_t umask;
        mode_t expected;
    };
    for (const Case &c :
         {Case{"over-0644", 0644, 077, 0644}, Case{"over-0640", 0640, 022, 0640},
          Case{"new-umask-027", -1, 027, 0640}, Case{"new-umask-002", -1, 002, 0664}}) {
        SCOPED_TRACE(c.file);
        std::string target = path(c.file);
        if (c.oldMode >= 0) {
            kvTestWriteFile(target, "the old file");
            ASSERT_EQ(chmod(target.c_str(), static_cast<mode_t>(c.oldMode)), 0);
        }
        mode_t before = umask(c.umask);
        int32_t saved = kvSave(doc, target.c_str());
        umask(before);
        ASSERT_EQ(saved, 0) << lastMessage();
        EXPECT_EQ(accessOf(target).st_mode & 07777, c.expected);
    }
}

TEST_P(SavingAccess, TheOldFilesGroupIsKept) {
    std::string target = path("grouped");
    kvTestWriteFile(target, "the old file");
    gid_t group = anotherGroup();
    if (group == getegid() || chown(target.c_str(), static_cast<uid_t>(-1), group) != 0)
        GTEST_SKIP() << "no second group to give the old file";
    ASSERT_EQ(kvSave(doc, target.c_str()), 0) << lastMessage();
    EXPECT_EQ(accessOf(target).st_gid, group);
}

INSTANTIATE_TEST_SUITE_P(EveryWriter, SavingAccess, ::testing::Values(1, 85),
                         [](const auto &info) { return info.param == 85 ? "Mp3" : "Wave"; });

/* 16-bit conversion runs eight frames at a time with the rest one by one:
 * 21 frames cover both, each value is tried in the left and the right
 * channel at many positions, and mono too. */
TEST(SixteenBitConversion, EveryPositionClampsAndTruncatesAlike) {
    const std::pair<float, int16_t> cases[] = {{1.0f, 32767},
                                               {-1.0f, -32768},
                                               {1.5f, 32767},
                                               {-0.99999f, -32767},
                                               {NAN, 0},
                                               {INFINITY, 32767},
                                               {-INFINITY, -32768},
                                               {0.99999994f, 32767},
                                               {-1.0f / 65536, 0},
                                               {-1.0f / 32768, -1},
                                               {1e-40f, 0},
                                               {-0.1f, -3276},
                                               {-1.0000001f, -32768},
                                               {32767.5f / 32768, 32767}};
    const int32_t frames = 21;
    for (int32_t channels : {1, 2})
        for (const auto &[value, expected] : cases)
            for (int32_t at = 0; at < frames * channels; at++) {
                std::vector<float> left(frames, 0.5f), right(frames, -0.25f);
                (at % channels ? right : left)[at / channels] = value;
                std::vector<int16_t> out(frames * channels);
                kvFloatToWave(left.data(), right.data(), 16, 1, channels, frames,
                              reinterpret_cast<uint8_t *>(out.data()));
                for (int32_t i = 0; i < frames * channels; i++)
                    ASSERT_EQ(out[i], i == at        ? expected
                                      : i % channels ? -8192
                                                     : 16384)
                        << "value " << value << " at " << at << " of " << channels;
            }
}

TEST(SixteenBitConversion, EveryValueReadsBackInItsOwnChannel) {
    for (int32_t channels : {1, 2}) {
        std::vector<int16_t> stored;
        for (int32_t value = -32768; value < 32768; value++) {
            stored.push_back(static_cast<int16_t>(value));
            if (channels == 2) stored.push_back(static_cast<int16_t>(-1 - value));
        }
        int32_t frames = static_cast<int32_t>(stored.size()) / channels;
        std::vector<float> left(frames), right(frames);
        kvWaveToFloat(reinterpret_cast<const uint8_t *>(stored.data()), 16, 1, channels, frames,
                      left.data(), right.data());
        for (int32_t i = 0; i < frames; i++) {
            ASSERT_EQ(left[i], (i - 32768) / 32768.0f) << i;
            if (channels == 2) {
                ASSERT_EQ(right[i], (32767 - i) / 32768.0f) << i;
            }
        }
    }
}
