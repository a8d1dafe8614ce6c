/*
 * reverb.cpp - a 16-tap stereo reverberator over one 2^17-sample ring whose
 * timing follows a room size and whose colour follows a wall material.
 *
 * The ring is a power of two so that every read position wraps with a mask,
 * in both directions: a tap's stereo offset can exceed its delay at low
 * rates and point ahead of the write position, which a wrap on the negative
 * side only would send past the end. Tap delays, gains and filter
 * coefficients are formed once per call; the ring belongs to the run,
 * allocated at its start and freed at its finish, so nothing is allocated
 * per sample.
 *
 * Sample by sample, the 32 tap chains (16 taps, two sides) and the feedback
 * chains form one long dependent sequence that the processor cannot overlap.
 * Since every tap reaches back hundreds of samples at the usual rates, a
 * block that short reads nothing it writes: its tap chains run over the
 * whole block lane-parallel, then its outputs, then the feedback chains as a
 * skewed wavefront. Every value is formed by the same operations in the same
 * order as one sample at a time, which stays as the path for taps that
 * reach back only a few samples.
 */
#include "engine/dsp/reverb.h"
#include "engine/core/services.h"
#include "engine/document/document.h"
#include "engine/dsp/echo.h"
#include "engine/dsp/fast_math.h"
#include "engine/dsp/fft.h"

#include <algorithm>
#include <cstring>

enum : int32_t {
    KV_REVERB_RING = 131072,
    KV_REVERB_MASK = KV_REVERB_RING - 1,
    KV_TAPS = 16,
    KV_LANES = 2 * KV_TAPS, /* left taps, then right taps */
    /* The longest block; the ring's copy of its first KV_REVERB_BLOCK
     * samples after its end lets a tap read a whole block without wrapping. */
    KV_REVERB_BLOCK = 256,
    KV_REVERB_SHORTEST_BLOCK = 8,
    /* and three more that a block's last group of four may read past it */
    KV_REVERB_ALLOCATED = KV_REVERB_RING + KV_REVERB_BLOCK + 3,
};

struct KvWall {
    float feedback, inputGain, uCoefficient, vCoefficient;
};

static const KvWall kWalls[4] = {
    {0.25f, 1.5f, 0.38f, 0.4f},
    {0.25f, 1.0f, 0.25f, 0.35f},
    {0.25f, 0.7f, 0.1f, 0.6f},
    {0.0625f, 0.3f, 0.2f, 0.5f},
};
static const int32_t kRoomConstant[6] = {2530, 6701, 9931, 19865, 42183, 82022};
static const int32_t kTapPercent[KV_TAPS] = {19, 21, 33, 45, 58, 65, 72, 77,
                                             82, 86, 89, 93, 95, 97, 98, 99};
static const int32_t kTapOffset[KV_TAPS] = {-8, 9,  6,  -4, -2, -3, 4,  6,
                                            1,  -5, -7, 8,  -2, -3, -2, 1};

struct KvReverbState {
    float *ring;
    int32_t writePosition;
    /* The taps' one-pole chains, stage by stage, one lane per tap and side,
     * so that the 32 chains run four lanes at a time; the two feedback
     * chains. */
    alignas(16) float tapStage[4][KV_LANES];
    float uChain[4], vChain[4];
};

int32_t kvReverbBase(int32_t room, int32_t rate) {
    if (room < 0 || room > 5 || rate <= 0) return 0;
    /* The quotient 96000 / rate is 0 above 96000 Hz; it is held at 1 there,
     * as from 48001 Hz up, which keeps every tap inside the ring. */
    int32_t quotient = std::max(96000 / rate, 1);
    return kRoomConstant[room] / quotient;
}

int32_t kvReverbStart(KvEffectRun &run) {
    /* The taps mix both channels; the program converts a mono sound first. */
    if (kvGetDocument(run.doc)->current->channels < 2) return -1;
    KvReverbState &reverb = kvRunState<KvReverbState>(run);
    if (!reverb.ring)
        reverb.ring = static_cast<float *>(kvAlloc(KV_REVERB_ALLOCATED * sizeof(float)));
    std::memset(reverb.ring, 0, KV_REVERB_ALLOCATED * sizeof(float));
    reverb.writePosition = 0;
    std::memset(reverb.tapStage, 0, sizeof reverb.tapStage);
    std::memset(reverb.uChain, 0, sizeof reverb.uChain);
    std::memset(reverb.vChain, 0, sizeof reverb.vChain);
    return 0;
}

void kvReverbFinish(KvEffectRun &run) {
    if (auto *reverb = static_cast<KvReverbState *>(run.state)) kvFree(reverb->ring);
}

/* Four one-pole stages with coefficient k, each fed by the new value of the
 * one before; returns the last. */
static inline float kvChain4(float *stages, float x, float k) {
    stages[0] += (x - stages[0]) * k;
    stages[1] += (stages[0] - stages[1]) * k;
    stages[2] += (stages[1] - stages[2]) * k;
    stages[3] += (stages[2] - stages[3]) * k;
    return stages[3];
}

/* A ring write, kept in the copy past the end too. */
static inline void kvRingStore(float *ring, int32_t pos, float value) {
    ring[pos] = value;
    if (pos < KV_REVERB_BLOCK) ring[KV_REVERB_RING + pos] = value;
}

struct KvTaps {
    int32_t back[KV_LANES];                  /* distance behind pos */
    alignas(16) float coefficient[KV_LANES]; /* cL, then cR */
};

static void kvBuildTaps(KvTaps *taps, int32_t base) {
    for (int32_t k = 0; k < KV_TAPS; k++) {
        int32_t d = kTapPercent[k] * base / 100, b = kTapOffset[k];
        taps->back[k] = d + 5 * b;
        taps->back[KV_TAPS + k] = d - 5 * b;
        float g = (100 - kTapPercent[k]) * 0.01f;
        float f = (b + 15) * 0.0333333f;
        taps->coefficient[k] = g * (1.0f - f);
        taps->coefficient[KV_TAPS + k] = g * f;
    }
}

/* Runs every tap's chain on its ring sample and returns the left and right
 * sums of coefficient x chain output. */
static void kvRunTaps(KvReverbState &reverb, const KvTaps &taps, int32_t pos, float *wetL,
                      float *wetR) {
    alignas(16) float input[KV_LANES];
    for (int32_t lane = 0; lane < KV_LANES; lane++)
        input[lane] = reverb.ring[(pos - taps.back[lane]) & KV_REVERB_MASK];
    KvFloat4 sums[2] = {};
    for (int32_t lane = 0; lane < KV_LANES; lane += 4) {
        KvFloat4 k = kvLoadFloat4(taps.coefficient + lane), x = kvLoadFloat4(input + lane);
        for (int32_t stage = 0; stage < 4; stage++) {
            KvFloat4 y = kvLoadFloat4(reverb.tapStage[stage] + lane);
            y += (x - y) * k;
            kvStoreFloat4(reverb.tapStage[stage] + lane, y);
            x = y;
        }
        sums[lane / KV_TAPS] += k * x;
    }
    *wetL = sums[0][0] + sums[0][1] + sums[0][2] + sums[0][3];
    *wetR = sums[1][0] + sums[1][1] + sums[1][2] + sums[1][3];
}

struct KvReverbLevels {
    float inLeft, inRight, outLeft, outRight, dryLeft, dryRight;
};

static void kvReverbSample(KvReverbState &reverb, const KvTaps &taps, const KvWall &wall,
                           const KvReverbLevels &levels, float &left, float &right, bool live) {
    int32_t pos = reverb.writePosition = (reverb.writePosition + 1) & KV_REVERB_MASK;
    float in = live ? levels.inLeft * left + levels.inRight * right : 0.0f;
    float wetL, wetR;
    kvRunTaps(reverb, taps, pos, &wetL, &wetR);
    wetL = std::clamp(wetL, -4.0f, 4.0f);
    wetR = std::clamp(wetR, -4.0f, 4.0f);
    float dryL = live ? levels.dryLeft : 1.0f, dryR = live ? levels.dryRight : 1.0f;
    left = dryL * left + levels.outLeft * wetL;
    right = dryR * right + levels.outRight * wetR;
    float u = kvChain4(reverb.uChain, in + wall.feedback * (wetL + wetR), wall.uCoefficient);
    kvRingStore(reverb.ring, pos, kvChain4(reverb.vChain, in - u, wall.vCoefficient));
}

/* Samples i .. i + 3 of four taps' inputs, turned so that vector j holds
 * sample i + j of each tap. */
static inline void kvTapInputs4(const float *const *in, int32_t i, KvFloat4 *x) {
    KvFloat4 r0 = kvLoadFloat4(in[0] + i), r1 = kvLoadFloat4(in[1] + i);
    KvFloat4 r2 = kvLoadFloat4(in[2] + i), r3 = kvLoadFloat4(in[3] + i);
    KvFloat4 t0 = __builtin_shufflevector(r0, r1, 0, 4, 1, 5);
    KvFloat4 t1 = __builtin_shufflevector(r2, r3, 0, 4, 1, 5);
    KvFloat4 t2 = __builtin_shufflevector(r0, r1, 2, 6, 3, 7);
    KvFloat4 t3 = __builtin_shufflevector(r2, r3, 2, 6, 3, 7);
    x[0] = __builtin_shufflevector(t0, t1, 0, 1, 4, 5);
    x[1] = __builtin_shufflevector(t0, t1, 2, 3, 6, 7);
    x[2] = __builtin_shufflevector(t2, t3, 0, 1, 4, 5);
    x[3] = __builtin_shufflevector(t2, t3, 2, 3, 6, 7);
}

/* Two groups of four tap chains: one sample's four stages each. */
struct KvTapPair {
    KvFloat4 a[4], b[4], k0, k1;

    inline KvFloat4 step(KvFloat4 x0, KvFloat4 x1, KvFloat4 sum) {
        for (int32_t stage = 0; stage < 4; stage++) {
            a[stage] += (x0 - a[stage]) * k0;
            x0 = a[stage];
            b[stage] += (x1 - b[stage]) * k1;
            x1 = b[stage];
        }
        return sum + k0 * x0 + k1 * x1;
    }
};

/* Two groups of four tap chains over a block, sample after sample with
 * their stages in registers; adds their coefficient x output to the
 * block's per-sample sums in the order kvRunTaps adds them. `first` is the
 * ring position the block's first sample writes. */
static void kvRunTapPair(KvReverbState &reverb, const KvTaps &taps, int32_t lane, int32_t first,
                         int32_t count, KvFloat4 *sums) {
    const float *in[8];
    for (int32_t n = 0; n < 8; n++)
        in[n] = reverb.ring + ((first - taps.back[lane + n]) & KV_REVERB_MASK);
    KvTapPair pair;
    pair.k0 = kvLoadFloat4(taps.coefficient + lane);
    pair.k1 = kvLoadFloat4(taps.coefficient + lane + 4);
    for (int32_t stage = 0; stage < 4; stage++) {
        pair.a[stage] = kvLoadFloat4(reverb.tapStage[stage] + lane);
        pair.b[stage] = kvLoadFloat4(reverb.tapStage[stage] + lane + 4);
    }
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        KvFloat4 x0[4], x1[4];
        kvTapInputs4(in, i, x0);
        kvTapInputs4(in + 4, i, x1);
        for (int32_t j = 0; j < 4; j++)
            sums[i + j] = pair.step(x0[j], x1[j], sums[i + j]);
    }
    for (; i < count; i++) {
        KvFloat4 x0 = {in[0][i], in[1][i], in[2][i], in[3][i]};
        KvFloat4 x1 = {in[4][i], in[5][i], in[6][i], in[7][i]};
        sums[i] = pair.step(x0, x1, sums[i]);
    }
    for (int32_t stage = 0; stage < 4; stage++) {
        kvStoreFloat4(reverb.tapStage[stage] + lane, pair.a[stage]);
        kvStoreFloat4(reverb.tapStage[stage] + lane + 4, pair.b[stage]);
    }
}

typedef float KvFloat8 __attribute__((vector_size(32)));

/* One side's sixteen tap chains as two eight-lane groups, for processors
 * with AVX2: each lane does exactly the arithmetic of the four-lane pairs
 * (no fused multiply-add is enabled), and the four-lane partial sums are
 * added in the same order, so both paths give the same bits. Written out
 * in one body so that nothing is left to a helper built without AVX. */
__attribute__((target("avx2"))) static void kvRunTapSideWide(KvReverbState &reverb,
                                                             const KvTaps &taps, int32_t lane,
                                                             int32_t first, int32_t count,
                                                             KvFloat4 *sums) {
    const float *in[KV_TAPS];
    for (int32_t n = 0; n < KV_TAPS; n++)
        in[n] = reverb.ring + ((first - taps.back[lane + n]) & KV_REVERB_MASK);
    KvFloat8 k[2], stage[2][4];
    for (int32_t g = 0; g < 2; g++) {
        std::memcpy(&k[g], taps.coefficient + lane + 8 * g, sizeof k[g]);
        for (int32_t s = 0; s < 4; s++)
            std::memcpy(&stage[g][s], reverb.tapStage[s] + lane + 8 * g, sizeof stage[g][s]);
    }
    const KvFloat4 zero = {};
    for (int32_t i = 0; i < count; i += 4) {
        KvFloat8 x[4][2];
        for (int32_t g = 0; g < 2; g++) {
            const float *const *src = in + 8 * g;
            KvFloat8 r[4];
            for (int32_t l = 0; l < 4; l++) {
                KvFloat4 low = kvLoadFloat4(src[l] + i), high = kvLoadFloat4(src[l + 4] + i);
                r[l] = __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7);
            }
            KvFloat8 t0 = __builtin_shufflevector(r[0], r[1], 0, 8, 1, 9, 4, 12, 5, 13);
            KvFloat8 t1 = __builtin_shufflevector(r[2], r[3], 0, 8, 1, 9, 4, 12, 5, 13);
            KvFloat8 t2 = __builtin_shufflevector(r[0], r[1], 2, 10, 3, 11, 6, 14, 7, 15);
            KvFloat8 t3 = __builtin_shufflevector(r[2], r[3], 2, 10, 3, 11, 6, 14, 7, 15);
            x[0][g] = __builtin_shufflevector(t0, t1, 0, 1, 8, 9, 4, 5, 12, 13);
            x[1][g] = __builtin_shufflevector(t0, t1, 2, 3, 10, 11, 6, 7, 14, 15);
            x[2][g] = __builtin_shufflevector(t2, t3, 0, 1, 8, 9, 4, 5, 12, 13);
            x[3][g] = __builtin_shufflevector(t2, t3, 2, 3, 10, 11, 6, 7, 14, 15);
        }
        for (int32_t j = 0; j < 4 && i + j < count; j++) {
            KvFloat8 a = x[j][0], b = x[j][1];
            for (int32_t s = 0; s < 4; s++) {
                stage[0][s] += (a - stage[0][s]) * k[0];
                a = stage[0][s];
                stage[1][s] += (b - stage[1][s]) * k[1];
                b = stage[1][s];
            }
            a *= k[0], b *= k[1];
            KvFloat4 sum = zero + __builtin_shufflevector(a, a, 0, 1, 2, 3);
            sum += __builtin_shufflevector(a, a, 4, 5, 6, 7);
            sum += __builtin_shufflevector(b, b, 0, 1, 2, 3);
            sums[i + j] = sum + __builtin_shufflevector(b, b, 4, 5, 6, 7);
        }
    }
    for (int32_t g = 0; g < 2; g++)
        for (int32_t s = 0; s < 4; s++)
            std::memcpy(reverb.tapStage[s] + lane + 8 * g, &stage[g][s], sizeof stage[g][s]);
}

/* The feedback path's eight stages (the four of the u chain, then the four
 * of the v chain) as a wavefront across samples: at step t stage j works on
 * sample t - j, taking what stage j - 1 held after the step before (the v
 * chain's first stage takes the sample's input less the u chain's output),
 * so the eight updates of a step are independent. Each stage does exactly
 * kvChain4's arithmetic; a sample's ring value is complete seven steps
 * after it entered, which the blocks allow for. */
enum : int32_t { KV_FEEDBACK_SKEW = 7 };

struct KvFeedbackWave {
    KvFloat4 u, v, ku, kv;
    /* what the blocks hand to the next: the input of the last four samples */
    float heldInput[KV_REVERB_BLOCK + 4];
    float chainInput[KV_REVERB_BLOCK];
    int32_t first; /* ring position of the run's first sample */
    int32_t count;
};

/* Step t of the wavefront where it fills or drains: only the stages
 * working on a sample of the run move. Writes the ring value of sample
 * t - 7 if there is one. */
static void kvFeedbackEdgeStep(KvFeedbackWave &w, float *ring, float uInput, float vInput,
                               int32_t t) {
    KvFloat4 inU = __builtin_shufflevector(KvFloat4{uInput, 0.0f, 0.0f, 0.0f}, w.u, 0, 4, 5, 6);
    KvFloat4 inV =
        __builtin_shufflevector(KvFloat4{vInput - w.u[3], 0.0f, 0.0f, 0.0f}, w.v, 0, 4, 5, 6);
    KvFloat4 u = w.u + (inU - w.u) * w.ku;
    KvFloat4 v = w.v + (inV - w.v) * w.kv;
    const KvInt4 stage = {0, 1, 2, 3};
    w.u = ((stage <= t) & (stage > t - w.count)) ? u : w.u;
    w.v = ((stage + 4 <= t) & (stage + 4 > t - w.count)) ? v : w.v;
    int32_t done = t - KV_FEEDBACK_SKEW;
    if (done >= 0 && done < w.count) kvRingStore(ring, (w.first + done) & KV_REVERB_MASK, w.v[3]);
}

/* The full steps of block samples [from, to) of the run's block starting
 * at `start`, with the stages in locals so that they stay in registers
 * across the ring writes. */
static void kvFeedbackRun(KvFeedbackWave &w, float *ring, int32_t start, int32_t from, int32_t to) {
    KvFloat4 u = w.u, v = w.v;
    const KvFloat4 ku = w.ku, kv = w.kv;
    for (int32_t i = from; i < to; i++) {
        KvFloat4 inU =
            __builtin_shufflevector(KvFloat4{w.chainInput[i], 0.0f, 0.0f, 0.0f}, u, 0, 4, 5, 6);
        KvFloat4 inV = __builtin_shufflevector(KvFloat4{w.heldInput[i] - u[3], 0.0f, 0.0f, 0.0f}, v,
                                               0, 4, 5, 6);
        u = u + (inU - u) * ku;
        v = v + (inV - v) * kv;
        kvRingStore(ring, (w.first + start + i - KV_FEEDBACK_SKEW) & KV_REVERB_MASK, v[3]);
    }
    w.u = u, w.v = v;
}

/* A block's outputs and the feedback path's input of each sample. */
template <bool live>
static void kvReverbOutputs(KvFeedbackWave &w, const KvWall &wall, const KvReverbLevels &levels,
                            const KvFloat4 *sumsL, const KvFloat4 *sumsR, float *left, float *right,
                            int32_t from, int32_t to) {
    for (int32_t i = from; i < to; i++) {
        float in = live ? levels.inLeft * left[i] + levels.inRight * right[i] : 0.0f;
        float wetL = sumsL[i][0] + sumsL[i][1] + sumsL[i][2] + sumsL[i][3];
        float wetR = sumsR[i][0] + sumsR[i][1] + sumsR[i][2] + sumsR[i][3];
        wetL = std::clamp(wetL, -4.0f, 4.0f);
        wetR = std::clamp(wetR, -4.0f, 4.0f);
        float dryL = live ? levels.dryLeft : 1.0f, dryR = live ? levels.dryRight : 1.0f;
        left[i] = dryL * left[i] + levels.outLeft * wetL;
        right[i] = dryR * right[i] + levels.outRight * wetR;
        w.heldInput[4 + i] = in;
        w.chainInput[i] = in + wall.feedback * (wetL + wetR);
    }
}

/* One block, samples [start, start + count) of the run, no tap of which
 * reads a sample whose ring value is still open: every tap chain runs over
 * the whole block first, then the outputs, then the feedback path. */
static void kvReverbRunBlock(KvReverbState &reverb, KvFeedbackWave &w, const KvTaps &taps,
                             const KvWall &wall, const KvReverbLevels &levels, float *left,
                             float *right, int32_t start, int32_t count, int32_t tail) {
    KvFloat4 sums[2][KV_REVERB_BLOCK];
    int32_t first = (w.first + start) & KV_REVERB_MASK;
    if (kvFftWide()) {
        for (int32_t lane = 0; lane < KV_LANES; lane += KV_TAPS)
            kvRunTapSideWide(reverb, taps, lane, first, count, sums[lane / KV_TAPS]);
    } else {
        /* the pairs add to the sums, which start at zero as kvRunTaps's do */
        for (KvFloat4 *side : sums)
            std::fill(side, side + count, KvFloat4{});
        for (int32_t lane = 0; lane < KV_LANES; lane += 8)
            kvRunTapPair(reverb, taps, lane, first, count, sums[lane / KV_TAPS]);
    }
    int32_t split = std::clamp(tail - start, 0, count);
    kvReverbOutputs<true>(w, wall, levels, sums[0], sums[1], left, right, 0, split);
    kvReverbOutputs<false>(w, wall, levels, sums[0], sums[1], left, right, split, count);
    int32_t i = 0;
    for (; i < count && start + i < KV_FEEDBACK_SKEW; i++)
        kvFeedbackEdgeStep(w, reverb.ring, w.chainInput[i], w.heldInput[i], start + i);
    kvFeedbackRun(w, reverb.ring, start, i, count);
    std::memmove(w.heldInput, w.heldInput + count, 4 * sizeof(float));
}

/* The longest block for these taps: shorter than the shortest distance a
 * tap reaches back by the feedback path's skew (a tap at or ahead of the
 * write position reads what the run does not write). */
static int32_t kvReverbBlockLength(const KvTaps &taps) {
    int32_t block = KV_REVERB_BLOCK;
    for (int32_t lane = 0; lane < KV_LANES; lane++)
        if (taps.back[lane] > 0) block = std::min(block, taps.back[lane] - KV_FEEDBACK_SKEW);
    return block;
}

static void kvReverbBlocks(KvReverbState &reverb, const KvTaps &taps, const KvWall &wall,
                           const KvReverbLevels &levels, float *left, float *right, int32_t count,
                           int32_t tail, int32_t block) {
    KvFeedbackWave w;
    w.u = kvLoadFloat4(reverb.uChain), w.v = kvLoadFloat4(reverb.vChain);
    w.ku = kvSplat4(wall.uCoefficient), w.kv = kvSplat4(wall.vCoefficient);
    std::memset(w.heldInput, 0, 4 * sizeof(float));
    w.first = (reverb.writePosition + 1) & KV_REVERB_MASK;
    w.count = count;
    for (int32_t i = 0; i < count; i += block)
        kvReverbRunBlock(reverb, w, taps, wall, levels, left + i, right + i, i,
                         std::min(block, count - i), tail);
    for (int32_t t = count; t < count + KV_FEEDBACK_SKEW; t++)
        kvFeedbackEdgeStep(w, reverb.ring, 0.0f, w.heldInput[t - count], t);
    kvStoreFloat4(reverb.uChain, w.u);
    kvStoreFloat4(reverb.vChain, w.v);
    reverb.writePosition = (reverb.writePosition + count) & KV_REVERB_MASK;
}

void kvReverb(KvEffectRun &run, float *left, float *right, int32_t count, int32_t remaining) {
    if (!left || count <= 0) return;
    const KV_Params *p = run.params;
    int32_t base = kvReverbBase(p->reverbRoomSize, kvGetDocument(run.doc)->current->sampleRate);
    if (!right || p->reverbWall < 0 || p->reverbWall > 3 || base <= 0) return;
    const KvWall &wall = kWalls[p->reverbWall];
    auto level = [p](int32_t n) { return static_cast<float>(kvDbToGain(p->reverbLevelDb[n])); };
    KvReverbLevels levels{level(0) * wall.inputGain,
                          level(1) * wall.inputGain,
                          level(2),
                          level(3),
                          level(4),
                          level(5)};
    KvTaps taps;
    kvBuildTaps(&taps, base);
    KvReverbState &reverb = kvRunState<KvReverbState>(run);
    int32_t tail = kvTailStart(count, remaining, kvTailLength(run.doc));
    int32_t block = kvReverbBlockLength(taps);
    if (block < KV_REVERB_SHORTEST_BLOCK) {
        for (int32_t i = 0; i < count; i++)
            kvReverbSample(reverb, taps, wall, levels, left[i], right[i], i < tail);
        return;
    }
    kvReverbBlocks(reverb, taps, wall, levels, left, right, count, tail, block);
}

void kvReverbBlock(KvEffectRun &run, const KvBlockStep &step) {
    if (step.channel != 0) return;
    kvReadPair(run, step);
    kvReverb(run, run.blockA, run.blockB, step.count, step.rangeLength - step.offset);
    kvQueueInsert(step.doc, 0, run.blockA, step.count);
    kvQueueInsert(step.doc, 1, run.blockB, step.count);
}

int32_t kvReverbPreview(KvEffectRun &run, float *left, float *right, int32_t count,
                        int32_t rangeLength, int32_t position) {
    if (left && right) kvReverb(run, left, right, count, rangeLength - position);
    return count;
}
