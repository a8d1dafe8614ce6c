/*
 * follow_test.cpp - how a view follows the play cursor in the three
 * scrolling modes. The view is 100 columns of 10 frames (1000 frames).
 */
#include "engine/audio/playback.h"

#include <gtest/gtest.h>

TEST(FollowingThePlayCursor, CursorInViewStartsNoFollowingAndMovesNothing) {
    for (int32_t mode : {0, 1, 2}) {
        int32_t following = 0;
        EXPECT_EQ(kvFollowCursor(mode, 500, 40, 1, 100, 10, 0, &following), 0);
        EXPECT_EQ(following, 0);
    }
}

TEST(FollowingThePlayCursor, PageModeTurnsAWholePageAtEitherEdge) {
    int32_t following = 0;
    EXPECT_EQ(kvFollowCursor(1, 1003, 40, 1, 100, 10, 0, &following), 1003);
    EXPECT_EQ(following, 1);
    EXPECT_EQ(kvFollowCursor(1, 1500, 40, 1, 100, 10, 1003, &following), 1003);
    following = 0;
    EXPECT_EQ(kvFollowCursor(1, 4990, 40, -1, 100, 10, 5000, &following), 3990);
    EXPECT_EQ(following, 1);
}

TEST(FollowingThePlayCursor, NoScrollingModeFollowsWithoutMovingTheView) {
    int32_t following = 0;
    EXPECT_EQ(kvFollowCursor(2, 1500, 40, 1, 100, 10, 0, &following), 0);
    EXPECT_EQ(following, 1);
}

TEST(FollowingThePlayCursor, SmoothModeCatchesUpByThePlayedFramesPlusTwoColumns) {
    int32_t following = 0;
    /* Wants 1005 - 500 = 505, may move 40 + 20 frames. */
    EXPECT_EQ(kvFollowCursor(0, 1005, 40, 1, 100, 10, 0, &following), 60);
    EXPECT_EQ(following, 1);
    EXPECT_EQ(kvFollowCursor(0, 1045, 40, 1, 100, 10, 60, &following), 120);
    /* Centred: wants 1003, rounded down to whole columns. */
    EXPECT_EQ(kvFollowCursor(0, 1503, 3, 1, 100, 10, 1000, &following), 1000);
    EXPECT_EQ(following, 1);
}

TEST(FollowingThePlayCursor, SmoothModeNeverLeavesTheCursorBeyondTheRightEdge) {
    int32_t following = 0;
    EXPECT_EQ(kvFollowCursor(0, 3000, 40, 1, 100, 10, 0, &following), 2000);
    EXPECT_EQ(kvFollowCursor(0, 3007, 40, 1, 100, 10, 0, &following), 2000);
}

TEST(FollowingThePlayCursor, SmoothModeMovesAgainstPlayWithoutLimit) {
    int32_t following = 1;
    /* After a loop jumped back: centre at once. */
    EXPECT_EQ(kvFollowCursor(0, 2000, 40, 1, 100, 10, 9000, &following), 1500);
    EXPECT_EQ(following, 1);
}

TEST(FollowingThePlayCursor, SmoothModeStopsFollowingWhenTheViewWouldPassTheCursor) {
    int32_t following = 0;
    /* Backwards: left of the view, which may move only 100 + 20 frames, so
     * it would still start after the cursor: the cursor's frame is used. */
    EXPECT_EQ(kvFollowCursor(0, 4000, 100, -1, 100, 10, 5000, &following), 4000);
    EXPECT_EQ(following, 0);
    following = 0;
    EXPECT_EQ(kvFollowCursor(0, 4990, 100, -1, 100, 10, 5000, &following), 4880);
    EXPECT_EQ(following, 1);
}
