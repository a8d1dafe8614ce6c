/*
 * side_worker.h - a second thread that runs one job at a time beside its
 * caller, for work that splits into two independent halves (the channels
 * of a stereo effect).
 *
 * A hand-over costs microseconds, not a thread's start, so it pays on jobs
 * of a fraction of a millisecond. The job owns nothing the caller touches
 * until kvSideWorkerWait returns; everything the caller wrote before
 * kvSideWorkerPost is visible to the job, and everything the job wrote is
 * visible to the caller after the wait.
 */
#ifndef KV_PLATFORM_SIDE_WORKER_H
#define KV_PLATFORM_SIDE_WORKER_H

struct KvSideWorker;

/* A worker with its thread started, or null when no thread could be made
 * (the caller then does the job itself). */
KvSideWorker *kvSideWorkerStart();

/* Hands `job(arg)` to the worker and returns at once; the previous job must
 * have been waited for. */
void kvSideWorkerPost(KvSideWorker *worker, void (*job)(void *), void *arg);

/* Returns when the posted job has finished. */
void kvSideWorkerWait(KvSideWorker *worker);

/* Ends the thread and frees the worker; null is ignored. */
void kvSideWorkerStop(KvSideWorker *worker);

#endif
