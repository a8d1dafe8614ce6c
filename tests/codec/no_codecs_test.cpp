/*
 * Without codecs (KORVEL_NO_CODECS=1): opening and saving compressed files
 * fail with their messages, leave nothing behind, and the codec list is empty.
 */
#include "tests/codec/codec_fixture.h"

#include <cstdlib>

class NoCodecs : public CodecTest {
  protected:
    void hideCodecs() { setenv("KORVEL_NO_CODECS", "1", 1); }
};

TEST_F(NoCodecs, SettingTheVariableHidesEveryCodec) {
    EXPECT_FALSE(kvAcmDriverEnum(KV_ACM_DRIVERENUMF_NOLOCAL).empty());
    hideCodecs();
    EXPECT_TRUE(kvAcmDriverEnum(KV_ACM_DRIVERENUMF_NOLOCAL).empty());
    EXPECT_EQ(kvFindCodec(2, 44100), nullptr);
}

TEST_F(NoCodecs, OpeningAnMp3ReportsNoCodecAndLeavesTheDocumentEmpty) {
    std::string mp3 = makeMp3(TestTone{}, "tone");
    hideCodecs();
    EXPECT_EQ(kvOpen(doc, mp3.c_str()), -1);
    EXPECT_EQ(lastMessage(), "No CODECs Found to handle this type of file.\n\nWould you like to "
                             "view Help on this problem?");
    EXPECT_EQ(kvGetLength(doc), 0);
}

TEST_F(NoCodecs, SavingAsMp3ReportsNoCodecAndLeavesTheTargetAlone) {
    kvNew(doc, 2, 16, 1, 44100);
    kvGetDocument(doc)->formatTag = 85;
    kvTestWriteFile(path("target.mp3"), "old contents");
    hideCodecs();
    EXPECT_EQ(kvSave(doc, path("target.mp3").c_str()), -1);
    EXPECT_EQ(lastMessage(), "Can't find a suitable CODEC to save this file.\n\nPlease choose a "
                             "different file type and try again.\n\nWould you like to view Help "
                             "on this problem?");
    EXPECT_EQ(kvTestReadFile(path("target.mp3")), "old contents");
    EXPECT_EQ(kvTestFilesBeside(path("target.mp3")), std::vector<std::string>{});
    EXPECT_EQ(kvGetDocument(doc)->codecDriver, nullptr);
}

TEST_F(NoCodecs, ACodecChosenEarlierThatIsGoneCannotBeOpened) {
    kvNew(doc, 2, 16, 1, 44100);
    kvGetDocument(doc)->formatTag = 85;
    kvGetDocument(doc)->codecDriver = kvFindCodec(2, 44100);
    ASSERT_NE(kvGetDocument(doc)->codecDriver, nullptr);
    hideCodecs();
    EXPECT_EQ(kvSave(doc, path("target.mp3").c_str()), -1);
    EXPECT_EQ(lastMessage(), "Can't open ACM Driver. It is possible that you have a corrupted "
                             "CODEC installed.");
    EXPECT_FALSE(kvTestFileExists(path("target.mp3")));
}

TEST_F(NoCodecs, RatesNoCodecOffersAreNotSaved) {
    kvNew(doc, 2, 16, 1, 96000);
    kvGetDocument(doc)->formatTag = 85;
    EXPECT_EQ(kvFindCodec(2, 96000), nullptr);
    EXPECT_EQ(kvSave(doc, path("high.mp3").c_str()), -1);
    EXPECT_EQ(lastMessage().rfind("Can't find a suitable CODEC to save this file.", 0), 0u);
    EXPECT_FALSE(kvTestFileExists(path("high.mp3")));
}
