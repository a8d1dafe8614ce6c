/*
 * recovery.cpp - finding and rebuilding the documents of sessions that died.
 *
 * Each run works in a session folder of its own under the working folder,
 * locked for as long as the run lives; the kernel drops the lock with the
 * process however it ends. At start, every other session folder whose lock
 * can be taken belongs to a run that is gone: its documents with unsaved
 * changes are offered, the rest of it is deleted at once, and what is offered
 * stays locked by this run until it is restored or discarded. Nothing of a
 * dead session is trusted: a record, a state file or a descriptor that does
 * not check out only means that the document is not offered (or, found out
 * while restoring, is discarded with a message).
 */
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/changes.h"
#include "engine/document/document.h"
#include "engine/history/history.h"
#include "engine/platform/fileio.h"
#include "engine/platform/paths.h"
#include "korvel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

struct KV_DeadSession {
    std::string folder;
    int32_t lock;
    int32_t offered; /* documents still offered */
};

struct KV_Offer {
    size_t session;
    int32_t doc;
    KV_DocRecord record;
    KV_Recoverable summary;
};

static std::vector<KV_DeadSession> deadSessions;
static std::vector<KV_Offer> offers;
static int32_t nextOfferId = 1;

static std::string kvNamedIn(const std::string &folder, const char *format, int32_t a,
                             int32_t b = 0) {
    char name[32];
    std::snprintf(name, sizeof name, format, a, b);
    return folder + "/" + name;
}

/* The document number of a record's name "XXXX.doc", or -1. */
static int32_t kvRecordNumber(const std::string &name) {
    if (name.size() != 8 || name.compare(4, 4, ".doc") != 0) return -1;
    std::string digits = name.substr(0, 4);
    if (digits.find_first_not_of("0123456789ABCDEF") != std::string::npos) return -1;
    return static_cast<int32_t>(std::stol(digits, nullptr, 16));
}

/* Samples a dead session's data file holds, -1 when it has none: asked
 * once per file. */
static int64_t kvDeadDataLength(const std::string &folder, int32_t file,
                                std::map<int32_t, int64_t> *lengths) {
    auto found = lengths->find(file);
    if (found != lengths->end()) return found->second;
    int64_t bytes = kvFileSizeOf(kvNamedIn(folder, "DATA%04X.tmp", file));
    return (*lengths)[file] = bytes < 0 ? -1 : bytes / 4;
}

/* A descriptor of a dead session that points wholly inside its data files. */
static bool kvDeadBlockFits(const std::string &folder, const KV_Block &block,
                            std::map<int32_t, int64_t> *lengths) {
    if (block.file < 0 || block.position < 0) return kvBlockIsUsable(block);
    KV_Block local = block;
    local.file = -1;
    local.position = -1;
    return kvBlockIsUsable(local) &&
           int64_t{block.position} + block.length <= kvDeadDataLength(folder, block.file, lengths);
}

static void kvOfferDocument(size_t session, int32_t doc) {
    const std::string &folder = deadSessions[session].folder;
    KV_DocRecord record;
    if (!kvReadDocRecord(kvDocRecordPath(folder, doc), &record) ||
        record.level == record.savedLevel)
        return;
    std::map<int32_t, int64_t> lengths;
    KV_State state;
    if (!kvReadForeignState(
            kvNamedIn(folder, "%04X%04X.tmp", doc, record.level), &state,
            [&](KV_Block *block) { return kvDeadBlockFits(folder, *block, &lengths); }))
        return;
    KV_Offer offer{session, doc, record, KV_Recoverable{}};
    offer.summary.id = nextOfferId++;
    offer.summary.length = state.length;
    offer.summary.channels = state.channels;
    offer.summary.sampleRate = state.sampleRate;
    offer.summary.time = record.time;
    std::memcpy(offer.summary.lastEdit, state.label, sizeof offer.summary.lastEdit);
    std::memcpy(offer.summary.path, record.path, sizeof offer.summary.path);
    kvFreeStateTables(&state);
    offers.push_back(offer);
    deadSessions[session].offered++;
}

/* Deletes a dead session's folder and gives up its lock. */
static void kvDropDeadSession(KV_DeadSession *session) {
    if (session->lock < 0) return;
    kvRemoveFolderFiles(session->folder);
    kvUnlockFolder(session->lock);
    session->lock = -1;
}

void kvFindRecoverable(const std::string &root, const std::string &own) {
    for (const std::string &name : kvListFolders(root, KV_SESSION_PREFIX)) {
        std::string folder = root + "/" + name;
        if (folder == own) continue;
        int32_t lock = kvLockFolder(folder);
        if (lock < 0) continue; /* its run is alive */
        deadSessions.push_back({folder, lock, 0});
        for (const std::string &file : kvListFiles(folder))
            if (int32_t doc = kvRecordNumber(file); doc >= 0)
                kvOfferDocument(deadSessions.size() - 1, doc);
        if (deadSessions.back().offered == 0) kvDropDeadSession(&deadSessions.back());
    }
}

static KV_Offer *kvFindOffer(int32_t id) {
    for (KV_Offer &offer : offers)
        if (offer.summary.id == id) return &offer;
    return nullptr;
}

/* Takes an offer off the list; its session's folder goes with its last one. */
static void kvRetireOffer(int32_t id) {
    auto found = std::find_if(offers.begin(), offers.end(),
                              [id](const KV_Offer &offer) { return offer.summary.id == id; });
    if (found == offers.end()) return;
    KV_DeadSession &session = deadSessions[found->session];
    offers.erase(found);
    if (--session.offered == 0) kvDropDeadSession(&session);
}

void kvForgetRecoverable() {
    offers.clear();
    for (KV_DeadSession &session : deadSessions)
        kvUnlockFolder(session.lock);
    deadSessions.clear();
}

/* Reads the states of an offer from its current level down, as long as
 * their files are whole, renumbering the data files they use into this
 * session's: oldest first, empty when the current one is damaged. */
static std::vector<KV_State> kvReadOfferStates(const KV_Offer &offer) {
    const std::string &folder = deadSessions[offer.session].folder;
    std::map<int32_t, int64_t> lengths;
    std::map<int32_t, int32_t> adopted;
    auto renumber = [&](KV_Block *block) {
        if (!kvDeadBlockFits(folder, *block, &lengths)) return false;
        if (block->file < 0) return true;
        auto found = adopted.find(block->file);
        if (found == adopted.end()) {
            int32_t file = kvAdoptDataFile(kvNamedIn(folder, "DATA%04X.tmp", block->file));
            if (file < 0) return false;
            found = adopted.emplace(block->file, file).first;
        }
        block->file = static_cast<int16_t>(found->second);
        return kvBlockIsUsable(*block);
    };
    std::vector<KV_State> states;
    for (int32_t level = offer.record.level; level >= 0; level--) {
        KV_State state;
        if (!kvReadForeignState(kvNamedIn(folder, "%04X%04X.tmp", offer.doc, level), &state,
                                renumber))
            break;
        states.push_back(state);
    }
    std::reverse(states.begin(), states.end());
    return states;
}

/* Makes `states` the document's history, its last one current, and writes
 * their state files into this session. */
static void kvInstallStates(int32_t doc, KV_Document *document, std::vector<KV_State> &states) {
    int32_t count = static_cast<int32_t>(states.size());
    kvDiscardHistory(doc); /* one state left, its tables freed */
    document->history = static_cast<KV_State *>(
        kvRealloc(document->history, count * static_cast<int32_t>(sizeof(KV_State))));
    std::copy(states.begin(), states.end(), document->history);
    document->stateCount = count;
    for (int32_t s = 0; s < count; s++)
        kvHoldStateFiles(&document->history[s]);
    for (int32_t s = 0; s < count; s++) {
        document->level = s;
        document->current = &document->history[s];
        kvSaveState(doc);
    }
}

extern "C" KV_API int32_t kvRecover(int32_t doc, int32_t id) {
    KV_Document *document = kvGetDocument(doc);
    KV_Offer *offer = kvFindOffer(id);
    if (!document || !offer) return -1;
    kvClaimDocuments();
    std::vector<KV_State> states = kvReadOfferStates(*offer);
    if (states.empty()) {
        std::string name = offer->record.path[0] ? offer->record.path : "Untitled";
        kvRetireOffer(id);
        kvCollectDataFiles();
        return kvError(0,
                       "Can't restore %s\n\nIts files in the working folder are damaged; it has "
                       "been discarded.",
                       name.c_str());
    }
    KV_DocRecord record = offer->record;
    kvInstallStates(doc, document, states);
    std::memcpy(document->path, record.path, sizeof document->path);
    document->formatTag = record.formatTag;
    document->bitsPerSample = record.bitsPerSample;
    document->bitRate = record.bitRate;
    document->codecDriver = nullptr;
    document->savedLevel = -1;
    kvWriteDocRecord(doc);
    kvRetireOffer(id);
    kvCollectDataFiles();
    kvDocumentChanged(doc);
    return 0;
}

extern "C" KV_API int32_t kvListRecoverable(KV_Recoverable *list, int32_t capacity, int32_t size) {
    if (size != static_cast<int32_t>(sizeof(KV_Recoverable)) || !kvEngine.running) return -1;
    int32_t count = static_cast<int32_t>(offers.size());
    for (int32_t i = 0; list && i < std::min(count, capacity); i++)
        list[i] = offers[i].summary;
    return count;
}

extern "C" KV_API int32_t kvDiscardRecoverable(int32_t id) {
    if (id == -1) {
        while (!offers.empty())
            kvRetireOffer(offers.front().summary.id);
        return 0;
    }
    if (!kvFindOffer(id)) return -1;
    kvRetireOffer(id);
    return 0;
}
