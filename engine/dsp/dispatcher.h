/*
 * dispatcher.h - the edit dispatcher and the table of per-edit operations.
 *
 * Every effect that rewrites samples runs through kvDoEdit: it fixes the
 * range, opens the undo step, runs the edit block by block over every
 * processed channel, honours a cancel, commits and cross-fades the edges.
 * Each edit contributes one row of operations to the table; the live preview
 * runs the same routines on playback buffers through kvPreviewProcess. Every
 * operation works on a KvEffectRun, so two runs never meet.
 */
#ifndef KV_DSP_DISPATCHER_H
#define KV_DSP_DISPATCHER_H

#include "korvel.h"

#include <cstdint>
#include <type_traits>

#define KV_EDIT_COUNT (KV_EDIT_NOISE_REDUCTION + 1)

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

struct KvEditOps;
struct KvSideWorker;

/* One run of an edit: one kvDoEdit, or one preview from its start to its
 * stop. The run owns everything the effect changes while samples flow, so
 * an edit on the interface thread and a preview on the feeder thread share
 * no state and need no lock; it is allocated whole at start, and nothing
 * on the way through a buffer allocates. */
struct KvEffectRun {
    int32_t doc;
    const KvEditOps *ops; /* null for an edit number without a row */
    /* What the effect reads its parameters from: the program's record for
     * kvDoEdit (the interface thread owns it), `snapshot` for a preview. */
    const KV_Params *params;
    void *state; /* the effect's own record (kvRunState), freed at finish */
    KV_Params snapshot;
    /* The loudness and noise parameters, read the same way as `params`. */
    const KV_RepairParams *repair;
    KV_RepairParams repairSnapshot;
    /* The second core's thread of a stereo edit (side_by_side.h), stopped
     * at finish. */
    KvSideWorker *sideWorker;
    float blockA[4096];
    float blockB[12288];
};

/* The operations of one edit; a null entry means "nothing to do". */
struct KvEditOps {
    const char *name;
    bool edgeFade;
    /* Forms the constants the block or preview routine needs from the
     * parameters (for a preview, before every buffer). */
    void (*prepare)(KvEffectRun &run);
    /* Sets the run up for a fresh pass: makes the effect's state the first
     * time and clears it, so a preview starting its next pass allocates
     * nothing. Non-zero: the edit cannot run. */
    int32_t (*start)(KvEffectRun &run);
    /* Frees what start made beside the state record itself. */
    void (*finish)(KvEffectRun &run);
    /* Reads what it needs from the state before the edit and appends exactly
     * the samples it produces to the new state. */
    void (*block)(KvEffectRun &run, const KvBlockStep &step);
    /* Delayed output after the last block: samples written to `out` (at most
     * 4096); 0 only once all the input the edit still held has come out, so
     * the dispatcher calls it until then. */
    int32_t (*drain)(KvEffectRun &run, int32_t channel, float *out, int32_t rangeLength);
    /* Runs the edit in place on a preview buffer of one channel: the samples
     * produced. */
    int32_t (*preview)(KvEffectRun &run, int32_t channel, float *buffer, int32_t count,
                       int32_t rangeLength, int32_t position);
    /* For edits that work on both channels at once (echoes, reverb): runs in
     * place on the left and right buffers together (either may be null);
     * used instead of `preview` when present. */
    int32_t (*previewPair)(KvEffectRun &run, float *left, float *right, int32_t count,
                           int32_t rangeLength, int32_t position) = nullptr;
};

extern const KvEditOps kvEditTable[KV_EDIT_COUNT];

/* Who the run is for: an edit reads the program's parameters in place, a
 * preview a copy of them taken once per buffer. */
enum KvRunKind : int32_t { KV_RUN_EDIT, KV_RUN_PREVIEW };

/* Makes the run of edit `edit` on document `doc` and starts it: null when
 * the document is bad or the edit cannot run on it (nothing is left
 * allocated then). An edit number without a row gives a run that leaves
 * the sound as it is. */
KvEffectRun *kvEffectStart(int32_t doc, int32_t edit, KvRunKind kind);
void kvEffectPrepare(KvEffectRun *run);
/* Frees the run and all it holds; null is accepted. */
void kvEffectFinish(KvEffectRun *run);

/* Copies the shared parameter record (and the engine's repair record) into
 * a preview run's snapshots, one atomic load per field: every field is an
 * aligned int32, so none is ever seen half written, and the effect reads one
 * value of each field for the whole buffer. */
void kvEffectTakeParams(KvEffectRun *run, const KV_Params *shared);

/* The effect's own record of type T in the run: made, zeroed, by the first
 * call (from the effect's start) and freed with the run. */
void *kvRunStateOf(KvEffectRun &run, int32_t size);
template <typename T> T &kvRunState(KvEffectRun &run) {
    static_assert(std::is_trivially_copyable_v<T>, "the state is zeroed, not constructed");
    return *static_cast<T *>(kvRunStateOf(run, static_cast<int32_t>(sizeof(T))));
}

/* Runs a preview run on up to two preview buffers in place (null ones are
 * skipped), after taking a fresh snapshot of the parameters: -1 for a bad
 * document, else the samples produced. Position 0 starts a new pass.
 * Edits with delayed output (FFT) produce fewer samples than count at
 * first; a call with count 0 drains that delayed output into the buffers
 * (room for 4096 samples each), and returns 0 once it is all out. */
/* True for a preview run, false for a kvDoEdit one. */
inline bool kvIsPreviewRun(const KvEffectRun &run) {
    return run.params == &run.snapshot;
}

int32_t kvPreviewProcess(KvEffectRun *run, float *left, float *right, int32_t count,
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
