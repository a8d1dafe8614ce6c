/*
 * The command file between two copies of the program: what lands on disk,
 * what the running copy gets back in its buffer of 255 spaces and a NUL, and
 * what missing, stale, damaged or failing files do.
 */
#include "engine/platform/fileio.h"
#include "engine/platform/messages.h"
#include "tests/support/test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

class CommandFile : public KvSandbox {
  protected:
    void SetUp() override {
        KvSandbox::SetUp();
        blank();
    }
    void TearDown() override {
        kvTestFileFault(KV_FAULT_READ, 0, 0);
        kvTestFileFault(KV_FAULT_WRITE, 0, 0);
        KvSandbox::TearDown();
    }

    /* The program's hand-over buffer: 255 spaces and a NUL. */
    void blank() {
        std::string spaces(255, ' ');
        std::copy(spaces.begin(), spaces.end(), buffer);
        buffer[255] = '\0';
    }

    /* The buffer's first n bytes with trailing spaces trimmed, as the program takes them. */
    std::string handedOver(int32_t n) const {
        std::string text(buffer, n);
        return text.substr(0, text.find_last_not_of(' ') + 1);
    }

    std::string cmdPath(int32_t number) const {
        return path("runtime/" + std::to_string(number) + ".cmd");
    }

    char buffer[256];
};

TEST_F(CommandFile, TheFileHoldsTheRawTextWithoutTerminatorOrLineEnd) {
    ASSERT_EQ(kvWriteCmdFile(4711, "\"/music/a b.wav\" \"/music/c.wav\""), 0);
    EXPECT_EQ(kvTestReadFile(cmdPath(4711)), "\"/music/a b.wav\" \"/music/c.wav\"");
}

TEST_F(CommandFile, ReadingHandsTheTextOverAndDeletesTheFile) {
    ASSERT_EQ(kvWriteCmdFile(4711, "\"/music/a b.wav\" \"/music/c.wav\""), 0);
    int32_t length = kvReadCmdFile(4711, buffer);
    EXPECT_EQ(length, 255);
    EXPECT_EQ(handedOver(length), "\"/music/a b.wav\" \"/music/c.wav\"");
    EXPECT_FALSE(kvTestFileExists(cmdPath(4711)));
}

TEST_F(CommandFile, ACommandLineLongerThan255BytesHandsOverOnlyTheFirst255) {
    std::string text;
    for (int i = 0; text.size() < 300; i++)
        text += "\"/music/take" + std::to_string(i) + ".wav\" ";
    ASSERT_EQ(kvWriteCmdFile(12, text.c_str()), 0);
    int32_t length = kvReadCmdFile(12, buffer);
    EXPECT_EQ(length, 255);
    EXPECT_EQ(std::string(buffer, 255), text.substr(0, 255));
    EXPECT_EQ(buffer[255], '\0');
    EXPECT_FALSE(kvTestFileExists(cmdPath(12)));
}

TEST_F(CommandFile, AShorterTextReplacesALongerStaleFileWhole) {
    kvTestWriteFile(cmdPath(7), "\"/music/left-over-from-an-earlier-hand-over.wav\"");
    ASSERT_EQ(kvWriteCmdFile(7, "\"/music/a.wav\""), 0);
    EXPECT_EQ(kvTestReadFile(cmdPath(7)), "\"/music/a.wav\"");
    EXPECT_EQ(handedOver(kvReadCmdFile(7, buffer)), "\"/music/a.wav\"");
}

TEST_F(CommandFile, EachNumberHasItsOwnFile) {
    ASSERT_EQ(kvWriteCmdFile(1, "/music/one.wav"), 0);
    ASSERT_EQ(kvWriteCmdFile(65536, "/music/two.wav"), 0);
    EXPECT_EQ(handedOver(kvReadCmdFile(65536, buffer)), "/music/two.wav");
    blank();
    EXPECT_EQ(handedOver(kvReadCmdFile(1, buffer)), "/music/one.wav");
}

TEST_F(CommandFile, AMissingFileLeavesTheBufferAsItWas) {
    std::string before(buffer, 256);
    EXPECT_EQ(kvReadCmdFile(99, buffer), 255);
    EXPECT_EQ(std::string(buffer, 256), before);
}

TEST_F(CommandFile, TheLengthCountsOnlyBytesBeforeTheFirstNul) {
    kvTestWriteFile(cmdPath(3), std::string("ab\0cd", 5));
    EXPECT_EQ(kvReadCmdFile(3, buffer), 2);
}

TEST_F(CommandFile, TheLengthNeverCountsPastTheFirst255Bytes) {
    char unterminated[300];
    std::fill(std::begin(unterminated), std::end(unterminated), 'z');
    EXPECT_EQ(kvReadCmdFile(5, unterminated), 255);
}

TEST_F(CommandFile, WithoutARuntimeFolderTheSystemTempFolderIsUsed) {
    unsetenv("XDG_RUNTIME_DIR");
    mkdir(tempFolder.c_str(), 0700);
    ASSERT_EQ(kvWriteCmdFile(8, "/music/a.wav"), 0);
    EXPECT_EQ(kvTestReadFile(tempFolder + "/8.cmd"), "/music/a.wav");
    EXPECT_EQ(handedOver(kvReadCmdFile(8, buffer)), "/music/a.wav");
}

TEST_F(CommandFile, AFailedWriteLeavesNoFileBehind) {
    kvTestFileFault(KV_FAULT_WRITE, 1, -1);
    EXPECT_EQ(kvWriteCmdFile(9, "/music/a.wav"), -1);
    EXPECT_FALSE(kvTestFileExists(cmdPath(9)));
}

TEST_F(CommandFile, AFailedReadLeavesTheBufferAndStillConsumesTheFile) {
    kvTestWriteFile(cmdPath(10), "/music/a.wav");
    std::string before(buffer, 256);
    kvTestFileFault(KV_FAULT_READ, 1, -1);
    EXPECT_EQ(kvReadCmdFile(10, buffer), 255);
    EXPECT_EQ(std::string(buffer, 256), before);
    EXPECT_FALSE(kvTestFileExists(cmdPath(10)));
}

TEST_F(CommandFile, AMissingFolderIsReportedOnlyThroughTheResult) {
    kvTestTakeShownBoxes();
    setenv("XDG_RUNTIME_DIR", path("no-such-folder").c_str(), 1);
    EXPECT_EQ(kvWriteCmdFile(11, "/music/a.wav"), -1);
    EXPECT_FALSE(kvTestFileExists(path("no-such-folder")));
    EXPECT_TRUE(kvTestTakeShownBoxes().empty());
}

/* The running copy reads the file while its user waits: a pipe under the
 * name must not hold it. */
TEST_F(CommandFile, APipeUnderTheNameIsNotWaitedOn) {
    ASSERT_EQ(mkfifo(cmdPath(5).c_str(), 0600), 0);
    std::string before(buffer, 256);
    int32_t length = 0;
    EXPECT_FALSE(kvTestCallFreeingPipe(cmdPath(5), [&] { length = kvReadCmdFile(5, buffer); }));
    EXPECT_EQ(length, 255);
    EXPECT_EQ(std::string(buffer, 256), before);
}

TEST_F(CommandFile, AWriteNeverGoesThroughALinkUnderTheName) {
    kvTestWriteFile(path("notes.txt"), "the user's notes");
    ASSERT_EQ(symlink(path("notes.txt").c_str(), cmdPath(6).c_str()), 0);
    ASSERT_EQ(kvWriteCmdFile(6, "/music/a.wav"), 0);
    EXPECT_EQ(kvTestReadFile(path("notes.txt")), "the user's notes");
    EXPECT_EQ(handedOver(kvReadCmdFile(6, buffer)), "/music/a.wav");
}
