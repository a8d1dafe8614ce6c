/*
 * The 10-band equalizer: flat at 0 dB, a boosted band raises its own
 * frequencies and leaves far ones alone, and the state starts afresh.
 */
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signals.h"

class Equalizer : public EffectTest {};

TEST_F(Equalizer, AllBandsAtZeroDecibelsReturnTheInput) {
    std::vector<float> left = noise(20000, 1), right = sineWave(20000, 440, 44100);
    int32_t doc = makeDocument(44100, left, right);
    for (int32_t &band : params.eqBandDb)
        band = 0;
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_EQUALIZER), 0);
    std::vector<float> outLeft = channel(doc, 0), outRight = channel(doc, 1);
    for (size_t i = 0; i < left.size(); i++) {
        ASSERT_NEAR(outLeft[i], left[i], 1e-6) << i;
        ASSERT_NEAR(outRight[i], right[i], 1e-6) << i;
    }
}

TEST_F(Equalizer, ABoostedBandRaisesItsCentreAndLeavesAFarSineAlone) {
    const int32_t rate = 44100, count = 44100;
    params.eqBandDb[4] = 12; /* the 500 Hz band at 44100 Hz */
    for (double hz : {500.0, 8000.0}) {
        std::vector<float> input = sineWave(count, hz, rate);
        int32_t doc = makeDocument(rate, input);
        ASSERT_EQ(kvDoEdit(doc, KV_EDIT_EQUALIZER), 0);
        double gain = rms(channel(doc, 0), count / 2, count) / rms(input, count / 2, count);
        if (hz == 500.0)
            EXPECT_GT(gain, 2.0);
        else
            EXPECT_NEAR(gain, 1.0, 0.03);
        kvClose(doc);
    }
}

TEST_F(Equalizer, EachEditStartsFromSilentFilters) {
    params.eqBandDb[0] = 24;
    std::vector<float> input = sineWave(5000, 60, 8000);
    int32_t doc = makeDocument(8000, input);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_EQUALIZER), 0);
    std::vector<float> first = channel(doc, 0);
    kvUndo(doc);
    kvSetSelection(doc, 0, 0, -1);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_EQUALIZER), 0);
    EXPECT_EQ(channel(doc, 0), first);
}
