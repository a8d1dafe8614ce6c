/*
 * wave_bench - opening and saving a long 16-bit stereo WAVE file.
 *
 * Usage: wave_bench [minutes]   (default 60)
 * Makes the test file once in the scratch folder, then times kvOpen and
 * kvSave (16-bit) next to sox converting the same file to 32-bit float (the
 * same kind of work: read, convert, write floats) and a plain copy. Dirty
 * pages are flushed before each timed step so no step pays for another's
 * writes.
 */
#include "bench/bench_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

int main(int argc, char **argv) {
    double minutes = argc > 1 ? std::atof(argv[1]) : 60.0;
    BenchEngine engine;
    benchStart(&engine);
    std::string input = engine.folder + "/bench-input.wav";
    std::string output = engine.folder + "/bench-output.wav";
    int64_t frames = static_cast<int64_t>(minutes * 60 * 44100);
    benchMakeTestWave(input, frames);
    double megabytes = (44 + frames * 4) / 1e6;
    std::printf("file: %.1f minutes, 16-bit stereo 44100 Hz, %.1f MB\n", minutes, megabytes);

    int32_t doc = kvCreate(nullptr);
    sync();
    auto start = std::chrono::steady_clock::now();
    int32_t opened = kvOpen(doc, input.c_str());
    double openSeconds = benchSeconds(start);
    sync();
    start = std::chrono::steady_clock::now();
    int32_t saved = kvSave(doc, output.c_str());
    double saveSeconds = benchSeconds(start);
    kvClose(doc);
    int64_t rss = benchPeakRssKb();
    benchStop(&engine);

    std::string soxFloat = engine.folder + "/bench-sox.wav";
    sync();
    double soxSeconds = benchTimeCommand("sox '" + input + "' -b 32 -e floating-point '" +
                                         soxFloat + "' 2>/dev/null");
    sync();
    double copySeconds = benchTimeCommand("cp '" + input + "' '" + soxFloat + "'");
    std::filesystem::remove(soxFloat);
    std::filesystem::remove(output);

    std::printf("kvOpen:              %7.2f s  (%s)\n", openSeconds, opened == 0 ? "ok" : "failed");
    std::printf("kvSave (16-bit):     %7.2f s  (%s)\n", saveSeconds, saved == 0 ? "ok" : "failed");
    std::printf("sox to 32-bit float: %7.2f s\n", soxSeconds);
    std::printf("plain copy:          %7.2f s\n", copySeconds);
    if (soxSeconds > 0) {
        std::printf("open / sox:          %7.2f\n", openSeconds / soxSeconds);
        std::printf("save / sox:          %7.2f\n", saveSeconds / soxSeconds);
    }
    if (copySeconds > 0) std::printf("open / copy:         %7.2f\n", openSeconds / copySeconds);
    std::printf("peak RSS:            %7.1f MB\n", rss / 1024.0);
    return opened == 0 && saved == 0 ? 0 : 1;
}
