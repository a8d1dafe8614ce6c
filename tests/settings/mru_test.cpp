/*
 * Recently used files: move-to-front with a limit of eight, case-insensitive
 * matching that keeps the latest spelling, pruning of missing files, and how
 * entries come back into the program's 256-byte buffer.
 */
#include "engine/platform/store.h"
#include "tests/support/test_support.h"

#include <cstring>
#include <string>
#include <vector>

class RecentFiles : public KvSandbox {
  protected:
    void TearDown() override {
        kvStoreClose();
        KvSandbox::TearDown();
    }

    /* The list as the program reads it: a 256-byte buffer, at most 255 bytes. */
    static std::vector<std::string> list() {
        std::vector<std::string> entries;
        for (int32_t i = 0; i < kvGetMRUCount(); i++) {
            char buffer[256] = {};
            EXPECT_GE(kvGetMRU(buffer, i, 255), 0) << "entry " << i;
            entries.emplace_back(buffer);
        }
        return entries;
    }

    static void record(const std::vector<std::string> &oldestFirst) {
        for (const std::string &path : oldestFirst)
            ASSERT_EQ(kvSetMRU(path.c_str()), 0);
    }

    /* A file that exists in this test's folder. */
    std::string existing(const std::string &name) {
        kvTestWriteFile(path(name), "x");
        return path(name);
    }
};

TEST_F(RecentFiles, NothingStoredMeansAnEmptyList) {
    char buffer[256];
    EXPECT_EQ(kvGetMRUCount(), 0);
    EXPECT_EQ(kvGetMRU(buffer, 0, 255), -1);
}

TEST_F(RecentFiles, RecordingTheThirdEntryMovesItToTheFrontAndKeepsTheCount) {
    record({"/music/c.wav", "/music/b.wav", "/music/a.wav"});
    ASSERT_EQ(list(), (std::vector<std::string>{"/music/a.wav", "/music/b.wav", "/music/c.wav"}));
    record({"/music/c.wav"});
    EXPECT_EQ(kvGetMRUCount(), 3);
    EXPECT_EQ(list(), (std::vector<std::string>{"/music/c.wav", "/music/a.wav", "/music/b.wav"}));
}

TEST_F(RecentFiles, RecordingANinthPathDropsTheOldestAndKeepsEight) {
    std::vector<std::string> paths;
    for (int i = 0; i < 9; i++)
        paths.push_back("/music/take" + std::to_string(i) + ".wav");
    record(paths);
    EXPECT_EQ(kvGetMRUCount(), 8);
    int32_t stored = 0;
    EXPECT_EQ(kvGetReg("MRU", "Count", &stored, sizeof stored), 4);
    EXPECT_EQ(stored, 8);
    std::vector<std::string> newestFirst(paths.rbegin(), paths.rend() - 1);
    EXPECT_EQ(list(), newestFirst);
}

TEST_F(RecentFiles, RecordingTheSamePathInAnotherCaseKeepsOneEntrySpelledAsLastRecorded) {
    record({"/Music/Song.wav", "/music/other.wav", "/MUSIC/song.WAV"});
    EXPECT_EQ(list(), (std::vector<std::string>{"/MUSIC/song.WAV", "/music/other.wav"}));
}

TEST_F(RecentFiles, PathsThatDifferBeyondLetterCaseStaySeparate) {
    record({"/music/song.wav", "/music/song.wav2", "/music/song.wa"});
    EXPECT_EQ(kvGetMRUCount(), 3);
}

TEST_F(RecentFiles, AnEmptyOrNullPathIsNotRecorded) {
    record({"/music/a.wav"});
    EXPECT_EQ(kvSetMRU(""), -1);
    EXPECT_EQ(kvSetMRU(nullptr), -1);
    EXPECT_EQ(list(), std::vector<std::string>{"/music/a.wav"});
}

TEST_F(RecentFiles, TheListOutlivesTheStoreConnection) {
    record({"/music/b.wav", "/music/a.wav"});
    kvStoreClose();
    EXPECT_EQ(list(), (std::vector<std::string>{"/music/a.wav", "/music/b.wav"}));
}

TEST_F(RecentFiles, CheckRemovesMissingFilesAndClosesTheGaps) {
    std::string kept0 = existing("zero.wav"), kept2 = existing("two.wav");
    std::string kept4 = existing("four.wav");
    record({kept4, path("three-gone.wav"), kept2, path("one-gone.wav"), kept0});
    ASSERT_EQ(kvGetMRUCount(), 5);
    EXPECT_EQ(kvCheckMRU(), 0);
    EXPECT_EQ(kvGetMRUCount(), 3);
    EXPECT_EQ(list(), (std::vector<std::string>{kept0, kept2, kept4}));
}

TEST_F(RecentFiles, CheckEmptiesAListOfMissingFilesAndKeepsNoneOfTheirPaths) {
    record({path("gone-a.wav"), path("gone-b.wav")});
    EXPECT_EQ(kvCheckMRU(), 0);
    EXPECT_EQ(kvGetMRUCount(), 0);
    char buffer[256];
    EXPECT_EQ(kvGetMRU(buffer, 0, 255), -1);
    EXPECT_EQ(kvGetReg("MRU", "0", buffer, 255), -1);
    EXPECT_EQ(kvGetReg("MRU", "1", buffer, 255), -1);
}

TEST_F(RecentFiles, AnEntryComesBackZeroFilledUpToTheGivenSize) {
    record({"/music/a.wav"});
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(kvGetMRU(buffer, 0, 20), 12);
    EXPECT_EQ(std::string(buffer, 12), "/music/a.wav");
    for (int i = 12; i < 20; i++)
        EXPECT_EQ(buffer[i], 0) << "byte " << i;
    EXPECT_EQ(buffer[20], 'x');
}

TEST_F(RecentFiles, AnEntryLongerThanTheBufferIsRefusedAndTheBufferKept) {
    std::string longPath = "/" + std::string(299, 'p');
    record({longPath});
    char buffer[256];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(kvGetMRU(buffer, 0, 255), -1);
    EXPECT_EQ(buffer[0], 'x');
    char wide[512];
    EXPECT_EQ(kvGetMRU(wide, 0, 511), 300);
}

TEST_F(RecentFiles, ALongPathKeepsItsWholeTextWhenItMovesDown) {
    std::string longPath = "/" + std::string(299, 'p');
    record({longPath, "/music/a.wav", "/music/b.wav"});
    char wide[512];
    ASSERT_EQ(kvGetMRU(wide, 2, 511), 300);
    EXPECT_EQ(std::string(wide), longPath);
}

TEST_F(RecentFiles, ADamagedCountIsHeldToTheListLimits) {
    int32_t huge = 100000;
    ASSERT_EQ(kvSetReg("MRU", "Count", &huge, sizeof huge), 0);
    EXPECT_EQ(kvGetMRUCount(), 8);
    int32_t negative = -3;
    ASSERT_EQ(kvSetReg("MRU", "Count", &negative, sizeof negative), 0);
    EXPECT_EQ(kvGetMRUCount(), 0);
    record({"/music/a.wav"});
    EXPECT_EQ(list(), std::vector<std::string>{"/music/a.wav"});
}

TEST_F(RecentFiles, ValuesAtOrAboveTheCountAreNeverReturned) {
    ASSERT_EQ(kvSetReg("MRU", "1", "/music/stale.wav", 16), 0);
    record({"/music/a.wav"});
    char buffer[256];
    EXPECT_EQ(kvGetMRU(buffer, 1, 255), -1);
    EXPECT_EQ(kvGetMRU(buffer, -1, 255), -1);
}
