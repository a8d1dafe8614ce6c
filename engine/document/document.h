/*
 * document.h - the records of a sound document and the storage operations
 * every edit goes through.
 *
 * A document never holds its sound in memory: each state (undo level) has, per
 * channel, a table of KV_Block descriptors that point into append-only float
 * data files shared by every document, every state and the clipboard. An edit
 * builds a new table that shares the untouched runs of descriptors
 * (block_table.h) and appends only new samples, so undo, copy and paste move
 * descriptors, never samples.
 */
#ifndef KV_DOCUMENT_DOCUMENT_H
#define KV_DOCUMENT_DOCUMENT_H

#include "engine/document/block_table.h"
#include "korvel.h"

#include <cstdint>
#include <string>

#define KV_MAX_DOCUMENTS 256

/* kbit/s of a new document's MP3 saves, and the save dialog's choice when the
 * document's own bit rate is not offered. */
#define KV_DEFAULT_BIT_RATE 256
#define KV_BLOCK_FRAMES 4096
/* A data file is left for a new one once it holds this many samples (256 MiB). */
#define KV_DATA_FILE_LIMIT 67108864

/* One descriptor of up to 4096 stored samples with its peak summary. Stored
 * raw (little-endian, this field order) in state and clipboard files. */
struct KV_Block {
    int32_t position; /* first sample in its data file; -1 for silence */
    int16_t length;   /* 1..4096 */
    int16_t file;     /* data file number; -1 for silence */
    uint8_t peakPos;
    uint8_t peakNeg;
    uint8_t subPos[64];
    uint8_t subNeg[64];
    uint8_t padding[2];
    int32_t peak; /* largest |sample| x 4096, at most 0x100000 */
};
static_assert(sizeof(KV_Block) == 144, "KV_Block is a stored 144-byte record");

/* The data files a holder (a state, a clip, a clip being played) refers
 * to: sorted, each once, and counted in those files' holders. */
struct KV_FileSet {
    int16_t *files;
    int32_t count;
};

/* A saved view of a document; framesPerPixel 0 marks an empty slot. */
struct KV_SavedView {
    int32_t firstFrame;
    int32_t framesPerPixel;
    int32_t selAnchor;
    int32_t selEnd;
    int32_t editChannel;
};

/* One undo level. */
struct KV_State {
    int32_t channels;
    int32_t sampleRate;
    int32_t length; /* frames: the largest channel total */
    char label[40];
    KV_Table tables[2]; /* per channel */
    int32_t insertAt[2];
    int32_t selAnchor;
    int32_t selEnd;
    int32_t editChannel; /* -1 both, 0 left, 1 right */
    int32_t firstFrame;
    int32_t framesPerPixel;
    KV_FileSet files;     /* what the tables refer to, as of the last kvSaveState */
    int32_t onDisk;       /* 1 while the level's state file holds these tables */
    int64_t writeTicket;  /* the background write of its file under way, or 0 */
    uint32_t headerCheck; /* with onDisk: the check value of its file's header */
    KV_SavedView stored;  /* the selection and view as its file holds them */
};

struct WaveView;

struct KV_Document {
    char path[256];
    int32_t formatTag; /* 1 PCM, 3 IEEE float, 85 MPEG Layer-3 */
    int32_t bitsPerSample;
    int32_t bitRate;
    void *codecDriver;
    int32_t variableBitRate; /* 1 when bitRate is the average of a varying rate */
    int32_t level;
    int32_t stateCount;
    int32_t savedLevel;
    KvWindow window;
    KV_State *current;
    KV_State *history;
    void *oldWindowProc;        /* the view's event filter on the window */
    WaveView *view;             /* null for a document without a window */
    KV_SavedView savedViews[8]; /* "View 1" to "View 8" */
    uint8_t id3v1Block[128];
    char id3v2Marker[3];
    int32_t id3v2Size;
    uint8_t *id3v2Copy;
    int32_t saveAsFirst; /* 1 when the file was opened in a form saving cannot write back */
};

extern KV_Document *kvDocuments[KV_MAX_DOCUMENTS];

/* The document of a handle, or null for a handle outside 0..255 or an empty slot. */
KV_Document *kvGetDocument(int32_t doc);

/* The document halves of kvCreate, kvNew and kvClose; the exports add what
 * the modules above do around them. kvCreateDocument takes the first free
 * slot (-1 after the message when there is none); kvMakeEmptySound makes an
 * empty sound of that format in a document whose history was discarded;
 * kvFreeDocument frees a document nothing refers to any more. */
int32_t kvCreateDocument(KvWindow window);
void kvMakeEmptySound(int32_t doc, int32_t channels, int32_t bits, int32_t formatTag, int32_t rate);
void kvFreeDocument(int32_t doc);

/* Called by kvClose before the document goes, for a module above that keeps
 * something per document (null: none). */
extern void (*kvDocumentClosing)(int32_t doc);

/* ---- Data files ---- */

/* Closes every data file and empties the table (clean-up, no audio thread
 * running). */
void kvCloseDataFiles();

/* The appendable data file to write to, creating a new one when needed (a
 * freed number is used again): its number, or -1. */
int32_t kvCurrentDataFile();
void kvSealDataFile(int32_t file);
/* Makes a sealed data file of this session out of a data file another
 * session left (a second name for it, or a copy): its number, or -1. Its
 * samples are never written; it is deleted once nothing holds it. */
int32_t kvAdoptDataFile(const std::string &source);
/* Seals the file appends go to, so the next append starts a new one. */
void kvSealLastDataFile();
int64_t kvDataFileLength(int32_t file); /* samples; 0 on error or once deleted */

/* The samples appended for `doc` since the last call now belong to a stored
 * state: a later withdrawal no longer cuts them off. */
void kvKeepData(int32_t doc);

/* Changes the count of holders of a data file (kvHoldFiles and
 * kvReleaseFiles only, so the counting stays in one place). */
void kvAddFileHolders(int32_t file, int32_t delta);

/* Deletes every data file no holder refers to and frees its number; does
 * nothing while an insertion has samples that no state holds yet.
 * Interface thread. */
void kvCollectDataFiles();

/* Data-file reads that failed since start (any thread): a save compares the
 * count before and after, so silence read in place of lost samples never
 * reaches a saved file unnoticed. */
int64_t kvDataReadFailures();

/* ---- References ---- */

/* Makes `set` hold exactly the data files the tables refer to: the new ones
 * gain a holder, the ones it no longer names lose one. */
void kvHoldFiles(KV_FileSet *set, const KV_Block *const *tables, const int32_t *counts,
                 int32_t tableCount);
/* The same for the tables of a state (its own set). */
void kvHoldStateFiles(KV_State *state);
/* Gives up every file of the set and empties it. Safe from any thread. */
void kvReleaseFiles(KV_FileSet *set);

/* Float I/O at an explicit sample position, safe from any thread: there is
 * no file cursor to share. kvReadData returns count or -1; kvWriteData
 * writes only inside samples already appended (the running edit's own), shows
 * the disk-full message and returns -1 on failure. */
int32_t kvReadData(int32_t file, int64_t position, float *buffer, int32_t count);
int32_t kvWriteData(int32_t file, int64_t position, const float *buffer, int32_t count);

/* Test hook: the roll-over size in samples (0 restores KV_DATA_FILE_LIMIT). */
void kvTestSetDataFileLimit(int64_t samples);

/* ---- Blocks, pipeline, reading ---- */

void kvSummarizeBlock(KV_Block *block, const float *samples, int32_t count);

/* Lends the insertion stages to the recording thread for a take (true) or
 * takes them back once it has stopped storing (false); interface thread. */
void kvLendInsert(bool lent);
/* Hands new samples (null = silence, count <= 4096) to the insertion stage. */
int32_t kvQueueInsert(int32_t doc, int32_t channel, const float *samples, int32_t count);
int32_t kvActualInsertData(int32_t doc, int32_t channel, const float *samples, int32_t count);
/* Splices the pending blocks into the current state; false when a data-file
 * write failed during the edit (the caller then withdraws the edit). */
bool kvFinishInsert(int32_t doc);
void kvDiscardInsert();
/* True when a data-file write failed since the last kvFinishInsert/kvDiscardInsert. */
bool kvInsertFailed();

/* The last steps of a successful load into the current state: splices what
 * was queued, indexes it, puts the cursor at 0 with the view fitted to the
 * window, and writes the state file of level 0. 0, or -1 when the data could
 * not be stored (the caller reports and discards). */
int32_t kvFinishLoading(int32_t doc);

/* Recomputes the current state's length from its tables and clamps its
 * selection. */
void kvRebuildIndex(int32_t doc);

/* The first block of a channel that ends after `position` (blockCount when
 * none), with its start in *base (the channel total when none). */
int32_t kvFindBlock(const KV_State *state, int32_t channel, int64_t position, int64_t *base);

/* The sample rates of every sound the program opens or creates. */
enum : int32_t { KV_LOWEST_RATE = 4000, KV_HIGHEST_RATE = 96000 };

/* True when a descriptor read back from a state or clipboard file can be
 * used: 1 to 4096 samples, a peak within its range, and either a silence
 * block or samples that lie wholly inside an existing data file. */
bool kvBlockIsUsable(const KV_Block &block);

/* How many frames an insertion may add to a state: what keeps its length
 * within 32 bits and each channel's descriptor table within what the engine
 * can allocate (a larger table is a fatal error, not a failed edit). */
int64_t kvInsertableFrames(const KV_State *state);

/* Gives up a state's block tables and zeroes their counts (a background
 * write of them holds its own share). */
void kvFreeStateTables(KV_State *state);

/* Reads count samples of one channel of state `level` (out of range = current)
 * from frame start; positions not backed by blocks read 0.0. Returns the
 * number of samples that came from the channel. */
int32_t kvReadSamples(int32_t doc, int32_t channel, int32_t level, float *buffer, int32_t start,
                      int32_t count);

int32_t kvWriteSamplesInPlace(int32_t doc, int32_t channel, const float *samples, int32_t start,
                              int32_t count);

/* The splitting rule: the part of a block before a cut `keep` samples in, or
 * the part from `skip` samples on, each with a fresh summary. */
KV_Block kvBlockHead(const KV_Block &block, int32_t keep);
KV_Block kvBlockTail(const KV_Block &block, int32_t skip);

/* ---- Lifecycle pieces shared with other modules ---- */

/* Empties the document table without freeing (engine start). */
void kvResetDocuments();

/* The state file path "<work>/%04X%04X.tmp" of a document level. */
void kvStateFilePath(int32_t doc, int32_t level, char *path, int32_t size);

/* ---- The document record (doc_record.cpp) ---- */

/* What a later run needs, beside the state files, to rebuild a document of
 * a session that died. Stored raw in "<folder>/%04X.doc". */
struct KV_DocRecord {
    char magic[8];
    int32_t formatTag;
    int32_t bitsPerSample;
    int32_t bitRate;
    int32_t level;      /* the current state */
    int32_t savedLevel; /* -1 when no state is the saved file */
    int32_t reserved;
    int64_t time; /* when the record was written, seconds since 1970 */
    char path[256];
    uint32_t check;
    uint32_t padding;
};
static_assert(sizeof(KV_DocRecord) == 304, "KV_DocRecord is a stored 304-byte record");

std::string kvDocRecordPath(const std::string &folder, int32_t doc);
/* Replaces the record of a document in the working folder (whole, never
 * in part); a record that cannot be written is removed, after the message,
 * and false returned. Interface thread. */
bool kvWriteDocRecord(int32_t doc);
/* Set by the history's state writer: takes the record to write it after the
 * document's state files still being written (true), or leaves it to be
 * written at once (false). */
extern bool (*kvDocRecordQueue)(int32_t doc, const KV_DocRecord &record, const std::string &path);
/* Writes a record under a new name and renames it over `path`; on failure
 * removes both names and returns false, showing nothing. Any thread. */
bool kvStoreDocRecord(const std::string &path, const KV_DocRecord &record);
void kvRemoveDocRecord(int32_t doc);
/* Reads and checks a record: false when it is missing, short or damaged. */
bool kvReadDocRecord(const std::string &path, KV_DocRecord *record);

#endif
