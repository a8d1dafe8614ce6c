/*
 * stress_test.cpp - ten seconds of starting, stopping, pausing and changing
 * speed as fast as the calls return, mixed with previews and the clipboard
 * preview: every call must come back, and playback must still work after.
 */
#include "tests/audio/playback_fixture.h"

#include <random>

using PlaybackStress = PlaybackTest;

TEST_F(PlaybackStress, StartsStopsAndSpeedChangesInATightLoopNeverHang) {
    options.loopPlayback = 1;
    std::vector<float> left = countingSamples(30000), right = countingSamples(30000, -1);
    int32_t doc = makeDocument(44100, left, right);
    int32_t other = makeDocument(22050, countingSamples(20000));
    kvSetSelection(other, 0, 5000, -1);
    ASSERT_EQ(kvCopy(other), 0);
    std::mt19937 random(12345);
    const int32_t speeds[] = {KV_PLAY_NORMAL, KV_PLAY_REVERSE, KV_PLAY_FAST_FORWARD,
                              KV_PLAY_FAST_REVERSE};
    int32_t calls = 0;
    double slowest = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        auto before = std::chrono::steady_clock::now();
        switch (random() % 8) {
        case 0:
            kvSetSelection(doc, static_cast<int32_t>(random() % 10000),
                           static_cast<int32_t>(random() % 30000),
                           static_cast<int32_t>(random() % 3) - 1);
            break;
        case 1:
        case 2:
            kvPlay(doc, speeds[random() % 4]);
            break;
        case 3:
            kvPlay(other, speeds[random() % 4]);
            break;
        case 4:
            kvStop();
            break;
        case 5:
            kvPause(doc);
            break;
        case 6:
            kvPreviewStart(doc, KV_EDIT_VOLUME);
            break;
        default:
            kvPreviewClip();
            break;
        }
        slowest = std::max(
            slowest,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count());
        calls++;
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 12));
    }
    kvStop();
    EXPECT_TRUE(waitStopped(3000));
    EXPECT_LT(slowest, 2.5) << "a call waited for threads that did not end";
    EXPECT_GT(calls, 100);
    EXPECT_TRUE(kvTestTakeShownBoxes().empty());

    std::filesystem::remove(output);
    options.loopPlayback = 0;
    kvSetSelection(doc, 0, 3000, -1);
    ASSERT_EQ(kvPlay(doc, KV_PLAY_NORMAL), 0);
    ASSERT_TRUE(waitStopped());
    expectFramesAt(played(), 1024, stereoFrames(left, right, 0, 3000));
}
