/*
 * status_test.cpp - the time formatter and the status texts the program's
 * frame receives.
 */
#include "engine/view/status.h"
#include "tests/view/view_fixture.h"

static std::string formatted(int32_t format, int64_t frames, int32_t rate) {
    char text[64] = "unchanged";
    kvFormatTime(format, frames, rate, text, sizeof text);
    return text;
}

TEST(TimeFormatter, OneSecondInEveryFormat) {
    EXPECT_EQ(formatted(0, 44100, 44100), "00:01.000");
    EXPECT_EQ(formatted(1, 44100, 44100), "1.000 s");
    EXPECT_EQ(formatted(2, 44100, 44100), "1000 ms");
    EXPECT_EQ(formatted(3, 44100, 44100), "44100 smp");
}

TEST(TimeFormatter, MinutesSecondsAndMillisecondsAreSplit) {
    EXPECT_EQ(formatted(0, 75456, 44100), "00:01.711");
    EXPECT_EQ(formatted(0, 61 * 48000 + 24000, 48000), "01:01.500");
    EXPECT_EQ(formatted(1, 61 * 48000 + 24000, 48000), "61.500 s");
    EXPECT_EQ(formatted(0, int64_t{3600} * 44100, 44100), "60:00.000");
}

TEST(TimeFormatter, MillisecondsAreComputedIn64Bits) {
    EXPECT_EQ(formatted(2, 2000000000, 96000), "20833333 ms");
}

TEST(TimeFormatter, AnUnknownFormatWritesNothing) {
    EXPECT_EQ(formatted(4, 44100, 44100), "");
    EXPECT_EQ(formatted(-1, 44100, 44100), "");
}

class StatusTest : public ViewTest {
  protected:
    void SetUp() override {
        ViewTest::SetUp();
        kvResetStatus();
    }
    /* A document without a window: the status does not need one. */
    int32_t statusDocument(int32_t channels, int32_t bits, int32_t format, int32_t rate) {
        int32_t doc = kvCreate(nullptr);
        kvNew(doc, channels, bits, format, rate);
        std::vector<float> second(rate, 0.25f);
        replace(doc, 0, 0, -1, second, channels == 2 ? second : std::vector<float>{});
        return doc;
    }
    /* The selection texts (start, end, length) the frame received last. */
    std::vector<std::string> selectionTexts() const {
        return {frame->texts(KV_MSG_SEL_START).back(), frame->texts(KV_MSG_SEL_END).back(),
                frame->texts(KV_MSG_SEL_LENGTH).back()};
    }
};

TEST_F(StatusTest, ASecondSelectedReadsAlikeInEveryTimeFormat) {
    int32_t doc = statusDocument(1, 16, 1, 44100);
    kvSetSelection(doc, 0, 44100, -1);
    const char *expected[4][3] = {{"00:00.000", "00:01.000", "00:01.000"},
                                  {"0.000 s", "1.000 s", "1.000 s"},
                                  {"0 ms", "1000 ms", "1000 ms"},
                                  {"0 smp", "44100 smp", "44100 smp"}};
    for (int32_t format = 0; format < 4; format++) {
        options.timeFormat = format;
        kvDoStatus(doc, 1);
        std::vector<std::string> texts = selectionTexts();
        EXPECT_EQ(texts, (std::vector<std::string>{expected[format][0], expected[format][1],
                                                   expected[format][2]}))
            << format;
    }
}

TEST_F(StatusTest, AFullUpdateSendsEveryText) {
    int32_t doc = statusDocument(1, 16, 1, 44100);
    kvSetSelection(doc, 0, 44100, -1);
    kvDoStatus(doc, 1);
    EXPECT_EQ(frame->texts(KV_MSG_EDITS).back(), "1 Edit");
    EXPECT_EQ(frame->texts(KV_MSG_ZOOM_TEXT).back(), "64:1");
    EXPECT_EQ(frame->texts(KV_MSG_POSITION).back(), "00:01.000");
    EXPECT_EQ(frame->texts(KV_MSG_FORMAT).back(), "16 Bit PCM");
    EXPECT_EQ(frame->texts(KV_MSG_CHANNELS).back(), "Mono");
    EXPECT_EQ(frame->texts(KV_MSG_RATE).back(), "44100 Hz");
    EXPECT_EQ(frame->count(KV_MSG_CLIPBOARD), 1);
}

TEST_F(StatusTest, FormatTextsNameFloatStereoAndCompressedFiles) {
    int32_t doc = statusDocument(2, 32, 3, 48000);
    kvDoStatus(doc, 1);
    EXPECT_EQ(frame->texts(KV_MSG_FORMAT).back(), "32 Bit Float");
    EXPECT_EQ(frame->texts(KV_MSG_CHANNELS).back(), "Stereo");
    EXPECT_EQ(frame->texts(KV_MSG_RATE).back(), "48000 Hz");
    kvGetDocument(doc)->formatTag = 85;
    kvGetDocument(doc)->bitRate = 128;
    kvDoStatus(doc, 1);
    EXPECT_EQ(frame->texts(KV_MSG_FORMAT).back(), "128k MP3");
}

TEST_F(StatusTest, EditCountsArePlural) {
    int32_t doc = statusDocument(1, 16, 1, 8000);
    replace(doc, 0, 100, -1, std::vector<float>(100, 0.5f));
    kvDoStatus(doc, 0);
    EXPECT_EQ(frame->texts(KV_MSG_EDITS).back(), "2 Edits");
}

TEST_F(StatusTest, UnchangedValuesAreNotSentAgain) {
    int32_t doc = statusDocument(1, 16, 1, 44100);
    kvDoStatus(doc, 1);
    frame->notes.clear();
    kvDoStatus(doc, 0);
    ASSERT_EQ(frame->notes.size(), 1u);
    EXPECT_EQ(frame->notes[0].message, KV_MSG_CLIPBOARD);
}

TEST_F(StatusTest, OnlyTheChangedSelectionTextsGoOutAndTheLengthIsFollowedByAZoomNotice) {
    int32_t doc = statusDocument(1, 16, 1, 44100);
    kvDoStatus(doc, 1);
    frame->notes.clear();
    kvSetSelection(doc, 0, 22050, -1);
    kvDoStatus(doc, 0);
    std::vector<int32_t> messages;
    for (const FrameStandIn::Note &note : frame->notes)
        messages.push_back(note.message);
    EXPECT_EQ(messages, (std::vector<int32_t>{KV_MSG_SEL_END, KV_MSG_SEL_LENGTH,
                                              KV_MSG_ZOOM_CHANGED, KV_MSG_CLIPBOARD}));
    EXPECT_EQ(frame->texts(KV_MSG_SEL_LENGTH).back(), "00:00.500");
}

TEST_F(StatusTest, ChangingTheTimeFormatResendsEveryTime) {
    int32_t doc = statusDocument(1, 16, 1, 44100);
    kvSetSelection(doc, 0, 44100, -1);
    kvDoStatus(doc, 1);
    options.timeFormat = 3;
    frame->notes.clear();
    kvDoStatus(doc, 0);
    EXPECT_EQ(selectionTexts(), (std::vector<std::string>{"0 smp", "44100 smp", "44100 smp"}));
    EXPECT_EQ(frame->texts(KV_MSG_POSITION).back(), "44100 smp");
    EXPECT_EQ(frame->count(KV_MSG_EDITS), 0);
}

TEST_F(StatusTest, TheClipboardMessageCarriesTheClipCount) {
    int32_t doc = statusDocument(1, 16, 1, 8000);
    kvDoStatus(doc, 0);
    EXPECT_EQ(frame->notes.back().wParam, 0);
    kvSetSelection(doc, 0, 100, -1);
    kvCopy(doc);
    kvCopy(doc);
    kvDoStatus(doc, 0);
    EXPECT_EQ(frame->notes.back().message, KV_MSG_CLIPBOARD);
    EXPECT_EQ(frame->notes.back().wParam, 2);
}

TEST_F(StatusTest, ADocumentWithoutARateSendsNothing) {
    int32_t doc = kvCreate(nullptr);
    EXPECT_EQ(kvDoStatus(doc, 1), 0);
    EXPECT_TRUE(frame->notes.empty());
    EXPECT_EQ(kvDoStatus(300, 1), -1);
}

TEST_F(StatusTest, EveryPictureUpdatesTheStatusLine) {
    int32_t doc = makeViewDocument(8000, std::vector<float>(8000, 0.1f));
    frame->notes.clear();
    kvSetSelection(doc, 0, 4000, -1);
    EXPECT_EQ(frame->texts(KV_MSG_SEL_END).back(), "00:00.500");
}
