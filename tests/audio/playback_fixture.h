/*
 * playback_fixture.h - a headless engine per test that plays through the
 * test sound card into the test's own file, with helpers to wait for the
 * playback threads and to read back what the device played.
 *
 * Expected device frames are computed here from the rule that playback
 * follows (32768 times the sample, truncated towards zero, clamped to 16
 * bits) in double precision, independently of the engine's conversion.
 */
#ifndef KV_TEST_AUDIO_PLAYBACK_FIXTURE_H
#define KV_TEST_AUDIO_PLAYBACK_FIXTURE_H

#include "engine/audio/playback.h"
#include "engine/platform/audio_device.h"
#include "tests/audio/test_device.h"
#include "tests/support/document_fixture.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

inline int16_t expectedPcm(double sample) {
    double scaled = std::trunc(sample * 32768.0);
    return static_cast<int16_t>(std::clamp(scaled, -32768.0, 32767.0));
}

/* Samples whose device values are easy to read: frame i plays as i + 1 on
 * the left and -(i + 1) on the right; the fraction checks the truncation. */
inline std::vector<float> countingSamples(int32_t count, int32_t sign = 1) {
    std::vector<float> samples(count);
    for (int32_t i = 0; i < count; i++)
        samples[i] = static_cast<float>(sign * (i + 1.75) / 32768.0);
    return samples;
}

class PlaybackTest : public DocumentTest {
  protected:
    void SetUp() override {
        DocumentTest::SetUp();
        output = path("played.raw");
        kvUseTestAudioDevice(output);
        options.loopPlayback = 0;
        params.fadeEdges = 0;
        params.fadeEdgesWhole = 0;
    }
    void TearDown() override {
        kvStop();
        kvTestFailAudioWrite(0);
        DocumentTest::TearDown();
    }

    /* Polls every 2 ms (handling the GUI's events when there is a GUI)
     * until the condition holds or the time is up. */
    static bool waitUntil(const std::function<bool()> &condition, int32_t ms = 10000) {
        auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > limit) return false;
            if (QCoreApplication::instance()) QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    static bool waitStopped(int32_t ms = 10000) {
        return waitUntil([] { return kvIsPlaying() == 0; }, ms);
    }
    static int32_t playFrame(int32_t doc) { return kvPlayCursor(doc)->playFrame.load(); }

    std::vector<KvStereoFrame> played() const { return kvReadPlayedFrames(output); }

    /* Plays until playback ends by itself: what the device played. */
    std::vector<KvStereoFrame> playThrough(int32_t doc, int32_t speed) {
        EXPECT_EQ(kvPlay(doc, speed), 0);
        EXPECT_TRUE(waitStopped());
        return played();
    }
    int64_t playedCount() const { return kvPlayedFrameCount(output); }

    /* Checks that frames [at, at + expected.size()) of what was played are
     * the expected ones; reports the first difference. */
    static void expectFramesAt(const std::vector<KvStereoFrame> &frames, size_t at,
                               const std::vector<KvStereoFrame> &expected) {
        ASSERT_GE(frames.size(), at + expected.size());
        for (size_t i = 0; i < expected.size(); i++) {
            ASSERT_EQ(frames[at + i][0], expected[i][0]) << "left of frame " << at + i;
            ASSERT_EQ(frames[at + i][1], expected[i][1]) << "right of frame " << at + i;
        }
    }
    static void expectSilence(const std::vector<KvStereoFrame> &frames, size_t from, size_t to) {
        for (size_t i = from; i < std::min(to, frames.size()); i++)
            ASSERT_TRUE(frames[i][0] == 0 && frames[i][1] == 0) << "frame " << i;
    }

    /* Device frames of a stereo stretch (right empty: a mono one). */
    static std::vector<KvStereoFrame> stereoFrames(const std::vector<float> &left,
                                                   const std::vector<float> &right, size_t from,
                                                   size_t to) {
        std::vector<KvStereoFrame> frames;
        for (size_t i = from; i < to; i++) {
            int16_t l = expectedPcm(left[i]);
            frames.push_back({l, right.empty() ? l : expectedPcm(right[i])});
        }
        return frames;
    }

    std::string output;
};

/* A widget that records the numbers of the engine's messages it receives. */
class MessageRecorder : public QWidget {
  public:
    std::vector<int32_t> messages;

  protected:
    bool event(QEvent *event) override {
        int32_t type = event->type();
        if (type >= KV_MSG_REC_TIME && type <= KV_MSG_ZOOM_CHANGED) messages.push_back(type);
        return QWidget::event(event);
    }
};

/* Playback with a program: a GUI application and a message window. */
class ProgramPlaybackTest : public PlaybackTest {
  protected:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "audio_tests";
        static char *argv[] = {name, nullptr};
        PlaybackTest::SetUp();
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        if (!QCoreApplication::instance()) new QApplication(argc, argv);
        stopEngine();
        window = new MessageRecorder;
        ASSERT_EQ(kvInit(window, &options, sizeof options, &params, sizeof params, nullptr, nullptr,
                         nullptr),
                  0);
        engineStarted = true;
    }
    void TearDown() override {
        PlaybackTest::TearDown();
        delete window;
    }
    bool received(int32_t message) const {
        return std::find(window->messages.begin(), window->messages.end(), message) !=
               window->messages.end();
    }

    MessageRecorder *window = nullptr;
};

#endif
