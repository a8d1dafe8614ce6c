/*
 * Noise Reduction: the noise profile's life with its document, and the gate
 * on a tone in noise: noise alone is lowered by about the reduction while
 * the tone keeps its level, undone in one step.
 */
#include "engine/dsp/dispatcher.h"
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signals.h"

#include <cmath>

class NoiseReduction : public EffectTest {
  protected:
    void SetUp() override {
        EffectTest::SetUp();
        ASSERT_EQ(kvSetRepairParams(&repair, sizeof repair), 0);
    }
    KV_RepairParams repair{};
};

TEST_F(NoiseReduction, TheProfileNeedsAFrameOfNoiseAndGoesWithItsDocument) {
    int32_t doc = makeDocument(44100, noise(44100, 1, 0.1));
    EXPECT_EQ(kvHasNoiseProfile(doc), 0);
    EXPECT_EQ(kvDoEdit(doc, KV_EDIT_NOISE_REDUCTION), -1);
    EXPECT_EQ(shownTexts().size(), 1u);
    kvSetSelection(doc, 0, 1000, -1); /* shorter than the 2048-point frame */
    EXPECT_EQ(kvTakeNoiseProfile(doc), -1);
    EXPECT_EQ(shownTexts().size(), 1u);
    kvSetSelection(doc, 0, 20000, -1);
    ASSERT_EQ(kvTakeNoiseProfile(doc), 0);
    EXPECT_EQ(kvHasNoiseProfile(doc), 1);
    kvClose(doc);
    int32_t again = makeDocument(44100, noise(44100, 1, 0.1));
    ASSERT_EQ(again, doc);
    EXPECT_EQ(kvHasNoiseProfile(again), 0);
}

TEST_F(NoiseReduction, NoiseFallsByAboutTheReductionWhileAToneInItKeepsItsLevel) {
    const int32_t rate = 44100, second = rate;
    /* White noise 10 dB under the tone: 2 s alone, 2 s with the tone, 2 s alone. */
    std::vector<float> hiss = noise(6 * second, 7, 0.1);
    std::vector<float> toneOnly(6 * second, 0.0f), signal(hiss);
    std::vector<float> sine =
        sineWave(2 * second, 1000, rate, 0.1 * std::sqrt(2.0 / 3.0) * std::pow(10.0, 0.5));
    std::copy(sine.begin(), sine.end(), toneOnly.begin() + 2 * second);
    signal = mix(hiss, toneOnly);
    int32_t doc = makeDocument(rate, signal);
    kvSetSelection(doc, 0, 2 * second, -1);
    ASSERT_EQ(kvTakeNoiseProfile(doc), 0);
    kvSetSelection(doc, 0, 0, -1);
    for (int32_t reductionDb : {12, 24}) {
        SCOPED_TRACE(reductionDb);
        repair.noiseReductionDb = reductionDb;
        ASSERT_EQ(kvDoEdit(doc, KV_EDIT_NOISE_REDUCTION), 0);
        std::vector<float> after = channel(doc, 0);
        ASSERT_EQ(after.size(), signal.size());
        double lowered = 20 * std::log10(rms(signal, 4.5 * second, 6 * second) /
                                         rms(after, 4.5 * second, 6 * second));
        EXPECT_NEAR(lowered, reductionDb, 2.0);
        double toneChange =
            20 * std::log10(amplitudeAt(after, 2.5 * second, 3.5 * second, 1000, rate) /
                            amplitudeAt(signal, 2.5 * second, 3.5 * second, 1000, rate));
        EXPECT_NEAR(toneChange, 0.0, 0.5);
        ASSERT_EQ(kvUndo(doc), 0);
        EXPECT_EQ(channel(doc, 0), signal);
    }
}
