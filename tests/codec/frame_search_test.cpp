/*
 * Frame search: the size minimum, the first-candidate rule, the version,
 * layer and rate tables, and files made by lame recognised as they were made.
 */
#include "tests/codec/codec_fixture.h"

#include <cstring>

/* Bytes of `size` filler (no sync pattern) with a header word at `at`. */
static std::vector<uint8_t> bytesWithHeader(int32_t size, int32_t at, uint32_t header) {
    std::vector<uint8_t> bytes(size, 0x20);
    for (int i = 0; i < 4; i++)
        bytes[at + i] = static_cast<uint8_t>(header >> (24 - 8 * i));
    return bytes;
}

/* MPEG-1 layer III, 128 kbit/s (index 9), 44100 Hz (index 0), joint stereo. */
static const uint32_t kMpeg1Layer3 = 0xFFFB9064;

TEST(FrameSearch, FewerThan1024BytesAreNeverACompressedFile) {
    KvFrameInfo info{};
    EXPECT_FALSE(kvFindFrameHeader(bytesWithHeader(1023, 0, kMpeg1Layer3).data(), 1023, &info));
    EXPECT_TRUE(kvFindFrameHeader(bytesWithHeader(1024, 0, kMpeg1Layer3).data(), 1024, &info));
}

TEST(FrameSearch, ReadsChannelsRateAndBitRateFromTheHeader) {
    KvFrameInfo info{};
    ASSERT_TRUE(kvFindFrameHeader(bytesWithHeader(2048, 100, kMpeg1Layer3).data(), 2048, &info));
    EXPECT_EQ(info.offset, 100);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.bitRate, 128);
}

TEST(FrameSearch, MpegTwoUsesItsOwnBitRateAndRateTables) {
    /* MPEG-2 layer III, index 9 = 80 kbit/s, rate index 1 + 3 = 24000 Hz, mono. */
    KvFrameInfo info{};
    ASSERT_TRUE(kvFindFrameHeader(bytesWithHeader(2048, 0, 0xFFF394C0).data(), 2048, &info));
    EXPECT_EQ(info.bitRate, 80);
    EXPECT_EQ(info.sampleRate, 24000);
    EXPECT_EQ(info.channels, 1);
    /* MPEG-1 layer II, index 14 = 384 kbit/s, 32000 Hz. */
    ASSERT_TRUE(kvFindFrameHeader(bytesWithHeader(2048, 0, 0xFFFDE800).data(), 2048, &info));
    EXPECT_EQ(info.bitRate, 384);
    EXPECT_EQ(info.sampleRate, 32000);
}

TEST(FrameSearch, OnlyTheFirstCandidateCounts) {
    std::vector<uint8_t> bytes = bytesWithHeader(4096, 10, 0xFFFB0064); /* bit-rate index 0 */
    for (int i = 0; i < 4; i++)
        bytes[2000 + i] = static_cast<uint8_t>(kMpeg1Layer3 >> (24 - 8 * i));
    KvFrameInfo info{};
    EXPECT_FALSE(kvFindFrameHeader(bytes.data(), 4096, &info));
    EXPECT_TRUE(kvFindFrameHeader(bytes.data() + 1000, 3096, &info));
}

TEST(FrameSearch, MpegTwoPointFiveUsesTheLowRatesAndMpegTwoBitRates) {
    /* Version bits 00, layer III, index 9 = 80 kbit/s, rate index 0 + 6 = 11025 Hz. */
    KvFrameInfo info{};
    ASSERT_TRUE(kvFindFrameHeader(bytesWithHeader(2048, 0, 0xFFE39064).data(), 2048, &info));
    EXPECT_EQ(info.bitRate, 80);
    EXPECT_EQ(info.sampleRate, 11025);
    /* Rate index 2 + 6 = 8000 Hz. */
    ASSERT_TRUE(kvFindFrameHeader(bytesWithHeader(2048, 0, 0xFFE39864).data(), 2048, &info));
    EXPECT_EQ(info.sampleRate, 8000);
}

TEST(FrameSearch, ReservedAndForbiddenValuesAreRefused) {
    KvFrameInfo info{};
    /* Version bits 01 (reserved). */
    EXPECT_FALSE(kvFindFrameHeader(bytesWithHeader(2048, 0, 0xFFEB9064).data(), 2048, &info));
    /* Layer bits 00 (reserved). */
    EXPECT_FALSE(kvFindFrameHeader(bytesWithHeader(2048, 0, 0xFFF99064).data(), 2048, &info));
    /* Bit-rate index 15 (forbidden). */
    EXPECT_FALSE(kvFindFrameHeader(bytesWithHeader(2048, 0, 0xFFFBF064).data(), 2048, &info));
}

class FrameSearchFiles : public CodecTest {};

TEST_F(FrameSearchFiles, MonoMpegOneFileOpensAsMade) {
    TestTone tone;
    tone.channels = 1;
    std::string mp3 = makeMp3(tone, "mono", "-m m -b 128");
    ASSERT_EQ(kvOpen(doc, mp3.c_str()), 0) << lastMessage();
    int32_t channels = 0, rate = 0, bits = 0;
    kvGetProperties(doc, &channels, &rate, &bits);
    EXPECT_EQ(channels, 1);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(kvGetDocument(doc)->bitRate, 128);
    EXPECT_EQ(kvGetDocument(doc)->formatTag, 85);
}

TEST_F(FrameSearchFiles, BitRateIndexZeroFirstRefusesAFileWithGoodFramesAfter) {
    std::string mp3 = makeMp3(TestTone{}, "good");
    std::string bad("\xFF\xFB\x00\x64", 4);
    kvTestWriteFile(path("bad.mp3"), bad + kvTestReadFile(mp3));
    EXPECT_EQ(kvOpen(doc, path("bad.mp3").c_str()), -1);
    EXPECT_EQ(lastMessage(), "Invalid or Unsupported File Type");
    EXPECT_EQ(kvGetLength(doc), 0);
}

TEST_F(FrameSearchFiles, ShortFileAfterTheTagIsRefused) {
    std::string body(1000, '\0');
    std::memcpy(body.data(), "\xFF\xFB\x90\x64", 4);
    kvTestWriteFile(path("short.mp3"), testID3v2("Title", 2000) + body);
    EXPECT_EQ(kvOpen(doc, path("short.mp3").c_str()), -1);
    EXPECT_EQ(lastMessage(), "Invalid or Unsupported File Type");
}

TEST_F(FrameSearchFiles, MpegTwoFileOpensAtItsRate) {
    TestTone tone;
    tone.rate = 22050;
    tone.frames = 22050;
    std::string mp3 = makeMp3(tone, "mpeg2", "-b 64");
    ASSERT_EQ(kvOpen(doc, mp3.c_str()), 0) << lastMessage();
    EXPECT_EQ(kvGetSampleRate(doc), 22050);
    EXPECT_EQ(kvGetChannels(doc), 2);
    EXPECT_EQ(kvGetDocument(doc)->bitRate, 64);
}
