/*
 * Shortcut files: a round trip through a desktop entry of type Link, targets
 * with awkward names, shortcuts written by other tools, and the cases that
 * leave the resolved path empty or refuse it.
 */
#include "tests/support/test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

class Shortcuts : public KvSandbox {
  protected:
    /* Resolves into a buffer pre-filled with 'x'; the result code goes to *code. */
    std::string resolve(const std::string &link, int32_t *code = nullptr) {
        std::memset(out, 'x', sizeof out);
        int32_t result = kvResolveLink(link.c_str(), out);
        if (code) *code = result;
        return std::string(out, strnlen(out, sizeof out));
    }

    std::string existing(const std::string &name) {
        kvTestWriteFile(path(name), "RIFF");
        return path(name);
    }

    char out[KV_LINK_PATH_SIZE + 40];
};

TEST_F(Shortcuts, ALinkResolvesToItsTarget) {
    std::string target = existing("song one.wav");
    ASSERT_EQ(kvCreateLink(path("song.desktop").c_str(), target.c_str()), 0);
    int32_t code = -9;
    EXPECT_EQ(resolve(path("song.desktop"), &code), target);
    EXPECT_EQ(code, 0);
}

TEST_F(Shortcuts, TheLinkIsADesktopEntryOfTypeLinkWithAFileUrl) {
    std::string target = existing("song one.wav");
    ASSERT_EQ(kvCreateLink(path("song.desktop").c_str(), target.c_str()), 0);
    std::string text = kvTestReadFile(path("song.desktop"));
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(text.find("\nType=Link\n"), std::string::npos);
    EXPECT_NE(text.find("\nName=song one.wav\n"), std::string::npos);
    EXPECT_NE(text.find("\nURL=file://" + root + "/song%20one.wav\n"), std::string::npos);
}

TEST_F(Shortcuts, TargetNamesWithEscapesNewlinesAndNonAsciiBytesRoundTrip) {
    std::string target = existing("100% take\\2\nfinal \xC3\xA9t\xC3\xA9.wav");
    ASSERT_EQ(kvCreateLink(path("odd.desktop").c_str(), target.c_str()), 0);
    EXPECT_EQ(resolve(path("odd.desktop")), target);
}

TEST_F(Shortcuts, ARelativeTargetIsStoredAsAnAbsolutePath) {
    std::string target = existing("relative.wav");
    std::string previous = std::filesystem::current_path();
    ASSERT_EQ(chdir(root.c_str()), 0);
    int32_t created = kvCreateLink(path("rel.desktop").c_str(), "relative.wav");
    ASSERT_EQ(chdir(previous.c_str()), 0);
    ASSERT_EQ(created, 0);
    EXPECT_EQ(resolve(path("rel.desktop")), target);
}

TEST_F(Shortcuts, ALinkWhoseTargetIsGoneResolvesToAnEmptyPath) {
    std::string target = existing("deleted.wav");
    ASSERT_EQ(kvCreateLink(path("deleted.desktop").c_str(), target.c_str()), 0);
    std::filesystem::remove(target);
    int32_t code = -9;
    EXPECT_EQ(resolve(path("deleted.desktop"), &code), "");
    EXPECT_EQ(code, 0);
}

TEST_F(Shortcuts, AMissingLinkFileResolvesToAnEmptyPath) {
    int32_t code = -9;
    EXPECT_EQ(resolve(path("nowhere.desktop"), &code), "");
    EXPECT_EQ(code, 0);
}

TEST_F(Shortcuts, FilesThatAreNotLinksResolveToAnEmptyPath) {
    std::string target = existing("a.wav");
    std::string url = "URL=file://" + target + "\n";
    kvTestWriteFile(path("app.desktop"), "[Desktop Entry]\nType=Application\nExec=true\n" + url);
    kvTestWriteFile(path("late.desktop"), "[Other]\nType=Link\n" + url);
    kvTestWriteFile(path("web.desktop"), "[Desktop Entry]\nType=Link\nURL=https://example.org/\n");
    kvTestWriteFile(path("plain.txt"), "just some text\n");
    for (const char *name : {"app.desktop", "late.desktop", "web.desktop", "plain.txt"})
        EXPECT_EQ(resolve(path(name)), "") << name;
}

TEST_F(Shortcuts, ALinkWrittenByAnotherToolResolves) {
    std::string target = existing("other tool.wav");
    std::string encoded = root + "/other%20tool.wav";
    kvTestWriteFile(path("other.desktop"), "# made elsewhere\r\n\r\n[Desktop Entry]\r\n"
                                           "Name[de]=Aufnahme\r\nType = Link\r\n"
                                           "URL = file://localhost" +
                                               encoded +
                                               "\r\n"
                                               "[Desktop Action x]\r\nURL=file:///elsewhere\r\n");
    EXPECT_EQ(resolve(path("other.desktop")), target);
}

TEST_F(Shortcuts, ATargetPathThatDoesNotFitIsRefusedWithoutOverrun) {
    std::string folder = root;
    while (folder.size() < KV_LINK_PATH_SIZE)
        folder += "/" + std::string(40, 'd');
    std::filesystem::create_directories(folder);
    kvTestWriteFile(folder + "/deep.wav", "RIFF");
    ASSERT_EQ(kvCreateLink(path("deep.desktop").c_str(), (folder + "/deep.wav").c_str()), 0);
    int32_t code = 0;
    EXPECT_EQ(resolve(path("deep.desktop"), &code), "");
    EXPECT_EQ(code, -2);
    for (size_t i = 1; i < sizeof out; i++)
        ASSERT_EQ(out[i], 'x') << "byte " << i;
}

TEST_F(Shortcuts, AnOversizedFileIsNotTakenForALink) {
    std::string target = existing("a.wav");
    std::string text = "[Desktop Entry]\nType=Link\nURL=file://" + target + "\n";
    kvTestWriteFile(path("huge.desktop"), text + "# " + std::string(1 << 20, 'p') + "\n");
    EXPECT_EQ(resolve(path("huge.desktop")), "");
}

TEST_F(Shortcuts, CreatingALinkInAMissingFolderFails) {
    std::string target = existing("a.wav");
    EXPECT_LT(kvCreateLink(path("missing/a.desktop").c_str(), target.c_str()), 0);
    EXPECT_LT(kvCreateLink(path("a.desktop").c_str(), ""), 0);
}
