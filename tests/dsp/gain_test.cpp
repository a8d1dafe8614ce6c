/*
 * Gain and level edits: exact gains, fade ramps, mirror, silence, paste mix
 * and the peak scan.
 */
#include "engine/history/clipboard.h"
#include "tests/dsp/dsp_fixture.h"

class GainEdits : public EffectTest {};

TEST_F(GainEdits, SixDecibelStepsDoubleAndHalveExactly) {
    std::vector<float> samples = testWave(5000);
    int32_t doc = makeDocument(44100, samples);
    for (auto [db, factor] : {std::pair{6, 2.0f}, std::pair{-6, 0.5f}, std::pair{48, 256.0f}}) {
        params.volumeDb = db;
        ASSERT_EQ(kvDoEdit(doc, KV_EDIT_VOLUME), 0);
        std::vector<float> after = channel(doc, 0);
        for (size_t i = 0; i < samples.size(); i++)
            ASSERT_EQ(after[i], samples[i] * factor) << db;
        kvUndo(doc);
    }
}

TEST_F(GainEdits, FadesOverFourSamplesAreStraightLines) {
    int32_t doc = makeDocument(44100, std::vector<float>(4, 1.0f));
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_FADE_IN), 0);
    EXPECT_EQ(channel(doc, 0), (std::vector<float>{0.0f, 0.25f, 0.5f, 0.75f}));
    kvUndo(doc);
    kvSetSelection(doc, 0, 0, -1);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_FADE_OUT), 0);
    EXPECT_EQ(channel(doc, 0), (std::vector<float>{1.0f, 0.75f, 0.5f, 0.25f}));
}

TEST_F(GainEdits, ReverseMirrorsTheRangeAndLeavesTheRest) {
    std::vector<float> samples = testWave(12000, 0.9f, 1013);
    int32_t doc = makeDocument(44100, samples);
    kvSetSelection(doc, 3000, 8000, -1);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_REVERSE), 0);
    std::vector<float> after = channel(doc, 0);
    std::vector<float> expected = samples;
    std::reverse(expected.begin() + 3000, expected.begin() + 8000);
    EXPECT_EQ(after, expected);
}

TEST_F(GainEdits, MuteKeepsTheLengthAndSilencesTheRange) {
    std::vector<float> samples = testWave(9000);
    int32_t doc = makeDocument(44100, samples, samples);
    kvSetSelection(doc, 100, 8100, 1);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_MUTE), 0);
    EXPECT_EQ(kvGetLength(doc), 9000);
    EXPECT_EQ(channel(doc, 0), samples);
    std::vector<float> right = channel(doc, 1);
    for (int i = 100; i < 8100; i++)
        ASSERT_EQ(right[i], 0.0f) << i;
    EXPECT_EQ(right[99], samples[99]);
    EXPECT_EQ(right[8100], samples[8100]);
}

TEST_F(GainEdits, PasteMixOfAStereoClipIntoOneChannelMixesItDown) {
    std::vector<float> clipLeft(3000, 0.2f), clipRight(3000, 0.4f);
    int32_t source = makeDocument(8000, clipLeft, clipRight);
    kvSetSelection(source, 0, 3000, -1);
    kvCopy(source);
    std::vector<float> samples = testWave(6000, 0.25f);
    int32_t doc = makeDocument(8000, samples, samples);
    kvSetSelection(doc, 1000, 1000, 0);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_PASTE_MIX), 0);
    std::vector<float> left = channel(doc, 0);
    for (int i = 0; i < 6000; i++) {
        float expected = i >= 1000 && i < 4000 ? samples[i] + 0.3f : samples[i];
        ASSERT_FLOAT_EQ(left[i], expected) << i;
    }
    EXPECT_EQ(channel(doc, 1), samples);
}

TEST_F(GainEdits, PasteMixResamplesAClipOfHalfTheRate) {
    int32_t source = makeDocument(22050, std::vector<float>(10000, 0.5f));
    kvSetSelection(source, 0, 10000, -1);
    kvCopy(source);
    int32_t doc = makeDocument(44100, std::vector<float>(30000, 0.0f));
    kvSetSelection(doc, 0, 0, -1);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_PASTE_MIX), 0);
    int32_t anchor, end, ch;
    kvGetSelection(doc, &anchor, &end, &ch);
    EXPECT_EQ(end - anchor, 20000);
    std::vector<float> mixed = channel(doc, 0);
    EXPECT_NEAR(mixed[10000], 0.5f, 1e-4);
    EXPECT_EQ(mixed[25000], 0.0f);
}

TEST_F(GainEdits, ScanMaxReportsWholeDecibelsAndSelectsEverything) {
    int32_t full = makeDocument(8000, {0.1f, -1.0f, 0.3f});
    EXPECT_EQ(kvScanMax(full), 0);
    int32_t half = makeDocument(8000, {0.5f, -0.25f}, {0.1f, 0.2f});
    kvSetSelection(half, 1, 1, 0);
    EXPECT_EQ(kvScanMax(half), -6);
    int32_t anchor, end, ch;
    kvGetSelection(half, &anchor, &end, &ch);
    EXPECT_EQ(anchor, 0);
    EXPECT_EQ(end, 2);
    EXPECT_EQ(ch, -1);
    int32_t silent = makeDocument(8000, std::vector<float>(100, 0.0f));
    EXPECT_EQ(kvScanMax(silent), 0);
}
