/*
 * bench_support.h - small helpers shared by the benchmark programs: a clock,
 * peak memory, a headless engine in a scratch folder, and running commands.
 */
#ifndef KV_BENCH_SUPPORT_H
#define KV_BENCH_SUPPORT_H

#include "engine/core/korvel.h"

#include <chrono>
#include <cstdint>
#include <string>

struct BenchEngine {
    KV_Options options{};
    KV_Params params{};
    std::string folder; /* scratch folder of this run */
};

/* Starts the engine headless with its working folder and settings under a
 * scratch folder ($KORVEL_BENCH_DIR, else ~/.cache/korvel-bench). */
void benchStart(BenchEngine *engine);
void benchStop(BenchEngine *engine);

double benchSeconds(std::chrono::steady_clock::time_point since);
int64_t benchPeakRssKb();

/* Runs a shell command and returns its wall time in seconds (-1 on failure). */
double benchTimeCommand(const std::string &command);

#endif
