/*
 * wave_bench - opening and saving a long 16-bit stereo WAVE file, beside sox
 * doing the same work on the same file in the same run.
 *
 * Usage: wave_bench [minutes [rounds]]   (default 60 minutes, best of 3)
 *
 * The pairs:
 *   open  kvOpen of the 16-bit file (read, convert to float, write the
 *         data files) - sox converting it to a 32-bit float WAVE file;
 *   save  kvSave of that document as 16-bit - sox converting its float file
 *         back to 16 bits, without dither (Korvel truncates; sox's default
 *         dither more than triples its processor time).
 *
 * The page cache is treated the same way for both tools:
 *   - the input is read once before the first round, so every read is warm;
 *   - dirty pages are flushed, untimed, before every timed step, so that no
 *     step pays for the writeback of what an earlier step wrote;
 *   - each step is charged for its own writes and only those: opening leaves
 *     its floats in the page cache (Korvel's data files are scratch, and
 *     sox's float file is the same amount), while saving ends with the file
 *     on disk - kvSave flushes it before renaming it into place, so the sox
 *     step flushes its output (fsync) inside its timed span too;
 *   - the tools take turns, the first one changing every round, and each
 *     keeps its best round: on a shared machine most of a step's wall time
 *     can be spent waiting for a processor, and one round says little.
 * Measuring otherwise charges one side for the other's writes: with no flush
 * between steps, the gigabyte of floats one step leaves dirty is written back
 * while the next step runs; and with kvSave's flush timed but sox's output
 * flushed outside its step, saving paid for a flush its rival never did.
 *
 * Prints a line per step and the machine-readable ROW lines (bench_support.h).
 */
#include "bench/bench_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

using Clock = std::chrono::steady_clock;

/* Reads a file once so that every timed read of it comes from the cache. */
static void warmUp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    }
}

static bool flushFile(const std::string &path) {
    int handle = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    bool flushed = handle >= 0 && fsync(handle) == 0;
    if (handle >= 0) close(handle);
    return flushed;
}

/* Wall time of a sox command, with its output flushed inside the span when
 * `durable` (-1 on failure). */
static double timeSox(const std::string &arguments, const std::string &output, bool durable) {
    sync();
    auto start = Clock::now();
    if (std::system(("sox " + arguments + " 2>/dev/null").c_str()) != 0) return -1;
    if (durable && !flushFile(output)) return -1;
    return benchSeconds(start);
}

struct Best {
    double open = 1e30, save = 1e30, soxOpen = 1e30, soxSave = 1e30;
    bool ok = true;
};

static void keep(double *best, double seconds, bool *ok) {
    if (seconds < 0)
        *ok = false;
    else
        *best = std::min(*best, seconds);
}

/* One round: Korvel opens and saves, sox does the same two conversions. */
static void oneRound(const BenchEngine &engine, const std::string &input, bool korvelFirst,
                     Best *best) {
    std::string output = engine.folder + "/bench-output.wav";
    std::string soxFloat = engine.folder + "/bench-sox-float.wav";
    std::string soxOutput = engine.folder + "/bench-sox-output.wav";
    auto korvel = [&] {
        int32_t doc = kvCreate(nullptr);
        sync();
        auto start = Clock::now();
        bool opened = kvOpen(doc, input.c_str()) == 0;
        keep(&best->open, opened ? benchSeconds(start) : -1, &best->ok);
        sync();
        start = Clock::now();
        bool saved = opened && kvSave(doc, output.c_str()) == 0;
        keep(&best->save, saved ? benchSeconds(start) : -1, &best->ok);
        kvClose(doc);
    };
    auto sox = [&] {
        keep(&best->soxOpen,
             timeSox("'" + input + "' -e floating-point -b 32 '" + soxFloat + "'", soxFloat, false),
             &best->ok);
        keep(&best->soxSave,
             timeSox("'" + soxFloat + "' -D -b 16 '" + soxOutput + "'", soxOutput, true),
             &best->ok);
    };
    if (korvelFirst)
        korvel(), sox();
    else
        sox(), korvel();
    for (const std::string &file : {output, soxFloat, soxOutput})
        std::filesystem::remove(file);
}

int main(int argc, char **argv) {
    double minutes = argc > 1 ? std::atof(argv[1]) : 60.0;
    int32_t rounds = argc > 2 ? std::max(std::atoi(argv[2]), 1) : 3;
    BenchEngine engine;
    benchStart(&engine);
    std::string input = engine.folder + "/bench-input.wav";
    int64_t frames = static_cast<int64_t>(minutes * 60 * 44100);
    benchMakeTestWave(input, frames);
    warmUp(input);
    std::printf("file: %.1f minutes, 16-bit stereo 44100 Hz, %.1f MB, best of %d\n", minutes,
                (44 + frames * 4) / 1e6, rounds);
    Best best;
    for (int32_t r = 0; r < rounds; r++)
        oneRound(engine, input, r % 2 == 0, &best);
    int64_t rss = benchPeakRssKb();
    benchStop(&engine);

    std::printf("kvOpen:                     %7.2f s\n", best.open);
    std::printf("sox to 32-bit float:        %7.2f s\n", best.soxOpen);
    std::printf("kvSave (16-bit, flushed):   %7.2f s\n", best.save);
    std::printf("sox to 16-bit, flushed:     %7.2f s\n", best.soxSave);
    std::printf("open / sox:                 %7.2f\n", best.open / best.soxOpen);
    std::printf("save / sox:                 %7.2f\n", best.save / best.soxSave);
    std::printf("peak RSS:                   %7.1f MB\n", rss / 1024.0);
    char work[64];
    std::snprintf(work, sizeof work, "open %g-min 16-bit stereo WAVE", minutes);
    benchRow(work, best.open, "sox to 32-bit float", best.soxOpen);
    benchRow("save it as 16-bit (flushed)", best.save, "sox float to 16-bit -D, fsync",
             best.soxSave);
    if (!best.ok) std::printf("a step failed\n");
    return best.ok ? 0 : 1;
}
