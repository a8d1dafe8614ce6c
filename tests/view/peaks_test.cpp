/*
 * peaks_test.cpp - peak reduction in its three regimes against the values
 * the samples themselves give.
 *
 * Every sample is k/256 for a whole k in -255..255, a value the block
 * summaries hold exactly (as k), so the summaries' values can be predicted
 * from the samples without repeating how summaries are made.
 */
#include "engine/view/peaks.h"
#include "tests/support/document_fixture.h"

#include <algorithm>
#include <cstdint>
#include <vector>

class PeaksTest : public DocumentTest {
  protected:
    void SetUp() override {
        DocumentTest::SetUp();
        uint32_t seed = 12345;
        levels.resize(40000);
        std::vector<float> samples(levels.size());
        for (size_t i = 0; i < levels.size(); i++) {
            seed = seed * 1664525u + 1013904223u;
            levels[i] = static_cast<int32_t>((seed >> 8) % 511) - 255;
            samples[i] = levels[i] / 256.0f;
        }
        doc = makeDocument(44100, samples);
    }

    struct Rows {
        std::vector<uint8_t> max;
        std::vector<uint8_t> min;
    };
    Rows reduce(int32_t firstFrame, int32_t zoom, int32_t c0, int32_t n) const {
        Rows rows{std::vector<uint8_t>(n, 99), std::vector<uint8_t>(n, 99)};
        kvReducePeaks(doc, 0, firstFrame, zoom, c0, n, rows.max.data(), rows.min.data());
        return rows;
    }
    /* The largest positive and negative level over frames [from, to). */
    int32_t maxLevel(int64_t from, int64_t to) const {
        int32_t best = 0;
        for (int64_t i = from; i < to; i++)
            best = std::max(best, levels[i]);
        return best;
    }
    int32_t minLevel(int64_t from, int64_t to) const {
        int32_t best = 0;
        for (int64_t i = from; i < to; i++)
            best = std::max(best, -levels[i]);
        return best;
    }

    std::vector<int32_t> levels;
    int32_t doc = -1;
};

TEST_F(PeaksTest, BelowSixtyFourFramesEachColumnTakesItsSamplesTimes255) {
    int32_t zoom = 16, first = 1024, n = 100;
    Rows rows = reduce(first, zoom, -2, n);
    for (int32_t j = 0; j < n; j++) {
        int64_t from = first + (j - 2) * zoom;
        int32_t expectedMax = 0, expectedMin = 0;
        for (int64_t i = from; i < from + zoom; i++) {
            int32_t v = static_cast<int32_t>(levels[i] / 256.0f * 255.0f);
            expectedMax = std::max(expectedMax, v);
            expectedMin = std::max(expectedMin, -v);
        }
        EXPECT_EQ(rows.max[j], expectedMax) << j;
        EXPECT_EQ(rows.min[j], expectedMin) << j;
    }
}

TEST_F(PeaksTest, AtOneFramePerColumnEachColumnIsOneSample) {
    Rows rows = reduce(5000, 1, 0, 50);
    for (int32_t j = 0; j < 50; j++) {
        int32_t v = static_cast<int32_t>(levels[5000 + j] / 256.0f * 255.0f);
        EXPECT_EQ(rows.max[j], std::max(v, 0)) << j;
        EXPECT_EQ(rows.min[j], std::max(-v, 0)) << j;
    }
}

TEST_F(PeaksTest, FromSixtyFourFramesColumnsTakeTheRunPeaksOfTheirFrames) {
    int32_t zoom = 256, first = 3 * 4096 + 5 * 64, n = 60;
    Rows rows = reduce(first, zoom, 0, n);
    for (int32_t j = 0; j < n; j++) {
        int64_t from = first + int64_t{j} * zoom;
        EXPECT_EQ(rows.max[j], maxLevel(from, from + zoom)) << j;
        EXPECT_EQ(rows.min[j], minLevel(from, from + zoom)) << j;
    }
}

TEST_F(PeaksTest, FromFourThousandNinetySixFramesEachBlockGoesToTheColumnOfItsEnd) {
    int32_t zoom = 8192, n = 6;
    Rows rows = reduce(0, zoom, 0, n);
    std::vector<int32_t> expectedMax(n, 0), expectedMin(n, 0);
    int32_t filled = static_cast<int32_t>(levels.size()) / zoom;
    for (int64_t start = 0; start < static_cast<int64_t>(levels.size()); start += 4096) {
        int64_t end = std::min<int64_t>(start + 4096, levels.size());
        int64_t column = end / zoom;
        if (column >= filled) break;
        expectedMax[column] = std::max(expectedMax[column], maxLevel(start, end));
        expectedMin[column] = std::max(expectedMin[column], minLevel(start, end));
    }
    for (int32_t j = 0; j < n; j++) {
        EXPECT_EQ(rows.max[j], expectedMax[j]) << j;
        EXPECT_EQ(rows.min[j], expectedMin[j]) << j;
    }
}

TEST_F(PeaksTest, ColumnsPastTheDataStayEmpty) {
    for (int32_t zoom : {4, 256, 8192}) {
        Rows rows = reduce(0, zoom, 0, 40000 / zoom + 20);
        int32_t filled = 40000 / zoom;
        for (size_t j = filled + 1; j < rows.max.size(); j++) {
            EXPECT_EQ(rows.max[j], 0) << zoom << " " << j;
            EXPECT_EQ(rows.min[j], 0) << zoom << " " << j;
        }
    }
}

class LoudBlockTest : public DocumentTest {};

TEST_F(LoudBlockTest, OneLoudBlockAmongSilenceShowsInOneColumnAtEachZoom) {
    std::vector<float> samples(20 * 4096, 0.0f);
    std::fill(samples.begin() + 9 * 4096, samples.begin() + 10 * 4096, 0.5f);
    int32_t doc = makeDocument(44100, samples);
    for (int32_t zoom : {64, 1000, 4096, 16384}) {
        int32_t n = 20 * 4096 / zoom + 4;
        std::vector<uint8_t> max(n), min(n);
        kvReducePeaks(doc, 0, 0, zoom, 0, n, max.data(), min.data());
        int32_t lit = 0;
        for (int32_t j = 0; j < n; j++)
            lit += max[j] != 0;
        int64_t expectedColumns = zoom >= 4096 ? 1 : (4096 + zoom - 1) / zoom;
        EXPECT_LE(lit, expectedColumns + 1) << zoom;
        EXPECT_GE(lit, 1) << zoom;
        EXPECT_EQ(*std::max_element(max.begin(), max.end()), 128) << zoom;
        EXPECT_EQ(*std::max_element(min.begin(), min.end()), 0) << zoom;
    }
}

TEST_F(LoudBlockTest, TheLoudBlockLandsInTheColumnHoldingItsEnd) {
    std::vector<float> samples(20 * 4096, 0.0f);
    std::fill(samples.begin() + 9 * 4096, samples.begin() + 10 * 4096, -0.5f);
    int32_t doc = makeDocument(44100, samples);
    std::vector<uint8_t> max(10), min(10);
    kvReducePeaks(doc, 0, 0, 16384, 0, 10, max.data(), min.data());
    EXPECT_EQ(min[10 * 4096 / 16384], 128);
    for (int32_t j = 0; j < 10; j++)
        if (j != 10 * 4096 / 16384) {
            EXPECT_EQ(min[j], 0) << j;
        }
}
