/*
 * meter_test.cpp - level peaks, the ten-band analyzer, and what playback
 * hands to the view's meter.
 */
#include "engine/audio/meter.h"
#include "tests/audio/playback_fixture.h"

#include <cmath>
#include <mutex>

static std::vector<int16_t> sineFrames(double cyclesPerFrame, int32_t count, double amplitude) {
    std::vector<int16_t> frames(2 * count);
    for (int32_t i = 0; i < count; i++)
        frames[2 * i] = frames[2 * i + 1] =
            static_cast<int16_t>(amplitude * std::sin(2 * M_PI * cyclesPerFrame * i));
    return frames;
}

static const int16_t (*asFrames(const std::vector<int16_t> &samples))[2] {
    return reinterpret_cast<const int16_t(*)[2]>(samples.data());
}

TEST(MeterAnalyzer, LowSoundsLightTheLowBandsAndHighSoundsTheHighOnes) {
    KV_Analyzer analyzer;
    kvAnalyzerReset(&analyzer);
    std::vector<int16_t> low = sineFrames(0.001, 8192, 20000);
    kvAnalyzerFeed(&analyzer, asFrames(low), 8192);
    EXPECT_GT(analyzer.peak[0], 10 * analyzer.peak[9]);
    kvAnalyzerReset(&analyzer);
    for (float peak : analyzer.peak)
        EXPECT_EQ(peak, 0.0f);
    std::vector<int16_t> high = sineFrames(0.45, 8192, 20000);
    kvAnalyzerFeed(&analyzer, asFrames(high), 8192);
    EXPECT_GT(analyzer.peak[9], 10 * analyzer.peak[0]);
}

TEST(MeterAnalyzer, PeaksDecayToFourFifthsAtEachBuffer) {
    KV_Analyzer analyzer;
    kvAnalyzerReset(&analyzer);
    std::vector<int16_t> sound = sineFrames(0.05, 1024, 16000);
    kvAnalyzerFeed(&analyzer, asFrames(sound), 1024);
    KV_Analyzer before = analyzer;
    kvAnalyzerFeed(&analyzer, asFrames(sound), 0);
    for (int32_t band = 0; band < KV_ANALYZER_BANDS; band++)
        EXPECT_FLOAT_EQ(analyzer.peak[band], 0.8f * before.peak[band]);
}

TEST(MeterLevels, PeaksDecayToTenEleventhsAndFollowOnlyPositiveSamples) {
    KV_Levels levels{11000, 22000};
    std::vector<int16_t> frames = {5000, -30000, -20000, 100};
    kvLevelsFeed(&levels, asFrames(frames), 2);
    EXPECT_EQ(levels.left, 10000);
    EXPECT_EQ(levels.right, 20000);
    frames = {12000, 0, -32768, 0};
    kvLevelsFeed(&levels, asFrames(frames), 2);
    EXPECT_EQ(levels.left, 12000);
    EXPECT_EQ(levels.right, 18181);
}

TEST(MeterLevels, PeaksBecomeWholeDecibelsTruncatedTowardsZero) {
    EXPECT_EQ(kvLevelDb(32767), 0);
    EXPECT_EQ(kvLevelDb(16384), -6);
    EXPECT_EQ(kvLevelDb(1000), -30);
    EXPECT_EQ(kvLevelDb(3277), -19);
    EXPECT_EQ(kvLevelDb(1), -90);
    EXPECT_EQ(kvLevelDb(0), KV_LEVEL_SILENT);
}

/* What the device thread hands to the view's meter. */
static std::mutex shownMutex;
static std::vector<std::array<int32_t, 3>> shown; /* left dB, right dB, analyzer given */
static std::atomic<int32_t> blanks{0};

static void recordMeter(int32_t leftDb, int32_t rightDb, const float *peaks) {
    std::lock_guard<std::mutex> lock(shownMutex);
    shown.push_back({leftDb, rightDb, peaks != nullptr});
}
static void recordBlank() {
    blanks++;
}

class PlaybackMeter : public PlaybackTest {
  protected:
    void SetUp() override {
        PlaybackTest::SetUp();
        shown.clear();
        blanks = 0;
        kvMeterDrawHook = recordMeter;
        kvMeterBlankHook = recordBlank;
    }
    void TearDown() override {
        PlaybackTest::TearDown();
        kvMeterDrawHook = nullptr;
        kvMeterBlankHook = nullptr;
    }
    std::vector<std::array<int32_t, 3>> taken() {
        std::lock_guard<std::mutex> lock(shownMutex);
        return shown;
    }
};

TEST_F(PlaybackMeter, MeterShowsTheLevelsHeardAndIsBlankedAtTheStop) {
    options.showAnalyzer = 1;
    std::vector<float> left(44100, 0.5f), right(44100, 0.25f);
    int32_t doc = makeDocument(44100, left, right);
    kvSetSelection(doc, 0, 44100, -1);
    ASSERT_EQ(kvPlay(doc, KV_PLAY_NORMAL), 0);
    ASSERT_TRUE(waitStopped());
    std::vector<std::array<int32_t, 3>> levels = taken();
    ASSERT_GT(levels.size(), 30u);
    /* The first buffers shown are those not yet heard: nothing was in them. */
    for (size_t i = 0; i < 10; i++)
        EXPECT_EQ(levels[i][0], KV_LEVEL_SILENT) << "draw " << i;
    EXPECT_NE(std::find(levels.begin(), levels.end(), std::array<int32_t, 3>{-6, -12, 1}),
              levels.end());
    EXPECT_GE(blanks.load(), 1);
}

TEST_F(PlaybackMeter, WithoutTheAnalyzerNoBandsAreGiven) {
    options.showAnalyzer = 0;
    int32_t doc = makeDocument(44100, std::vector<float>(30000, 0.5f));
    kvSetSelection(doc, 0, 30000, -1);
    ASSERT_EQ(kvPlay(doc, KV_PLAY_NORMAL), 0);
    ASSERT_TRUE(waitStopped());
    std::vector<std::array<int32_t, 3>> levels = taken();
    ASSERT_FALSE(levels.empty());
    for (const auto &level : levels)
        EXPECT_EQ(level[2], 0);
}
