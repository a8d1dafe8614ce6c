/*
 * Tags: both tags carried through open and save byte for byte, dropping
 * them, untrusted sizes, and the File Information text.
 */
#include "tests/codec/codec_fixture.h"

class Tags : public CodecTest {
  protected:
    /* An MP3 made by lame with the given tags around it. */
    std::string taggedFile(const std::string &v2, const std::string &v1,
                           const std::string &name = "tagged.mp3") {
        std::string audio = kvTestReadFile(makeMp3(TestTone{}, "plain"));
        kvTestWriteFile(path(name), v2 + audio + v1);
        return path(name);
    }
    std::string info(int32_t document) {
        std::vector<char> text(16384, '\x7F');
        EXPECT_EQ(kvGetInfo(document, text.data()), 0);
        return text.data();
    }
    void saveAsMp3(const std::string &target) {
        ASSERT_EQ(kvSave(doc, target.c_str()), 0) << lastMessage();
    }
};

TEST_F(Tags, BothTagsSurviveOpenAndSaveByteForByte) {
    std::string v2 = testID3v2("A title", 300);
    std::string v1 = testID3v1("Title", "Artist", "Album", "1999", "Comment", 17);
    ASSERT_EQ(kvOpen(doc, taggedFile(v2, v1).c_str()), 0) << lastMessage();
    EXPECT_EQ(kvHasID3(doc), 1);
    saveAsMp3(path("saved.mp3"));
    std::string saved = kvTestReadFile(path("saved.mp3"));
    ASSERT_GT(saved.size(), v2.size() + v1.size() + 1000);
    EXPECT_EQ(saved.substr(0, v2.size()), v2);
    EXPECT_EQ(saved.substr(saved.size() - 128), v1);
    EXPECT_EQ(static_cast<uint8_t>(saved[v2.size()]), 0xFF);

    int32_t reopened = kvCreate(nullptr);
    ASSERT_EQ(kvOpen(reopened, path("saved.mp3").c_str()), 0) << lastMessage();
    EXPECT_EQ(kvGetDocument(reopened)->id3v2Size, static_cast<int32_t>(v2.size()));
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(kvGetDocument(reopened)->id3v1Block), 128),
              v1);
}

TEST_F(Tags, ClearedTagsAreGoneFromTheNextSave) {
    std::string v1 = testID3v1("Title", "Artist", "Album", "1999", "Comment", 17);
    ASSERT_EQ(kvOpen(doc, taggedFile(testID3v2("T", 10), v1).c_str()), 0) << lastMessage();
    ASSERT_EQ(kvIsSaved(doc), 1);
    EXPECT_EQ(kvClearTags(doc), 0);
    EXPECT_EQ(kvHasID3(doc), 0);
    EXPECT_EQ(kvIsSaved(doc), 0);
    saveAsMp3(path("clean.mp3"));
    std::string saved = kvTestReadFile(path("clean.mp3"));
    EXPECT_EQ(static_cast<uint8_t>(saved[0]), 0xFF);
    EXPECT_NE(saved.substr(saved.size() - 128, 3), "TAG");
    EXPECT_EQ(saved.find("ID3"), std::string::npos);
    EXPECT_EQ(kvIsSaved(doc), 1);
}

TEST_F(Tags, EitherTagAloneCounts) {
    ASSERT_EQ(kvOpen(doc, taggedFile("", testID3v1("T", "", "", "", "", 0)).c_str()), 0);
    EXPECT_EQ(kvHasID3(doc), 1);
    int32_t second = kvCreate(nullptr);
    ASSERT_EQ(kvOpen(second, taggedFile(testID3v2("T", 0), "", "v2.mp3").c_str()), 0);
    EXPECT_EQ(kvHasID3(second), 1);
    int32_t third = kvCreate(nullptr);
    ASSERT_EQ(kvOpen(third, taggedFile("", "", "none.mp3").c_str()), 0);
    EXPECT_EQ(kvHasID3(third), 0);
    EXPECT_EQ(kvHasID3(255), -1);
    EXPECT_EQ(kvClearTags(255), -1);
}

TEST_F(Tags, SavingAsWaveWritesNoTagsButKeepsThem) {
    std::string v2 = testID3v2("A title", 0);
    ASSERT_EQ(kvOpen(doc, taggedFile(v2, testID3v1("T", "", "", "", "", 1)).c_str()), 0);
    kvGetDocument(doc)->formatTag = 1;
    ASSERT_EQ(kvSave(doc, path("plain.wav").c_str()), 0) << lastMessage();
    std::string saved = kvTestReadFile(path("plain.wav"));
    EXPECT_EQ(saved.substr(0, 4), "RIFF");
    EXPECT_EQ(saved.find("TAG"), std::string::npos);
    EXPECT_EQ(saved.find("ID3"), std::string::npos);
    EXPECT_EQ(kvHasID3(doc), 1);
    EXPECT_EQ(kvGetDocument(doc)->id3v2Size, static_cast<int32_t>(v2.size()));
}

TEST_F(Tags, TagSizeBeyondTheFileIsNoTag) {
    std::string v2 = testID3v2("T", 0);
    v2[6] = 0x7F; /* about 256 MiB: more than the file and than may be allocated */
    ASSERT_EQ(kvOpen(doc, taggedFile(v2, "").c_str()), 0) << lastMessage();
    EXPECT_EQ(kvHasID3(doc), 0);
    EXPECT_GT(kvGetLength(doc), 40000);

    std::string audio = kvTestReadFile(makeMp3(TestTone{}, "plain"));
    std::string header = testID3v2("T", 0).substr(0, 10);
    header[7] = 0x7F; /* a tag of about 2 MiB in a smaller file */
    kvTestWriteFile(path("long-tag.mp3"), header + audio);
    int32_t second = kvCreate(nullptr);
    kvOpen(second, path("long-tag.mp3").c_str());
    EXPECT_EQ(kvHasID3(second), 0);
    EXPECT_EQ(kvGetDocument(second)->id3v2Copy, nullptr);
}

TEST_F(Tags, InformationTextOfAnMp3Document) {
    std::string v1 = testID3v1("Title   ", "Artist", "The Album", "2001", "Nice", 17);
    std::string file = taggedFile(testID3v2("x", 0), v1);
    ASSERT_EQ(kvOpen(doc, file.c_str()), 0);
    EXPECT_EQ(info(doc), "File Information for MP3 File: " + file +
                             "\n\nSample Rate: 44100 Hz\nBit Rate: 128 kbps\nChannels: 2\n"
                             "Duration: 0:01.00\n\n"
                             "ID3v1 Tag: Yes\nID3 Information:\n\nArtist:\tArtist\nAlbum:\tThe "
                             "Album\nTitle:\tTitle\nYear:\t2001\nTrack:\t\nGenre:\tRock\n"
                             "Comment:\tNice\n\nID3v2 Tag: Yes\nTitle:\tx\n");
}

TEST_F(Tags, InformationTextWithoutTags) {
    std::string file = taggedFile("", "");
    ASSERT_EQ(kvOpen(doc, file.c_str()), 0);
    EXPECT_EQ(info(doc), "File Information for MP3 File: " + file +
                             "\n\nSample Rate: 44100 Hz\nBit Rate: 128 kbps\nChannels: 2\n"
                             "Duration: 0:01.00\n\nID3v1 Tag: No\nID3v2 Tag: No\n");
}

TEST_F(Tags, InformationTextOfAWaveDocument) {
    TestTone tone;
    tone.channels = 1;
    tone.rate = 22050;
    kvTestWriteFile(path("in.wav"), tone.wave());
    ASSERT_EQ(kvOpen(doc, path("in.wav").c_str()), 0);
    EXPECT_EQ(info(doc), "File Information for PCM Wave File: " + path("in.wav") +
                             "\n\nSample Rate: 22050 Hz\nBits per Sample: 16\nChannels: 1\n"
                             "Duration: 0:02.00\n");
    EXPECT_EQ(kvGetInfo(255, nullptr), -1);
}

/* The ID3v2 text frames the window lists, in each tag version and text
 * encoding: what follows "ID3v2 Tag: Yes\n". */
TEST_F(Tags, InformationTextListsTheID3v2FieldsOfEveryVersionAndEncoding) {
    auto frame = [](int version, const std::string &id, const std::string &body) {
        std::string header = id;
        uint32_t size = static_cast<uint32_t>(body.size());
        if (version == 2) {
            for (int shift : {16, 8, 0})
                header += static_cast<char>((size >> shift) & 0xFF);
            return header + body;
        }
        for (int shift : {24, 16, 8, 0})
            header += static_cast<char>(version == 4 ? (size >> (shift * 7 / 8)) & 0x7F
                                                     : (size >> shift) & 0xFF);
        return header + std::string(2, '\0') + body;
    };
    auto tag = [](int version, const std::string &frames) {
        std::string header =
            std::string("ID3", 3) + static_cast<char>(version) + std::string(2, '\0');
        for (int shift : {21, 14, 7, 0})
            header += static_cast<char>((frames.size() >> shift) & 0x7F);
        return header + frames;
    };
    const std::string utf16 = std::string("\x01\xFF\xFE", 3) + std::string("B\0\xE9\0", 4);
    struct Case {
        int version;
        std::string frames, listed;
    };
    const Case cases[] = {
        {3,
         frame(3, "TPE1", std::string("\0Band", 5)) + frame(3, "TIT2", std::string("\0Song", 5)) +
             frame(3, "TRCK",
                   std::string("\0"
                               "7",
                               2)) +
             frame(3, "COMM", std::string("\0engdesc\0Fine", 13)),
         "Artist:\tBand\nTitle:\tSong\nTrack:\t7\nComment:\tFine\n"},
        {4,
         frame(4, "TALB",
               std::string("\x03"
                           "Caf\xC3\xA9",
                           6)) +
             frame(4, "TDRC",
                   std::string("\x03"
                               "2024",
                               5)),
         "Album:\tCaf\xC3\xA9\nYear:\t2024\n"},
        {3, frame(3, "TIT2", utf16) + frame(3, "TCON", std::string("\0\xE9", 2)),
         "Title:\tB\xC3\xA9\nGenre:\t\xC3\xA9\n"},
        {2, frame(2, "TT2", std::string("\0Old", 4)), "Title:\tOld\n"},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.version);
        int32_t document = kvCreate(nullptr);
        std::string file =
            taggedFile(tag(c.version, c.frames), "", "v2-" + std::to_string(++n) + ".mp3");
        ASSERT_EQ(kvOpen(document, file.c_str()), 0) << lastMessage();
        std::string text = info(document);
        size_t at = text.find("ID3v2 Tag: Yes\n");
        ASSERT_NE(at, std::string::npos) << text;
        EXPECT_EQ(text.substr(at + 15), c.listed);
        kvClose(document);
    }
}

TEST_F(Tags, FieldsLoseTrailingSpacesButFullFieldsStayWhole) {
    std::string full30 = "123456789012345678901234567890";
    std::string v1 = testID3v1(full30, "Spaced out    ", "", "99  ", full30, 0);
    ASSERT_EQ(kvOpen(doc, taggedFile("", v1).c_str()), 0);
    std::string text = info(doc);
    EXPECT_NE(text.find("\nTitle:\t" + full30 + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nArtist:\tSpaced out\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nYear:\t99\n"), std::string::npos) << text;
    /* A full comment runs through bytes 125-126, which the track then shows. */
    EXPECT_NE(text.find("\nTrack:\t90\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nComment:\t" + full30 + "\n"), std::string::npos) << text;
}

TEST_F(Tags, TrackNumberAfterAZeroByteIsShownAsANumber) {
    std::string v1 = testID3v1("T", "", "", "", "Short", 0);
    v1[126] = 7;
    ASSERT_EQ(kvOpen(doc, taggedFile("", v1).c_str()), 0);
    std::string text = info(doc);
    EXPECT_NE(text.find("\nTrack:\t7\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nComment:\tShort\n"), std::string::npos) << text;
}

TEST_F(Tags, GenresPastTheTableReadUnknown) {
    EXPECT_STREQ(kvGenreName(0), "Blues");
    EXPECT_STREQ(kvGenreName(125), "Dance Hall");
    EXPECT_STREQ(kvGenreName(126), "Unknown");
    ASSERT_EQ(kvOpen(doc, taggedFile("", testID3v1("T", "", "", "", "", 0xC8)).c_str()), 0);
    EXPECT_NE(info(doc).find("\nGenre:\tUnknown\n"), std::string::npos);
}
