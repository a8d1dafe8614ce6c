/*
 * dynamics.cpp - the Compressor/Limiter (a per-sample gain computer with
 * attack and release, soft knee, side chain and an oversampled envelope,
 * then ratio blend, enhance, hard clip and make-up gain) and Distortion (a
 * noise gate before a hard clipper).
 *
 * The compressor's constants are formed by the prepare hook, which the
 * preview calls before every buffer, and the envelope's by each call, so the
 * per-sample work is a few multiplications; the knee's tenth power is four
 * multiplications, not a call. Arithmetic is double, constants and state are
 * single precision; both live in the run.
 */
#include "engine/dsp/dynamics.h"
#include "engine/document/document.h"

#include <algorithm>
#include <cmath>
#include <cstring>

struct KvCompressorConstants {
    float threshold, clip, share, attack, release, makeUp, enhance;
    bool softKnee, sideChain, oversample;
};

/* Per channel: gain G, smoothed input p, side-chain value q, previous
 * detector value e. */
struct KvCompressorChannel {
    float gain, smooth, side, previous;
};

struct KvCompressorState {
    KvCompressorConstants comp;
    KvCompressorChannel channel[2];
};

static float kvGainOf(int32_t db) {
    return static_cast<float>(kvDbToGain(db));
}

void kvCompressorPrepare(KvEffectRun &run) {
    const KV_Params *p = run.params;
    const KV_Document *document = kvGetDocument(run.doc);
    KvCompressorConstants &comp = kvRunState<KvCompressorState>(run).comp;
    double rate = document ? document->current->sampleRate : 44100;
    comp.threshold = kvGainOf(p->compThresholdDb);
    comp.clip = kvGainOf(p->compHardClipDb);
    comp.share = p->compRatio > 0 && p->compRatio < 100
                     ? static_cast<float>(1.0 - 1.0 / p->compRatio)
                     : 1.0f;
    comp.attack = static_cast<float>(2.0 / (p->compAttack * 0.0001 * rate));
    comp.release = static_cast<float>(2.0 / (p->compRelease * 0.01 * rate));
    comp.makeUp = kvGainOf(p->compGainDb);
    comp.enhance = static_cast<float>(p->compEnhance * 0.05);
    comp.softKnee = p->compSoftKnee != 0;
    comp.sideChain = p->compSideChain != 0;
    comp.oversample = p->compOversample != 0;
}

int32_t kvCompressorStart(KvEffectRun &run) {
    for (KvCompressorChannel &state : kvRunState<KvCompressorState>(run).channel)
        state = {1.0f, 0.0f, 0.0f, 0.0f};
    return 0;
}

/* The envelope's per-call constants for one step size (the oversampled
 * envelope takes ten steps of a tenth). */
struct KvEnvelope {
    double up;     /* 1 + release */
    double upDown; /* (1 + release) (1 - attack) */
    double attack;
    double threshold;
    double knee;    /* half the threshold */
    double inverse; /* 1 / threshold */
    double upTen;   /* (1 + release)^10: ten steps that only release */
    double quiet;   /* below this a step can only release */
    bool softKnee;
};

static KvEnvelope kvEnvelopeFor(const KvCompressorConstants &comp, double attack, double release) {
    KvEnvelope e;
    e.up = 1.0 + release;
    e.upDown = e.up * (1.0 - attack);
    e.attack = attack;
    e.threshold = comp.threshold;
    e.knee = 0.5 * e.threshold;
    e.inverse = 1.0 / e.threshold;
    e.upTen = 1.0;
    for (int32_t j = 0; j < 10; j++)
        e.upTen *= e.up;
    e.softKnee = comp.softKnee;
    e.quiet = e.softKnee ? e.knee : e.threshold;
    return e;
}

/* One envelope step on level l: release, then attack above the threshold
 * or, with the soft knee, a gentler attack above half of it; the gain stays
 * within [0.00001, 1]. The clamps are branches, not min/max, because they
 * almost never act and the gain's chain of dependent steps is what limits
 * the speed. */
static inline double kvEnvelopeStep(const KvEnvelope &e, double gain, double level) {
    const double floor = static_cast<double>(0.00001f);
    double released = gain * e.up, seen = released * level, next = released;
    if (seen > e.threshold) {
        next = gain * e.upDown;
    } else if (e.softKnee && seen > e.knee) {
        double r = seen * e.inverse, r2 = r * r, r4 = r2 * r2;
        next = released * (1.0 - e.attack * (r4 * r4 * r2));
    }
    if (next < floor) return floor;
    return next > 1.0 ? 1.0 : next;
}

/* The ten oversampled steps between the previous detector value and this
 * one. When even the loudest of them cannot reach the knee at the gain the
 * steps could climb to, they only release, all ten in one multiplication. */
static double kvOversampledEnvelope(const KvEnvelope &e, double gain, double previous,
                                    double detector) {
    double loudest = std::max(std::fabs(previous), std::fabs(detector));
    if (e.up >= 1.0 && gain * e.upTen * loudest <= e.quiet) return std::min(gain * e.upTen, 1.0);
#pragma GCC unroll 10
    for (int32_t j = 0; j < 10; j++) {
        double v = 0.1 * ((10 - j) * previous + j * detector);
        gain = kvEnvelopeStep(e, gain, std::fabs(v));
    }
    return gain;
}

static float kvCompressSample(const KvCompressorConstants &comp, const KvEnvelope &envelope,
                              KvCompressorChannel &state, float sample) {
    double x = sample;
    state.smooth = static_cast<float>(state.smooth + 0.25 * (x - state.smooth));
    state.side =
        comp.sideChain ? static_cast<float>(state.side + 0.02 * (0.5 * x - state.side)) : 0.0f;
    double detector = x - state.side, gain;
    if (comp.oversample) {
        gain = kvOversampledEnvelope(envelope, state.gain, state.previous, detector);
        state.previous = static_cast<float>(detector);
    } else {
        gain = kvEnvelopeStep(envelope, state.gain, std::fabs(detector));
    }
    state.gain = static_cast<float>(gain);
    double share = comp.share;
    double y = x * (1.0 - share) + x * share * state.gain;
    y += comp.enhance * (x - state.smooth);
    y = std::clamp(y, -static_cast<double>(comp.clip), static_cast<double>(comp.clip));
    return static_cast<float>(y * comp.makeUp);
}

void kvCompress(KvEffectRun &run, int32_t channel, float *samples, int32_t count) {
    KvCompressorState &compressor = kvRunState<KvCompressorState>(run);
    /* local copies, which the stores to the envelope cannot alias */
    const KvCompressorConstants comp = compressor.comp;
    KvCompressorChannel state = compressor.channel[channel];
    double step = comp.oversample ? 0.1 : 1.0;
    KvEnvelope envelope = kvEnvelopeFor(comp, comp.attack * step, comp.release * step);
    for (int32_t i = 0; i < count; i++)
        samples[i] = kvCompressSample(comp, envelope, state, samples[i]);
    compressor.channel[channel] = state;
}

static void kvReadBlock(KvEffectRun &run, const KvBlockStep &step) {
    KV_Document *document = kvGetDocument(step.doc);
    kvReadSamples(step.doc, step.channel, document->level - 1, run.blockA, step.lower + step.offset,
                  step.count);
}

void kvCompressorBlock(KvEffectRun &run, const KvBlockStep &step) {
    kvReadBlock(run, step);
    kvCompress(run, step.channel, run.blockA, step.count);
    kvQueueInsert(step.doc, step.channel, run.blockA, step.count);
}

int32_t kvCompressorPreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count,
                            int32_t, int32_t) {
    if (channel >= 0 && channel < 2) kvCompress(run, channel, buffer, count);
    return count;
}

void kvDistort(const KV_Params *p, float *samples, int32_t count) {
    float high = kvGainOf(p->distHighClipDb), low = kvGainOf(p->distLowThresholdDb);
    bool gate = p->distLowThresholdDb > -96;
    for (int32_t i = 0; i < count; i++) {
        float x = samples[i];
        if (gate && std::fabs(x) < low)
            samples[i] = 0.0f;
        else
            samples[i] = std::clamp(x, -high, high);
    }
}

void kvDistortionBlock(KvEffectRun &run, const KvBlockStep &step) {
    kvReadBlock(run, step);
    kvDistort(run.params, run.blockA, step.count);
    kvQueueInsert(step.doc, step.channel, run.blockA, step.count);
}

int32_t kvDistortionPreview(KvEffectRun &run, int32_t, float *buffer, int32_t count, int32_t,
                            int32_t) {
    kvDistort(run.params, buffer, count);
    return count;
}
