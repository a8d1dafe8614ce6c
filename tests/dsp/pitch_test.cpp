/*
 * Pitch/Time Scaling: result lengths in each mode against kvGetPitchSize,
 * the octave of a sine moved by the phase vocoder, the glide, the vocoder
 * staying inside its band when pitching down, and the preview producing the
 * edit's samples.
 */
#include "engine/dsp/dispatcher.h"
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signal_measure.h"

#include <algorithm>
#include <cmath>

class PitchScaling : public EffectTest {
  protected:
    void SetUp() override {
        EffectTest::SetUp();
        setFactor(0, 200);
    }
    void setFactor(int32_t mode, int32_t start, int32_t end = -1) {
        params.pitchMode = mode;
        params.pitchStart = start;
        params.pitchEnd = end < 0 ? start : end;
        params.pitchDynamic = end >= 0;
    }
    /* Runs the edit over [from, to) of a mono document of `samples` at 44100
     * Hz: the length of the edited range afterwards. */
    int32_t scaledLength(const std::vector<float> &samples, int32_t from, int32_t to,
                         int32_t *doc = nullptr) {
        int32_t d = makeDocument(44100, samples);
        kvSetSelection(d, from, to, -1);
        EXPECT_EQ(kvDoEdit(d, KV_EDIT_PITCH), 0);
        int32_t length = kvGetLength(d) - (static_cast<int32_t>(samples.size()) - (to - from));
        if (doc)
            *doc = d;
        else
            kvClose(d);
        return length;
    }
    /* RMS of samples [from, from + count). */
    static double rms(const std::vector<float> &samples, int32_t from, int32_t count) {
        double sum = 0;
        for (int32_t i = from; i < from + count; i++)
            sum += static_cast<double>(samples[i]) * samples[i];
        return std::sqrt(sum / count);
    }
};

TEST_F(PitchScaling, SimpleResampleAt200PercentHalvesTheRangeAndPitchSizeAgrees) {
    std::vector<float> samples = testWave(64100);
    int32_t doc = makeDocument(44100, samples);
    kvSetSelection(doc, 10000, 54100, -1);
    EXPECT_EQ(kvGetPitchSize(doc), 500);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_PITCH), 0);
    EXPECT_EQ(kvGetLength(doc), 20000 + 22050);
    EXPECT_EQ(kvGetPitchSize(doc), 250);
    std::vector<float> after = channel(doc, 0);
    for (int32_t i = 0; i < 10000; i++)
        ASSERT_EQ(after[i], samples[i]);
    for (int32_t i = 54100; i < 64100; i++)
        ASSERT_EQ(after[i - 22050], samples[i]);
}

TEST_F(PitchScaling, SimpleResampleAt50PercentDoublesTheRangeAndHalvesTheFrequency) {
    setFactor(0, 50);
    int32_t doc = makeDocument(44100, sineWave(44100, 1000, 44100));
    kvSetSelection(doc, 0, 44100, -1);
    EXPECT_EQ(kvGetPitchSize(doc), 2000);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_PITCH), 0);
    ASSERT_EQ(kvGetLength(doc), 88200);
    std::vector<float> after = channel(doc, 0);
    EXPECT_NEAR(dominantFrequency(after, 30000, 16384, 44100, 200, 2000), 500, 3);
}

TEST_F(PitchScaling, FftPitchScalingKeepsTheRangeLengthForEveryFactor) {
    for (int32_t percent : {50, 73, 100, 150, 200}) {
        setFactor(1, percent);
        for (int32_t range : {1000, 10000, 44100})
            EXPECT_EQ(scaledLength(testWave(50000), 3000, 3000 + range), range) << percent;
    }
}

TEST_F(PitchScaling, PitchSizeInFftPitchModeIsTheSelectionsDuration) {
    int32_t doc = makeDocument(44100, testWave(50000));
    kvSetSelection(doc, 44100, 0, -1);
    for (int32_t percent : {50, 200}) {
        setFactor(1, percent, 100);
        EXPECT_EQ(kvGetPitchSize(doc), 1000);
    }
    EXPECT_EQ(kvGetPitchSize(doc + 1), -1);
    EXPECT_EQ(kvGetPitchSize(-1), -1);
}

TEST_F(PitchScaling, FftPitchScalingAt200PercentMovesASineUpAnOctave) {
    setFactor(1, 200);
    int32_t doc = -1;
    std::vector<float> samples = sineWave(88200, 440, 44100);
    scaledLength(samples, 0, 88200, &doc);
    std::vector<float> after = channel(doc, 0);
    ASSERT_EQ(after.size(), 88200u);
    EXPECT_NEAR(dominantFrequency(after, 30000, 16384, 44100, 200, 2000), 880, 4);
    EXPECT_NEAR(rms(after, 30000, 16384), rms(samples, 30000, 16384), 0.5 * rms(samples, 0, 16384));
}

TEST_F(PitchScaling, FftPitchingDownHalvesTheFrequencyKeepsTheLevelAndStaysInBand) {
    setFactor(1, 50);
    for (double hz : {440.0, 1760.0}) {
        int32_t doc = -1;
        std::vector<float> samples = sineWave(88200, hz, 44100);
        scaledLength(samples, 0, 88200, &doc);
        std::vector<float> after = channel(doc, 0);
        EXPECT_NEAR(dominantFrequency(after, 30000, 16384, 44100, 100, 4000), hz / 2, 3) << hz;
        double level = rms(after, 30000, 16384) / rms(samples, 30000, 16384);
        EXPECT_GT(level, 0.7) << hz;
        EXPECT_LT(level, 2.0) << hz;
        double wanted = powerAt(after, 30000, 16384, hz / 2, 44100);
        for (double other = 5000; other < 22000; other += 250)
            ASSERT_LT(powerAt(after, 30000, 16384, other, 44100), wanted * 1e-4) << other;
        kvClose(doc);
    }
}

TEST_F(PitchScaling, FftTimeScalingChangesTheDurationButNotThePitch) {
    int32_t doc = makeDocument(44100, sineWave(88200, 660, 44100));
    kvSetSelection(doc, 0, 88200, -1);
    setFactor(2, 150);
    EXPECT_EQ(kvGetPitchSize(doc), 1333);
    for (auto [percent, length] :
         {std::pair{150, 58800}, std::pair{50, 176400}, std::pair{200, 44100}}) {
        setFactor(2, percent);
        kvSetSelection(doc, 0, 88200, -1);
        ASSERT_EQ(kvDoEdit(doc, KV_EDIT_PITCH), 0);
        EXPECT_NEAR(kvGetLength(doc), length, 1) << percent;
        std::vector<float> after = channel(doc, 0);
        int32_t middle = kvGetLength(doc) / 2 - 8192;
        EXPECT_NEAR(dominantFrequency(after, middle, 16384, 44100, 200, 2000), 660, 4) << percent;
        /* The input's RMS is 0.5 / sqrt 2. */
        EXPECT_GT(rms(after, middle, 16384), 0.7 * 0.5 / std::sqrt(2.0)) << percent;
        kvUndo(doc);
    }
}

TEST_F(PitchScaling, GlideFrom100To200StartsAtTheOriginalSpeedAndEndsAtDouble) {
    setFactor(0, 100, 200);
    int32_t doc = makeDocument(44100, sineWave(441000, 1000, 44100));
    kvSetSelection(doc, 0, 441000, -1);
    /* The sum of 1 / f over the range is close to 441000 ln 2. */
    int32_t predicted = kvGetPitchSize(doc);
    EXPECT_NEAR(predicted, 10000 * std::log(2.0), 1);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_PITCH), 0);
    int32_t length = kvGetLength(doc);
    EXPECT_NEAR(length, predicted * 44.1, 50);
    std::vector<float> after = channel(doc, 0);
    EXPECT_NEAR(risingCrossings(after, 0, 4410), 100, 1);
    EXPECT_NEAR(risingCrossings(after, length - 4410, 4410), 200, 3);
}

/* Runs a range of 4096-sample preview buffers and the drain after them, as
 * the preview feeder does: the played samples of one channel. */
static std::vector<float> previewed(int32_t doc, const std::vector<float> &input) {
    std::vector<float> played, left(16384), right(16384);
    int32_t length = static_cast<int32_t>(input.size());
    KvEffectRun *run = kvEffectStart(doc, KV_EDIT_PITCH, KV_RUN_PREVIEW);
    for (int32_t position = 0; position < length; position += 4096) {
        int32_t count = std::min(4096, length - position);
        std::copy_n(input.begin() + position, count, left.begin());
        std::copy_n(input.begin() + position, count, right.begin());
        int32_t produced =
            kvPreviewProcess(run, left.data(), right.data(), count, length, position);
        played.insert(played.end(), left.begin(), left.begin() + produced);
    }
    int32_t produced;
    while ((produced = kvPreviewProcess(run, left.data(), right.data(), 0, length, length)) > 0)
        played.insert(played.end(), left.begin(), left.begin() + produced);
    kvEffectFinish(run);
    return played;
}

TEST_F(PitchScaling, PreviewPlaysTheSamplesOfTheEditInEveryMode) {
    std::vector<float> input = sineWave(30000, 523, 44100);
    for (int32_t mode : {0, 1, 2}) {
        setFactor(mode, 80, 170);
        int32_t doc = makeDocument(44100, input, input);
        std::vector<float> played = previewed(doc, input);
        kvSetSelection(doc, 0, 30000, -1);
        ASSERT_EQ(kvDoEdit(doc, KV_EDIT_PITCH), 0);
        EXPECT_EQ(played, channel(doc, 0)) << mode;
        EXPECT_EQ(channel(doc, 1), channel(doc, 0)) << mode;
    }
}
