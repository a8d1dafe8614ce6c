/*
 * Sample-rate and channel conversion: lengths block by block, the one-sample
 * delay of a same-rate pass, frequencies kept in seconds, shared descriptors
 * for mono to stereo, the mix down to mono, undo, and the lock switch.
 */
#include "tests/dsp/dsp_fixture.h"
#include "tests/dsp/signal_measure.h"

class RateConversion : public EffectTest {};

TEST_F(RateConversion, HalvingTheRateOf10000FramesGives4096Plus904) {
    int32_t doc = makeDocument(44100, testWave(10000), testWave(10000, 0.25f));
    ASSERT_EQ(kvConvertSampleRate(doc, 22050), 0);
    EXPECT_EQ(kvGetLength(doc), 5000);
    EXPECT_EQ(kvGetSampleRate(doc), 22050);
    EXPECT_EQ(undoText(doc), "Resample");
    int32_t anchor, end, editChannel;
    kvGetSelection(doc, &anchor, &end, &editChannel);
    EXPECT_EQ(anchor, 0);
    EXPECT_EQ(end, 5000);
    EXPECT_EQ(editChannel, -1);
    kvUndo(doc);
    EXPECT_EQ(kvGetLength(doc), 10000);
    EXPECT_EQ(kvGetSampleRate(doc), 44100);
}

TEST_F(RateConversion, DoublingTheRateDoublesTheLengthAndKeepsTheFrequency) {
    int32_t doc = makeDocument(22050, sineWave(22050, 1000, 22050));
    ASSERT_EQ(kvConvertSampleRate(doc, 44100), 0);
    ASSERT_EQ(kvGetLength(doc), 44100);
    std::vector<float> samples = channel(doc, 0);
    EXPECT_NEAR(risingCrossings(samples, 0, 44100), 1000, 2);
    EXPECT_NEAR(dominantFrequency(samples, 8192, 16384, 44100, 500, 1500), 1000, 3);
}

TEST_F(RateConversion, ReducingTheRateKeepsTheFrequencyInSeconds) {
    int32_t doc = makeDocument(44100, sineWave(44100, 1000, 44100));
    ASSERT_EQ(kvConvertSampleRate(doc, 8000), 0);
    /* 44100 * 4096 / 8000 = 22579 input frames per block. */
    ASSERT_EQ(kvGetLength(doc), 4096 + static_cast<int32_t>(8000LL * (44100 - 22579) / 44100));
    std::vector<float> samples = channel(doc, 0);
    EXPECT_NEAR(risingCrossings(samples, 0, static_cast<int32_t>(samples.size())), 1000, 3);
}

TEST_F(RateConversion, SameRateStillRecordsResampleAndDelaysByOneSample) {
    std::vector<float> samples = testWave(10000, 0.8f, 331);
    int32_t doc = makeDocument(44100, samples);
    int32_t states = kvGetNumUndo(doc);
    ASSERT_EQ(kvConvertSampleRate(doc, 44100), 0);
    EXPECT_EQ(undoText(doc), "Resample");
    EXPECT_EQ(kvGetNumUndo(doc), states + 1);
    std::vector<float> after = channel(doc, 0);
    ASSERT_EQ(after.size(), 10000u);
    EXPECT_EQ(after[0], 0.0f);
    for (int32_t i = 1; i < 10000; i++)
        ASSERT_FLOAT_EQ(after[i], samples[i - 1]) << i;
}

TEST_F(RateConversion, RatesTheConverterCannotReachAreRefused) {
    int32_t doc = makeDocument(44100, testWave(1000));
    int32_t states = kvGetNumUndo(doc);
    EXPECT_EQ(kvConvertSampleRate(doc, 0), -1);
    EXPECT_EQ(kvConvertSampleRate(doc, -8000), -1);
    EXPECT_EQ(kvConvertSampleRate(doc, 10), -1);
    EXPECT_EQ(shownTexts().size(), 3u);
    EXPECT_EQ(kvGetNumUndo(doc), states);
    EXPECT_EQ(kvGetSampleRate(doc), 44100);
    EXPECT_EQ(kvConvertSampleRate(200, 22050), 0);
}

class ChannelConversion : public EffectTest {};

TEST_F(ChannelConversion, MonoToStereoSharesTheStoredSamples) {
    std::vector<float> samples = testWave(20000);
    int32_t doc = makeDocument(44100, samples);
    int64_t bytes = dataBytes();
    ASSERT_EQ(kvConvertChannels(doc, 2), 0);
    EXPECT_EQ(dataBytes(), bytes);
    EXPECT_EQ(kvGetChannels(doc), 2);
    EXPECT_EQ(undoText(doc), "Convert to Stereo");
    EXPECT_EQ(channel(doc, 0), samples);
    EXPECT_EQ(channel(doc, 1), samples);
    int32_t anchor, end, editChannel;
    kvGetSelection(doc, &anchor, &end, &editChannel);
    EXPECT_EQ(anchor, 0);
    EXPECT_EQ(end, 20000);
    EXPECT_EQ(editChannel, -1);
    /* The copy is a table of its own: editing one channel leaves the other. */
    kvSetSelection(doc, 0, 20000, 1);
    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_MUTE), 0);
    EXPECT_EQ(channel(doc, 0), samples);
    kvUndo(doc);
    kvUndo(doc);
    EXPECT_EQ(kvGetChannels(doc), 1);
}

TEST_F(ChannelConversion, StereoToMonoMixesAtHalfLevel) {
    std::vector<float> left = testWave(9000, 0.6f), opposite(9000), constant(9000, 0.2f);
    for (size_t i = 0; i < left.size(); i++)
        opposite[i] = -left[i];
    int32_t doc = makeDocument(44100, left, opposite);
    ASSERT_EQ(kvConvertChannels(doc, 1), 0);
    EXPECT_EQ(kvGetChannels(doc), 1);
    EXPECT_EQ(undoText(doc), "Convert to Mono");
    EXPECT_EQ(channel(doc, 0), std::vector<float>(9000, 0.0f));
    kvUndo(doc);
    EXPECT_EQ(kvGetChannels(doc), 2);
    EXPECT_EQ(channel(doc, 1), opposite);

    int32_t other = makeDocument(44100, left, constant);
    ASSERT_EQ(kvConvertChannels(other, 1), 0);
    std::vector<float> mixed = channel(other, 0);
    ASSERT_EQ(mixed.size(), 9000u);
    for (size_t i = 0; i < mixed.size(); i++)
        ASSERT_FLOAT_EQ(mixed[i], 0.5f * left[i] + 0.1f) << i;
}

TEST_F(ChannelConversion, EqualOrImpossibleCountsChangeNothing) {
    int32_t doc = makeDocument(44100, testWave(100), testWave(100));
    int32_t states = kvGetNumUndo(doc);
    EXPECT_EQ(kvConvertChannels(doc, 2), 0);
    EXPECT_EQ(kvConvertChannels(doc, 3), -1);
    EXPECT_EQ(kvConvertChannels(doc, 0), -1);
    EXPECT_EQ(shownTexts().size(), 2u);
    EXPECT_EQ(kvGetNumUndo(doc), states);
    EXPECT_EQ(kvGetChannels(doc), 2);
    EXPECT_EQ(kvConvertChannels(201, 1), 0);
}

TEST_F(ChannelConversion, ForceStereoMakesEveryDocumentEditBothChannels) {
    int32_t first = makeDocument(44100, testWave(100), testWave(100));
    int32_t second = makeDocument(44100, testWave(100), testWave(100));
    kvSetSelection(first, 0, 10, 0);
    kvSetSelection(second, 0, 10, 1);
    EXPECT_EQ(kvForceStereo(), 0);
    for (int32_t doc : {first, second}) {
        int32_t editChannel = 5;
        kvGetSelection(doc, nullptr, nullptr, &editChannel);
        EXPECT_EQ(editChannel, -1);
    }
}
