/*
 * ring_test.cpp - the play ring's room arithmetic and its lock-free hand-over
 * between one writer thread and one reader thread.
 */
#include "engine/audio/playback.h"
#include "engine/audio/ring.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

TEST(PlayRing, EqualIndexesMeanEmptyAndRoomShrinksAsFramesGoIn) {
    auto ring = std::make_unique<KV_PlayRing>();
    EXPECT_EQ(kvRingFree(*ring), 16384);
    EXPECT_EQ(kvRingHeld(*ring), 0);
    std::vector<int16_t> frames(2 * 12272, 7);
    kvRingPut(*ring, reinterpret_cast<const int16_t(*)[2]>(frames.data()), 12272);
    EXPECT_EQ(kvRingFree(*ring), 4112);
    EXPECT_EQ(kvRingHeld(*ring), 12272);
    kvRingTake(*ring, reinterpret_cast<int16_t(*)[2]>(frames.data()), 12000);
    EXPECT_EQ(kvRingFree(*ring), 16384 - 272);
    kvRingPut(*ring, reinterpret_cast<const int16_t(*)[2]>(frames.data()), 10000);
    EXPECT_EQ(kvRingHeld(*ring), 10272);
}

TEST(PlayRing, OneWriterAndOneReaderPassEveryFrameInOrderAcrossTheWrap) {
    auto ring = std::make_unique<KV_PlayRing>();
    const int32_t total = 1 << 20;
    std::thread writer([&] {
        int16_t block[1000][2];
        for (int32_t sent = 0; sent < total;) {
            int32_t n = std::min(1000, total - sent);
            if (kvRingFree(*ring) <= n) {
                std::this_thread::yield();
                continue;
            }
            for (int32_t i = 0; i < n; i++) {
                block[i][0] = static_cast<int16_t>(sent + i);
                block[i][1] = static_cast<int16_t>(~(sent + i));
            }
            kvRingPut(*ring, block, n);
            sent += n;
        }
    });
    int32_t received = 0, wrong = 0;
    int16_t block[777][2];
    while (received < total) {
        int32_t n = std::min({777, total - received, kvRingHeld(*ring)});
        if (n == 0) {
            std::this_thread::yield();
            continue;
        }
        kvRingTake(*ring, block, n);
        for (int32_t i = 0; i < n; i++)
            if (block[i][0] != static_cast<int16_t>(received + i) ||
                block[i][1] != static_cast<int16_t>(~(received + i)))
                wrong++;
        received += n;
    }
    writer.join();
    EXPECT_EQ(wrong, 0);
}

TEST(PlaybackSamples, SamplesBecomeSixteenBitsTruncatedTowardsZeroAndClamped) {
    EXPECT_EQ(kvToPcm16(0.5f), 16384);
    EXPECT_EQ(kvToPcm16(-0.5f), -16384);
    EXPECT_EQ(kvToPcm16(100.75f / 32768), 100);
    EXPECT_EQ(kvToPcm16(-100.75f / 32768), -100);
    EXPECT_EQ(kvToPcm16(32766.9f / 32768), 32766);
    EXPECT_EQ(kvToPcm16(1.0f), 32767);
    EXPECT_EQ(kvToPcm16(-1.0f), -32768);
    EXPECT_EQ(kvToPcm16(7.5f), 32767);
    EXPECT_EQ(kvToPcm16(-1e30f), -32768);
    EXPECT_EQ(kvToPcm16(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(kvToPcm16(std::numeric_limits<float>::infinity()), 32767);
}
