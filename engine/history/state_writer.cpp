/*
 * state_writer.cpp - the background writer of state files and records.
 *
 * One thread, one queue, run in order. The interface thread queues and
 * waits; the writer only reads what a job names (its own share of the
 * tables, whose chunks nobody changes while shared) and writes files
 * through fileio, which any thread may use. Outcomes go back through a list that
 * the interface thread takes, so that every message is still shown there.
 */
#include "engine/history/state_writer.h"
#include "engine/core/services.h"
#include "engine/platform/fileio.h"
#include "engine/platform/threads.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

/* About 1800 descriptors a channel (two minutes of stereo at 44.1 kHz):
 * written in well under a millisecond. */
static const int64_t kvDefaultInlineBytes = 512 * 1024;
static int64_t inlineBytes = kvDefaultInlineBytes;

struct KV_WriteJob {
    int64_t ticket;
    int32_t doc;
    int32_t level; /* the state file's level, or the level a record names */
    bool stateFile;
    std::string path;
    std::string levelPath; /* a record's: the state file it names */
    KV_StateImage image;
    KV_DocRecord record;
    bool cancelled; /* called off before it started: skipped */
};

static std::mutex queueLock;
static std::condition_variable queueChanged;
static std::deque<KV_WriteJob> jobs; /* the front one runs while `busy` */
static std::vector<KV_WriteOutcome> outcomes;
static std::thread writer;
static std::thread::id writerId;
static bool busy = false;
static bool stopping = false;
static bool held = false;                 /* test hook: no job starts */
static std::atomic<int64_t> abandoned{0}; /* the running job to stop, by ticket (unique) */
static int64_t nextTicket = 1;

static bool kvOnWriterThread() {
    return std::this_thread::get_id() == writerId;
}

KV_StateImage kvStateImage(const KV_State *state) {
    KV_StateImage image{};
    KV_StateHeader &header = image.header;
    std::memcpy(header.label, state->label, sizeof header.label);
    header.channels = state->channels;
    header.length = state->length;
    header.editChannel = state->editChannel;
    header.selAnchor = state->selAnchor;
    header.selEnd = state->selEnd;
    header.sampleRate = state->sampleRate;
    header.firstFrame = state->firstFrame;
    header.framesPerPixel = state->framesPerPixel;
    for (int32_t c = 0; c < std::clamp(state->channels, 0, 2); c++)
        image.tables[c] = state->tables[c];
    return image;
}

uint32_t kvStateHeaderCheck(const KV_StateHeader &header) {
    const auto *bytes = reinterpret_cast<const uint8_t *>(&header);
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < sizeof header; i++)
        hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

int64_t kvStateFileBytes(const KV_StateImage &image) {
    int64_t bytes = sizeof image.header;
    for (int32_t c = 0; c < std::clamp(image.header.channels, 0, 2); c++)
        bytes += sizeof(int32_t) + int64_t{image.tables[c].count} * sizeof(KV_Block);
    return bytes;
}

/* The descriptors of one table, run by run; the writer stops between runs
 * once its job is called off. */
static bool kvWriteTable(int32_t file, const KV_Table &table, int64_t ticket) {
    bool written = true;
    kvTableSpans(table, 0, table.count, [&](const KV_Block *blocks, int32_t count) {
        written = (ticket == 0 || abandoned.load() != ticket) &&
                  kvFileWrite(file, blocks, int64_t{count} * sizeof(KV_Block));
        return written;
    });
    return written;
}

static bool kvWriteImage(int32_t file, const KV_StateImage &image, int64_t ticket) {
    bool interface = !kvOnWriterThread();
    if (!kvFileWrite(file, &image.header, sizeof image.header)) return false;
    int32_t channels = std::clamp(image.header.channels, 0, 2);
    for (int32_t c = 0; c < channels; c++) {
        int32_t count = image.tables[c].count;
        if (!kvFileWrite(file, &count, sizeof count)) return false;
        if (!kvWriteTable(file, image.tables[c], ticket)) return false;
        if (interface) kvProgress(nullptr, 100 * (c + 1) / channels);
    }
    return true;
}

bool kvWriteStateImage(int32_t file, const KV_StateImage &image) {
    return kvWriteImage(file, image, 0);
}

void kvAssertStateConsistent([[maybe_unused]] const KV_State *state,
                             [[maybe_unused]] bool selection) {
#ifndef NDEBUG
    int64_t longest = 0;
    for (int32_t c = 0; c < std::clamp(state->channels, 0, 2); c++) {
        const KV_Table &table = state->tables[c];
        int64_t total = 0;
        int32_t count = 0;
        kvTableSpans(table, 0, table.count, [&](const KV_Block *blocks, int32_t n) {
            for (int32_t b = 0; b < n; b++) {
                assert(kvBlockIsUsable(blocks[b]));
                total += blocks[b].length;
            }
            count += n;
            return true;
        });
        assert(total == table.frames && count == table.count);
        longest = std::max(longest, total);
    }
    assert(state->length == std::min<int64_t>(longest, INT32_MAX));
    if (selection) {
        assert(state->selAnchor >= 0 && state->selAnchor <= state->length);
        assert(state->selEnd >= 0 && state->selEnd <= state->length);
    }
#endif
}

/* ---- The writer thread ---- */

/* Writes a state file aside and renames it into place; a failed one leaves
 * no file under either name, so the level is never loaded from an older
 * state's file. */
static bool kvRunStateJob(const KV_WriteJob &job, bool *limitHit) {
    assert(kvOnWriterThread());
    std::string fresh = job.path + ".new";
    int32_t file = kvFileOpen(fresh, KV_FILE_CREATE_PRIVATE);
    *limitHit = file < 0 && kvFileLimitHit();
    bool written = file >= 0 && kvWriteImage(file, job.image, job.ticket);
    kvFileClose(file);
    /* A job called off leaves the level's file as it was. */
    if (abandoned.load() == job.ticket) {
        kvFileRemove(fresh);
        return false;
    }
    written = written && kvFileRename(fresh, job.path);
    if (written) return true;
    kvFileRemove(fresh);
    kvFileRemove(job.path);
    return false;
}

/* A record whose state file failed keeps the record before it, which names
 * a state that did land. */
static bool kvRunRecordJob(const KV_WriteJob &job) {
    assert(kvOnWriterThread());
    if (!kvFileExists(job.levelPath)) return true;
    return kvStoreDocRecord(job.path, job.record);
}

static void kvLetGoJob(KV_WriteJob *job) {
    for (KV_Table &table : job->image.tables)
        kvTableRelease(&table);
}

static void kvWriterLoop() {
    std::unique_lock<std::mutex> hold(queueLock);
    for (;;) {
        queueChanged.wait(hold, [] { return stopping || (!held && !jobs.empty()); });
        if (jobs.empty()) return;
        if (jobs.front().cancelled) {
            jobs.pop_front();
            queueChanged.notify_all();
            continue;
        }
        busy = true;
        const KV_WriteJob &job = jobs.front();
        hold.unlock();
        bool limitHit = false;
        bool written = job.stateFile ? kvRunStateJob(job, &limitHit) : kvRunRecordJob(job);
        hold.lock();
        if (abandoned.load() != job.ticket)
            outcomes.push_back({job.ticket, job.doc, job.stateFile, written, limitHit});
        kvLetGoJob(&jobs.front());
        jobs.pop_front();
        busy = false;
        queueChanged.notify_all();
    }
}

/* ---- The interface thread's side ---- */

static bool kvPendingFor(int32_t doc, int32_t level) {
    return std::any_of(jobs.begin(), jobs.end(), [&](const KV_WriteJob &job) {
        return job.doc == doc && !job.cancelled &&
               (level < 0 || (job.stateFile && job.level == level));
    });
}

/* A waiting (not yet started) job of the document that `job` can take the
 * place of, or null: a record replaces the record queued last, when nothing
 * of the document follows it; a state file replaces the waiting write of the
 * same tables to the same level, when only records follow it. */
static KV_WriteJob *kvReplaceable(const KV_WriteJob &job) {
    for (size_t i = jobs.size(); i-- > (busy ? 1u : 0u);) {
        KV_WriteJob &queued = jobs[i];
        if (queued.doc != job.doc || queued.cancelled) continue;
        if (!job.stateFile) return queued.stateFile ? nullptr : &queued;
        if (!queued.stateFile) continue;
        bool same = queued.level == job.level &&
                    kvTableSameRuns(job.image.tables[0], queued.image.tables[0]) &&
                    kvTableSameRuns(job.image.tables[1], queued.image.tables[1]);
        return same ? &queued : nullptr;
    }
    return nullptr;
}

/* `job` looks at the caller's tables; what is queued holds its own share. */
static int64_t kvQueue(const KV_WriteJob &job) {
    assert(kvOnInterfaceThread());
    kvInstallStateWriterHooks();
    std::lock_guard<std::mutex> hold(queueLock);
    KV_WriteJob *queued = kvReplaceable(job);
    if (queued) {
        int64_t ticket = queued->ticket;
        kvLetGoJob(queued);
        *queued = job;
        queued->ticket = ticket;
    } else {
        jobs.push_back(job);
        jobs.back().ticket = nextTicket++;
        queued = &jobs.back();
    }
    for (KV_Table &table : queued->image.tables)
        table = kvTableShare(table);
    if (writer.joinable()) {
        queueChanged.notify_all();
        return queued->ticket;
    }
    stopping = false;
    writer = std::thread(kvWriterLoop);
    writerId = writer.get_id();
    queueChanged.notify_all();
    return queued->ticket;
}

int64_t kvQueueStateFile(int32_t doc, int32_t level, const std::string &path,
                         const KV_StateImage &image) {
    KV_WriteJob job{};
    job.doc = doc;
    job.level = level;
    job.stateFile = true;
    job.path = path;
    job.image = image;
    return kvQueue(job);
}

/* The record goes behind the document's pending jobs; with none, it is
 * written at once by the caller, unless its state's file is missing. */
static bool kvQueueRecord(int32_t doc, const KV_DocRecord &record, const std::string &path) {
    char levelPath[1024];
    kvStateFilePath(doc, record.level, levelPath, sizeof levelPath);
    /* A state write that already failed behind the edit leaves no file; the
     * record before stays, as it does when the failure is still queued. */
    if (!kvStateWritesPending(doc)) return !kvFileExists(levelPath);
    KV_WriteJob job{};
    job.doc = doc;
    job.level = record.level;
    job.path = path;
    job.levelPath = levelPath;
    job.record = record;
    kvQueue(job);
    return true;
}

bool kvStateWritesPending(int32_t doc) {
    std::lock_guard<std::mutex> hold(queueLock);
    return kvPendingFor(doc, -1);
}

void kvWaitStateWrites(int32_t doc, int32_t level) {
    assert(kvOnInterfaceThread());
    std::unique_lock<std::mutex> hold(queueLock);
    queueChanged.wait(hold, [&] { return !kvPendingFor(doc, level); });
}

void kvCancelStateWrite(int64_t ticket) {
    assert(kvOnInterfaceThread());
    std::unique_lock<std::mutex> hold(queueLock);
    /* A waiting job stays in the queue, marked, as the running one may not
     * move under the writer. */
    for (size_t i = busy ? 1 : 0; i < jobs.size(); i++) {
        if (jobs[i].ticket != ticket) continue;
        kvLetGoJob(&jobs[i]);
        jobs[i].cancelled = true;
        queueChanged.notify_all();
        return;
    }
    /* The running one stops at its next run of descriptors; nobody waits
     * for that unless they touch its level's files. */
    if (busy && jobs.front().ticket == ticket) abandoned.store(ticket);
}

int32_t kvTakeWriteOutcomes(KV_WriteOutcome *taken, int32_t capacity) {
    std::lock_guard<std::mutex> hold(queueLock);
    int32_t count = std::min<int32_t>(capacity, static_cast<int32_t>(outcomes.size()));
    std::copy(outcomes.begin(), outcomes.begin() + count, taken);
    outcomes.erase(outcomes.begin(), outcomes.begin() + count);
    return count;
}

void kvStopStateWriter() {
    {
        std::lock_guard<std::mutex> hold(queueLock);
        stopping = true;
        held = false;
        queueChanged.notify_all();
    }
    if (writer.joinable()) writer.join();
    std::lock_guard<std::mutex> hold(queueLock);
    writerId = std::thread::id();
    outcomes.clear();
}

void kvInstallStateWriterHooks() {
    kvDocRecordQueue = kvQueueRecord;
}

void kvTestHoldStateWriter(bool hold) {
    std::lock_guard<std::mutex> lock(queueLock);
    held = hold;
    queueChanged.notify_all();
}

void kvTestSetInlineStateBytes(int64_t bytes) {
    inlineBytes = bytes < 0 ? kvDefaultInlineBytes : bytes;
}

int64_t kvInlineStateBytes() {
    return inlineBytes;
}
