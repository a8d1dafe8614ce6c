/*
 * pitch.cpp - Pitch/Time Scaling: a streaming resampler (pitch and duration
 * together), a phase vocoder on the shared FFT engine (pitch alone), both
 * chained (duration alone), and the duration forecast kvGetPitchSize.
 *
 * The vocoder only moves bins and runs their phases on, four bins at a time;
 * windowing, rings and the delayed release are the FFT engine's. The
 * resampler carries its read position across calls, so its output is one
 * continuous stream as long as the sum of 1 / factor that kvGetPitchSize
 * predicts.
 */
#include "engine/dsp/pitch.h"
#include "engine/core/engine.h"
#include "engine/document/document.h"
#include "engine/dsp/fast_math.h"
#include "engine/dsp/fft.h"
#include "korvel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

/* Per channel: the read position relative to the next call's first input
 * sample, the input sample just before it, and the smoothing value. */
struct KvResampler {
    double position;
    float last;
    double smooth;
};

/* The run's vocoder and resamplers. Vocoder output in the drain and the
 * preview's resampled result go to the run's blockB, which neither uses
 * otherwise. */
struct KvPitchState {
    KvFftEngine *engine;
    KvResampler resampler[2];
    /* Mode 2: vocoder output handed to the resampler so far, per channel
     * (its offset in the range, since the vocoder's output stream has no
     * delay). */
    int64_t resampled[2];
};

static int32_t kvPitchMode(const KV_Params *params) {
    int32_t mode = params->pitchMode;
    return mode >= 0 && mode <= 2 ? mode : 0;
}

/* A percent value as a factor, held to the dialog's range: a factor of 0
 * would never advance the resampler, and below 0.5 one block could give
 * more than 8192 samples. */
static double kvPercentFactor(int32_t percent) {
    return std::clamp(percent, 50, 200) * 0.01;
}

double kvPitchFactor(const KV_Params *params, double t, int32_t L) {
    double f0 = kvPercentFactor(params->pitchStart);
    if (!params->pitchDynamic || L <= 0) return f0;
    double f1 = kvPercentFactor(params->pitchEnd);
    return std::clamp(f0 + (f1 - f0) * t / L, 0.5, 2.0);
}

/* ---- Resampler ---- */

/* Output k of a channel's stream reads at input position P(k), P(0) = 0 and
 * P(k + 1) = P(k) + f(P(k)): each call produces the outputs whose position
 * falls inside its n samples and carries the position past them minus n into
 * the next call. So block boundaries leave no trace, and a range of S samples
 * gives the number of P(k) below S, which is the sum of 1 / f within one
 * sample. The factor is taken at the input position being read, so a glide
 * follows the input's time line whatever the output's length. */
int32_t kvPitchResample(KvEffectRun &run, int32_t channel, const float *in, float *out, int32_t n,
                        int64_t t0, int32_t L) {
    if (!in || !out || n <= 0) return 0;
    KvResampler &state = kvRunState<KvPitchState>(run).resampler[channel & 1];
    double r = state.position, smooth = state.smooth;
    int32_t produced = 0;
    while (produced < 2 * KV_BLOCK_FRAMES) {
        int32_t b = static_cast<int32_t>(r);
        if (b >= n) break;
        double d = r - b;
        double left = b > 0 ? in[b - 1] : state.last;
        double v = kvPitchFactor(run.params, static_cast<double>(t0) + r, L);
        if (v <= 1.0) {
            smooth += v * ((1.0 - d) * left + d * in[b] - smooth);
            out[produced++] = static_cast<float>(smooth);
        } else {
            smooth += (in[b] - smooth) / v;
            out[produced++] = static_cast<float>((1.0 - d) * left + d * smooth);
        }
        r += v;
    }
    state.position = std::max(r - n, 0.0);
    state.last = in[n - 1];
    state.smooth = smooth;
    return produced;
}

/* ---- Phase vocoder ---- */

struct KvVocoderHop {
    const KV_Params *params;
    int32_t rangeLength;
    bool inverse;
};

static const float kvTwoPi = 6.28318531f;

/* Four bins at a time over bins 0 .. count - 1: each bin's magnitude
 * (times 1.5) to mag, and to turn the angle by which its synthesis phase
 * runs on this hop: factor times its analysed phase advance. The advance is
 * k * 2 pi H / N (the bin's centre) plus the phase difference from one hop
 * ago less that centre's part, wrapped into one turn; both parts are reduced
 * modulo 2 pi before they meet, so that no large angle ever reaches single
 * precision. */
static inline __attribute__((always_inline)) void kvAnalyseBins(KvFftEngine *engine, int32_t c,
                                                                const float *re, const float *im,
                                                                int32_t count, float factor,
                                                                float *mag, float *turn) {
    float *previous = engine->phase[c];
    int32_t overlap = engine->overlap;
    KvFloat4 lane{0.0f, 1.0f, 2.0f, 3.0f};
    for (int32_t k = 0; k < count; k += 4) {
        KvFloat4 x = kvLoadFloat4(re + k), y = kvLoadFloat4(im + k);
        KvFloat4 power = x * x + y * y;
        KvFloat4 magnitude;
        for (int32_t i = 0; i < 4; i++)
            magnitude[i] = 1.5f * std::sqrt(power[i]);
        KvFloat4 phase = kvAtan2x4(y, x);
        KvFloat4 bin = kvSplat4(static_cast<float>(k)) + lane;
        /* k H / N in turns is k / V; its fraction is (k mod V) / V */
        KvInt4 index = __builtin_convertvector(bin, KvInt4);
        KvFloat4 centre =
            __builtin_convertvector(index & (overlap - 1), KvFloat4) * kvSplat4(kvTwoPi / overlap);
        KvFloat4 delta = phase - kvLoadFloat4(previous + k) - centre;
        delta -= __builtin_convertvector(kvRound4(delta * kvSplat4(1.0f / kvTwoPi)), KvFloat4) *
                 kvSplat4(kvTwoPi);
        kvStoreFloat4(previous + k, phase);
        /* factor * k / V turns for the centres, plus factor times the rest */
        KvFloat4 turns = bin * kvSplat4(factor / overlap);
        turns -= __builtin_convertvector(__builtin_convertvector(turns, KvInt4), KvFloat4);
        kvStoreFloat4(mag + k, magnitude);
        kvStoreFloat4(turn + k, turns * kvSplat4(kvTwoPi) + kvSplat4(factor) * delta);
    }
}

/* The same angle within half a turn of 0. */
static float kvFoldPhase(float phase) {
    float turns = phase * (1.0f / kvTwoPi);
    return phase - kvTwoPi * static_cast<float>(static_cast<int32_t>(turns + 64.5f) - 64);
}

/* Moves the energy of each bin k to bin floor(k * factor) (k * factor
 * accumulated by repeated addition), running that bin's phase on at factor
 * times the analysed advance. Below a factor of 1 several source bins land
 * in one target bin: their magnitudes add, and the target's phase runs on
 * once per hop, at the advance of its strongest source. (Advancing it once
 * per source would add up the advances, putting the tone at the wrong
 * frequency and letting neighbouring bins cancel.) Bin 0 is not carried;
 * the source bins stop at N / 2 as well as the target bins, since below a
 * factor of 1 the targets alone would let them run past the spectrum. */
static inline __attribute__((always_inline)) void
kvVocoderHopBody(void *context, KvFftEngine *engine, int32_t c, int64_t t, float *re, float *im) {
    const auto *hop = static_cast<const KvVocoderHop *>(context);
    double factor = kvPitchFactor(hop->params, static_cast<double>(t), hop->rangeLength);
    if (hop->inverse) factor = 1.0 / factor;
    int32_t half = engine->size / 2;
    /* Bins past half / factor have no target; a few more are harmless. */
    int32_t sources = std::min(half, (static_cast<int32_t>(half / factor) + 8) & ~3);
    float *mag = engine->spareRe, *turn = engine->spareIm;
    kvAnalyseBins(engine, c, re, im, sources, static_cast<float>(factor), mag, turn);
    std::memset(re, 0, half * sizeof(float));
    float *synthesis = engine->synthPhase[c];
    double target = 0.0;
    int32_t run = -1;
    float strongest = 0.0f, runTurn = 0.0f;
    for (int32_t k = 1; k < sources; k++) {
        target += factor;
        int32_t j = static_cast<int32_t>(target);
        if (j >= half) break;
        if (j != run) {
            if (run >= 0) synthesis[run] = kvFoldPhase(synthesis[run] + runTurn);
            run = j;
            strongest = -1.0f;
        }
        re[j] += mag[k];
        if (mag[k] > strongest) strongest = mag[k], runTurn = turn[k];
    }
    if (run >= 0) synthesis[run] = kvFoldPhase(synthesis[run] + runTurn);
    /* re holds each target's magnitude; now give it its phase. */
    for (int32_t j = 0; j < half; j += 4) {
        KvFloat4 sine, cosine, magnitude = kvLoadFloat4(re + j);
        kvSinCos4(kvLoadFloat4(synthesis + j), &sine, &cosine);
        kvStoreFloat4(re + j, magnitude * cosine);
        kvStoreFloat4(im + j, magnitude * sine);
    }
}

/* The hop step built a second time for AVX2, whose blends and three-operand
 * forms suit the bin loops' selects better; the arithmetic per lane is the
 * same (no fused multiply-add), so both give the same bits. The choice is
 * made here at run time, as the FFT's paths are, rather than by the loader,
 * whose resolvers run before a sanitizer's runtime is ready. */
__attribute__((target("avx2"))) static void
kvVocoderHopWide(void *context, KvFftEngine *engine, int32_t c, int64_t t, float *re, float *im) {
    kvVocoderHopBody(context, engine, c, t, re, im);
}

static void kvVocoderHopStep(void *context, KvFftEngine *engine, int32_t c, int64_t t, float *re,
                             float *im) {
    if (kvFftWide())
        kvVocoderHopWide(context, engine, c, t, re, im);
    else
        kvVocoderHopBody(context, engine, c, t, re, im);
}

int32_t kvPhaseVocoder(KvEffectRun &run, int32_t channel, const float *in, float *out, int32_t n,
                       int64_t t0, int32_t L, bool inverse) {
    KvFftEngine *engine = kvRunState<KvPitchState>(run).engine;
    if (!engine || channel < 0 || channel > 1 || n <= 0) return 0;
    KvVocoderHop hop{run.params, L, inverse};
    return kvFftStream(engine, channel, in, out, n, t0, kvVocoderHopStep, &hop);
}

/* ---- Dispatcher row ---- */

int32_t kvPitchStart(KvEffectRun &run) {
    KvPitchState &pitch = kvRunState<KvPitchState>(run);
    kvFftEngineRestart(&pitch.engine, kvEngine.options);
    pitch.resampler[0] = pitch.resampler[1] = KvResampler{0.0, 0.0f, 0.0};
    pitch.resampled[0] = pitch.resampled[1] = 0;
    return 0;
}

void kvPitchFinish(KvEffectRun &run) {
    if (auto *pitch = static_cast<KvPitchState *>(run.state)) kvFftEngineFree(pitch->engine);
}

/* Mode 2's second stage: resamples m vocoder samples of channel c. */
static int32_t kvResampleVocoded(KvEffectRun &run, int32_t c, const float *in, float *out,
                                 int32_t m, int32_t L) {
    int64_t &resampled = kvRunState<KvPitchState>(run).resampled[c];
    int32_t produced = kvPitchResample(run, c, in, out, m, resampled, L);
    resampled += m;
    return produced;
}

void kvPitchBlock(KvEffectRun &run, const KvBlockStep &step) {
    int32_t level = kvGetDocument(step.doc)->level - 1;
    int32_t c = step.channel, n = step.count, o = step.offset, L = step.rangeLength;
    int32_t position = step.lower + o;
    float *blockA = run.blockA, *blockB = run.blockB;
    switch (kvPitchMode(run.params)) {
    case 1: {
        kvReadSamples(step.doc, c, level, blockB, position, n);
        int32_t produced = kvPhaseVocoder(run, c, blockB, blockA, n, o, L, false);
        kvQueueInsert(step.doc, c, blockA, produced);
        break;
    }
    case 2: {
        /* Slowed down, 4096 vocoded samples resample to up to 8192: past
         * blockA's end, so the result goes to the upper part of blockB. */
        kvReadSamples(step.doc, c, level, blockA, position, n);
        int32_t vocoded = kvPhaseVocoder(run, c, blockA, blockB, n, o, L, true);
        float *result = blockB + KV_BLOCK_FRAMES;
        if (vocoded > 0)
            kvQueueInsert(step.doc, c, result,
                          kvResampleVocoded(run, c, blockB, result, vocoded, L));
        break;
    }
    default: {
        kvReadSamples(step.doc, c, level, blockA, position, n);
        kvQueueInsert(step.doc, c, blockB, kvPitchResample(run, c, blockA, blockB, n, o, L));
        break;
    }
    }
}

int32_t kvPitchDrain(KvEffectRun &run, int32_t channel, float *out, int32_t rangeLength) {
    int32_t mode = kvPitchMode(run.params);
    if (mode == 1)
        return kvPhaseVocoder(run, channel, nullptr, out, KV_BLOCK_FRAMES, rangeLength, rangeLength,
                              false);
    if (mode != 2) return 0;
    /* Half a block at a time, so that even slowed down to half speed the
     * result fits the 4096 samples of out; a piece that the resampler turns
     * into nothing does not end the drain while the vocoder still has some. */
    int32_t vocoded;
    while ((vocoded = kvPhaseVocoder(run, channel, nullptr, run.blockB, KV_BLOCK_FRAMES / 2,
                                     rangeLength, rangeLength, true)) > 0) {
        int32_t produced = kvResampleVocoded(run, channel, run.blockB, out, vocoded, rangeLength);
        if (produced > 0) return produced;
    }
    return 0;
}

int32_t kvPitchPreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count,
                       int32_t rangeLength, int32_t position) {
    count = std::min(count, KV_BLOCK_FRAMES);
    int32_t produced;
    switch (kvPitchMode(run.params)) {
    case 1:
        return kvPhaseVocoder(run, channel, buffer, buffer, count, position, rangeLength, false);
    case 2: {
        int32_t vocoded =
            kvPhaseVocoder(run, channel, buffer, buffer, count, position, rangeLength, true);
        produced = kvResampleVocoded(run, channel, buffer, run.blockB, vocoded, rangeLength);
        break;
    }
    default:
        produced = kvPitchResample(run, channel, buffer, run.blockB, count, position, rangeLength);
        break;
    }
    std::memcpy(buffer, run.blockB, produced * sizeof(float));
    return produced;
}

/* ---- Duration forecast ---- */

extern "C" KV_API int32_t kvGetPitchSize(int32_t doc) {
    const KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    const KV_State *state = document->current;
    const KV_Params *params = kvEngine.params;
    int64_t selected = std::abs(static_cast<int64_t>(state->selEnd) - state->selAnchor);
    int64_t rate = std::max(state->sampleRate, 1);
    if (kvPitchMode(params) == 1) return static_cast<int32_t>(selected * 1000 / rate);
    long double f0 = kvPercentFactor(params->pitchStart);
    long double f1 = params->pitchDynamic ? kvPercentFactor(params->pitchEnd) : f0;
    /* A fixed factor sums S equal terms: their exact total, at once. */
    long double frames = selected / f0;
    if (f1 != f0) {
        frames = 0.0L;
        for (int64_t i = 0; i < selected; i++)
            frames += 1.0L / (f0 + (f1 - f0) * i / selected);
    }
    return static_cast<int32_t>(static_cast<int64_t>(frames) * 1000 / rate);
}
