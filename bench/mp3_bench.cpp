/*
 * mp3_bench - opening and saving MPEG Layer-3 files through the codecs.
 *
 * Usage: mp3_bench [minutes]   (default 10)
 * Makes a 16-bit stereo test file and its 128 kbit/s MP3 with lame, then
 * times kvOpen of the MP3 next to `mpg123 -w` decoding it to a WAVE file,
 * and kvSave of the stereo document as a 128 kbit/s MP3 next to
 * `lame -b 128` encoding the same file, in the same run. Each figure is the
 * best of three runs, so a passing disturbance does not decide the ratio.
 */
#include "bench/bench_support.h"
#include "engine/document/document.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

static void printRow(const char *name, double seconds, bool ok) {
    std::printf("%-28s %7.2f s  (%s)\n", name, seconds, ok ? "ok" : "failed");
}

/* The best of three timings of `run` (a negative time means it failed). */
template <typename Run> static double bestOfThree(Run run) {
    double best = -1;
    for (int i = 0; i < 3; i++) {
        double seconds = run();
        if (seconds < 0) return -1;
        if (best < 0 || seconds < best) best = seconds;
    }
    return best;
}

/* Opens `file` into a new document and closes it: the open's seconds, -1 on failure. */
static double timeOpen(const std::string &file) {
    int32_t doc = kvCreate(nullptr);
    auto start = std::chrono::steady_clock::now();
    bool opened = kvOpen(doc, file.c_str()) == 0;
    double seconds = benchSeconds(start);
    kvClose(doc);
    return opened ? seconds : -1;
}

/* Saves the document as a 128 kbit/s MP3: seconds, -1 on failure. */
static double timeSave(int32_t doc, const std::string &file) {
    auto start = std::chrono::steady_clock::now();
    bool saved = kvSave(doc, file.c_str()) == 0;
    return saved ? benchSeconds(start) : -1;
}

int main(int argc, char **argv) {
    double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;
    BenchEngine engine;
    benchStart(&engine);
    std::string wave = engine.folder + "/mp3-bench-input.wav";
    std::string mp3 = engine.folder + "/mp3-bench-input.mp3";
    std::string decoded = engine.folder + "/mp3-bench-mpg123.wav";
    std::string encoded = engine.folder + "/mp3-bench-lame.mp3";
    std::string saved = engine.folder + "/mp3-bench-output.mp3";
    benchMakeTestWave(wave, static_cast<int64_t>(minutes * 60 * 44100));
    benchTimeCommand("lame --silent -b 128 '" + wave + "' '" + mp3 + "'");
    std::printf("file: %.1f minutes, 16-bit stereo 44100 Hz, MP3 at 128 kbit/s\n", minutes);

    double openSeconds = bestOfThree([&] { return timeOpen(mp3); });
    double mpg123Seconds = bestOfThree(
        [&] { return benchTimeCommand("mpg123 -q -w '" + decoded + "' '" + mp3 + "'"); });
    int32_t doc = kvCreate(nullptr);
    bool loaded = kvOpen(doc, wave.c_str()) == 0;
    kvGetDocument(doc)->formatTag = 85;
    kvGetDocument(doc)->bitRate = 128;
    double saveSeconds = loaded ? bestOfThree([&] { return timeSave(doc, saved); }) : -1;
    kvClose(doc);
    double lameSeconds = bestOfThree(
        [&] { return benchTimeCommand("lame --silent -b 128 '" + wave + "' '" + encoded + "'"); });
    int64_t rss = benchPeakRssKb();
    benchStop(&engine);
    for (const std::string &file : {decoded, encoded, saved})
        std::filesystem::remove(file);

    printRow("kvOpen (MP3)", openSeconds, openSeconds >= 0);
    printRow("mpg123 -w", mpg123Seconds, mpg123Seconds >= 0);
    printRow("kvSave (MP3, 128 kbit/s)", saveSeconds, saveSeconds >= 0);
    printRow("lame -b 128", lameSeconds, lameSeconds >= 0);
    if (openSeconds > 0 && mpg123Seconds > 0)
        std::printf("open / mpg123:               %7.2f\n", openSeconds / mpg123Seconds);
    if (saveSeconds > 0 && lameSeconds > 0)
        std::printf("save / lame:                 %7.2f\n", saveSeconds / lameSeconds);
    std::printf("peak RSS:                    %7.1f MB\n", rss / 1024.0);
    benchRow("open MP3 128 kbit/s", openSeconds, "mpg123 -w", mpg123Seconds);
    benchRow("save as MP3 128 kbit/s", saveSeconds, "lame -b 128", lameSeconds);
    return openSeconds >= 0 && saveSeconds >= 0 ? 0 : 1;
}
