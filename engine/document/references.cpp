/*
 * references.cpp - who still needs which data file.
 *
 * Every holder of block descriptors (a state of an open document, the
 * clipboard's kept clips, a clip being played) keeps the set of data files
 * its blocks lie in, and each data file counts the sets that name it. The
 * counts change only here, by whole sets, so they can be checked against
 * the tables at any time; a file whose count falls to nothing is deleted by
 * the next collection, and its number is given out again.
 */
#include "engine/core/services.h"
#include "engine/document/document.h"

#include <algorithm>
#include <cstring>
#include <vector>

static void kvSortOnce(std::vector<int16_t> *files) {
    std::sort(files->begin(), files->end());
    files->erase(std::unique(files->begin(), files->end()), files->end());
}

/* Makes `set` hold exactly `files` (sorted, each once). */
static void kvHoldFileList(KV_FileSet *set, const std::vector<int16_t> &files) {
    /* New holders first, so that a file in both sets never reaches zero. */
    for (int16_t file : files)
        kvAddFileHolders(file, 1);
    kvReleaseFiles(set);
    if (files.empty()) return;
    int32_t bytes = static_cast<int32_t>(files.size() * sizeof(int16_t));
    set->files = static_cast<int16_t *>(kvAlloc(bytes));
    std::memcpy(set->files, files.data(), bytes);
    set->count = static_cast<int32_t>(files.size());
}

void kvHoldFiles(KV_FileSet *set, const KV_Block *const *tables, const int32_t *counts,
                 int32_t tableCount) {
    std::vector<int16_t> files;
    for (int32_t t = 0; t < tableCount; t++) {
        int16_t last = -1;
        for (int32_t b = 0; b < counts[t]; b++) {
            int16_t file = tables[t][b].file;
            /* Neighbouring blocks mostly share a file: skip the repeats early. */
            if (file >= 0 && file != last) files.push_back(file);
            last = file;
        }
    }
    kvSortOnce(&files);
    kvHoldFileList(set, files);
}

void kvHoldStateFiles(KV_State *state) {
    std::vector<int16_t> files;
    for (int32_t c = 0; c < std::clamp(state->channels, 0, 2); c++)
        kvTableFiles(state->tables[c], &files);
    kvSortOnce(&files);
    kvHoldFileList(&state->files, files);
}

void kvReleaseFiles(KV_FileSet *set) {
    for (int32_t i = 0; i < set->count; i++)
        kvAddFileHolders(set->files[i], -1);
    kvFree(set->files);
    *set = KV_FileSet{};
}
