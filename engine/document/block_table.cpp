/*
 * block_table.cpp - shared chunks of descriptors and the tables made of them.
 *
 * A chunk is one allocation: its header, the running ends of its
 * descriptors' lengths (so that a position is found by binary search in any
 * run of it) and the descriptors. Its data files are remembered, so that a
 * state's set of files costs one look per chunk rather than one per
 * descriptor; a descriptor changed in place forgets them until next asked.
 */
#include "engine/document/block_table.h"
#include "engine/core/services.h"
#include "engine/document/document.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstring>
#include <new>

/* About 150 KB: a split copies at most this much, and a ten-hour stereo
 * document is some 800 pieces. */
static const int32_t kChunkBlocks = 1024;
/* Shorter runs of another table are copied rather than shared. */
static const int32_t kShortRun = 32;

struct KV_Chunk {
    std::atomic<int32_t> holders{0}; /* pieces that name it, in any table or job */
    int32_t count = 0;
    int32_t *ends = nullptr; /* ends[i]: the lengths of descriptors 0..i summed */
    KV_Block *blocks = nullptr;
    bool filesKnown = false; /* interface thread only */
    std::vector<int16_t> files;
};

const KV_Block *kvPieceBlocks(const KV_Piece &piece, int32_t skip) {
    return piece.chunk->blocks + piece.first + skip;
}

static void kvCollectFiles(const KV_Block *blocks, int32_t count, std::vector<int16_t> *files) {
    int16_t last = -1;
    for (int32_t b = 0; b < count; b++) {
        /* Neighbouring descriptors mostly share a file: skip the repeats early. */
        if (blocks[b].file >= 0 && blocks[b].file != last) files->push_back(blocks[b].file);
        last = blocks[b].file;
    }
}

static KV_Chunk *kvNewChunk(const KV_Block *blocks, int32_t count) {
    assert(count > 0 && count <= kChunkBlocks);
    int32_t bytes =
        static_cast<int32_t>(sizeof(KV_Chunk) + count * sizeof(int32_t) + count * sizeof(KV_Block));
    auto *chunk = new (kvAlloc(bytes)) KV_Chunk;
    chunk->count = count;
    chunk->ends = reinterpret_cast<int32_t *>(chunk + 1);
    chunk->blocks = reinterpret_cast<KV_Block *>(chunk->ends + count);
    std::memcpy(chunk->blocks, blocks, sizeof(KV_Block) * count);
    int32_t total = 0;
    for (int32_t b = 0; b < count; b++)
        chunk->ends[b] = total += blocks[b].length;
    return chunk;
}

static void kvHoldChunk(KV_Chunk *chunk) {
    chunk->holders.fetch_add(1, std::memory_order_relaxed);
}

static void kvLetGoChunk(KV_Chunk *chunk) {
    if (chunk->holders.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    chunk->~KV_Chunk();
    kvFree(chunk);
}

/* The frames of descriptors [first, first + count) of a chunk. */
static int64_t kvRunFrames(const KV_Chunk *chunk, int32_t first, int32_t count) {
    return chunk->ends[first + count - 1] - (first > 0 ? chunk->ends[first - 1] : 0);
}

/* The piece that holds descriptor `index` (pieceCount when none). */
int32_t kvPieceOf(const KV_Table &table, int32_t index) {
    const KV_Piece *begin = table.pieces, *end = table.pieces + table.pieceCount;
    return static_cast<int32_t>(
        std::upper_bound(begin, end, index,
                         [](int32_t i, const KV_Piece &piece) { return i < piece.endBlock; }) -
        table.pieces);
}

static int32_t kvPieceStart(const KV_Table &table, int32_t p) {
    return p > 0 ? table.pieces[p - 1].endBlock : 0;
}

const KV_Block &kvTableBlock(const KV_Table &table, int32_t index) {
    assert(index >= 0 && index < table.count);
    int32_t p = kvPieceOf(table, index);
    const KV_Piece &piece = table.pieces[p];
    return piece.chunk->blocks[piece.first + index - kvPieceStart(table, p)];
}

int32_t kvTableFind(const KV_Table &table, int64_t position, int64_t *base) {
    if (position >= table.frames || table.count == 0) {
        *base = table.frames;
        return table.count;
    }
    const KV_Piece *begin = table.pieces, *end = table.pieces + table.pieceCount;
    int32_t p = static_cast<int32_t>(
        std::upper_bound(begin, end, position,
                         [](int64_t at, const KV_Piece &piece) { return at < piece.endFrame; }) -
        table.pieces);
    const KV_Piece &piece = table.pieces[p];
    int64_t pieceStart = p > 0 ? table.pieces[p - 1].endFrame : 0;
    const int32_t *ends = piece.chunk->ends;
    int64_t chunkBase = piece.first > 0 ? ends[piece.first - 1] : 0;
    /* The first descriptor of the run whose end lies past the position. */
    int64_t target = std::max<int64_t>(position - pieceStart, -1) + chunkBase;
    const int32_t *found = std::upper_bound(ends + piece.first, ends + piece.first + piece.count,
                                            target, [](int64_t at, int32_t e) { return at < e; });
    int32_t local = static_cast<int32_t>(found - ends);
    *base = pieceStart + (local > 0 ? ends[local - 1] : 0) - chunkBase;
    return kvPieceStart(table, p) + local - piece.first;
}

/* ---- Sharing ---- */

KV_Table kvTableShare(const KV_Table &table) {
    KV_Table copy = table;
    if (table.pieceCount == 0) return copy;
    int32_t bytes = static_cast<int32_t>(sizeof(KV_Piece) * table.pieceCount);
    copy.pieces = static_cast<KV_Piece *>(kvAlloc(bytes));
    std::memcpy(copy.pieces, table.pieces, bytes);
    for (int32_t p = 0; p < table.pieceCount; p++)
        kvHoldChunk(table.pieces[p].chunk);
    return copy;
}

void kvTableRelease(KV_Table *table) {
    for (int32_t p = 0; p < table->pieceCount; p++)
        kvLetGoChunk(table->pieces[p].chunk);
    kvFree(table->pieces);
    *table = KV_Table{};
}

bool kvTableSameRuns(const KV_Table &a, const KV_Table &b) {
    if (a.pieceCount != b.pieceCount) return false;
    for (int32_t p = 0; p < a.pieceCount; p++) {
        const KV_Piece &x = a.pieces[p], &y = b.pieces[p];
        if (x.chunk != y.chunk || x.first != y.first || x.count != y.count) return false;
    }
    return true;
}

void kvTableFiles(const KV_Table &table, std::vector<int16_t> *files) {
    for (int32_t p = 0; p < table.pieceCount; p++) {
        const KV_Piece &piece = table.pieces[p];
        KV_Chunk *chunk = piece.chunk;
        if (piece.count < chunk->count) {
            kvCollectFiles(chunk->blocks + piece.first, piece.count, files);
            continue;
        }
        if (!chunk->filesKnown) {
            chunk->files.clear();
            kvCollectFiles(chunk->blocks, chunk->count, &chunk->files);
            std::sort(chunk->files.begin(), chunk->files.end());
            chunk->files.erase(std::unique(chunk->files.begin(), chunk->files.end()),
                               chunk->files.end());
            chunk->filesKnown = true;
        }
        files->insert(files->end(), chunk->files.begin(), chunk->files.end());
    }
}

/* ---- Building ---- */

/* Adds a run of a chunk, joining it to the previous piece when it continues
 * that piece in the same chunk. The builder takes over one holder. */
static void kvAddRun(KV_TableBuilder *builder, KV_Chunk *chunk, int32_t first, int32_t count) {
    if (!builder->pieces.empty()) {
        KV_Piece &last = builder->pieces.back();
        if (last.chunk == chunk && last.first + last.count == first) {
            last.count += count;
            kvLetGoChunk(chunk);
            return;
        }
    }
    builder->pieces.push_back(KV_Piece{chunk, first, count, 0, 0});
}

/* Puts the new descriptors into chunks: every full chunk's worth, or all. */
static void kvFlushFresh(KV_TableBuilder *builder, bool all) {
    std::vector<KV_Block> &fresh = builder->fresh;
    size_t at = 0;
    for (; fresh.size() - at >= static_cast<size_t>(kChunkBlocks) || (all && at < fresh.size());) {
        int32_t count = static_cast<int32_t>(std::min<size_t>(kChunkBlocks, fresh.size() - at));
        KV_Chunk *chunk = kvNewChunk(fresh.data() + at, count);
        kvHoldChunk(chunk);
        kvAddRun(builder, chunk, 0, count);
        at += count;
    }
    fresh.erase(fresh.begin(), fresh.begin() + static_cast<std::ptrdiff_t>(at));
}

void kvBuildBlocks(KV_TableBuilder *builder, const KV_Block *blocks, int32_t count) {
    if (count <= 0) return;
    builder->fresh.insert(builder->fresh.end(), blocks, blocks + count);
    kvFlushFresh(builder, false);
}

void kvBuildBlock(KV_TableBuilder *builder, const KV_Block &block) {
    kvBuildBlocks(builder, &block, 1);
}

void kvBuildRange(KV_TableBuilder *builder, const KV_Table &source, int32_t from, int32_t to) {
    from = std::max(from, 0);
    to = std::min(to, source.count);
    int32_t p = kvPieceOf(source, from);
    for (int32_t start = kvPieceStart(source, p); p < source.pieceCount && start < to; p++) {
        const KV_Piece &piece = source.pieces[p];
        int32_t skip = std::max(from - start, 0);
        int32_t count = std::min(piece.endBlock, to) - start - skip;
        start = piece.endBlock;
        if (count <= 0) continue;
        if (count < kShortRun) {
            kvBuildBlocks(builder, piece.chunk->blocks + piece.first + skip, count);
            continue;
        }
        kvFlushFresh(builder, true);
        kvHoldChunk(piece.chunk);
        kvAddRun(builder, piece.chunk, piece.first + skip, count);
    }
}

KV_Table kvBuildTable(KV_TableBuilder *builder) {
    kvFlushFresh(builder, true);
    KV_Table table{};
    int32_t count = static_cast<int32_t>(builder->pieces.size());
    if (count > 0) {
        table.pieces =
            static_cast<KV_Piece *>(kvAlloc(static_cast<int32_t>(sizeof(KV_Piece) * count)));
        std::copy(builder->pieces.begin(), builder->pieces.end(), table.pieces);
    }
    table.pieceCount = count;
    for (int32_t p = 0; p < count; p++) {
        KV_Piece &piece = table.pieces[p];
        table.count += piece.count;
        table.frames += kvRunFrames(piece.chunk, piece.first, piece.count);
        piece.endBlock = table.count;
        piece.endFrame = table.frames;
    }
    builder->pieces.clear();
    return table;
}

void kvTableInsert(KV_Table *table, int32_t at, const KV_Block *blocks, int32_t count) {
    at = std::clamp(at, 0, table->count);
    KV_TableBuilder builder;
    kvBuildRange(&builder, *table, 0, at);
    kvBuildBlocks(&builder, blocks, count);
    kvBuildRange(&builder, *table, at, table->count);
    KV_Table spliced = kvBuildTable(&builder);
    kvTableRelease(table);
    *table = spliced;
}

/* ---- Changing in place ---- */

KV_Block *kvTableMutable(KV_Table *table, int32_t index) {
    assert(index >= 0 && index < table->count);
    int32_t p = kvPieceOf(*table, index);
    KV_Piece &piece = table->pieces[p];
    int32_t local = piece.first + index - kvPieceStart(*table, p);
    if (piece.chunk->holders.load(std::memory_order_acquire) == 1) {
        piece.chunk->filesKnown = false;
        return &piece.chunk->blocks[local];
    }
    /* Shared: the rest of the piece from here, up to a chunk's worth, is
     * copied into a chunk of this table's own. */
    int32_t at = index - kvPieceStart(*table, p);
    int32_t own = std::min(piece.count - at, kChunkBlocks);
    KV_TableBuilder builder;
    builder.pieces.reserve(table->pieceCount + 2);
    kvBuildRange(&builder, *table, 0, index);
    kvFlushFresh(&builder, true);
    KV_Chunk *chunk = kvNewChunk(piece.chunk->blocks + local, own);
    kvHoldChunk(chunk);
    builder.pieces.push_back(KV_Piece{chunk, 0, own, 0, 0});
    kvBuildRange(&builder, *table, index + own, table->count);
    KV_Table changed = kvBuildTable(&builder);
    kvTableRelease(table);
    *table = changed;
    return &chunk->blocks[0];
}
