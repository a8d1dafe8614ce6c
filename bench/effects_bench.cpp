/*
 * effects_bench - the gain edits over a long file, beside sox.
 *
 * Usage: effects_bench [minutes] [runs]   (defaults 10 and 3)
 * Opens the 16-bit stereo 44100 Hz test file as a document and runs each gain
 * edit over the whole of it through kvDoEdit, headless; sox applies the
 * corresponding effect to the same file, writing a 16-bit file beside it.
 * Each figure is the best of `runs`, in audio seconds per wall second.
 */
#include "bench/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct GainRow {
    const char *name;
    int32_t edit;
    std::string soxEffect;
};

/* The best of `runs` timings of one edit; -1 when it failed. Normalize times
 * the peak scan that sets its gain too, as the program runs them together. */
double bestEdit(BenchEngine *engine, int32_t doc, int32_t edit, int32_t runs) {
    double best = -1;
    for (int32_t run = 0; run < runs; run++) {
        double seconds = 0;
        if (edit == KV_EDIT_NORMALIZE) {
            auto start = std::chrono::steady_clock::now();
            engine->params.normalizeDb = -kvScanMax(doc);
            seconds = benchSeconds(start);
        }
        double edited = benchTimeEdit(doc, edit);
        if (edited < 0) return -1;
        seconds += edited;
        best = best < 0 ? seconds : std::min(best, seconds);
    }
    return best;
}

} // namespace

int main(int argc, char **argv) {
    double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;
    int32_t runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    BenchEngine engine;
    benchStart(&engine);
    engine.params.volumeDb = 6;
    BenchEffectsFile file = benchOpenEffectsFile(engine, minutes);
    if (file.doc < 0) {
        std::printf("cannot open %s\n", file.path.c_str());
        benchStop(&engine);
        return 1;
    }
    std::string length = std::to_string(static_cast<int64_t>(file.seconds));
    std::printf("%.1f minutes of 16-bit stereo 44100 Hz (%s), best of %d\n", minutes,
                file.path.c_str(), runs);
    const GainRow rows[] = {
        {"Volume Change +6 dB", KV_EDIT_VOLUME, "vol 6dB"},
        {"Fade In", KV_EDIT_FADE_IN, "fade t " + length},
        {"Fade Out", KV_EDIT_FADE_OUT, "fade t 0 " + length + " " + length},
        {"Reverse", KV_EDIT_REVERSE, "reverse"},
        {"Normalize (scan+edit)", KV_EDIT_NORMALIZE, "gain -n"},
    };
    benchRealtimeHeader();
    bool failed = false;
    for (const GainRow &row : rows) {
        double korvel = bestEdit(&engine, file.doc, row.edit, runs);
        double sox = benchTimeSox(file.path, row.soxEffect, runs);
        benchRealtimeRow(row.name, row.soxEffect, file.seconds, korvel, sox);
        failed = failed || korvel < 0;
    }
    std::printf("peak RSS: %.1f MB\n", benchPeakRssKb() / 1024.0);
    kvClose(file.doc);
    benchStop(&engine);
    return failed ? 1 : 0;
}
