/*
 * device_test.cpp - choosing the output device, and what happens when the
 * device cannot be opened or fails while playing.
 */
#include "tests/audio/playback_fixture.h"

#include <string>

static std::vector<std::string> deviceNames(int32_t input) {
    std::vector<std::string> names;
    char buffer[256];
    for (int32_t n = 0; kvGetDeviceName(input, n, buffer, sizeof buffer) >= 0; n++)
        names.push_back(buffer);
    return names;
}

class PlaybackDevices : public PlaybackTest {
  protected:
    /* A short document plays through whole on the chosen device. */
    void expectASelectionPlays() {
        std::vector<float> samples = countingSamples(3000);
        int32_t doc = makeDocument(44100, samples);
        kvSetSelection(doc, 0, 3000, -1);
        expectFramesAt(playThrough(doc, KV_PLAY_NORMAL), 1024, stereoFrames(samples, {}, 0, 3000));
    }
};

TEST_F(PlaybackDevices, DeviceListsNameTheOutputsAndTheInputsSeparately) {
    std::vector<std::string> outputs = deviceNames(0), inputs = deviceNames(1);
    EXPECT_EQ(static_cast<int32_t>(outputs.size()), kvGetDeviceCount(0));
    EXPECT_EQ(static_cast<int32_t>(inputs.size()), kvGetDeviceCount(1));
    auto has = [](const std::vector<std::string> &names, const char *name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    EXPECT_TRUE(has(outputs, "kvout"));
    EXPECT_TRUE(has(outputs, "default"));
    EXPECT_FALSE(has(outputs, "kvin"));
    EXPECT_TRUE(has(inputs, "kvin"));
    EXPECT_FALSE(has(inputs, "kvout"));
    char shortBuffer[3];
    int32_t kvout =
        static_cast<int32_t>(std::find(outputs.begin(), outputs.end(), "kvout") - outputs.begin());
    EXPECT_EQ(kvGetDeviceName(0, kvout, shortBuffer, sizeof shortBuffer), 2);
    EXPECT_STREQ(shortBuffer, "kv");
    EXPECT_EQ(kvGetDeviceName(0, kvGetDeviceCount(0), shortBuffer, 3), -1);
    EXPECT_EQ(kvGetDeviceName(0, -1, shortBuffer, 3), -1);
}

TEST_F(PlaybackDevices, ChosenDeviceNumberPlaysOnThatDevice) {
    std::vector<std::string> outputs = deviceNames(0);
    int32_t kvout =
        static_cast<int32_t>(std::find(outputs.begin(), outputs.end(), "kvout") - outputs.begin());
    options.playDevice = kvout;
    expectASelectionPlays();
    EXPECT_EQ(options.playDevice, kvout);
}

TEST_F(PlaybackDevices, DeviceNumberThatNoLongerExistsPlaysOnTheDefaultAndIsStoredAsDefault) {
    options.playDevice = kvGetDeviceCount(0) + 3;
    expectASelectionPlays();
    EXPECT_EQ(options.playDevice, -1);
    EXPECT_TRUE(kvTestTakeShownBoxes().empty());
}

TEST_F(PlaybackDevices, DeviceThatCannotOpenIsReportedAndTheNextPlayWorks) {
    /* The sound card takes 4000 Hz and more, so a 1000 Hz document cannot play. */
    int32_t slow = makeDocument(1000, countingSamples(3000));
    ASSERT_EQ(kvPlay(slow, KV_PLAY_NORMAL), 0);
    ASSERT_TRUE(waitStopped());
    std::vector<KvShownBox> boxes = kvTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Korvel Error");
    EXPECT_EQ(boxes[0].text.rfind("Can't open wave out device\n\n", 0), 0u) << boxes[0].text;
    EXPECT_EQ(boxes[0].buttons, KV_BOX_YES_NO) << "the message offers its help page";
    EXPECT_EQ(playFrame(slow), -1);
    EXPECT_EQ(playedCount(), 0);

    expectASelectionPlays();
    EXPECT_TRUE(kvTestTakeShownBoxes().empty());
}

using PlaybackDeviceFailure = ProgramPlaybackTest;

TEST_F(PlaybackDeviceFailure, WriteErrorIsReportedStopsAndTellsTheProgram) {
    int32_t doc = makeDocument(44100, countingSamples(60000));
    kvSetSelection(doc, 0, 60000, -1);
    kvTestQueueAnswer(KV_ID_OK);
    kvTestFailAudioWrite(20);
    ASSERT_EQ(kvPlay(doc, KV_PLAY_NORMAL), 0);
    ASSERT_TRUE(waitUntil([&] { return received(KV_MSG_PLAY_FAILED); }));
    EXPECT_EQ(kvIsPlaying(), 0);
    EXPECT_EQ(playFrame(doc), -1);
    std::vector<KvShownBox> boxes = kvTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error writing to wave device");
    EXPECT_LT(playedCount(), 1024 + 60000);

    std::filesystem::remove(output);
    kvSetSelection(doc, 0, 3000, -1);
    ASSERT_EQ(kvPlay(doc, KV_PLAY_NORMAL), 0);
    ASSERT_TRUE(waitStopped());
    EXPECT_GE(playedCount(), 1024 + 3000);
    EXPECT_EQ(std::count(window->messages.begin(), window->messages.end(), KV_MSG_PLAY_FAILED), 1);
}
