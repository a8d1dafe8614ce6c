/*
 * effects_dsp_bench - the equalizer, FFT filter, dynamics, echo, reverb,
 * loudness and noise edits against their closest sox effects on the same
 * sound, in one run.
 *
 * Usage: effects_dsp_bench [minutes [rounds [row]]]   (default 10 minutes, 3
 * rounds, every row; a row given runs only the rows whose name starts so)
 * Builds a 44.1 kHz stereo document of that length (tones and noise), saves
 * it as a 32-bit float WAVE file for sox, then times each edit through
 * kvDoEdit over the whole sound (undone after each) and sox turning the file
 * into another float WAVE file, in turns, keeping each one's best round.
 * Both columns are realtime factors: seconds of sound processed per second
 * of wall time. Both noise reducers take their profile from the first
 * second first, untimed. sox has no loudness normalization, so its row is
 * its two-pass peak normalization, the nearest it offers.
 */
#include "bench/bench_support.h"
#include "engine/document/document.h"
#include "engine/history/history.h"
#include "korvel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

/* The settings the program starts with, for the edits timed here. */
static void setEffectDefaults(KV_Options *options, KV_Params *p) {
    options->fftSize = 2048;
    options->fftWindow = 4;
    options->fftOverlap = 8;
    options->extendEffect = 0; /* the same length in and out, as sox gives */
    options->extendAmount = 3;
    p->fadeEdges = p->fadeEdgesWhole = 0;
    const int32_t bands[10] = {3, 2, 1, 1, -1, -2, 1, 2, 3, 4};
    std::copy(bands, bands + 10, p->eqBandDb);
    p->compThresholdDb = -12, p->compHardClipDb = -9, p->compRatio = 100, p->compAttack = 30;
    p->compRelease = 25, p->compGainDb = 10, p->compEnhance = 5, p->compSoftKnee = 1;
    p->compSideChain = 1, p->compOversample = 1;
    p->echoFeedbackRtoLDb = -9, p->echoLeftFromLeftDb = -3, p->echoLeftFromRightDb = -9;
    p->echoRightFromLeftDb = -9, p->echoRightFromRightDb = -3, p->echoFeedbackLtoRDb = -9;
    p->echoLowPass = 800, p->echoHighPass = 200, p->echoLeftDelayMs = 100;
    p->echoRightDelayMs = 150, p->echoDryLeftDb = 0, p->echoWetLeftDb = -15;
    p->echoWetRightDb = -15, p->echoDryRightDb = 0;
    p->simpleEchoDelayMs = 120, p->simpleEchoFeedbackDb = -6, p->simpleEchoWetDb = -6;
    p->simpleEchoLowPass = 50;
    const int32_t reverb[6] = {0, 0, -12, -12, 0, 0};
    std::copy(reverb, reverb + 6, p->reverbLevelDb);
    p->reverbRoomSize = 4, p->reverbWall = 2;
    p->fftStartHighPassHz = p->fftEndHighPassHz = 200;
    p->fftStartLowPassHz = p->fftEndLowPassHz = 4000;
    p->fftFilterType = 0, p->fftDynamic = 0;
    p->distHighClipDb = -12, p->distLowThresholdDb = -96;
}

/* Fills an empty stereo document with two tone mixtures and a little noise. */
static void fillDocument(int32_t doc, int64_t frames) {
    std::vector<float> left(KV_BLOCK_FRAMES), right(KV_BLOCK_FRAMES);
    uint32_t seed = 1;
    kvBeginEdit(doc, "Fill");
    for (int64_t done = 0; done < frames; done += KV_BLOCK_FRAMES) {
        int32_t count = static_cast<int32_t>(std::min<int64_t>(KV_BLOCK_FRAMES, frames - done));
        for (int32_t i = 0; i < count; i++) {
            double t = static_cast<double>(done + i) / 44100.0;
            seed = seed * 1664525u + 1013904223u;
            float hiss = static_cast<float>(static_cast<int32_t>(seed >> 8) - (1 << 23)) * 1e-8f;
            left[i] = static_cast<float>(0.4 * std::sin(2 * std::numbers::pi * 220 * t) +
                                         0.2 * std::sin(2 * std::numbers::pi * 3100 * t)) +
                      hiss;
            right[i] = static_cast<float>(0.4 * std::sin(2 * std::numbers::pi * 330 * t) +
                                          0.2 * std::sin(2 * std::numbers::pi * 5200 * t)) -
                       hiss;
        }
        kvQueueInsert(doc, 0, left.data(), count);
        kvQueueInsert(doc, 1, right.data(), count);
    }
    if (kvCompleteEdit(doc, true) != 0) std::printf("filling the document failed\n");
}

struct BenchRow {
    const char *name;
    int32_t edit;
    const char *sox;                                      /* null: no counterpart */
    void (*vary)(KV_Options *options, KV_Params *params); /* null: the defaults */
};

/* Two variations that show what the defaults cost: the compressor's ten
 * envelope steps per sample, and the FFT filter's overlap. */
static void noOversampling(KV_Options *, KV_Params *params) {
    params->compOversample = 0;
}

static void overlapFour(KV_Options *options, KV_Params *) {
    options->fftOverlap = 4;
}

static const BenchRow kRows[] = {
    {"equalizer", KV_EDIT_EQUALIZER,
     "equalizer 31 1q 3 equalizer 62 1q 2 equalizer 125 1q 1 equalizer 250 1q 1 "
     "equalizer 500 1q -1 equalizer 1000 1q -2 equalizer 2000 1q 1 equalizer 4000 1q 2 "
     "equalizer 8000 1q 3 equalizer 16000 1q 4",
     nullptr},
    {"FFT filter 2048/Hanning/8x", KV_EDIT_FFT_FILTER, "sinc 200-4000", nullptr},
    {"FFT filter 2048/Hanning/4x", KV_EDIT_FFT_FILTER, "sinc 200-4000", overlapFour},
    {"compressor", KV_EDIT_COMPRESSOR, "compand 0.003,0.25 6:-70,-60,-20 -5 -90 0.2", nullptr},
    {"compressor, no oversampling", KV_EDIT_COMPRESSOR,
     "compand 0.003,0.25 6:-70,-60,-20 -5 -90 0.2", noOversampling},
    {"distortion", KV_EDIT_DISTORTION, nullptr, nullptr},
    {"simple echo", KV_EDIT_SIMPLE_ECHO, "echo 0.8 0.9 120 0.5", nullptr},
    {"echo", KV_EDIT_ECHO, "echos 0.8 0.7 100 0.35 150 0.35", nullptr},
    {"reverb", KV_EDIT_REVERB, "reverb", nullptr},
    {"loudness normalize -16 LUFS", KV_EDIT_LOUDNESS_NORMALIZE, "norm -1", nullptr},
    {"noise reduction 24 dB", KV_EDIT_NOISE_REDUCTION, "noisered PROFILE 0.21", nullptr},
};

/* The sox effect with the noise profile's path put in. */
static std::string soxEffect(const char *effect, const std::string &profile) {
    std::string text = effect;
    size_t at = text.find("PROFILE");
    if (at != std::string::npos) text.replace(at, 7, "'" + profile + "'");
    return text;
}

/* Seconds for one edit over the whole document, undone afterwards. */
static double timeEdit(int32_t doc, int32_t edit) {
    kvSetSelection(doc, 0, 0, -1);
    auto start = Clock::now();
    int32_t result = kvDoEdit(doc, edit);
    double seconds = benchSeconds(start);
    if (result != 0) return -1;
    kvUndo(doc);
    return seconds;
}

int main(int argc, char **argv) {
    double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;
    int32_t rounds = argc > 2 ? std::max(std::atoi(argv[2]), 1) : 3;
    std::string only = argc > 3 ? argv[3] : "";
    int64_t frames = static_cast<int64_t>(minutes * 60 * 44100);
    double audioSeconds = static_cast<double>(frames) / 44100.0;
    BenchEngine engine;
    benchStart(&engine);
    setEffectDefaults(&engine.options, &engine.params);
    int32_t doc = kvCreate(nullptr);
    kvNew(doc, 2, 32, 3, 44100);
    fillDocument(doc, frames);
    std::string input = engine.folder + "/dsp-bench-input.wav";
    std::string output = engine.folder + "/dsp-bench-output.wav";
    if (kvSave(doc, input.c_str()) != 0) {
        std::printf("could not write %s\n", input.c_str());
        return 1;
    }
    std::string profile = engine.folder + "/dsp-bench-noise.prof";
    kvSetSelection(doc, 0, 44100, -1);
    kvTakeNoiseProfile(doc);
    benchTimeCommand("sox -V1 '" + input + "' -n trim 0 1 noiseprof '" + profile + "' 2>/dev/null");
    std::printf("%.1f minutes of 44100 Hz stereo, realtime factors (audio s / wall s)\n", minutes);
    std::printf("%-28s %10s %10s  %s\n", "effect", "Korvel", "sox", "sox effect");
    for (const BenchRow &row : kRows) {
        if (std::string(row.name).rfind(only, 0) != 0) continue;
        setEffectDefaults(&engine.options, &engine.params);
        if (row.vary) row.vary(&engine.options, &engine.params);
        /* The two take turns and each keeps its best round, so that a busy
         * moment of the machine does not count against either. */
        double korvel = 1e30, sox = 1e30;
        for (int32_t round = 0; round < rounds; round++) {
            double seconds = timeEdit(doc, row.edit);
            if (seconds > 0) korvel = std::min(korvel, seconds);
            if (!row.sox) continue;
            std::string command = "sox -V1 '" + input + "' -e floating-point -b 32 '" + output +
                                  "' " + soxEffect(row.sox, profile) + " 2>/dev/null";
            seconds = benchTimeCommand(command);
            if (seconds > 0) sox = std::min(sox, seconds);
        }
        char soxText[16] = "-";
        if (sox < 1e30) std::snprintf(soxText, sizeof soxText, "%.0fx", audioSeconds / sox);
        std::printf("%-28s %9.0fx %10s  %s\n", row.name,
                    korvel < 1e30 ? audioSeconds / korvel : 0.0, soxText,
                    row.sox ? row.sox : "(none)");
        benchRow(row.name, korvel, row.sox ? std::string("sox ") + row.sox : "", sox);
        std::fflush(stdout);
    }
    std::remove(output.c_str());
    std::remove(input.c_str());
    std::remove(profile.c_str());
    kvClose(doc);
    benchStop(&engine);
    return 0;
}
