/*
 * threads.cpp - thread priorities as per-thread nice values.
 *
 * Linux keeps a nice value per thread (the thread id names it), so a worker
 * can raise or lower itself without touching the rest of the process. Real-
 * time scheduling is not used: a runaway real-time thread can freeze a
 * desktop, and the audio buffers are deep enough for ordinary time sharing.
 */
#include "engine/platform/threads.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <thread>

static std::atomic<std::thread::id> interfaceThread{};

void kvSetThreadPriority(int32_t priority) {
    int nice = priority == KV_PRIORITY_HIGHEST        ? -10
               : priority == KV_PRIORITY_ABOVE_NORMAL ? -5
               : priority == KV_PRIORITY_BELOW_NORMAL ? 5
                                                      : 0;
    id_t thread = static_cast<id_t>(syscall(SYS_gettid));
    setpriority(PRIO_PROCESS, thread, nice);
}

void kvMarkInterfaceThread() {
    interfaceThread.store(std::this_thread::get_id());
}

bool kvOnInterfaceThread() {
    std::thread::id marked = interfaceThread.load();
    return marked == std::thread::id{} || marked == std::this_thread::get_id();
}
