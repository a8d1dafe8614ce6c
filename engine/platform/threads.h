/*
 * threads.h - scheduling priority of the engine's audio threads.
 *
 * The audio threads ask for the priorities a desktop sound editor wants (the
 * device and feeder threads high, the cursor tracker low). Raising a thread
 * is a privilege on Linux, so a refusal is normal and silently accepted: the
 * threads then run at the default priority, which the buffering tolerates.
 */
#ifndef KV_PLATFORM_THREADS_H
#define KV_PLATFORM_THREADS_H

#include <cstdint>

enum : int32_t {
    KV_PRIORITY_BELOW_NORMAL = -1,
    KV_PRIORITY_ABOVE_NORMAL = 1,
    KV_PRIORITY_HIGHEST = 2,
};

/* Sets the calling thread's priority; does nothing when not permitted. */
void kvSetThreadPriority(int32_t priority);

/* The interface thread is the one that started the engine: it alone owns
 * documents, their states and the history (see engine/audio/playback.h for
 * the whole rule). kvMarkInterfaceThread records the caller; before any mark
 * every thread counts as the interface, so helpers that run before start-up
 * are not refused. Meant for asserts. */
void kvMarkInterfaceThread();
bool kvOnInterfaceThread();

#endif
