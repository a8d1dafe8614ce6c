/*
 * playback.h - the one playback state of the engine, shared by its threads,
 * and the play cursor that the view draws and follows.
 *
 * Threads and what each owns. This is the engine's whole threading rule;
 * everything not named here belongs to the interface thread.
 * - Interface thread (the one that called kvInit): documents, their states,
 *   block tables and history, the clipboard, the views, the insertion
 *   stages (except while lent to a take), and every write of KV_Options and
 *   KV_Params. Every edit stops playback of its document before it changes
 *   a state, and closing a document stops the audio that uses it.
 * - Recording thread: the input device, the input meter and analyzer, and,
 *   only while a take lends them (kvLendInsert), the insertion stages and
 *   appends to data files.
 * - Feeder thread (document or effect preview): reads the playing
 *   document's current block tables, which no edit changes while it runs,
 *   and data files; a preview owns its effect run (state and working
 *   blocks) and takes a snapshot of KV_Params once per buffer.
 * - Read-ahead thread (while a FLAC, Vorbis, Opus or AIFF file opens): the
 *   libsndfile handle and the ring of decoded chunks' free slots; the
 *   interface thread takes filled chunks under the ring's lock.
 * - Device thread: the ring's reading end and the device clock. Tracker:
 *   the play cursor. Clipboard preview: its own copy of the clip's blocks.
 * - State writer (engine/history/state_writer.cpp): its queue of state
 *   files and document records to write, and those files. It reads only the
 *   block tables a queued job names, through its own share of their chunks,
 *   which nobody changes while shared (block_table.h), and
 *   never touches a document, a state or the history; what became of each
 *   write goes back through a list that the interface thread takes.
 * - Side worker (engine/dsp/side_by_side.h), during a stereo compressor
 *   or FFT filter edit: channel 1's samples and its part of the effect's
 *   state (envelope, arrays, transform) for the block the interface thread
 *   has handed over, until it takes them back. It also reads the run's
 *   constants, which nothing changes during an edit.
 * Shared by all of them, safe by construction: data files, read and written
 *   at explicit positions with no file cursor; the data-file table, grown
 *   in chunks that never move; this record, whose fields are atomic words;
 *   the ring, single-producer single-consumer. A stop is a flag plus a
 *   bounded wait for the running flags, so no audio thread ever waits on a
 *   lock the interface holds across slow work. Worker threads never draw:
 *   they post KV_MSG_PLAY_REDRAW to the document window, whose view redraws.
 * Preconditions are asserted in debug builds (kvOnInterfaceThread).
 */
#ifndef KV_AUDIO_PLAYBACK_H
#define KV_AUDIO_PLAYBACK_H

#include "engine/audio/ring.h"
#include "korvel.h"

#include <atomic>
#include <cstdint>
#include <functional>

/* A document's play cursor. playFrame is written by the tracker and read by
 * the view; userTouched is set by the view's navigation and stops the view
 * from following; returnFrame is firstFrame as it was when playback started. */
struct KV_PlayCursor {
    std::atomic<int32_t> playFrame{-1};
    std::atomic<int32_t> following{0};
    std::atomic<int32_t> userTouched{0};
    std::atomic<int32_t> returnFrame{0};
};

/* The cursor of a document handle, null outside 0..255. */
KV_PlayCursor *kvPlayCursor(int32_t doc);

/* The view lends the tracker its client width in pixels (0: no view). */
using KvViewWidthFn = int32_t (*)(int32_t doc);
extern std::atomic<KvViewWidthFn> kvViewWidthHook;

/* Start-up: audio becomes the handler that stops playback before an
 * operation claims the documents (engine/document/changes.h). */
void kvAudioRegisterHooks();

struct KV_Playback {
    std::atomic<int32_t> playDoc{-1};
    std::atomic<int32_t> stopRequest{0};
    std::atomic<int32_t> feederRunning{0};
    std::atomic<int32_t> deviceRunning{0};
    std::atomic<int32_t> trackerRunning{0};
    std::atomic<int32_t> loopStart{0}; /* frames played: [loopStart, loopEnd) */
    std::atomic<int32_t> loopEnd{0};
    std::atomic<int32_t> loopPlayback{0};
    std::atomic<int32_t> playSpeed{KV_PLAY_NORMAL}; /* a KV_PLAY_ speed */
    std::atomic<int32_t> readFrame{0};              /* next frame the feeder reads */
    std::atomic<int32_t> playChannel{-1};
    std::atomic<int32_t> previewMode{0};
    std::atomic<int32_t> previewType{KV_EDIT_NONE};
    KV_PlayRing ring;
    /* The device clock: frames queued and played as of a moment, published
     * by the device thread after each write under a sequence count. */
    std::atomic<uint32_t> clockSequence{0};
    std::atomic<int64_t> clockWritten{0};
    std::atomic<int64_t> clockPlayed{0};
    std::atomic<int64_t> clockStampUs{0}; /* 0: nothing published yet */
    std::atomic<int32_t> clockRate{0};
};

extern KV_Playback kvPlayback;

/* Stops playback and recording that use the document, so that it can be
 * freed: neither the feeder nor the input thread may touch it afterwards. */
void kvReleaseDocumentAudio(int32_t doc);

/* True while any playback thread runs. */
bool kvPlaybackRunning();

/* Sets the running flag and starts a detached thread that must clear it
 * when it ends: false (flag cleared) when no thread could be made. */
bool kvStartPlaybackThread(std::atomic<int32_t> &running, std::function<void()> body);

/* The stop a worker thread makes itself (range end, device failure): the
 * other threads are stopped as kvStop does, the view is put back, and the
 * caller's own running flag is cleared last, so that a start from the
 * interface thread cannot overlap the clean-up. */
void kvStopFromWorker(std::atomic<int32_t> &own);

/* Device clock: reset before the threads start, published by the device
 * thread, read by the tracker as frames played up to now. */
void kvResetDeviceClock(int32_t rate);
void kvPublishDeviceClock(int64_t played, int64_t written);
int64_t kvDeviceClockPosition();

/* Thread bodies. */
void kvDocumentFeeder();
void kvPreviewFeeder();
void kvDeviceThread();
void kvTrackerThread();

/* 32768 * sample truncated towards zero and clamped to 16 bits (NaN: 0). */
int16_t kvToPcm16(float sample);

/* One step of a view following the play cursor at `frame`: the view is
 * `width` columns of `fpp` frames from `first`; `played` frames went by
 * since the last step at `speed`; mode is scrollMode (0 smooth, 1 page,
 * 2 none). Returns the new firstFrame and updates *following. */
int32_t kvFollowCursor(int32_t mode, int32_t frame, int32_t played, int32_t speed, int32_t width,
                       int32_t fpp, int32_t first, int32_t *following);

#endif
