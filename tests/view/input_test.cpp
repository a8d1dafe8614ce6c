/*
 * input_test.cpp - the document window's mouse, keys, wheel and scroll bar,
 * driven with the events a user's actions deliver.
 *
 * The window is 640 x 300 client pixels (lane unit 32): the stereo lanes
 * meet at row 146, a click above row 82 picks the left channel, below row
 * 213 the right one, and the ruler begins below row 283.
 */
#include "engine/core/services.h"
#include "engine/platform/clock.h"
#include "tests/view/view_fixture.h"

#include <QAbstractSlider>
#include <functional>

static int64_t testNow = 0;
static int64_t testTicks() {
    return testNow;
}

class InputTest : public ViewTest {
  protected:
    void SetUp() override {
        ViewTest::SetUp();
        doc = makeViewDocument(44100, sine(kLength, 2), sine(kLength, 3));
    }
    void TearDown() override {
        kvTestSetTickSource(nullptr);
        ViewTest::TearDown();
    }
    void select(int32_t anchor, int32_t end, int32_t channel = -1) {
        kvSetSelection(doc, anchor, end, channel);
    }
    int32_t anchor() const { return state(doc)->selAnchor; }
    int32_t end() const { return state(doc)->selEnd; }
    int32_t channel() const { return state(doc)->editChannel; }
    int32_t first() const { return state(doc)->firstFrame; }
    int32_t zoom() const { return state(doc)->framesPerPixel; }

    static constexpr int32_t kLength = 400000;
    int32_t doc = -1;
};

TEST_F(InputTest, AClickPlacesTheCursorAndIsPassedOn) {
    click(100, 100);
    EXPECT_EQ(anchor(), 100 * 64);
    EXPECT_EQ(end(), 100 * 64);
    EXPECT_EQ(window->presses, 1);
}

TEST_F(InputTest, AClickTwoPixelsFromAnEdgeTakesHoldOfIt) {
    select(100 * 64, 200 * 64);
    press(202, 100);
    EXPECT_EQ(anchor(), 100 * 64);
    EXPECT_EQ(end(), 202 * 64);
    release(202, 100);
    select(100 * 64, 200 * 64);
    press(98, 100);
    EXPECT_EQ(anchor(), 200 * 64) << "the far end stays";
    EXPECT_EQ(end(), 98 * 64);
}

TEST_F(InputTest, AClickThreePixelsFromAnEdgeStartsANewSelection) {
    select(100 * 64, 200 * 64);
    press(203, 100);
    EXPECT_EQ(anchor(), 203 * 64);
    EXPECT_EQ(end(), 203 * 64);
    release(203, 100);
    select(100 * 64, 200 * 64);
    press(97, 100);
    EXPECT_EQ(anchor(), 97 * 64);
}

TEST_F(InputTest, TheRowClickedChoosesTheChannel) {
    click(100, 40);
    EXPECT_EQ(channel(), 0);
    click(100, 140);
    EXPECT_EQ(channel(), -1);
    click(100, 260);
    EXPECT_EQ(channel(), 1);
}

TEST_F(InputTest, LockedChannelsAlwaysEditBoth) {
    options.lockChannels = 1;
    click(100, 40);
    EXPECT_EQ(channel(), -1);
    click(100, 260);
    EXPECT_EQ(channel(), -1);
}

TEST_F(InputTest, DraggingMovesTheSelectionEnd) {
    press(100, 100);
    moveTo(150, 40, Qt::LeftButton);
    EXPECT_EQ(anchor(), 100 * 64);
    EXPECT_EQ(end(), 150 * 64);
    EXPECT_EQ(channel(), 0);
    release(150, 40);
    moveTo(300, 100);
    EXPECT_EQ(end(), 150 * 64) << "the drag ended with the button";
}

TEST_F(InputTest, DraggingPastTheRightEdgeScrollsAndKeepsScrollingWhileHeld) {
    kvTestSetTickSource(testTicks);
    testNow = 1000;
    press(300, 100);
    moveTo(636, 100, Qt::LeftButton);
    EXPECT_EQ(first(), 64) << "the first tick moves one column";
    EXPECT_EQ(end(), 636 * 64 + 64);
    testNow += 20;
    QCoreApplication::sendPostedEvents(window, KV_MSG_AUTOSCROLL);
    EXPECT_EQ(first(), 64 + 10 * 64) << "20 ms later: 2 * 20 / 4 columns";
    release(636, 100);
    int32_t stopped = first();
    testNow += 20;
    QCoreApplication::sendPostedEvents(window, KV_MSG_AUTOSCROLL);
    EXPECT_EQ(first(), stopped);
}

TEST_F(InputTest, DraggingPastTheLeftEdgeScrollsBack) {
    kvTestSetTickSource(testTicks);
    testNow = 500;
    state(doc)->firstFrame = 64000;
    kvRedraw(doc, KV_REDRAW_FULL);
    press(300, 100);
    moveTo(3, 100, Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(first(), 64000 - 64);
    testNow += 10;
    QCoreApplication::sendPostedEvents(window, KV_MSG_AUTOSCROLL);
    EXPECT_EQ(first(), 64000 - 64 - 20 * 64) << "with the right button held: 2 * 10 columns";
    release(3, 100);
}

TEST_F(InputTest, TheOverviewBarPlacesTheCursorInTheWholeFile) {
    press(320, 4);
    EXPECT_EQ(anchor(), kLength / 2);
    EXPECT_EQ(end(), kLength / 2);
    moveTo(480, 4, Qt::LeftButton);
    EXPECT_EQ(anchor(), kLength / 2);
    EXPECT_EQ(end(), kLength * 3 / 4);
    release(480, 4);
    EXPECT_EQ(window->presses, 0) << "consumed";
}

TEST_F(InputTest, DraggingTheRulerScrollsWithTheHand) {
    state(doc)->firstFrame = 64000;
    kvRedraw(doc, KV_REDRAW_FULL);
    press(300, 290);
    moveTo(250, 290, Qt::LeftButton);
    EXPECT_EQ(first(), 64000 + 50 * 64);
    moveTo(400, 290, Qt::LeftButton);
    EXPECT_EQ(first(), 64000 - 100 * 64);
    release(400, 290);
    EXPECT_EQ(anchor(), 0) << "the selection stays";
    EXPECT_EQ(window->presses, 0);
}

TEST_F(InputTest, TheMiddleButtonDragsTheViewFromAnywhereBelowTheOverview) {
    state(doc)->firstFrame = 64000;
    kvRedraw(doc, KV_REDRAW_FULL);
    press(300, 100, Qt::MiddleButton);
    moveTo(200, 100, Qt::MiddleButton);
    EXPECT_EQ(first(), 64000 + 100 * 64);
    release(200, 100, Qt::MiddleButton);
    EXPECT_EQ(window->cursor().shape(), Qt::SizeAllCursor);
}

TEST_F(InputTest, ADoubleClickSelectsTheVisibleFrames) {
    state(doc)->firstFrame = 6400;
    kvRedraw(doc, KV_REDRAW_FULL);
    mouse(QEvent::MouseButtonDblClick, 100, 100, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(anchor(), 6400);
    EXPECT_EQ(end(), 6400 + 640 * 64);
}

TEST_F(InputTest, ThePointerShowsWhatAClickWouldDo) {
    select(100 * 64, 200 * 64);
    moveTo(300, 4);
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    moveTo(201, 100);
    EXPECT_EQ(window->cursor().shape(), Qt::SizeHorCursor);
    moveTo(300, 100);
    EXPECT_EQ(window->cursor().shape(), Qt::IBeamCursor);
    moveTo(300, 290);
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(InputTest, ShiftedArrowsMoveTheSelectionEnd) {
    select(6400, 6400);
    key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(end(), 6400 + 4 * 64);
    key(Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(end(), 6400 + 5 * 64);
    key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(end(), 6400 + 64);
    EXPECT_EQ(anchor(), 6400);
}

TEST_F(InputTest, AShiftedArrowBringsTheEndIntoView) {
    select(700 * 64, 700 * 64);
    key(Qt::Key_Right, Qt::ShiftModifier);
    int32_t column = (end() - first()) / zoom();
    EXPECT_GT(column, 7);
    EXPECT_LT(column, 640 - 8);
}

TEST_F(InputTest, ArrowsScrollSixtyFourColumnsOrAWholeWindow) {
    key(Qt::Key_Right);
    EXPECT_EQ(first(), 64 * 64);
    key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(first(), 64 * 64 + 640 * 64);
    key(Qt::Key_Left);
    EXPECT_EQ(first(), 640 * 64);
}

TEST_F(InputTest, TabSwapsTheSelectionEnds) {
    select(100, 9000);
    key(Qt::Key_Tab);
    EXPECT_EQ(anchor(), 9000);
    EXPECT_EQ(end(), 100);
}

TEST_F(InputTest, HomeAndEndGoToTheEndsOfTheFile) {
    key(Qt::Key_End);
    EXPECT_EQ(anchor(), kLength);
    EXPECT_EQ(end(), kLength);
    EXPECT_EQ(first(), (kLength / 64 - 640) * 64);
    key(Qt::Key_Home);
    EXPECT_EQ(end(), 0);
    EXPECT_EQ(first(), 0);
}

TEST_F(InputTest, HomeKeepsAWholeFileSelection) {
    kvSelectAll(doc);
    key(Qt::Key_Home);
    EXPECT_EQ(anchor(), 0);
    EXPECT_EQ(end(), kLength);
}

TEST_F(InputTest, UpAndDownZoomAroundTheCentre) {
    state(doc)->firstFrame = 64000;
    kvRedraw(doc, KV_REDRAW_FULL);
    int64_t centre = 64000 + 320 * 64;
    key(Qt::Key_Up);
    EXPECT_EQ(zoom(), 57);
    EXPECT_LT(std::llabs(first() + 320 * 57 - centre), 57);
    key(Qt::Key_Down);
    EXPECT_EQ(zoom(), 62);
    key(Qt::Key_PageUp);
    EXPECT_EQ(zoom(), 31);
    key(Qt::Key_PageDown);
    EXPECT_EQ(zoom(), 46);
    EXPECT_GE(frame->count(KV_MSG_ZOOM_CHANGED), 4);
}

TEST_F(InputTest, TheWheelZoomsAroundThePointer) {
    state(doc)->firstFrame = 64000;
    kvRedraw(doc, KV_REDRAW_FULL);
    int64_t under = 64000 + 200 * 64;
    wheel(200, 100, 120);
    EXPECT_EQ(zoom(), 57);
    EXPECT_LT(std::llabs(first() + 200 * 57 - under), 57);
    wheel(200, 100, -120);
    EXPECT_EQ(zoom(), 62);
}

TEST_F(InputTest, ShiftSidewaysAndScrollBarWheelsScrollInsteadOfZooming) {
    struct Case {
        const char *what;
        bool overScrollBar;
        Qt::KeyboardModifiers modifiers;
        QPoint pixels, angle;
        int32_t direction; /* -1 towards the start, 1 towards the end */
    };
    const Case cases[] = {
        {"Shift, turned away", false, Qt::ShiftModifier, {}, {0, 120}, -1},
        {"Shift, turned back", false, Qt::ShiftModifier, {}, {0, -120}, 1},
        {"sideways wheel", false, Qt::NoModifier, {}, {-120, 0}, 1},
        {"touchpad swipe", false, Qt::NoModifier, {40, 0}, {320, 0}, -1},
        {"wheel over the scroll bar", true, Qt::NoModifier, {}, {0, -120}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        state(doc)->firstFrame = 64000;
        kvPlayCursor(doc)->userTouched.store(0);
        kvRedraw(doc, KV_REDRAW_FULL);
        QWidget *target = c.overScrollBar ? static_cast<QWidget *>(view(doc)->scrollBar) : window;
        QPointF at(10, 5);
        QWheelEvent event(at, target->mapToGlobal(at), c.pixels, c.angle, Qt::NoButton, c.modifiers,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(target, &event);
        EXPECT_EQ(zoom(), 64);
        int32_t moved = first() - 64000;
        EXPECT_EQ((moved > 0) - (moved < 0), c.direction) << "moved by " << moved;
        if (!c.pixels.isNull()) {
            EXPECT_EQ(moved, -c.pixels.x() * 64) << "a column per pixel";
        }
        EXPECT_EQ(kvPlayCursor(doc)->userTouched.load(), 1);
    }
}

TEST_F(InputTest, ZoomingOutStopsAtTheWholeSound) {
    const std::pair<const char *, std::function<void()>> ways[] = {
        {"Down", [this] { key(Qt::Key_Down); }},
        {"Page Down", [this] { key(Qt::Key_PageDown); }},
        {"wheel", [this] { wheel(200, 100, -120); }},
        {"Zoom Out", [this] { kvZoomSpecial(doc, KV_ZOOM_OUT); }},
    };
    int32_t width = view(doc)->width;
    for (const auto &[what, zoomOut] : ways) {
        SCOPED_TRACE(what);
        state(doc)->framesPerPixel = 64;
        kvRedraw(doc, KV_REDRAW_FULL);
        for (int i = 0; i < 60; i++)
            zoomOut();
        EXPECT_GE(int64_t{zoom()} * width, kLength) << "the whole sound is in the window";
        EXPECT_LT(int64_t{zoom() - 1} * width, kLength) << "and no further out";
        EXPECT_EQ(kvCanZoomOut(doc), 0);
    }
}

TEST_F(InputTest, LettersSetTheScrollModeAndLetTheViewFollowAgain) {
    kvPlayCursor(doc)->userTouched.store(1);
    key(Qt::Key_P);
    EXPECT_EQ(options.scrollMode, 1);
    EXPECT_EQ(kvPlayCursor(doc)->userTouched.load(), 0);
    key(Qt::Key_N);
    EXPECT_EQ(options.scrollMode, 2);
    key(Qt::Key_S);
    EXPECT_EQ(options.scrollMode, 0);
}

TEST_F(InputTest, ManualNavigationMarksTheViewTouched) {
    kvPlayCursor(doc)->userTouched.store(0);
    click(100, 100);
    EXPECT_EQ(kvPlayCursor(doc)->userTouched.load(), 1);
    kvUnTouched(doc);
    key(Qt::Key_Right);
    EXPECT_EQ(kvPlayCursor(doc)->userTouched.load(), 1);
}

TEST_F(InputTest, DigitKeysGoToTheProgramAndOtherKeysStayWithTheView) {
    key(Qt::Key_3);
    key(Qt::Key_S);
    key(Qt::Key_A);
    key(Qt::Key_8);
    key(Qt::Key_9);
    EXPECT_EQ(window->keys, (std::vector<int>{Qt::Key_3, Qt::Key_8}));
}

TEST_F(InputTest, InputIsIgnoredWhileALongOperationRuns) {
    kvProgress("Working", 0);
    click(100, 100);
    key(Qt::Key_End);
    EXPECT_EQ(anchor(), 0);
    EXPECT_EQ(first(), 0);
    kvProgress(nullptr, -1);
    click(100, 100);
    EXPECT_EQ(anchor(), 100 * 64);
}

TEST_F(InputTest, ABurstOfRedrawRequestsCostsOneRedraw) {
    frame->notes.clear();
    for (int32_t i = 0; i < 5; i++)
        kvPostMessage(window, KV_MSG_PLAY_REDRAW, 0, 0);
    QCoreApplication::sendPostedEvents(window, KV_MSG_PLAY_REDRAW);
    EXPECT_EQ(frame->count(KV_MSG_CLIPBOARD), 1);
}

TEST_F(InputTest, TheScrollBarCoversTheFileInColumns) {
    QScrollBar *bar = view(doc)->scrollBar;
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isEnabled());
    EXPECT_EQ(bar->maximum(), kLength / 64 - 640 + 1);
    EXPECT_EQ(bar->pageStep(), 640);
    EXPECT_EQ(bar->geometry().top(), 300);
}

TEST_F(InputTest, TheScrollBarMovesTheView) {
    QScrollBar *bar = view(doc)->scrollBar;
    bar->setSliderPosition(500);
    EXPECT_EQ(first(), 500 * 64);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(first(), 564 * 64);
    EXPECT_EQ(bar->value(), 564);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(first(), (564 + 640) * 64);
    EXPECT_EQ(kvPlayCursor(doc)->userTouched.load(), 1);
}

TEST_F(InputTest, AFileThatFitsTheWindowDisablesTheScrollBar) {
    int32_t small = makeViewDocument(44100, sine(20000, 2));
    EXPECT_FALSE(view(small)->scrollBar->isEnabled());
    state(small)->firstFrame = 6400;
    key(Qt::Key_Right);
    EXPECT_EQ(state(small)->firstFrame, 0);
}

TEST_F(InputTest, ClosingGivesTheWindowBack) {
    QPointer<QScrollBar> bar = view(doc)->scrollBar.data();
    kvClose(doc);
    EXPECT_TRUE(bar.isNull());
    EXPECT_FALSE(window->property("kvDocumentHandle").isValid());
    EXPECT_FALSE(window->hasMouseTracking());
    EXPECT_EQ(window->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(window->testAttribute(Qt::WA_OpaquePaintEvent));
    key(Qt::Key_S);
    click(10, 10);
    EXPECT_EQ(window->keys, (std::vector<int>{Qt::Key_S}));
    EXPECT_EQ(window->presses, 1);
}

TEST_F(InputTest, AWindowFindsItsDocument) {
    EXPECT_EQ(kvDocumentOfWindow(window), doc);
    window->setProperty("kvDocumentHandle", QVariant());
    EXPECT_EQ(kvDocumentOfWindow(window), doc);
    QWidget stranger;
    EXPECT_EQ(kvDocumentOfWindow(&stranger), -1);
}
