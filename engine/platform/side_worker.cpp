/*
 * side_worker.cpp - the hand-over of side_worker.h.
 *
 * Two counters, both only ever growing: `posted` names the newest job and
 * `finished` the newest done. Each side spins briefly on the other's counter
 * (a hand-over is usually a few microseconds away) and then sleeps in the
 * kernel on it, so a worker left idle costs nothing. The counters' release
 * stores and acquire loads order the job's data.
 */
#include "engine/platform/side_worker.h"

#include <atomic>
#include <cassert>
#include <cstdint>
#include <new>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

struct KvSideWorker {
    std::atomic<uint32_t> posted{0};
    std::atomic<uint32_t> finished{0};
    void (*job)(void *) = nullptr; /* null: end the thread */
    void *arg = nullptr;
    std::thread thread;
};

/* Polls before sleeping in the kernel: a pause takes tens to over a hundred
 * cycles by processor, so this waits some 0.1-0.2 ms, about one block's
 * work, which is as long as a hand-over usually takes. */
static constexpr int32_t kSpins = 4000;

static inline void kvPause() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
}

/* Returns the counter's value once it differs from `seen`. */
static uint32_t kvAwaitChange(const std::atomic<uint32_t> &counter, uint32_t seen) {
    for (int32_t i = 0; i < kSpins; i++) {
        uint32_t now = counter.load(std::memory_order_acquire);
        if (now != seen) return now;
        kvPause();
    }
    counter.wait(seen, std::memory_order_acquire);
    return counter.load(std::memory_order_acquire);
}

static void kvSideWorkerLoop(KvSideWorker *worker) {
    uint32_t seen = 0;
    for (;;) {
        seen = kvAwaitChange(worker->posted, seen);
        if (!worker->job) return;
        worker->job(worker->arg);
        worker->finished.store(seen, std::memory_order_release);
        worker->finished.notify_one();
    }
}

KvSideWorker *kvSideWorkerStart() {
    auto *worker = new (std::nothrow) KvSideWorker;
    if (!worker) return nullptr;
    try {
        worker->thread = std::thread(kvSideWorkerLoop, worker);
    } catch (...) {
        delete worker;
        return nullptr;
    }
    return worker;
}

static void kvHandOver(KvSideWorker *worker, void (*job)(void *), void *arg) {
    assert(worker->finished.load() == worker->posted.load());
    worker->job = job;
    worker->arg = arg;
    worker->posted.fetch_add(1, std::memory_order_release);
    worker->posted.notify_one();
}

void kvSideWorkerPost(KvSideWorker *worker, void (*job)(void *), void *arg) {
    assert(job);
    kvHandOver(worker, job, arg);
}

void kvSideWorkerWait(KvSideWorker *worker) {
    uint32_t target = worker->posted.load(std::memory_order_relaxed);
    uint32_t done = worker->finished.load(std::memory_order_acquire);
    while (done != target)
        done = kvAwaitChange(worker->finished, done);
}

void kvSideWorkerStop(KvSideWorker *worker) {
    if (!worker) return;
    kvHandOver(worker, nullptr, nullptr);
    worker->thread.join();
    delete worker;
}
