/*
 * effects_convert_bench - the tone generator, pitch/time scaling and the
 * rate and channel conversions over a long file, beside sox.
 *
 * Usage: effects_convert_bench [minutes] [runs]   (defaults 10 and 3)
 * Opens the 16-bit stereo 44100 Hz test file as a document and runs each
 * operation over the whole of it, headless (undone after each); sox applies
 * its closest effect to the same file, writing a 16-bit file beside it. Each
 * figure is the best of `runs`, in audio seconds per wall second. Last, the
 * time kvGetPitchSize takes to forecast a glide over the whole file.
 */
#include "bench/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

using Clock = std::chrono::steady_clock;

namespace {

struct ConvertRow {
    std::string name;
    std::string soxEffect;
    std::function<double()> run; /* wall seconds, -1 on failure */
};

/* Times one operation of a document and undoes it. */
double timeOperation(int32_t doc, const std::function<int32_t()> &operation) {
    kvSetSelection(doc, 0, 0, -1);
    auto start = Clock::now();
    int32_t result = operation();
    double seconds = benchSeconds(start);
    kvUndo(doc);
    return result == 0 ? seconds : -1;
}

double best(const std::function<double()> &run, int32_t runs) {
    double fastest = -1;
    for (int32_t i = 0; i < runs; i++) {
        double seconds = run();
        if (seconds < 0) return -1;
        fastest = fastest < 0 ? seconds : std::min(fastest, seconds);
    }
    return fastest;
}

double pitchEdit(BenchEngine *engine, int32_t doc, int32_t mode) {
    engine->params.pitchMode = mode;
    engine->params.pitchStart = engine->params.pitchEnd = 150;
    engine->params.pitchDynamic = 0;
    return benchTimeEdit(doc, KV_EDIT_PITCH);
}

} // namespace

int main(int argc, char **argv) {
    double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;
    int32_t runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    BenchEngine engine;
    benchStart(&engine);
    engine.options.fftSize = 2048;
    engine.options.fftWindow = 4;
    engine.options.fftOverlap = 8;
    engine.params.fadeEdges = engine.params.fadeEdgesWhole = 0;
    BenchEffectsFile file = benchOpenEffectsFile(engine, minutes);
    if (file.doc < 0) {
        std::printf("cannot open %s\n", file.path.c_str());
        benchStop(&engine);
        return 1;
    }
    int32_t doc = file.doc;
    std::string length = std::to_string(static_cast<int64_t>(file.seconds));
    std::printf("%.1f minutes of 16-bit stereo 44100 Hz (%s), best of %d\n", minutes,
                file.path.c_str(), runs);
    KV_Params &params = engine.params;
    params.toneVolumeDb = -6, params.toneStartHz = 1000, params.toneSweep = 0;
    params.toneWaveform = 0, params.toneLengthUnit = 1;
    params.toneLength = static_cast<int32_t>(file.seconds);
    const ConvertRow rows[] = {
        {"Tone 1000 Hz sine", "synth " + length + " sine 1000",
         [&] { return benchTimeEdit(doc, KV_EDIT_TONE); }},
        {"Pitch mode 0 150%", "speed 1.5", [&] { return pitchEdit(&engine, doc, 0); }},
        {"Pitch mode 1 150%", "pitch 702", [&] { return pitchEdit(&engine, doc, 1); }},
        {"Pitch mode 2 150%", "tempo 1.5", [&] { return pitchEdit(&engine, doc, 2); }},
        {"Resample to 22050", "rate 22050",
         [&] { return timeOperation(doc, [&] { return kvConvertSampleRate(doc, 22050); }); }},
        {"Stereo to mono", "remix -",
         [&] { return timeOperation(doc, [&] { return kvConvertChannels(doc, 1); }); }},
    };
    benchRealtimeHeader();
    bool failed = false;
    for (const ConvertRow &row : rows) {
        double korvel = best(row.run, runs);
        double sox = benchTimeSox(file.path, row.soxEffect, runs);
        benchRealtimeRow(row.name, row.soxEffect, file.seconds, korvel, sox);
        failed = failed || korvel < 0;
    }
    params.pitchMode = 0, params.pitchStart = 100, params.pitchEnd = 200, params.pitchDynamic = 1;
    kvSetSelection(doc, 0, kvGetLength(doc), -1);
    auto start = Clock::now();
    int32_t forecast = kvGetPitchSize(doc);
    std::printf("kvGetPitchSize, 100%% -> 200%% glide over the whole file: %d ms in %.0f ms\n",
                forecast, benchSeconds(start) * 1000);
    std::printf("peak RSS: %.1f MB\n", benchPeakRssKb() / 1024.0);
    kvClose(doc);
    benchStop(&engine);
    return failed ? 1 : 0;
}
