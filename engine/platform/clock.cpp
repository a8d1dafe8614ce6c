/*
 * clock.cpp - steady-clock milliseconds, replaceable by tests.
 */
#include "engine/platform/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

static std::atomic<int64_t (*)()> tickSource{nullptr};

int64_t kvTickCount() {
    if (auto source = tickSource.load()) return source();
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

void kvSleepMs(int32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void kvTestSetTickSource(int64_t (*source)()) {
    tickSource.store(source);
}
