/*
 * clipboard.cpp - copy, cut, paste and the clipboard file.
 *
 * Copy stores descriptors only; paste splices them into the document when the
 * clip fits it (same rate, and no stereo clip going into one channel) and
 * otherwise converts: mixes stereo down and resamples block by block, which
 * does write new samples. Each clip is appended to "COPY.tmp"; the most
 * recent ones keep their samples and can be brought back, while older ones
 * give theirs up, so that copying all day does not keep every copied sound
 * on disk.
 */
#include "engine/history/clipboard.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/changes.h"
#include "engine/history/history.h"
#include "engine/platform/fileio.h"
#include "engine/platform/messages.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

KV_Clip kvClip;

static const char *const kvClipWriteFailedText =
    "Error writing to file. Make sure your disk is not full, and try again.";

/* The clips of the file that can still be loaded, oldest first, each with
 * the data files it holds. */
struct KV_KeptClip {
    int32_t number;
    KV_FileSet files;
};
static std::deque<KV_KeptClip> keptClips;

/* Where the last clip read of each channel ended, so sequential reads of a
 * long clip do not walk its table from the start every time. */
struct KvClipCursor {
    int32_t block;
    int32_t base;
};
static KvClipCursor clipCursor[2];

void kvResetClipboard() {
    for (int c = 0; c < 2; c++)
        kvFree(kvClip.blocks[c]);
    kvReleaseFiles(&kvClip.files);
    kvClip = KV_Clip{};
    kvClip.number = -1;
    clipCursor[0] = clipCursor[1] = KvClipCursor{0, 0};
}

void kvForgetClips() {
    kvResetClipboard();
    for (KV_KeptClip &kept : keptClips)
        kvReleaseFiles(&kept.files);
    keptClips.clear();
}

/* Adds the current clip, just appended as clip `number`, to the kept ones,
 * letting the oldest go when there are more than KV_KEPT_CLIPS. */
static void kvKeepClip(int32_t number) {
    KV_KeptClip kept{number, KV_FileSet{}};
    kvHoldFiles(&kept.files, kvClip.blocks, kvClip.blockCount, kvClip.channels);
    keptClips.push_back(kept);
    if (keptClips.size() <= KV_KEPT_CLIPS) return;
    kvReleaseFiles(&keptClips.front().files);
    keptClips.pop_front();
}

static bool kvClipKept(int32_t number) {
    return std::any_of(keptClips.begin(), keptClips.end(),
                       [number](const KV_KeptClip &kept) { return kept.number == number; });
}

int32_t kvGetClipCount() {
    int32_t file = kvFileOpen(kvEngine.clipboardPath, KV_FILE_READ);
    if (file < 0) return 0;
    int32_t count = 0;
    if (!kvFileReadAt(file, &count, 4, 0) || count < 0) count = 0;
    kvFileClose(file);
    return count;
}

int32_t kvReadClip(int32_t channel, int32_t start, int32_t count, float *buffer) {
    if (channel < 0 || channel >= kvClip.channels) channel = 0;
    std::fill(buffer, buffer + std::max(count, 0), 0.0f);
    const KV_Block *blocks = kvClip.blocks[channel];
    KvClipCursor &cursor = clipCursor[channel];
    if (start < cursor.base || cursor.block > kvClip.blockCount[channel])
        cursor = KvClipCursor{0, 0};
    int32_t got = 0;
    for (int32_t done = std::max(0, -start); done < count;) {
        if (cursor.block >= kvClip.blockCount[channel]) break;
        const KV_Block &block = blocks[cursor.block];
        int32_t position = start + done;
        if (position >= cursor.base + block.length) {
            cursor.base += block.length;
            cursor.block++;
            continue;
        }
        int32_t offset = position - cursor.base;
        int32_t n = std::min(count - done, block.length - offset);
        if (block.file >= 0) {
            kvReadData(block.file, static_cast<int64_t>(block.position) + offset, buffer + done, n);
        }
        done += n;
        got += n;
    }
    return got;
}

/* Copies the descriptors of one channel that overlap [m, m + d), shortening
 * the first and last by the splitting rule. */
static void kvCopyChannelRange(const KV_State *state, int32_t channel, int32_t m, int32_t d,
                               std::vector<KV_Block> *out) {
    const KV_Table &table = state->tables[channel];
    int64_t base = 0;
    int32_t first = kvFindBlock(state, channel, m, &base);
    kvTableSpans(table, first, table.count, [&](const KV_Block *blocks, int32_t count) {
        for (int32_t b = 0; b < count && base < int64_t{m} + d; b++) {
            KV_Block block = blocks[b];
            int64_t end = base + block.length;
            if (end > int64_t{m} + d)
                block = kvBlockHead(block, static_cast<int32_t>(m + d - base));
            if (base < m) block = kvBlockTail(block, static_cast<int32_t>(m - base));
            out->push_back(block);
            base = end;
        }
        return base < int64_t{m} + d;
    });
}

/* Frames in a table, held at INT32_MAX: positions are 32-bit. */
static int32_t kvTableLength(const KV_Block *blocks, int32_t count) {
    int64_t length = 0;
    for (int32_t b = 0; b < count; b++)
        length += blocks[b].length;
    return static_cast<int32_t>(std::min<int64_t>(length, INT32_MAX));
}

/* Where the record after the first `count` clips starts. A failed append
 * can leave a record the count does not cover; the next append writes over
 * it, so that clip n is always the record the count and the sizes lead to. */
static int64_t kvClipRecordsEnd(int32_t file, int32_t count) {
    int64_t at = 4;
    for (int32_t n = 0; n < count; n++) {
        int32_t size = 0;
        if (!kvFileReadAt(file, &size, 4, at) || size < 8)
            return std::max<int64_t>(kvFileSize(file), 4);
        at += 4 + static_cast<int64_t>(size);
    }
    return at;
}

/* Appends the current clip to the clipboard file: its number, or -1. */
static int32_t kvAppendClip() {
    int32_t file = kvFileOpen(kvEngine.clipboardPath, KV_FILE_READWRITE);
    if (file < 0) file = kvFileOpen(kvEngine.clipboardPath, KV_FILE_CREATE_PRIVATE);
    if (file < 0) return -1;
    int32_t count = 0;
    if (kvFileSize(file) < 4 || !kvFileReadAt(file, &count, 4, 0) || count < 0) count = 0;
    std::vector<uint8_t> record;
    auto put = [&record](const void *data, size_t size) {
        const uint8_t *bytes = static_cast<const uint8_t *>(data);
        record.insert(record.end(), bytes, bytes + size);
    };
    int32_t size = 8;
    for (int c = 0; c < kvClip.channels; c++)
        size += 4 + 144 * kvClip.blockCount[c];
    put(&size, 4);
    put(&kvClip.channels, 4);
    put(&kvClip.sampleRate, 4);
    for (int c = 0; c < kvClip.channels; c++) {
        put(&kvClip.blockCount[c], 4);
        put(kvClip.blocks[c], 144 * static_cast<size_t>(kvClip.blockCount[c]));
    }
    int32_t newCount = count + 1;
    int64_t end = kvClipRecordsEnd(file, count);
    bool written = kvFileWriteAt(file, record.data(), static_cast<int64_t>(record.size()), end) &&
                   kvFileWriteAt(file, &newCount, 4, 0);
    kvFileClose(file);
    return written ? count : -1;
}

/* Makes the clip hold these channel tables. */
static void kvSetClip(int32_t channels, int32_t rate, std::vector<KV_Block> *tables) {
    kvResetClipboard();
    kvClip.channels = channels;
    kvClip.sampleRate = rate;
    for (int c = 0; c < channels; c++) {
        kvClip.blockCount[c] = static_cast<int32_t>(tables[c].size());
        kvClip.blocks[c] = static_cast<KV_Block *>(kvAlloc(
            static_cast<int32_t>(std::max<size_t>(1, tables[c].size()) * sizeof(KV_Block))));
        if (!tables[c].empty())
            std::memcpy(kvClip.blocks[c], tables[c].data(), tables[c].size() * sizeof(KV_Block));
        kvClip.length =
            std::max(kvClip.length, kvTableLength(kvClip.blocks[c], kvClip.blockCount[c]));
    }
    kvHoldFiles(&kvClip.files, kvClip.blocks, kvClip.blockCount, channels);
}

extern "C" KV_API int32_t kvCopy(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    const KV_State *state = document->current;
    int32_t m = std::min(state->selAnchor, state->selEnd);
    int32_t d = std::abs(state->selAnchor - state->selEnd);
    if (d == 0) return 0;
    kvProgress("Copying Data", 0);
    std::vector<KV_Block> tables[2];
    int32_t channels = 0;
    for (int32_t c = 0; c < state->channels; c++) {
        if (state->editChannel != -1 && state->editChannel != c) continue;
        kvCopyChannelRange(state, c, m, d, &tables[channels++]);
    }
    kvSetClip(channels, state->sampleRate, tables);
    kvClip.number = kvAppendClip();
    if (kvClip.number >= 0) kvKeepClip(kvClip.number);
    kvCollectDataFiles();                     /* what the clip let go of */
    kvDocumentChanged(doc, KV_CHANGE_STATUS); /* the program's clip list follows the clip count */
    kvProgress(nullptr, -1);
    /* The clip stays current and can be pasted; only the clip list lacks it. */
    if (kvClip.number < 0) return kvFileError(kvClipWriteFailedText);
    return 0;
}

extern "C" KV_API int32_t kvCut(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    if (document->current->selAnchor == document->current->selEnd) return 0;
    kvClaimDocuments();
    kvCopy(doc);
    kvBeginEdit(doc, "Cut");
    return kvCompleteEdit(doc, false) == 0 ? 0 : -1;
}

/* Reads one clip record (the file is positioned just after its size). */
static bool kvReadClipRecord(int32_t file, int64_t at, int32_t size, int32_t *channels,
                             int32_t *rate, std::vector<KV_Block> *tables) {
    if (size < 8 || !kvFileReadAt(file, channels, 4, at) || !kvFileReadAt(file, rate, 4, at + 4))
        return false;
    /* A rate no document can have would also size the converting paste's
     * buffers: a damaged record is refused before it gets there. */
    if (*channels < 1 || *channels > 2 || *rate < KV_LOWEST_RATE || *rate > KV_HIGHEST_RATE)
        return false;
    int64_t position = at + 8;
    for (int32_t c = 0; c < *channels; c++) {
        int32_t count = 0;
        if (!kvFileReadAt(file, &count, 4, position) || count < 0 ||
            144LL * count > size - (position + 4 - at))
            return false;
        tables[c].resize(count);
        if (count > 0 && !kvFileReadAt(file, tables[c].data(), 144LL * count, position + 4))
            return false;
        for (const KV_Block &block : tables[c])
            if (!kvBlockIsUsable(block)) return false;
        position += 4 + 144LL * count;
    }
    return true;
}

extern "C" KV_API int32_t kvLoadClip(int32_t n) {
    if (n == kvClip.number && kvClip.sampleRate != 0) return 0;
    /* A clip that gave up its samples has nothing left to paste. */
    if (!kvClipKept(n)) return 0;
    int32_t file = kvFileOpen(kvEngine.clipboardPath, KV_FILE_READ);
    if (file < 0) return 0;
    int32_t count = 0;
    int64_t at = 4;
    bool found = kvFileReadAt(file, &count, 4, 0) && n >= 0 && n < count;
    for (int32_t skip = 0; found && skip <= n; skip++) {
        int32_t size = 0;
        found = kvFileReadAt(file, &size, 4, at) && size >= 8;
        if (found && skip < n) at += 4 + static_cast<int64_t>(size);
    }
    int32_t size = 0, channels = 0, rate = 0;
    std::vector<KV_Block> tables[2];
    if (found && kvFileReadAt(file, &size, 4, at) &&
        kvReadClipRecord(file, at + 4, size, &channels, &rate, tables)) {
        kvSetClip(channels, rate, tables);
        kvClip.number = n;
    }
    kvFileClose(file);
    kvCollectDataFiles();
    return 0;
}

extern "C" KV_API int32_t kvEmptyClipboard(void) {
    kvForgetClips();
    int32_t file = kvFileOpen(kvEngine.clipboardPath, KV_FILE_CREATE);
    int32_t none = 0;
    bool emptied = file >= 0 && kvFileWrite(file, &none, 4);
    kvFileClose(file);
    kvCollectDataFiles();
    kvSendMessage(kvEngine.messageWindow, KV_MSG_CLIPBOARD, 0, 0);
    return emptied ? 0 : kvFileError(kvClipWriteFailedText);
}

extern "C" KV_API int32_t kvGetClipProp(int32_t ignored, int32_t *channels, int32_t *rate) {
    (void)ignored;
    if (channels) *channels = kvClip.channels;
    if (rate) *rate = kvClip.sampleRate;
    return 0;
}
