/*
 * Error boxes, the progress throttle and remaining-time estimate, and the
 * allocation rounding with its fatal limits.
 */
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/platform/clock.h"
#include "engine/platform/messages.h"
#include "message_event.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QWidget>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

static int64_t fakeNow = 0;
static int64_t fakeTicks() {
    return fakeNow;
}

struct Report {
    std::string text;
    int32_t textLength;
    int32_t percent;
    int32_t secondsLeft;
};
static std::vector<Report> reports;

static void recordReport(const char *text, int32_t textLength, int32_t percent,
                         int32_t secondsLeft) {
    reports.push_back({text, textLength, percent, secondsLeft});
}

class Progress : public KvSandbox {
  protected:
    void SetUp() override {
        KvSandbox::SetUp();
        ASSERT_EQ(kvInit(nullptr, &options, 144, &params, 344, nullptr, recordReport, nullptr), 0);
        engineStarted = true;
        kvTestSetTickSource(fakeTicks);
        fakeNow = 1000;
        reports.clear();
    }
    void TearDown() override {
        kvTestSetTickSource(nullptr);
        KvSandbox::TearDown();
    }
};

TEST_F(Progress, CaptionIsWrappedAndItsLengthPassedOnlyOnce) {
    kvProgress("Opening File", 0);
    fakeNow += 10;
    kvProgress(nullptr, 50);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].text, "Please Wait: Opening File...");
    EXPECT_EQ(reports[0].textLength, 28);
    EXPECT_EQ(reports[1].textLength, 0);
    EXPECT_EQ(reports[1].percent, 50);
}

TEST_F(Progress, ReportsWithin3msAreDroppedButANewHundredAlwaysPasses) {
    kvProgress("Saving File", 0);
    fakeNow += 10;
    kvProgress(nullptr, 40);
    fakeNow += 1;
    kvProgress(nullptr, 41);
    kvProgress(nullptr, 100);
    kvProgress(nullptr, 100);
    fakeNow += 3;
    kvProgress(nullptr, 100);
    std::vector<int32_t> passed;
    for (const Report &report : reports)
        passed.push_back(report.percent);
    EXPECT_EQ(passed, (std::vector<int32_t>{0, 40, 100, 100}));
}

TEST_F(Progress, EndOfOperationIsNeverThrottledAndClearsTheCancelFlags) {
    kvProgress("Copying Data", 0);
    params.cancellable = 1;
    params.cancelRequested = 1;
    kvProgress(nullptr, -1);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].percent, -1);
    EXPECT_EQ(params.cancellable, 0);
    EXPECT_EQ(params.cancelRequested, 0);
}

TEST_F(Progress, NewCaptionClearsAStaleCancelRequest) {
    params.cancelRequested = 1;
    kvProgress("Pasting Clip", 0);
    EXPECT_EQ(params.cancelRequested, 0);
    EXPECT_FALSE(kvCancelRequested());
}

TEST_F(Progress, RemainingTimeAfterTenSecondsAtAQuarter) {
    kvProgress("Performing Reverb", 0);
    fakeNow += 10000;
    kvProgress(nullptr, 25);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].secondsLeft, 31);
}

TEST_F(Progress, NoEstimateBeforeFiveSecondsOrAtTheEnds) {
    kvProgress("Performing Echo", 0);
    fakeNow += 5000;
    kvProgress(nullptr, 50);
    fakeNow += 10;
    kvProgress(nullptr, 100);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[1].secondsLeft, 0);
    EXPECT_EQ(reports[2].secondsLeft, 0);
}

TEST_F(Progress, ElapsedTimeCountsOnlyFromTheCaption) {
    kvProgress("First", 0);
    fakeNow += 20000;
    kvProgress(nullptr, 50);
    kvProgress("Second", 0);
    fakeNow += 4000;
    kvProgress(nullptr, 50);
    EXPECT_EQ(reports.back().secondsLeft, 0);
}

TEST(Allocation, RequestsAreRoundedToTheirSizeClass) {
    EXPECT_EQ(kvAllocRoundedSize(0), 64);
    EXPECT_EQ(kvAllocRoundedSize(63), 64);
    EXPECT_EQ(kvAllocRoundedSize(64), 1024);
    EXPECT_EQ(kvAllocRoundedSize(1025), 2048);
    EXPECT_EQ(kvAllocRoundedSize(1048575), 1048576);
    EXPECT_EQ(kvAllocRoundedSize(1048577), 1114112);
    EXPECT_EQ(kvAllocRoundedSize(4194303), 4194304);
    EXPECT_EQ(kvAllocRoundedSize(4194304), 4194304);
    EXPECT_EQ(kvAllocRoundedSize(4194305), 4194304 + 262144);
}

TEST(Allocation, BlocksCarryTheirRoundedSize) {
    void *block = kvAlloc(1025);
    EXPECT_EQ(kvAllocSize(block), 2048);
    kvFree(block);
    block = kvAlloc(1048577);
    EXPECT_EQ(kvAllocSize(block), 1114112);
    kvFree(block);
}

TEST(Allocation, ReallocWithinTheSameClassKeepsTheBlock) {
    char *block = static_cast<char *>(kvAlloc(1500));
    std::memset(block, 'k', 1500);
    EXPECT_EQ(kvRealloc(block, 2000), block);
    char *grown = static_cast<char *>(kvRealloc(block, 300000));
    EXPECT_EQ(kvAllocSize(grown), 300032);
    EXPECT_EQ(grown[0], 'k');
    EXPECT_EQ(grown[1499], 'k');
    kvFree(grown);
    void *fresh = kvRealloc(nullptr, 10);
    EXPECT_EQ(kvAllocSize(fresh), 64);
    kvFree(fresh);
}

TEST(AllocationDeathTest, ImpossibleSizesAreFatal) {
    EXPECT_EXIT(kvAlloc(-1), ::testing::ExitedWithCode(1),
                "Attempt to allocate -1 \\(0xFFFFFFFF\\) Bytes of Memory!");
    EXPECT_EXIT(kvAlloc(67108865), ::testing::ExitedWithCode(1),
                "Attempt to allocate 67108865 \\(0x4000001\\) Bytes of Memory!");
    void *block = kvAlloc(10);
    EXPECT_EXIT(kvRealloc(block, 0x7FFFFFFF), ::testing::ExitedWithCode(1), "Attempt to allocate");
    kvFree(block);
}

TEST(AllocationDeathTest, FatalBoxIsTitledAndEndsTheProcessWithCodeOne) {
    EXPECT_EXIT(kvFatal("broken invariant %d", 7), ::testing::ExitedWithCode(1),
                "Korvel Fatal Error: broken invariant 7");
}

/* Records the engine's notifications as a frame window would receive them. */
class RecordingWindow : public QWidget {
  public:
    std::vector<std::pair<int32_t, intptr_t>> received;
    bool event(QEvent *event) override {
        int32_t type = event->type();
        if (type >= KV_MSG_REC_TIME && type <= KV_MSG_ZOOM_CHANGED) {
            received.emplace_back(type, static_cast<KvMessageEvent *>(event)->wParam);
            return true;
        }
        return QWidget::event(event);
    }
};

class ErrorBox : public KvSandbox {
  protected:
    void SetUp() override {
        KvSandbox::SetUp();
        static int argc = 1;
        static char name[] = "services_test";
        static char *argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
        window = new RecordingWindow;
        ASSERT_EQ(kvInit(window, &options, 144, &params, 344, nullptr, nullptr, nullptr), 0);
        engineStarted = true;
        kvTestTakeShownBoxes();
    }
    void TearDown() override {
        KvSandbox::TearDown();
        delete window;
    }
    RecordingWindow *window = nullptr;
};

TEST_F(ErrorBox, PlainErrorNotifiesFirstAndReturnsMinusOne) {
    kvTestQueueAnswer(KV_ID_OK);
    errno = ENOSPC;
    EXPECT_EQ(kvError(0, "Disk %s is full", "D"), -1);
    EXPECT_EQ(errno, 0);
    std::vector<KvShownBox> boxes = kvTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Korvel Error");
    EXPECT_EQ(boxes[0].text, "Disk D is full");
    EXPECT_EQ(boxes[0].buttons, KV_BOX_OK);
    ASSERT_EQ(window->received.size(), 1u);
    EXPECT_EQ(window->received[0].first, KV_MSG_ERROR_SHOWN);
}

TEST_F(ErrorBox, HelpOfferSendsTheContextOnYes) {
    kvTestQueueAnswer(KV_ID_YES);
    kvError(24, "No codec");
    std::vector<KvShownBox> boxes = kvTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "No codec\n\nWould you like to view Help on this problem?");
    EXPECT_EQ(boxes[0].buttons, KV_BOX_YES_NO);
    ASSERT_EQ(window->received.size(), 2u);
    EXPECT_EQ(window->received[1], (std::pair<int32_t, intptr_t>{KV_MSG_ERROR_HELP, 24}));
}

TEST_F(ErrorBox, HelpOfferDeclinedSendsNothingMore) {
    kvTestQueueAnswer(KV_ID_NO);
    kvError(25, "Codec failed");
    ASSERT_EQ(window->received.size(), 1u);
    EXPECT_EQ(window->received[0].first, KV_MSG_ERROR_SHOWN);
}
