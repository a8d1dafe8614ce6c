/*
 * fast_math.h - four-lane float arithmetic for the per-bin loops of the
 * phase vocoder: arctangent, sine and cosine as short polynomials.
 *
 * The library functions work one value at a time and dominated the
 * vocoder's time; these run four bins per instruction on the compiler's
 * generic vector types, accurate to about
 * 2e-6 radians for the arctangent and 2e-7 for sine and cosine, far below
 * what one hop of a phase vocoder can resolve.
 */
#ifndef KV_DSP_FAST_MATH_H
#define KV_DSP_FAST_MATH_H

#include <cstdint>
#include <cstring>

typedef float KvFloat4 __attribute__((vector_size(16)));
typedef int32_t KvInt4 __attribute__((vector_size(16)));

inline KvFloat4 kvSplat4(float v) {
    return KvFloat4{v, v, v, v};
}

inline KvFloat4 kvLoadFloat4(const float *p) {
    KvFloat4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void kvStoreFloat4(float *p, KvFloat4 v) {
    std::memcpy(p, &v, sizeof v);
}

inline KvFloat4 kvAbs4(KvFloat4 v) {
    KvInt4 bits;
    std::memcpy(&bits, &v, sizeof v);
    bits &= 0x7fffffff;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

/* The nearest integer of each lane, for -64 < v < 2^23 - 64. */
inline KvInt4 kvRound4(KvFloat4 v) {
    return __builtin_convertvector(v + kvSplat4(64.5f), KvInt4) - 64;
}

/* atan2(y, x) per lane, in [-pi, pi]; (0, 0) gives 0. */
inline KvFloat4 kvAtan2x4(KvFloat4 y, KvFloat4 x) {
    KvFloat4 ax = kvAbs4(x), ay = kvAbs4(y);
    KvFloat4 large = ax > ay ? ax : ay, small = ax > ay ? ay : ax;
    large = large > kvSplat4(1e-30f) ? large : kvSplat4(1e-30f);
    KvFloat4 a = small / large, s = a * a;
    KvFloat4 r = a * (kvSplat4(0.99997726f) +
                      s * (kvSplat4(-0.33262347f) +
                           s * (kvSplat4(0.19354346f) +
                                s * (kvSplat4(-0.11643287f) +
                                     s * (kvSplat4(0.05265332f) + s * kvSplat4(-0.01172120f))))));
    r = ay > ax ? kvSplat4(1.57079637f) - r : r;
    r = x < kvSplat4(0.0f) ? kvSplat4(3.14159274f) - r : r;
    return y < kvSplat4(0.0f) ? -r : r;
}

/* sin and cos per lane, for angles within a few turns of 0. */
inline void kvSinCos4(KvFloat4 angle, KvFloat4 *sine, KvFloat4 *cosine) {
    KvInt4 quadrant = kvRound4(angle * kvSplat4(0.63661977f));
    KvFloat4 q = __builtin_convertvector(quadrant, KvFloat4);
    /* pi / 2 in two parts, so that the reduction loses nothing */
    KvFloat4 r = angle - q * kvSplat4(1.5707963705062866f) - q * kvSplat4(-4.371139e-08f);
    KvFloat4 r2 = r * r;
    KvFloat4 s = r + r * r2 *
                         (kvSplat4(-0.16666654611f) +
                          r2 * (kvSplat4(8.3321608736e-3f) + r2 * kvSplat4(-1.9515295891e-4f)));
    KvFloat4 c = kvSplat4(1.0f) +
                 r2 * (kvSplat4(-0.5f) + r2 * (kvSplat4(4.166664568298827e-2f) +
                                               r2 * (kvSplat4(-1.388731625493765e-3f) +
                                                     r2 * kvSplat4(2.443315711809948e-5f))));
    KvInt4 m = quadrant & 3;
    KvFloat4 sinPart = (m & 1) != 0 ? c : s;
    KvFloat4 cosPart = (m & 1) != 0 ? s : c;
    *sine = (m & 2) != 0 ? -sinPart : sinPart;
    *cosine = ((m == 1) | (m == 2)) ? -cosPart : cosPart;
}

#endif
