/*
 * clock.h - the millisecond tick counter and sleeping.
 *
 * Tests replace the tick source so that time-dependent rules (the progress
 * throttle, the remaining-time estimate) can be checked exactly.
 */
#ifndef KV_PLATFORM_CLOCK_H
#define KV_PLATFORM_CLOCK_H

#include <cstdint>

int64_t kvTickCount();
void kvSleepMs(int32_t ms);

/* Test hook: a null source restores the steady clock. */
void kvTestSetTickSource(int64_t (*source)());

#endif
