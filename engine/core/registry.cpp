/*
 * registry.cpp - the registry exports over the settings store.
 *
 * Engine values live under "Software\Tervalin\Korvel\<subkey>" in the
 * machine root; the string calls take any root and full key path. Reads give
 * the bytes read and zero-fill the rest of the caller's buffer, so fixed-size
 * records read from a shorter value never carry stale bytes.
 */
#include "engine/core/engine.h"
#include "engine/platform/store.h"

#include <cstring>
#include <string>

static std::string kvEngineKey(const char *subkey) {
    return std::string(KV_REG_BASE) + (subkey ? subkey : "");
}

/* Copies a stored value into the caller's buffer: bytes copied, or -1 when it
 * does not fit. */
static int32_t kvCopyOut(const KvStoreValue &value, void *buffer, int32_t size) {
    int32_t stored = static_cast<int32_t>(value.data.size());
    if (stored > size || buffer == nullptr) return -1;
    if (stored > 0) std::memcpy(buffer, value.data.data(), stored); /* empty: no data pointer */
    std::memset(static_cast<char *>(buffer) + stored, 0, size - stored);
    return stored;
}

extern "C" KV_API int32_t kvGetReg(const char *subkey, const char *valueName, void *buffer,
                                   int32_t size) {
    KvStoreValue value;
    if (!valueName || size < 0) return -1;
    if (kvStoreGet(KV_HKEY_LOCAL_MACHINE, kvEngineKey(subkey), valueName, &value) != 0) return -1;
    return kvCopyOut(value, buffer, size);
}

extern "C" KV_API int32_t kvSetReg(const char *subkey, const char *valueName, const void *data,
                                   int32_t size) {
    if (!valueName || size < 0 || (size > 0 && !data)) return -1;
    return kvStoreSet(KV_HKEY_LOCAL_MACHINE, kvEngineKey(subkey), valueName, KV_REG_BINARY, data,
                      size) == 0
               ? 0
               : -1;
}

extern "C" KV_API int32_t kvDeleteReg(const char *subkey, const char *valueName) {
    if (!valueName) return -1;
    return kvStoreDeleteValue(KV_HKEY_LOCAL_MACHINE, kvEngineKey(subkey), valueName);
}

extern "C" KV_API int32_t kvGetRegString(int32_t root, const char *keyPath, const char *valueName,
                                         char *buffer, int32_t size) {
    if (!keyPath || size < 0) return -1;
    KvStoreValue value;
    int32_t found = kvStoreGet(root, keyPath, valueName ? valueName : "", &value);
    if (found != 0) return found;
    int32_t copied = kvCopyOut(value, buffer, size);
    return copied < 0 ? -2 : copied;
}

extern "C" KV_API int32_t kvSetRegString(int32_t root, const char *keyPath, const char *valueName,
                                         const char *text, int32_t length) {
    if (!keyPath) return -1;
    if (!text || length < 0) return -2;
    if (length == 0) length = static_cast<int32_t>(std::strlen(text));
    return kvStoreSet(root, keyPath, valueName ? valueName : "", KV_REG_STRING, text, length);
}
