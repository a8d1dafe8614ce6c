/*
 * history.cpp - the edit protocol, state files, and undo, redo and history jumps.
 *
 * A state's tables stay in memory while they are needed there: the current
 * state's and its neighbours' (which share most of their chunks, so they
 * cost what differs), any whose state file could not be written, and any
 * whose file is still being written behind the edit (state_writer.cpp).
 * Every other state lives in its file plus the set of data files it refers
 * to, which keeps those files alive. A switch to a long state whose tables
 * are in memory takes them while its file is on its way or has landed
 * whole, since reading the file back would cost the document's length; any
 * other switch reloads the state from its file, waiting for it if need be.
 * A state file that cannot be written is removed, so a switch to that state
 * reports it and keeps the in-memory copy. A failure behind the edit is
 * reported at the document's next
 * store, switch or close. An edit under way sets the redo states
 * aside, so a withdrawn edit leaves the history exactly as it was; once the
 * edit is stored they, and their state files, are gone. Past the undo limit
 * the oldest states go the same way once an edit is stored, and the kept
 * files are renamed down so that a file's name still gives its level.
 */
#include "engine/history/history.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/changes.h"
#include "engine/document/document.h"
#include "engine/history/state_writer.h"
#include "engine/platform/fileio.h"
#include "engine/platform/threads.h"
#include "korvel.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static std::string kvStatePath(int32_t doc, int32_t level) {
    char path[1024];
    kvStateFilePath(doc, level, path, sizeof path);
    return path;
}

/* Copies at most 39 characters and zero-fills the rest, so that state files
 * carry no stray bytes after the label. */
static void kvSetLabel(KV_State *state, const char *label) {
    std::memset(state->label, 0, sizeof state->label);
    if (label) std::strncpy(state->label, label, sizeof state->label - 1);
}

/* The redo states of the edit under way (one edit runs at a time). They come
 * back when the edit is withdrawn and are freed once its new state is stored,
 * which overwrites the file of their first level. */
struct KV_SetAside {
    int32_t doc = -1;
    int32_t level = 0; /* the level the edit started from */
    int32_t savedLevel = 0;
    int32_t count = 0;
    KV_State *states = nullptr;
};
static KV_SetAside setAside;

static bool kvHasTables(const KV_State *state) {
    return state->tables[0].pieceCount > 0 || state->tables[1].pieceCount > 0;
}

/* Frees a state's tables and gives up the data files it held; a write of
 * its file still on its way is called off, as nothing will load it. */
static void kvForgetState(KV_State *state) {
    if (state->writeTicket) kvCancelStateWrite(state->writeTicket);
    state->writeTicket = 0;
    kvFreeStateTables(state);
    kvReleaseFiles(&state->files);
    state->onDisk = 0;
}

/* A file still on its way would land after its removal: it goes once landed. */
static void kvRemoveStateFiles(int32_t doc, int32_t from, int32_t to) {
    for (int32_t level = from; level <= to; level++) {
        kvWaitStateWrites(doc, level);
        kvFileRemove(kvStatePath(doc, level));
    }
}

/* Drops the redo states set aside, with the files of their levels that no
 * state of the document uses any more. */
static void kvDropSetAside() {
    for (int32_t i = 0; i < setAside.count; i++)
        kvForgetState(&setAside.states[i]);
    KV_Document *document = kvGetDocument(setAside.doc);
    int32_t inUse = document ? document->stateCount : 0;
    kvRemoveStateFiles(setAside.doc, std::max(setAside.level + 1, inUse),
                       setAside.level + setAside.count);
    kvFree(setAside.states);
    setAside = KV_SetAside{};
}

/* ---- State files ---- */

/* Frees the tables of the states further than one step from the current
 * one when their files hold them: nothing reads those tables until a switch
 * reloads them, while the next undo or redo still finds its neighbour in
 * memory should its file be lost. */
static void kvUnloadFarStates(KV_Document *document) {
    for (int32_t s = 0; s < document->stateCount; s++) {
        KV_State *state = &document->history[s];
        if (std::abs(s - document->level) > 1 && state->onDisk && kvHasTables(state))
            kvFreeStateTables(state);
    }
}

static void kvDropOldestStates(int32_t doc, KV_Document *document);

/* The state in the history or among the redo states set aside that waits
 * for the background write `ticket`, or null. */
static KV_State *kvStateWaitingFor(int32_t doc, int64_t ticket) {
    KV_Document *document = kvGetDocument(doc);
    for (int32_t s = 0; document && s < document->stateCount; s++)
        if (document->history[s].writeTicket == ticket) return &document->history[s];
    for (int32_t s = 0; setAside.doc == doc && s < setAside.count; s++)
        if (setAside.states[s].writeTicket == ticket) return &setAside.states[s];
    return nullptr;
}

/* Takes note of the background writes that finished: a landed state file
 * lets its tables go when they are far from the current state; a failed one
 * is reported as a failed write on the edit's path is, and its state keeps
 * its tables. */
static void kvSettleStateWrites() {
    KV_WriteOutcome outcomes[16];
    for (int32_t count; (count = kvTakeWriteOutcomes(outcomes, 16)) > 0;) {
        for (int32_t i = 0; i < count; i++) {
            const KV_WriteOutcome &outcome = outcomes[i];
            KV_State *state =
                outcome.stateFile ? kvStateWaitingFor(outcome.doc, outcome.ticket) : nullptr;
            if (state) {
                state->onDisk = outcome.written;
                state->writeTicket = 0;
            }
            if (!outcome.written) kvFileErrorOf(outcome.limitHit, "Can't create temp file");
        }
    }
}

/* Writes the current state's file on the edit's path: false when it could
 * not be (no file is left under its name then). */
static bool kvWriteStateNow(const std::string &path, const KV_StateImage &image) {
    std::string fresh = path + ".new";
    kvProgress("Saving State", 0);
    /* Written aside and renamed into place: a run killed while writing must
     * leave this level's previous file whole, as a later start rebuilds
     * the document from it. */
    int32_t file = kvFileOpen(fresh, KV_FILE_CREATE_PRIVATE);
    bool written = file >= 0 && kvWriteStateImage(file, image);
    kvFileClose(file);
    written = written && kvFileRename(fresh, path);
    if (!written) kvFileRemove(fresh);
    kvProgress(nullptr, -1);
    /* A partial file, or one left by an older state of this level, must
     * never be loaded in this state's place. */
    if (!written) kvFileRemove(path);
    return written;
}

/* Brings the header of a long state's landed file up to date in place,
 * when only the selection or the view changed since it was written: true
 * when the file holds the state now. One write of 72 bytes at the start of
 * the file cannot be torn by a crash, and either header restores the same
 * samples. A failure leaves the whole file to be written anew. */
static bool kvRefreshStateHeader(const std::string &path, KV_State *state,
                                 const KV_StateImage &image) {
    if (!state->onDisk || kvStateFileBytes(image) <= kvInlineStateBytes()) return false;
    uint32_t check = kvStateHeaderCheck(image.header);
    if (check == state->headerCheck) return true;
    int32_t file = kvFileOpen(path, KV_FILE_READWRITE);
    bool written = file >= 0 && kvFileWriteAt(file, &image.header, sizeof image.header, 0);
    kvFileClose(file);
    if (written) state->headerCheck = check;
    return written;
}

/* The fields of the header that change without a new state. */
static void kvRememberStoredView(KV_State *state, const KV_StateHeader &header) {
    state->stored = KV_SavedView{header.firstFrame, header.framesPerPixel, header.selAnchor,
                                 header.selEnd, header.editChannel};
}

int32_t kvSaveState(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    assert(kvOnInterfaceThread());
    kvSettleStateWrites();
    if (setAside.doc == doc && document->level > setAside.level) kvDropSetAside();
    KV_State *state = document->current;
    kvAssertStateConsistent(state, false);
    std::string path = kvStatePath(doc, document->level);
    KV_StateImage image = kvStateImage(state);
    kvRememberStoredView(state, image.header);
    bool written = true;
    if (!kvRefreshStateHeader(path, state, image)) {
        /* A long document's file is written behind the edit; while an
         * earlier file of the document is still on its way, a short one
         * queues too, so that files land in the order their states were made. */
        bool behind = kvStateFileBytes(image) > kvInlineStateBytes() || kvStateWritesPending(doc);
        state->headerCheck = kvStateHeaderCheck(image.header);
        if (behind) {
            state->writeTicket = kvQueueStateFile(doc, document->level, path, image);
            state->onDisk = 0;
        } else {
            written = kvWriteStateNow(path, image);
            state->writeTicket = 0;
            state->onDisk = written;
        }
        /* Whatever the file, the state now holds what its tables refer to,
         * and samples written for it are no longer to be withdrawn. */
        kvHoldStateFiles(state);
    }
    kvKeepData(doc);
    kvDropOldestStates(doc, document);
    kvUnloadFarStates(document);
    kvCollectDataFiles();
    if (!written) return kvFileError("Can't create temp file");
    return kvWriteDocRecord(doc) ? 0 : -1;
}

/* Reads `count` descriptors of one channel in pieces, each checked: false
 * (with nothing kept) when one is short or unusable. */
static bool kvReadTable(int32_t file, int32_t count, const KV_BlockCheck &check, KV_Table *table) {
    KV_TableBuilder builder;
    std::vector<KV_Block> portion(std::min(count, 4096));
    bool read = true;
    for (int32_t done = 0; read && done < count;) {
        int32_t n = std::min(count - done, static_cast<int32_t>(portion.size()));
        read = kvFileRead(file, portion.data(), int64_t{n} * sizeof(KV_Block));
        for (int32_t b = 0; read && b < n; b++)
            read = check(&portion[b]);
        if (read) kvBuildBlocks(&builder, portion.data(), n);
        done += n;
    }
    *table = kvBuildTable(&builder);
    if (!read) kvTableRelease(table);
    return read;
}

/* Reads a whole state file into `state` (zeroed by the caller): false when
 * the file is short, or a count, a field or a block descriptor cannot be
 * right (a damaged file must not reach code that trusts the tables). */
static bool kvReadStateFile(int32_t file, KV_State *state, const KV_BlockCheck &check) {
    KV_StateHeader header;
    if (!kvFileRead(file, &header, sizeof header)) return false;
    if (header.channels < 1 || header.channels > 2 || header.sampleRate < 1 ||
        header.framesPerPixel < 1 || header.editChannel < -1 ||
        header.editChannel >= header.channels)
        return false;
    std::memcpy(state->label, header.label, sizeof state->label);
    state->label[sizeof state->label - 1] = 0;
    state->channels = header.channels;
    state->length = header.length;
    state->editChannel = header.editChannel;
    state->selAnchor = header.selAnchor;
    state->selEnd = header.selEnd;
    state->sampleRate = header.sampleRate;
    state->firstFrame = header.firstFrame;
    state->framesPerPixel = header.framesPerPixel;
    int64_t remaining = kvFileSize(file) - static_cast<int64_t>(sizeof header);
    for (int32_t c = 0; c < state->channels; c++) {
        int32_t count = 0;
        if (!kvFileRead(file, &count, sizeof count)) return false;
        remaining -= sizeof count;
        int64_t bytes = int64_t{count} * sizeof(KV_Block);
        if (count < 0 || bytes > remaining || !kvReadTable(file, count, check, &state->tables[c]))
            return false;
        remaining -= bytes;
        kvProgress(nullptr, 100 * (c + 1) / state->channels);
    }
    /* The length is what the tables hold, whatever the field says; the
     * selection is kept as stored (a paste may leave it past the end). */
    int64_t longest = 0;
    for (int32_t c = 0; c < state->channels; c++)
        longest = std::max(longest, state->tables[c].frames);
    state->length = static_cast<int32_t>(std::min<int64_t>(longest, INT32_MAX));
    return true;
}

/* Reads the state file at `path` over `state`, which keeps its set of data
 * files: false when the file is missing or damaged. The file is read whole
 * before the state is touched, so either failure leaves the state as it was. */
static bool kvLoadStateFile(const std::string &path, KV_State *state) {
    int32_t file = kvFileOpen(path, KV_FILE_READ);
    if (file < 0) return false;
    kvProgress("Restoring State", 0);
    KV_State loaded{};
    bool read =
        kvReadStateFile(file, &loaded, [](KV_Block *block) { return kvBlockIsUsable(*block); });
    kvFileClose(file);
    kvProgress(nullptr, -1);
    if (!read) {
        kvFreeStateTables(&loaded);
        return false;
    }
    kvFreeStateTables(state);
    loaded.files = state->files;
    *state = loaded;
    state->onDisk = 1;
    KV_StateImage image = kvStateImage(state);
    state->headerCheck = kvStateHeaderCheck(image.header);
    kvRememberStoredView(state, image.header);
    return true;
}

bool kvReadForeignState(const std::string &path, KV_State *state, const KV_BlockCheck &check) {
    int32_t file = kvFileOpen(path, KV_FILE_READ);
    if (file < 0) return false;
    *state = KV_State{};
    bool read = kvReadStateFile(file, state, check);
    kvFileClose(file);
    if (!read) {
        kvFreeStateTables(state);
        return false;
    }
    return true;
}

/* A long state whose tables are still in memory is switched to without
 * reading its file back, while the file is on its way or has landed whole:
 * the tables are what it holds, and reading it would cost the document's
 * length. Its selection and view come back as the file holds them. A short
 * state, or one whose file is missing or cut short, is reloaded, so that a
 * lost file is still reported. */
static bool kvSwitchInMemory(int32_t doc, int32_t n, KV_State *state) {
    if (!kvHasTables(state)) return false;
    KV_StateImage image = kvStateImage(state);
    int64_t bytes = kvStateFileBytes(image);
    if (bytes <= kvInlineStateBytes()) return false;
    bool landed = state->onDisk && kvFileSizeOf(kvStatePath(doc, n)) == bytes;
    if (!state->writeTicket && !landed) return false;
    state->firstFrame = state->stored.firstFrame;
    state->framesPerPixel = state->stored.framesPerPixel;
    state->selAnchor = state->stored.selAnchor;
    state->selEnd = state->stored.selEnd;
    state->editChannel = state->stored.editChannel;
    return true;
}

int32_t kvRestoreState(int32_t doc, int32_t n) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || n < 0 || n >= document->stateCount) return -1;
    assert(kvOnInterfaceThread());
    kvSettleStateWrites();
    document->level = n;
    document->current = &document->history[n];
    if (kvSwitchInMemory(doc, n, document->current)) return 0;
    kvWaitStateWrites(doc, n);
    kvSettleStateWrites();
    if (!kvLoadStateFile(kvStatePath(doc, n), document->current))
        return kvError(0, "Can't load status information file!");
    /* What the file holds is what counts, should it differ from the tables
     * the state had when it was written. */
    kvHoldStateFiles(document->current);
    return 0;
}

/* ---- The undo limit ---- */

/* Gives the state file of level `from` the name of level `to`. A state whose
 * file cannot be renamed keeps its tables in memory instead, like one whose
 * file could not be written, and no file is left under either name. */
static void kvRenameStateFile(int32_t doc, KV_State *state, int32_t from, int32_t to) {
    std::string source = kvStatePath(doc, from), target = kvStatePath(doc, to);
    if (kvFileRename(source, target)) return;
    kvFileRemove(target);
    if (state->onDisk && !kvHasTables(state)) kvLoadStateFile(source, state);
    kvFileRemove(source);
    state->onDisk = 0;
}

/* Drops the oldest states beyond maxUndoLevels undo steps below the current
 * one, with their files and their hold on data files. Levels are what the
 * program counts and lists, so the kept states move down and their files are
 * renamed in rising order, each to a name just freed. A dropped saved state
 * can no longer be reached by undo. Only while the current state is the last:
 * redo states the next edit discards anyway must not cost older ones, and
 * the files of redo states set aside are named after levels a withdrawn edit
 * gives back. */
static void kvDropOldestStates(int32_t doc, KV_Document *document) {
    int32_t most = kvEngine.limits.maxUndoLevels;
    int32_t dropped = document->level - most;
    if (most <= 0 || dropped <= 0 || document->level != document->stateCount - 1 ||
        setAside.doc == doc)
        return;
    /* Files are renamed down, so none may still be on its way. */
    kvWaitStateWrites(doc, -1);
    kvSettleStateWrites();
    for (int32_t s = 0; s < dropped; s++)
        kvForgetState(&document->history[s]);
    kvRemoveStateFiles(doc, 0, dropped - 1);
    int32_t kept = document->stateCount - dropped;
    for (int32_t s = 0; s < kept; s++)
        kvRenameStateFile(doc, &document->history[s + dropped], s + dropped, s);
    std::memmove(document->history, document->history + dropped, sizeof(KV_State) * kept);
    document->history = static_cast<KV_State *>(
        kvRealloc(document->history, kept * static_cast<int32_t>(sizeof(KV_State))));
    document->stateCount = kept;
    document->level -= dropped;
    document->current = &document->history[document->level];
    document->savedLevel = document->savedLevel >= dropped ? document->savedLevel - dropped : -1;
}

/* ---- The edit protocol ---- */

void kvTruncateHistory(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return;
    for (int32_t s = document->level + 1; s < document->stateCount; s++)
        kvForgetState(&document->history[s]);
    document->stateCount = document->level + 1;
    document->history = static_cast<KV_State *>(kvRealloc(
        document->history, document->stateCount * static_cast<int32_t>(sizeof(KV_State))));
    document->current = &document->history[document->level];
    if (document->savedLevel > document->level) document->savedLevel = -1;
}

/* Takes the states after the current level out of the history, keeping
 * their tables, as kvTruncateHistory would drop them. */
static void kvSetRedoStatesAside(int32_t doc, KV_Document *document) {
    int32_t count = document->stateCount - document->level - 1;
    setAside.doc = doc;
    setAside.level = document->level;
    setAside.savedLevel = document->savedLevel;
    setAside.count = count;
    setAside.states =
        static_cast<KV_State *>(kvAlloc(count * static_cast<int32_t>(sizeof(KV_State))));
    std::memcpy(setAside.states, &document->history[document->level + 1], sizeof(KV_State) * count);
    for (int32_t s = document->level + 1; s < document->stateCount; s++)
        document->history[s] = KV_State{}; /* the tables now belong to setAside */
    kvTruncateHistory(doc);
}

/* Puts the redo states back after a withdrawn edit (the level is the one the
 * edit started from again). */
static void kvPutRedoStatesBack(int32_t doc, KV_Document *document) {
    if (setAside.doc != doc || setAside.level != document->level) return;
    int32_t total = document->stateCount + setAside.count;
    document->history = static_cast<KV_State *>(
        kvRealloc(document->history, total * static_cast<int32_t>(sizeof(KV_State))));
    std::memcpy(&document->history[document->stateCount], setAside.states,
                sizeof(KV_State) * setAside.count);
    document->stateCount = total;
    document->current = &document->history[document->level];
    document->savedLevel = setAside.savedLevel;
    kvFree(setAside.states);
    setAside = KV_SetAside{};
}

/* Appends a state after the current one: a copy without tables, labelled. */
static void kvOpenState(KV_Document *document, const char *label) {
    document->level++;
    document->stateCount = document->level + 1;
    document->history = static_cast<KV_State *>(kvRealloc(
        document->history, document->stateCount * static_cast<int32_t>(sizeof(KV_State))));
    KV_State *state = &document->history[document->level];
    *state = document->history[document->level - 1];
    for (int32_t c = 0; c < 2; c++) {
        state->tables[c] = KV_Table{};
        state->insertAt[c] = 0;
    }
    state->files = KV_FileSet{};
    state->onDisk = 0;
    state->writeTicket = 0;
    state->headerCheck = 0;
    kvSetLabel(state, label);
    document->current = state;
}

/* Builds channel c of `state` from `previous` without the frames [m, m + d):
 * untouched runs are shared, the blocks the cut goes through are split, and
 * insertAt marks the gap. */
static void kvCutChannel(const KV_State *previous, KV_State *state, int32_t c, int32_t m,
                         int32_t d) {
    const KV_Table &old = previous->tables[c];
    int64_t headBase = 0, tailBase = 0;
    int32_t first = kvFindBlock(previous, c, m, &headBase);
    int32_t last = kvFindBlock(previous, c, int64_t{m} + d, &tailBase);
    bool head = first < old.count && headBase < m;
    bool tail = last < old.count && tailBase < int64_t{m} + d;
    KV_TableBuilder builder;
    kvBuildRange(&builder, old, 0, first);
    if (head)
        kvBuildBlock(&builder,
                     kvBlockHead(kvTableBlock(old, first), static_cast<int32_t>(m - headBase)));
    state->insertAt[c] = first + head;
    if (tail)
        kvBuildBlock(&builder,
                     kvBlockTail(kvTableBlock(old, last), static_cast<int32_t>(m + d - tailBase)));
    kvBuildRange(&builder, old, tail ? last + 1 : last, old.count);
    state->tables[c] = kvBuildTable(&builder);
}

static void kvCopyChannel(const KV_State *previous, KV_State *state, int32_t c) {
    state->tables[c] = kvTableShare(previous->tables[c]);
    state->insertAt[c] = 0;
}

void kvBeginEdit(int32_t doc, const char *label) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return;
    kvSaveState(doc);
    kvDropSetAside();
    if (document->stateCount != document->level + 1) kvSetRedoStatesAside(doc, document);
    kvProgress("Creating Undo", 0);
    kvOpenState(document, label);
    const KV_State *previous = &document->history[document->level - 1];
    KV_State *state = document->current;
    int32_t anchor = std::clamp(state->selAnchor, 0, state->length);
    int32_t end = std::clamp(state->selEnd, 0, state->length);
    int32_t m = std::min(anchor, end);
    int32_t d = std::max(anchor, end) - m;
    state->selAnchor = state->selEnd = m;
    state->length = 0;
    int32_t channels = std::clamp(state->channels, 1, 2);
    for (int32_t c = 0; c < channels; c++) {
        if (state->editChannel == -1 || state->editChannel == c)
            kvCutChannel(previous, state, c, m, d);
        else
            kvCopyChannel(previous, state, c);
        kvProgress(nullptr, 100 * (c + 1) / channels);
    }
    kvProgress(nullptr, -1);
}

int32_t kvCancelEdit(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    kvDiscardInsert();
    /* Truncating from the level below frees the withdrawn state's tables too. */
    if (document->level > 0) {
        document->level--;
        kvTruncateHistory(doc);
        kvPutRedoStatesBack(doc, document);
    }
    kvRebuildIndex(doc);
    kvSaveState(doc);
    kvProgress(nullptr, -1);
    kvDocumentChanged(doc);
    return -1;
}

int32_t kvCompleteEdit(int32_t doc, bool seal) {
    if (!kvGetDocument(doc)) return -1;
    if (!kvFinishInsert(doc)) return kvCancelEdit(doc);
    kvRebuildIndex(doc);
    kvAssertStateConsistent(kvGetDocument(doc)->current, true);
    kvSaveState(doc);
    if (seal) kvSealLastDataFile();
    kvDocumentChanged(doc);
    return 0;
}

/* ---- Undo, redo, history list ---- */

static void kvSwitchState(int32_t doc, int32_t n) {
    kvClaimDocuments();
    kvRestoreState(doc, n);
    kvWriteDocRecord(doc);
    kvUnloadFarStates(kvGetDocument(doc));
    kvDocumentChanged(doc);
}

void kvDiscardHistory(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return;
    /* Nothing queued may bring a file or the record back once removed. */
    kvWaitStateWrites(doc, -1);
    kvSettleStateWrites();
    if (setAside.doc == doc) kvDropSetAside();
    kvRemoveDocRecord(doc);
    kvRemoveStateFiles(doc, 0, document->stateCount - 1);
    for (int32_t s = 0; s < document->stateCount; s++)
        kvForgetState(&document->history[s]);
    document->level = 0;
    kvTruncateHistory(doc);
}

extern "C" KV_API int32_t kvUndo(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    if (document->level > 0) kvSwitchState(doc, document->level - 1);
    return 0;
}

extern "C" KV_API int32_t kvRedo(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    if (document->level < document->stateCount - 1) kvSwitchState(doc, document->level + 1);
    return 0;
}

extern "C" KV_API int32_t kvSetHistory(int32_t doc, int32_t n) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    if (n >= 0 && n < document->stateCount && n != document->level) kvSwitchState(doc, n);
    return 0;
}
