/*
 * view_math_test.cpp - the view's arithmetic without a window: normalising,
 * zoom steps and anchors, fitting, the scroll bar, tick spacing and the
 * mouse's hit zones.
 */
#include "engine/document/document.h"
#include "engine/view/view_math.h"

#include <gtest/gtest.h>

static KV_State stateOf(int32_t length, int32_t firstFrame, int32_t zoom, int32_t anchor = 0,
                        int32_t end = 0) {
    KV_State state{};
    state.length = length;
    state.firstFrame = firstFrame;
    state.framesPerPixel = zoom;
    state.selAnchor = anchor;
    state.selEnd = end;
    return state;
}

TEST(Normalising, FirstFrameBecomesAMultipleOfTheZoom) {
    KV_State state = stateOf(1000000, 1000, 64);
    kvNormaliseView(&state, 640);
    EXPECT_EQ(state.firstFrame, 960);
}

TEST(Normalising, ViewStopsWhereTheLastWindowOfDataBegins) {
    KV_State state = stateOf(100000, 90000, 64);
    kvNormaliseView(&state, 640);
    EXPECT_EQ(state.firstFrame, (100000 / 64 - 640) * 64);
}

TEST(Normalising, AFileShorterThanTheWindowAlwaysStartsAtZero) {
    for (int32_t first : {-500, 0, 64, 20000}) {
        KV_State state = stateOf(30000, first, 64);
        kvNormaliseView(&state, 640);
        EXPECT_EQ(state.firstFrame, 0) << first;
    }
}

TEST(Normalising, SelectionEndsAreClampedToTheFile) {
    KV_State state = stateOf(5000, 0, 64, -20, 9000);
    kvNormaliseView(&state, 640);
    EXPECT_EQ(state.selAnchor, 0);
    EXPECT_EQ(state.selEnd, 5000);
}

TEST(ZoomSteps, TenPercentAtOneFramePerPixelGoesToTwoAndBack) {
    EXPECT_EQ(kvZoomStep(1, 10), 2);
    EXPECT_EQ(kvZoomStep(2, -10), 1);
}

TEST(ZoomSteps, LargeZoomsChangeByThePercentage) {
    EXPECT_EQ(kvZoomStep(1000, 10), 1100);
    EXPECT_EQ(kvZoomStep(1000, -10), 900);
    EXPECT_EQ(kvZoomStep(1000, 50), 1500);
    EXPECT_EQ(kvZoomStep(1000, -50), 500);
}

TEST(ZoomSteps, ZoomStaysWithinOneAnd262144) {
    EXPECT_EQ(kvZoomStep(1, -10), 1);
    EXPECT_EQ(kvZoomStep(1, -50), 1);
    EXPECT_EQ(kvZoomStep(262144, 10), 262144);
    EXPECT_EQ(kvZoomStep(250000, 50), 262144);
}

TEST(ZoomAnchor, TheAnchorFrameStaysUnderItsColumn) {
    int32_t first = 64000, oldZoom = 64, column = 200;
    int32_t anchorFrame = first + column * oldZoom;
    for (int32_t newZoom : {32, 70, 128}) {
        int32_t moved = kvZoomedFirstFrame(first, oldZoom, newZoom, 640, true, column);
        EXPECT_EQ(moved + column * newZoom, anchorFrame) << newZoom;
    }
}

TEST(ZoomAnchor, WithoutAnAnchorTheCentreStays) {
    int32_t first = 64000, width = 640;
    int32_t centre = first + width / 2 * 64;
    int32_t moved = kvZoomedFirstFrame(first, 64, 128, width, false, 0);
    EXPECT_EQ(moved + width / 2 * 128, centre);
}

TEST(ZoomFit, SmallestZoomThatShowsTheWholeFile) {
    EXPECT_EQ(kvFitZoom(6400, 640), 10);
    EXPECT_EQ(kvFitZoom(6401, 640), 11);
    EXPECT_EQ(kvFitZoom(10, 640), 1);
    EXPECT_EQ(kvFitZoom(0, 640), 1);
    EXPECT_EQ(kvFitZoom(2000000000, 64), 262144);
}

TEST(ScrollBar, DisabledWhenTheFileFitsTheWindow) {
    KvScrollSetting setting = kvScrollSetting(640 * 64, 64, 0, 640);
    EXPECT_FALSE(setting.enabled);
    EXPECT_EQ(setting.unit, 1);
}

TEST(ScrollBar, StepsAreWholeColumnsWhileTheRangeIsShort) {
    KvScrollSetting setting = kvScrollSetting(1000000, 64, 6400, 640);
    EXPECT_TRUE(setting.enabled);
    EXPECT_EQ(setting.unit, 1);
    EXPECT_EQ(setting.position, 100);
    EXPECT_EQ(setting.maximum, 1000000 / 64);
    EXPECT_EQ(setting.page, 640);
}

TEST(ScrollBar, LongFilesUseLargerStepsToStayBelow32768) {
    int32_t length = 158760000; /* an hour at 44.1 kHz */
    KvScrollSetting setting = kvScrollSetting(length, 1, 44100, 1920);
    EXPECT_EQ(setting.unit, length / 32768 + 1);
    EXPECT_LT(setting.maximum, 32768);
    EXPECT_EQ(setting.position, 44100 / setting.unit);
    EXPECT_EQ(setting.page, 1920 / setting.unit);
}

TEST(Ruler, TicksAreAtLeast64ColumnsApartAndNoFurtherThanNeeded) {
    for (int32_t zoom : {1, 2, 3, 64, 100, 4096, 262144}) {
        int64_t spacing = kvTickSpacing(zoom);
        EXPECT_GE(spacing / zoom, 64) << zoom;
        EXPECT_EQ(spacing % 96, 0) << zoom;
        if (spacing > 96) {
            EXPECT_LT(spacing / 2 / zoom, 64) << zoom;
        }
    }
}

TEST(HitZones, StereoRowsChooseLeftBothOrRight) {
    int32_t u = 32;
    EXPECT_EQ(kvChannelAtRow(18, u, 2, false), 0);
    EXPECT_EQ(kvChannelAtRow(2 * u + 17, u, 2, false), 0);
    EXPECT_EQ(kvChannelAtRow(2 * u + 18, u, 2, false), -1);
    EXPECT_EQ(kvChannelAtRow(6 * u + 21, u, 2, false), -1);
    EXPECT_EQ(kvChannelAtRow(6 * u + 22, u, 2, false), 1);
}

TEST(HitZones, LockedChannelsAndMonoFilesAlwaysEditBoth) {
    EXPECT_EQ(kvChannelAtRow(20, 32, 2, true), -1);
    EXPECT_EQ(kvChannelAtRow(250, 32, 2, true), -1);
    EXPECT_EQ(kvChannelAtRow(20, 32, 1, false), -1);
}

TEST(HitZones, AnEdgeIsHeldWithinTwoPixels) {
    EXPECT_TRUE(kvNearColumn(98, 100));
    EXPECT_TRUE(kvNearColumn(102, 100));
    EXPECT_FALSE(kvNearColumn(97, 100));
    EXPECT_FALSE(kvNearColumn(103, 100));
}

TEST(AutoScroll, StepFollowsTheTimeSinceTheLastTick) {
    EXPECT_EQ(kvAutoScrollStep(1000, 0, false), 1);
    EXPECT_EQ(kvAutoScrollStep(1000, 0, true), 1);
    EXPECT_EQ(kvAutoScrollStep(1020, 1000, false), 10);
    EXPECT_EQ(kvAutoScrollStep(1020, 1000, true), 40);
    EXPECT_EQ(kvAutoScrollStep(1001, 1000, false), 1);
    EXPECT_EQ(kvAutoScrollStep(2000, 1000, true), 64);
}
