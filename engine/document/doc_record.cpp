/*
 * doc_record.cpp - the small record that lets a later run rebuild a document
 * from the states a dead session left behind.
 *
 * The state files hold samples, selection and view, but not what a document
 * is: its file, its format, which of its states is current and which one was
 * last saved. This record holds that, beside the state files, and is replaced
 * whole (written under a new name, then renamed over the old one) whenever
 * one of those changes, so a session killed at any point leaves either the
 * old record or the new one, never part of either.
 */
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/document.h"
#include "engine/platform/fileio.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>

static const char kvRecordMagic[8] = {'K', 'V', 'D', 'O', 'C', 'R', 'E', 'C'};

/* The record's check value: FNV-1a over every byte before it, so a record
 * of garbage or of another layout is never taken for a document. */
static uint32_t kvRecordCheck(const KV_DocRecord &record) {
    const auto *bytes = reinterpret_cast<const uint8_t *>(&record);
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < offsetof(KV_DocRecord, check); i++)
        hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

std::string kvDocRecordPath(const std::string &folder, int32_t doc) {
    char name[32];
    std::snprintf(name, sizeof name, "/%04X.doc", doc);
    return folder + name;
}

bool (*kvDocRecordQueue)(int32_t doc, const KV_DocRecord &record, const std::string &path);

bool kvStoreDocRecord(const std::string &path, const KV_DocRecord &record) {
    std::string fresh = path + ".new";
    int32_t file = kvFileOpen(fresh, KV_FILE_CREATE_PRIVATE);
    bool written = file >= 0 && kvFileWrite(file, &record, sizeof record);
    kvFileClose(file);
    /* Without a record the document is simply not offered later; a stale
     * one could offer the wrong state, so a failed write removes it. */
    if (written && kvFileRename(fresh, path)) return true;
    kvFileRemove(fresh);
    kvFileRemove(path);
    return false;
}

bool kvWriteDocRecord(int32_t doc) {
    const KV_Document *document = kvGetDocument(doc);
    if (!document || kvEngine.batchSession) return true;
    KV_DocRecord record{};
    std::memcpy(record.magic, kvRecordMagic, sizeof record.magic);
    record.formatTag = document->formatTag;
    record.bitsPerSample = document->bitsPerSample;
    record.bitRate = document->bitRate;
    record.level = document->level;
    record.savedLevel = document->savedLevel;
    record.time = static_cast<int64_t>(std::time(nullptr));
    std::memcpy(record.path, document->path, sizeof record.path);
    record.path[sizeof record.path - 1] = 0;
    record.check = kvRecordCheck(record);
    std::string path = kvDocRecordPath(kvEngine.workFolder, doc);
    if (kvDocRecordQueue && kvDocRecordQueue(doc, record, path)) return true;
    if (kvStoreDocRecord(path, record)) return true;
    kvFileError("Can't create temp file");
    return false;
}

void kvRemoveDocRecord(int32_t doc) {
    kvFileRemove(kvDocRecordPath(kvEngine.workFolder, doc));
}

bool kvReadDocRecord(const std::string &path, KV_DocRecord *record) {
    int32_t file = kvFileOpen(path, KV_FILE_READ);
    if (file < 0) return false;
    bool read = kvFileSize(file) == static_cast<int64_t>(sizeof *record) &&
                kvFileRead(file, record, sizeof *record);
    kvFileClose(file);
    return read && std::memcmp(record->magic, kvRecordMagic, sizeof record->magic) == 0 &&
           record->check == kvRecordCheck(*record) && record->level >= 0 &&
           std::memchr(record->path, 0, sizeof record->path) != nullptr;
}
