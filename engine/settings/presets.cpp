/*
 * presets.cpp - named presets of the effect dialogs and the options dialog.
 *
 * A group is the registry section "Presets\<group>": "Count", then for each
 * index "%04d Name" and "%04d Data", dense and in the order added. The data
 * is an opaque block to the engine. Values are moved whole through the store,
 * so deleting a preset never cuts a long name or data block short, and names
 * are compared whole, whatever their length.
 */
#include "engine/core/engine.h"
#include "engine/platform/store.h"

#include <cstdio>
#include <cstring>
#include <string>

static std::string kvPresetSection(const char *group) {
    return std::string("Presets\\") + (group ? group : "");
}

static std::string kvPresetKey(const char *group) {
    return KV_REG_BASE + kvPresetSection(group);
}

static std::string kvPresetValueName(int32_t index, const char *what) {
    char name[32];
    std::snprintf(name, sizeof name, "%04d %s", index, what);
    return name;
}

/* The stored count; a damaged (negative) value counts as an empty group. */
static int32_t kvPresetCount(const char *group) {
    int32_t count = 0;
    if (kvGetReg(kvPresetSection(group).c_str(), "Count", &count, sizeof count) < 0) return 0;
    return count > 0 ? count : 0;
}

static void kvSetPresetCount(const char *group, int32_t count) {
    kvSetReg(kvPresetSection(group).c_str(), "Count", &count, sizeof count);
}

static bool kvSameName(const std::string &stored, const char *name) {
    if (stored.size() != std::strlen(name)) return false;
    for (size_t i = 0; i < stored.size(); i++) {
        auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
        if (fold(stored[i]) != fold(name[i])) return false;
    }
    return true;
}

/* Moves one value of index `from` to index `to`. */
static void kvMovePresetValue(const char *group, int32_t from, int32_t to, const char *what) {
    KvStoreValue value;
    std::string key = kvPresetKey(group);
    if (kvStoreGet(KV_HKEY_LOCAL_MACHINE, key, kvPresetValueName(from, what), &value) != 0) return;
    kvStoreSet(KV_HKEY_LOCAL_MACHINE, key, kvPresetValueName(to, what), value.type,
               value.data.data(), static_cast<int32_t>(value.data.size()));
}

extern "C" KV_API int32_t kvGetPresetCount(const char *group) {
    return kvPresetCount(group);
}

extern "C" KV_API int32_t kvGetPresetName(const char *group, int32_t index, char *buffer,
                                          int32_t size) {
    if (index < 0) return -1;
    return kvGetReg(kvPresetSection(group).c_str(), kvPresetValueName(index, "Name").c_str(),
                    buffer, size);
}

extern "C" KV_API int32_t kvLoadPreset(const char *group, int32_t index, void *buffer,
                                       int32_t size) {
    if (index < 0) return -1;
    return kvGetReg(kvPresetSection(group).c_str(), kvPresetValueName(index, "Data").c_str(),
                    buffer, size);
}

extern "C" KV_API int32_t kvIsNameTaken(const char *group, const char *name) {
    if (!name) return -1;
    std::string key = kvPresetKey(group);
    for (int32_t i = 0, count = kvPresetCount(group); i < count; i++) {
        KvStoreValue value;
        if (kvStoreGet(KV_HKEY_LOCAL_MACHINE, key, kvPresetValueName(i, "Name"), &value) != 0)
            continue;
        if (kvSameName(std::string(value.data.begin(), value.data.end()), name)) return i;
    }
    return -1;
}

extern "C" KV_API int32_t kvSavePreset(const char *group, const char *name, const void *data,
                                       int32_t size) {
    if (!name || size < 0 || (size > 0 && !data)) return 0;
    int32_t index = kvIsNameTaken(group, name);
    int32_t count = kvPresetCount(group);
    std::string section = kvPresetSection(group);
    int32_t at = index >= 0 ? index : count;
    kvSetReg(section.c_str(), kvPresetValueName(at, "Name").c_str(), name,
             static_cast<int32_t>(std::strlen(name)));
    kvSetReg(section.c_str(), kvPresetValueName(at, "Data").c_str(), data, size);
    if (index < 0) kvSetPresetCount(group, count + 1);
    return 0;
}

extern "C" KV_API int32_t kvDeletePreset(const char *group, int32_t index) {
    int32_t count = kvPresetCount(group);
    if (index < 0 || index >= count) return -1;
    kvSetPresetCount(group, count - 1);
    for (int32_t j = index; j < count - 1; j++) {
        kvMovePresetValue(group, j + 1, j, "Name");
        kvMovePresetValue(group, j + 1, j, "Data");
    }
    std::string section = kvPresetSection(group);
    kvDeleteReg(section.c_str(), kvPresetValueName(count - 1, "Name").c_str());
    kvDeleteReg(section.c_str(), kvPresetValueName(count - 1, "Data").c_str());
    return 0;
}
