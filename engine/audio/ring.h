/*
 * ring.h - the play ring between a feeder and the device thread.
 *
 * 16384 stereo 16-bit frames with one writer and one reader. It needs no
 * lock: the feeder alone advances ringWrite, the device thread alone
 * advances ringRead, and each only reads the other's index. The release
 * store of an index publishes the frames written (or frees the frames read)
 * before it, which the other side's acquire load then sees.
 */
#ifndef KV_AUDIO_RING_H
#define KV_AUDIO_RING_H

#include <algorithm>
#include <atomic>
#include <cstdint>

#define KV_RING_FRAMES 16384

struct KV_PlayRing {
    int16_t frames[KV_RING_FRAMES][2];
    std::atomic<int32_t> ringWrite{0};
    std::atomic<int32_t> ringRead{0};
};

/* (ringRead - ringWrite) mod 16384, where equal indexes count as 16384 (empty). */
inline int32_t kvRingFree(const KV_PlayRing &ring) {
    int32_t free = (ring.ringRead.load(std::memory_order_acquire) -
                    ring.ringWrite.load(std::memory_order_acquire)) &
                   (KV_RING_FRAMES - 1);
    return free == 0 ? KV_RING_FRAMES : free;
}

inline int32_t kvRingHeld(const KV_PlayRing &ring) {
    return KV_RING_FRAMES - kvRingFree(ring);
}

/* Writer side: appends count frames; the caller has checked the room. */
inline void kvRingPut(KV_PlayRing &ring, const int16_t (*frames)[2], int32_t count) {
    int32_t at = ring.ringWrite.load(std::memory_order_relaxed);
    for (int32_t done = 0; done < count;) {
        int32_t piece = std::min(count - done, KV_RING_FRAMES - at);
        std::copy(frames[done], frames[done] + 2 * piece, ring.frames[at]);
        done += piece;
        at = (at + piece) & (KV_RING_FRAMES - 1);
    }
    ring.ringWrite.store(at, std::memory_order_release);
}

/* Reader side: takes count frames; the caller has checked they are there. */
inline void kvRingTake(KV_PlayRing &ring, int16_t (*frames)[2], int32_t count) {
    int32_t at = ring.ringRead.load(std::memory_order_relaxed);
    for (int32_t done = 0; done < count;) {
        int32_t piece = std::min(count - done, KV_RING_FRAMES - at);
        std::copy(ring.frames[at], ring.frames[at] + 2 * piece, frames[done]);
        done += piece;
        at = (at + piece) & (KV_RING_FRAMES - 1);
    }
    ring.ringRead.store(at, std::memory_order_release);
}

/* Empties the ring; only while neither side runs. */
inline void kvRingReset(KV_PlayRing &ring) {
    ring.ringWrite.store(0);
    ring.ringRead.store(0);
}

#endif
