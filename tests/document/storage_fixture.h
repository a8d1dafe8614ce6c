/*
 * storage_fixture.h - the storage and history tests' view into a document:
 * a state's tables and block lengths, distinct ramps of samples, and the
 * names of data and state files. Filling and reading documents comes from
 * the shared document fixture.
 */
#ifndef KV_TESTS_STORAGE_FIXTURE_H
#define KV_TESTS_STORAGE_FIXTURE_H

#include "tests/support/document_fixture.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

class StorageTest : public DocumentTest {
  protected:
    static KV_State *state(int32_t doc) { return kvGetDocument(doc)->current; }

    static std::vector<KV_Block> blocks(int32_t doc, int32_t c) {
        const KV_State *s = state(doc);
        std::vector<KV_Block> result;
        kvTableSpans(s->tables[c], 0, s->tables[c].count, [&](const KV_Block *b, int32_t n) {
            result.insert(result.end(), b, b + n);
            return true;
        });
        return result;
    }

    static std::vector<int32_t> lengths(int32_t doc, int32_t c) {
        std::vector<int32_t> result;
        for (const KV_Block &block : blocks(doc, c))
            result.push_back(block.length);
        return result;
    }

    /* A ramp of n distinct samples starting at `first`, step 1/65536. */
    static std::vector<float> ramp(int32_t n, float first = 0.0f) {
        std::vector<float> samples(n);
        for (int32_t i = 0; i < n; i++)
            samples[i] = first + static_cast<float>(i) / 65536.0f;
        return samples;
    }

    std::string dataFile(int32_t n) const {
        char name[32];
        std::snprintf(name, sizeof name, "/DATA%04X.tmp", n);
        return workFolder + name;
    }
    /* Descriptors of the open files whose path contains "/DATA". */
    static int32_t openDataFileHandles() {
        int32_t count = 0;
        DIR *folder = opendir("/proc/self/fd");
        while (dirent *entry = readdir(folder)) {
            char target[4096] = {};
            std::string link = std::string("/proc/self/fd/") + entry->d_name;
            if (readlink(link.c_str(), target, sizeof target - 1) > 0 &&
                std::strstr(target, "/DATA"))
                count++;
        }
        closedir(folder);
        return count;
    }
    std::string stateFile(int32_t doc, int32_t level) const {
        char name[32];
        std::snprintf(name, sizeof name, "/%04X%04X.tmp", doc, level);
        return workFolder + name;
    }
};

inline bool operator==(const KV_Block &a, const KV_Block &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

#endif
