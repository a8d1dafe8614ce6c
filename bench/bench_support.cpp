/*
 * bench_support.cpp - shared benchmark helpers.
 */
#include "bench/bench_support.h"

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>

static std::string benchFolder() {
    const char *chosen = std::getenv("KORVEL_BENCH_DIR");
    if (chosen && *chosen) return chosen;
    const char *home = std::getenv("HOME");
    return std::string(home ? home : "/tmp") + "/.cache/korvel-bench";
}

void benchStart(BenchEngine *engine) {
    engine->folder = benchFolder();
    std::filesystem::create_directories(engine->folder);
    setenv("KORVEL_TMPDIR", engine->folder.c_str(), 1);
    setenv("KORVEL_CONFIG_HOME", (engine->folder + "/config").c_str(), 1);
    engine->options.fftSize = 2048;
    engine->options.playDevice = -1;
    kvInit(nullptr, &engine->options, sizeof engine->options, &engine->params,
           sizeof engine->params, nullptr, nullptr, nullptr);
}

void benchStop(BenchEngine *) {
    kvCleanUp();
}

double benchSeconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int64_t benchPeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double benchTimeCommand(const std::string &command) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    return benchSeconds(start);
}
