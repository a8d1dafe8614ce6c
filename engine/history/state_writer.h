/*
 * state_writer.h - the thread that writes long documents' state files and
 * document records off the edit's path.
 *
 * Writing a state file costs time in proportion to the document's length,
 * while the edit that made the state costs only its change; so a long
 * document's state file is queued here and written on the writer thread,
 * straight from the state's tables, while the edit returns. The tables in
 * memory are the truth until the file lands. Jobs run in the order queued,
 * and a document's record, while any of its jobs waits, is queued behind
 * them, so a record never names a state whose file has not landed: a run
 * killed at any point comes back at the last state that did.
 */
#ifndef KV_HISTORY_STATE_WRITER_H
#define KV_HISTORY_STATE_WRITER_H

#include "engine/document/document.h"

#include <cstdint>
#include <string>

/* The fixed part of a state file; the block tables follow, per channel. */
struct KV_StateHeader {
    char label[40];
    int32_t channels;
    int32_t length;
    int32_t editChannel;
    int32_t selAnchor;
    int32_t selEnd;
    int32_t sampleRate;
    int32_t firstFrame;
    int32_t framesPerPixel;
};
static_assert(sizeof(KV_StateHeader) == 72, "state file header is 72 bytes");

/* What a state file holds: the header and the state's tables. An image
 * made by kvStateImage only looks at the state's tables; a queued job holds
 * its own share of them. */
struct KV_StateImage {
    KV_StateHeader header;
    KV_Table tables[2];
};

KV_StateImage kvStateImage(const KV_State *state);
/* A check value of a header (FNV-1a), to tell whether a file's header is
 * still the state's. */
uint32_t kvStateHeaderCheck(const KV_StateHeader &header);
/* The image's bytes on disk. */
int64_t kvStateFileBytes(const KV_StateImage &image);
/* Writes the image to an open file; progress only from the interface thread. */
bool kvWriteStateImage(int32_t file, const KV_StateImage &image);

/* Debug builds: asserts what every stored state keeps: each descriptor
 * usable, so inside its data file; each table's pieces adding up to its
 * totals; `length` the longest channel's total; and, with `selection`, the
 * selection inside the document (a state read back from a file may keep one
 * past the end). Nothing in release builds. */
void kvAssertStateConsistent(const KV_State *state, bool selection);

/* Queues writing `image` to the state file `path` of a document level:
 * written under a new name, then renamed into place; on failure both names
 * are removed. The ticket that its outcome names. Interface thread. */
int64_t kvQueueStateFile(int32_t doc, int32_t level, const std::string &path,
                         const KV_StateImage &image);
/* Calls off the write of a state that is being forgotten, without waiting:
 * a waiting job is skipped, a running one stops soon and leaves the level's
 * file as it was; no outcome is reported for either. Interface thread. */
void kvCancelStateWrite(int64_t ticket);
/* True while a job of the document waits or runs. */
bool kvStateWritesPending(int32_t doc);
/* Waits until no job of the document (of one level, or of every level when
 * level is -1) waits or runs. */
void kvWaitStateWrites(int32_t doc, int32_t level);

/* A finished background write, for the interface thread to act on. */
struct KV_WriteOutcome {
    int64_t ticket;
    int32_t doc;
    bool stateFile; /* false: a document record */
    bool written;
    bool limitHit; /* the open failed for want of a descriptor */
};
/* Hands over the outcomes of the jobs finished since the last call, oldest
 * first. Interface thread. */
int32_t kvTakeWriteOutcomes(KV_WriteOutcome *outcomes, int32_t capacity);

/* Writes everything queued and ends the thread (engine clean-up); the next
 * job starts it again. Outcomes not yet taken are dropped. */
void kvStopStateWriter();

/* Registers the writer's hook in the document module: the record goes
 * behind a document's pending jobs. */
void kvInstallStateWriterHooks();

/* Test hook: while held, the writer starts no job (nothing may wait for one
 * meanwhile). */
void kvTestHoldStateWriter(bool hold);
/* Test hook: state files of at most this many bytes are written at once, on
 * the edit's path (-1 restores the default). */
void kvTestSetInlineStateBytes(int64_t bytes);
/* State files of at most this many bytes cost less to write at once than a
 * crash's loss of the edit: written on the edit's path. */
int64_t kvInlineStateBytes();

#endif
