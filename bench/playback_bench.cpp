/*
 * playback_bench.cpp - how soon playback reaches the sound card after
 * kvPlay, and how closely the play cursor follows what the card has
 * actually played. Runs on the test sound card, which is paced by the clock
 * like a real one and appends every frame it plays to a file, so the file's
 * length is the card's own count of frames consumed (updated every 1 ms).
 */
#include "bench/bench_support.h"
#include "engine/audio/playback.h"
#include "engine/document/document.h"
#include "engine/history/history.h"
#include "tests/audio/test_device.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

/* A stereo document of `seconds` of a quiet sine at 44100 Hz. */
static int32_t benchSineDocument(int32_t seconds) {
    int32_t doc = kvCreate(nullptr);
    kvNew(doc, 2, 16, 1, 44100);
    kvBeginEdit(doc, "Fill");
    std::vector<float> block(4096);
    for (int32_t done = 0; done < seconds * 44100; done += 4096) {
        for (int32_t i = 0; i < 4096; i++)
            block[i] = 0.25f * static_cast<float>(std::sin((done + i) * 0.05));
        kvQueueInsert(doc, 0, block.data(), 4096);
        kvQueueInsert(doc, 1, block.data(), 4096);
    }
    kvCompleteEdit(doc, false);
    return doc;
}

static double benchMs(std::chrono::steady_clock::time_point since) {
    return 1000.0 * benchSeconds(since);
}

/* Milliseconds from kvPlay until the card has played its first frame, and
 * until it has played the first frame of sound (after the one buffer of
 * silence that playback always queues first). */
static void benchStartLatency(int32_t doc, const std::string &output, double *device,
                              double *sound) {
    std::filesystem::remove(output);
    kvSetSelection(doc, 0, 0, -1);
    auto start = std::chrono::steady_clock::now();
    kvPlay(doc, KV_PLAY_NORMAL);
    *device = *sound = -1;
    while (benchSeconds(start) < 5 && *sound < 0) {
        int64_t frames = kvPlayedFrameCount(output);
        if (frames > 0 && *device < 0) *device = benchMs(start);
        if (frames > 1024) *sound = benchMs(start);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    kvStop();
}

static void benchPrintSpread(const char *what, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::printf("  %-44s median %7.1f ms   min %7.1f ms   max %7.1f ms\n", what,
                values[values.size() / 2], values.front(), values.back());
}

/* Samples the cursor against the card's played frames every 5 ms. */
static void benchPositionError(int32_t doc, const std::string &output) {
    std::filesystem::remove(output);
    kvSetSelection(doc, 0, 0, -1);
    kvPlay(doc, KV_PLAY_NORMAL);
    std::vector<double> errors;
    auto start = std::chrono::steady_clock::now();
    while (benchSeconds(start) < 8) {
        int64_t consumed = kvPlayedFrameCount(output) - 1024;
        int32_t cursor = kvPlayCursor(doc)->playFrame.load();
        if (consumed > 4410 && cursor >= 0)
            errors.push_back(cursor - static_cast<double>(consumed));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kvStop();
    double mean = 0, meanAbs = 0, worst = 0;
    for (double error : errors) {
        mean += error;
        meanAbs += std::fabs(error);
        worst = std::max(worst, std::fabs(error));
    }
    mean /= errors.size();
    meanAbs /= errors.size();
    std::printf("\nPlay cursor minus frames played by the card (%zu samples over 8 s, 44100 Hz):\n",
                errors.size());
    std::printf("  mean %+.1f frames (%+.2f ms)   mean |error| %.1f frames (%.2f ms)   "
                "worst %.0f frames (%.2f ms)\n",
                mean, mean / 44.1, meanAbs, meanAbs / 44.1, worst, worst / 44.1);
}

int main() {
    BenchEngine engine;
    benchStart(&engine);
    std::string output = engine.folder + "/played.raw";
    kvUseTestAudioDevice(output);
    int32_t doc = benchSineDocument(20);

    double device, sound;
    benchStartLatency(doc, output, &device, &sound);
    std::printf("kvPlay to the sound card (test card, 44100 Hz stereo):\n");
    std::printf("  first play (opens the audio system)          %7.1f ms to the card, %7.1f ms "
                "to the first sound\n",
                device, sound);
    std::vector<double> devices, sounds;
    for (int32_t run = 0; run < 15; run++) {
        benchStartLatency(doc, output, &device, &sound);
        devices.push_back(device);
        sounds.push_back(sound);
    }
    benchPrintSpread("later plays: first frame reaches the card", devices);
    benchPrintSpread("later plays: first frame of sound played", sounds);

    benchPositionError(doc, output);
    kvClose(doc);
    benchStop(&engine);
    return 0;
}
