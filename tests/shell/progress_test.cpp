/*
 * The progress window: what each report shows, and cancelling.
 *
 * Reports are made directly, as the engine's callback makes them, so every
 * figure and the cancel request can be checked without a long operation.
 */
#include "app/shell/frm_progress.h"
#include "app/shell/prompts.h"
#include "tests/shell/shell_fixture.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

class ProgressWindow : public ShellTest {
  protected:
    void report(const char *title, int32_t percent, int32_t seconds) {
        frame->progressWindow()->report(title, title ? static_cast<int32_t>(strlen(title)) : 0,
                                        percent, seconds);
    }
    frmProgress *window() { return frame->progressWindow(); }
};

TEST_F(ProgressWindow, RemainingTimeReadsMinutesAndTwoDigitSeconds) {
    EXPECT_EQ(mdlEtaText(125), "ETA: 2:05");
    EXPECT_EQ(mdlEtaText(59), "ETA: 0:59");
    EXPECT_EQ(mdlEtaText(600), "ETA: 10:00");
}

TEST_F(ProgressWindow, TheFirstReportShowsTheWindowWithTheTitle) {
    startFrame();
    params.cancellable = 0;
    report("Please Wait: Saving...", 0, 0);
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(window()->lblStatus->text(), "Please Wait: Saving...");
    EXPECT_EQ(window()->lblPercent->text(), "0%");
    EXPECT_TRUE(window()->lblTime->text().isEmpty());
    EXPECT_FALSE(window()->cmdCancel->isEnabled());
}

TEST_F(ProgressWindow, ReportsUpdateThePercentageAndTheRemainingTime) {
    startFrame();
    report("Please Wait: Performing Reverb...", 0, 0);
    report(nullptr, 40, 125);
    EXPECT_EQ(window()->lblPercent->text(), "40%");
    EXPECT_EQ(window()->bar->value(), 40);
    EXPECT_EQ(window()->lblTime->text(), "ETA: 2:05");
    EXPECT_EQ(window()->lblStatus->text(), "Please Wait: Performing Reverb...");
}

TEST_F(ProgressWindow, ARepeatedReportChangesOnlyAGivenTitle) {
    startFrame();
    report("Please Wait: First...", 30, 70);
    window()->lblPercent->setText("marker");
    window()->lblTime->setText("marker");
    report(nullptr, 30, 70);
    EXPECT_EQ(window()->lblPercent->text(), "marker");
    EXPECT_EQ(window()->lblTime->text(), "marker");
    EXPECT_EQ(window()->lblStatus->text(), "Please Wait: First...");
    report("Please Wait: Second...", 30, 70);
    EXPECT_EQ(window()->lblStatus->text(), "Please Wait: Second...");
    EXPECT_EQ(window()->lblPercent->text(), "marker");
}

TEST_F(ProgressWindow, ANegativePercentageTakesTheWindowDown) {
    startFrame();
    report("Please Wait: Working...", 10, 0);
    report(nullptr, -1, 0);
    EXPECT_FALSE(window()->isVisible());
    EXPECT_FALSE(window()->isShown());
}

TEST_F(ProgressWindow, CancelAsksAndOnYesRequestsTheStop) {
    startFrame();
    params.cancellable = 1;
    params.cancelRequested = 0;
    report("Please Wait: Working...", 10, 0);
    ASSERT_TRUE(window()->cmdCancel->isEnabled());

    mdlTestQueueAnswer(QMessageBox::No);
    window()->cmdCancel->click();
    EXPECT_EQ(params.cancelRequested, 0);
    EXPECT_TRUE(window()->cmdCancel->isEnabled());

    mdlTestQueueAnswer(QMessageBox::Yes);
    window()->cmdCancel->click();
    EXPECT_EQ(params.cancelRequested, 1);
    EXPECT_FALSE(window()->cmdCancel->isEnabled());

    std::vector<MdlShownBox> boxes = mdlTestTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, "Confirm Cancellation");
    EXPECT_EQ(boxes[0].text, "Are you sure you wish to cancel this operation?");
    EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes[0].defaultButton, QMessageBox::No);
}
