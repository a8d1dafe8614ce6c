/*
 * The clipboard: copies keep descriptors and every clip; paste splices when
 * the clip fits and converts otherwise; the block resampler's arithmetic.
 */
#include "engine/dsp/resample.h"
#include "engine/history/clipboard.h"
#include "tests/support/document_fixture.h"

#include <cmath>
#include <cstring>

class Clipboard : public DocumentTest {
  protected:
    static std::vector<float> clip(int32_t c) {
        std::vector<float> samples(kvClip.length);
        kvReadClip(c, 0, kvClip.length, samples.data());
        return samples;
    }
};

static std::vector<float> ramp(int32_t count, float scale = 1.0f) {
    std::vector<float> samples(count);
    for (int32_t i = 0; i < count; i++)
        samples[i] = scale * static_cast<float>(i % 1000) / 1000.0f;
    return samples;
}

static std::vector<float> slice(const std::vector<float> &samples, size_t from, size_t to) {
    return std::vector<float>(samples.begin() + from, samples.begin() + to);
}

TEST_F(Clipboard, CopyOfTheRightChannelMakesAMonoClipRecordedAsOneChannel) {
    std::vector<float> left = ramp(10000), right = ramp(10000, -0.5f);
    int32_t doc = makeDocument(44100, left, right);
    kvSetSelection(doc, 100, 5100, 1);
    ASSERT_EQ(kvCopy(doc), 0);
    int32_t channels = 0, rate = 0;
    kvGetClipProp(0, &channels, &rate);
    EXPECT_EQ(channels, 1);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(clip(0), slice(right, 100, 5100));
    std::string file = kvTestReadFile(workFolder + "/COPY.tmp");
    int32_t header[4];
    ASSERT_GE(file.size(), sizeof header);
    std::memcpy(header, file.data(), sizeof header);
    EXPECT_EQ(header[0], 1);
    EXPECT_EQ(header[1], 8 + 4 + 144 * kvClip.blockCount[0]);
    EXPECT_EQ(header[2], 1);
    EXPECT_EQ(header[3], 44100);
    EXPECT_EQ(file.size(), 4u + 4 + static_cast<size_t>(header[1]));
}

TEST_F(Clipboard, CopyingMovesNoSamples) {
    int32_t doc = makeDocument(44100, ramp(100000), ramp(100000));
    int64_t before = dataBytes();
    kvSetSelection(doc, 1234, 98765, -1);
    kvCopy(doc);
    EXPECT_EQ(dataBytes(), before);
    EXPECT_EQ(kvClip.length, 98765 - 1234);
}

TEST_F(Clipboard, AnEarlierClipCanBeLoadedAndPastedAgain) {
    std::vector<float> samples = ramp(3000);
    int32_t doc = makeDocument(8000, samples);
    kvSetSelection(doc, 0, 10, -1);
    kvCopy(doc);
    kvSetSelection(doc, 20, 25, -1);
    kvCopy(doc);
    EXPECT_EQ(kvGetClipCount(), 2);
    EXPECT_EQ(kvClip.number, 1);
    ASSERT_EQ(kvLoadClip(0), 0);
    EXPECT_EQ(kvClip.number, 0);
    EXPECT_EQ(kvClip.length, 10);
    kvSetSelection(doc, 50, 50, -1);
    ASSERT_EQ(kvPaste(doc, 0), 0);
    std::vector<float> after = channel(doc, 0);
    ASSERT_EQ(after.size(), 3010u);
    EXPECT_EQ(slice(after, 50, 60), slice(samples, 0, 10));
    EXPECT_EQ(slice(after, 60, 3010), slice(samples, 50, 3000));
    EXPECT_EQ(undoText(doc), "Paste Insert");
}

TEST_F(Clipboard, PasteReplaceReplacesTheClipsLengthNotTheSelections) {
    std::vector<float> samples = ramp(5000);
    std::vector<float> source(1000, 0.75f);
    int32_t doc = makeDocument(8000, samples);
    int32_t other = makeDocument(8000, source);
    kvSetSelection(other, 0, 1000, -1);
    kvCopy(other);
    kvSetSelection(doc, 2010, 2000, -1);
    ASSERT_EQ(kvPaste(doc, 1), 0);
    std::vector<float> after = channel(doc, 0);
    ASSERT_EQ(after.size(), 5000u);
    EXPECT_EQ(slice(after, 2000, 3000), source);
    EXPECT_EQ(slice(after, 3000, 5000), slice(samples, 3000, 5000));
    int32_t anchor, end, ch;
    kvGetSelection(doc, &anchor, &end, &ch);
    EXPECT_EQ(anchor, 2000);
    EXPECT_EQ(end, 3000);
    EXPECT_EQ(undoText(doc), "Paste Replace");
}

TEST_F(Clipboard, PasteReplaceNearTheEndRunsPastIt) {
    int32_t doc = makeDocument(8000, ramp(5000));
    int32_t other = makeDocument(8000, std::vector<float>(1000, 0.5f));
    kvSetSelection(other, 0, 1000, -1);
    kvCopy(other);
    kvSetSelection(doc, 4900, 4900, -1);
    kvPaste(doc, 1);
    EXPECT_EQ(kvGetLength(doc), 5900);
}

TEST_F(Clipboard, PasteAtTheEndAppendsAndWritesNoSamples) {
    std::vector<float> samples = ramp(3000);
    int32_t doc = makeDocument(8000, samples, samples);
    kvSetSelection(doc, 0, 1500, -1);
    kvCopy(doc);
    int64_t before = dataBytes();
    kvSetSelection(doc, 3000, 3000, -1);
    ASSERT_EQ(kvPaste(doc, 0), 0);
    EXPECT_EQ(dataBytes(), before);
    std::vector<float> after = channel(doc, 1);
    ASSERT_EQ(after.size(), 4500u);
    EXPECT_EQ(slice(after, 3000, 4500), slice(samples, 0, 1500));
}

TEST_F(Clipboard, PasteWithoutAClipDoesNothing) {
    int32_t doc = makeDocument(8000, ramp(100));
    int32_t states = kvGetNumUndo(doc);
    EXPECT_EQ(kvPaste(doc, 0), 0);
    EXPECT_EQ(kvGetNumUndo(doc), states);
    EXPECT_EQ(kvGetLength(doc), 100);
}

TEST_F(Clipboard, PasteMixWithoutAClipIsRefusedAndChangesNothing) {
    std::vector<float> samples = ramp(3000);
    int32_t doc = makeDocument(8000, samples);
    kvSetSelection(doc, 200, 100, -1);
    int32_t states = kvGetNumUndo(doc), level = kvGetUndoLevel(doc);
    EXPECT_EQ(kvDoEdit(doc, KV_EDIT_PASTE_MIX), -1);
    EXPECT_EQ(kvGetNumUndo(doc), states);
    EXPECT_EQ(kvGetUndoLevel(doc), level);
    EXPECT_EQ(channel(doc, 0), samples);
    int32_t anchor, end, ch;
    kvGetSelection(doc, &anchor, &end, &ch);
    EXPECT_EQ(anchor, 200);
    EXPECT_EQ(end, 100);
    EXPECT_TRUE(shownTexts().empty());
}

TEST_F(Clipboard, MonoClipOfHalfTheRateIsResampledIntoBothChannels) {
    int32_t source = makeDocument(22050, std::vector<float>(5000, 0.5f));
    kvSetSelection(source, 0, 5000, -1);
    kvCopy(source);
    int32_t doc = makeDocument(44100, std::vector<float>(10, 0.0f), std::vector<float>(10, 0.0f));
    kvSetSelection(doc, 10, 10, -1);
    ASSERT_EQ(kvPaste(doc, 0), 0);
    EXPECT_EQ(undoText(doc), "Paste Insert [2]");
    EXPECT_EQ(kvGetLength(doc), 10 + 10000);
    std::vector<float> left = channel(doc, 0), right = channel(doc, 1);
    EXPECT_EQ(left, right);
    /* The smoothing settles on the constant level well inside the clip. */
    EXPECT_NEAR(left[10 + 5000], 0.5f, 1e-4);
    EXPECT_LT(left[10], 0.5f);
}

TEST_F(Clipboard, EachConvertingPasteStartsFromRest) {
    int32_t source = makeDocument(22050, std::vector<float>(3000, 0.9f));
    kvSetSelection(source, 0, 3000, -1);
    kvCopy(source);
    int32_t first = makeDocument(44100, std::vector<float>(1, 0.0f));
    int32_t second = makeDocument(44100, std::vector<float>(1, 0.0f));
    kvSetSelection(first, 0, 0, -1);
    kvPaste(first, 0);
    kvSetSelection(second, 0, 0, -1);
    kvPaste(second, 0);
    EXPECT_EQ(channel(first, 0), channel(second, 0));
}

TEST_F(Clipboard, StereoClipIntoAMonoDocumentIsMixedDown) {
    std::vector<float> left = ramp(4000), right = ramp(4000, -0.25f);
    int32_t source = makeDocument(8000, left, right);
    kvSetSelection(source, 0, 4000, -1);
    kvCopy(source);
    int32_t doc = makeDocument(8000, std::vector<float>(5, 0.0f));
    kvSetSelection(doc, 5, 5, -1);
    ASSERT_EQ(kvPaste(doc, 0), 0);
    std::vector<float> after = channel(doc, 0);
    ASSERT_EQ(after.size(), 4005u);
    for (int i = 0; i < 4000; i++)
        ASSERT_EQ(after[5 + i], (left[i] + right[i]) * 0.5f) << i;
}

TEST_F(Clipboard, CutRemovesTheSelectionAndKeepsItAsTheClip) {
    std::vector<float> samples = ramp(6000);
    int32_t doc = makeDocument(8000, samples);
    kvSetSelection(doc, 1000, 2500, -1);
    ASSERT_EQ(kvCut(doc), 0);
    EXPECT_EQ(undoText(doc), "Cut");
    EXPECT_EQ(kvGetLength(doc), 4500);
    EXPECT_EQ(clip(0), slice(samples, 1000, 2500));
    kvUndo(doc);
    EXPECT_EQ(channel(doc, 0), samples);
}

TEST(BlockResampler, UpSamplingInterpolatesAndSmoothsAcrossCalls) {
    kvResampleBlock(0, nullptr, nullptr, 0, 0);
    const float input[2] = {1.0f, 1.0f};
    float output[4];
    kvResampleBlock(0, input, output, 2, 4);
    EXPECT_FLOAT_EQ(output[0], 0.0f);
    EXPECT_FLOAT_EQ(output[1], 0.25f);
    EXPECT_FLOAT_EQ(output[2], 0.625f);
    EXPECT_FLOAT_EQ(output[3], 0.8125f);
    kvResampleBlock(0, input, output, 2, 4);
    EXPECT_FLOAT_EQ(output[0], 0.90625f); /* left neighbour is the last input of the call before */
}

TEST(BlockResampler, DownSamplingAveragesTheSkippedInputs) {
    kvResampleBlock(0, nullptr, nullptr, 0, 0);
    const float input[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    float output[2];
    kvResampleBlock(1, input, output, 4, 2);
    EXPECT_FLOAT_EQ(output[0], 0.5f);
    EXPECT_FLOAT_EQ(output[1], 1.0f);
}

TEST(BlockResampler, ChannelsKeepSeparateStateAndResetClearsBoth) {
    kvResampleBlock(0, nullptr, nullptr, 0, 0);
    const float ones[2] = {1.0f, 1.0f};
    float output[4];
    kvResampleBlock(0, ones, output, 2, 4);
    kvResampleBlock(1, ones, output, 2, 4);
    EXPECT_FLOAT_EQ(output[0], 0.0f); /* channel 1 starts from rest */
    kvResampleBlock(0, nullptr, nullptr, 0, 0);
    kvResampleBlock(0, ones, output, 2, 4);
    EXPECT_FLOAT_EQ(output[0], 0.0f);
}
