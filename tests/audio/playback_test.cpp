/*
 * playback_test.cpp - document playback through the real device stack
 * (PortAudio, ALSA, the paced test sound card): which frames reach the
 * device, in which order, and when playback ends.
 */
#include "tests/audio/playback_fixture.h"

using PlaybackOfDocument = PlaybackTest;

TEST_F(PlaybackOfDocument, SelectionPlaysExactlyItsSamplesThenStopsAtItsEnd) {
    std::vector<float> left = countingSamples(30000), right = countingSamples(30000, -1);
    left[20000] = 1.5f;
    right[20001] = -1.5f;
    left[20002] = 0.99999f;
    right[20003] = -0.00002f;
    int32_t doc = makeDocument(44100, left, right);
    kvSetSelection(doc, 5000, 25000, -1);
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(kvPlay(doc, KV_PLAY_NORMAL), 0);
    EXPECT_EQ(kvIsPlaying(), 1);
    ASSERT_TRUE(waitStopped());
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(seconds, 20000 / 44100.0) << "stopped before the device had played the range";
    std::vector<KvStereoFrame> frames = played();
    expectSilence(frames, 0, 1024);
    expectFramesAt(frames, 1024, stereoFrames(left, right, 5000, 25000));
    expectSilence(frames, 1024 + 20000, frames.size());
    EXPECT_EQ(playFrame(doc), -1);
    int32_t anchor, end;
    kvGetSelection(doc, &anchor, &end, nullptr);
    EXPECT_EQ(anchor, 5000);
    EXPECT_EQ(end, 25000);
}

TEST_F(PlaybackOfDocument, ReverseFromTheCursorAtZeroStartsAtTheEndAndMonoFeedsBothOutputs) {
    std::vector<float> samples = countingSamples(8000);
    int32_t doc = makeDocument(44100, samples);
    kvSetSelection(doc, 0, 0, -1);
    std::vector<KvStereoFrame> expected;
    for (int32_t i = 7999; i >= 0; i--)
        expected.push_back({expectedPcm(samples[i]), expectedPcm(samples[i])});
    std::vector<KvStereoFrame> frames = playThrough(doc, KV_PLAY_REVERSE);
    expectSilence(frames, 0, 1024);
    expectFramesAt(frames, 1024, expected);
    expectSilence(frames, 1024 + 8000, frames.size());
}

TEST_F(PlaybackOfDocument, ForwardPlaysFromTheCursorOrFromZeroWhenTheCursorIsAtTheEnd) {
    std::vector<float> samples = countingSamples(8000);
    int32_t doc = makeDocument(44100, samples);
    for (auto [cursor, start] : {std::pair{8000, 0}, std::pair{3000, 3000}}) {
        std::filesystem::remove(output);
        kvSetSelection(doc, cursor, cursor, -1);
        std::vector<KvStereoFrame> frames = playThrough(doc, KV_PLAY_NORMAL);
        expectFramesAt(frames, 1024, stereoFrames(samples, {}, start, 8000));
        expectSilence(frames, 1024 + 8000 - start, frames.size());
    }
}

TEST_F(PlaybackOfDocument, DoubleSpeedPlaysPairsOfFramesAveraged) {
    std::vector<float> left = countingSamples(12000), right = countingSamples(12000, -1);
    right[101] = 0.7f;
    int32_t doc = makeDocument(44100, left, right);
    kvSetSelection(doc, 0, 12000, -1);
    auto started = std::chrono::steady_clock::now();
    std::vector<KvStereoFrame> frames = playThrough(doc, KV_PLAY_FAST_FORWARD);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_GE(seconds, 6000 / 44100.0);
    std::vector<KvStereoFrame> expected;
    for (int32_t k = 0; k < 6000; k++)
        expected.push_back({expectedPcm(0.5f * (left[2 * k] + left[2 * k + 1])),
                            expectedPcm(0.5f * (right[2 * k] + right[2 * k + 1]))});
    expectFramesAt(frames, 1024, expected);
    expectSilence(frames, 1024 + 6000, frames.size());
}

TEST_F(PlaybackOfDocument, FastReversePlaysPairsAveragedFromTheEnd) {
    std::vector<float> samples = countingSamples(8000);
    int32_t doc = makeDocument(44100, samples);
    kvSetSelection(doc, 0, 8000, -1);
    std::vector<KvStereoFrame> expected;
    for (int32_t k = 0; k < 4000; k++) {
        int16_t v = expectedPcm(0.5f * (samples[7999 - 2 * k] + samples[7998 - 2 * k]));
        expected.push_back({v, v});
    }
    std::vector<KvStereoFrame> frames = playThrough(doc, KV_PLAY_FAST_REVERSE);
    expectFramesAt(frames, 1024, expected);
    expectSilence(frames, 1024 + 4000, frames.size());
}

TEST_F(PlaybackOfDocument, OneChannelSelectedLeavesTheOtherOutputSilent) {
    std::vector<float> left = countingSamples(6000), right = countingSamples(6000, -1);
    int32_t doc = makeDocument(44100, left, right);
    kvSetSelection(doc, 1000, 5000, 1);
    ASSERT_EQ(kvPlay(doc, KV_PLAY_NORMAL), 0);
    ASSERT_TRUE(waitStopped());
    std::vector<KvStereoFrame> expected;
    for (int32_t i = 1000; i < 5000; i++)
        expected.push_back({0, expectedPcm(right[i])});
    expectFramesAt(played(), 1024, expected);

    std::filesystem::remove(output);
    kvSetSelection(doc, 1000, 5000, 0);
    ASSERT_EQ(kvPlay(doc, KV_PLAY_NORMAL), 0);
    ASSERT_TRUE(waitStopped());
    expected.clear();
    for (int32_t i = 1000; i < 5000; i++)
        expected.push_back({expectedPcm(left[i]), 0});
    expectFramesAt(played(), 1024, expected);
}

TEST_F(PlaybackOfDocument, EmptyDocumentOrBadHandlePlaysNothing) {
    int32_t doc = kvCreate(nullptr);
    ASSERT_EQ(kvNew(doc, 2, 16, 1, 44100), 0);
    EXPECT_EQ(kvPlay(doc, KV_PLAY_NORMAL), 0);
    EXPECT_EQ(kvIsPlaying(), 0);
    EXPECT_EQ(kvPlay(200, KV_PLAY_NORMAL), -1);
    EXPECT_EQ(kvPlay(-1, KV_PLAY_NORMAL), -1);
    EXPECT_EQ(kvPause(200), -1);
    EXPECT_EQ(kvPreviewStart(200, KV_EDIT_VOLUME), -1);
    EXPECT_EQ(kvIsPlaying(), 0);
    EXPECT_EQ(kvStop(), 0);
}

using PlaybackControl = PlaybackTest;

TEST_F(PlaybackControl, LoopingWrapsAtTheRangeEndUntilStopped) {
    options.loopPlayback = 1;
    std::vector<float> left = countingSamples(8000), right = countingSamples(8000, -1);
    int32_t doc = makeDocument(44100, left, right);
    kvSetSelection(doc, 2000, 5000, -1);
    ASSERT_EQ(kvPlay(doc, KV_PLAY_NORMAL), 0);
    bool cursorInRange = true;
    ASSERT_TRUE(waitUntil([&] {
        int32_t frame = playFrame(doc);
        cursorInRange = cursorInRange && frame >= 2000 && frame < 5000;
        return playedCount() >= 1024 + 3 * 3000 + 500;
    }));
    EXPECT_TRUE(cursorInRange);
    EXPECT_EQ(kvIsPlaying(), 1);
    kvStop();
    EXPECT_EQ(kvIsPlaying(), 0);
    std::vector<KvStereoFrame> frames = played();
    std::vector<KvStereoFrame> loop = stereoFrames(left, right, 2000, 5000), expected;
    while (expected.size() < frames.size() - 1024)
        expected.push_back(loop[expected.size() % loop.size()]);
    expectFramesAt(frames, 1024, expected);
}

TEST_F(PlaybackControl, PauseWithAPartialSelectionOnlyStops) {
    int32_t doc = makeDocument(44100, countingSamples(40000));
    kvSetSelection(doc, 1000, 30000, -1);
    ASSERT_EQ(kvPlay(doc, KV_PLAY_NORMAL), 0);
    ASSERT_TRUE(waitUntil([&] { return playFrame(doc) >= 5000; }));
    EXPECT_EQ(kvPause(doc), 0);
    EXPECT_EQ(kvIsPlaying(), 0);
    int32_t anchor, end;
    kvGetSelection(doc, &anchor, &end, nullptr);
    EXPECT_EQ(anchor, 1000);
    EXPECT_EQ(end, 30000);
}

TEST_F(PlaybackControl, PauseWithoutASelectionOrWithAllSelectedLeavesTheCursorAtThePlayPosition) {
    int32_t doc = makeDocument(44100, countingSamples(60000));
    for (int32_t end : {0, 60000}) {
        kvSetSelection(doc, 0, end, -1);
        ASSERT_EQ(kvPlay(doc, KV_PLAY_NORMAL), 0);
        ASSERT_TRUE(waitUntil([&] { return playFrame(doc) >= 8000; }));
        int32_t before = playFrame(doc);
        EXPECT_EQ(kvPause(doc), 0);
        EXPECT_EQ(kvIsPlaying(), 0);
        int32_t anchor, cursor;
        kvGetSelection(doc, &anchor, &cursor, nullptr);
        EXPECT_EQ(anchor, cursor);
        EXPECT_GE(cursor, before);
        EXPECT_LE(cursor, before + 44100 / 2);
    }
}

TEST_F(PlaybackControl, NewSpeedOnTheSameRangeContinuesFromThePlayPosition) {
    std::vector<float> left = countingSamples(32000), right = countingSamples(32000, -1);
    int32_t doc = makeDocument(44100, left, right);
    kvSetSelection(doc, 0, 32000, -1);
    ASSERT_EQ(kvPlay(doc, KV_PLAY_NORMAL), 0);
    ASSERT_TRUE(waitUntil([&] { return playFrame(doc) >= 20000; }));
    int32_t before = playFrame(doc);
    ASSERT_EQ(kvPlay(doc, KV_PLAY_FAST_FORWARD), 0);
    EXPECT_EQ(kvIsPlaying(), 1);
    ASSERT_TRUE(waitStopped());

    /* First run: silence, frames 0.. as far as they were heard; second run:
     * silence, then pairs averaged from the play cursor of the first. The
     * cursor trails the card by what it plays while its threads stop. */
    std::vector<KvStereoFrame> frames = played();
    size_t firstEnd = 1024;
    while (firstEnd < frames.size() && frames[firstEnd][0] != 0)
        firstEnd++;
    int32_t heard = static_cast<int32_t>(firstEnd - 1024);
    expectFramesAt(frames, 1024, stereoFrames(left, right, 0, heard));
    size_t second = firstEnd + 1024;
    expectSilence(frames, firstEnd, second);
    ASSERT_LT(second, frames.size());
    int32_t resumed = frames[second][0] - 2; /* (s + 1.75 + s + 2.75) / 2 plays as s + 2 */
    EXPECT_GE(resumed, before);
    EXPECT_LE(std::abs(resumed - heard), 44100 / 4);
    std::vector<KvStereoFrame> expected;
    for (int32_t s = resumed; s + 1 < 32000; s += 2)
        expected.push_back({expectedPcm(0.5f * (left[s] + left[s + 1])),
                            expectedPcm(0.5f * (right[s] + right[s + 1]))});
    expectFramesAt(frames, second, expected);
}

TEST_F(PlaybackControl, StopPutsAFollowingViewBackUnlessTouchedOrNotScrolling) {
    int32_t doc = makeDocument(44100, countingSamples(60000));
    KV_State *state = kvGetDocument(doc)->current;
    struct Case {
        int32_t touched, scrollMode, expectedFirst;
    };
    for (Case c : {Case{0, 0, 1000}, Case{1, 0, 9000}, Case{0, 2, 9000}, Case{0, 1, 1000}}) {
        options.scrollMode = c.scrollMode;
        state->firstFrame = 1000;
        kvSetSelection(doc, 0, 0, -1);
        ASSERT_EQ(kvPlay(doc, KV_PLAY_NORMAL), 0);
        kvPlayCursor(doc)->following.store(1);
        kvPlayCursor(doc)->userTouched.store(c.touched);
        std::atomic_ref<int32_t>(state->firstFrame).store(9000);
        kvStop();
        EXPECT_EQ(state->firstFrame, c.expectedFirst)
            << "touched " << c.touched << ", scroll mode " << c.scrollMode;
        EXPECT_EQ(kvPlayCursor(doc)->following.load(), 0);
    }
}

TEST_F(PlaybackControl, ReachingTheRangeEndAlsoPutsAFollowingViewBack) {
    int32_t doc = makeDocument(44100, countingSamples(20000));
    KV_State *state = kvGetDocument(doc)->current;
    state->firstFrame = 640;
    kvSetSelection(doc, 0, 8000, -1);
    ASSERT_EQ(kvPlay(doc, KV_PLAY_NORMAL), 0);
    kvPlayCursor(doc)->following.store(1);
    std::atomic_ref<int32_t>(state->firstFrame).store(6400);
    ASSERT_TRUE(waitStopped());
    EXPECT_EQ(state->firstFrame, 640);
    EXPECT_EQ(playFrame(doc), -1);
}

TEST_F(PlaybackControl, ClosingThePlayingDocumentStopsPlaybackFirstAndOnlyThatOne) {
    int32_t playing = makeDocument(44100, countingSamples(44100 * 5));
    int32_t other = makeDocument(44100, countingSamples(1000));
    ASSERT_EQ(kvPlay(playing, KV_PLAY_NORMAL), 0);
    ASSERT_EQ(kvClose(other), 0);
    EXPECT_EQ(kvIsPlaying(), 1) << "closing another document leaves playback alone";
    ASSERT_EQ(kvClose(playing), 0);
    EXPECT_EQ(kvIsPlaying(), 0) << "no thread may read the freed document";
}
