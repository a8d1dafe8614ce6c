/*
 * equalizer.cpp - the 10-band graphic equalizer: ten cascades of four
 * one-pole low-passes whose differences form the bands.
 *
 * Band k passes its low-pass minus the one below it, so with every gain at
 * 1 the bands telescope back to the input (band 9's coefficient is 1.0). The
 * coefficients do not follow the sample rate; the gains are formed once by
 * the prepare hook, so the per-sample loop is 40 filter stages and nothing
 * else. State is kept in double, one set per channel, in the run.
 */
#include "engine/dsp/equalizer.h"
#include "engine/document/document.h"

#include <cstring>

static const double kBandCoefficient[10] = {0.01421,  0.028715, 0.055472, 0.115772, 0.199592,
                                            0.356858, 0.554702, 0.754692, 0.910413, 1.0};

struct KvEqualizerState {
    double stage[2][4][10]; /* s[stage][band] per channel */
    double gain[10];
};

void kvEqualizerPrepare(KvEffectRun &run) {
    KvEqualizerState &eq = kvRunState<KvEqualizerState>(run);
    for (int32_t k = 0; k < 10; k++)
        eq.gain[k] = kvDbToGain(run.params->eqBandDb[k]);
}

int32_t kvEqualizerStart(KvEffectRun &run) {
    KvEqualizerState &eq = kvRunState<KvEqualizerState>(run);
    std::memset(eq.stage, 0, sizeof eq.stage);
    return 0;
}

void kvEqualize(KvEffectRun &run, int32_t channel, float *samples, int32_t count) {
    KvEqualizerState &eq = kvRunState<KvEqualizerState>(run);
    double(*s)[10] = eq.stage[channel];
    /* a local copy, which the stores to the stages cannot alias */
    double gain[10];
    std::memcpy(gain, eq.gain, sizeof gain);
    for (int32_t i = 0; i < count; i++) {
        double x = samples[i], acc = 0.0, below = 0.0;
#pragma GCC unroll 10
        for (int32_t k = 0; k < 10; k++) {
            double a = kBandCoefficient[k];
            s[0][k] += (x - s[0][k]) * a;
            s[1][k] += (s[0][k] - s[1][k]) * a;
            s[2][k] += (s[1][k] - s[2][k]) * a;
            s[3][k] += (s[2][k] - s[3][k]) * a;
            acc += gain[k] * s[3][k];
            if (k > 0) acc -= gain[k] * below;
            below = s[3][k];
        }
        samples[i] = static_cast<float>(acc);
    }
}

void kvEqualizerBlock(KvEffectRun &run, const KvBlockStep &step) {
    KV_Document *document = kvGetDocument(step.doc);
    kvReadSamples(step.doc, step.channel, document->level - 1, run.blockA, step.lower + step.offset,
                  step.count);
    kvEqualize(run, step.channel, run.blockA, step.count);
    kvQueueInsert(step.doc, step.channel, run.blockA, step.count);
}

int32_t kvEqualizerPreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count, int32_t,
                           int32_t) {
    if (channel >= 0 && channel < 2) kvEqualize(run, channel, buffer, count);
    return count;
}
