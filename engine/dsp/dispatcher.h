/*
 * dispatcher.h - the edit dispatcher and the table of per-edit operations.
 *
 * Every effect that rewrites samples runs through kvDoEdit: it fixes the
 * range, opens the undo step, runs the edit block by block over every
 * processed channel, honours a cancel, commits and cross-fades the edges.
 * Each edit contributes one row of operations to the table; the live preview
 * runs the same routines on playback buffers through kvPreviewProcess.
 */
#ifndef KV_DSP_DISPATCHER_H
#define KV_DSP_DISPATCHER_H

#include <cstdint>

#define KV_EDIT_COUNT 18

/* Where a block step stands in the edit. */
struct KvBlockStep {
    int32_t doc;
    int32_t channel;     /* c: the document channel */
    int32_t processed;   /* channels already processed in this block */
    int32_t lower;       /* first frame of the range */
    int32_t offset;      /* o: the block's offset from the range start */
    int32_t count;       /* n: frames in this block */
    int32_t rangeLength; /* L */
};

/* The operations of one edit; a null entry means "nothing to do". */
struct KvEditOps {
    const char *name;
    bool edgeFade;
    void (*prepare)(int32_t doc);
    int32_t (*start)(int32_t doc); /* non-zero: the edit cannot run */
    void (*finish)();
    /* Reads what it needs from the state before the edit and appends exactly
     * the samples it produces to the new state. */
    void (*block)(const KvBlockStep &step);
    /* Delayed output after the last block: samples written to `out` (at most
     * 4096); 0 only once all the input the edit still held has come out, so
     * the dispatcher calls it until then. */
    int32_t (*drain)(int32_t doc, int32_t channel, float *out, int32_t rangeLength);
    /* Runs the edit in place on a preview buffer of one channel: the samples
     * produced. */
    int32_t (*preview)(int32_t doc, int32_t channel, float *buffer, int32_t count,
                       int32_t rangeLength, int32_t position);
    /* For edits that work on both channels at once (echoes, reverb): runs in
     * place on the left and right buffers together (either may be null);
     * used instead of `preview` when present. */
    int32_t (*previewPair)(int32_t doc, float *left, float *right, int32_t count,
                           int32_t rangeLength, int32_t position) = nullptr;
};

extern const KvEditOps kvEditTable[KV_EDIT_COUNT];

/* The dispatcher's working blocks. */
extern float blockA[4096];
extern float blockB[12288];

void kvEffectPrepare(int32_t doc, int32_t edit);
int32_t kvEffectStart(int32_t doc, int32_t edit);
void kvEffectFinish(int32_t edit);

/* Runs edit `edit` in place on up to two preview buffers (null ones are
 * skipped): -1 for a bad document, else the samples produced. Edits with
 * delayed output (FFT) produce fewer samples than count at first; a call
 * with count 0 drains that delayed output into the buffers (room for 4096
 * samples each), and returns 0 once it is all out. */
int32_t kvPreviewProcess(int32_t doc, int32_t edit, float *left, float *right, int32_t count,
                         int32_t rangeLength, int32_t position);

/* a × b, held at the int64 limits: factors taken from the stored records
 * can be anything a damaged settings store holds. */
inline int64_t kvSaturatingProduct(int64_t a, int64_t b) {
    int64_t product;
    if (!__builtin_mul_overflow(a, b, &product)) return product;
    return (a < 0) != (b < 0) ? INT64_MIN : INT64_MAX;
}

/* The frames extendEffect × extendAmount seconds add at this rate, held
 * within ±INT32_MAX (positions are 32-bit). */
inline int64_t kvExtensionFrames(int32_t extendEffect, int32_t extendAmount, int32_t rate) {
    int64_t frames = kvSaturatingProduct(kvSaturatingProduct(extendEffect, extendAmount), rate);
    return frames < -INT32_MAX ? -INT32_MAX : frames > INT32_MAX ? INT32_MAX : frames;
}

/* 2^(dB/6): six decibels per doubling. */
double kvDbToGain(double db);

#endif
