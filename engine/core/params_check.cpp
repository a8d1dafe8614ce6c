/*
 * params_check.cpp - holds restored KV_Params, KV_Options and KV_Limits
 * records to the ranges the program's dialogs can produce, and tells the
 * dialogs those ranges, so each is written down only here.
 *
 * The effects trust the record, so a record damaged on disk is mended once at
 * start rather than in every effect. A field moves only as far as its nearest
 * bound, so a record the program wrote comes back byte for byte.
 */
#include "engine/core/engine.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

struct KvFieldRange {
    size_t offset;
    int32_t count; /* consecutive int32 fields sharing the range */
    int32_t lowest, highest;
};

#define KV_FIELD(name, lowest, highest)                                                            \
    { offsetof(KV_Params, name), 1, lowest, highest }
#define KV_ARRAY(name, lowest, highest)                                                            \
    { offsetof(KV_Params, name), sizeof(KV_Params::name) / sizeof(int32_t), lowest, highest }

/* Half the highest sample rate a document can have (4000 ... 96000 Hz). */
const int32_t kvHighestHalfRate = 48000;

const KvFieldRange kParamRanges[] = {
    KV_FIELD(fadeEdges, 0, 1),
    KV_FIELD(fadeEdgesWhole, 0, 1),
    KV_FIELD(fadeEdgesMs, 1, 1000), /* the list offers up to 200, typing up to 1000 */
    KV_FIELD(volumeDb, -48, 48),
    KV_FIELD(pasteMixDb, -48, 48),
    KV_FIELD(silenceUnit, 0, 2),
    KV_ARRAY(eqBandDb, -24, 24),
    KV_FIELD(compThresholdDb, -48, 12),
    KV_FIELD(compHardClipDb, -48, 12),
    KV_FIELD(compAttack, 1, 2000),
    KV_FIELD(compRelease, 5, 500),
    KV_FIELD(compGainDb, 0, 48),
    KV_FIELD(compEnhance, 0, 10),
    KV_FIELD(compSoftKnee, 0, 1),
    KV_FIELD(compSideChain, 0, 1),
    KV_FIELD(compOversample, 0, 1),
    KV_FIELD(echoFeedbackRtoLDb, -48, 0),
    KV_FIELD(echoLeftFromLeftDb, -48, 12),
    KV_FIELD(echoLeftFromRightDb, -48, 12),
    KV_FIELD(echoRightFromLeftDb, -48, 12),
    KV_FIELD(echoRightFromRightDb, -48, 12),
    KV_FIELD(echoFeedbackLtoRDb, -48, 0),
    KV_FIELD(echoLowPass, 50, 1000),
    KV_FIELD(echoHighPass, 0, 950),
    KV_FIELD(echoLeftDelayMs, 10, 1000),
    KV_FIELD(echoRightDelayMs, 10, 1000),
    KV_FIELD(echoDryLeftDb, -48, 12),
    KV_FIELD(echoWetLeftDb, -48, 12),
    KV_FIELD(echoWetRightDb, -48, 12),
    KV_FIELD(echoDryRightDb, -48, 12),
    KV_FIELD(echoBounce, 0, 1),
    KV_FIELD(echoGang, 0, 1),
    KV_FIELD(simpleEchoDelayMs, 10, 1000),
    KV_FIELD(simpleEchoFeedbackDb, -48, 0),
    KV_FIELD(simpleEchoWetDb, -48, 0),
    KV_FIELD(simpleEchoLowPass, 2, 100),
    KV_ARRAY(reverbLevelDb, -48, 12),
    KV_FIELD(reverbRoomSize, 0, 5),
    KV_FIELD(reverbWall, 0, 3),
    KV_FIELD(reverbGang, 0, 1),
    KV_FIELD(fftStartHighPassHz, 0, kvHighestHalfRate),
    KV_FIELD(fftEndHighPassHz, 0, kvHighestHalfRate),
    KV_FIELD(fftStartLowPassHz, 0, kvHighestHalfRate),
    KV_FIELD(fftEndLowPassHz, 0, kvHighestHalfRate),
    KV_FIELD(fftFilterType, 0, 1),
    KV_FIELD(fftDynamic, 0, 1),
    KV_FIELD(distHighClipDb, -90, 0),
    KV_FIELD(distLowThresholdDb, -96, -6),
    KV_FIELD(pitchStart, 50, 200),
    KV_FIELD(pitchEnd, 50, 200),
    KV_FIELD(pitchDynamic, 0, 1),
    KV_FIELD(pitchMode, 0, 2),
    KV_FIELD(toneVolumeDb, -48, 48),
    KV_FIELD(toneStartHz, 10, kvHighestHalfRate),
    KV_FIELD(toneEndHz, 10, kvHighestHalfRate),
    KV_FIELD(toneSweep, 0, 1),
    KV_FIELD(toneWaveform, 0, 3),
    KV_FIELD(toneLengthUnit, 0, 2),
    KV_FIELD(previewBypass, 0, 1),
    /* Run-time state of an edit: no edit is running at start. */
    KV_FIELD(cancellable, 0, 0),
    KV_FIELD(cancelRequested, 0, 0),
    KV_FIELD(normalizeDb, -48, 48),
    KV_FIELD(newSampleRate, 4000, 96000),
    KV_FIELD(newChannels, 1, 2),
};

#undef KV_FIELD
#undef KV_ARRAY

/* The longest tone, per length unit (milliseconds, seconds, minutes). */
const int32_t kToneLengthLimit[3] = {KV_LONGEST_TONE_MS, KV_LONGEST_TONE_MS / 1000,
                                     KV_LONGEST_TONE_MS / 60000};
/* The silence dialog's largest number; insert silence itself stops where the
 * descriptor tables would outgrow memory. */
const int32_t kSilenceLimit = 999999;

void kvClampField(void *record, size_t offset, int32_t lowest, int32_t highest) {
    char *at = static_cast<char *>(record) + offset;
    int32_t value;
    std::memcpy(&value, at, sizeof value);
    int32_t held = std::clamp(value, lowest, highest);
    if (held != value) std::memcpy(at, &held, sizeof held);
}

/* The six sample formats of the new-file dialog; any other pair gives
 * 16-bit PCM, the default. */
void kvCheckNewFormat(KV_Params *params) {
    static const int32_t kFormats[6][2] = {{8, 1}, {16, 1}, {24, 1}, {32, 1}, {32, 3}, {64, 3}};
    for (const auto &format : kFormats)
        if (params->newBitsPerSample == format[0] && params->newFormat == format[1]) return;
    params->newBitsPerSample = 16;
    params->newFormat = 1;
}

bool kvIsPowerOfTwoIn(int32_t value, int32_t lowest, int32_t highest) {
    return value >= lowest && value <= highest && (value & (value - 1)) == 0;
}

const KvFieldRange *kvFindParamRange(size_t offset) {
    for (const KvFieldRange &range : kParamRanges)
        if (offset >= range.offset && offset < range.offset + range.count * sizeof(int32_t) &&
            (offset - range.offset) % sizeof(int32_t) == 0)
            return &range;
    return nullptr;
}

} // namespace

extern "C" KV_API int32_t kvGetParamRange(int32_t offset, KV_ParamRange *range) {
    if (!range || offset < 0) return -1;
    const KvFieldRange *found = kvFindParamRange(static_cast<size_t>(offset));
    if (!found) return -1;
    range->lowest = found->lowest;
    range->highest = found->highest;
    return 0;
}

void kvClampParams(KV_Params *params) {
    for (const KvFieldRange &range : kParamRanges)
        for (int32_t i = 0; i < range.count; i++)
            kvClampField(params, range.offset + i * sizeof(int32_t), range.lowest, range.highest);
    /* A ratio of 0 or less, like 100 or more, is infinite: keep it so. */
    if (params->compRatio < 1 || params->compRatio > 100) params->compRatio = 100;
    params->toneLength =
        std::clamp(params->toneLength, 1, kToneLengthLimit[params->toneLengthUnit]);
    params->silenceAmount = std::clamp(params->silenceAmount, 0, kSilenceLimit);
    kvCheckNewFormat(params);
}

void kvClampOptions(KV_Options *options) {
    /* The FFT settings outside their lists fall back to their defaults, as
     * the FFT engine itself would take them. */
    if (!kvIsPowerOfTwoIn(options->fftSize, 256, 8192)) options->fftSize = 2048;
    if (!kvIsPowerOfTwoIn(options->fftOverlap, 4, 32)) options->fftOverlap = 8;
    if (options->fftWindow < 0 || options->fftWindow > 5) options->fftWindow = 4;
    options->extendEffect = std::clamp(options->extendEffect, 0, 1);
    options->extendAmount = std::clamp(options->extendAmount, 1, 10);
}

void kvClampLimits(KV_Limits *limits) {
    limits->maxUndoLevels = std::clamp(limits->maxUndoLevels, 0, KV_MOST_UNDO_LEVELS);
}

KV_ViewOptions kvDefaultViewOptions() {
    KV_ViewOptions options{};
    options.frequencyScale = KV_FREQUENCY_LINEAR;
    options.colorMap = KV_COLORMAP_PERCEPTUAL;
    options.rangeDb = 90;
    options.gainDb = 0;
    options.amplitudeRuler = KV_AMPLITUDE_DB;
    options.newWindowMode = KV_DISPLAY_WAVEFORM;
    return options;
}

void kvClampViewOptions(KV_ViewOptions *options) {
    options->frequencyScale =
        std::clamp<int32_t>(options->frequencyScale, KV_FREQUENCY_LINEAR, KV_FREQUENCY_LOG);
    options->colorMap =
        std::clamp<int32_t>(options->colorMap, KV_COLORMAP_PERCEPTUAL, KV_COLORMAP_SCHEME);
    options->rangeDb =
        std::clamp(options->rangeDb, KV_LEAST_SPECTRUM_RANGE_DB, KV_MOST_SPECTRUM_RANGE_DB);
    options->gainDb =
        std::clamp(options->gainDb, KV_LEAST_SPECTRUM_GAIN_DB, KV_MOST_SPECTRUM_GAIN_DB);
    options->amplitudeRuler =
        std::clamp<int32_t>(options->amplitudeRuler, KV_AMPLITUDE_DB, KV_AMPLITUDE_LINEAR);
    options->newWindowMode =
        std::clamp<int32_t>(options->newWindowMode, KV_DISPLAY_WAVEFORM, KV_DISPLAY_BOTH);
}
