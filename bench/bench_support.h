/*
 * bench_support.h - small helpers shared by the benchmark programs: a clock,
 * peak memory, a headless engine in a scratch folder, running commands, the
 * 16-bit stereo test file the file and effect benchmarks share, and the
 * realtime table in which the effect benchmarks set Korvel beside sox.
 */
#ifndef KV_BENCH_SUPPORT_H
#define KV_BENCH_SUPPORT_H

#include "korvel.h"

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
/* Resident memory now, in KiB (0 when it cannot be read). */
int64_t benchRssKb();
/* Open descriptors of this process whose target path contains `part`
 * (every descriptor when part is empty). */
int32_t benchOpenDescriptors(const std::string &part);
/* Bytes in the plain files directly inside a folder, and their count when
 * their name starts with `prefix`. */
int64_t benchFolderBytes(const std::string &folder);
int32_t benchFileCount(const std::string &folder, const std::string &prefix);

/* Runs a shell command and returns its wall time in seconds (-1 on failure). */
double benchTimeCommand(const std::string &command);

/* Writes a 16-bit stereo 44100 Hz WAVE file of two sine tones (peaks near
 * -4 and -9 dB), unless one of that size is already there. */
void benchMakeTestWave(const std::string &path, int64_t frames);

/* The effect benchmarks' material: the test file of `minutes` in the
 * scratch folder, opened as a new document. */
struct BenchEffectsFile {
    std::string path;
    double seconds = 0; /* of audio */
    int32_t doc = -1;   /* -1 when it could not be opened */
};
BenchEffectsFile benchOpenEffectsFile(const BenchEngine &engine, double minutes);

/* Runs kvDoEdit(edit) over the whole document and returns its wall time in
 * seconds (-1 when the edit failed); then undoes it, so that every edit
 * starts from the same sound. Dirty pages are flushed first, here and
 * before each sox run, so that no run pays for another's writes. */
double benchTimeEdit(int32_t doc, int32_t edit);

/* Best wall time of `runs` runs of sox reading `input`, applying `effect`
 * and writing a 16-bit file beside it (removed afterwards); -1 on failure. */
double benchTimeSox(const std::string &input, const std::string &effect, int32_t runs);

/* The realtime table: audio seconds per wall second for Korvel and sox and
 * their ratio (above 1: Korvel is faster). */
void benchRealtimeHeader();
void benchRealtimeRow(const std::string &name, const std::string &soxEffect, double audioSeconds,
                      double korvelSeconds, double soxSeconds);

/* One line of the comparison table that scripts/bench.sh gathers from every
 * benchmark: "ROW", the work, Korvel's seconds, the reference tool and its
 * seconds, separated by tabs. Seconds below 0 print as "-" (no such tool, or
 * the step failed). */
void benchRow(const std::string &work, double korvelSeconds, const std::string &tool,
              double toolSeconds);

#endif
