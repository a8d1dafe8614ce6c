/*
 * preview_test.cpp - the live effect preview and the clipboard preview, as
 * heard on the test sound card.
 */
#include "tests/audio/playback_fixture.h"

using EffectPreview = PlaybackTest;

TEST_F(EffectPreview, VolumePreviewPlaysWhatTheEditWritesAndLoops) {
    params.volumeDb = -9;
    std::vector<float> left = countingSamples(10000), right = countingSamples(10000, -1);
    for (int32_t i = 0; i < 10000; i += 7)
        left[i] = 0.8f * static_cast<float>(i % 3 - 1);
    int32_t doc = makeDocument(8000, left, right);
    kvSetSelection(doc, 1000, 9000, -1);
    ASSERT_EQ(kvPreviewStart(doc, KV_EDIT_VOLUME), 0);
    /* At 8000 Hz the minimum pass of one second is the selection itself. */
    ASSERT_TRUE(waitUntil([&] { return playedCount() >= 1024 + 2 * 8000 + 1000; }));
    EXPECT_EQ(kvIsPlaying(), 1);
    kvStop();

    ASSERT_EQ(kvDoEdit(doc, KV_EDIT_VOLUME), 0);
    std::vector<KvStereoFrame> pass = stereoFrames(channel(doc, 0), channel(doc, 1), 1000, 9000),
                               expected;
    std::vector<KvStereoFrame> frames = played();
    while (expected.size() < frames.size() - 1024)
        expected.push_back(pass[expected.size() % pass.size()]);
    expectSilence(frames, 0, 1024);
    expectFramesAt(frames, 1024, expected);
    EXPECT_NE(pass, stereoFrames(left, right, 1000, 9000)) << "the edit changed nothing";
}

TEST_F(EffectPreview, BypassPlaysTheSoundUnprocessedAndFillsEachPassToOneSecond) {
    params.volumeDb = -9;
    params.previewBypass = 1;
    std::vector<float> left = countingSamples(6000), right = countingSamples(6000, -1);
    int32_t doc = makeDocument(8000, left, right);
    kvSetSelection(doc, 1000, 4000, -1);
    ASSERT_EQ(kvPreviewStart(doc, KV_EDIT_VOLUME), 0);
    ASSERT_TRUE(waitUntil([&] { return playedCount() >= 1024 + 8000 + 3000 + 100; }));
    kvStop();
    std::vector<KvStereoFrame> frames = played();
    std::vector<KvStereoFrame> sound = stereoFrames(left, right, 1000, 4000);
    expectFramesAt(frames, 1024, sound);
    expectSilence(frames, 1024 + 3000, 1024 + 8000);
    expectFramesAt(frames, 1024 + 8000, sound);
}

TEST_F(EffectPreview, PreviewMovesNoPlayCursor) {
    int32_t doc = makeDocument(8000, countingSamples(8000));
    kvSetSelection(doc, 0, 4000, -1);
    ASSERT_EQ(kvPreviewStart(doc, KV_EDIT_VOLUME), 0);
    ASSERT_TRUE(waitUntil([&] { return playedCount() >= 3000; }));
    EXPECT_EQ(playFrame(doc), -1);
    EXPECT_EQ(kvIsPlaying(), 1);
    kvStop();
    EXPECT_EQ(kvIsPlaying(), 0);
}

using ClipboardPreview = ProgramPlaybackTest;

TEST_F(ClipboardPreview, ClipPlaysOnceAtItsOwnRateAndTheProgramIsTold) {
    std::vector<float> samples = countingSamples(6000);
    int32_t doc = makeDocument(11025, samples);
    kvSetSelection(doc, 0, 6000, -1);
    ASSERT_EQ(kvCopy(doc), 0);
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(kvPreviewClip(), 0);
    ASSERT_TRUE(waitUntil([&] { return received(KV_MSG_CLIP_PLAYED); }));
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(seconds, 6000 / 11025.0) << "played faster than the clip's rate";
    EXPECT_EQ(kvIsPlaying(), 0);
    std::vector<KvStereoFrame> frames = played();
    EXPECT_EQ(frames.size(), 6000u);
    expectFramesAt(frames, 0, stereoFrames(samples, {}, 0, 6000));
}

TEST_F(ClipboardPreview, CopyingWhileTheClipPlaysDoesNotChangeWhatIsHeard) {
    std::vector<float> left = countingSamples(20000), right = countingSamples(20000, -1);
    int32_t doc = makeDocument(22050, left, right);
    kvSetSelection(doc, 0, 10000, -1);
    ASSERT_EQ(kvCopy(doc), 0);
    ASSERT_EQ(kvPreviewClip(), 0);
    kvSetSelection(doc, 15000, 16000, 1);
    ASSERT_EQ(kvCopy(doc), 0);
    ASSERT_TRUE(waitUntil([&] { return received(KV_MSG_CLIP_PLAYED); }));
    std::vector<KvStereoFrame> frames = played();
    EXPECT_EQ(frames.size(), 10000u);
    expectFramesAt(frames, 0, stereoFrames(left, right, 0, 10000));
}

TEST_F(ClipboardPreview, StoppingTheClipEndsItEarlyAndStillTellsTheProgram) {
    int32_t doc = makeDocument(8000, countingSamples(40000));
    kvSetSelection(doc, 0, 40000, -1);
    ASSERT_EQ(kvCopy(doc), 0);
    ASSERT_EQ(kvPreviewClip(), 0);
    ASSERT_TRUE(waitUntil([&] { return playedCount() >= 2000; }));
    kvStop();
    EXPECT_EQ(kvIsPlaying(), 0);
    ASSERT_TRUE(waitUntil([&] { return received(KV_MSG_CLIP_PLAYED); }));
    EXPECT_LT(playedCount(), 40000);
}
