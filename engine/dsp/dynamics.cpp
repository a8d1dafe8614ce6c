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
 * The envelope is one long chain of dependent multiplications per channel,
 * so a chunk is done in three passes: the short recurrences (smoothing, side
 * chain, detector), then the envelope, then the output shaping, which has no
 * recurrence. A stereo edit runs its two channels on two cores where it can
 * (side_by_side.h); on one core both envelopes are interleaved so that their
 * chains overlap. Even so the knee steps are limited as much by how many
 * multiplications the processor can start as by their latency, so where it
 * has 256-bit vectors the level's part of the knee term is formed for all
 * ten oversampled steps of a sample at once, four steps to an instruction,
 * and the chain through the gain is kept short.
 */
#include "engine/dsp/dynamics.h"
#include "engine/document/document.h"
#include "engine/dsp/side_by_side.h"

#include <algorithm>
#include <atomic>
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

/* One sample's envelope input: the previous detector value and this one
 * (the oversampled steps run between them). */
struct KvDetectorSpan {
    double from, to;
};

/* Working arrays of one channel's chunk of up to KV_BLOCK_FRAMES samples:
 * the envelope's input, the smoothed input and the gain of each sample.
 * One spare entry past the end, which a finished lane may read. */
struct KvCompressorScratch {
    KvDetectorSpan span[KV_BLOCK_FRAMES + 1];
    float smooth[KV_BLOCK_FRAMES];
    float gain[KV_BLOCK_FRAMES + 1];
};

/* Each channel's state and arrays apart, so that the two can run at once. */
struct KvCompressorState {
    KvCompressorConstants comp;
    KvCompressorChannel channel[2];
    KvCompressorScratch scratch[2];
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

/* The knee term's part that does not depend on the gain:
 * (1 + release) attack ((1 + release) l / threshold)^10. */
static inline double kvKneeTerm(const KvEnvelope &e, double level) {
    double c = e.up * level * e.inverse, c2 = c * c, c4 = c2 * c2;
    return e.up * (e.attack * (c4 * c4 * c2));
}

/* One envelope step on level l, with its knee term from kvKneeTerm given
 * (Formed) or formed here when needed: release, then attack above the
 * threshold or, with the soft knee, a gentler attack above half of it; the
 * gain stays within [0.00001, 1]. The clamps are branches, not min/max,
 * because they almost never act and the gain's chain of dependent steps is
 * what limits the speed. For the same reason the knee's
 * G (1 + release) (1 - attack (G l (1 + release) / threshold)^10) is formed
 * as G (1 + release) - term G^3 G^8: the chain through G is five operations
 * instead of ten. The double intermediate may differ from the direct
 * product in its last bits, below what the single-precision gain keeps. */
template <bool Formed>
static inline double kvEnvelopeStep(const KvEnvelope &e, double gain, double level, double term) {
    const double floor = static_cast<double>(0.00001f);
    double released = gain * e.up, seen = released * level, next = released;
    if (seen > e.threshold) {
        next = gain * e.upDown;
    } else if (e.softKnee && seen > e.knee) {
        if (!Formed) term = kvKneeTerm(e, level);
        double g2 = gain * gain, g4 = g2 * g2, g8 = g4 * g4;
        next = released - (term * (g2 * gain)) * g8;
    }
    if (next < floor) return floor;
    return next > 1.0 ? 1.0 : next;
}

/* Where one channel's envelope has got to: the gain so far, the sample and,
 * oversampling, the step within it; with the levels and knee terms formed
 * ahead, those of the sample's steps (two spare, so that whole vectors fit). */
struct KvEnvelopeLane {
    double gain;
    int32_t sample, step;
    alignas(32) double level[12], knee[12];
};

/* The level and the knee term of all ten steps of a sample, as
 * kvEnvelopeStep would form them; no step depends on another, so they
 * vectorize. */
static inline __attribute__((always_inline)) void
kvFormSteps(const KvEnvelope &e, KvEnvelopeLane &lane, KvDetectorSpan s) {
    static const double before[12] = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0};
    static const double after[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0};
    for (int32_t j = 0; j < 12; j++) {
        double level = std::fabs(0.1 * (before[j] * s.from + after[j] * s.to));
        lane.level[j] = level;
        lane.knee[j] = kvKneeTerm(e, level);
    }
}

/* Moves a lane on by one unit of work: one step of a sample, or a whole
 * sample when it only releases. When even the loudest of the ten
 * oversampled steps cannot reach the knee at the gain the steps could climb
 * to, they only release, all ten in one multiplication. A sample's gain is
 * stored single precision once its steps are done. */
template <bool Oversample, bool Ahead>
static inline __attribute__((always_inline)) void
kvAdvanceLane(const KvEnvelope &e, KvEnvelopeLane &lane, const KvDetectorSpan *span, float *gains) {
    const KvDetectorSpan s = span[lane.sample];
    if (!Oversample) {
        float gain = static_cast<float>(kvEnvelopeStep<false>(e, lane.gain, std::fabs(s.to), 0.0));
        gains[lane.sample++] = gain;
        lane.gain = gain;
        return;
    }
    if (lane.step == 0) {
        double loudest = std::max(std::fabs(s.from), std::fabs(s.to));
        if (e.up >= 1.0 && lane.gain * e.upTen * loudest <= e.quiet) {
            float gain = static_cast<float>(std::min(lane.gain * e.upTen, 1.0));
            gains[lane.sample++] = gain;
            lane.gain = gain;
            return;
        }
    }
    if (Ahead) {
        if (lane.step == 0) kvFormSteps(e, lane, s);
        lane.gain = kvEnvelopeStep<true>(e, lane.gain, lane.level[lane.step], lane.knee[lane.step]);
    } else {
        double v = 0.1 * ((10 - lane.step) * s.from + lane.step * s.to);
        lane.gain = kvEnvelopeStep<false>(e, lane.gain, std::fabs(v), 0.0);
    }
    if (++lane.step == 10) {
        float gain = static_cast<float>(lane.gain);
        gains[lane.sample++] = gain;
        lane.gain = gain;
        lane.step = 0;
    }
}

/* The gains of `count` samples of each lane. Each channel's gain is a long
 * chain of dependent multiplications, so the two channels' chains are
 * interleaved unit by unit, each lane at its own pace (one may be releasing
 * whole samples while the other steps through its knee), and the processor
 * overlaps them. */
template <bool Oversample, bool Ahead>
static inline __attribute__((always_inline)) void
kvEnvelopes(const KvEnvelope &e, KvCompressorScratch *scratch[2], KvCompressorChannel *channels[2],
            int32_t lanes, int32_t count) {
    KvEnvelopeLane a{channels[0]->gain, 0, 0, {}, {}};
    KvEnvelopeLane b{lanes > 1 ? channels[1]->gain : 0.0, 0, 0, {}, {}};
    if (lanes > 1)
        while (a.sample < count && b.sample < count) {
            kvAdvanceLane<Oversample, Ahead>(e, a, scratch[0]->span, scratch[0]->gain);
            kvAdvanceLane<Oversample, Ahead>(e, b, scratch[1]->span, scratch[1]->gain);
        }
    while (a.sample < count)
        kvAdvanceLane<Oversample, Ahead>(e, a, scratch[0]->span, scratch[0]->gain);
    channels[0]->gain = static_cast<float>(a.gain);
    if (lanes < 2) return;
    while (b.sample < count)
        kvAdvanceLane<Oversample, Ahead>(e, b, scratch[1]->span, scratch[1]->gain);
    channels[1]->gain = static_cast<float>(b.gain);
}

/* The oversampled envelopes with 256-bit vectors: every lane does exactly
 * the arithmetic of the plain code (no fused multiply-add is enabled), so
 * the gains are the same bits on every processor. Without such vectors,
 * forming the terms ahead costs more than it saves. */
__attribute__((target("avx2"))) static void kvOversampledWide(const KvEnvelope &e,
                                                              KvCompressorScratch *scratch[2],
                                                              KvCompressorChannel *channels[2],
                                                              int32_t lanes, int32_t count) {
    kvEnvelopes<true, true>(e, scratch, channels, lanes, count);
}

static std::atomic<bool> kvCompressorWideAllowed{true};

void kvCompressorAllowWide(bool allow) {
    kvCompressorWideAllowed.store(allow, std::memory_order_relaxed);
}

static void kvOversampled(const KvEnvelope &e, KvCompressorScratch *scratch[2],
                          KvCompressorChannel *channels[2], int32_t lanes, int32_t count) {
    static const bool wide = __builtin_cpu_supports("avx2");
    if (wide && kvCompressorWideAllowed.load(std::memory_order_relaxed))
        kvOversampledWide(e, scratch, channels, lanes, count);
    else
        kvEnvelopes<true, false>(e, scratch, channels, lanes, count);
}

/* The smoothed input, the side chain and the detector of each sample: the
 * short recurrences that need no envelope. */
static void kvDetect(const KvCompressorConstants &comp, KvCompressorChannel &state,
                     const float *samples, int32_t count, KvCompressorScratch &scratch) {
    KvDetectorSpan *span = scratch.span;
    float *smooth = scratch.smooth;
    KvCompressorChannel s = state;
    for (int32_t i = 0; i < count; i++) {
        double x = samples[i];
        s.smooth = static_cast<float>(s.smooth + 0.25 * (x - s.smooth));
        s.side = comp.sideChain ? static_cast<float>(s.side + 0.02 * (0.5 * x - s.side)) : 0.0f;
        double detector = x - s.side;
        span[i] = {s.previous, detector};
        smooth[i] = s.smooth;
        if (comp.oversample) s.previous = static_cast<float>(detector);
    }
    span[count] = {0.0, 0.0};
    state.smooth = s.smooth, state.side = s.side, state.previous = s.previous;
}

typedef double KvDouble2 __attribute__((vector_size(16)));
typedef float KvFloat2 __attribute__((vector_size(8)));

/* Both lanes' values rounded to single precision, as the state stores them. */
static inline KvDouble2 kvSingle2(KvDouble2 v) {
    return __builtin_convertvector(__builtin_convertvector(v, KvFloat2), KvDouble2);
}

/* kvDetect on two channels at once, lane for lane the same arithmetic: the
 * recurrences' chains are long and the two channels' are independent. */
static void kvDetectPair(const KvCompressorConstants &comp, KvCompressorChannel *state[2],
                         float *samples[2], int32_t count, KvCompressorScratch *scratch[2]) {
    KvDouble2 smooth = {state[0]->smooth, state[1]->smooth};
    KvDouble2 side = {state[0]->side, state[1]->side};
    KvDouble2 previous = {state[0]->previous, state[1]->previous};
    for (int32_t i = 0; i < count; i++) {
        KvDouble2 x = {samples[0][i], samples[1][i]};
        smooth = kvSingle2(smooth + 0.25 * (x - smooth));
        side = comp.sideChain ? kvSingle2(side + 0.02 * (0.5 * x - side)) : KvDouble2{0.0, 0.0};
        KvDouble2 detector = x - side;
        for (int32_t l = 0; l < 2; l++) {
            scratch[l]->span[i] = {previous[l], detector[l]};
            scratch[l]->smooth[i] = static_cast<float>(smooth[l]);
        }
        if (comp.oversample) previous = kvSingle2(detector);
    }
    for (int32_t l = 0; l < 2; l++) {
        scratch[l]->span[count] = {0.0, 0.0};
        state[l]->smooth = static_cast<float>(smooth[l]);
        state[l]->side = static_cast<float>(side[l]);
        state[l]->previous = static_cast<float>(previous[l]);
    }
}

/* The ratio blend, enhance, hard clip and make-up gain: no recurrence
 * left, so this loop runs in vectors. */
static void kvShape(const KvCompressorConstants &comp, float *samples, int32_t count,
                    const float *gains, const float *smooth) {
    const double share = comp.share, enhance = comp.enhance, clip = comp.clip, makeUp = comp.makeUp;
    for (int32_t i = 0; i < count; i++) {
        double x = samples[i];
        double y = x * (1.0 - share) + x * share * gains[i];
        y += enhance * (x - smooth[i]);
        y = std::clamp(y, -clip, clip);
        samples[i] = static_cast<float>(y * makeUp);
    }
}

/* Compresses `count` samples of one or two lanes in place, each with its
 * channel's state and working arrays. */
static void kvCompressLanes(const KvCompressorConstants &comp, KvCompressorChannel *state[2],
                            KvCompressorScratch *scratch[2], float *samples[2], int32_t lanes,
                            int32_t count) {
    double step = comp.oversample ? 0.1 : 1.0;
    const KvEnvelope envelope = kvEnvelopeFor(comp, comp.attack * step, comp.release * step);
    for (int32_t done = 0; done < count; done += KV_BLOCK_FRAMES) {
        int32_t n = std::min(count - done, KV_BLOCK_FRAMES);
        float *chunk[2] = {samples[0] + done, samples[lanes - 1] + done};
        if (lanes > 1)
            kvDetectPair(comp, state, chunk, n, scratch);
        else
            kvDetect(comp, *state[0], chunk[0], n, *scratch[0]);
        if (comp.oversample)
            kvOversampled(envelope, scratch, state, lanes, n);
        else
            kvEnvelopes<false, false>(envelope, scratch, state, lanes, n);
        for (int32_t l = 0; l < lanes; l++)
            kvShape(comp, chunk[l], n, scratch[l]->gain, scratch[l]->smooth);
    }
}

void kvCompress(KvEffectRun &run, int32_t channel, float *samples, int32_t count) {
    KvCompressorState &compressor = kvRunState<KvCompressorState>(run);
    KvCompressorChannel *state[2] = {&compressor.channel[channel], nullptr};
    KvCompressorScratch *scratch[2] = {&compressor.scratch[channel], nullptr};
    float *lanes[2] = {samples, nullptr};
    kvCompressLanes(compressor.comp, state, scratch, lanes, 1, count);
}

void kvCompressPair(KvEffectRun &run, float *left, float *right, int32_t count) {
    KvCompressorState &compressor = kvRunState<KvCompressorState>(run);
    KvCompressorChannel *state[2] = {&compressor.channel[0], &compressor.channel[1]};
    KvCompressorScratch *scratch[2] = {&compressor.scratch[0], &compressor.scratch[1]};
    float *samples[2] = {left, right};
    kvCompressLanes(compressor.comp, state, scratch, samples, 2, count);
}

static void kvReadBlock(KvEffectRun &run, const KvBlockStep &step) {
    KV_Document *document = kvGetDocument(step.doc);
    kvReadSamples(step.doc, step.channel, document->level - 1, run.blockA, step.lower + step.offset,
                  step.count);
}

static int32_t kvCompressWork(KvEffectRun &run, const KvBlockStep &step, int32_t channel,
                              float *samples) {
    kvCompress(run, channel, samples, step.count);
    return step.count;
}

/* Both channels of a stereo edit at channel 0's step: side by side with a
 * second core; otherwise both envelopes interleaved here, so that their
 * chains overlap. One channel alone at its own turn. */
void kvCompressorBlock(KvEffectRun &run, const KvBlockStep &step) {
    if (kvBlockSideBySide(run, step, kvCompressWork)) return;
    KV_Document *document = kvGetDocument(step.doc);
    const KV_State *state = document->current;
    if (state->editChannel == -1 && state->channels > 1) {
        if (step.channel != 0) return;
        int32_t start = step.lower + step.offset, level = document->level - 1;
        kvReadSamples(step.doc, 0, level, run.blockA, start, step.count);
        kvReadSamples(step.doc, 1, level, run.blockB, start, step.count);
        kvCompressPair(run, run.blockA, run.blockB, step.count);
        kvQueueInsert(step.doc, 0, run.blockA, step.count);
        kvQueueInsert(step.doc, 1, run.blockB, step.count);
        return;
    }
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
