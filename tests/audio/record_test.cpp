/*
 * record_test.cpp - takes recorded from the test sound card, whose capture
 * side plays back a file written here. Each input frame of that file names
 * its own position (left: position modulo 32768, right: position / 32768),
 * so a take can be matched against the file wherever capture happened to
 * start, and dropped or repeated frames show.
 */
#include "engine/view/peaks.h"
#include "message_event.h"
#include "tests/audio/playback_fixture.h"

#include <cstdlib>
#include <fstream>
#include <memory>

class RecordTest : public PlaybackTest {
  protected:
    void SetUp() override {
        PlaybackTest::SetUp();
        input = path("input.raw");
        setenv("KV_TEST_AUDIO_IN", input.c_str(), 1);
        options.recordMode = 0;
        options.recordDevice = inputDevice("kvin");
    }
    void TearDown() override {
        kvRecStop();
        PlaybackTest::TearDown();
    }

    static int32_t inputDevice(const std::string &name) {
        char buffer[256];
        for (int32_t n = 0; kvGetDeviceName(1, n, buffer, sizeof buffer) >= 0; n++)
            if (name == buffer) return n;
        ADD_FAILURE() << "no input device " << name;
        return 0;
    }

    void writeInput(const std::vector<KvStereoFrame> &frames) const {
        std::ofstream out(input, std::ios::binary);
        out.write(reinterpret_cast<const char *>(frames.data()),
                  static_cast<std::streamsize>(frames.size() * sizeof(KvStereoFrame)));
    }
    /* Ten seconds of self-numbering frames at 44100 Hz. */
    void writeCountingInput() const {
        std::vector<KvStereoFrame> frames(441000);
        for (int32_t i = 0; i < 441000; i++)
            frames[i] = {static_cast<int16_t>(i & 0x7fff), static_cast<int16_t>(i >> 15)};
        writeInput(frames);
    }

    /* Monitors for a moment, then records for about `ms` milliseconds. */
    static void recordTake(int32_t doc, int32_t ms) {
        ASSERT_EQ(kvRecord(doc), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        ASSERT_EQ(kvStopRecording(doc), 0);
    }
    static void startMonitoring(int32_t doc) {
        ASSERT_EQ(kvRecStart(doc), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }

    /* Checks that samples [from, from + count) of a stereo document are a
     * contiguous stretch of the counting input. */
    static void expectCountingTake(int32_t doc, int32_t from, int32_t count) {
        std::vector<float> left = channel(doc, 0), right = channel(doc, 1);
        ASSERT_GE(static_cast<int32_t>(left.size()), from + count);
        auto position = [&](int32_t i) {
            return static_cast<int64_t>(left[i] * 32768.0f) +
                   static_cast<int64_t>(right[i] * 32768.0f) * 32768;
        };
        int64_t start = position(from);
        for (int32_t k = 0; k < count; k++) {
            int64_t i = start + k;
            ASSERT_EQ(left[from + k], static_cast<float>((i & 0x7fff) / 32768.0)) << "frame " << k;
            ASSERT_EQ(right[from + k], static_cast<float>((i >> 15) / 32768.0)) << "frame " << k;
        }
    }

    static int32_t selectionAnchor(int32_t doc) {
        int32_t anchor = 0, end = 0, channel = 0;
        kvGetSelection(doc, &anchor, &end, &channel);
        return anchor;
    }
    static int32_t selectionEnd(int32_t doc) {
        int32_t anchor = 0, end = 0, channel = 0;
        kvGetSelection(doc, &anchor, &end, &channel);
        return end;
    }

    std::string input;
};

TEST_F(RecordTest, TakeIsInsertedAtTheCursorSelectedAndRemovedByOneUndo) {
    writeCountingInput();
    std::vector<float> left = countingSamples(5000), right = countingSamples(5000, -1);
    int32_t doc = makeDocument(44100, left, right);
    kvSetSelection(doc, 2000, 2000, -1);
    int32_t levelBefore = kvGetUndoLevel(doc);
    startMonitoring(doc);
    recordTake(doc, 1000);

    int32_t take = kvGetLength(doc) - 5000;
    EXPECT_EQ(take % 1024, 0);
    EXPECT_GE(take, 44100 * 8 / 10);
    EXPECT_LE(take, 44100 * 3 / 2);
    EXPECT_EQ(selectionAnchor(doc), 2000);
    EXPECT_EQ(selectionEnd(doc), 2000 + take);
    EXPECT_EQ(undoText(doc), "Record");
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore + 1);
    expectCountingTake(doc, 2000, take);
    std::vector<float> after = channel(doc, 0);
    EXPECT_TRUE(std::equal(left.begin(), left.begin() + 2000, after.begin()));
    EXPECT_TRUE(std::equal(left.begin() + 2000, left.end(), after.begin() + 2000 + take));

    ASSERT_EQ(kvUndo(doc), 0);
    EXPECT_EQ(channel(doc, 0), left);
    EXPECT_EQ(channel(doc, 1), right);
    EXPECT_TRUE(shownTexts().empty());
}

TEST_F(RecordTest, MonoDocumentMixesBothInputsAndFullScaleStaysBelowOne) {
    std::vector<KvStereoFrame> frames(441000);
    for (size_t i = 0; i < frames.size(); i++)
        frames[i] = i % 2 == 0 ? KvStereoFrame{32767, 32767} : KvStereoFrame{1000, 3000};
    writeInput(frames);
    int32_t doc = makeDocument(44100, countingSamples(100));
    kvSetSelection(doc, 100, 100, -1);
    startMonitoring(doc);
    recordTake(doc, 400);

    std::vector<float> mono = channel(doc, 0);
    ASSERT_GT(mono.size(), 100u + 4096);
    const float loud = static_cast<float>(65534.0 / 65536.0), mixed = 4000.0f / 65536.0f;
    for (size_t i = 100; i < mono.size(); i++) {
        ASSERT_TRUE(mono[i] == loud || mono[i] == mixed) << "frame " << i << ": " << mono[i];
        ASSERT_NE(mono[i], i + 1 < mono.size() ? mono[i + 1] : -1.0f) << "frame " << i;
    }
}

TEST_F(RecordTest, ModeZeroInsertsAtTheSelectionsLaterEndAndModeOneReplacesIt) {
    writeCountingInput();
    std::vector<float> left = countingSamples(8000), right = countingSamples(8000, -1);
    int32_t doc = makeDocument(44100, left, right);
    kvSetSelection(doc, 6000, 1000, -1);
    startMonitoring(doc);
    recordTake(doc, 300);
    int32_t take = kvGetLength(doc) - 8000;
    ASSERT_GT(take, 0);
    EXPECT_EQ(selectionAnchor(doc), 6000);
    EXPECT_EQ(selectionEnd(doc), 6000 + take);
    expectCountingTake(doc, 6000, take);
    std::vector<float> after = channel(doc, 1);
    EXPECT_TRUE(std::equal(right.begin(), right.begin() + 6000, after.begin()));

    ASSERT_EQ(kvUndo(doc), 0);
    options.recordMode = 1;
    kvSetSelection(doc, 6000, 1000, -1);
    recordTake(doc, 300);
    int32_t replacement = kvGetLength(doc) - 3000;
    ASSERT_GT(replacement, 0);
    EXPECT_EQ(selectionAnchor(doc), 1000);
    EXPECT_EQ(selectionEnd(doc), 1000 + replacement);
    expectCountingTake(doc, 1000, replacement);
    after = channel(doc, 0);
    EXPECT_TRUE(std::equal(left.begin(), left.begin() + 1000, after.begin()));
    EXPECT_TRUE(std::equal(left.begin() + 6000, left.end(), after.begin() + 1000 + replacement));
}

TEST_F(RecordTest, SeveralTakesInARowAreEachTheirOwnUndoStep) {
    writeCountingInput();
    int32_t doc = makeDocument(44100, countingSamples(1000), countingSamples(1000, -1));
    kvSetSelection(doc, 1000, 1000, -1);
    int32_t levelBefore = kvGetUndoLevel(doc);
    startMonitoring(doc);
    recordTake(doc, 250);
    int32_t afterFirst = kvGetLength(doc);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    recordTake(doc, 250);
    int32_t afterSecond = kvGetLength(doc);
    ASSERT_GT(afterFirst, 1000);
    ASSERT_GT(afterSecond, afterFirst);
    EXPECT_EQ(selectionAnchor(doc), afterFirst);
    EXPECT_EQ(kvGetUndoLevel(doc), levelBefore + 2);
    expectCountingTake(doc, afterFirst, afterSecond - afterFirst);

    ASSERT_EQ(kvUndo(doc), 0);
    EXPECT_EQ(kvGetLength(doc), afterFirst);
    EXPECT_EQ(undoText(doc), "Record");
    ASSERT_EQ(kvUndo(doc), 0);
    EXPECT_EQ(kvGetLength(doc), 1000);
}

TEST_F(RecordTest, DeviceNumberThatNoLongerExistsFallsBackToTheFirstDeviceAndIsStored) {
    writeCountingInput();
    options.recordDevice = kvGetDeviceCount(1) + 2;
    int32_t doc = makeDocument(44100, countingSamples(100), countingSamples(100, -1));
    kvSetSelection(doc, 100, 100, -1);
    startMonitoring(doc);
    EXPECT_EQ(options.recordDevice, 0);
    recordTake(doc, 300);
    EXPECT_GT(kvGetLength(doc), 100);
    EXPECT_TRUE(shownTexts().empty());
}

TEST_F(RecordTest, InputDeviceThatCannotOpenIsReportedAndAnEmptyTakeChangesNothing) {
    /* The sound card takes 4000 Hz and more. */
    writeCountingInput();
    std::vector<float> samples = countingSamples(3000);
    int32_t slow = makeDocument(1000, samples);
    startMonitoring(slow);
    EXPECT_EQ(shownTexts(), std::vector<std::string>{"Can't open wave in device"});
    recordTake(slow, 100);
    EXPECT_EQ(channel(slow, 0), samples);

    int32_t doc = makeDocument(44100, samples, samples);
    startMonitoring(doc);
    recordTake(doc, 200);
    EXPECT_GT(kvGetLength(doc), 3000);
    EXPECT_TRUE(shownTexts().empty());
}

TEST_F(RecordTest, RedrawingSampleBySampleDuringATakeLeavesEveryStoredSampleIntact) {
    /* A new data file every block, so the recording thread adds files while
     * the interface thread keeps reading the stored samples of the view. */
    kvTestSetDataFileLimit(4096);
    writeCountingInput();
    std::vector<float> left = countingSamples(20000), right = countingSamples(20000, -1);
    int32_t doc = makeDocument(44100, left, right);
    kvSetSelection(doc, 20000, 20000, -1);
    startMonitoring(doc);
    ASSERT_EQ(kvRecord(doc), 0);
    std::vector<uint8_t> maxRow(2000), minRow(2000);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
    while (std::chrono::steady_clock::now() < until)
        for (int32_t first = 0; first < 20000; first += 2000)
            for (int32_t c = 0; c < 2; c++)
                kvReducePeaks(doc, c, first, 1, 0, 2000, maxRow.data(), minRow.data());
    ASSERT_EQ(kvStopRecording(doc), 0);

    int32_t take = kvGetLength(doc) - 20000;
    ASSERT_GT(take, 44100 / 2);
    expectCountingTake(doc, 20000, take);
    std::vector<float> afterLeft = channel(doc, 0), afterRight = channel(doc, 1);
    EXPECT_TRUE(std::equal(left.begin(), left.end(), afterLeft.begin()));
    EXPECT_TRUE(std::equal(right.begin(), right.end(), afterRight.begin()));
}

TEST_F(RecordTest, NoDocumentIsRefused) {
    EXPECT_EQ(kvRecord(-1), -1);
    EXPECT_EQ(kvStopRecording(300), -1);
}

/* A window that keeps the elapsed-time texts it is sent. */
class TimeReceiver : public QWidget {
  public:
    std::vector<std::string> texts;

  protected:
    bool event(QEvent *event) override {
        if (static_cast<int32_t>(event->type()) != KV_MSG_REC_TIME) return QWidget::event(event);
        auto *message = static_cast<KvMessageEvent *>(event);
        texts.emplace_back(reinterpret_cast<const char *>(message->wParam),
                           static_cast<size_t>(message->lParam));
        return true;
    }
};

class RecordTimeTest : public ProgramPlaybackTest {
  protected:
    void SetUp() override {
        ProgramPlaybackTest::SetUp();
        std::string input = path("input.raw");
        setenv("KV_TEST_AUDIO_IN", input.c_str(), 1);
        std::ofstream(input, std::ios::binary) << std::string(44100 * 4 * 3, '\1');
        receiver = std::make_unique<TimeReceiver>();
    }
    void TearDown() override {
        kvRecStop();
        receiver.reset();
        ProgramPlaybackTest::TearDown();
    }
    std::unique_ptr<TimeReceiver> receiver;
};

TEST_F(RecordTimeTest, ElapsedTimeIsSentAsMinutesSecondsAndMillisecondsFromTheLastReset) {
    int32_t doc = makeDocument(44100, countingSamples(10));
    kvUpdateRecTime(doc, receiver.get(), 0);
    kvUpdateRecTime(doc, nullptr, 44100 * 61 + 22050);
    kvUpdateRecTime(doc, nullptr, 441);
    kvUpdateRecTime(doc, receiver.get(), 0);
    kvUpdateRecTime(doc, nullptr, 44100 * 600 + 44);
    EXPECT_EQ(receiver->texts, (std::vector<std::string>{"01:01.500", "01:01.510", "10:00.000"}));
}

TEST_F(RecordTimeTest, RecordingSendsTheTimeOfEachStoredBuffer) {
    int32_t doc = makeDocument(44100, countingSamples(10));
    kvUpdateRecTime(doc, receiver.get(), 0);
    ASSERT_EQ(kvRecStart(doc), 0);
    ASSERT_EQ(kvRecord(doc), 0);
    EXPECT_TRUE(waitUntil([&] { return receiver->texts.size() >= 10; }));
    ASSERT_EQ(kvStopRecording(doc), 0);
    QCoreApplication::processEvents();
    ASSERT_GE(receiver->texts.size(), 10u);
    EXPECT_EQ(receiver->texts[0], "00:00.023");
    EXPECT_EQ(receiver->texts[9], "00:00.232");
    int32_t frames = kvGetLength(doc) - 10;
    EXPECT_EQ(static_cast<size_t>(frames / 1024), receiver->texts.size());
}

TEST_F(RecordTest, TestCardHasNoRecordingMixerAndItsControlsAreRefused) {
    char title[64] = "unchanged";
    EXPECT_EQ(kvMixerOpen(inputDevice("kvin"), title, sizeof title), -1);
    EXPECT_STREQ(title, "unchanged");
    EXPECT_EQ(kvMixerOpen(kvGetDeviceCount(1), title, sizeof title), -1);
    char name[16];
    EXPECT_EQ(kvMixerSourceName(0, name, sizeof name), -1);
    EXPECT_EQ(kvMixerGet(0, 0), -1);
    EXPECT_EQ(kvMixerSet(0, 1, 1), -1);
    EXPECT_EQ(kvMixerClose(), 0);
}
