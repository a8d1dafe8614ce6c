/*
 * view_state_test.cpp - the view exports the program's menus call: zoom
 * modes, saved views, selection commands and navigation, with a window and
 * (for what needs none) without one.
 */
#include "tests/view/view_fixture.h"

class ViewStateTest : public ViewTest {
  protected:
    void SetUp() override {
        ViewTest::SetUp();
        doc = makeViewDocument(44100, sine(kLength, 2), sine(kLength, 3));
    }
    KV_State *current() const { return state(doc); }
    static constexpr int32_t kLength = 400000;
    int32_t doc = -1;
};

TEST_F(ViewStateTest, ZoomingInFullKeepsTheCentreFrameInTheCentre) {
    showAt(doc, 64000, 64);
    int32_t centre = 64000 + 320 * 64;
    frame->notes.clear();
    EXPECT_EQ(kvZoomSpecial(doc, KV_ZOOM_ONE_TO_ONE), 0);
    EXPECT_EQ(current()->framesPerPixel, 1);
    EXPECT_EQ(current()->firstFrame + 320, centre);
    ASSERT_FALSE(frame->notes.empty());
    EXPECT_EQ(frame->notes.back().message, KV_MSG_ZOOM_CHANGED) << "after the picture";
}

TEST_F(ViewStateTest, ZoomingToTheSelectionFitsItInTheWindow) {
    kvSetSelection(doc, 100000, 164000, -1);
    kvZoomSpecial(doc, KV_ZOOM_SELECTION);
    EXPECT_EQ(current()->framesPerPixel, 64000 / 640 + 1);
    int32_t zoom = current()->framesPerPixel;
    EXPECT_LE(current()->firstFrame, 100000);
    EXPECT_GE(current()->firstFrame + 640 * zoom, 164000);
    EXPECT_EQ(kvPlayCursor(doc)->userTouched.load(), 1);
}

TEST_F(ViewStateTest, ZoomingToAnEmptySelectionChangesNothing) {
    showAt(doc, 64000, 64);
    kvSetSelection(doc, 5000, 5000, -1);
    frame->notes.clear();
    EXPECT_EQ(kvZoomSpecial(doc, KV_ZOOM_SELECTION), 0);
    EXPECT_EQ(current()->framesPerPixel, 64);
    EXPECT_EQ(current()->firstFrame, 64000);
    EXPECT_EQ(frame->count(KV_MSG_ZOOM_CHANGED), 0);
}

TEST_F(ViewStateTest, ZoomingOutFullShowsTheWholeFile) {
    kvZoomSpecial(doc, KV_ZOOM_WHOLE);
    EXPECT_EQ(current()->framesPerPixel, (kLength + 639) / 640);
    EXPECT_EQ(current()->firstFrame, 0);
    EXPECT_FALSE(view(doc)->scrollBar->isEnabled());
}

TEST_F(ViewStateTest, ZoomInAndOutStepTenPercent) {
    kvZoomSpecial(doc, KV_ZOOM_IN);
    EXPECT_EQ(current()->framesPerPixel, 57);
    kvZoomSpecial(doc, KV_ZOOM_OUT);
    EXPECT_EQ(current()->framesPerPixel, 62);
}

TEST_F(ViewStateTest, ZoomNeverLeavesItsRange) {
    kvZoomSpecial(doc, KV_ZOOM_ONE_TO_ONE);
    EXPECT_EQ(kvCanZoomIn(doc), 0);
    kvZoomSpecial(doc, KV_ZOOM_IN);
    EXPECT_EQ(current()->framesPerPixel, 1);
    kvZoomSpecial(doc, KV_ZOOM_OUT);
    EXPECT_EQ(current()->framesPerPixel, 2);
    current()->framesPerPixel = 262144;
    EXPECT_EQ(kvCanZoomOut(doc), 0);
    EXPECT_EQ(kvCanZoomIn(doc), 1);
    kvZoomSpecial(doc, KV_ZOOM_OUT);
    EXPECT_EQ(current()->framesPerPixel, 262144);
}

TEST_F(ViewStateTest, ASavedViewComesBack) {
    showAt(doc, 12800, 32);
    kvSetSelection(doc, 20000, 30000, 1);
    EXPECT_EQ(kvIsView(doc, 2), 0);
    kvSetView(doc, 2);
    EXPECT_EQ(kvIsView(doc, 2), 1);
    kvZoomSpecial(doc, KV_ZOOM_WHOLE);
    kvSelectAll(doc);
    kvLoadView(doc, 2);
    EXPECT_EQ(current()->firstFrame, 12800);
    EXPECT_EQ(current()->framesPerPixel, 32);
    EXPECT_EQ(current()->selAnchor, 20000);
    EXPECT_EQ(current()->selEnd, 30000);
    EXPECT_EQ(current()->editChannel, 1);
}

TEST_F(ViewStateTest, LoadingAnEmptySlotLeavesTheViewAlone) {
    showAt(doc, 12800, 32);
    kvSetSelection(doc, 20000, 30000, 1);
    EXPECT_EQ(kvLoadView(doc, 5), 0);
    EXPECT_EQ(current()->firstFrame, 12800);
    EXPECT_EQ(current()->framesPerPixel, 32);
    EXPECT_EQ(current()->selEnd, 30000);
    EXPECT_EQ(kvIsView(doc, 8), 0);
    EXPECT_EQ(kvIsView(doc, -1), 0);
}

TEST_F(ViewStateTest, SelectingTheViewTakesTheVisibleFramesOnBothChannels) {
    showAt(doc, 6400, 64);
    kvSetSelection(doc, 0, 10, 0);
    kvSelectView(doc);
    EXPECT_EQ(current()->selAnchor, 6400);
    EXPECT_EQ(current()->selEnd, 6400 + 640 * 64);
    EXPECT_EQ(current()->editChannel, -1);
}

TEST_F(ViewStateTest, SelectingAllTakesTheWholeFile) {
    kvSetSelection(doc, 10, 20, 1);
    kvSelectAll(doc);
    EXPECT_EQ(kvIsAllSelected(doc), 1);
    EXPECT_EQ(current()->editChannel, -1);
    EXPECT_EQ(kvIsSel(doc), 1);
    kvSetSelection(doc, 10, 10, -1);
    EXPECT_EQ(kvIsSel(doc), 0);
}

TEST_F(ViewStateTest, TheSelectionSizeIsInMilliseconds) {
    kvSetSelection(doc, 44100, 0, -1);
    EXPECT_EQ(kvGetSelSize(doc), 1000);
    kvSetSelection(doc, 0, 22049, -1);
    EXPECT_EQ(kvGetSelSize(doc), 499);
}

TEST_F(ViewStateTest, PasteMixSelectionTakesTheClipsLength) {
    kvSetSelection(doc, 1000, 1500, -1);
    kvCopy(doc);
    kvSetSelection(doc, 8000, 20000, -1);
    kvUpdatePasteMixSel(doc);
    EXPECT_EQ(current()->selAnchor, 8000);
    EXPECT_EQ(current()->selEnd, 8500);
    kvSetSelection(doc, 20000, 8000, -1);
    kvUpdatePasteMixSel(doc);
    EXPECT_EQ(current()->selEnd, 8000);
    EXPECT_EQ(current()->selAnchor, 8500);
}

TEST_F(ViewStateTest, NudgingMovesTheSelectionByTheNudgeStep) {
    kvSetSelection(doc, 1000, 1500, -1);
    kvCopy(doc);
    kvSetSelection(doc, 10000, 10500, -1);
    options.nudgeMs = 10;
    kvNudgeSelection(doc, 1);
    EXPECT_EQ(current()->selAnchor, 10441);
    EXPECT_EQ(current()->selEnd, 10941);
    kvNudgeSelection(doc, 0);
    kvNudgeSelection(doc, 0);
    EXPECT_EQ(current()->selAnchor, 10000 - 441);
}

TEST_F(ViewStateTest, NudgingBringsTheSelectionIntoView) {
    kvSetSelection(doc, 1000, 1500, -1);
    kvCopy(doc);
    kvSetSelection(doc, 200000, 200500, -1);
    kvNudgeSelection(doc, 1);
    int32_t column = (current()->selAnchor - current()->firstFrame) / 64;
    EXPECT_GT(column, 7);
    EXPECT_LT(column, 640 - 8);
}

TEST_F(ViewStateTest, StartAndEndMoveTheCursorUnlessAllIsSelected) {
    kvSetSelection(doc, 5000, 6000, -1);
    kvToEnd(doc);
    EXPECT_EQ(current()->selAnchor, kLength);
    EXPECT_EQ(current()->firstFrame, (kLength / 64 - 640) * 64);
    kvToStart(doc);
    EXPECT_EQ(current()->selEnd, 0);
    EXPECT_EQ(current()->firstFrame, 0);
    kvSetSelection(doc, kLength, 0, -1);
    kvToEnd(doc);
    EXPECT_EQ(current()->selAnchor, kLength);
    EXPECT_EQ(current()->selEnd, 0);
}

TEST_F(ViewStateTest, UnTouchedLetsPlaybackFollowAgain) {
    kvToStart(doc);
    EXPECT_EQ(kvPlayCursor(doc)->userTouched.load(), 1);
    kvUnTouched(doc);
    EXPECT_EQ(kvPlayCursor(doc)->userTouched.load(), 0);
}

TEST_F(ViewStateTest, ZoomFollowsThePlayCursorWhenItIsInTheWindow) {
    showAt(doc, 64000, 64);
    int32_t playFrame = 64000 + 100 * 64;
    kvPlayCursor(doc)->playFrame.store(playFrame);
    kvZoomSpecial(doc, KV_ZOOM_IN);
    int32_t zoom = current()->framesPerPixel;
    EXPECT_LT(std::abs(current()->firstFrame + 100 * zoom - playFrame), zoom);
    kvPlayCursor(doc)->playFrame.store(-1);
}

TEST_F(ViewStateTest, AClosedHandleIsRefused) {
    EXPECT_EQ(kvZoomSpecial(999, KV_ZOOM_ONE_TO_ONE), -1);
    EXPECT_EQ(kvSetView(-1, 0), -1);
    EXPECT_EQ(kvSelectAll(300), -1);
    EXPECT_EQ(kvIsSel(300), 0);
    EXPECT_EQ(kvCanZoomIn(300), 0);
    EXPECT_EQ(kvGetSelSize(300), 0);
    EXPECT_EQ(kvRefresh(300), -1);
}

class HeadlessViewTest : public DocumentTest {};

TEST_F(HeadlessViewTest, SelectionCommandsWorkWithoutAWindow) {
    int32_t doc = makeDocument(8000, std::vector<float>(8000, 0.2f));
    kvSelectAll(doc);
    EXPECT_EQ(kvGetSelSize(doc), 1000);
    kvSetSelection(doc, 100, 100, -1);
    kvToEnd(doc);
    int32_t anchor = 0, end = 0;
    kvGetSelection(doc, &anchor, &end, nullptr);
    EXPECT_EQ(anchor, 8000);
    EXPECT_EQ(end, 8000);
    EXPECT_EQ(kvSetView(doc, 0), 0);
    EXPECT_EQ(kvIsView(doc, 0), 1);
    EXPECT_EQ(kvZoomSpecial(doc, KV_ZOOM_ONE_TO_ONE), 0);
    EXPECT_EQ(kvGetDocument(doc)->current->framesPerPixel, 64);
    EXPECT_EQ(kvRefresh(doc), 0);
}

TEST_F(HeadlessViewTest, NudgingPastTheStartKeepsTheSelectionInsideTheFile) {
    int32_t doc = makeDocument(8000, std::vector<float>(8000, 0.2f));
    kvSetSelection(doc, 10, 20, -1);
    kvNudgeSelection(doc, 0);
    int32_t anchor = 0, end = 0;
    kvGetSelection(doc, &anchor, &end, nullptr);
    EXPECT_GE(std::min(anchor, end), 0);
    EXPECT_LE(std::max(anchor, end), 8000);
}
