/*
 * side_by_side.cpp - the stereo block split of side_by_side.h.
 *
 * The run starts its worker at the first stereo block and keeps it to the
 * end (kvEffectFinish stops it), so a block costs two hand-overs, not a
 * thread's start. Channel 1 is read first so that its work overlaps the
 * reading, processing and storing of channel 0.
 */
#include "engine/dsp/side_by_side.h"
#include "engine/document/document.h"
#include "engine/platform/side_worker.h"

#include <atomic>
#include <thread>

static std::atomic<bool> kvSideBySideAllowed{true};

void kvAllowSideBySide(bool allow) {
    kvSideBySideAllowed.store(allow, std::memory_order_relaxed);
}

/* The run's worker, started at first use; null when it cannot help. */
static KvSideWorker *kvRunWorker(KvEffectRun &run) {
    static const bool cores = std::thread::hardware_concurrency() > 1;
    if (!run.sideWorker && cores && !kvIsPreviewRun(run) &&
        kvSideBySideAllowed.load(std::memory_order_relaxed))
        run.sideWorker = kvSideWorkerStart();
    return run.sideWorker;
}

struct KvSideJob {
    KvEffectRun *run;
    const KvBlockStep *step;
    KvChannelWork work;
    int32_t produced;
};

static void kvRunSideJob(void *arg) {
    KvSideJob &job = *static_cast<KvSideJob *>(arg);
    job.produced = job.work(*job.run, *job.step, 1, job.run->blockB);
}

bool kvBlockSideBySide(KvEffectRun &run, const KvBlockStep &step, KvChannelWork work) {
    KV_Document *document = kvGetDocument(step.doc);
    const KV_State *state = document->current;
    if (state->editChannel != -1 || state->channels < 2) return false;
    if (step.channel != 0) return run.sideWorker != nullptr;
    KvSideWorker *worker = kvRunWorker(run);
    if (!worker) return false;
    int32_t start = step.lower + step.offset, level = document->level - 1;
    kvReadSamples(step.doc, 1, level, run.blockB, start, step.count);
    KvSideJob right{&run, &step, work, 0};
    kvSideWorkerPost(worker, kvRunSideJob, &right);
    kvReadSamples(step.doc, 0, level, run.blockA, start, step.count);
    int32_t produced = work(run, step, 0, run.blockA);
    if (produced > 0) kvQueueInsert(step.doc, 0, run.blockA, produced);
    kvSideWorkerWait(worker);
    if (right.produced > 0) kvQueueInsert(step.doc, 1, run.blockB, right.produced);
    return true;
}
