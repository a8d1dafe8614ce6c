/*
 * Tone Generator: level, frequency and period of the sine, frequency limits,
 * the inserted length, the sweep's end frequency, the waveforms' bounds, and
 * the preview producing the edit's samples on both channels.
 */
#include "engine/dsp/dispatcher.h"
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signal_measure.h"

#include <algorithm>

class ToneGenerator : public EffectTest {
  protected:
    void SetUp() override {
        EffectTest::SetUp();
        params.toneVolumeDb = 0;
        params.toneStartHz = 1000;
        params.toneEndHz = 1000;
        params.toneSweep = 0;
        params.toneWaveform = 0;
        params.toneLength = 1;
        params.toneLengthUnit = 1;
    }
    /* The samples a tone of the current parameters inserts into an empty
     * mono document at `rate`. */
    std::vector<float> tone(int32_t rate) {
        int32_t doc = makeDocument(rate, {});
        EXPECT_EQ(kvDoEdit(doc, KV_EDIT_TONE), 0);
        std::vector<float> samples = channel(doc, 0);
        kvClose(doc);
        return samples;
    }
};

TEST_F(ToneGenerator, SineAtZeroDecibelsReachesFullScaleWithAPeriodOf44Point1Samples) {
    std::vector<float> samples = tone(44100);
    ASSERT_EQ(samples.size(), 44100u);
    EXPECT_NEAR(samples[0], std::sin(std::numbers::pi * 1000 / 22050), 1e-6);
    EXPECT_GT(*std::max_element(samples.begin(), samples.end()), 0.9999f);
    EXPECT_LT(*std::min_element(samples.begin(), samples.end()), -0.9999f);
    /* Ten periods are exactly 441 samples. */
    for (size_t i = 0; i + 441 < samples.size(); i++)
        ASSERT_NEAR(samples[i + 441], samples[i], 2e-3) << i;
    EXPECT_NEAR(risingCrossings(samples, 0, 44100), 1000, 1);
}

TEST_F(ToneGenerator, FrequenciesAreHeldBetween14HzAndHalfTheRate) {
    params.toneStartHz = 14;
    std::vector<float> at14 = tone(44100);
    params.toneStartHz = 3;
    EXPECT_EQ(tone(44100), at14);
    params.toneStartHz = 30000;
    std::vector<float> high = tone(44100);
    params.toneStartHz = 22050;
    EXPECT_EQ(tone(44100), high);
    /* Half the sample rate samples a sine at its zeros. */
    for (float sample : high)
        ASSERT_NEAR(sample, 0.0f, 1e-5);
}

TEST_F(ToneGenerator, FiveSecondsInsertExactly220500FramesInBothChannelsAtTheCursor) {
    std::vector<float> left = testWave(1000, 0.5f), right = testWave(1000, 0.25f);
    int32_t doc = makeDocument(44100, left, right);
    kvSetSelection(doc, 700, 300, -1);
    params.toneLength = 5;
    params.fadeEdges = 1;
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_TONE), 0);
    ASSERT_EQ(kvGetLength(doc), 1000 + 220500);
    std::vector<float> newLeft = channel(doc, 0), newRight = channel(doc, 1);
    /* Nothing was removed: the tone sits at the lower end of the old
     * selection and pushes the rest later, unfaded. */
    for (int32_t i = 0; i < 300; i++) {
        ASSERT_EQ(newLeft[i], left[i]);
        ASSERT_EQ(newRight[i], right[i]);
    }
    for (int32_t i = 300; i < 1000; i++) {
        ASSERT_EQ(newLeft[i + 220500], left[i]);
        ASSERT_EQ(newRight[i + 220500], right[i]);
    }
    EXPECT_NEAR(newLeft[300], std::sin(std::numbers::pi * 1000 / 22050), 1e-6);
    EXPECT_TRUE(
        std::equal(newLeft.begin() + 300, newLeft.begin() + 220800, newRight.begin() + 300));
}

TEST_F(ToneGenerator, SweepOfOneSecondEndsAtTheEndFrequency) {
    /* A sawtooth at 0 dB is the phase itself, so its steps are the
     * frequency as a fraction of half the sample rate. */
    params.toneWaveform = 1;
    params.toneSweep = 1;
    params.toneStartHz = 200;
    params.toneEndHz = 2000;
    std::vector<float> phase = tone(44100);
    ASSERT_EQ(phase.size(), 44100u);
    auto step = [&phase](size_t i) {
        double d = phase[i] - phase[i - 1];
        return d < -1.0 ? d + 2.0 : d;
    };
    EXPECT_NEAR(phase[0], 200.0 / 22050 + 1800.0 / 22050 / 44100, 1e-6);
    EXPECT_NEAR(step(1), 200.0 / 22050, 1e-5);
    EXPECT_NEAR(step(22050), 1100.0 / 22050, 1e-5);
    EXPECT_NEAR(step(44099), 2000.0 / 22050, 1e-5);
}

TEST_F(ToneGenerator, ShortSweepsStopShortOfTheEndFrequency) {
    params.toneWaveform = 1;
    params.toneSweep = 1;
    params.toneStartHz = 200;
    params.toneEndHz = 2000;
    params.toneLengthUnit = 0;
    params.toneLength = 1000 * 2048 / 44100 + 1;
    std::vector<float> phase = tone(44100);
    ASSERT_GT(phase.size(), 2048u);
    double last = phase[2048] - phase[2047];
    if (last < -1.0) last += 2.0;
    /* Halfway through a sweep spread over 4096 samples. */
    EXPECT_NEAR(last, (200.0 + 1800.0 * 2048 / 4096) / 22050, 1e-4);
}

TEST_F(ToneGenerator, EveryWaveformStaysWithinItsAmplitude) {
    params.toneVolumeDb = -6;
    params.toneStartHz = 441;
    for (int32_t waveform = 0; waveform < 4; waveform++) {
        params.toneWaveform = waveform;
        std::vector<float> samples = tone(44100);
        float high = *std::max_element(samples.begin(), samples.end());
        float low = *std::min_element(samples.begin(), samples.end());
        EXPECT_NEAR(high, 0.5f, 0.01f) << waveform;
        EXPECT_NEAR(low, -0.5f, 0.01f) << waveform;
        EXPECT_NEAR(risingCrossings(samples, 0, 44100), 441, 1) << waveform;
        if (waveform != 3) continue;
        for (float sample : samples)
            ASSERT_TRUE(sample == 0.5f || sample == -0.5f) << sample;
    }
}

TEST_F(ToneGenerator, PreviewGivesBothBuffersTheSamplesOfTheEdit) {
    params.toneSweep = 1;
    params.toneEndHz = 5000;
    std::vector<float> edited = tone(44100);
    int32_t doc = makeDocument(44100, std::vector<float>(10, 0.0f), std::vector<float>(10, 0.0f));
    std::vector<float> left(44100, 9.0f), right(44100, 9.0f);
    KvEffectRun *run = kvEffectStart(doc, KV_EDIT_TONE, KV_RUN_PREVIEW);
    for (int32_t position = 0; position < 44100; position += 4096) {
        int32_t count = std::min(4096, 44100 - position);
        ASSERT_EQ(kvPreviewProcess(run, left.data() + position, right.data() + position, count,
                                   44100, position),
                  count);
    }
    kvEffectFinish(run);
    EXPECT_EQ(left, edited);
    EXPECT_EQ(right, edited);
}
