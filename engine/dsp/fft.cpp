/*
 * fft.cpp - transform plans, the radix-2 transform, the real transforms, the
 * window and the streaming short-time transform.
 *
 * Every frame the effects transform is real and every synthesis keeps only
 * the bins below N/2 and takes the real part, so both directions run as
 * N/2-point complex transforms with one linear pass to split or join the
 * spectrum: half the work of an N-point complex transform, same result.
 * Data is held as split real/imaginary arrays so that butterflies and passes
 * run four at a time on plain vector types (the middle stages eight at a
 * time where the processor has AVX2, chosen at run time: every lane does the
 * same arithmetic either way, so the results are the same bits); twiddles of
 * each stage sit side by side. The streaming transform needs no separate bit-reversal pass: the
 * frame is packed straight into bit-reversed order for the decimation-in-time
 * forward transform, and the decimation-in-frequency inverse leaves its
 * result in bit-reversed order for the overlap-add to pick up. Packing runs
 * the first two stages on the way and the overlap-add the last two, on
 * vectors of consecutive points, so that only whole groups of four are
 * scattered or gathered.
 * An effect that keeps only a band of bins (a band-pass) names it per hop:
 * the split and the join then cover that band alone, and a band below a
 * quarter of the sample rate lets the last forward and the first inverse
 * stages skip the half of the packed spectrum it never reaches. The
 * overlap-add stores a frame's newest hop over the slot released the hop
 * before, rather than clearing the slot and adding to it.
 */
#include "engine/dsp/fft.h"
#include "engine/core/services.h"
#include "engine/dsp/fast_math.h"
#include "korvel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

/* The floats the vector loops run over start on a cache line: kvAlloc
 * promises only 16 bytes, and a vector load that straddles two lines costs
 * up to a third more time per transform. Allocates `count` floats so
 * aligned; *block receives what kvFree must be given. */
static constexpr int32_t kvLineFloats = 16;

static float *kvAllocLines(int32_t count, void **block) {
    auto *memory =
        static_cast<float *>(kvAlloc((count + kvLineFloats) * static_cast<int32_t>(sizeof(float))));
    *block = memory;
    auto at = reinterpret_cast<uintptr_t>(memory);
    uintptr_t line = kvLineFloats * sizeof(float);
    return memory + ((line - at % line) % line) / sizeof(float);
}

KvFftPlan *kvFftPlanCreate(int32_t points) {
    auto *plan = static_cast<KvFftPlan *>(kvAlloc(sizeof(KvFftPlan)));
    plan->points = points;
    int32_t bits = 0;
    while ((1 << bits) < points)
        bits++;
    auto *indexes =
        static_cast<int32_t *>(kvAlloc(2 * points * static_cast<int32_t>(sizeof(int32_t))));
    plan->reverse = indexes;
    plan->swaps = indexes + points;
    plan->swapCount = 0;
    for (int32_t i = 0; i < points; i++) {
        int32_t r = 0;
        for (int32_t b = 0; b < bits; b++)
            r |= ((i >> b) & 1) << (bits - 1 - b);
        plan->reverse[i] = r;
        if (i < r) {
            plan->swaps[2 * plan->swapCount] = i;
            plan->swaps[2 * plan->swapCount + 1] = r;
            plan->swapCount++;
        }
    }
    float *tables = kvAllocLines(4 * points, &plan->tableBlock);
    plan->twiddleRe = tables;
    plan->twiddleIm = tables + points;
    plan->realRe = tables + 2 * points;
    plan->realIm = tables + 3 * points;
    plan->twiddleRe[0] = 1.0f;
    plan->twiddleIm[0] = 0.0f;
    for (int32_t h = 1; h < points; h *= 2) {
        for (int32_t j = 0; j < h; j++) {
            double angle = -std::numbers::pi * j / h;
            plan->twiddleRe[h + j] = static_cast<float>(std::cos(angle));
            plan->twiddleIm[h + j] = static_cast<float>(std::sin(angle));
        }
    }
    for (int32_t k = 0; k < points; k++) {
        double angle = -std::numbers::pi * k / points;
        plan->realRe[k] = static_cast<float>(std::cos(angle));
        plan->realIm[k] = static_cast<float>(std::sin(angle));
    }
    return plan;
}

void kvFftPlanFree(KvFftPlan *plan) {
    if (!plan) return;
    kvFree(plan->reverse);
    kvFree(plan->tableBlock);
    kvFree(plan);
}

static void kvBitReverse(const KvFftPlan *plan, float *re, float *im) {
    const int32_t *swaps = plan->swaps;
    for (int32_t s = 0; s < plan->swapCount; s++) {
        int32_t a = swaps[2 * s], b = swaps[2 * s + 1];
        std::swap(re[a], re[b]);
        std::swap(im[a], im[b]);
    }
}

/* The first two time-decimation stages (twiddles 1 and -i) on each group of
 * four, done inside the vector registers. */
static inline __attribute__((always_inline)) void kvDitFirstStages(float *re, float *im,
                                                                   int32_t points) {
    const KvFloat4 alternate = {1, -1, 1, -1}, halves = {1, 1, -1, -1};
    for (int32_t g = 0; g < points; g += 4) {
        KvFloat4 r = kvLoadFloat4(re + g), i = kvLoadFloat4(im + g);
        /* half-span 1: (x0 + x1, x0 - x1, x2 + x3, x2 - x3) */
        KvFloat4 sr = __builtin_shufflevector(r, r, 0, 0, 2, 2) +
                      __builtin_shufflevector(r, r, 1, 1, 3, 3) * alternate;
        KvFloat4 si = __builtin_shufflevector(i, i, 0, 0, 2, 2) +
                      __builtin_shufflevector(i, i, 1, 1, 3, 3) * alternate;
        /* half-span 2: s0 +- s2 and s1 +- (-i) s3, with (-i) s3 = (s3i, -s3r) */
        KvFloat4 tr = __builtin_shufflevector(sr, si, 2, 7, 2, 7);
        KvFloat4 ti = __builtin_shufflevector(si, sr, 2, 7, 2, 7) * alternate;
        kvStoreFloat4(re + g, __builtin_shufflevector(sr, sr, 0, 1, 0, 1) + tr * halves);
        kvStoreFloat4(im + g, __builtin_shufflevector(si, si, 0, 1, 0, 1) + ti * halves);
    }
}

/* The last two frequency-decimation stages on each group of four. */
static inline __attribute__((always_inline)) void kvDifLastStages(float *re, float *im,
                                                                  int32_t points) {
    const KvFloat4 alternate = {1, -1, 1, -1}, halves = {1, 1, -1, -1},
                   lastNegative = {1, 1, 1, -1};
    for (int32_t g = 0; g < points; g += 4) {
        KvFloat4 r = kvLoadFloat4(re + g), i = kvLoadFloat4(im + g);
        /* half-span 2: (x0 + x2, x1 + x3, x0 - x2, (x1 - x3)(-i)) */
        KvFloat4 ar = __builtin_shufflevector(r, r, 0, 1, 0, 1) +
                      __builtin_shufflevector(r, r, 2, 3, 2, 3) * halves;
        KvFloat4 ai = __builtin_shufflevector(i, i, 0, 1, 0, 1) +
                      __builtin_shufflevector(i, i, 2, 3, 2, 3) * halves;
        KvFloat4 br = __builtin_shufflevector(ar, ai, 0, 1, 2, 7);
        KvFloat4 bi = __builtin_shufflevector(ai, ar, 0, 1, 2, 7) * lastNegative;
        /* half-span 1 */
        kvStoreFloat4(re + g, __builtin_shufflevector(br, br, 0, 0, 2, 2) +
                                  __builtin_shufflevector(br, br, 1, 1, 3, 3) * alternate);
        kvStoreFloat4(im + g, __builtin_shufflevector(bi, bi, 0, 0, 2, 2) +
                                  __builtin_shufflevector(bi, bi, 1, 1, 3, 3) * alternate);
    }
}

/* The eight-lane instances in this file are only ever inlined into
 * functions built for AVX, so no eight-lane vector crosses a call: the
 * warning about such calls' ABI (given at the end of the file, where the
 * instances are made) does not apply to them. */
#pragma GCC diagnostic ignored "-Wpsabi"

/* Loads, stores and the lane count of a vector type, so that the middle
 * stages can run at whatever width the processor offers. */
template <typename V> static inline __attribute__((always_inline)) V kvLoad(const float *p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename V> static inline __attribute__((always_inline)) void kvStore(float *p, V v) {
    std::memcpy(p, &v, sizeof v);
}

template <typename V> constexpr int32_t kvLanes = static_cast<int32_t>(sizeof(V) / sizeof(float));

typedef float KvFloat8 __attribute__((vector_size(32)));

template <typename V> static inline __attribute__((always_inline)) V kvSplat(float v) {
    V out;
    for (int32_t q = 0; q < kvLanes<V>; q++)
        out[q] = v;
    return out;
}

/* kvLanes<V> floats read backwards, from p[kvLanes<V> - 1] down to p[0]. */
template <typename V>
static inline __attribute__((always_inline)) V kvLoadReversed(const float *p) {
    V v = kvLoad<V>(p);
    if constexpr (kvLanes<V> == 8)
        return __builtin_shufflevector(v, v, 7, 6, 5, 4, 3, 2, 1, 0);
    else
        return __builtin_shufflevector(v, v, 3, 2, 1, 0);
}

/* kvDitFirstStages on two groups of four at once, lane for lane the same
 * arithmetic. */
static inline __attribute__((always_inline)) void kvDitFirstStagesWide(float *re, float *im,
                                                                       int32_t points) {
    const KvFloat8 alternate = {1, -1, 1, -1, 1, -1, 1, -1}, halves = {1, 1, -1, -1, 1, 1, -1, -1};
    for (int32_t g = 0; g < points; g += 8) {
        KvFloat8 r = kvLoad<KvFloat8>(re + g), i = kvLoad<KvFloat8>(im + g);
        KvFloat8 sr = __builtin_shufflevector(r, r, 0, 0, 2, 2, 4, 4, 6, 6) +
                      __builtin_shufflevector(r, r, 1, 1, 3, 3, 5, 5, 7, 7) * alternate;
        KvFloat8 si = __builtin_shufflevector(i, i, 0, 0, 2, 2, 4, 4, 6, 6) +
                      __builtin_shufflevector(i, i, 1, 1, 3, 3, 5, 5, 7, 7) * alternate;
        KvFloat8 tr = __builtin_shufflevector(sr, si, 2, 11, 2, 11, 6, 15, 6, 15);
        KvFloat8 ti = __builtin_shufflevector(si, sr, 2, 11, 2, 11, 6, 15, 6, 15) * alternate;
        kvStore(re + g, __builtin_shufflevector(sr, sr, 0, 1, 0, 1, 4, 5, 4, 5) + tr * halves);
        kvStore(im + g, __builtin_shufflevector(si, si, 0, 1, 0, 1, 4, 5, 4, 5) + ti * halves);
    }
}

/* kvDifLastStages on two groups of four at once. */
static inline __attribute__((always_inline)) void kvDifLastStagesWide(float *re, float *im,
                                                                      int32_t points) {
    const KvFloat8 alternate = {1, -1, 1, -1, 1, -1, 1, -1}, halves = {1, 1, -1, -1, 1, 1, -1, -1},
                   lastNegative = {1, 1, 1, -1, 1, 1, 1, -1};
    for (int32_t g = 0; g < points; g += 8) {
        KvFloat8 r = kvLoad<KvFloat8>(re + g), i = kvLoad<KvFloat8>(im + g);
        KvFloat8 ar = __builtin_shufflevector(r, r, 0, 1, 0, 1, 4, 5, 4, 5) +
                      __builtin_shufflevector(r, r, 2, 3, 2, 3, 6, 7, 6, 7) * halves;
        KvFloat8 ai = __builtin_shufflevector(i, i, 0, 1, 0, 1, 4, 5, 4, 5) +
                      __builtin_shufflevector(i, i, 2, 3, 2, 3, 6, 7, 6, 7) * halves;
        KvFloat8 br = __builtin_shufflevector(ar, ai, 0, 1, 2, 11, 4, 5, 6, 15);
        KvFloat8 bi = __builtin_shufflevector(ai, ar, 0, 1, 2, 11, 4, 5, 6, 15) * lastNegative;
        kvStore(re + g, __builtin_shufflevector(br, br, 0, 0, 2, 2, 4, 4, 6, 6) +
                            __builtin_shufflevector(br, br, 1, 1, 3, 3, 5, 5, 7, 7) * alternate);
        kvStore(im + g, __builtin_shufflevector(bi, bi, 0, 0, 2, 2, 4, 4, 6, 6) +
                            __builtin_shufflevector(bi, bi, 1, 1, 3, 3, 5, 5, 7, 7) * alternate);
    }
}

/* One time-decimation stage of half-span h >= 4: b *= w, then a +- b. */
template <typename V>
static inline __attribute__((always_inline)) void
kvDitStage(float *re, float *im, int32_t points, int32_t h, const float *wRe, const float *wIm) {
    for (int32_t g = 0; g < points; g += 2 * h) {
        float *aRe = re + g, *aIm = im + g, *bRe = re + g + h, *bIm = im + g + h;
        for (int32_t j = 0; j < h; j += kvLanes<V>) {
            V wr = kvLoad<V>(wRe + j), wi = kvLoad<V>(wIm + j);
            V br = kvLoad<V>(bRe + j), bi = kvLoad<V>(bIm + j);
            V tr = br * wr - bi * wi;
            V ti = br * wi + bi * wr;
            V ar = kvLoad<V>(aRe + j), ai = kvLoad<V>(aIm + j);
            kvStore(aRe + j, ar + tr);
            kvStore(aIm + j, ai + ti);
            kvStore(bRe + j, ar - tr);
            kvStore(bIm + j, ai - ti);
        }
    }
}

/* One frequency-decimation stage of half-span h >= 4: a + b, (a - b) w. */
template <typename V>
static inline __attribute__((always_inline)) void
kvDifStage(float *re, float *im, int32_t points, int32_t h, const float *wRe, const float *wIm) {
    for (int32_t g = 0; g < points; g += 2 * h) {
        float *aRe = re + g, *aIm = im + g, *bRe = re + g + h, *bIm = im + g + h;
        for (int32_t j = 0; j < h; j += kvLanes<V>) {
            V ar = kvLoad<V>(aRe + j), ai = kvLoad<V>(aIm + j);
            V br = kvLoad<V>(bRe + j), bi = kvLoad<V>(bIm + j);
            V dr = ar - br, di = ai - bi;
            V wr = kvLoad<V>(wRe + j), wi = kvLoad<V>(wIm + j);
            kvStore(aRe + j, ar + br);
            kvStore(aIm + j, ai + bi);
            kvStore(bRe + j, dr * wr - di * wi);
            kvStore(bIm + j, dr * wi + di * wr);
        }
    }
}

template <typename V>
static inline __attribute__((always_inline)) void kvMultiply(V ar, V ai, V br, V bi, V *re, V *im) {
    *re = ar * br - ai * bi;
    *im = ar * bi + ai * br;
}

/* Two time-decimation stages at once, half-spans h and 2h (h >= 4): each
 * point is loaded and stored once for both. OuterOnly (at h = M/4) stores
 * only the outer quarters of the output (0 .. M/4 and 3M/4 .. M), for a
 * spectrum that needs no others. */
template <typename V, bool OuterOnly = false>
static inline __attribute__((always_inline)) void
kvDitPair(float *re, float *im, int32_t points, int32_t h, const float *wRe, const float *wIm) {
    for (int32_t g = 0; g < points; g += 4 * h) {
        float *r = re + g, *i = im + g;
        for (int32_t j = 0; j < h; j += kvLanes<V>) {
            V ar = kvLoad<V>(r + j), ai = kvLoad<V>(i + j);
            V br = kvLoad<V>(r + j + h), bi = kvLoad<V>(i + j + h);
            V cr = kvLoad<V>(r + j + 2 * h), ci = kvLoad<V>(i + j + 2 * h);
            V dr = kvLoad<V>(r + j + 3 * h), di = kvLoad<V>(i + j + 3 * h);
            V w1r = kvLoad<V>(wRe + h + j), w1i = kvLoad<V>(wIm + h + j), tr, ti;
            kvMultiply(br, bi, w1r, w1i, &tr, &ti);
            V a1r = ar + tr, a1i = ai + ti, b1r = ar - tr, b1i = ai - ti;
            kvMultiply(dr, di, w1r, w1i, &tr, &ti);
            V c1r = cr + tr, c1i = ci + ti, d1r = cr - tr, d1i = ci - ti;
            kvMultiply(c1r, c1i, kvLoad<V>(wRe + 2 * h + j), kvLoad<V>(wIm + 2 * h + j), &tr, &ti);
            kvStore(r + j, a1r + tr);
            kvStore(i + j, a1i + ti);
            if constexpr (!OuterOnly) {
                kvStore(r + j + 2 * h, a1r - tr);
                kvStore(i + j + 2 * h, a1i - ti);
            }
            kvMultiply(d1r, d1i, kvLoad<V>(wRe + 3 * h + j), kvLoad<V>(wIm + 3 * h + j), &tr, &ti);
            if constexpr (!OuterOnly) {
                kvStore(r + j + h, b1r + tr);
                kvStore(i + j + h, b1i + ti);
            }
            kvStore(r + j + 3 * h, b1r - tr);
            kvStore(i + j + 3 * h, b1i - ti);
        }
    }
}

/* Two frequency-decimation stages at once, half-spans 2h then h (h >= 4).
 * MiddleZero (at h = M/4) is for an input whose middle half (M/4 .. 3M/4)
 * is zero: with c = b = 0, a + c is a, a - c is a, b + d is d and b - d is
 * -d, so the values are the full pass's but for the signs of zeros, which no
 * later sum or product passes on to anything but a zero, and the overlap-add
 * turns every zero into +0 (a ring slot starts at +0 and +0 + -0 is +0). */
template <typename V, bool MiddleZero = false>
static inline __attribute__((always_inline)) void
kvDifPair(float *re, float *im, int32_t points, int32_t h, const float *wRe, const float *wIm) {
    for (int32_t g = 0; g < points; g += 4 * h) {
        float *r = re + g, *i = im + g;
        for (int32_t j = 0; j < h; j += kvLanes<V>) {
            V ar = kvLoad<V>(r + j), ai = kvLoad<V>(i + j);
            V dr = kvLoad<V>(r + j + 3 * h), di = kvLoad<V>(i + j + 3 * h);
            V w2r = kvLoad<V>(wRe + 2 * h + j), w2i = kvLoad<V>(wIm + 2 * h + j);
            V w3r = kvLoad<V>(wRe + 3 * h + j), w3i = kvLoad<V>(wIm + 3 * h + j);
            V a1r, a1i, b1r, b1i, c1r, c1i, d1r, d1i;
            if constexpr (MiddleZero) {
                a1r = ar, a1i = ai, b1r = dr, b1i = di;
                kvMultiply(ar, ai, w2r, w2i, &c1r, &c1i);
                kvMultiply(-dr, -di, w3r, w3i, &d1r, &d1i);
            } else {
                V br = kvLoad<V>(r + j + h), bi = kvLoad<V>(i + j + h);
                V cr = kvLoad<V>(r + j + 2 * h), ci = kvLoad<V>(i + j + 2 * h);
                a1r = ar + cr, a1i = ai + ci, b1r = br + dr, b1i = bi + di;
                kvMultiply(ar - cr, ai - ci, w2r, w2i, &c1r, &c1i);
                kvMultiply(br - dr, bi - di, w3r, w3i, &d1r, &d1i);
            }
            V w1r = kvLoad<V>(wRe + h + j), w1i = kvLoad<V>(wIm + h + j), tr, ti;
            kvStore(r + j, a1r + b1r);
            kvStore(i + j, a1i + b1i);
            kvMultiply(a1r - b1r, a1i - b1i, w1r, w1i, &tr, &ti);
            kvStore(r + j + h, tr);
            kvStore(i + j + h, ti);
            kvStore(r + j + 2 * h, c1r + d1r);
            kvStore(i + j + 2 * h, c1i + d1i);
            kvMultiply(c1r - d1r, c1i - d1i, w1r, w1i, &tr, &ti);
            kvStore(r + j + 3 * h, tr);
            kvStore(i + j + 3 * h, ti);
        }
    }
}

/* Two four-point runs side by side in one eight-lane vector: the runs at p
 * and p + 16 (the same place in two neighbouring groups of sixteen). */
static inline __attribute__((always_inline)) void
kvLoadRunPairs(const float *p, KvFloat8 *a, KvFloat8 *b, KvFloat8 *c, KvFloat8 *d) {
    KvFloat8 y0 = kvLoad<KvFloat8>(p), y1 = kvLoad<KvFloat8>(p + 8);
    KvFloat8 y2 = kvLoad<KvFloat8>(p + 16), y3 = kvLoad<KvFloat8>(p + 24);
    *a = __builtin_shufflevector(y0, y2, 0, 1, 2, 3, 8, 9, 10, 11);
    *b = __builtin_shufflevector(y0, y2, 4, 5, 6, 7, 12, 13, 14, 15);
    *c = __builtin_shufflevector(y1, y3, 0, 1, 2, 3, 8, 9, 10, 11);
    *d = __builtin_shufflevector(y1, y3, 4, 5, 6, 7, 12, 13, 14, 15);
}

static inline __attribute__((always_inline)) void kvStoreRunPairs(float *p, KvFloat8 a, KvFloat8 b,
                                                                  KvFloat8 c, KvFloat8 d) {
    kvStore(p, __builtin_shufflevector(a, b, 0, 1, 2, 3, 8, 9, 10, 11));
    kvStore(p + 8, __builtin_shufflevector(c, d, 0, 1, 2, 3, 8, 9, 10, 11));
    kvStore(p + 16, __builtin_shufflevector(a, b, 4, 5, 6, 7, 12, 13, 14, 15));
    kvStore(p + 24, __builtin_shufflevector(c, d, 4, 5, 6, 7, 12, 13, 14, 15));
}

/* The twiddles of half-span 4 entries [from, from + 4), in both halves. */
static inline __attribute__((always_inline)) KvFloat8 kvTwiddleRun(const float *w) {
    KvFloat4 run = kvLoadFloat4(w);
    return __builtin_shufflevector(run, run, 0, 1, 2, 3, 0, 1, 2, 3);
}

/* kvDitPair at half-span 4 on eight lanes: two groups of sixteen at a time,
 * lane for lane the arithmetic of the four-lane pass. */
static inline __attribute__((always_inline)) void
kvDitPairFourWide(float *re, float *im, int32_t points, const float *wRe, const float *wIm) {
    const KvFloat8 w1r = kvTwiddleRun(wRe + 4), w1i = kvTwiddleRun(wIm + 4);
    const KvFloat8 w2r = kvTwiddleRun(wRe + 8), w2i = kvTwiddleRun(wIm + 8);
    const KvFloat8 w3r = kvTwiddleRun(wRe + 12), w3i = kvTwiddleRun(wIm + 12);
    for (int32_t g = 0; g < points; g += 32) {
        KvFloat8 ar, br, cr, dr, ai, bi, ci, di, tr, ti;
        kvLoadRunPairs(re + g, &ar, &br, &cr, &dr);
        kvLoadRunPairs(im + g, &ai, &bi, &ci, &di);
        kvMultiply(br, bi, w1r, w1i, &tr, &ti);
        KvFloat8 a1r = ar + tr, a1i = ai + ti, b1r = ar - tr, b1i = ai - ti;
        kvMultiply(dr, di, w1r, w1i, &tr, &ti);
        KvFloat8 c1r = cr + tr, c1i = ci + ti, d1r = cr - tr, d1i = ci - ti;
        kvMultiply(c1r, c1i, w2r, w2i, &tr, &ti);
        KvFloat8 oar = a1r + tr, oai = a1i + ti, ocr = a1r - tr, oci = a1i - ti;
        kvMultiply(d1r, d1i, w3r, w3i, &tr, &ti);
        kvStoreRunPairs(re + g, oar, b1r + tr, ocr, b1r - tr);
        kvStoreRunPairs(im + g, oai, b1i + ti, oci, b1i - ti);
    }
}

/* kvDifPair at half-span 4 on eight lanes. */
static inline __attribute__((always_inline)) void
kvDifPairFourWide(float *re, float *im, int32_t points, const float *wRe, const float *wIm) {
    const KvFloat8 w1r = kvTwiddleRun(wRe + 4), w1i = kvTwiddleRun(wIm + 4);
    const KvFloat8 w2r = kvTwiddleRun(wRe + 8), w2i = kvTwiddleRun(wIm + 8);
    const KvFloat8 w3r = kvTwiddleRun(wRe + 12), w3i = kvTwiddleRun(wIm + 12);
    for (int32_t g = 0; g < points; g += 32) {
        KvFloat8 ar, br, cr, dr, ai, bi, ci, di, c1r, c1i, d1r, d1i, tr, ti, ur, ui;
        kvLoadRunPairs(re + g, &ar, &br, &cr, &dr);
        kvLoadRunPairs(im + g, &ai, &bi, &ci, &di);
        KvFloat8 a1r = ar + cr, a1i = ai + ci, b1r = br + dr, b1i = bi + di;
        kvMultiply(ar - cr, ai - ci, w2r, w2i, &c1r, &c1i);
        kvMultiply(br - dr, bi - di, w3r, w3i, &d1r, &d1i);
        kvMultiply(a1r - b1r, a1i - b1i, w1r, w1i, &tr, &ti);
        kvMultiply(c1r - d1r, c1i - d1i, w1r, w1i, &ur, &ui);
        kvStoreRunPairs(re + g, a1r + b1r, tr, c1r + d1r, ur);
        kvStoreRunPairs(im + g, a1i + b1i, ti, c1i + d1i, ui);
    }
}

/* The number of stages after the first two: half-spans 4 .. M/2. */
static int32_t kvMiddleStages(int32_t points) {
    int32_t stages = 0;
    for (int32_t h = 4; h < points; h *= 2)
        stages++;
    return stages;
}

/* Forward transform of bit-reversed input into natural order, the middle
 * stages in vectors of V where the half-span holds a whole one.
 * `outerOnly`: only the outer quarters of the result are wanted. */
template <typename V>
static inline __attribute__((always_inline)) void kvDitMiddle(const KvFftPlan *plan, float *re,
                                                              float *im, bool outerOnly = false) {
    int32_t points = plan->points, h = 4;
    if (kvMiddleStages(points) % 2) {
        kvDitStage<KvFloat4>(re, im, points, h, plan->twiddleRe + h, plan->twiddleIm + h);
        h *= 2;
    }
    for (; h < points; h *= 4) {
        if (outerOnly && 4 * h == points && h % kvLanes<V> == 0)
            kvDitPair<V, true>(re, im, points, points / 4, plan->twiddleRe, plan->twiddleIm);
        else if (h % kvLanes<V> == 0)
            kvDitPair<V>(re, im, points, h, plan->twiddleRe, plan->twiddleIm);
        else if (kvLanes<V> == 8 && points % 32 == 0)
            kvDitPairFourWide(re, im, points, plan->twiddleRe, plan->twiddleIm);
        else
            kvDitPair<KvFloat4>(re, im, points, h, plan->twiddleRe, plan->twiddleIm);
    }
}

template <typename V>
static inline __attribute__((always_inline)) void kvDitOf(const KvFftPlan *plan, float *re,
                                                          float *im) {
    if (kvLanes<V> == 8 && plan->points % 8 == 0)
        kvDitFirstStagesWide(re, im, plan->points);
    else
        kvDitFirstStages(re, im, plan->points);
    kvDitMiddle<V>(plan, re, im);
}

/* Forward transform of natural input into bit-reversed order: all but the
 * last two stages, then those. `outerOnly`: the input is zero from M/4 to
 * 3M/4 (and is not read there). */
template <typename V>
static inline __attribute__((always_inline)) void kvDifMiddle(const KvFftPlan *plan, float *re,
                                                              float *im, bool outerOnly = false) {
    int32_t points = plan->points, stages = kvMiddleStages(points), h = points / 4;
    for (int32_t pass = 0; pass < stages / 2; pass++, h /= 4) {
        if (pass == 0 && outerOnly && h % kvLanes<V> == 0)
            kvDifPair<V, true>(re, im, points, points / 4, plan->twiddleRe, plan->twiddleIm);
        else if (h % kvLanes<V> == 0)
            kvDifPair<V>(re, im, points, h, plan->twiddleRe, plan->twiddleIm);
        else if (kvLanes<V> == 8 && points % 32 == 0)
            kvDifPairFourWide(re, im, points, plan->twiddleRe, plan->twiddleIm);
        else
            kvDifPair<KvFloat4>(re, im, points, h, plan->twiddleRe, plan->twiddleIm);
    }
    if (stages % 2)
        kvDifStage<KvFloat4>(re, im, points, 4, plan->twiddleRe + 4, plan->twiddleIm + 4);
}

template <typename V>
static inline __attribute__((always_inline)) void kvDifOf(const KvFftPlan *plan, float *re,
                                                          float *im) {
    int32_t points = plan->points;
    kvDifMiddle<V>(plan, re, im);
    if (kvLanes<V> == 8 && points % 8 == 0)
        kvDifLastStagesWide(re, im, points);
    else
        kvDifLastStages(re, im, points);
}

/* Eight lanes where the processor has them. Each lane does exactly the
 * arithmetic of the four-lane code (no fused multiply-add is enabled), so
 * the results are the same bits on every processor. */
__attribute__((target("avx2"))) static void kvDitWide(const KvFftPlan *plan, float *re, float *im) {
    kvDitOf<KvFloat8>(plan, re, im);
}

__attribute__((target("avx2"))) static void kvDifWide(const KvFftPlan *plan, float *re, float *im) {
    kvDifOf<KvFloat8>(plan, re, im);
}

static std::atomic<bool> kvWideAllowed{true};

static bool kvWideVectors() {
    static const bool wide = __builtin_cpu_supports("avx2");
    return wide && kvWideAllowed.load(std::memory_order_relaxed);
}

void kvFftAllowWide(bool allow) {
    kvWideAllowed.store(allow, std::memory_order_relaxed);
}

bool kvFftWide() {
    return kvWideVectors();
}

static void kvDit(const KvFftPlan *plan, float *re, float *im) {
    if (kvWideVectors())
        kvDitWide(plan, re, im);
    else
        kvDitOf<KvFloat4>(plan, re, im);
}

static void kvDif(const KvFftPlan *plan, float *re, float *im) {
    if (kvWideVectors())
        kvDifWide(plan, re, im);
    else
        kvDifOf<KvFloat4>(plan, re, im);
}

void kvFftTransform(const KvFftPlan *plan, float *re, float *im, int32_t sign) {
    /* The inverse is the forward transform with real and imaginary parts
     * exchanged on the way in and out; with split arrays that is free. */
    if (sign > 0) std::swap(re, im);
    kvBitReverse(plan, re, im);
    kvDit(plan, re, im);
}

/* Bins [from, to) (from >= 1) of the real frame packed in z (already
 * transformed): X[k] = E + W^k O with E = (Z[k] + conj Z[M-k]) / 2 and
 * O = (Z[k] - conj Z[M-k]) / 2i. */
template <typename V>
static inline __attribute__((always_inline)) void
kvSplitRange(const KvFftPlan *plan, const float *zRe, const float *zIm, float *binRe, float *binIm,
             int32_t from, int32_t to) {
    int32_t m = plan->points, k = from;
    const float *wRe = plan->realRe, *wIm = plan->realIm;
    const V half = kvSplat<V>(0.5f);
    for (; k + kvLanes<V> - 1 < to; k += kvLanes<V>) {
        V ar = kvLoad<V>(zRe + k), ai = kvLoad<V>(zIm + k);
        V br = kvLoadReversed<V>(zRe + m - k - kvLanes<V> + 1),
          bi = -kvLoadReversed<V>(zIm + m - k - kvLanes<V> + 1);
        V er = half * (ar + br), ei = half * (ai + bi);
        V or_ = half * (ai - bi), oi = half * (br - ar);
        V wr = kvLoad<V>(wRe + k), wi = kvLoad<V>(wIm + k);
        kvStore(binRe + k, er + wr * or_ - wi * oi);
        kvStore(binIm + k, ei + wr * oi + wi * or_);
    }
    for (; k < to; k++) {
        float ar = zRe[k], ai = zIm[k], br = zRe[m - k], bi = -zIm[m - k];
        float er = 0.5f * (ar + br), ei = 0.5f * (ai + bi);
        float or_ = 0.5f * (ai - bi), oi = 0.5f * (br - ar);
        binRe[k] = er + wRe[k] * or_ - wIm[k] * oi;
        binIm[k] = ei + wRe[k] * oi + wIm[k] * or_;
    }
}

/* Bins 0 .. M - 1: bin 0 is real, the sum of Z[0]'s parts. */
template <typename V>
static inline __attribute__((always_inline)) void
kvSplitSpectrum(const KvFftPlan *plan, const float *zRe, const float *zIm, float *binRe,
                float *binIm) {
    binRe[0] = zRe[0] + zIm[0];
    binIm[0] = 0.0f;
    kvSplitRange<V>(plan, zRe, zIm, binRe, binIm, 1, plan->points);
}

/* The packed spectrum whose transform gives the real part of the inverse of
 * bins 0 .. M - 1 (the bins from M up being zero). That real part is the
 * inverse of the Hermitian spectrum Z[0] = Re Y[0], Z[k] = Y[k] / 2
 * (0 < k < M), Z[M] = 0, packed as Z'[k] = (A + B) + i W^-k (A - B) with
 * A = Z[k], B = conj Z[M-k]; here for k in [from, to), from >= 1. */
template <typename V>
static inline __attribute__((always_inline)) void
kvJoinRange(const KvFftPlan *plan, const float *binRe, const float *binIm, float *zRe, float *zIm,
            int32_t from, int32_t to) {
    int32_t m = plan->points, k = from;
    const float *wRe = plan->realRe, *wIm = plan->realIm;
    const V half = kvSplat<V>(0.5f);
    for (; k + kvLanes<V> - 1 < to; k += kvLanes<V>) {
        V ar = half * kvLoad<V>(binRe + k), ai = half * kvLoad<V>(binIm + k);
        V br = half * kvLoadReversed<V>(binRe + m - k - kvLanes<V> + 1);
        V bi = -half * kvLoadReversed<V>(binIm + m - k - kvLanes<V> + 1);
        V dr = ar - br, di = ai - bi;
        V wr = kvLoad<V>(wRe + k), wi = kvLoad<V>(wIm + k);
        V pr = wr * dr + wi * di, pi = wr * di - wi * dr;
        kvStore(zRe + k, ar + br - pi);
        kvStore(zIm + k, ai + bi + pr);
    }
    for (; k < to; k++) {
        float ar = 0.5f * binRe[k], ai = 0.5f * binIm[k];
        float br = 0.5f * binRe[m - k], bi = -0.5f * binIm[m - k];
        float dr = ar - br, di = ai - bi;
        float pr = wRe[k] * dr + wIm[k] * di, pi = wRe[k] * di - wIm[k] * dr;
        zRe[k] = ar + br - pi;
        zIm[k] = ai + bi + pr;
    }
}

template <typename V>
static inline __attribute__((always_inline)) void
kvJoinSpectrum(const KvFftPlan *plan, const float *binRe, const float *binIm, float *zRe,
               float *zIm) {
    zRe[0] = binRe[0];
    zIm[0] = binRe[0];
    kvJoinRange<V>(plan, binRe, binIm, zRe, zIm, 1, plan->points);
}

void kvFftRealForward(const KvFftPlan *plan, float *zRe, float *zIm, float *binRe, float *binIm) {
    kvBitReverse(plan, zRe, zIm);
    kvDit(plan, zRe, zIm);
    kvSplitSpectrum<KvFloat4>(plan, zRe, zIm, binRe, binIm);
}

void kvFftRealInverse(const KvFftPlan *plan, const float *binRe, const float *binIm, float *zRe,
                      float *zIm) {
    kvJoinSpectrum<KvFloat4>(plan, binRe, binIm, zRe, zIm);
    kvDif(plan, zIm, zRe);
    kvBitReverse(plan, zRe, zIm);
}

static bool kvIsPowerOfTwo(int32_t v) {
    return v > 0 && (v & (v - 1)) == 0;
}

void kvFftSettings(const KV_Options *options, int32_t *size, int32_t *window, int32_t *overlap) {
    *size = options->fftSize;
    if (!kvIsPowerOfTwo(*size) || *size < 256 || *size > 8192) *size = 2048;
    *window = options->fftWindow;
    if (*window < KV_WINDOW_RECTANGLE || *window > KV_WINDOW_SINUSOID) *window = KV_WINDOW_HANNING;
    *overlap = options->fftOverlap;
    if (!kvIsPowerOfTwo(*overlap) || *overlap < 4 || *overlap > 32) *overlap = 8;
}

static double kvWindowValue(int32_t type, int32_t i, int32_t size) {
    double m = size - 1;
    switch (type) {
    case KV_WINDOW_RECTANGLE:
        return 1.0;
    case KV_WINDOW_BARTLETT:
        return i < size / 2 ? i / m : 1.0 - i / m;
    case KV_WINDOW_BLACKMAN:
        return 0.42 - 0.5 * std::cos(2 * std::numbers::pi * i / m) +
               0.08 * std::cos(4 * std::numbers::pi * i / m);
    case KV_WINDOW_HAMMING:
        return 0.54 - 0.46 * 1.8518518518518516 * std::cos(2 * std::numbers::pi * i / m);
    case KV_WINDOW_SINUSOID:
        return std::sin(std::numbers::pi * i / m);
    default:
        return (0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / m)) * 2.0;
    }
}

void kvFftBuildWindow(float *w, int32_t size, int32_t type, int32_t overlap) {
    double sum = 0.0;
    for (int32_t i = 0; i < size; i++) {
        w[i] = static_cast<float>(kvWindowValue(type, i, size));
        sum += w[i];
    }
    double f = sum / std::sqrt(static_cast<double>(size)) *
               std::sqrt(static_cast<double>(overlap)) * static_cast<double>(0.8695652f);
    for (int32_t i = 0; i < size; i++)
        w[i] = static_cast<float>(w[i] / f);
}

/* The floats of the rings, queues, phases and work arrays: everything in
 * the engine's block after the window and its split. */
static int32_t kvStreamFloats(int32_t size) {
    return 6 * size + 10 * (size / 2);
}

KvFftEngine *kvFftEngineCreate(int32_t size, int32_t window, int32_t overlap) {
    auto *engine = static_cast<KvFftEngine *>(kvAlloc(sizeof(KvFftEngine)));
    std::memset(engine, 0, sizeof *engine);
    engine->size = size;
    engine->overlap = overlap;
    engine->windowType = window;
    engine->hop = size / overlap;
    engine->plan = kvFftPlanCreate(size / 2);
    /* window, its even/odd split and the frame, 2 x (in ring, out ring, queue) of N;
     * 2 x 2 phase arrays and 6 work arrays of N / 2 */
    int32_t floats = 3 * size + kvStreamFloats(size);
    float *memory = kvAllocLines(floats, &engine->block);
    std::memset(memory, 0, floats * sizeof(float));
    float *next = memory;
    auto take = [&next](int32_t count) {
        float *part = next;
        next += count;
        return part;
    };
    engine->window = take(size);
    engine->windowSplit = take(size);
    engine->frame = take(size);
    for (int32_t c = 0; c < 2; c++) {
        engine->inRing[c] = take(size);
        engine->outRing[c] = take(size);
        engine->queue[c] = take(size);
        engine->phase[c] = take(size / 2);
        engine->synthPhase[c] = take(size / 2);
    }
    engine->workRe = take(size / 2);
    engine->workIm = take(size / 2);
    engine->binRe = take(size / 2);
    engine->binIm = take(size / 2);
    engine->spareRe = take(size / 2);
    engine->spareIm = take(size / 2);
    kvFftBuildWindow(engine->window, size, window, overlap);
    for (int32_t m = 0; m < size / 2; m++) {
        engine->windowSplit[m] = engine->window[2 * m];
        engine->windowSplit[size / 2 + m] = engine->window[2 * m + 1];
    }
    return engine;
}

void kvFftEngineFree(KvFftEngine *engine) {
    if (!engine) return;
    kvFftPlanFree(engine->plan);
    kvFree(engine->block);
    kvFree(engine);
}

void kvFftEngineRestart(KvFftEngine **engine, const KV_Options *options) {
    int32_t size, window, overlap;
    kvFftSettings(options, &size, &window, &overlap);
    KvFftEngine *kept = *engine;
    if (!kept || kept->size != size || kept->windowType != window || kept->overlap != overlap) {
        kvFftEngineFree(kept);
        *engine = kvFftEngineCreate(size, window, overlap);
        return;
    }
    /* the block create carved, from the first ring on */
    std::memset(kept->inRing[0], 0, kvStreamFloats(size) * sizeof(float));
    for (int32_t c = 0; c < 2; c++) {
        kept->slot[c] = kept->held[c] = kept->pending[c] = kept->queued[c] = kept->frames[c] = 0;
        kept->heldAt[c] = 0;
        kept->released[c] = false;
    }
}

/* The 4 x L transpose between "lane l holds point q0 + l" and "four
 * consecutive points per lane": group g of the result is lane g's four
 * values o[0][g] .. o[3][g], stored at at[g]. */
template <typename V>
static inline __attribute__((always_inline)) void kvStoreGroups(V o0, V o1, V o2, V o3,
                                                                float *const *at) {
    if constexpr (kvLanes<V> == 8) {
        V t0 = __builtin_shufflevector(o0, o1, 0, 8, 1, 9, 4, 12, 5, 13);
        V t1 = __builtin_shufflevector(o0, o1, 2, 10, 3, 11, 6, 14, 7, 15);
        V t2 = __builtin_shufflevector(o2, o3, 0, 8, 1, 9, 4, 12, 5, 13);
        V t3 = __builtin_shufflevector(o2, o3, 2, 10, 3, 11, 6, 14, 7, 15);
        V g[4] = {__builtin_shufflevector(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13),
                  __builtin_shufflevector(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15),
                  __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13),
                  __builtin_shufflevector(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15)};
        for (int32_t q = 0; q < 4; q++) {
            kvStoreFloat4(at[q], __builtin_shufflevector(g[q], g[q], 0, 1, 2, 3));
            kvStoreFloat4(at[q + 4], __builtin_shufflevector(g[q], g[q], 4, 5, 6, 7));
        }
    } else {
        V t0 = __builtin_shufflevector(o0, o1, 0, 4, 1, 5);
        V t1 = __builtin_shufflevector(o0, o1, 2, 6, 3, 7);
        V t2 = __builtin_shufflevector(o2, o3, 0, 4, 1, 5);
        V t3 = __builtin_shufflevector(o2, o3, 2, 6, 3, 7);
        kvStore(at[0], __builtin_shufflevector(t0, t2, 0, 1, 4, 5));
        kvStore(at[1], __builtin_shufflevector(t0, t2, 2, 3, 6, 7));
        kvStore(at[2], __builtin_shufflevector(t1, t3, 0, 1, 4, 5));
        kvStore(at[3], __builtin_shufflevector(t1, t3, 2, 3, 6, 7));
    }
}

/* The inverse of kvStoreGroups: lane g of o[t] is value t of the group at
 * at[g]. */
template <typename V>
static inline __attribute__((always_inline)) void kvLoadGroups(const float *const *at, V *o0, V *o1,
                                                               V *o2, V *o3) {
    if constexpr (kvLanes<V> == 8) {
        V g[4];
        for (int32_t q = 0; q < 4; q++) {
            KvFloat4 low = kvLoadFloat4(at[q]), high = kvLoadFloat4(at[q + 4]);
            g[q] = __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7);
        }
        V t0 = __builtin_shufflevector(g[0], g[1], 0, 8, 1, 9, 4, 12, 5, 13);
        V t1 = __builtin_shufflevector(g[0], g[1], 2, 10, 3, 11, 6, 14, 7, 15);
        V t2 = __builtin_shufflevector(g[2], g[3], 0, 8, 1, 9, 4, 12, 5, 13);
        V t3 = __builtin_shufflevector(g[2], g[3], 2, 10, 3, 11, 6, 14, 7, 15);
        *o0 = __builtin_shufflevector(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13);
        *o1 = __builtin_shufflevector(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15);
        *o2 = __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13);
        *o3 = __builtin_shufflevector(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15);
    } else {
        V g0 = kvLoad<V>(at[0]), g1 = kvLoad<V>(at[1]), g2 = kvLoad<V>(at[2]),
          g3 = kvLoad<V>(at[3]);
        V t0 = __builtin_shufflevector(g0, g1, 0, 4, 1, 5);
        V t1 = __builtin_shufflevector(g0, g1, 2, 6, 3, 7);
        V t2 = __builtin_shufflevector(g2, g3, 0, 4, 1, 5);
        V t3 = __builtin_shufflevector(g2, g3, 2, 6, 3, 7);
        *o0 = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
        *o1 = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
        *o2 = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
        *o3 = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
    }
}

/* The even and the odd floats of 2L consecutive ones. */
template <typename V>
static inline __attribute__((always_inline)) void kvDeinterleave(const float *p, V *even, V *odd) {
    V a = kvLoad<V>(p), b = kvLoad<V>(p + kvLanes<V>);
    if constexpr (kvLanes<V> == 8) {
        *even = __builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14);
        *odd = __builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15);
    } else {
        *even = __builtin_shufflevector(a, b, 0, 2, 4, 6);
        *odd = __builtin_shufflevector(a, b, 1, 3, 5, 7);
    }
}

/* Packs the windowed frame starting at ring position `base` into the work
 * arrays (even samples as real parts, odd ones as imaginary) in
 * bit-reversed order, already through the first two time-decimation
 * stages. Each group of four the first stages combine is one point from
 * each quarter of the frame, so the stages run on whole vectors of
 * consecutive points and only the finished groups are scattered, four
 * floats at a time; the arithmetic per point is kvDitFirstStages'. */
template <typename V>
static inline __attribute__((always_inline)) void
kvPackFirstStages(KvFftEngine *engine, const float *ring, int32_t base) {
    int32_t size = engine->size, points = size / 2, quarter = points / 4, mask = size - 1;
    const int32_t *reverse = engine->plan->reverse;
    float *re = engine->workRe, *im = engine->workIm;
    const float *wEven = engine->windowSplit, *wOdd = engine->windowSplit + points;
    constexpr int32_t lanes = kvLanes<V>;
    /* The L points from p take 2L ring floats, which stay clear of the
     * ring's end when the frame starts on a multiple of 2L; otherwise the
     * frame is unwrapped first. */
    const float *from = ring;
    if (base % (2 * lanes) != 0) {
        for (int32_t i = 0; i < size; i += 4)
            kvStoreFloat4(engine->frame + i, kvLoadFloat4(ring + ((base + i) & mask)));
        from = engine->frame, base = 0;
    }
    auto load = [&](int32_t p, V *r, V *i) {
        kvDeinterleave(from + ((base + 2 * p) & mask), r, i);
        *r *= kvLoad<V>(wEven + p);
        *i *= kvLoad<V>(wOdd + p);
    };
    for (int32_t q = 0; q < quarter; q += lanes) {
        V r0, i0, r1, i1, r2, i2, r3, i3; /* points q, q + M/2, q + M/4, q + 3M/4 */
        load(q, &r0, &i0);
        load(q + 2 * quarter, &r1, &i1);
        load(q + quarter, &r2, &i2);
        load(q + 3 * quarter, &r3, &i3);
        V s0r = r0 + r1, s0i = i0 + i1, s1r = r0 - r1, s1i = i0 - i1;
        V s2r = r2 + r3, s2i = i2 + i3, s3r = r2 - r3, s3i = i2 - i3;
        float *atRe[lanes], *atIm[lanes];
        for (int32_t l = 0; l < lanes; l++)
            atRe[l] = re + reverse[q + l], atIm[l] = im + reverse[q + l];
        kvStoreGroups<V>(s0r + s2r, s1r + s3i, s0r - s2r, s1r - s3i, atRe);
        kvStoreGroups<V>(s0i + s2i, s1i - s3r, s0i - s2i, s1i + s3r, atIm);
    }
}

/* Adds v to the ring floats at `at`, or, where the ring holds a released
 * slot that nothing has been added to yet (`fresh`), stores 0 + v there:
 * the bits the addition to a cleared slot gives, without clearing it. */
template <typename V>
static inline __attribute__((always_inline)) void kvAccumulate(float *at, V v, bool fresh) {
    kvStore(at, fresh ? v + V{} : kvLoad<V>(at) + v);
}

/* Adds even and odd samples, interleaved, into the ring at points m ..
 * m + 3 of the frame from `base`, wrapping where the frame does (points
 * from `first` on). */
static inline __attribute__((always_inline)) void kvAddInterleaved(float *ring, int32_t base,
                                                                   int32_t first, int32_t m,
                                                                   KvFloat4 even, KvFloat4 odd,
                                                                   bool fresh) {
    float *at = m < first ? ring + base + 2 * m : ring + 2 * (m - first);
    kvAccumulate(at, __builtin_shufflevector(even, odd, 0, 4, 1, 5), fresh);
    kvAccumulate(at + 4, __builtin_shufflevector(even, odd, 2, 6, 3, 7), fresh);
}

static inline __attribute__((always_inline)) void kvAddInterleaved(float *ring, int32_t base,
                                                                   int32_t first, int32_t m,
                                                                   KvFloat8 even, KvFloat8 odd,
                                                                   bool fresh) {
    if (m + 8 <= first || m >= first) {
        float *at = m < first ? ring + base + 2 * m : ring + 2 * (m - first);
        kvAccumulate(at, __builtin_shufflevector(even, odd, 0, 8, 1, 9, 2, 10, 3, 11), fresh);
        kvAccumulate(at + 8, __builtin_shufflevector(even, odd, 4, 12, 5, 13, 6, 14, 7, 15), fresh);
        return;
    }
    kvAddInterleaved(ring, base, first, m, __builtin_shufflevector(even, even, 0, 1, 2, 3),
                     __builtin_shufflevector(odd, odd, 0, 1, 2, 3), fresh);
    kvAddInterleaved(ring, base, first, m + 4, __builtin_shufflevector(even, even, 4, 5, 6, 7),
                     __builtin_shufflevector(odd, odd, 4, 5, 6, 7), fresh);
}

/* Points m .. m + L - 1 of the synthesis frame windowed and added into the
 * ring (a named function, not a lambda: a lambda would not share the
 * caller's vector target, and the vectors must not cross a call). */
template <typename V>
static inline __attribute__((always_inline)) void
kvAddWindowed(float *ring, int32_t base, int32_t first, int32_t m, V re, V im, const float *wEven,
              const float *wOdd, int32_t freshFrom) {
    V even = im * kvLoad<V>(wEven + m), odd = re * kvLoad<V>(wOdd + m);
    kvAddInterleaved(ring, base, first, m, even, odd, m >= freshFrom);
}

/* The last two frequency-decimation stages of the synthesis frame (its
 * real parts in `dr`, imaginary in `di`, bit-reversed), windowed and added
 * into the ring from position `base`: the imaginary parts are the even
 * samples, the real parts the odd ones. The mirror of kvPackFirstStages:
 * groups are gathered four floats at a time and everything after runs on
 * vectors of consecutive points; the arithmetic per point is
 * kvDifLastStages'. Points from `freshFrom` on fall on the released slot
 * the frame ends with. */
template <typename V>
static inline __attribute__((always_inline)) void
kvLastStagesOverlapAdd(KvFftEngine *engine, const float *dr, const float *di, float *ring,
                       int32_t base, int32_t freshFrom) {
    int32_t size = engine->size, points = size / 2, quarter = points / 4;
    int32_t first = (size - base) / 2;
    const int32_t *reverse = engine->plan->reverse;
    const float *wEven = engine->windowSplit, *wOdd = engine->windowSplit + points;
    constexpr int32_t lanes = kvLanes<V>;
    for (int32_t q = 0; q < quarter; q += lanes) {
        const float *atRe[lanes], *atIm[lanes];
        for (int32_t l = 0; l < lanes; l++)
            atRe[l] = dr + reverse[q + l], atIm[l] = di + reverse[q + l];
        V r0, r1, r2, r3, i0, i1, i2, i3;
        kvLoadGroups<V>(atRe, &r0, &r1, &r2, &r3);
        kvLoadGroups<V>(atIm, &i0, &i1, &i2, &i3);
        V ar0 = r0 + r2, ar1 = r1 + r3, ar2 = r0 - r2, ar3 = r1 - r3;
        V ai0 = i0 + i2, ai1 = i1 + i3, ai2 = i0 - i2, ai3 = i1 - i3;
        /* the group's values are points q, q + M/2, q + M/4 and q + 3M/4 */
        const int32_t m[4] = {q, q + 2 * quarter, q + quarter, q + 3 * quarter};
        kvAddWindowed(ring, base, first, m[0], ar0 + ar1, ai0 + ai1, wEven, wOdd, freshFrom);
        kvAddWindowed(ring, base, first, m[1], ar0 - ar1, ai0 - ai1, wEven, wOdd, freshFrom);
        kvAddWindowed(ring, base, first, m[2], ar2 + ai3, ai2 - ar3, wEven, wOdd, freshFrom);
        kvAddWindowed(ring, base, first, m[3], ar2 - ai3, ai2 + ar3, wEven, wOdd, freshFrom);
    }
}

/* Whether the synthesis can store its frame's last hop rather than add it
 * into a cleared slot: the hop must cover whole vectors of eight points. */
static bool kvStoresLastHop(const KvFftEngine *engine) {
    return engine->hop % 16 == 0;
}

/* Moves the finished oldest slot out once the first V - 1 hops are past:
 * straight to out from `produced` as far as `limit` allows while nothing
 * is queued before it, the rest to the channel's queue. Returns the new
 * count written to out. */
static int32_t kvRelease(KvFftEngine *engine, int32_t c, float *out, int32_t produced,
                         int32_t limit) {
    if (engine->frames[c] < engine->overlap) {
        engine->frames[c]++;
        engine->released[c] = false;
        if (engine->frames[c] < engine->overlap) return produced;
    }
    int32_t hop = engine->hop;
    float *slot = engine->outRing[c] + engine->slot[c] * hop;
    int32_t count = std::min(engine->pending[c], hop), direct = 0;
    if (engine->queued[c] == 0) {
        direct = std::clamp(limit - produced, 0, count);
        std::memcpy(out + produced, slot, direct * sizeof(float));
    }
    std::memcpy(engine->queue[c] + engine->queued[c], slot + direct,
                (count - direct) * sizeof(float));
    engine->queued[c] += count - direct;
    engine->pending[c] -= count;
    if (kvStoresLastHop(engine))
        engine->released[c] = true;
    else
        std::memset(slot, 0, hop * sizeof(float));
    return produced + direct;
}

/* Writes queued samples to out from `produced` up to `limit`. */
static int32_t kvFlush(KvFftEngine *engine, int32_t c, float *out, int32_t produced,
                       int32_t limit) {
    int32_t count = std::min(engine->queued[c], limit - produced);
    if (count <= 0) return produced;
    std::memcpy(out + produced, engine->queue[c], count * sizeof(float));
    engine->queued[c] -= count;
    std::memmove(engine->queue[c], engine->queue[c] + count, engine->queued[c] * sizeof(float));
    return produced + count;
}

/* Zeroes bins [from, to) of a split spectrum; nothing when to <= from. */
static inline __attribute__((always_inline)) void kvZeroBins(float *re, float *im, int32_t from,
                                                             int32_t to) {
    if (to <= from) return;
    std::memset(re + from, 0, (to - from) * sizeof(float));
    std::memset(im + from, 0, (to - from) * sizeof(float));
}

/* The hop's band [from, to) (a full one: 0 .. M), and its mirror: the bins
 * M - k of its bins k >= 1, which the synthesis reads with them. When both
 * stay clear of M/4 .. 3M/4 (`outerOnly`, a band below a quarter of the
 * sample rate) the analysis does not finish that half of the packed
 * spectrum, and the synthesis takes it as zero without writing it. */
struct KvBand {
    int32_t from, to, mirrorFrom, mirrorTo;
    bool full, outerOnly;
};

static inline __attribute__((always_inline)) KvBand kvBandOf(const KvFftEngine *engine) {
    int32_t m = engine->plan->points;
    KvBand band{engine->bandFrom, engine->bandTo, 0, 0, false, false};
    band.full = band.from == 0 && band.to == m;
    band.mirrorTo = std::min(m - band.from + 1, m);
    band.mirrorFrom = std::min(std::max(m - band.to + 1, 1), band.mirrorTo);
    band.outerOnly = !band.full && band.to <= m / 4 && band.mirrorFrom >= 3 * m / 4;
    return band;
}

/* The spectrum of the band only; the mirror bins outside the band are
 * cleared, as the synthesis reads them. The others are left as they were:
 * nothing reads them. */
template <typename V>
static inline __attribute__((always_inline)) void kvSplitBand(KvFftEngine *engine) {
    const KvFftPlan *plan = engine->plan;
    const float *zRe = engine->workRe, *zIm = engine->workIm;
    float *re = engine->binRe, *im = engine->binIm;
    KvBand band = kvBandOf(engine);
    if (band.full) return kvSplitSpectrum<V>(plan, zRe, zIm, re, im);
    kvZeroBins(re, im, band.mirrorFrom, std::min(band.mirrorTo, band.from));
    kvZeroBins(re, im, std::max(band.mirrorFrom, band.to), band.mirrorTo);
    if (band.from == 0 && band.to > 0) re[0] = zRe[0] + zIm[0], im[0] = 0.0f;
    kvSplitRange<V>(plan, zRe, zIm, re, im, std::max(band.from, 1), band.to);
}

/* kvJoinSpectrum of a spectrum that is zero outside the band: the packed
 * points that neither a band bin nor its mirror reaches come out as +0,
 * the same bits the whole join gives for zero bins. */
template <typename V>
static inline __attribute__((always_inline)) void kvJoinBand(KvFftEngine *engine) {
    const KvFftPlan *plan = engine->plan;
    const float *re = engine->binRe, *im = engine->binIm;
    float *zRe = engine->workRe, *zIm = engine->workIm;
    KvBand band = kvBandOf(engine);
    if (band.full) return kvJoinSpectrum<V>(plan, re, im, zRe, zIm);
    int32_t m = plan->points, lo = std::max(band.from, 1), hi = std::max(band.to, lo);
    int32_t first[2] = {lo, hi}, second[2] = {band.mirrorFrom, band.mirrorTo};
    if (second[0] < first[0]) std::swap(first, second);
    auto zero = [&](int32_t from, int32_t to) {
        if (!band.outerOnly) return kvZeroBins(zRe, zIm, from, to);
        kvZeroBins(zRe, zIm, from, std::min(to, m / 4));
        kvZeroBins(zRe, zIm, std::max(from, 3 * m / 4), to);
    };
    zRe[0] = zIm[0] = band.from == 0 && band.to > 0 ? re[0] : 0.0f;
    zero(1, first[0]);
    kvJoinRange<V>(plan, re, im, zRe, zIm, first[0], first[1]);
    zero(first[1], second[0]);
    kvJoinRange<V>(plan, re, im, zRe, zIm, std::max(second[0], first[1]), second[1]);
    zero(std::max(first[1], second[1]), m);
}

/* The hop's analysis (frame to spectrum) and synthesis (spectrum added into
 * the output ring), built once per vector width. */
template <typename V>
static inline __attribute__((always_inline)) void kvAnalyseOf(KvFftEngine *engine,
                                                              const float *ring, int32_t base) {
    kvPackFirstStages<V>(engine, ring, base);
    kvDitMiddle<V>(engine->plan, engine->workRe, engine->workIm, kvBandOf(engine).outerOnly);
    kvSplitBand<V>(engine);
}

template <typename V>
static inline __attribute__((always_inline)) void kvSynthesiseOf(KvFftEngine *engine, float *ring,
                                                                 int32_t base, int32_t freshFrom) {
    kvJoinBand<V>(engine);
    kvDifMiddle<V>(engine->plan, engine->workIm, engine->workRe, kvBandOf(engine).outerOnly);
    kvLastStagesOverlapAdd<V>(engine, engine->workIm, engine->workRe, ring, base, freshFrom);
}

__attribute__((target("avx2"))) static void kvAnalyseWide(KvFftEngine *engine, const float *ring,
                                                          int32_t base) {
    kvAnalyseOf<KvFloat8>(engine, ring, base);
}

__attribute__((target("avx2"))) static void kvSynthesiseWide(KvFftEngine *engine, float *ring,
                                                             int32_t base, int32_t freshFrom) {
    kvSynthesiseOf<KvFloat8>(engine, ring, base, freshFrom);
}

/* What the effect does per hop. */
struct KvHopCalls {
    KvFftHopStep step;
    KvFftHopBand band; /* null: every bin */
    void *context;
};

/* Transforms the frame that ends with the slot just filled, hands its
 * spectrum to the effect, overlap-adds the result and releases what is
 * finished (see kvRelease). */
static int32_t kvRunHop(KvFftEngine *engine, int32_t c, int64_t t, const KvHopCalls &calls,
                        float *out, int32_t produced, int32_t limit) {
    int32_t from = 0, to = engine->plan->points;
    if (calls.band) {
        calls.band(calls.context, engine, c, t, &from, &to);
        from = std::clamp(from, 0, engine->plan->points);
        to = std::clamp(to, from, engine->plan->points);
    }
    engine->bandFrom = from, engine->bandTo = to;
    engine->held[c] = 0;
    engine->slot[c] = (engine->slot[c] + 1) % engine->overlap;
    int32_t base = engine->slot[c] * engine->hop;
    /* the frame's last hop lands on the slot released by the hop before */
    int32_t points = engine->plan->points;
    int32_t freshFrom = engine->released[c] ? points - engine->hop / 2 : points;
    bool wide = kvWideVectors();
    if (wide)
        kvAnalyseWide(engine, engine->inRing[c], base);
    else
        kvAnalyseOf<KvFloat4>(engine, engine->inRing[c], base);
    calls.step(calls.context, engine, c, t, engine->binRe, engine->binIm);
    if (wide)
        kvSynthesiseWide(engine, engine->outRing[c], base, freshFrom);
    else
        kvSynthesiseOf<KvFloat4>(engine, engine->outRing[c], base, freshFrom);
    return kvRelease(engine, c, out, produced, limit);
}

/* Feeds silence until out is full or every input sample has come out. The
 * first V - 1 hops of a run release nothing, so a fixed amount of silence
 * per call would come back empty-handed while input is still held whenever
 * the run so far is shorter than the delay (a short range at a large N), and
 * a caller that stops at an empty call would lose that input. */
static int32_t kvDrainStream(KvFftEngine *engine, int32_t c, float *out, int32_t n,
                             int64_t position, const KvHopCalls &calls) {
    int32_t hop = engine->hop, produced = kvFlush(engine, c, out, 0, n);
    for (int64_t fed = 0; produced < n && engine->pending[c] > 0;) {
        int32_t filled = engine->held[c];
        std::memset(engine->inRing[c] + engine->slot[c] * hop + filled, 0,
                    (hop - filled) * sizeof(float));
        int64_t t = filled > 0 ? engine->heldAt[c] : position + fed;
        fed += hop - filled;
        produced = kvRunHop(engine, c, t, calls, out, produced, n);
        produced = kvFlush(engine, c, out, produced, n);
    }
    return produced;
}

static int32_t kvStreamHops(KvFftEngine *engine, int32_t c, const float *in, float *out, int32_t n,
                            int64_t position, const KvHopCalls &calls) {
    if (!in) return kvDrainStream(engine, c, out, n, position, calls);
    int32_t hop = engine->hop, produced = 0;
    for (int32_t done = 0; done < n;) {
        int32_t filled = engine->held[c], k = std::min(hop - filled, n - done);
        engine->pending[c] += k;
        std::memcpy(engine->inRing[c] + engine->slot[c] * hop + filled, in + done,
                    k * sizeof(float));
        int64_t t = filled > 0 ? engine->heldAt[c] : position + done;
        done += k;
        if (filled + k < hop) {
            /* an incomplete hop waits for the next call; the drain completes
             * it with zeros */
            engine->held[c] = filled + k;
            engine->heldAt[c] = t;
            break;
        }
        /* never ahead of the input read so far, so out may be in */
        produced = kvRunHop(engine, c, t, calls, out, produced, done);
        produced = kvFlush(engine, c, out, produced, done);
    }
    return kvFlush(engine, c, out, produced, n);
}

int32_t kvFftStream(KvFftEngine *engine, int32_t c, const float *in, float *out, int32_t n,
                    int64_t position, KvFftHopStep step, void *context) {
    return kvStreamHops(engine, c, in, out, n, position, KvHopCalls{step, nullptr, context});
}

int32_t kvFftStreamBand(KvFftEngine *engine, int32_t c, const float *in, float *out, int32_t n,
                        int64_t position, KvFftHopStep step, KvFftHopBand band, void *context) {
    return kvStreamHops(engine, c, in, out, n, position, KvHopCalls{step, band, context});
}
