/*
 * Four-lane arctangent, sine and cosine against the library's, over every
 * quadrant, the axes and the angles the phase vocoder feeds them.
 */
#include "engine/dsp/fast_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

TEST(FastMath, ArctangentMatchesTheLibraryInEveryQuadrantAndOnTheAxes) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> any(-1.0f, 1.0f);
    double worst = 0;
    for (int32_t n = 0; n < 200000; n++) {
        float scale = std::pow(10.0f, static_cast<float>(n % 9) - 4);
        KvFloat4 y{any(random) * scale, any(random), 0.0f, any(random)};
        KvFloat4 x{any(random), any(random) * scale, any(random), 0.0f};
        KvFloat4 r = kvAtan2x4(y, x);
        for (int32_t i = 0; i < 4; i++)
            worst = std::max(worst, std::fabs(r[i] - std::atan2(double{y[i]}, double{x[i]})));
    }
    EXPECT_LT(worst, 3e-6);
    KvFloat4 r = kvAtan2x4(KvFloat4{0.0f, 1.0f, 0.0f, -1.0f}, KvFloat4{1.0f, 0.0f, -1.0f, 0.0f});
    EXPECT_NEAR(r[0], 0.0, 1e-7);
    EXPECT_NEAR(r[1], std::numbers::pi / 2, 1e-6);
    EXPECT_NEAR(r[2], std::numbers::pi, 1e-6);
    EXPECT_NEAR(r[3], -std::numbers::pi / 2, 1e-6);
    EXPECT_EQ(kvAtan2x4(kvSplat4(0.0f), kvSplat4(0.0f))[0], 0.0f);
}

TEST(FastMath, SineAndCosineMatchTheLibraryOverSeveralTurns) {
    double worst = 0;
    for (int32_t n = 0; n < 400000; n++) {
        float base = -19.0f + 38.0f * static_cast<float>(n) / 400000;
        KvFloat4 angle{base, base + 1e-3f, base + 2e-3f, base + 3e-3f};
        KvFloat4 sine, cosine;
        kvSinCos4(angle, &sine, &cosine);
        for (int32_t i = 0; i < 4; i++) {
            worst = std::max(worst, std::fabs(sine[i] - std::sin(double{angle[i]})));
            worst = std::max(worst, std::fabs(cosine[i] - std::cos(double{angle[i]})));
        }
    }
    EXPECT_LT(worst, 1e-6);
}

TEST(FastMath, RoundingGoesToTheNearestIntegerOnBothSidesOfZero) {
    KvInt4 r = kvRound4(KvFloat4{-2.6f, -0.4f, 0.4f, 63.7f});
    EXPECT_EQ(r[0], -3);
    EXPECT_EQ(r[1], 0);
    EXPECT_EQ(r[2], 0);
    EXPECT_EQ(r[3], 64);
}
