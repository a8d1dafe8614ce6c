/*
 * loudness.cpp - loudness measurement and the Loudness Normalize edit.
 *
 * The measurement is libebur128's (the reference implementation of
 * BS.1770), fed 100 ms at a time so that the momentary and short-term
 * maxima are read at the rate EBU R128 defines them. Where only the
 * integrated loudness is wanted, KV_LoudnessMeter gives libebur128's numbers
 * with the same arithmetic in a faster order. Normalize measures the
 * range's integrated loudness once, when its run starts, and applies the one
 * gain that reaches the target. Where that gain would lift the true peak over
 * the ceiling, a look-ahead limiter turns the gain down just there: the
 * gain each sample needs is found from a 4x interpolated peak, held as its
 * minimum over the look-ahead, let back up through a release, and averaged
 * over the look-ahead, so the gain reaches its low before the peak and
 * never moves faster than the look-ahead allows. Both channels share one
 * gain so the stereo image stays put. The output lags the input by the
 * look-ahead; the dispatcher's drain releases the tail.
 */
#include "engine/dsp/loudness.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/document.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <ebur128.h>
#include <emmintrin.h>
#include <vector>

namespace {

constexpr int32_t kRing = 2048; /* > the look-ahead plus the interpolator's span */
constexpr int32_t kMask = kRing - 1;
constexpr int32_t kHalfTaps = 8; /* the interpolator reaches this far either side */
constexpr int32_t kPhases = 4;   /* the true peak is read at four times the rate */
constexpr double kLookAheadSeconds = 0.005;
constexpr double kReleaseSeconds = 0.05;
/* The interpolator is shorter than a meter's, so it may read a little low. */
constexpr double kCeilingMarginDb = 0.2;
/* Where the limiter works it lowers the loudness; the gain is raised by
 * what a trial run falls short, at most this many times, until it is off by
 * less than kCloseEnoughLu. */
constexpr int32_t kCorrections = 3;
constexpr double kCloseEnoughLu = 0.02;

/* Windowed-sinc taps giving x at m + q/4 from x[m - 7 .. m + 8]. */
struct KvInterpolator {
    float taps[kPhases - 1][2 * kHalfTaps];
    float reach = 1.0f; /* the most any phase can make of samples within ±1 */
    KvInterpolator() {
        for (int32_t q = 1; q < kPhases; q++)
            for (int32_t t = 0; t < 2 * kHalfTaps; t++) {
                double at = static_cast<double>(q) / kPhases - (t - kHalfTaps + 1);
                double sinc = std::sin(M_PI * at) / (M_PI * at);
                double window = 0.5 + 0.5 * std::cos(M_PI * at / kHalfTaps);
                taps[q - 1][t] = static_cast<float>(sinc * window);
            }
        for (const auto &phase : taps) {
            float sum = 0;
            for (float tap : phase)
                sum += std::fabs(tap);
            reach = std::max(reach, sum);
        }
    }
};

const KvInterpolator &kvInterpolator() {
    static const KvInterpolator interpolator;
    return interpolator;
}

struct KvLimiter {
    int32_t lookAhead;    /* L, in frames */
    double release;       /* share of the way back to the needed gain per frame */
    float gain;           /* the loudness gain */
    float ceiling;        /* the largest true peak let through, linear */
    int64_t taken;        /* frames in */
    int64_t given;        /* frames out */
    float x[2][kRing];    /* input after the loudness gain */
    float need[kRing];    /* the gain each frame's peak needs */
    int64_t minAt[kRing]; /* frames whose need may still be the window's minimum */
    int64_t minHead, minTail;
    float recent[kRing]; /* the released gain of recent frames */
    double recentSum;    /* of the last L of them */
    float envelope;
    bool engaged;     /* the gain has been turned down somewhere */
    int64_t lastLoud; /* the last frame whose size the interpolator could lift
                         over the ceiling */
};

struct KvLoudnessState {
    KvLimiter limiter;
    bool measured;
    double integratedLufs;
    double correctionDb; /* what the limiter takes off the loudness, given back */
    int32_t channelMask; /* the document channels the limiter's streams are */
    float in[2][KV_BLOCK_FRAMES];
    float out[2][KV_BLOCK_FRAMES];
    int32_t outCount;
    float tail[2][kRing];
    int32_t tailCount; /* -1 until the first drain makes the tail */
    int32_t tailGiven[2];
};

float kvTruePeakAt(const float *x, int64_t m) {
    const KvInterpolator &filter = kvInterpolator();
    float peak = std::fabs(x[m & kMask]);
    for (const auto &taps : filter.taps) {
        float sum = 0;
        for (int32_t t = 0; t < 2 * kHalfTaps; t++)
            sum += taps[t] * x[(m - kHalfTaps + 1 + t) & kMask];
        peak = std::max(peak, std::fabs(sum));
    }
    return peak;
}

void kvLimiterReset(KvLimiter &limiter, int32_t rate) {
    std::memset(&limiter, 0, sizeof limiter);
    limiter.lookAhead = std::clamp(static_cast<int32_t>(std::lround(kLookAheadSeconds * rate)), 1,
                                   kRing - 4 * kHalfTaps);
    limiter.release = 1.0 - std::exp(-1.0 / (kReleaseSeconds * rate));
    std::fill(std::begin(limiter.recent), std::end(limiter.recent), 1.0f);
    limiter.recentSum = limiter.lookAhead;
    limiter.envelope = 1.0f;
    limiter.lastLoud = -kRing;
    limiter.gain = 1.0f;
    limiter.ceiling = 1.0f;
}

/* The least need over the last L + 2 frames, m included: long enough that
 * both ends of every interpolated stretch are covered. */
float kvHeldNeed(KvLimiter &limiter, int64_t m, float need) {
    while (limiter.minTail > limiter.minHead &&
           limiter.need[limiter.minAt[(limiter.minTail - 1) & kMask] & kMask] >= need)
        limiter.minTail--;
    limiter.need[m & kMask] = need;
    limiter.minAt[limiter.minTail++ & kMask] = m;
    if (limiter.minAt[limiter.minHead & kMask] <= m - (limiter.lookAhead + 2)) limiter.minHead++;
    return limiter.need[limiter.minAt[limiter.minHead & kMask] & kMask];
}

/* Takes one frame of `streams` samples; true when a frame came out. */
bool kvLimiterPush(KvLimiter &limiter, int32_t streams, const float *frame, float *outFrame) {
    int64_t k = limiter.taken++;
    /* Below ceiling / reach no interpolated value can pass the ceiling, so
     * the interpolator runs only near a frame that big. */
    float loud = limiter.ceiling / kvInterpolator().reach;
    for (int32_t s = 0; s < streams; s++) {
        float x = frame[s] * limiter.gain;
        limiter.x[s][k & kMask] = x;
        if (std::fabs(x) >= loud) limiter.lastLoud = k;
    }
    int64_t m = k - kHalfTaps;
    if (m < 0) return false;
    float peak = 0;
    if (limiter.lastLoud >= m - kHalfTaps + 1)
        for (int32_t s = 0; s < streams; s++)
            peak = std::max(peak, kvTruePeakAt(limiter.x[s], m));
    float held = kvHeldNeed(limiter, m, peak > limiter.ceiling ? limiter.ceiling / peak : 1.0f);
    limiter.engaged |= held < 1.0f;
    float released =
        static_cast<float>(limiter.envelope + (held - limiter.envelope) * limiter.release);
    limiter.envelope = std::min(held, released);
    limiter.recentSum += limiter.envelope - limiter.recent[(m - limiter.lookAhead) & kMask];
    limiter.recent[m & kMask] = limiter.envelope;
    int64_t j = m - limiter.lookAhead;
    if (j < 0) return false;
    float gain = static_cast<float>(limiter.recentSum / limiter.lookAhead);
    for (int32_t s = 0; s < streams; s++)
        outFrame[s] = limiter.x[s][j & kMask] * gain;
    limiter.given++;
    return true;
}

/* The document channels of a mask, in order; their count. */
int32_t kvStreamsOf(int32_t mask, int32_t *channels) {
    int32_t n = 0;
    for (int32_t c = 0; c < 2; c++)
        if (mask & (1 << c)) channels[n++] = c;
    return n;
}

int32_t kvEditMask(const KV_State *state) {
    if (state->editChannel == 0 || state->editChannel == 1) return 1 << state->editChannel;
    return state->channels == 2 ? 3 : 1;
}

double kvDecibels(double level) {
    return level > 0 ? 20.0 * std::log10(level) : -HUGE_VAL;
}

/* The envelope after a frame that needs no turning down. */
float kvReleased(const KvLimiter &limiter) {
    float released =
        static_cast<float>(limiter.envelope + (1.0f - limiter.envelope) * limiter.release);
    return std::min(1.0f, released);
}

/* Whether any |x[f] * gain| >= loud, f < count; four at a time, as the
 * frames are mostly far quieter. */
bool kvAnyAsLoud(const float *x, int32_t count, float gain, float loud) {
    const __m128 scale = _mm_set1_ps(gain), limit = _mm_set1_ps(loud);
    const __m128 sign = _mm_set1_ps(-0.0f);
    __m128 any = _mm_setzero_ps();
    int32_t f = 0;
    for (; f + 4 <= count; f += 4) {
        __m128 size = _mm_andnot_ps(sign, _mm_mul_ps(_mm_loadu_ps(x + f), scale));
        any = _mm_or_ps(any, _mm_cmpge_ps(size, limit));
    }
    for (; f < count; f++)
        if (std::fabs(x[f] * gain) >= loud) return true;
    return _mm_movemask_ps(any) != 0;
}

/* ring[(at + i) & kMask] = (x ? x[i] : 0) * scale for i < count, in the
 * ring's contiguous runs. */
void kvScaleIntoRing(float *ring, int64_t at, const float *x, float scale, int64_t count) {
    for (int64_t done = 0; done < count;) {
        int64_t start = (at + done) & kMask, n = std::min(count - done, kRing - start);
        for (int64_t i = 0; i < n; i++)
            ring[start + i] = (x ? x[done + i] : 0.0f) * scale;
        done += n;
    }
}

/* out[i] = ring[(at + i) & kMask] * scale for i < count. */
void kvScaleFromRing(const float *ring, int64_t at, float *out, float scale, int64_t count) {
    for (int64_t done = 0; done < count;) {
        int64_t start = (at + done) & kMask, n = std::min(count - done, kRing - start);
        for (int64_t i = 0; i < n; i++)
            out[done + i] = ring[start + i] * scale;
        done += n;
    }
}

/* ring[(at + i) & kMask] = value for i < count. */
template <typename T> void kvFillRing(T *ring, int64_t at, T value, int64_t count) {
    for (int64_t done = 0; done < count;) {
        int64_t start = (at + done) & kMask, n = std::min(count - done, kRing - start);
        std::fill(ring + start, ring + start + n, value);
        done += n;
    }
}

/* True when the limiter would pass these frames at a gain it holds
 * constant throughout: nothing near them is loud enough for the
 * interpolator, the window's least need is 1, and the envelope rests (at 1,
 * or just under it where the release's step is lost to rounding) with the
 * last look-ahead of released gains all equal to it. */
bool kvLimiterIdleFor(const KvLimiter &limiter, int32_t streams, float *const *in, int32_t count) {
    int64_t k = limiter.taken;
    if (limiter.lastLoud >= k - 2 * kHalfTaps + 1 || kvReleased(limiter) != limiter.envelope)
        return false;
    if (limiter.minTail - limiter.minHead > 1 ||
        (limiter.minTail > limiter.minHead &&
         limiter.need[limiter.minAt[limiter.minHead & kMask] & kMask] != 1.0f))
        return false;
    for (int64_t m = k - kHalfTaps - limiter.lookAhead; m < k - kHalfTaps; m++)
        if (limiter.recent[m & kMask] != limiter.envelope) return false;
    float loud = limiter.ceiling / kvInterpolator().reach;
    for (int32_t s = 0; s < streams; s++)
        if (in[s] && kvAnyAsLoud(in[s], count, limiter.gain, loud)) return false;
    return true;
}

/* kvLimitFrames for frames kvLimiterIdleFor passed: the same state and
 * output as frame by frame, in runs short enough that the ring still holds
 * every frame yet to come out. */
int32_t kvPassFrames(KvLimiter &limiter, int32_t streams, float *const *in, float *const *out,
                     int32_t count) {
    const float level = static_cast<float>(limiter.recentSum / limiter.lookAhead);
    const int32_t span = kRing - kHalfTaps - limiter.lookAhead;
    int32_t produced = 0;
    for (int32_t done = 0; done < count;) {
        int32_t n = std::min(span, count - done);
        int64_t k = limiter.taken;
        for (int32_t s = 0; s < streams; s++)
            kvScaleIntoRing(limiter.x[s], k, in[s] ? in[s] + done : nullptr, limiter.gain, n);
        int64_t firstM = std::max<int64_t>(k - kHalfTaps, 0), endM = k + n - kHalfTaps;
        kvFillRing(limiter.need, firstM, 1.0f, endM - firstM);
        kvFillRing(limiter.recent, firstM, limiter.envelope, endM - firstM);
        if (endM > firstM) {
            limiter.minAt[limiter.minHead & kMask] = endM - 1;
            limiter.minTail = limiter.minHead + 1;
        }
        int64_t firstJ = std::max<int64_t>(firstM - limiter.lookAhead, 0);
        int64_t given = std::max<int64_t>(endM - limiter.lookAhead - firstJ, 0);
        for (int32_t s = 0; s < streams; s++)
            kvScaleFromRing(limiter.x[s], firstJ, out[s] + produced, level, given);
        produced += static_cast<int32_t>(given);
        limiter.given += given;
        limiter.taken += n;
        done += n;
    }
    return produced;
}

/* Runs frames through the limiter: in[s] to out[s]; the frames given. */
int32_t kvLimitFrames(KvLimiter &limiter, int32_t streams, float *const *in, float *const *out,
                      int32_t count) {
    if (kvLimiterIdleFor(limiter, streams, in, count))
        return kvPassFrames(limiter, streams, in, out, count);
    int32_t produced = 0;
    float frame[2] = {}, result[2] = {};
    for (int32_t f = 0; f < count; f++) {
        for (int32_t s = 0; s < streams; s++)
            frame[s] = in[s] ? in[s][f] : 0.0f;
        if (!kvLimiterPush(limiter, streams, frame, result)) continue;
        for (int32_t s = 0; s < streams; s++)
            out[s][produced] = result[s];
        produced++;
    }
    return produced;
}

/* Feeds silence until every frame taken has come out, into out[s] (room
 * for kRing frames): the frames given. */
int32_t kvFlushLimiter(KvLimiter &limiter, int32_t streams, float *const *out) {
    int64_t wanted = limiter.taken;
    float silence[2] = {}, result[2] = {};
    int32_t produced = 0;
    while (limiter.given < wanted) {
        if (!kvLimiterPush(limiter, streams, silence, result)) continue;
        for (int32_t s = 0; s < streams; s++)
            out[s][produced] = result[s];
        produced++;
    }
    return produced;
}

/* The tail still held, made once, at the first drain. */
void kvMakeTail(KvLoudnessState &state) {
    if (state.tailCount >= 0) return;
    int32_t channels[2];
    int32_t streams = kvStreamsOf(state.channelMask, channels);
    float *out[2] = {state.tail[0], state.tail[1]};
    state.tailCount = kvFlushLimiter(state.limiter, streams, out);
}

void kvInterleave(float *const *planes, int32_t streams, int32_t count, float *interleaved) {
    for (int32_t s = 0; s < streams; s++)
        for (int32_t f = 0; f < count; f++)
            interleaved[static_cast<size_t>(f) * streams + s] = planes[s][f];
}

int32_t kvStreamOf(const KvLoudnessState &state, int32_t channel) {
    return channel == 1 && (state.channelMask & 1) ? 1 : 0;
}

} // namespace

namespace {

/* The rates KV_LoudnessMeter takes: those libebur128 accepts, less the two
 * lowest, where its ring of filtered frames is shorter than a block. */
constexpr int32_t kMeterLowestRate = 18;
constexpr int32_t kMeterHighestRate = 2822400;
/* Frames K-weighted between trims of the history the blocks reach back to. */
constexpr int64_t kMeterSpan = 65536;
/* Blocks summed side by side, so that their chains of additions overlap. */
constexpr int32_t kSideBySide = 8;

/* libebur128's gates, computed as it computes them. */
double kvAbsoluteGate() {
    return std::pow(10.0, (-70.0 + 0.691) / 10.0);
}
double kvRelativeGateFactor() {
    return std::pow(10.0, -10.0 / 10.0);
}

} // namespace

/* The K-weighting filter's coefficients and the block layout follow
 * libebur128's formulas and integer arithmetic exactly: a coefficient off
 * by one bit would change the measured loudness in its last digits, and
 * every Normalize result recorded so far was made with libebur128. */
void kvStartMeter(KV_LoudnessMeter *m, int32_t streamCount, int32_t rate) {
    m->streams = streamCount;
    m->fed = m->keptFrom = m->summed = 0;
    m->blocks.clear();
    assert(m->streams == 1 || m->streams == 2);
    assert(rate >= kMeterLowestRate && rate <= kMeterHighestRate);
    unsigned long samplerate = static_cast<unsigned long>(rate);
    m->framesPer100ms = static_cast<int64_t>((samplerate + 5) / 10);
    unsigned long ring = samplerate * 400 / 1000;
    unsigned long step = static_cast<unsigned long>(m->framesPer100ms);
    if (ring % step) ring = ring + step - ring % step;
    m->ringFrames = static_cast<int64_t>(ring);
    m->blockFrames = 4 * m->framesPer100ms;

    double f0 = 1681.974450955533, G = 3.999843853973347, Q = 0.7071752369554196;
    double K = std::tan(M_PI * f0 / static_cast<double>(samplerate));
    double Vh = std::pow(10.0, G / 20.0);
    double Vb = std::pow(Vh, 0.4996667741545416);
    double pb[3] = {0.0, 0.0, 0.0}, pa[3] = {1.0, 0.0, 0.0};
    double rb[3] = {1.0, -2.0, 1.0}, ra[3] = {1.0, 0.0, 0.0};
    double a0 = 1.0 + K / Q + K * K;
    pb[0] = (Vh + Vb * K / Q + K * K) / a0;
    pb[1] = 2.0 * (K * K - Vh) / a0;
    pb[2] = (Vh - Vb * K / Q + K * K) / a0;
    pa[1] = 2.0 * (K * K - 1.0) / a0;
    pa[2] = (1.0 - K / Q + K * K) / a0;
    f0 = 38.13547087602444;
    Q = 0.5003270373238773;
    K = std::tan(M_PI * f0 / static_cast<double>(samplerate));
    ra[1] = 2.0 * (K * K - 1.0) / (1.0 + K / Q + K * K);
    ra[2] = (1.0 - K / Q + K * K) / (1.0 + K / Q + K * K);
    m->b[0] = pb[0] * rb[0];
    m->b[1] = pb[0] * rb[1] + pb[1] * rb[0];
    m->b[2] = pb[0] * rb[2] + pb[1] * rb[1] + pb[2] * rb[0];
    m->b[3] = pb[1] * rb[2] + pb[2] * rb[1];
    m->b[4] = pb[2] * rb[2];
    m->a[0] = pa[0] * ra[0];
    m->a[1] = pa[0] * ra[1] + pa[1] * ra[0];
    m->a[2] = pa[0] * ra[2] + pa[1] * ra[1] + pa[2] * ra[0];
    m->a[3] = pa[1] * ra[2] + pa[2] * ra[1];
    m->a[4] = pa[2] * ra[2];
    std::memset(m->state, 0, sizeof m->state);
    m->peak[0] = m->peak[1] = 0.0;
    /* the frames the next block reaches back to, those of m->blocks waiting
     * to be m->summed side by side, and one span more */
    m->weighted.resize(2 * static_cast<size_t>(m->blockFrames +
                                               (kSideBySide + 1) * m->framesPer100ms + kMeterSpan));
}

/* One lane per stream, each doing libebur128's per-channel arithmetic in
 * its order, flushing tiny results to zero as it does while filtering. */
static void kvMeterFilter(KV_LoudnessMeter *m, const float *const *planes, int32_t count,
                          double *out) {
    const __m128d a1 = _mm_set1_pd(m->a[1]), a2 = _mm_set1_pd(m->a[2]), a3 = _mm_set1_pd(m->a[3]),
                  a4 = _mm_set1_pd(m->a[4]);
    const __m128d b0 = _mm_set1_pd(m->b[0]), b1 = _mm_set1_pd(m->b[1]), b2 = _mm_set1_pd(m->b[2]),
                  b3 = _mm_set1_pd(m->b[3]), b4 = _mm_set1_pd(m->b[4]);
    __m128d v1 = _mm_loadu_pd(m->state[0]), v2 = _mm_loadu_pd(m->state[1]);
    __m128d v3 = _mm_loadu_pd(m->state[2]), v4 = _mm_loadu_pd(m->state[3]);
    /* a single stream runs in both lanes; the second is left out of the sums */
    const float *left = planes[0], *right = planes[m->streams - 1];
    const __m128d sign = _mm_set1_pd(-0.0);
    __m128d peaks = _mm_loadu_pd(m->peak);
    unsigned int mxcsr = _mm_getcsr();
    _mm_setcsr(mxcsr | _MM_FLUSH_ZERO_ON);
    for (int32_t f = 0; f < count; f++) {
        __m128d x = _mm_set_pd(right[f], left[f]);
        peaks = _mm_max_pd(_mm_andnot_pd(sign, x), peaks); /* NaN passes over */
        __m128d v0 = _mm_sub_pd(x, _mm_mul_pd(a1, v1));
        v0 = _mm_sub_pd(v0, _mm_mul_pd(a2, v2));
        v0 = _mm_sub_pd(v0, _mm_mul_pd(a3, v3));
        v0 = _mm_sub_pd(v0, _mm_mul_pd(a4, v4));
        __m128d y = _mm_add_pd(_mm_mul_pd(b0, v0), _mm_mul_pd(b1, v1));
        y = _mm_add_pd(y, _mm_mul_pd(b2, v2));
        y = _mm_add_pd(y, _mm_mul_pd(b3, v3));
        y = _mm_add_pd(y, _mm_mul_pd(b4, v4));
        _mm_storeu_pd(out + 2 * static_cast<size_t>(f), y);
        v4 = v3, v3 = v2, v2 = v1, v1 = v0;
    }
    _mm_setcsr(mxcsr);
    _mm_storeu_pd(m->state[0], v1), _mm_storeu_pd(m->state[1], v2);
    _mm_storeu_pd(m->state[2], v3), _mm_storeu_pd(m->state[3], v4);
    _mm_storeu_pd(m->peak, peaks);
}

/* The mean square of each 400 ms block ending at ends[k], each m->summed in
 * libebur128's order: through its ring of filtered frames from the start,
 * so that a block the ring's end splits adds its newest frames first. */
static void kvMeterSumBlocks(const KV_LoudnessMeter *m, const int64_t *ends, double *energies) {
    const double *first[kSideBySide], *second[kSideBySide];
    int64_t split[kSideBySide], cuts[kSideBySide + 2] = {0, m->blockFrames};
    for (int32_t k = 0; k < kSideBySide; k++) {
        int64_t end = ends[k], at = end % m->ringFrames;
        if (at == 0) at = m->ringFrames;
        split[k] = std::min(at, m->blockFrames);
        first[k] = m->weighted.data() + 2 * (end - split[k] - m->keptFrom);
        second[k] = m->weighted.data() + 2 * (end - m->blockFrames - m->keptFrom);
        cuts[k + 2] = split[k];
    }
    std::sort(std::begin(cuts), std::end(cuts));
    __m128d sum[kSideBySide];
    for (auto &lane : sum)
        lane = _mm_setzero_pd();
    for (int32_t c = 0; c + 1 < kSideBySide + 2; c++) {
        const double *p[kSideBySide];
        for (int32_t k = 0; k < kSideBySide; k++)
            p[k] =
                cuts[c] < split[k] ? first[k] + 2 * cuts[c] : second[k] + 2 * (cuts[c] - split[k]);
        /* unrolled, so that every block's sum stays in a register */
        static_assert(kSideBySide == 8);
        for (int64_t i = 0; i < 2 * (cuts[c + 1] - cuts[c]); i += 2)
#pragma GCC unroll 8
            for (int32_t k = 0; k < kSideBySide; k++) {
                __m128d y = _mm_loadu_pd(p[k] + i);
                sum[k] = _mm_add_pd(sum[k], _mm_mul_pd(y, y));
            }
    }
    for (int32_t k = 0; k < kSideBySide; k++) {
        double lanes[2];
        _mm_storeu_pd(lanes, sum[k]);
        double energy = 0.0;
        for (int32_t s = 0; s < m->streams; s++)
            energy += lanes[s];
        energies[k] = energy / static_cast<double>(m->blockFrames);
    }
}

/* Sums the m->blocks that end after `m->summed` and by `to`, kSideBySide at a
 * time; the last few too when `all`. Kept when over the floor. */
static void kvMeterGateBlocks(KV_LoudnessMeter *m, int64_t to, bool all) {
    int64_t ends[kSideBySide];
    double energies[kSideBySide];
    int64_t next = std::max(m->blockFrames, m->summed + m->framesPer100ms);
    int64_t due = to >= next ? (to - next) / m->framesPer100ms + 1 : 0;
    while (due >= kSideBySide || (all && due > 0)) {
        int32_t n = static_cast<int32_t>(std::min<int64_t>(due, kSideBySide));
        for (int32_t k = 0; k < kSideBySide; k++)
            ends[k] = next + std::min(k, n - 1) * m->framesPer100ms;
        kvMeterSumBlocks(m, ends, energies);
        for (int32_t k = 0; k < n; k++)
            if (energies[k] >= kvAbsoluteGate()) m->blocks.push_back(energies[k]);
        m->summed = ends[n - 1];
        next = m->summed + m->framesPer100ms;
        due -= n;
    }
}

void kvMeterAdd(KV_LoudnessMeter *m, const float *const *planes, int32_t count) {
    for (int32_t done = 0; done < count;) {
        int32_t n = static_cast<int32_t>(std::min<int64_t>(count - done, kMeterSpan));
        if (2 * static_cast<size_t>(m->fed - m->keptFrom + n) > m->weighted.size()) {
            int64_t from = std::max(m->keptFrom, m->summed - m->blockFrames);
            std::memmove(m->weighted.data(), m->weighted.data() + 2 * (from - m->keptFrom),
                         2 * (m->fed - from) * sizeof(double));
            m->keptFrom = from;
            assert(2 * static_cast<size_t>(m->fed - m->keptFrom + n) <= m->weighted.size());
        }
        const float *piece[2] = {planes[0] + done, planes[m->streams - 1] + done};
        kvMeterFilter(m, piece, n, m->weighted.data() + 2 * (m->fed - m->keptFrom));
        m->fed += n;
        kvMeterGateBlocks(m, m->fed, false);
        done += n;
    }
}

double kvMeterIntegratedLufs(KV_LoudnessMeter *m) {
    kvMeterGateBlocks(m, m->fed, true);
    if (m->blocks.empty()) return -HUGE_VAL;
    double threshold = 0.0;
    for (double energy : m->blocks)
        threshold += energy;
    threshold /= static_cast<double>(m->blocks.size());
    threshold *= kvRelativeGateFactor();
    double gated = 0.0;
    size_t above = 0;
    for (double energy : m->blocks)
        if (energy >= threshold) above++, gated += energy;
    if (above == 0) return -HUGE_VAL;
    gated /= static_cast<double>(above);
    return 10 * (std::log(gated) / std::log(10.0)) - 0.691;
}

double kvMeterSamplePeak(const KV_LoudnessMeter *m) {
    return std::max(m->peak[0], m->peak[1]);
}

/* Reads the range 100 ms at a time, through the limiter when one is given
 * (then its tail), handing each piece to take(planes, count, isTail):
 * 0, or -1 when cancelled. */
template <typename Take>
static int32_t kvReadRange(const KvLoudnessRange &range, bool withProgress, KvLimiter *through,
                           Take take) {
    int32_t channels[2];
    int32_t streams = kvStreamsOf(range.channelMask, channels);
    int32_t rate = std::max(kvGetDocument(range.doc)->current->sampleRate, 1);
    int32_t chunk = std::max(rate / 10, 1);
    std::vector<float> planar(2 * static_cast<size_t>(std::max(chunk, kRing)));
    float *in[2] = {planar.data(), planar.data() + planar.size() / 2};
    bool cancelled = false;
    for (int32_t at = 0; at < range.length && !cancelled; at += chunk) {
        int32_t count = std::min(chunk, range.length - at);
        for (int32_t s = 0; s < streams; s++)
            kvReadSamples(range.doc, channels[s], -1, in[s], range.lower + at, count);
        if (through) count = kvLimitFrames(*through, streams, in, in, count);
        take(in, count, false);
        /* Once a second of sound: often enough for Cancel, as it is measured
         * hundreds of times faster than it plays. */
        if (withProgress && at % (10 * chunk) == 0) {
            kvProgress(nullptr,
                       static_cast<int32_t>(static_cast<int64_t>(at) * 100 / range.length));
            cancelled = kvCancelRequested();
        }
    }
    if (cancelled) return -1;
    if (through) take(in, kvFlushLimiter(*through, streams, in), true);
    return 0;
}

/* The integrated loudness and sample peak alone, by KV_LoudnessMeter. */
static int32_t kvMeterIntegrated(const KvLoudnessRange &range, bool withProgress,
                                 KvLimiter *through, KV_Loudness *result) {
    int32_t channels[2];
    int32_t streams = kvStreamsOf(range.channelMask, channels);
    KV_LoudnessMeter meter;
    kvStartMeter(&meter, streams, kvGetDocument(range.doc)->current->sampleRate);
    auto take = [&meter](float *const *in, int32_t count, bool) { kvMeterAdd(&meter, in, count); };
    if (kvReadRange(range, withProgress, through, take) != 0) return -1;
    *result = KV_Loudness{-HUGE_VAL, 0, -HUGE_VAL, -HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    result->integratedLufs = kvMeterIntegratedLufs(&meter);
    result->samplePeakDbfs = kvDecibels(kvMeterSamplePeak(&meter));
    return 0;
}

/* Measures the range, or with a limiter what the limiter makes of it. */
static int32_t kvMeterRange(const KvLoudnessRange &range, bool withProgress, bool integratedOnly,
                            KvLimiter *through, KV_Loudness *result) {
    int32_t channels[2];
    int32_t streams = kvStreamsOf(range.channelMask, channels);
    int32_t rate = std::max(kvGetDocument(range.doc)->current->sampleRate, 1);
    if (integratedOnly && rate >= kMeterLowestRate && rate <= kMeterHighestRate)
        return kvMeterIntegrated(range, withProgress, through, result);
    int mode = EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK;
    if (!integratedOnly)
        mode |= EBUR128_MODE_LRA | EBUR128_MODE_S | EBUR128_MODE_M | EBUR128_MODE_TRUE_PEAK;
    ebur128_state *meter = ebur128_init(streams, rate, mode);
    if (!meter) return kvError(0, "Can't measure loudness at %d Hz: the meter cannot start.", rate);
    std::vector<float> interleaved(2 * static_cast<size_t>(std::max(rate / 10, kRing)));
    KV_Loudness measured{-HUGE_VAL, 0, -HUGE_VAL, -HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    auto take = [&](float *const *in, int32_t count, bool tail) {
        kvInterleave(in, streams, count, interleaved.data());
        ebur128_add_frames_float(meter, interleaved.data(), count);
        double value;
        if (tail || integratedOnly) return;
        if (ebur128_loudness_momentary(meter, &value) == EBUR128_SUCCESS)
            measured.momentaryMaxLufs = std::max(measured.momentaryMaxLufs, value);
        if (ebur128_loudness_shortterm(meter, &value) == EBUR128_SUCCESS)
            measured.shortTermMaxLufs = std::max(measured.shortTermMaxLufs, value);
    };
    int32_t status = kvReadRange(range, withProgress, through, take);
    ebur128_loudness_global(meter, &measured.integratedLufs);
    double truePeak = 0, samplePeak = 0, value;
    for (int32_t s = 0; s < streams; s++) {
        if (!integratedOnly && ebur128_true_peak(meter, s, &value) == EBUR128_SUCCESS)
            truePeak = std::max(truePeak, value);
        if (ebur128_sample_peak(meter, s, &value) == EBUR128_SUCCESS)
            samplePeak = std::max(samplePeak, value);
    }
    measured.samplePeakDbfs = kvDecibels(samplePeak);
    if (!integratedOnly) {
        ebur128_loudness_range(meter, &measured.rangeLu);
        measured.truePeakDbtp = kvDecibels(truePeak);
    }
    ebur128_destroy(&meter);
    if (status != 0) return -1;
    *result = measured;
    return 0;
}

int32_t kvMeasureRange(const KvLoudnessRange &range, bool withProgress, bool integratedOnly,
                       KV_Loudness *result) {
    return kvMeterRange(range, withProgress, integratedOnly, nullptr, result);
}

extern "C" KV_API int32_t kvMeasureLoudness(int32_t doc, KV_Loudness *result, int32_t size) {
    const KV_Document *document = kvGetDocument(doc);
    if (!document || !result || size != static_cast<int32_t>(sizeof(KV_Loudness))) return -1;
    const KV_State *state = document->current;
    int32_t lower = std::min(state->selAnchor, state->selEnd);
    int32_t upper = std::max(state->selAnchor, state->selEnd);
    if (lower == upper) lower = 0, upper = state->length;
    KvLoudnessRange range{doc, kvEditMask(state), lower, upper - lower};
    kvProgress("Measuring Loudness", 0);
    kvEngine.params->cancellable = 1;
    int32_t status = kvMeasureRange(range, true, false, result);
    kvProgress(nullptr, -1);
    return status;
}

/* Sets the limiter's gain and ceiling from the parameters. */
static void kvSetLimits(const KvEffectRun &run, const KvLoudnessState &state, KvLimiter &limiter) {
    double gainDb =
        std::isfinite(state.integratedLufs)
            ? run.repair->loudnessTarget / 10.0 - state.integratedLufs + state.correctionDb
            : 0.0;
    limiter.gain = static_cast<float>(std::pow(10.0, gainDb / 20.0));
    double ceilingDb = run.repair->loudnessCeiling / 10.0 - kCeilingMarginDb;
    limiter.ceiling = static_cast<float>(std::pow(10.0, ceilingDb / 20.0));
}

void kvLoudnessPrepare(KvEffectRun &run) {
    KvLoudnessState &state = kvRunState<KvLoudnessState>(run);
    kvSetLimits(run, state, state.limiter);
}

/* Trial runs of the limiter over the range, each raising the correction by
 * what the result falls short of the target: 0, or -1 when cancelled. */
static int32_t kvCorrectForLimiting(const KvEffectRun &run, KvLoudnessState &state,
                                    const KvLoudnessRange &range, int32_t rate,
                                    double samplePeakDbfs) {
    /* A peak the interpolator cannot lift over the ceiling: nothing to do. */
    double highestDb = samplePeakDbfs + 20 * std::log10(kvInterpolator().reach) +
                       run.repair->loudnessTarget / 10.0 - state.integratedLufs;
    if (highestDb < run.repair->loudnessCeiling / 10.0 - kCeilingMarginDb) return 0;
    auto *trial = static_cast<KvLimiter *>(kvAlloc(sizeof(KvLimiter)));
    int32_t status = 0;
    for (int32_t pass = 0; pass < kCorrections; pass++) {
        kvLimiterReset(*trial, rate);
        kvSetLimits(run, state, *trial);
        KV_Loudness result;
        if ((status = kvMeterRange(range, true, true, trial, &result)) != 0) break;
        double shortfall = run.repair->loudnessTarget / 10.0 - result.integratedLufs;
        if (!trial->engaged || !std::isfinite(shortfall) || std::fabs(shortfall) < kCloseEnoughLu)
            break;
        state.correctionDb += shortfall;
    }
    kvFree(trial);
    return status;
}

/* Measures the range the run works on: 0, or -1 (cancelled, or silence
 * for an edit: the message is shown). */
static int32_t kvLoudnessMeasure(KvEffectRun &run, KvLoudnessState &state) {
    const KV_State *current = kvGetDocument(run.doc)->current;
    bool preview = kvIsPreviewRun(run);
    int32_t lower = std::min(current->selAnchor, current->selEnd);
    int32_t upper = std::max(current->selAnchor, current->selEnd);
    if (lower == upper) lower = 0, upper = current->length;
    KvLoudnessRange range{run.doc, kvEditMask(current), lower, upper - lower};
    KV_Loudness measured{};
    if (!preview) kvProgress("Measuring Loudness", 0);
    int32_t status = kvMeasureRange(range, !preview, true, &measured);
    state.integratedLufs = measured.integratedLufs;
    if (status == 0 && !preview && std::isfinite(measured.integratedLufs))
        status = kvCorrectForLimiting(run, state, range, std::max(current->sampleRate, 1),
                                      measured.samplePeakDbfs);
    if (!preview) kvProgress(nullptr, -1);
    if (status != 0) return -1;
    if (!preview && !std::isfinite(measured.integratedLufs))
        return kvError(0, "The selection is too quiet to measure its loudness, so Loudness "
                          "Normalize cannot tell what gain to apply. Select a part that holds "
                          "sound, at least 0.4 seconds long.");
    state.measured = true;
    return 0;
}

int32_t kvLoudnessStart(KvEffectRun &run) {
    KvLoudnessState &state = kvRunState<KvLoudnessState>(run);
    if (!state.measured && kvLoudnessMeasure(run, state) != 0) return -1;
    const KV_State *current = kvGetDocument(run.doc)->current;
    kvLimiterReset(state.limiter, std::max(current->sampleRate, 1));
    state.channelMask = kvEditMask(current);
    state.tailCount = -1;
    state.tailGiven[0] = state.tailGiven[1] = 0;
    return 0;
}

void kvLoudnessFinish(KvEffectRun &) {}

void kvLoudnessBlock(KvEffectRun &run, const KvBlockStep &step) {
    KvLoudnessState &state = kvRunState<KvLoudnessState>(run);
    if (step.processed == 0) {
        int32_t channels[2];
        int32_t streams = kvStreamsOf(state.channelMask, channels);
        int32_t level = kvGetDocument(step.doc)->level - 1;
        for (int32_t s = 0; s < streams; s++)
            kvReadSamples(step.doc, channels[s], level, state.in[s], step.lower + step.offset,
                          step.count);
        float *in[2] = {state.in[0], state.in[1]}, *out[2] = {state.out[0], state.out[1]};
        state.outCount = kvLimitFrames(state.limiter, streams, in, out, step.count);
    }
    if (state.outCount > 0)
        kvQueueInsert(step.doc, step.channel, state.out[kvStreamOf(state, step.channel)],
                      state.outCount);
}

int32_t kvLoudnessDrain(KvEffectRun &run, int32_t channel, float *out, int32_t) {
    KvLoudnessState &state = kvRunState<KvLoudnessState>(run);
    kvMakeTail(state);
    int32_t stream = kvStreamOf(state, channel);
    int32_t count = std::min(state.tailCount - state.tailGiven[stream], KV_BLOCK_FRAMES);
    std::memcpy(out, state.tail[stream] + state.tailGiven[stream], count * sizeof(float));
    state.tailGiven[stream] += count;
    return count;
}

int32_t kvLoudnessPreview(KvEffectRun &run, float *left, float *right, int32_t count, int32_t,
                          int32_t) {
    KvLoudnessState &state = kvRunState<KvLoudnessState>(run);
    state.channelMask = (left ? 1 : 0) | (right ? 2 : 0);
    float *buffers[2] = {left ? left : right, left ? right : nullptr};
    int32_t streams = left && right ? 2 : 1;
    /* Output never overtakes input, so the buffers are worked in place. */
    return kvLimitFrames(state.limiter, streams, buffers, buffers, count);
}
