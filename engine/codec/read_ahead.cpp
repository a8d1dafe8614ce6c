/*
 * read_ahead.cpp - the reader thread and its ring of chunk slots.
 *
 * A slot is either the reader's (being filled or free) or the consumer's
 * (filled, not yet given back); `filled` counts the consumer's, so neither
 * side ever touches a slot the other may be using. The consumer's current
 * slot is given back at its next call, which is what keeps `data` valid.
 */
#include "engine/codec/read_ahead.h"

#include <cassert>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {
constexpr int32_t kSlots = 3;
}

struct KvReadAhead {
    KvChunkReader read;
    int64_t chunkFrames = 0;
    int32_t channels = 0;
    std::vector<float> slots[kSlots];
    int64_t frames[kSlots] = {};
    std::mutex lock;
    std::condition_variable changed;
    int32_t filled = 0;   /* slots handed to the consumer, oldest at `head` */
    int32_t head = 0;     /* the consumer's next slot */
    bool holding = false; /* the consumer still holds the slot before `head` */
    bool stopping = false;
    bool ended = false; /* the reader has stored its last chunk */
    std::thread thread;
};

/* Reader side: fills the next free slot until the end or a stop. */
static void kvReadChunks(KvReadAhead *ahead) {
    for (int32_t tail = 0;; tail = (tail + 1) % kSlots) {
        {
            std::unique_lock<std::mutex> guard(ahead->lock);
            ahead->changed.wait(guard, [&] {
                return ahead->stopping || ahead->filled + (ahead->holding ? 1 : 0) < kSlots;
            });
            if (ahead->stopping) return;
        }
        int64_t got = ahead->read(ahead->slots[tail].data(), ahead->chunkFrames);
        std::lock_guard<std::mutex> guard(ahead->lock);
        ahead->frames[tail] = got > 0 ? got : 0;
        ahead->filled++;
        if (got <= 0) ahead->ended = true;
        ahead->changed.notify_all();
        if (got <= 0) return;
    }
}

KvReadAhead *kvStartReadAhead(KvChunkReader read, int32_t channels, int64_t chunkFrames) {
    assert(channels > 0 && chunkFrames > 0);
    auto *ahead = new KvReadAhead;
    ahead->read = std::move(read);
    ahead->channels = channels;
    ahead->chunkFrames = chunkFrames;
    for (auto &slot : ahead->slots)
        slot.resize(static_cast<size_t>(chunkFrames) * channels);
    ahead->thread = std::thread(kvReadChunks, ahead);
    return ahead;
}

int64_t kvNextChunk(KvReadAhead *ahead, const float **data) {
    std::unique_lock<std::mutex> guard(ahead->lock);
    if (ahead->holding) {
        ahead->holding = false;
        ahead->changed.notify_all();
    }
    ahead->changed.wait(guard, [&] { return ahead->filled > 0 || ahead->ended; });
    if (ahead->filled == 0) {
        *data = nullptr;
        return 0;
    }
    int32_t slot = ahead->head;
    ahead->head = (ahead->head + 1) % kSlots;
    ahead->filled--;
    ahead->holding = true;
    *data = ahead->slots[slot].data();
    return ahead->frames[slot];
}

void kvStopReadAhead(KvReadAhead *ahead) {
    {
        std::lock_guard<std::mutex> guard(ahead->lock);
        ahead->stopping = true;
        ahead->changed.notify_all();
    }
    ahead->thread.join();
    delete ahead;
}
