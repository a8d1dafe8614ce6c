/*
 * noise_reduction.cpp - the noise profile and the Noise Reduction edit.
 *
 * The profile is the mean power of every FFT bin over a stretch of noise,
 * taken with the FFT settings of the options, and kept per document until
 * the document closes (kvClose tells this file through its hook); a profile
 * whose FFT size no longer matches the options is refused. Reduction gates each bin of each hop: a
 * bin whose power, averaged over its neighbours, stays within `sensitivity`
 * dB of the profile is lowered by up to `reduction` dB. Two things keep the
 * gate free of the warbling "musical noise" of per-bin decisions: the
 * decision is made on power averaged across neighbouring bins (a lone noise
 * bin cannot open the gate), and the resulting gain moves only at the
 * attack and release rates, then is averaged across the same neighbours.
 */
#include "engine/dsp/noise_reduction.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/changes.h"
#include "engine/document/document.h"
#include "engine/dsp/fft.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

/* The shortest time over which a bin's power is averaged before the gate
 * decides: shorter, and chance peaks of the noise open it. */
constexpr int32_t kMinimumSettleMs = 10;

struct KvNoiseProfile {
    int32_t size;             /* FFT size it was taken with */
    std::vector<float> power; /* mean power of bins 0 .. size / 2 - 1 */
};

/* Taken on the interface thread, copied by runs that may start on a feeder
 * thread. */
std::mutex kvProfileLock;
KvNoiseProfile kvProfiles[KV_MAX_DOCUMENTS];

bool kvProfileValid(int32_t doc) {
    return kvGetDocument(doc) && !kvProfiles[doc].power.empty();
}

void kvForgetNoiseProfile(int32_t doc) {
    std::lock_guard<std::mutex> hold(kvProfileLock);
    kvProfiles[doc] = KvNoiseProfile{};
}

/* Sums power per bin over the hops whose frame lies wholly in the range. */
struct KvProfileSum {
    std::vector<double> sum;
    int64_t frames = 0;
};

void kvProfileHop(void *context, KvFftEngine *engine, int32_t, int64_t t, float *re, float *im) {
    auto *profile = static_cast<KvProfileSum *>(context);
    if (t < engine->size - engine->hop) return;
    for (int32_t k = 0; k < engine->size / 2; k++)
        profile->sum[k] += static_cast<double>(re[k]) * re[k] + static_cast<double>(im[k]) * im[k];
    profile->frames++;
}

struct KvNoiseState {
    KvFftEngine *engine;
    float *profile;       /* size / 2 */
    float *inverse;       /* 1 / the profile averaged like the power, held finite */
    int32_t inverseWidth; /* the averaging width `inverse` was made for */
    bool settled[2];      /* a hop has run: the gains have a value to move from */
    float *gain[2];       /* the gate's gain per bin, moving at attack and release */
    float *power[2];      /* each bin's power, averaged across bins and over hops */
    float *smooth;        /* size / 2 + 1 scratch */
    double *prefix;       /* size / 2 + 1 scratch */
    int32_t half;         /* bins in the arrays above */
    int32_t rate;
};

/* The hop step's view of the run for one call. */
struct KvNoiseHop {
    KvNoiseState *state;
    const KV_RepairParams *repair;
    bool residue;
};

/* Averages values[0 .. n - 1] over `width` neighbours each side into out
 * (which may be values): a running sum, in double because powers of very
 * different sizes are added and taken away again. */
void kvAverageAcross(const float *values, float *out, double *prefix, int32_t n, int32_t width) {
    prefix[0] = 0;
    for (int32_t k = 0; k < n; k++)
        prefix[k + 1] = prefix[k] + values[k];
    width = std::min(width, (n - 1) / 2);
    double inner = 1.0 / (2 * width + 1);
    for (int32_t k = 0; k < width; k++)
        out[k] = static_cast<float>(prefix[k + width + 1] / (k + width + 1));
    for (int32_t k = width; k < n - width; k++)
        out[k] = static_cast<float>((prefix[k + width + 1] - prefix[k - width]) * inner);
    for (int32_t k = std::max(n - width, width); k < n; k++)
        out[k] = static_cast<float>((prefix[n] - prefix[k - width]) / (n - k + width));
}

/* The profile is averaged across bins like the power it is compared with,
 * or a strong bin (the lowest ones, in pink noise or hum) would lift its
 * neighbours' power over their own threshold. */
void kvAverageProfile(KvNoiseState &state, int32_t width) {
    if (state.inverseWidth == width) return;
    kvAverageAcross(state.profile, state.inverse, state.prefix, state.half, width);
    for (int32_t k = 0; k < state.half; k++)
        state.inverse[k] = 1.0f / std::max(state.inverse[k], 1e-30f);
    state.inverseWidth = width;
}

/* Share of the way to a new value one hop moves for a time constant. */
float kvHopCoefficient(int32_t ms, double hopSeconds) {
    if (ms <= 0) return 1.0f;
    return static_cast<float>(1.0 - std::exp(-hopSeconds * 1000.0 / ms));
}

void kvNoiseHop(void *context, KvFftEngine *engine, int32_t channel, int64_t, float *re,
                float *im) {
    const auto *hop = static_cast<const KvNoiseHop *>(context);
    KvNoiseState &state = *hop->state;
    const KV_RepairParams &repair = *hop->repair;
    int32_t half = engine->size / 2, width = repair.noiseSmoothing;
    float *gain = state.gain[channel], *power = state.power[channel], *smooth = state.smooth;
    for (int32_t k = 0; k < half; k++)
        smooth[k] = re[k] * re[k] + im[k] * im[k];
    kvAverageAcross(smooth, smooth, state.prefix, half, width);
    kvAverageProfile(state, width);
    float floor = static_cast<float>(std::pow(10.0, -repair.noiseReductionDb / 20.0));
    float threshold = static_cast<float>(std::pow(10.0, repair.noiseSensitivity / 10.0));
    double hopSeconds = static_cast<double>(engine->hop) / state.rate;
    float attack = kvHopCoefficient(repair.noiseAttackMs, hopSeconds);
    float release = kvHopCoefficient(repair.noiseReleaseMs, hopSeconds);
    float settle = kvHopCoefficient(std::max(repair.noiseAttackMs, kMinimumSettleMs), hopSeconds);
    float scale = 1.0f / threshold;
    for (int32_t k = 0; k < half; k++) {
        power[k] += (smooth[k] - power[k]) * settle;
        float level = power[k] * state.inverse[k] * scale;
        /* Below the threshold the gain falls with the eighth power of the
         * level (8 dB per dB): noise a few dB under it reaches the floor,
         * yet the gate does not snap. */
        float squared = level * level, fourth = squared * squared;
        float wanted = level >= 1.0f ? 1.0f : std::max(floor, fourth * fourth);
        gain[k] += (wanted - gain[k]) * (wanted > gain[k] ? attack : release);
        /* The first hop starts at its own decision, not from an open gate
         * that would let the start of the range through at full level. */
        if (!state.settled[channel]) gain[k] = wanted;
    }
    state.settled[channel] = true;
    kvAverageAcross(gain, smooth, state.prefix, half, width);
    for (int32_t k = 0; k < half; k++) {
        float applied = hop->residue ? 1.0f - smooth[k] : smooth[k];
        re[k] *= applied;
        im[k] *= applied;
    }
}

int32_t kvNoiseRun(KvEffectRun &run, int32_t channel, const float *in, float *out, int32_t n,
                   int32_t position) {
    KvNoiseState &state = kvRunState<KvNoiseState>(run);
    if (!state.engine || channel < 0 || channel > 1 || n <= 0) return 0;
    /* Options changed the FFT size under a running preview: the profile no
     * longer fits, so the sound passes as it is until the preview restarts. */
    if (state.half != state.engine->size / 2) {
        if (in && out != in) std::memmove(out, in, n * sizeof(float));
        return in ? n : 0;
    }
    KvNoiseHop hop{&state, run.repair, kvIsPreviewRun(run) && run.repair->noiseResidue != 0};
    return kvFftStream(state.engine, channel, in, out, n, position, kvNoiseHop, &hop);
}

} // namespace

extern "C" KV_API int32_t kvTakeNoiseProfile(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    kvClaimDocuments();
    const KV_State *state = document->current;
    int32_t lower = std::min(state->selAnchor, state->selEnd);
    int32_t length = std::max(state->selAnchor, state->selEnd) - lower;
    KvFftEngine *engine = nullptr;
    kvFftEngineRestart(&engine, kvEngine.options);
    if (length < engine->size) {
        int32_t size = engine->size;
        kvFftEngineFree(engine);
        return kvError(0,
                       "Select at least %d samples of noise alone (no wanted sound) before "
                       "taking the noise profile; the FFT size in Options is %d.",
                       size, size);
    }
    KvProfileSum sum;
    sum.sum.assign(engine->size / 2, 0.0);
    std::vector<float> block(KV_BLOCK_FRAMES);
    for (int32_t c = 0; c < state->channels; c++) {
        if (state->editChannel != -1 && state->editChannel != c) continue;
        for (int32_t at = 0; at < length; at += KV_BLOCK_FRAMES) {
            int32_t count = std::min(KV_BLOCK_FRAMES, length - at);
            kvReadSamples(doc, c, -1, block.data(), lower + at, count);
            kvFftStream(engine, c, block.data(), block.data(), count, at, kvProfileHop, &sum);
        }
    }
    kvDocumentClosing = kvForgetNoiseProfile;
    std::lock_guard<std::mutex> hold(kvProfileLock);
    KvNoiseProfile &profile = kvProfiles[doc];
    profile.size = engine->size;
    profile.power.assign(engine->size / 2, 0.0f);
    for (size_t k = 0; k < profile.power.size(); k++)
        profile.power[k] = static_cast<float>(sum.sum[k] / std::max<int64_t>(sum.frames, 1));
    kvFftEngineFree(engine);
    return 0;
}

extern "C" KV_API int32_t kvHasNoiseProfile(int32_t doc) {
    if (!kvGetDocument(doc)) return -1;
    std::lock_guard<std::mutex> hold(kvProfileLock);
    return kvProfileValid(doc) ? 1 : 0;
}

/* Copies the document's profile into the run (made the first time). */
static int32_t kvNoiseTakeProfile(KvEffectRun &run, KvNoiseState &state) {
    std::lock_guard<std::mutex> hold(kvProfileLock);
    const KvNoiseProfile &profile = kvProfiles[run.doc];
    bool preview = kvIsPreviewRun(run);
    if (!kvProfileValid(run.doc)) {
        if (preview) return -1;
        return kvError(0, "There is no noise profile for this sound. Select a stretch of noise "
                          "alone and choose Get Noise Profile first.");
    }
    if (profile.size != state.engine->size) {
        if (preview) return -1;
        return kvError(0,
                       "The noise profile was taken with an FFT size of %d, and Options now "
                       "asks for %d. Take the noise profile again.",
                       profile.size, state.engine->size);
    }
    int32_t half = state.engine->size / 2;
    if (!state.profile) {
        state.profile = static_cast<float *>(kvAlloc(half * sizeof(float)));
        state.inverse = static_cast<float *>(kvAlloc(half * sizeof(float)));
        for (int32_t c = 0; c < 2; c++) {
            state.gain[c] = static_cast<float *>(kvAlloc(half * sizeof(float)));
            state.power[c] = static_cast<float *>(kvAlloc(half * sizeof(float)));
        }
        state.smooth = static_cast<float *>(kvAlloc((half + 1) * sizeof(float)));
        state.prefix = static_cast<double *>(kvAlloc((half + 1) * sizeof(double)));
    }
    std::memcpy(state.profile, profile.power.data(), half * sizeof(float));
    state.inverseWidth = -1;
    state.half = half;
    return 0;
}

int32_t kvNoiseStart(KvEffectRun &run) {
    KvNoiseState &state = kvRunState<KvNoiseState>(run);
    kvFftEngineRestart(&state.engine, kvEngine.options);
    if (!state.profile && kvNoiseTakeProfile(run, state) != 0) return -1;
    state.rate = std::max(kvGetDocument(run.doc)->current->sampleRate, 1);
    for (int32_t c = 0; c < 2; c++) {
        state.settled[c] = false;
        std::fill(state.gain[c], state.gain[c] + state.half, 1.0f);
        std::copy(state.profile, state.profile + state.half, state.power[c]);
    }
    return 0;
}

void kvNoiseFinish(KvEffectRun &run) {
    auto *state = static_cast<KvNoiseState *>(run.state);
    if (!state) return;
    kvFftEngineFree(state->engine);
    state->engine = nullptr;
    kvFree(state->profile);
    kvFree(state->inverse);
    for (int32_t c = 0; c < 2; c++) {
        kvFree(state->gain[c]);
        kvFree(state->power[c]);
    }
    kvFree(state->smooth);
    kvFree(state->prefix);
}

void kvNoiseBlock(KvEffectRun &run, const KvBlockStep &step) {
    KV_Document *document = kvGetDocument(step.doc);
    kvReadSamples(step.doc, step.channel, document->level - 1, run.blockA, step.lower + step.offset,
                  step.count);
    int32_t produced =
        kvNoiseRun(run, step.channel, run.blockA, run.blockA, step.count, step.offset);
    if (produced > 0) kvQueueInsert(step.doc, step.channel, run.blockA, produced);
}

int32_t kvNoiseDrain(KvEffectRun &run, int32_t channel, float *out, int32_t rangeLength) {
    return kvNoiseRun(run, channel, nullptr, out, KV_BLOCK_FRAMES, rangeLength);
}

int32_t kvNoisePreview(KvEffectRun &run, int32_t channel, float *buffer, int32_t count, int32_t,
                       int32_t position) {
    return kvNoiseRun(run, channel, buffer, buffer, count, position);
}
