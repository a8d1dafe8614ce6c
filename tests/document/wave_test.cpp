/*
 * Opening WAVE files: the header checks and their order, chunk walking,
 * sample conversion of every format, and files made by sox.
 */
#include "engine/document/wave.h"
#include "tests/document/wave_files.h"
#include "tests/support/document_fixture.h"

#include <sys/stat.h>

#include <cmath>
#include <cstring>

class WaveOpening : public OneDocumentTest {
  protected:
    /* The one message shown since the last call ("" when none). */
    std::string message() {
        std::vector<KvShownBox> boxes = kvTestTakeShownBoxes();
        return boxes.size() == 1 ? boxes[0].text : std::to_string(boxes.size()) + " boxes";
    }
};

static std::string pcm16(std::initializer_list<int32_t> values) {
    std::string bytes;
    for (int32_t value : values)
        testPut16(bytes, value);
    return bytes;
}

TEST_F(WaveOpening, CanonicalStereo16BitLoadsLeftAndRight) {
    TestWave wave;
    wave.samples = pcm16({16384, -16384, 32767, -32768});
    ASSERT_EQ(openBytes(wave.bytes()), 0);
    EXPECT_EQ(kvGetLength(doc), 2);
    EXPECT_EQ(channel(doc, 0), (std::vector<float>{0.5f, 32767 / 32768.0f}));
    EXPECT_EQ(channel(doc, 1), (std::vector<float>{-0.5f, -1.0f}));
    int32_t channels = 0, rate = 0, bits = 0;
    kvGetProperties(doc, &channels, &rate, &bits);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(bits, 16);
    char label[40];
    kvGetUndoText(doc, 0, label);
    EXPECT_STREQ(label, "Original File");
    EXPECT_EQ(kvIsSaved(doc), 1);
}

TEST_F(WaveOpening, EighteenByteFmtChunkReadsSamplesFromByte46) {
    TestWave wave;
    wave.fmtSize = 18;
    wave.channels = 1;
    wave.samples = pcm16({8192, -8192});
    std::string bytes = wave.bytes();
    ASSERT_EQ(bytes.substr(38, 4), "data");
    ASSERT_EQ(openBytes(bytes), 0);
    EXPECT_EQ(channel(doc, 0), (std::vector<float>{0.25f, -0.25f}));
}

TEST_F(WaveOpening, ChunksBeforeDataAreSkippedIncludingOddSizes) {
    TestWave wave;
    wave.channels = 1;
    wave.extra = {testChunk("LIST", "INFOabcde"), testChunk("fact", "1234"),
                  testChunk("JUNK", std::string(7, 'j'))};
    wave.samples = pcm16({4096, 2048, 1024});
    ASSERT_EQ(openBytes(wave.bytes()), 0);
    EXPECT_EQ(channel(doc, 0), (std::vector<float>{0.125f, 0.0625f, 0.03125f}));
}

TEST_F(WaveOpening, ChunksAfterDataDoNotAddSamples) {
    TestWave wave;
    wave.channels = 1;
    wave.samples = pcm16({4096, 2048});
    ASSERT_EQ(openBytes(wave.bytes() + testChunk("LIST", "INFOtrailing")), 0);
    EXPECT_EQ(kvGetLength(doc), 2);
}

struct HeaderCase {
    const char *name;
    void (*change)(TestWave &);
    const char *message;
};

class WaveHeaderCheck : public WaveOpening, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(WaveHeaderCheck, RefusesWithItsMessageAndLeavesTheDocumentEmpty) {
    TestWave wave;
    wave.samples = pcm16({1, 2, 3, 4});
    GetParam().change(wave);
    EXPECT_EQ(openBytes(wave.bytes()), -1);
    std::string expected = GetParam().message;
    if (size_t at = expected.find("%s"); at != std::string::npos)
        expected.replace(at, 2, path("in.wav"));
    EXPECT_EQ(message(), expected);
    EXPECT_EQ(kvIsZero(doc), 1);
    EXPECT_EQ(kvGetNumUndo(doc), 1);
}

static const HeaderCase headerCases[] = {
    {"NotRiff", [](TestWave &w) { w.riff = "RIFX"; }, "Invalid or Unsupported File Type"},
    {"MpegInRiffGoesToTheCodec", [](TestWave &w) { w.formatTag = 0x55; },
     "Invalid or Unsupported File Type"},
    {"AdpcmTag", [](TestWave &w) { w.formatTag = 2; },
     "Can't open %s\n\nIt is compressed with WAVE format 0x0002 (Microsoft ADPCM), which Korvel "
     "does not read. Convert the file to PCM with another program and open the copy."},
    {"ExtensibleWithoutExtension", [](TestWave &w) { w.formatTag = 0xFFFE; },
     "Can't open file - invalid or unsupported 'fmt' chunk"},
    {"ExtensibleForeignGuid",
     [](TestWave &w) {
         w.formatTag = 0xFFFE;
         w.fmtSize = 40;
         w.extension = testExtensible(16, 3, 1, false);
     },
     "Can't open %s\n\nIts WAVE sub-format {00000001-004B-0010-8000-00AA00389B71} is not one "
     "Korvel reads (PCM, IEEE float, A-law or u-law). Convert the file to PCM with another "
     "program and open the copy."},
    {"ExtensibleAdpcm",
     [](TestWave &w) {
         w.formatTag = 0xFFFE;
         w.fmtSize = 40;
         w.extension = testExtensible(16, 3, 2);
     },
     "Can't open %s\n\nIts WAVE sub-format {00000002-0000-0010-8000-00AA00389B71} is not one "
     "Korvel reads (PCM, IEEE float, A-law or u-law). Convert the file to PCM with another "
     "program and open the copy."},
    {"ValidBitsAboveContainer",
     [](TestWave &w) {
         w.formatTag = 0xFFFE;
         w.fmtSize = 40;
         w.extension = testExtensible(24, 3, 1);
     },
     "Mismatch in RIFF header - possibly corrupted"},
    {"AlawOf16Bits", [](TestWave &w) { w.formatTag = 6; },
     "Unsupported number of bits per sample for A-law: 16"},
    {"FmtSize20", [](TestWave &w) { w.fmtSize = 20; },
     "Can't open file - invalid or unsupported 'fmt' chunk"},
    {"NoFmtChunk", [](TestWave &w) { w.fmtId = "fmx "; },
     "Unsupported RIFF header (no 'fmt' chunk found)"},
    {"NoWave", [](TestWave &w) { w.wave = "WAVX"; },
     "Unsupported RIFF header (no 'WAVE' identifier tag found)"},
    {"NoData", [](TestWave &w) { w.dataId = "date"; },
     "Unsupported RIFF header (no 'data' chunk found)"},
    {"Bits20", [](TestWave &w) { w.bitsPerSample = 20; },
     "Unsupported number of bits per sample: 20"},
    {"BitsBeforeChannels",
     [](TestWave &w) {
         w.bitsPerSample = 12;
         w.channels = 3;
     },
     "Unsupported number of bits per sample: 12"},
    {"ChannelsBeforeRate",
     [](TestWave &w) {
         w.channels = 33;
         w.sampleRate = 100000;
     },
     "Unsupported number of channels: 33"},
    {"RateTooLow", [](TestWave &w) { w.sampleRate = 3999; }, "Unsupported sample rate: 3999"},
    {"RateTooHigh", [](TestWave &w) { w.sampleRate = 96001; }, "Unsupported sample rate: 96001"},
    {"Rf64WithoutDs64", [](TestWave &w) { w.riff = "RF64"; }, "Corrupted RIFF header"},
    {"ByteRateMismatch", [](TestWave &w) { w.byteRate = 1000; },
     "Mismatch in RIFF header - possibly corrupted"},
    {"Pcm64Bits", [](TestWave &w) { w.bitsPerSample = 64; },
     "Unsupported number of bits per sample for PCM: 64"},
};

INSTANTIATE_TEST_SUITE_P(EveryCheck, WaveHeaderCheck, ::testing::ValuesIn(headerCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(WaveOpening, MissingFileNamesTheSystemsReason) {
    EXPECT_EQ(kvOpen(doc, path("absent.wav").c_str()), -1);
    EXPECT_EQ(message(), "Can't open file: No such file or directory");
}

TEST_F(WaveOpening, EightBitValuesMapAroundTheMiddle) {
    TestWave wave;
    wave.channels = 1;
    wave.bitsPerSample = 8;
    wave.samples = std::string("\x80\x00\xFF\x40", 4);
    ASSERT_EQ(openBytes(wave.bytes()), 0);
    EXPECT_EQ(channel(doc, 0), (std::vector<float>{0.0f, -1.0f, 0.9921875f, -0.5f}));
}

TEST_F(WaveOpening, ThirtyTwoBitPcmDropsTheLowByte) {
    TestWave wave;
    wave.channels = 1;
    wave.bitsPerSample = 32;
    wave.samples.clear();
    testPut32(wave.samples, 0x400000FF);
    testPut32(wave.samples, 0x80000000);
    ASSERT_EQ(openBytes(wave.bytes()), 0);
    EXPECT_EQ(channel(doc, 0), (std::vector<float>{0.5f, -1.0f}));
}

TEST_F(WaveOpening, FloatTagWithSixteenBitsReadsLikePcm) {
    TestWave wave;
    wave.formatTag = 3;
    wave.channels = 1;
    wave.samples = pcm16({16384});
    ASSERT_EQ(openBytes(wave.bytes()), 0);
    EXPECT_EQ(channel(doc, 0), std::vector<float>{0.5f});
}

TEST_F(WaveOpening, SixtyFourBitFloatsNarrowTowardZero) {
    TestWave wave;
    wave.formatTag = 3;
    wave.channels = 1;
    wave.bitsPerSample = 64;
    const double values[] = {0.1, -0.1, 1.5, 0.25};
    wave.samples.assign(reinterpret_cast<const char *>(values), sizeof values);
    ASSERT_EQ(openBytes(wave.bytes()), 0);
    std::vector<float> got = channel(doc, 0);
    ASSERT_EQ(got.size(), 4u);
    /* 0.1f lies above 0.1, so the float toward zero is the one below it. */
    ASSERT_GT(double(0.1f), 0.1);
    EXPECT_EQ(got[0], std::nextafter(0.1f, 0.0f));
    EXPECT_EQ(got[1], -std::nextafter(0.1f, 0.0f));
    EXPECT_EQ(got[2], 1.5f);
    EXPECT_EQ(got[3], 0.25f);
}

TEST_F(WaveOpening, PartialLastFrameIsDropped) {
    TestWave wave;
    wave.samples = pcm16({1, 2, 3}); /* one and a half stereo frames */
    ASSERT_EQ(openBytes(wave.bytes()), 0);
    EXPECT_EQ(kvGetLength(doc), 1);
}

TEST_F(WaveOpening, TruncatedFileLoadsWhatIsThereAndSaysSoOnce) {
    TestWave wave;
    wave.channels = 1;
    wave.samples = pcm16({100, 200, 300});
    wave.dataSize = 2000000000;
    ASSERT_EQ(openBytes(wave.bytes()), 0);
    EXPECT_EQ(kvGetLength(doc), 3);
    std::string told = message();
    EXPECT_NE(told.find(path("in.wav")), std::string::npos) << told;
    EXPECT_NE(told.find("shorter"), std::string::npos) << told;
}

/* A recorder that stopped before it could write the data size leaves 0, one
 * that streams leaves 0xFFFFFFFF: the samples after the header are still the
 * sound. Nothing after the header is an empty sound, as saved. */
struct UnwrittenSize {
    const char *name;
    uint32_t stored;
    int32_t samples;
};

class WaveUnwrittenSize : public WaveOpening,
                          public ::testing::WithParamInterface<UnwrittenSize> {};

TEST_P(WaveUnwrittenSize, OpensTheSamplesAfterTheHeaderWithoutAWord) {
    TestWave wave;
    wave.channels = 1;
    for (int32_t i = 0; i < GetParam().samples; i++)
        testPut16(wave.samples, (i % 600) * 100 - 30000);
    std::string bytes = wave.bytes();
    std::string size;
    testPut32(size, GetParam().stored);
    bytes.replace(40, 4, size);
    ASSERT_EQ(openBytes(bytes), 0) << message();
    EXPECT_EQ(message(), "0 boxes");
    ASSERT_EQ(kvGetLength(doc), GetParam().samples);
    std::vector<float> left = channel(doc, 0);
    for (int32_t i = 0; i < GetParam().samples; i++)
        ASSERT_EQ(left[i], static_cast<float>((i % 600) * 100 - 30000) / 32768.0f) << i;
}

INSTANTIATE_TEST_SUITE_P(RecorderLeftovers, WaveUnwrittenSize,
                         ::testing::Values(UnwrittenSize{"ZeroWithSamples", 0, 5000},
                                           UnwrittenSize{"AllOnesWithSamples", 0xFFFFFFFFu, 5000},
                                           UnwrittenSize{"ZeroAndNothing", 0, 0}),
                         [](const auto &info) { return std::string(info.param.name); });

/* Only plain files are read: a pipe would block the program for good, a
 * device could feed it without end. Each is refused at once, by name. */
struct NotAFile {
    const char *name;
    const char *kind;
    std::string (*make)(const std::string &folder);
};

class WaveNotAFile : public WaveOpening, public ::testing::WithParamInterface<NotAFile> {};

TEST_P(WaveNotAFile, IsRefusedAtOnceNamingTheFile) {
    std::string file = GetParam().make(root);
    ASSERT_FALSE(file.empty());
    int32_t result = 0;
    bool freed = kvTestCallFreeingPipe(file, [&] { result = kvOpen(doc, file.c_str()); });
    EXPECT_FALSE(freed) << "the open waited on the " << GetParam().kind;
    EXPECT_EQ(result, -1);
    std::string told = message();
    EXPECT_NE(told.find(file), std::string::npos) << told;
    EXPECT_NE(told.find(GetParam().kind), std::string::npos) << told;
    EXPECT_EQ(kvIsZero(doc), 1);
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, WaveNotAFile,
    ::testing::Values(NotAFile{"Pipe", "pipe",
                               [](const std::string &folder) {
                                   std::string fifo = folder + "/pipe.wav";
                                   return mkfifo(fifo.c_str(), 0600) == 0 ? fifo : "";
                               }},
                      NotAFile{"Folder", "folder",
                               [](const std::string &folder) {
                                   std::string inside = folder + "/folder.wav";
                                   return mkdir(inside.c_str(), 0700) == 0 ? inside : "";
                               }},
                      NotAFile{"Device", "device",
                               [](const std::string &) { return std::string("/dev/zero"); }}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(WaveOpening, LongFileSpansManyBlocks) {
    TestWave wave;
    wave.channels = 2;
    const int frames = 3 * 4096 + 17;
    for (int i = 0; i < frames; i++) {
        testPut16(wave.samples, i % 30000);
        testPut16(wave.samples, -(i % 30000));
    }
    ASSERT_EQ(openBytes(wave.bytes()), 0);
    ASSERT_EQ(kvGetLength(doc), frames);
    std::vector<float> left = channel(doc, 0), right = channel(doc, 1);
    for (int i : {0, 4095, 4096, 8191, 12300, frames - 1}) {
        EXPECT_EQ(left[i], (i % 30000) / 32768.0f) << i;
        EXPECT_EQ(right[i], -(i % 30000) / 32768.0f) << i;
    }
}

/* Files written by sox open with the samples sox itself reads from them. */
struct SoxFormat {
    const char *name;
    const char *options;
    float tolerance;
};

class SoxFiles : public WaveOpening, public ::testing::WithParamInterface<SoxFormat> {};

TEST_P(SoxFiles, OpenWithTheSamplesSoxReads) {
    std::string file = path("sox.wav");
    ASSERT_TRUE(testRun("sox -n -r 22050 -c 2 " + std::string(GetParam().options) + " '" + file +
                        "' synth 0.5 sine 440 sine 1234 vol 0.9"));
    ASSERT_EQ(kvOpen(doc, file.c_str()), 0) << message();
    std::vector<float> expected = soxSamples(file);
    ASSERT_EQ(expected.size(), 2u * kvGetLength(doc));
    std::vector<float> left = channel(doc, 0), right = channel(doc, 1);
    for (size_t i = 0; i < left.size(); i++) {
        ASSERT_NEAR(left[i], expected[2 * i], GetParam().tolerance) << i;
        ASSERT_NEAR(right[i], expected[2 * i + 1], GetParam().tolerance) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryFormat, SoxFiles,
    ::testing::Values(SoxFormat{"Pcm8", "-t wavpcm -b 8 -e unsigned-integer", 0.0f},
                      SoxFormat{"Pcm16", "-t wavpcm -b 16 -e signed-integer", 0.0f},
                      SoxFormat{"Pcm24", "-t wavpcm -b 24 -e signed-integer", 0.0f},
                      SoxFormat{"Extensible24", "-t wav -b 24 -e signed-integer", 0.0f},
                      SoxFormat{"Extensible32", "-t wav -b 32 -e signed-integer", 1.0f / 8388608},
                      SoxFormat{"Mulaw", "-t wav -b 8 -e u-law", 0.0f},
                      SoxFormat{"Alaw", "-t wav -b 8 -e a-law", 0.0f},
                      SoxFormat{"Pcm32", "-t wavpcm -b 32 -e signed-integer", 1.0f / 8388608},
                      SoxFormat{"Float32", "-t wav -b 32 -e floating-point", 0.0f},
                      SoxFormat{"Float64", "-t wav -b 64 -e floating-point", 1e-7f}),
    [](const auto &info) { return std::string(info.param.name); });
