/*
 * bench_support.cpp - shared benchmark helpers.
 */
#include "bench/bench_support.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

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

int64_t benchRssKb() {
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0, resident = 0;
    if (!(statm >> size >> resident)) return 0;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int32_t benchOpenDescriptors(const std::string &part) {
    int32_t count = 0;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (!error && target.find(part) != std::string::npos) count++;
    }
    return count;
}

int64_t benchFolderBytes(const std::string &folder) {
    int64_t total = 0;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error))
        if (entry.is_regular_file(error)) total += static_cast<int64_t>(entry.file_size(error));
    return total;
}

int32_t benchFileCount(const std::string &folder, const std::string &prefix) {
    int32_t count = 0;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) count++;
    return count;
}

double benchTimeCommand(const std::string &command) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    return benchSeconds(start);
}

void benchMakeTestWave(const std::string &path, int64_t frames) {
    if (std::filesystem::exists(path) &&
        std::filesystem::file_size(path) == static_cast<uint64_t>(44 + frames * 4))
        return;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    uint32_t dataSize = static_cast<uint32_t>(frames * 4);
    uint32_t header[11] = {0x46464952, dataSize + 36, 0x45564157, 0x20746D66, 16,      0x00020001,
                           44100,      44100 * 4,     0x00100004, 0x61746164, dataSize};
    out.write(reinterpret_cast<const char *>(header), 44);
    std::vector<int16_t> chunk(2 * 65536);
    for (int64_t done = 0; done < frames;) {
        int64_t count = std::min<int64_t>(65536, frames - done);
        for (int64_t i = 0; i < count; i++) {
            double t = static_cast<double>(done + i) / 44100.0;
            chunk[2 * i] = static_cast<int16_t>(std::sin(t * 2764.6) * 20000);
            chunk[2 * i + 1] = static_cast<int16_t>(std::sin(t * 1000.0) * 12000);
        }
        out.write(reinterpret_cast<const char *>(chunk.data()), count * 4);
        done += count;
    }
}

BenchEffectsFile benchOpenEffectsFile(const BenchEngine &engine, double minutes) {
    BenchEffectsFile file;
    int64_t frames = static_cast<int64_t>(minutes * 60 * 44100);
    file.path = engine.folder + "/bench-effects.wav";
    file.seconds = static_cast<double>(frames) / 44100.0;
    benchMakeTestWave(file.path, frames);
    file.doc = kvCreate(nullptr);
    if (file.doc >= 0 && kvOpen(file.doc, file.path.c_str()) != 0) {
        kvClose(file.doc);
        file.doc = -1;
    }
    return file;
}

double benchTimeEdit(int32_t doc, int32_t edit) {
    kvSetSelection(doc, 0, 0, -1);
    sync();
    auto start = std::chrono::steady_clock::now();
    int32_t result = kvDoEdit(doc, edit);
    double seconds = benchSeconds(start);
    if (result != 0) return -1;
    kvUndo(doc);
    return seconds;
}

double benchTimeSox(const std::string &input, const std::string &effect, int32_t runs) {
    std::filesystem::path output = std::filesystem::path(input).parent_path() / "bench-sox-out.wav";
    std::string command =
        "sox '" + input + "' -b 16 '" + output.string() + "' " + effect + " 2>/dev/null";
    double best = -1;
    for (int32_t run = 0; run < runs; run++) {
        sync();
        double seconds = benchTimeCommand(command);
        if (seconds < 0) return -1;
        best = best < 0 ? seconds : std::min(best, seconds);
    }
    std::filesystem::remove(output);
    return best;
}

static void benchRowSeconds(double seconds) {
    if (seconds >= 0 && seconds < 1e29)
        std::printf("\t%.7f", seconds);
    else
        std::printf("\t-");
}

void benchRow(const std::string &work, double korvelSeconds, const std::string &tool,
              double toolSeconds) {
    std::printf("ROW\t%s", work.c_str());
    benchRowSeconds(korvelSeconds);
    std::printf("\t%s", tool.empty() ? "-" : tool.c_str());
    benchRowSeconds(toolSeconds);
    std::printf("\n");
    std::fflush(stdout);
}

void benchRealtimeHeader() {
    std::printf("%-22s %-18s %12s %12s %10s\n", "edit", "sox effect", "Korvel x RT", "sox x RT",
                "Korvel/sox");
}

void benchRealtimeRow(const std::string &name, const std::string &soxEffect, double audioSeconds,
                      double korvelSeconds, double soxSeconds) {
    auto factor = [audioSeconds](double seconds) {
        return seconds > 0 ? audioSeconds / seconds : 0;
    };
    std::printf("%-22s %-18s %12.0f %12.0f", name.c_str(), soxEffect.c_str(), factor(korvelSeconds),
                factor(soxSeconds));
    if (korvelSeconds > 0 && soxSeconds > 0)
        std::printf(" %10.2f\n", soxSeconds / korvelSeconds);
    else
        std::printf(" %10s\n", korvelSeconds < 0 ? "failed" : "no sox");
    benchRow(name, korvelSeconds, "sox " + soxEffect, soxSeconds);
}
