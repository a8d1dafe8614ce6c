/*
 * fft.h - the FFT engine shared by the FFT Filter and the phase vocoder:
 * transform plans, the analysis/synthesis window, and the streaming
 * short-time transform with its per-channel rings.
 *
 * An effect supplies only what happens to the spectrum of each hop; the
 * rings, the windowing, the overlap-add and the release of delayed output
 * (total output equals total input) are the same for every user.
 */
#ifndef KV_DSP_FFT_H
#define KV_DSP_FFT_H

#include <cstdint>

struct KV_Options;

/* Twiddles and bit-reversal swaps of one transform size, built once per
 * size so that a transform allocates nothing. */
struct KvFftPlan {
    int32_t points;    /* M complex points, a power of two >= 4 */
    int32_t *reverse;  /* the bit-reversed index of each index */
    int32_t swapCount; /* index pairs exchanged by the bit reversal */
    int32_t *swaps;    /* 2 * swapCount indexes */
    float *twiddleRe;  /* stage of half-span h uses entries [h, 2h) */
    float *twiddleIm;  /*   e^(-i pi j / h), j = 0 .. h - 1 */
    float *realRe;     /* e^(-2 pi i k / 2M), k = 0 .. M - 1, for the */
    float *realIm;     /*   real transforms of 2M samples */
    void *tableBlock;  /* the allocation the four tables sit in */
};

KvFftPlan *kvFftPlanCreate(int32_t points);
void kvFftPlanFree(KvFftPlan *plan);

/* In-place radix-2 transform of plan->points complex values held as split
 * real and imaginary arrays; sign -1 forward, +1 inverse, neither scaled. */
void kvFftTransform(const KvFftPlan *plan, float *re, float *im, int32_t sign);

/* Real transforms of N = 2M samples packed as z[m] = x[2m] + i x[2m + 1]
 * (even samples in zRe, odd ones in zIm).
 * Forward: transforms z in place and writes bins 0 .. M - 1 of the N-point
 * forward transform of x to binRe/binIm.
 * Inverse: the real part of the unscaled N-point inverse transform of a
 * spectrum whose bins M .. N - 1 are zero (bins 0 .. M - 1 given); the
 * samples come back packed the same way in zRe/zIm. */
void kvFftRealForward(const KvFftPlan *plan, float *zRe, float *zIm, float *binRe, float *binIm);
void kvFftRealInverse(const KvFftPlan *plan, const float *binRe, const float *binIm, float *zRe,
                      float *zIm);

/* For tests: false makes the transforms take their four-lane path even
 * where the processor offers eight lanes (both must give the same bits);
 * true leaves the choice to the processor again. */
void kvFftAllowWide(bool allow);

/* Whether the eight-lane paths are in use: the processor has them and the
 * test switch above allows them. */
bool kvFftWide();

/* Window types of the options, 0 .. 5. */
enum : int32_t {
    KV_WINDOW_RECTANGLE = 0,
    KV_WINDOW_BARTLETT = 1,
    KV_WINDOW_BLACKMAN = 2,
    KV_WINDOW_HAMMING = 3,
    KV_WINDOW_HANNING = 4,
    KV_WINDOW_SINUSOID = 5,
};

/* The FFT settings of the options, with any value the options dialog cannot
 * produce replaced by its default (2048, Hanning, 8) so that a damaged
 * stored record never reaches the transform. */
void kvFftSettings(const KV_Options *options, int32_t *size, int32_t *window, int32_t *overlap);

/* Fills w[0 .. size - 1] with the window, normalised for `overlap` frames
 * overlapping and for the halving of a real-part synthesis. */
void kvFftBuildWindow(float *w, int32_t size, int32_t type, int32_t overlap);

/* Streaming short-time transform state for up to two channels. */
struct KvFftEngine {
    int32_t size;    /* N */
    int32_t overlap; /* V */
    int32_t windowType;
    int32_t hop;     /* H = N / V */
    KvFftPlan *plan; /* N / 2 complex points */
    float *window;
    float *windowSplit; /* its even samples, then its odd ones */
    float *frame;       /* N: a hop's frame unwrapped, when vectors would straddle the ring's end */
    float *inRing[2];
    float *outRing[2];
    float *queue[2]; /* released samples not yet written out (< 2H) */
    float *phase[2]; /* N / 2 floats per channel, free for the hop step */
    float *synthPhase[2];
    int32_t slot[2];          /* s: the ring slot the next hop fills */
    int32_t held[2];          /* samples of that slot given before its hop ran */
    int64_t heldAt[2];        /* the range offset of that hop */
    int32_t pending[2];       /* input samples not yet released */
    int32_t queued[2];        /* samples waiting in queue */
    int32_t frames[2];        /* hops run, counted up to V */
    bool released[2];         /* the last hop released its slot without clearing it */
    float *workRe, *workIm;   /* N / 2: the packed frame */
    float *binRe, *binIm;     /* N / 2: the spectrum handed to the hop step */
    float *spareRe, *spareIm; /* N / 2: scratch spectrum for the hop step */
    int32_t bandFrom, bandTo; /* the running hop's band (see KvFftHopBand) */
    void *block;              /* the allocation the arrays above are carved from */
};

/* Allocates and clears the state and builds the window. */
KvFftEngine *kvFftEngineCreate(int32_t size, int32_t window, int32_t overlap);
void kvFftEngineFree(KvFftEngine *engine);

/* Leaves *engine cleared, as just created, for the options' FFT settings:
 * the engine already there is kept when it has them, so a run that starts
 * its stream again allocates nothing; otherwise it is replaced. */
void kvFftEngineRestart(KvFftEngine **engine, const KV_Options *options);

/* What an effect does to one hop: bins 0 .. N/2 - 1 of channel `channel`'s
 * frame, changed in place; t is the hop's offset in the range. */
typedef void (*KvFftHopStep)(void *context, KvFftEngine *engine, int32_t channel, int64_t t,
                             float *re, float *im);

/* Runs n input samples of one channel through the transform in hops of H
 * and writes the released output to out; returns the samples written, never
 * more than n. The output is the input's processed stream without a delay:
 * the first (V - 1) * H samples of a run come out on later calls. With a
 * null input the call drains: it feeds silence until n samples are out or
 * nothing is held any more, so it returns 0 only once all the input has come
 * out, however short the run was. A hop left incomplete at the end of a call
 * runs when the next call completes it (the drain completes it with zeros),
 * so the stream does not depend on how the input is cut into calls. Output
 * never overtakes the input read, so out may equal in. */
int32_t kvFftStream(KvFftEngine *engine, int32_t channel, const float *in, float *out, int32_t n,
                    int64_t position, KvFftHopStep step, void *context);

/* The bins [*from, *to) of channel `channel`'s hop at t that its step may
 * leave other than zero (both are 0 .. N/2 on entry, the whole spectrum).
 * The analysis computes only those bins and the synthesis takes every other
 * one as zero, so a step that keeps a narrow band saves most of the work
 * around the transforms; the step may change only bins inside the band. */
typedef void (*KvFftHopBand)(void *context, KvFftEngine *engine, int32_t channel, int64_t t,
                             int32_t *from, int32_t *to);

/* kvFftStream with each hop's band narrowed by `band`. */
int32_t kvFftStreamBand(KvFftEngine *engine, int32_t channel, const float *in, float *out,
                        int32_t n, int64_t position, KvFftHopStep step, KvFftHopBand band,
                        void *context);

#endif
