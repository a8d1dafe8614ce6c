/*
 * mru.cpp - the recently used files list in the registry section "MRU".
 *
 * "Count" holds the number of entries (at most 8) and values "0".."Count-1"
 * the paths, most recent first. Values at or above Count are never read, and
 * entries that drop out are deleted rather than left behind. Each change reads
 * the whole list, rearranges it in memory and writes back only what moved, so
 * entries of any length survive a move intact.
 */
#include "engine/core/engine.h"
#include "engine/platform/fileio.h"
#include "engine/platform/store.h"

#include <algorithm>
#include <string>
#include <vector>

enum : int32_t { KV_MRU_LIMIT = 8 };

static const std::string kvMruKey = KV_REG_BASE "MRU";

/* The stored count, kept within 0..8 so a damaged value cannot make a caller
 * walk thousands of entries. */
static int32_t kvMruCount() {
    int32_t count = 0;
    if (kvGetReg("MRU", "Count", &count, sizeof count) < 0) return 0;
    return std::clamp<int32_t>(count, 0, KV_MRU_LIMIT);
}

/* Entry i as stored, or empty when it is missing. */
static std::string kvMruEntry(int32_t i) {
    KvStoreValue value;
    if (kvStoreGet(KV_HKEY_LOCAL_MACHINE, kvMruKey, std::to_string(i), &value) != 0) return "";
    return std::string(value.data.begin(), value.data.end());
}

/* Single-byte comparison folding only A-Z, so the result does not depend on
 * the process locale; paths are compared whole, embedded NULs included. */
static bool kvSameIgnoringCase(const std::string &a, const char *b) {
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    size_t i = 0;
    for (; i < a.size(); i++)
        if (b[i] == '\0' || fold(a[i]) != fold(b[i])) return false;
    return b[i] == '\0';
}

/* A damaged entry holding a NUL names no file the system could check. */
static bool kvMruFileExists(const std::string &entry) {
    return !entry.empty() && entry.find('\0') == std::string::npos && kvFileExists(entry);
}

static std::vector<std::string> kvMruRead() {
    std::vector<std::string> entries;
    for (int32_t i = 0, count = kvMruCount(); i < count; i++)
        entries.push_back(kvMruEntry(i));
    return entries;
}

/* Writes the entries that differ from what `before` holds at their index,
 * removes values left beyond the new end, then stores the count. */
static void kvMruWrite(const std::vector<std::string> &entries,
                       const std::vector<std::string> &before) {
    for (size_t i = 0; i < entries.size(); i++) {
        if (i < before.size() && before[i] == entries[i]) continue;
        kvStoreSet(KV_HKEY_LOCAL_MACHINE, kvMruKey, std::to_string(i), KV_REG_BINARY,
                   entries[i].data(), static_cast<int32_t>(entries[i].size()));
    }
    for (size_t i = entries.size(); i < before.size(); i++)
        kvStoreDeleteValue(KV_HKEY_LOCAL_MACHINE, kvMruKey, std::to_string(i));
    int32_t count = static_cast<int32_t>(entries.size());
    kvSetReg("MRU", "Count", &count, sizeof count);
}

extern "C" KV_API int32_t kvGetMRUCount(void) {
    return kvMruCount();
}

extern "C" KV_API int32_t kvGetMRU(char *buffer, int32_t index, int32_t size) {
    if (buffer == nullptr || index < 0 || index >= kvMruCount()) return -1;
    return kvGetReg("MRU", std::to_string(index).c_str(), buffer, size);
}

extern "C" KV_API int32_t kvSetMRU(const char *path) {
    if (path == nullptr || *path == '\0') return -1;
    std::vector<std::string> before = kvMruRead();
    std::vector<std::string> entries = before;
    auto same = std::find_if(entries.begin(), entries.end(), [path](const std::string &entry) {
        return kvSameIgnoringCase(entry, path);
    });
    if (same != entries.end())
        entries.erase(same);
    else if (entries.size() == KV_MRU_LIMIT)
        entries.pop_back();
    entries.insert(entries.begin(), path);
    kvMruWrite(entries, before);
    return 0;
}

extern "C" KV_API int32_t kvCheckMRU(void) {
    std::vector<std::string> before = kvMruRead();
    std::vector<std::string> entries;
    for (const std::string &entry : before)
        if (kvMruFileExists(entry)) entries.push_back(entry);
    if (entries.size() != before.size()) kvMruWrite(entries, before);
    return 0;
}
