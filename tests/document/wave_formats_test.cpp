/*
 * WAVE files beyond the plain stereo header: sizes past 2 GiB, RF64 with its
 * ds64 chunk, and files of more than two channels mixed down to stereo.
 */
#include "tests/document/wave_files.h"
#include "tests/support/document_fixture.h"

#include <cmath>

class WaveFormats : public OneDocumentTest {};

/* The samples of an RF64 file lie where the ds64 chunk says, not to the end
 * of the file; a size no document can hold is refused before any reading. */
static std::string rf64(uint64_t dataSize, const std::string &samples) {
    std::string ds64;
    for (uint64_t value : {uint64_t{0}, dataSize, dataSize / 2})
        testPut32(ds64, static_cast<uint32_t>(value)), testPut32(ds64, value >> 32);
    testPut32(ds64, 0);
    TestWave wave;
    wave.channels = 1;
    wave.samples = samples;
    std::string plain = wave.bytes();
    std::string file = "RF64\xff\xff\xff\xffWAVE" + testChunk("ds64", ds64);
    file += plain.substr(12, 24) + "data\xff\xff\xff\xff" + samples;
    return file + testChunk("LIST", "INFOjunk");
}

TEST_F(WaveFormats, Rf64ReadsTheDataSizeOfItsDs64Chunk) {
    std::string samples;
    for (int32_t value : {1000, -2000, 3000})
        testPut16(samples, value);
    ASSERT_EQ(openBytes(rf64(samples.size(), samples)), 0) << shownTexts().size();
    EXPECT_EQ(channel(doc, 0),
              (std::vector<float>{1000 / 32768.0f, -2000 / 32768.0f, 3000 / 32768.0f}));
}

TEST_F(WaveFormats, Rf64BeyondTheFrameLimitIsRefusedNamingIt) {
    EXPECT_EQ(openBytes(rf64(uint64_t{1} << 40, std::string(64, '\0'))), -1);
    std::vector<std::string> told = shownTexts();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("holds 549755813888 frames; a Korvel document holds at most"),
              std::string::npos)
        << told[0];
    EXPECT_EQ(kvGetLength(doc), 0);
}

/* Sizes are unsigned: a header claiming 2 to 4 GiB is a long file, here cut
 * short, not a corrupt one. */
class WaveLargeClaims : public WaveFormats, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(WaveLargeClaims, OpenWhatIsThereAndSayItWasCutShort) {
    TestWave wave;
    wave.channels = 1;
    testPut16(wave.samples, 1234);
    std::string bytes = wave.bytes();
    std::string size;
    testPut32(size, GetParam());
    bytes.replace(40, 4, size);
    ASSERT_EQ(openBytes(bytes), 0);
    EXPECT_EQ(kvGetLength(doc), 1);
    std::vector<std::string> told = shownTexts();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("shorter than its header says"), std::string::npos) << told[0];
}

INSTANTIATE_TEST_SUITE_P(TwoToFourGiB, WaveLargeClaims,
                         ::testing::Values(0x80000000u, 0xC0000000u, 0xE0000000u));

/* Mixing down: one file per layout, each channel a different constant, so a
 * channel taken from the wrong position or with the wrong weight shows. */
struct MixCase {
    const char *name;
    int32_t formatTag; /* 1 plain, 0xFFFE extensible with `mask` */
    uint32_t mask;
    std::vector<int32_t> values; /* 16-bit, one per channel */
    double left, right;          /* the mix, in 16-bit units */
};

class WaveMixDown : public WaveFormats, public ::testing::WithParamInterface<MixCase> {};

TEST_P(WaveMixDown, OpensAsStereoWithTheStandardWeightsAndSaysSoOnce) {
    const MixCase &mix = GetParam();
    TestWave wave;
    wave.channels = static_cast<int32_t>(mix.values.size());
    wave.formatTag = mix.formatTag;
    if (mix.formatTag == 0xFFFE) {
        wave.fmtSize = 40;
        wave.extension = testExtensible(16, mix.mask, 1);
    }
    for (int frame = 0; frame < 5000; frame++)
        for (int32_t value : mix.values)
            testPut16(wave.samples, value);
    ASSERT_EQ(openBytes(wave.bytes()), 0);
    ASSERT_EQ(kvGetChannels(doc), 2);
    ASSERT_EQ(kvGetLength(doc), 5000);
    std::vector<float> left = channel(doc, 0), right = channel(doc, 1);
    for (int frame : {0, 4095, 4096, 4999}) {
        EXPECT_NEAR(left[frame], mix.left / 32768.0, 1e-6) << frame;
        EXPECT_NEAR(right[frame], mix.right / 32768.0, 1e-6) << frame;
    }
    std::vector<std::string> told = shownTexts();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("mixed down to stereo"), std::string::npos) << told[0];
    EXPECT_EQ(kvNeedsSaveAs(doc), 1);
    ASSERT_EQ(kvSave(doc, path("stereo.wav").c_str()), 0);
    EXPECT_EQ(kvNeedsSaveAs(doc), 0);
}

/* BS.775 for 5.1: L = FL + 0.7071 C + 0.7071 Ls, the LFE left out, each side
 * scaled by 1 / (1 + 2 x 0.7071) so that full scale everywhere stays full. */
static const double kHalfPower = std::sqrt(0.5), kFiveOne = 1 + 2 * kHalfPower;
static const MixCase kMixCases[] = {
    {"FivePointOneExtensible",
     0xFFFE,
     0x3F,
     {16000, -8000, 4000, 30000, -16000, 2000},
     (16000 + kHalfPower * 4000 - kHalfPower * 16000) / kFiveOne,
     (-8000 + kHalfPower * 4000 + kHalfPower * 2000) / kFiveOne},
    {"SixPlainChannelsAreFivePointOne",
     1,
     0,
     {16000, -8000, 4000, 30000, -16000, 2000},
     (16000 + kHalfPower * 4000 - kHalfPower * 16000) / kFiveOne,
     (-8000 + kHalfPower * 4000 + kHalfPower * 2000) / kFiveOne},
    {"FivePointOneWithSideSurrounds",
     0xFFFE,
     0x60F,
     {16000, -8000, 4000, 30000, -16000, 2000},
     (16000 + kHalfPower * 4000 - kHalfPower * 16000) / kFiveOne,
     (-8000 + kHalfPower * 4000 + kHalfPower * 2000) / kFiveOne},
    {"Quadraphonic",
     0xFFFE,
     0x33,
     {10000, 20000, -4000, 8000},
     (10000 - kHalfPower * 4000) / (1 + kHalfPower),
     (20000 + kHalfPower * 8000) / (1 + kHalfPower)},
    {"ThreeFrontChannels",
     1,
     0,
     {10000, 20000, 6000},
     (10000 + kHalfPower * 6000) / (1 + kHalfPower),
     (20000 + kHalfPower * 6000) / (1 + kHalfPower)},
};

INSTANTIATE_TEST_SUITE_P(EveryLayout, WaveMixDown, ::testing::ValuesIn(kMixCases),
                         [](const auto &info) { return std::string(info.param.name); });
