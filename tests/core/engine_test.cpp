/*
 * Engine start and stop: which stored records are taken, where the working
 * folder goes, and what start-up and clean-up leave in it.
 */
#include "engine/core/engine.h"
#include "engine/platform/messages.h"
#include "engine/platform/paths.h"
#include "engine/platform/store.h"
#include "tests/support/document_fixture.h"
#include "tests/support/test_support.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

class EngineLifecycle : public KvSandbox {
  protected:
    void SetUp() override {
        KvSandbox::SetUp();
        kvTestTakeShownBoxes();
    }
    void TearDown() override {
        KvSandbox::TearDown();
        kvStoreClose();
    }
};

TEST_F(EngineLifecycle, StoredRecordsOfTheRightSizeReplaceTheDefaults) {
    KV_Options stored = options;
    stored.timeFormat = 3;
    stored.fftSize = 4096;
    KV_Params storedParams = params;
    storedParams.volumeDb = -7;
    ASSERT_EQ(kvSetReg("Settings", "Options", &stored, 144), 0);
    ASSERT_EQ(kvSetReg("Settings", "Parameters", &storedParams, 344), 0);
    ASSERT_EQ(startEngine(), 0);
    EXPECT_EQ(options.timeFormat, 3);
    EXPECT_EQ(options.fftSize, 4096);
    EXPECT_EQ(params.volumeDb, -7);
}

TEST_F(EngineLifecycle, StoredRecordsOfAnotherSizeAreIgnored) {
    KV_Options stored = options;
    stored.timeFormat = 2;
    ASSERT_EQ(kvSetReg("Settings", "Options", &stored, 140), 0);
    KV_Params storedParams = params;
    storedParams.volumeDb = 5;
    ASSERT_EQ(kvSetReg("Settings", "Parameters", &storedParams, 340), 0);
    ASSERT_EQ(startEngine(), 0);
    EXPECT_EQ(options.timeFormat, 0);
    EXPECT_EQ(params.volumeDb, 0);
}

TEST_F(EngineLifecycle, CleanUpStoresBothRecords) {
    ASSERT_EQ(startEngine(), 0);
    options.scrollMode = 2;
    params.toneStartHz = 1234;
    stopEngine();
    KV_Options storedOptions;
    KV_Params storedParams;
    ASSERT_EQ(kvGetReg("Settings", "Options", &storedOptions, 144), 144);
    ASSERT_EQ(kvGetReg("Settings", "Parameters", &storedParams, 344), 344);
    EXPECT_EQ(std::memcmp(&storedOptions, &options, 144), 0);
    EXPECT_EQ(storedParams.toneStartHz, 1234);
}

TEST_F(EngineLifecycle, LimitsAreStoredAtCleanUpAndComeBackHeldToTheirRange) {
    ASSERT_EQ(startEngine(), 0);
    KV_Limits limits{};
    ASSERT_EQ(kvGetLimits(&limits, sizeof limits), 0);
    EXPECT_EQ(limits.maxUndoLevels, 0) << "no stored record: every state is kept";
    EXPECT_EQ(kvGetLimits(&limits, sizeof limits - 4), -1);
    for (int32_t stored :
         {0, 1, 250, KV_MOST_UNDO_LEVELS, KV_MOST_UNDO_LEVELS + 1, INT32_MAX, -1, INT32_MIN}) {
        SCOPED_TRACE(stored);
        limits.maxUndoLevels = stored;
        limits.reserved[2] = stored;
        ASSERT_EQ(kvSetLimits(&limits, sizeof limits), 0);
        stopEngine();
        KV_Limits onDisk{};
        ASSERT_EQ(kvGetReg("Settings", "Limits", &onDisk, sizeof onDisk), 32);
        EXPECT_EQ(onDisk.maxUndoLevels, std::clamp(stored, 0, KV_MOST_UNDO_LEVELS));
        /* A record damaged on disk is held to the range at start, as a set one is. */
        ASSERT_EQ(kvSetReg("Settings", "Limits", &limits, sizeof limits), 0);
        ASSERT_EQ(startEngine(), 0);
        KV_Limits restored{};
        ASSERT_EQ(kvGetLimits(&restored, sizeof restored), 0);
        EXPECT_EQ(restored.maxUndoLevels, onDisk.maxUndoLevels);
        EXPECT_EQ(restored.reserved[2], stored) << "fields not yet used stay as stored";
    }
    KV_Limits before{};
    kvGetLimits(&before, sizeof before);
    limits.maxUndoLevels = 5;
    EXPECT_EQ(kvSetLimits(&limits, sizeof limits + 4), -1);
    EXPECT_EQ(kvSetLimits(nullptr, sizeof limits), -1);
    kvGetLimits(&limits, sizeof limits);
    EXPECT_EQ(std::memcmp(&limits, &before, sizeof limits), 0);
}

TEST_F(EngineLifecycle, DisplaySettingsAreStoredAtCleanUpAndComeBackHeldToTheirRange) {
    ASSERT_EQ(startEngine(), 0);
    KV_ViewOptions display{};
    ASSERT_EQ(kvGetViewOptions(&display, sizeof display), 0);
    const KV_ViewOptions firstRun = kvDefaultViewOptions();
    EXPECT_EQ(std::memcmp(&display, &firstRun, sizeof display), 0)
        << "no stored record: the first run's settings";
    display.frequencyScale = KV_FREQUENCY_LOG;
    display.gainDb = 12;
    ASSERT_EQ(kvSetViewOptions(&display, sizeof display), 0);
    EXPECT_EQ(kvSetViewOptions(&display, sizeof display - 4), -1);
    stopEngine();
    KV_ViewOptions onDisk{};
    ASSERT_EQ(kvGetReg("Settings", "Display", &onDisk, sizeof onDisk), 64);
    EXPECT_EQ(std::memcmp(&onDisk, &display, sizeof display), 0);
    onDisk.rangeDb = 100000;
    onDisk.colorMap = -3;
    ASSERT_EQ(kvSetReg("Settings", "Display", &onDisk, sizeof onDisk), 0);
    ASSERT_EQ(startEngine(), 0);
    KV_ViewOptions restored{};
    ASSERT_EQ(kvGetViewOptions(&restored, sizeof restored), 0);
    EXPECT_EQ(restored.rangeDb, KV_MOST_SPECTRUM_RANGE_DB);
    EXPECT_EQ(restored.colorMap, KV_COLORMAP_PERCEPTUAL);
    EXPECT_EQ(restored.frequencyScale, KV_FREQUENCY_LOG);
    EXPECT_EQ(restored.gainDb, 12);
}

TEST_F(EngineLifecycle, WorkFolderSizeCountsTheEngineFilesOnly) {
    EXPECT_EQ(kvGetWorkFolderSize(nullptr), -1);
    int64_t bytes = -1;
    EXPECT_EQ(kvGetWorkFolderSize(&bytes), -1) << "not running";
    ASSERT_EQ(startEngine(), 0);
    struct {
        const char *name;
        bool counted;
    } const files[] = {{"DATA0003.tmp", true},  {"DATA00A1.tmp", true},  {"0001000F.tmp", true},
                       {"00020001A.tmp", true}, {"COPY.tmp", true},      {"notes.txt", false},
                       {"DATA1.tmp", false},    {"0001000G.tmp", false}, {"00010002.wav", false},
                       {"copy.tmp", false},     {"DATAXYZW.tmp", false}, {"0001.tmp", false}};
    int64_t expected = 0;
    for (size_t i = 0; i < std::size(files); i++) {
        std::string bytesOf(100 + 37 * i, 'x');
        kvTestWriteFile(workFolder + "/" + files[i].name, bytesOf);
        if (files[i].counted) expected += static_cast<int64_t>(bytesOf.size());
    }
    ASSERT_EQ(kvGetWorkFolderSize(&bytes), 0);
    EXPECT_EQ(bytes, expected);
}

TEST_F(EngineLifecycle, WorkFolderIsCreatedWithEveryMissingParent) {
    std::string deep = path("not/yet/there");
    setenv("KORVEL_TMPDIR", deep.c_str(), 1);
    ASSERT_EQ(startEngine(), 0);
    EXPECT_EQ(kvEngine.workRoot, deep + "/KORVEL");
    struct stat info;
    ASSERT_EQ(stat(kvEngine.workRoot.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(EngineLifecycle, TempFolderWithTrailingSlashGetsNoDoubleSlash) {
    setenv("KORVEL_TMPDIR", (tempFolder + "/").c_str(), 1);
    ASSERT_EQ(startEngine(), 0);
    EXPECT_EQ(kvEngine.workRoot, tempFolder + "/KORVEL");
    EXPECT_EQ(kvEngine.clipboardPath.rfind(tempFolder + "/KORVEL/SESSION-", 0), 0u);
}

TEST_F(EngineLifecycle, UnusableDriveFallsBackToTheSystemFolderAndForgetsTheDrive) {
    char missing = 'Z';
    for (const KvDrive &drive : kvListDrives())
        if (drive.letter == missing) missing = 'Y';
    options.tempDrive = missing;
    ASSERT_EQ(startEngine(), 0);
    EXPECT_EQ(kvEngine.workFolder, workFolder);
    EXPECT_EQ(options.tempDrive, 0);
    std::vector<KvShownBox> boxes = kvTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Korvel Error");
    EXPECT_EQ(boxes[0].text, std::string("Couldn't create temp directory on drive ") + missing +
                                 ":\n\nReverting to system Temp directory");
    stopEngine();
    KV_Options stored;
    ASSERT_EQ(kvGetReg("Settings", "Options", &stored, 144), 144);
    EXPECT_EQ(stored.tempDrive, 0);
}

/* An older run's files lying loose in the working folder would never be
 * read again: they go at start, the user's own files stay. */
TEST_F(EngineLifecycle, LooseFilesOfOlderRunsGoAtStartAndTheSessionAtCleanUp) {
    std::filesystem::create_directories(workRoot);
    std::filesystem::permissions(workRoot, std::filesystem::perms::owner_all);
    for (const char *name : {"DATA0000.tmp", "COPY.tmp", "00010002.tmp", "notes.txt"})
        kvTestWriteFile(workRoot + "/" + name, "old");
    ASSERT_EQ(startEngine(), 0);
    EXPECT_NE(workFolder, workRoot);
    std::set<std::string> left;
    for (const auto &entry : std::filesystem::directory_iterator(workRoot))
        left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"notes.txt", workFolder.substr(workRoot.size() + 1)}));
    stopEngine();
    std::filesystem::remove(workRoot + "/notes.txt");
    EXPECT_TRUE(std::filesystem::is_empty(workRoot));
}

TEST_F(EngineLifecycle, HeadlessStartNeedsNoWindowAndNoCallback) {
    ASSERT_EQ(kvInit(nullptr, &options, 144, &params, 344, nullptr, nullptr, nullptr), 0);
    engineStarted = true;
    EXPECT_EQ(kvEngine.messageWindow, nullptr);
    EXPECT_EQ(kvEngine.options, &options);
}

TEST_F(EngineLifecycle, StartRaisesTheOpenFileLimitSoLongSessionsKeepTheirDataFiles) {
    struct rlimit limit;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max <= 256) GTEST_SKIP() << "the hard limit leaves nothing to raise";
    struct rlimit lowered = limit;
    lowered.rlim_cur = 256;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    ASSERT_EQ(kvInit(nullptr, &options, 144, &params, 344, nullptr, nullptr, nullptr), 0);
    engineStarted = true;
    struct rlimit raised;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &raised), 0);
    EXPECT_EQ(raised.rlim_cur, limit.rlim_max);
}

using EngineLifecycleDeathTest = EngineLifecycle;

TEST_F(EngineLifecycleDeathTest, WrongRecordSizesAreFatal) {
    EXPECT_EXIT(kvInit(nullptr, &options, 140, &params, 344, nullptr, nullptr, nullptr),
                ::testing::ExitedWithCode(1), "Size Mismatch on KV_Options: 140 144");
    EXPECT_EXIT(kvInit(nullptr, &options, 144, &params, 348, nullptr, nullptr, nullptr),
                ::testing::ExitedWithCode(1), "Size Mismatch on KV_Params: 348 344");
}

TEST_F(EngineLifecycleDeathTest, UncreatableSystemFolderIsFatal) {
    kvTestWriteFile(path("plainfile"), "x");
    setenv("KORVEL_TMPDIR", path("plainfile/sub").c_str(), 1);
    EXPECT_EXIT(startEngine(), ::testing::ExitedWithCode(1),
                "Can't create temp directory: .*/plainfile\n");
}

/* Another user who prepared the working folder in a shared place, with
 * links under the names of the data, state and clipboard files, gets none
 * of our samples and cannot make us write through the links. */
class SharedWorkFolder : public DocumentTest {
  protected:
    void SetUp() override { KvSandbox::SetUp(); }

    /* The working folder is a folder of ours only we can enter. */
    static void expectPrivateWorkFolder() {
        struct stat info {};
        ASSERT_EQ(lstat(kvEngine.workFolder.c_str(), &info), 0) << kvEngine.workFolder;
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_uid, geteuid());
        EXPECT_EQ(info.st_mode & 077, 0u) << kvEngine.workFolder;
    }
};

TEST_F(SharedWorkFolder, AnotherUsersFolderIsNotAdoptedAndItsLinksAreNotFollowed) {
    std::string shared = sharedFolder();
    std::string victim = path("victim.txt");
    kvTestWriteFile(victim, "the user's own file");
    std::string planted = shared + "/KORVEL";
    int other = kvTestAsOtherUser([&] {
        if (mkdir(planted.c_str(), 0777) != 0 || chmod(planted.c_str(), 0777) != 0) return false;
        for (const char *name : {"DATA0000.tmp", "00000000.tmp", "COPY.tmp"})
            if (symlink(victim.c_str(), (planted + "/" + name).c_str()) != 0) return false;
        return true;
    });
    if (other < 0) GTEST_SKIP() << "needs root, to act as another user";
    kvTestEndOtherUser(other);
    setenv("KORVEL_TMPDIR", shared.c_str(), 1);
    ASSERT_EQ(startEngine(), 0);
    int32_t doc = makeDocument(8000, std::vector<float>(5000, 0.5f));
    ASSERT_EQ(kvCopy(doc), 0);
    EXPECT_EQ(kvTestReadFile(victim), "the user's own file");
    EXPECT_NE(kvEngine.workFolder, planted);
    EXPECT_NE(kvEngine.workFolder.rfind(planted + "/", 0), 0u) << kvEngine.workFolder;
    expectPrivateWorkFolder();
}

/* A folder of the user's own that others may enter is not worked in
 * either: the files go to a private folder inside it. */
TEST_F(SharedWorkFolder, AnOpenFolderOfOursGetsAPrivateFolderInside) {
    mkdir(tempFolder.c_str(), 0700);
    mkdir(workRoot.c_str(), 0755);
    chmod(workRoot.c_str(), 0755);
    ASSERT_EQ(startEngine(), 0);
    EXPECT_NE(kvEngine.workRoot, workRoot);
    EXPECT_EQ(kvEngine.workFolder.rfind(workRoot + "/", 0), 0u) << kvEngine.workFolder;
    expectPrivateWorkFolder();
}
