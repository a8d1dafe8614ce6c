/*
 * tone.cpp - the Tone Generator: sine, sawtooth, triangle and square waves at
 * a fixed or linearly swept frequency, inserted at the cursor.
 *
 * One phase value in units of pi runs on across the blocks of an edit, so
 * block boundaries are seamless. The tone is computed once per block and the
 * same samples go to every processed channel; the preview regenerates the
 * second channel from the phase the first one started with, so both preview
 * buffers match without a buffer of their own.
 */
#include "engine/dsp/tone.h"
#include "engine/document/document.h"

#include <algorithm>
#include <cmath>
#include <numbers>

struct KvToneState {
    /* Phase in units of pi, in (-1, 1]; a full cycle advances it by 2. */
    float phase;
    /* The preview position the phase before it belongs to (-1: none yet). */
    int32_t previewPosition;
    float previewPhase;
};

/* Narrows to float toward zero, the engine's rule for every narrowing. */
static float kvNarrowTowardZero(long double value) {
    float narrowed = static_cast<float>(value);
    if (std::fabs(static_cast<long double>(narrowed)) > std::fabs(value))
        narrowed = std::nextafter(narrowed, 0.0f);
    return narrowed;
}

int32_t kvToneStart(KvEffectRun &run) {
    KvToneState &tone = kvRunState<KvToneState>(run);
    tone.phase = 0.0f;
    tone.previewPosition = -1;
    return 0;
}

static float kvWaveSample(int32_t waveform, double amp, float phase) {
    switch (waveform) {
    case 1:
        return static_cast<float>(amp * phase);
    case 2:
        if (phase > 0.5f) return static_cast<float>(2.0 * amp * (1.0 - phase));
        if (phase > -0.5f) return static_cast<float>(2.0 * amp * phase);
        return static_cast<float>(2.0 * amp * (-1.0 - phase));
    case 3:
        return static_cast<float>(phase > 0.0f ? amp : -amp);
    default:
        return static_cast<float>(amp * std::sin(std::numbers::pi * phase));
    }
}

void kvToneGenerate(KvEffectRun &run, float *buffer, int32_t n, int32_t o, int32_t L) {
    const KV_Params *params = run.params;
    KvToneState &tone = kvRunState<KvToneState>(run);
    /* At least 1 so that a damaged rate cannot divide by zero. */
    int32_t nyquist = std::max(kvGetDocument(run.doc)->current->sampleRate / 2, 1);
    double f1 = std::min(std::max(params->toneStartHz, 14), nyquist);
    double f2 = std::min(std::max(params->toneEndHz, 14), nyquist);
    long double a = f1 / nyquist;
    long double b = params->toneSweep ? f2 / nyquist : a;
    long double slope = (b - a) / std::max(L, 4096);
    double amp = kvDbToGain(params->toneVolumeDb);
    int32_t waveform = params->toneWaveform;
    float phase = tone.phase;
    for (int32_t i = 0; i < n; i++) {
        long double t = static_cast<long double>(o) + i + 1;
        long double sum = phase + a + t * slope;
        while (sum > 1.0L)
            sum -= 2.0L;
        phase = kvNarrowTowardZero(sum);
        buffer[i] = kvWaveSample(waveform, amp, phase);
    }
    tone.phase = phase;
}

void kvToneBlock(KvEffectRun &run, const KvBlockStep &step) {
    if (step.processed == 0)
        kvToneGenerate(run, run.blockA, step.count, step.offset, step.rangeLength);
    kvQueueInsert(step.doc, step.channel, run.blockA, step.count);
}

int32_t kvTonePreview(KvEffectRun &run, int32_t, float *buffer, int32_t count, int32_t rangeLength,
                      int32_t position) {
    KvToneState &tone = kvRunState<KvToneState>(run);
    if (position == tone.previewPosition) {
        tone.phase = tone.previewPhase;
    } else {
        tone.previewPosition = position;
        tone.previewPhase = tone.phase;
    }
    kvToneGenerate(run, buffer, count, position, rangeLength);
    return count;
}
