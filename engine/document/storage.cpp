/*
 * storage.cpp - the sample store: append-only data files, the insertion
 * pipeline through which every new sample enters a document, block summaries,
 * splitting blocks and reading samples back.
 *
 * Stored samples are never rewritten (writing in place is only for blocks the
 * running edit has just appended), so a descriptor stays valid for as long as
 * any state or the clipboard holds it; a file nobody holds is deleted and its
 * number used again, and a withdrawn edit cuts its file back to where its
 * samples began. Descriptors of the files are lent by a cache of at most
 * KV_OPEN_DATA_FILES, whatever the session's length. A failed data-file write
 * adds no descriptor: it marks the insertion failed, and the edit is withdrawn.
 */
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/document.h"
#include "engine/platform/fileio.h"
#include "engine/platform/threads.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <queue>
#include <string>
#include <thread>
#include <vector>

static_assert(std::endian::native == std::endian::little,
              "data and state files hold raw little-endian values");

static const char *const kvWriteFailedText =
    "Error writing to file. Make sure your disk is not full, and try again.";

/* The insertion stage of one channel: samples waiting to fill a block, and
 * the descriptors made during the running edit, not yet spliced. */
struct KV_Stage {
    float samples[4 * KV_BLOCK_FRAMES];
    int32_t fill;
    KV_Block *pending;
    int32_t pendingCount;
};

static KV_Stage stages[2];
static bool insertFailed = false;
/* Set while a take lends the stages to the recording thread; the interface
 * thread owns them otherwise. */
static std::atomic<bool> insertLent{false};

/* One data file. Every transfer names its own position (pread/pwrite), so
 * the file has no cursor for two threads to share. Its descriptor is lent by
 * a small cache: a transfer pins it for the one call, and the cache closes
 * only a descriptor nobody has pinned, so a reader never loses one under it
 * and never waits for another thread's transfer. */
struct KV_DataFile {
    std::atomic<int32_t> live;       /* 1 from creation until deleted */
    std::atomic<int32_t> appendable; /* 0 once sealed */
    std::atomic<int64_t> length;     /* samples appended or reserved */
    std::atomic<int32_t> holders;    /* states and clips that refer to it */
    std::atomic<int64_t> serial;     /* tells a reused number from its earlier file */
    std::atomic<int32_t> handle;     /* cached descriptor; -1 while closed */
    std::atomic<int32_t> pins;       /* transfers using handle, + KV_CLOSING while closed */
    std::atomic<int64_t> lastUse;
};

/* The table grows by whole chunks that never move once published, so a
 * reader on the playback thread can index it while the interface or the
 * recording thread adds a file. A slot is filled before `live` makes it
 * visible (release), and read after `live` (acquire). A number whose file
 * was deleted is given out again, lowest first, so the numbers a session
 * uses stay as few as the files it keeps. */
#define KV_DATA_FILE_CHUNK 256
#define KV_DATA_FILE_CHUNKS ((INT16_MAX + 1) / KV_DATA_FILE_CHUNK)
static std::atomic<KV_DataFile *> dataFileChunks[KV_DATA_FILE_CHUNKS];
static std::atomic<int32_t> dataFileCount{0}; /* numbers ever given out */
static int64_t dataFileLimit = KV_DATA_FILE_LIMIT;

/* Whoever appends (an edit on the interface thread, or a take on the
 * recording thread) picks the file and reserves its samples under this lock;
 * the writing itself happens outside it, into the reserved span. The lock
 * also guards the free numbers, the append target and the withdrawal mark. */
static std::mutex appendLock;
static std::priority_queue<int32_t, std::vector<int32_t>, std::greater<int32_t>> freeNumbers;
static int32_t appendTarget = -1;
static int64_t nextSerial = 1;

/* Where the first reservation since samples were last kept began: a
 * withdrawn edit cuts its file back to there, and while it is set no data
 * file is deleted, since blocks made since then are in no state yet. */
struct KV_WithdrawMark {
    bool set;
    int32_t doc;
    int32_t file;
    int64_t length;
};
static KV_WithdrawMark withdrawMark;

/* The descriptor cache: the files whose handle is open, at most
 * KV_OPEN_DATA_FILES of them; the least recently used unpinned one is closed
 * to make room. The lock covers only this bookkeeping, never a transfer. */
#define KV_OPEN_DATA_FILES 48
#define KV_CLOSING 0x40000000
static std::mutex cacheLock;
static int32_t openFiles[KV_OPEN_DATA_FILES + 8];
static int32_t openCount = 0;
static std::atomic<int64_t> useClock{0};
static std::atomic<int64_t> readFailures{0};

/* Bytes of a table of n records, saturated so that the memory service's size
 * check (not an overflow) decides about absurd sizes. */
static int32_t kvTableBytes(int64_t n, int64_t recordSize) {
    return static_cast<int32_t>(std::min<int64_t>(n * recordSize, INT32_MAX));
}

/* ---- Data files ---- */

void kvTestSetDataFileLimit(int64_t samples) {
    dataFileLimit = samples > 0 ? samples : KV_DATA_FILE_LIMIT;
}

/* The slot of a number below dataFileCount. */
static KV_DataFile &kvDataFile(int32_t file) {
    KV_DataFile *chunk = dataFileChunks[file / KV_DATA_FILE_CHUNK].load(std::memory_order_acquire);
    assert(chunk);
    return chunk[file % KV_DATA_FILE_CHUNK];
}

static bool kvIsDataFile(int32_t file) {
    return file >= 0 && file < dataFileCount.load(std::memory_order_acquire) &&
           kvDataFile(file).live.load(std::memory_order_acquire);
}

/* "<work>/DATA%04X.tmp" into a fixed buffer: no allocation on the playback
 * thread. */
static void kvDataFilePath(int32_t file, char *path, size_t size) {
    std::snprintf(path, size, "%s/DATA%04X.tmp", kvEngine.workFolder.c_str(), file);
}

/* Takes the slot's descriptor away once nobody has it pinned (a transfer
 * lasts one call, so the wait is short): the descriptor, or -1. Called with
 * cacheLock held. */
static int32_t kvTakeHandle(KV_DataFile &entry) {
    int32_t idle = 0;
    while (!entry.pins.compare_exchange_weak(idle, KV_CLOSING)) {
        idle = 0;
        std::this_thread::yield();
    }
    int32_t handle = entry.handle.exchange(-1);
    entry.pins.fetch_sub(KV_CLOSING);
    return handle;
}

/* Closes the least recently used descriptor nobody has pinned, handing it
 * to *closing for the caller to close outside the lock: false when every
 * open one is pinned. Called with cacheLock held. */
static bool kvEvictOne(std::vector<int32_t> *closing) {
    int32_t oldest = -1;
    for (int32_t i = 0; i < openCount; i++) {
        KV_DataFile &entry = kvDataFile(openFiles[i]);
        if (entry.pins.load() != 0) continue;
        if (oldest < 0 || entry.lastUse.load() < kvDataFile(openFiles[oldest]).lastUse.load())
            oldest = i;
    }
    if (oldest < 0) return false;
    KV_DataFile &entry = kvDataFile(openFiles[oldest]);
    int32_t idle = 0;
    if (!entry.pins.compare_exchange_strong(idle, KV_CLOSING)) return false;
    closing->push_back(entry.handle.exchange(-1));
    entry.pins.fetch_sub(KV_CLOSING);
    openFiles[oldest] = openFiles[--openCount];
    return true;
}

/* Drops the file's descriptor from the cache and closes it. */
static void kvForgetHandle(int32_t file) {
    int32_t handle = -1;
    {
        std::lock_guard<std::mutex> hold(cacheLock);
        for (int32_t i = 0; i < openCount; i++)
            if (openFiles[i] == file) {
                handle = kvTakeHandle(kvDataFile(file));
                openFiles[i] = openFiles[--openCount];
                break;
            }
    }
    kvFileClose(handle);
}

/* Closes every descriptor nobody has pinned: room for an open that failed
 * because the process ran out of them. */
static void kvShrinkCache() {
    std::vector<int32_t> closing;
    {
        std::lock_guard<std::mutex> hold(cacheLock);
        while (kvEvictOne(&closing)) {
        }
    }
    for (int32_t handle : closing)
        kvFileClose(handle);
}

/* Opens the file at `path`, making room in the cache once when the process
 * is out of descriptors. */
static int32_t kvOpenWithRoom(const char *path, int32_t mode) {
    int32_t handle = kvFileOpen(path, mode);
    if (handle < 0 && kvFileLimitHit()) {
        kvShrinkCache();
        handle = kvFileOpen(path, mode);
    }
    return handle;
}

/* Puts an open descriptor of a live file into the cache, closing the least
 * recently used one when the cache is full; a file that meanwhile got a
 * descriptor, or was deleted, keeps its state and `handle` is closed. */
static void kvCacheHandle(int32_t file, int64_t serial, int32_t handle) {
    std::vector<int32_t> closing;
    {
        std::lock_guard<std::mutex> hold(cacheLock);
        KV_DataFile &entry = kvDataFile(file);
        if (!entry.live.load() || entry.serial.load() != serial || entry.handle.load() >= 0) {
            closing.push_back(handle);
        } else {
            while (openCount >= KV_OPEN_DATA_FILES && kvEvictOne(&closing)) {
            }
            entry.lastUse.store(++useClock);
            entry.handle.store(handle);
            openFiles[openCount++] = file;
        }
    }
    for (int32_t unused : closing)
        kvFileClose(unused);
}

/* Opens a live file's descriptor into the cache: false when it cannot be. */
static bool kvOpenCached(int32_t file) {
    KV_DataFile &entry = kvDataFile(file);
    int64_t serial = entry.serial.load();
    char path[1200];
    kvDataFilePath(file, path, sizeof path);
    int32_t handle =
        kvOpenWithRoom(path, entry.appendable.load() ? KV_FILE_READWRITE : KV_FILE_READ);
    if (handle < 0) return false;
    kvCacheHandle(file, serial, handle);
    return true;
}

/* Pins the descriptor of a data file for one transfer: the descriptor (to
 * be given back with kvUnpin), or -1 when the file does not exist or cannot
 * be opened. Lock-free while the descriptor is cached. */
static int32_t kvPin(int32_t file) {
    for (int32_t attempt = 0; attempt < 4; attempt++) {
        if (!kvIsDataFile(file)) return -1;
        KV_DataFile &entry = kvDataFile(file);
        if ((entry.pins.fetch_add(1) & KV_CLOSING) == 0) {
            int32_t handle = entry.handle.load();
            if (handle >= 0) {
                entry.lastUse.store(++useClock, std::memory_order_relaxed);
                return handle;
            }
        }
        entry.pins.fetch_sub(1);
        if (!kvOpenCached(file)) return -1;
    }
    return -1;
}

static void kvUnpin(int32_t file) {
    kvDataFile(file).pins.fetch_sub(1);
}

void kvCloseDataFiles() {
    kvDiscardInsert(); /* pending descriptors point into these files */
    int32_t count = dataFileCount.exchange(0);
    for (int32_t file = 0; file < count; file++) {
        KV_DataFile &entry =
            dataFileChunks[file / KV_DATA_FILE_CHUNK].load()[file % KV_DATA_FILE_CHUNK];
        kvFileClose(entry.handle.load());
    }
    for (std::atomic<KV_DataFile *> &chunk : dataFileChunks)
        delete[] chunk.exchange(nullptr);
    {
        std::lock_guard<std::mutex> hold(appendLock);
        freeNumbers = {};
        appendTarget = -1;
        withdrawMark = KV_WithdrawMark{};
    }
    std::lock_guard<std::mutex> hold(cacheLock);
    openCount = 0;
}

/* The number a new file gets: the lowest freed one, else the next unused
 * one; -1 when all 32768 are taken. Called with appendLock held. */
static int32_t kvTakeNumber() {
    if (!freeNumbers.empty()) {
        int32_t file = freeNumbers.top();
        freeNumbers.pop();
        return file;
    }
    int32_t file = dataFileCount.load(std::memory_order_relaxed);
    return file > INT16_MAX ? -1 : file;
}

/* The table entry of a number just taken (appendLock held). Its chunk is
 * made on first use and never moves, so readers need no lock. */
static KV_DataFile &kvFreshEntry(int32_t file) {
    std::atomic<KV_DataFile *> &chunk = dataFileChunks[file / KV_DATA_FILE_CHUNK];
    if (!chunk.load(std::memory_order_relaxed)) {
        auto *fresh = new KV_DataFile[KV_DATA_FILE_CHUNK];
        for (int32_t i = 0; i < KV_DATA_FILE_CHUNK; i++)
            fresh[i].handle.store(-1);
        chunk.store(fresh, std::memory_order_release);
    }
    return chunk.load(std::memory_order_relaxed)[file % KV_DATA_FILE_CHUNK];
}

/* Makes a filled-in entry visible to readers (appendLock held). */
static void kvPublishEntry(int32_t file, KV_DataFile &entry) {
    entry.live.store(1, std::memory_order_release);
    if (file == dataFileCount.load(std::memory_order_relaxed))
        dataFileCount.store(file + 1, std::memory_order_release);
}

/* Creates (truncating a file of an earlier run) a new data file and makes it
 * the append target: its number, or -1 when no number is free or the file
 * cannot be opened (the reason in *tooMany or the open's error). Called with
 * appendLock held. */
static int32_t kvAddDataFile(bool *tooMany) {
    int32_t file = kvTakeNumber();
    *tooMany = file < 0;
    if (file < 0) return -1;
    char path[1200];
    kvDataFilePath(file, path, sizeof path);
    int32_t handle = kvOpenWithRoom(path, KV_FILE_CREATE_PRIVATE);
    if (handle < 0) {
        if (file < dataFileCount.load(std::memory_order_relaxed)) freeNumbers.push(file);
        return -1;
    }
    KV_DataFile &entry = kvFreshEntry(file);
    entry.appendable.store(1);
    entry.length.store(0);
    entry.holders.store(0);
    entry.serial.store(nextSerial++);
    kvPublishEntry(file, entry);
    kvCacheHandle(file, entry.serial.load(), handle);
    appendTarget = file;
    return file;
}

int32_t kvAdoptDataFile(const std::string &source) {
    int64_t bytes = kvFileSizeOf(source);
    if (bytes < 0 || kvFileIsRegular(source) != 1) return -1;
    std::lock_guard<std::mutex> hold(appendLock);
    int32_t file = kvTakeNumber();
    if (file < 0) return -1;
    char path[1200];
    kvDataFilePath(file, path, sizeof path);
    kvFileRemove(path);
    /* A second name costs nothing and leaves the dead session's file for
     * its other documents; a file system without hard links gets a copy. */
    if (!kvFileLink(source, path) && !kvFileCopy(source, path)) {
        kvFileRemove(path);
        if (file < dataFileCount.load(std::memory_order_relaxed)) freeNumbers.push(file);
        return -1;
    }
    KV_DataFile &entry = kvFreshEntry(file);
    entry.appendable.store(0);
    entry.length.store(bytes / 4);
    entry.holders.store(0);
    entry.serial.store(nextSerial++);
    entry.handle.store(-1);
    kvPublishEntry(file, entry);
    return file;
}

/* The file to append to (appendLock held): the target while it is
 * appendable and below the roll-over size, else a new one (a full target
 * is sealed: nothing more goes into it). */
static int32_t kvAppendTarget(bool *tooMany) {
    *tooMany = false;
    if (appendTarget >= 0) {
        KV_DataFile &target = kvDataFile(appendTarget);
        if (target.appendable.load() && target.length.load() < dataFileLimit) return appendTarget;
        target.appendable.store(0);
    }
    return kvAddDataFile(tooMany);
}

int32_t kvCurrentDataFile() {
    std::lock_guard<std::mutex> hold(appendLock);
    bool tooMany;
    return kvAppendTarget(&tooMany);
}

void kvSealDataFile(int32_t file) {
    if (kvIsDataFile(file)) kvDataFile(file).appendable.store(0);
}

void kvSealLastDataFile() {
    std::lock_guard<std::mutex> hold(appendLock);
    if (appendTarget >= 0) kvSealDataFile(appendTarget);
    appendTarget = -1;
}

int64_t kvDataFileLength(int32_t file) {
    return kvIsDataFile(file) ? kvDataFile(file).length.load() : 0;
}

int32_t kvReadData(int32_t file, int64_t position, float *buffer, int32_t count) {
    if (position < 0 || count < 0) return -1;
    int32_t handle = kvPin(file);
    if (handle < 0) {
        readFailures.fetch_add(1);
        return -1;
    }
    bool read = kvFileReadAt(handle, buffer, int64_t{count} * 4, position * 4);
    kvUnpin(file);
    if (!read) readFailures.fetch_add(1);
    return read ? count : -1;
}

int64_t kvDataReadFailures() {
    return readFailures.load();
}

int32_t kvWriteData(int32_t file, int64_t position, const float *buffer, int32_t count) {
    if (!kvIsDataFile(file) || position < 0 || count < 0) return kvFileError(kvWriteFailedText);
    /* Stored samples are never rewritten by anyone but the edit that has
     * just appended them, and only inside what was reserved. */
    assert(position + count <= kvDataFile(file).length.load());
    int32_t handle = kvPin(file);
    if (handle < 0) return kvFileError(kvWriteFailedText);
    bool written = kvFileWriteAt(handle, buffer, int64_t{count} * 4, position * 4);
    kvUnpin(file);
    return written ? count : kvError(0, "%s", kvWriteFailedText);
}

/* Reserves `count` samples at the end of the current data file for an edit
 * of `doc`: the file (its start position in *position), or -1 after the
 * message when no file can be opened. */
static int32_t kvReserveData(int32_t doc, int32_t count, int64_t *position) {
    std::unique_lock<std::mutex> hold(appendLock);
    bool tooMany = false;
    int32_t file = kvAppendTarget(&tooMany);
    if (file < 0) {
        hold.unlock();
        if (tooMany) return kvError(0, "Too many data files: %d", INT16_MAX + 1);
        return kvFileError(kvWriteFailedText);
    }
    KV_DataFile &entry = kvDataFile(file);
    if (!withdrawMark.set) withdrawMark = KV_WithdrawMark{true, doc, file, entry.length.load()};
    *position = entry.length.fetch_add(count);
    return file;
}

/* Cuts the files back to where the withdrawn samples began. Only the
 * withdrawing edit has appended since the mark (one edit runs at a time),
 * so nothing a state holds is cut; files it started are left without
 * holders and go at the next collection. */
static void kvWithdrawData() {
    std::lock_guard<std::mutex> hold(appendLock);
    if (!withdrawMark.set) return;
    int32_t file = withdrawMark.file;
    withdrawMark.set = false;
    if (!kvIsDataFile(file)) return;
    KV_DataFile &entry = kvDataFile(file);
    char path[1200];
    kvDataFilePath(file, path, sizeof path);
    if (kvFileTruncate(path, withdrawMark.length * 4)) entry.length.store(withdrawMark.length);
    if (entry.appendable.load()) appendTarget = file;
}

void kvKeepData(int32_t doc) {
    std::lock_guard<std::mutex> hold(appendLock);
    if (withdrawMark.doc == doc) withdrawMark.set = false;
}

void kvAddFileHolders(int32_t file, int32_t delta) {
    if (kvIsDataFile(file)) kvDataFile(file).holders.fetch_add(delta);
}

/* Deletes one file nobody holds and frees its number (appendLock held). */
static void kvRetireDataFile(int32_t file) {
    KV_DataFile &entry = kvDataFile(file);
    entry.live.store(0);
    if (appendTarget == file) appendTarget = -1;
    kvForgetHandle(file);
    char path[1200];
    kvDataFilePath(file, path, sizeof path);
    kvFileRemove(path);
    freeNumbers.push(file);
}

void kvCollectDataFiles() {
    std::lock_guard<std::mutex> hold(appendLock);
    if (withdrawMark.set) return;
    int32_t count = dataFileCount.load(std::memory_order_relaxed);
    for (int32_t file = 0; file < count; file++) {
        KV_DataFile &entry = kvDataFile(file);
        if (entry.live.load() && entry.holders.load() <= 0) kvRetireDataFile(file);
    }
}

/* ---- Block summaries and splitting ---- */

static void kvClearSummary(KV_Block *block) {
    block->peakPos = block->peakNeg = 0;
    std::memset(block->subPos, 0, sizeof block->subPos);
    std::memset(block->subNeg, 0, sizeof block->subNeg);
    block->peak = 0;
}

/* trunc(x * 4096) clamped to +-1048576; NaN counts as 0. */
static int32_t kvSummaryLevel(float x) {
    double scaled = static_cast<double>(x) * 4096.0;
    if (std::isnan(scaled)) return 0;
    return static_cast<int32_t>(std::clamp(scaled, -1048576.0, 1048576.0));
}

/* The largest and smallest of n samples, both starting at 0.0. Every edit
 * summarizes every block it writes, so this loop is hot: eight independent
 * lanes let the compiler use vector max and min instead of one long chain.
 * The lanes give the same result as one pass, since NaN never wins a
 * comparison in any of them and the signs of zeros do not reach a summary. */
static void kvRunExtremes(const float *samples, int32_t n, float *high, float *low) {
    float highs[8] = {}, lows[8] = {};
    int32_t i = 0;
    for (; i + 8 <= n; i += 8)
        for (int32_t j = 0; j < 8; j++) {
            float x = samples[i + j];
            highs[j] = x > highs[j] ? x : highs[j];
            lows[j] = x < lows[j] ? x : lows[j];
        }
    for (; i < n; i++) {
        highs[0] = samples[i] > highs[0] ? samples[i] : highs[0];
        lows[0] = samples[i] < lows[0] ? samples[i] : lows[0];
    }
    *high = *low = 0.0f;
    for (int32_t j = 0; j < 8; j++) {
        *high = highs[j] > *high ? highs[j] : *high;
        *low = lows[j] < *low ? lows[j] : *low;
    }
}

/* Every summary value is a non-decreasing function of the sample, so each run
 * needs only its largest and smallest sample. Both start at 0.0, which adds
 * nothing to a summary, and NaN never wins a comparison, so it counts as 0. */
void kvSummarizeBlock(KV_Block *block, const float *samples, int32_t count) {
    kvClearSummary(block);
    count = std::min(count, KV_BLOCK_FRAMES);
    for (int32_t first = 0; first < count; first += 64) {
        float high, low;
        kvRunExtremes(samples + first, std::min(64, count - first), &high, &low);
        int32_t top = kvSummaryLevel(high), bottom = kvSummaryLevel(low);
        block->peak = std::max({block->peak, top, -bottom});
        /* An arithmetic shift: -1..-15 still make a negative run of 1. */
        block->subPos[first / 64] = static_cast<uint8_t>(std::min(top >> 4, 255));
        block->subNeg[first / 64] = static_cast<uint8_t>(std::min(-(bottom >> 4), 255));
    }
    block->peakPos = *std::max_element(block->subPos, block->subPos + 64);
    block->peakNeg = *std::max_element(block->subNeg, block->subNeg + 64);
}

/* Reads `count` samples of a block from `offset` on; silence, and samples
 * that cannot be read, come back as 0.0. */
static void kvReadBlockPart(const KV_Block &block, int32_t offset, float *out, int32_t count) {
    bool read = block.file >= 0 &&
                kvReadData(block.file, int64_t{block.position} + offset, out, count) == count;
    if (!read) std::fill(out, out + count, 0.0f);
}

static void kvRefreshSummary(KV_Block *block) {
    if (block->file < 0) {
        kvClearSummary(block);
        return;
    }
    float samples[KV_BLOCK_FRAMES];
    kvReadBlockPart(*block, 0, samples, block->length);
    kvSummarizeBlock(block, samples, block->length);
}

KV_Block kvBlockHead(const KV_Block &block, int32_t keep) {
    KV_Block part = block;
    part.length = static_cast<int16_t>(keep);
    kvRefreshSummary(&part);
    return part;
}

KV_Block kvBlockTail(const KV_Block &block, int32_t skip) {
    KV_Block part = block;
    part.length = static_cast<int16_t>(block.length - skip);
    if (part.file >= 0) part.position += skip;
    kvRefreshSummary(&part);
    return part;
}

/* ---- Insertion pipeline ---- */

bool kvInsertFailed() {
    return insertFailed;
}

/* Empties the stages and pending lists. */
static void kvResetStages() {
    for (KV_Stage &stage : stages) {
        stage.fill = 0;
        kvFree(stage.pending);
        stage.pending = nullptr;
        stage.pendingCount = 0;
    }
    insertFailed = false;
}

void kvDiscardInsert() {
    kvResetStages();
    kvWithdrawData();
}

/* Writes the samples to the end of the current data file and points the
 * block at them: false (message shown) when that fails. */
static bool kvStoreSamples(int32_t doc, KV_Block *block, const float *samples, int32_t count) {
    int64_t position = 0;
    int32_t file = kvReserveData(doc, count, &position);
    if (file < 0) return false;
    if (kvWriteData(file, position, samples, count) < 0) return false;
    block->position = static_cast<int32_t>(position);
    block->file = static_cast<int16_t>(file);
    kvSummarizeBlock(block, samples, count);
    return true;
}

int32_t kvActualInsertData(int32_t doc, int32_t channel, const float *samples, int32_t count) {
    if (count > KV_BLOCK_FRAMES) kvFatal("Size too big for kvActualInsertData(): %d", count);
    /* After a failed write the edit is going to be withdrawn: nothing more is
     * written, and the message is not repeated for every later block. */
    if (count <= 0 || channel < 0 || channel > 1 || insertFailed) return 0;
    KV_Block block{};
    block.length = static_cast<int16_t>(count);
    block.position = -1;
    block.file = -1;
    if (samples && !kvStoreSamples(doc, &block, samples, count)) {
        insertFailed = true;
        return 0;
    }
    KV_Stage &stage = stages[channel];
    stage.pending = static_cast<KV_Block *>(
        kvRealloc(stage.pending, kvTableBytes(stage.pendingCount + 1, sizeof(KV_Block))));
    stage.pending[stage.pendingCount++] = block;
    return count;
}

static void kvFlushStage(int32_t doc, int32_t channel) {
    KV_Stage &stage = stages[channel];
    if (stage.fill > 0) kvActualInsertData(doc, channel, stage.samples, stage.fill);
    stage.fill = 0;
}

/* One piece of at most 4096 samples. */
static void kvQueuePiece(int32_t doc, int32_t channel, const float *samples, int32_t count) {
    KV_Stage &stage = stages[channel];
    if (samples && stage.fill == 0 && count == KV_BLOCK_FRAMES) {
        kvActualInsertData(doc, channel, samples, count);
        return;
    }
    if (!samples) {
        kvFlushStage(doc, channel);
        kvActualInsertData(doc, channel, nullptr, count);
        return;
    }
    std::memcpy(stage.samples + stage.fill, samples, sizeof(float) * count);
    stage.fill += count;
    int32_t used = 0;
    while (stage.fill - used > KV_BLOCK_FRAMES - 1) {
        kvActualInsertData(doc, channel, stage.samples + used, KV_BLOCK_FRAMES);
        used += KV_BLOCK_FRAMES;
    }
    std::memmove(stage.samples, stage.samples + used, sizeof(float) * (stage.fill - used));
    stage.fill -= used;
}

void kvLendInsert(bool lent) {
    assert(kvOnInterfaceThread());
    insertLent.store(lent);
}

int32_t kvQueueInsert(int32_t doc, int32_t channel, const float *samples, int32_t count) {
    assert(insertLent.load() != kvOnInterfaceThread());
    if (channel < 0 || channel > 1 || count <= 0) return 0;
    /* Callers hand over at most 4096 at a time; longer runs are cut the same way. */
    for (int32_t done = 0; done < count; done += KV_BLOCK_FRAMES) {
        int32_t piece = std::min(count - done, KV_BLOCK_FRAMES);
        kvQueuePiece(doc, channel, samples ? samples + done : nullptr, piece);
    }
    return count;
}

/* Inserts the channel's pending blocks at its insertion point: their total length. */
static int32_t kvSplicePending(KV_State *state, int32_t channel) {
    KV_Stage &stage = stages[channel];
    kvTableInsert(&state->tables[channel], state->insertAt[channel], stage.pending,
                  stage.pendingCount);
    int32_t total = 0;
    for (int32_t i = 0; i < stage.pendingCount; i++)
        total += stage.pending[i].length;
    return total;
}

bool kvFinishInsert(int32_t doc) {
    assert(kvOnInterfaceThread() && !insertLent.load());
    KV_Document *document = kvGetDocument(doc);
    if (!document) {
        kvDiscardInsert();
        return false;
    }
    KV_State *state = document->current;
    int32_t channels = std::min(state->channels, 2);
    kvProgress("Finishing Up", 0);
    for (int32_t c = 0; c < channels; c++)
        kvFlushStage(doc, c);
    bool stored = !insertFailed;
    if (stored) {
        int32_t inserted = -1;
        for (int32_t c = 0; c < channels; c++) {
            bool edited = state->editChannel == -1 || state->editChannel == c;
            if (edited && stages[c].pendingCount > 0)
                inserted = std::max(inserted, kvSplicePending(state, c));
        }
        /* Only inserted material is selected; an edit that spliced nothing
         * here (a paste of descriptors) keeps the selection it set itself. */
        if (inserted >= 0) state->selEnd = state->selAnchor + inserted;
    }
    /* Spliced samples stay until the state that holds them is stored;
     * samples of a failed insertion go back at once. */
    if (stored)
        kvResetStages();
    else
        kvDiscardInsert();
    kvProgress(nullptr, -1);
    return stored;
}

/* ---- Length and reading ---- */

void kvRebuildIndex(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return;
    KV_State *state = document->current;
    int64_t longest = 0;
    for (int32_t c = 0; c < std::min(state->channels, 2); c++)
        longest = std::max(longest, state->tables[c].frames);
    state->length = static_cast<int32_t>(std::min<int64_t>(longest, INT32_MAX));
    state->selAnchor = std::clamp(state->selAnchor, 0, state->length);
    state->selEnd = std::clamp(state->selEnd, 0, state->length);
}

int32_t kvFindBlock(const KV_State *state, int32_t channel, int64_t position, int64_t *base) {
    return kvTableFind(state->tables[channel], position, base);
}

int32_t kvReadSamples(int32_t doc, int32_t channel, int32_t level, float *buffer, int32_t start,
                      int32_t count) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || channel < 0 || channel >= std::min(document->current->channels, 2)) return 0;
    if (count <= 0) return 0;
    const KV_State *state =
        level >= 0 && level < document->stateCount ? &document->history[level] : document->current;
    int32_t done = 0;
    int64_t position = start;
    if (position < 0) {
        done = static_cast<int32_t>(std::min<int64_t>(count, -position));
        std::fill(buffer, buffer + done, 0.0f);
        position = 0;
    }
    int32_t fromBlocks = 0;
    int64_t base = 0;
    const KV_Table &table = state->tables[channel];
    int32_t block = kvFindBlock(state, channel, position, &base);
    kvTableSpans(table, block, table.count, [&](const KV_Block *blocks, int32_t n) {
        for (int32_t b = 0; b < n && done < count; b++) {
            const KV_Block &descriptor = blocks[b];
            int32_t offset = static_cast<int32_t>(position - base);
            int32_t piece = std::min(count - done, descriptor.length - offset);
            kvReadBlockPart(descriptor, offset, buffer + done, piece);
            done += piece;
            fromBlocks += piece;
            position += piece;
            base += descriptor.length;
        }
        return done < count;
    });
    std::fill(buffer + done, buffer + count, 0.0f);
    return fromBlocks;
}

/* ---- Writing in place ---- */

/* Gives a silence block real storage: zeros appended to the current data file. */
static bool kvMaterialize(int32_t doc, KV_Block *block) {
    static const float zeros[KV_BLOCK_FRAMES] = {};
    return kvStoreSamples(doc, block, zeros, block->length);
}

int32_t kvWriteSamplesInPlace(int32_t doc, int32_t channel, const float *samples, int32_t start,
                              int32_t count) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || channel < 0 || channel >= std::min(document->current->channels, 2)) return 0;
    KV_State *state = document->current;
    int64_t end = int64_t{start} + count;
    int64_t base = 0;
    int32_t written = 0;
    int32_t block = kvFindBlock(state, channel, std::max(start, 0), &base);
    for (; block < state->tables[channel].count && base < end; block++) {
        KV_Block *descriptor = kvTableMutable(&state->tables[channel], block);
        int64_t blockStart = base;
        base += descriptor->length;
        int64_t from = std::max<int64_t>(start, blockStart);
        int64_t to = std::min<int64_t>(end, base);
        if (from >= to) continue;
        if (descriptor->file < 0 && !kvMaterialize(doc, descriptor)) break;
        int64_t at = descriptor->position + (from - blockStart);
        int32_t piece = static_cast<int32_t>(to - from);
        if (kvWriteData(descriptor->file, at, samples + (from - start), piece) < 0) break;
        kvRefreshSummary(descriptor);
        written += piece;
    }
    return written;
}

bool kvBlockIsUsable(const KV_Block &block) {
    if (block.length < 1 || block.length > KV_BLOCK_FRAMES) return false;
    if (block.peak < 0 || block.peak > 1048576) return false;
    if (block.file == -1) return block.position == -1;
    return block.position >= 0 && kvIsDataFile(block.file) &&
           int64_t{block.position} + block.length <= kvDataFileLength(block.file);
}

int64_t kvInsertableFrames(const KV_State *state) {
    const int64_t tableLimit = 67108864 / static_cast<int64_t>(sizeof(KV_Block));
    int64_t used = std::max(state->tables[0].count, state->tables[1].count);
    /* Two descriptors to spare: inserting inside a block splits it. */
    int64_t byTable = std::max<int64_t>(tableLimit - used - 2, 0) * KV_BLOCK_FRAMES;
    return std::min(byTable, INT32_MAX - static_cast<int64_t>(state->length));
}

void kvFreeStateTables(KV_State *state) {
    assert(kvOnInterfaceThread());
    for (int32_t c = 0; c < 2; c++) {
        kvTableRelease(&state->tables[c]);
        state->insertAt[c] = 0;
    }
}
