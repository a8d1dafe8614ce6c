/*
 * store.h - the settings store: a registry-shaped table in one SQLite file.
 *
 * Keys exist on their own (creating a key creates its parents), values hang
 * under keys, key paths and value names compare without regard to case, and
 * the two roots are separate namespaces of the same file. The file is
 * "registry.sqlite3" in the config folder, in WAL mode with a busy timeout so
 * that two running copies can share it.
 */
#ifndef KV_PLATFORM_STORE_H
#define KV_PLATFORM_STORE_H

#include <cstdint>
#include <string>
#include <vector>

enum : int32_t { KV_REG_BINARY = 3, KV_REG_STRING = 1 };

struct KvStoreValue {
    int32_t type = 0;
    std::vector<uint8_t> data;
};

/* 1 when the key exists, 0 when not (or the store cannot be read). */
int32_t kvStoreKeyExists(int32_t root, const std::string &key);

/* 0 and the value; -1 when the key is missing, -2 when the value is. */
int32_t kvStoreGet(int32_t root, const std::string &key, const std::string &name,
                   KvStoreValue *value);

/* Creates the key (and its parents) and writes the value: 0; -1 when the key
 * cannot be created, -2 when the value cannot be written. */
int32_t kvStoreSet(int32_t root, const std::string &key, const std::string &name, int32_t type,
                   const void *data, int32_t size);

/* Creates the key and its parents: 0 or -1. */
int32_t kvStoreCreateKey(int32_t root, const std::string &key);

/* Removes a value: 0, or -1 when it did not exist or could not be removed. */
int32_t kvStoreDeleteValue(int32_t root, const std::string &key, const std::string &name);

/* Removes a key with its values and subkeys: 0 or -1. */
int32_t kvStoreDeleteKey(int32_t root, const std::string &key);

/* Names of the values under a key, in the order they were first written. */
std::vector<std::string> kvStoreValueNames(int32_t root, const std::string &key);

/* Names (last path element) of the direct subkeys of a key, sorted. */
std::vector<std::string> kvStoreSubkeys(int32_t root, const std::string &key);

/* Closes the connection; the next call opens the file again. */
void kvStoreClose();

#endif
