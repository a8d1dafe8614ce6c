/*
 * The tail that echo, reverb and simple echo add beyond the selection:
 * extendEffect × extendAmount seconds at the document's rate, held within
 * the 32-bit frame range whatever the stored records hold.
 */
#include "engine/dsp/dispatcher.h"

#include <gtest/gtest.h>

#include <climits>

TEST(ExtensionFrames, OrdinarySettingsGiveSecondsAtTheRate) {
    EXPECT_EQ(kvExtensionFrames(1, 3, 44100), 132300);
    EXPECT_EQ(kvExtensionFrames(0, 3, 44100), 0);
}

TEST(ExtensionFrames, ProductsBeyond64BitsAreHeldAtTheFrameLimit) {
    EXPECT_EQ(kvExtensionFrames(INT32_MAX, INT32_MAX, 44100), INT32_MAX);
    EXPECT_EQ(kvExtensionFrames(INT32_MAX, INT32_MIN, 96000), -INT32_MAX);
    EXPECT_EQ(kvExtensionFrames(1, 100000, 96000), INT32_MAX);
}

TEST(SaturatingProduct, OverflowGoesToTheLimitOfTheResultsSign) {
    EXPECT_EQ(kvSaturatingProduct(INT64_MAX, 2), INT64_MAX);
    EXPECT_EQ(kvSaturatingProduct(INT64_MIN, 2), INT64_MIN);
    EXPECT_EQ(kvSaturatingProduct(-3, 4), -12);
}
