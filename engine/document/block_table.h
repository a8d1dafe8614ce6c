/*
 * block_table.h - a channel's descriptor table, made of shared pieces.
 *
 * A table is a short list of pieces, each a run of a chunk: an immutable,
 * counted array of descriptors that also keeps the running total of their
 * lengths. An edit builds its new table from the old one's pieces and only
 * copies the descriptors it splits, and neighbouring undo levels and the
 * state writer's jobs hold the same chunks; so an edit costs what it
 * changes, not the document's length, and a level costs what differs from
 * its neighbour. A chunk that more than one table holds is never written
 * (kvTableMutable copies it out first). Holders are counted atomically: the
 * state writer lets go of its copies on its own thread.
 */
#ifndef KV_DOCUMENT_BLOCK_TABLE_H
#define KV_DOCUMENT_BLOCK_TABLE_H

#include <cstdint>
#include <vector>

struct KV_Block;
struct KV_Chunk;

struct KV_Piece {
    KV_Chunk *chunk;
    int32_t first;    /* its first descriptor in the chunk */
    int32_t count;    /* descriptors */
    int32_t endBlock; /* the table's descriptors up to and including this piece */
    int64_t endFrame; /* the channel position just after this piece */
};

struct KV_Table {
    KV_Piece *pieces;
    int32_t pieceCount;
    int32_t count;  /* descriptors */
    int64_t frames; /* the channel's total length */
};

/* The descriptor at `index` (0 <= index < count). */
const KV_Block &kvTableBlock(const KV_Table &table, int32_t index);

/* The first descriptor that ends after `position` (count when none), with
 * its start in *base (the table's frames when none). */
int32_t kvTableFind(const KV_Table &table, int64_t position, int64_t *base);

/* Calls visit(blocks, count) for each run of consecutive descriptors in
 * [from, to), in order, until it returns false. */
template <typename Visit>
void kvTableSpans(const KV_Table &table, int32_t from, int32_t to, Visit visit);

/* A writable descriptor: the chunk around it is copied out first when
 * another table holds it, so nothing else sees the change. Interface thread. */
KV_Block *kvTableMutable(KV_Table *table, int32_t index);

/* Another holder of the same chunks (the pieces are copied, not the
 * descriptors). Any thread may release the copy. */
KV_Table kvTableShare(const KV_Table &table);
/* Gives up the table's chunks and empties it. Any thread. */
void kvTableRelease(KV_Table *table);

/* True when both tables are made of the same runs of the same chunks. */
bool kvTableSameRuns(const KV_Table &a, const KV_Table &b);

/* The data files the descriptors refer to, appended to `files` unsorted
 * (the caller sorts and removes repeats). Interface thread. */
void kvTableFiles(const KV_Table &table, std::vector<int16_t> *files);

/* Builds a table from runs of other tables and from new descriptors. */
struct KV_TableBuilder {
    std::vector<KV_Piece> pieces;
    std::vector<KV_Block> fresh; /* new descriptors not yet in a chunk */
};
/* Adds descriptors [from, to) of `source`: shared, except short runs,
 * which are copied so that tables do not crumble into tiny pieces. */
void kvBuildRange(KV_TableBuilder *builder, const KV_Table &source, int32_t from, int32_t to);
void kvBuildBlocks(KV_TableBuilder *builder, const KV_Block *blocks, int32_t count);
void kvBuildBlock(KV_TableBuilder *builder, const KV_Block &block);
/* The finished table; the builder is left empty. */
KV_Table kvBuildTable(KV_TableBuilder *builder);

/* Puts `count` new descriptors before descriptor `at` (clamped to the
 * table), sharing the runs on both sides. */
void kvTableInsert(KV_Table *table, int32_t at, const KV_Block *blocks, int32_t count);

/* ---- inline ---- */

/* Descriptor `skip` of a piece (out of line: KV_Block is not complete here). */
const KV_Block *kvPieceBlocks(const KV_Piece &piece, int32_t skip);
/* The piece that holds descriptor `index` (pieceCount past the end). */
int32_t kvPieceOf(const KV_Table &table, int32_t index);

template <typename Visit>
void kvTableSpans(const KV_Table &table, int32_t from, int32_t to, Visit visit) {
    if (from >= to) return;
    int32_t p = kvPieceOf(table, from);
    int32_t start = p > 0 ? table.pieces[p - 1].endBlock : 0;
    for (; p < table.pieceCount && start < to; p++) {
        const KV_Piece &piece = table.pieces[p];
        int32_t skip = from > start ? from - start : 0;
        int32_t end = piece.endBlock < to ? piece.endBlock : to;
        int32_t count = end - start - skip;
        if (count > 0 && !visit(kvPieceBlocks(piece, skip), count)) return;
        start = piece.endBlock;
    }
}

#endif
