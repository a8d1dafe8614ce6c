/*
 * playback.cpp - starting and stopping playback: kvPlay, kvStop, kvPause,
 * kvIsPlaying and kvPreviewStart, and the stop protocol every thread uses.
 *
 * A stop sets stopRequest and waits in 10 ms steps, at most 99, for the
 * running flags to clear; nothing is ever locked. A thread that stops
 * playback itself keeps its own flag set until the clean-up is done, so a
 * kvStop or kvPlay on the interface thread, which waits for every flag,
 * never runs alongside that clean-up. Every state switch of the engine
 * calls kvStop first, so the threads never read a document being changed.
 */
#include "engine/audio/playback.h"
#include "engine/audio/meter.h"
#include "engine/core/engine.h"
#include "engine/document/changes.h"
#include "engine/document/document.h"
#include "engine/history/clipboard.h"
#include "engine/platform/clock.h"
#include "engine/platform/messages.h"

#include <algorithm>
#include <chrono>
#include <thread>

KV_Playback kvPlayback;
std::atomic<KvViewWidthFn> kvViewWidthHook{nullptr};
static KV_PlayCursor playCursors[KV_MAX_DOCUMENTS];

KV_PlayCursor *kvPlayCursor(int32_t doc) {
    return doc >= 0 && doc < KV_MAX_DOCUMENTS ? &playCursors[doc] : nullptr;
}

bool kvPlaybackRunning() {
    return kvPlayback.feederRunning.load() || kvPlayback.deviceRunning.load() ||
           kvPlayback.trackerRunning.load();
}

bool kvStartPlaybackThread(std::atomic<int32_t> &running, std::function<void()> body) {
    running.store(1);
    try {
        std::thread(std::move(body)).detach();
        return true;
    } catch (...) {
        running.store(0);
        return false;
    }
}

/* ---- Stopping ---- */

static bool kvOthersRunning(const std::atomic<int32_t> *own) {
    for (const std::atomic<int32_t> *flag :
         {&kvPlayback.feederRunning, &kvPlayback.deviceRunning, &kvPlayback.trackerRunning})
        if (flag != own && flag->load()) return true;
    return false;
}

static void kvWaitForThreads(const std::atomic<int32_t> *own) {
    for (int32_t step = 0; step < 99 && kvOthersRunning(own); step++)
        kvSleepMs(10);
}

/* The end of every stop: the view goes back to where it was when it
 * followed the cursor untouched, the cursor and the meter go away and the
 * window is redrawn (posted, from a worker thread). */
static void kvFinishPlayback(bool workerThread) {
    kvPlayback.previewMode.store(0);
    int32_t doc = kvPlayback.playDoc.load();
    KV_Document *document = kvGetDocument(doc);
    KV_PlayCursor *cursor = kvPlayCursor(doc);
    if (document && cursor) {
        int32_t scrollMode =
            kvEngine.options ? std::atomic_ref<int32_t>(kvEngine.options->scrollMode).load() : 0;
        if (cursor->following.load() && !cursor->userTouched.load() && scrollMode != 2)
            std::atomic_ref<int32_t>(document->current->firstFrame).store(cursor->returnFrame);
        cursor->playFrame.store(-1);
        cursor->following.store(0);
    }
    kvMeterBlank();
    if (document) {
        if (workerThread)
            kvPostMessage(document->window, KV_MSG_PLAY_REDRAW, 0, 0);
        else
            kvDocumentChanged(doc);
    }
    kvPlayback.playDoc.store(-1);
}

void kvStopFromWorker(std::atomic<int32_t> &own) {
    kvPlayback.stopRequest.store(1);
    kvWaitForThreads(&own);
    kvFinishPlayback(true);
    kvPlayback.stopRequest.store(0);
    own.store(0);
}

/* Stops the threads and keeps the view state (a change of speed). */
static void kvHaltThreads() {
    kvPlayback.stopRequest.store(1);
    kvWaitForThreads(nullptr);
    kvPlayback.stopRequest.store(0);
}

extern "C" KV_API int32_t kvStop(void) {
    if (!kvPlaybackRunning()) return 0;
    kvPlayback.stopRequest.store(1);
    kvWaitForThreads(nullptr);
    kvFinishPlayback(false);
    kvPlayback.stopRequest.store(0);
    return 0;
}

static void kvStopForClaim() {
    kvStop();
}

void kvAudioRegisterHooks() {
    kvClaimDocumentsHook.store(kvStopForClaim);
}

extern "C" KV_API int32_t kvIsPlaying(void) {
    return kvPlaybackRunning() ? 1 : 0;
}

/* ---- Device clock ---- */

static int64_t kvNowUs() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::max<int64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count(), 1);
}

void kvResetDeviceClock(int32_t rate) {
    kvPlayback.clockRate.store(rate);
    kvPublishDeviceClock(0, 0);
    kvPlayback.clockStampUs.store(0);
}

void kvPublishDeviceClock(int64_t played, int64_t written) {
    /* A reader that sees any of the new values (release stores) also sees
     * the odd count stored before them, and reads again. */
    uint32_t sequence = kvPlayback.clockSequence.load(std::memory_order_relaxed);
    kvPlayback.clockSequence.store(sequence + 1, std::memory_order_relaxed);
    kvPlayback.clockPlayed.store(played, std::memory_order_release);
    kvPlayback.clockWritten.store(written, std::memory_order_release);
    kvPlayback.clockStampUs.store(kvNowUs(), std::memory_order_release);
    kvPlayback.clockSequence.store(sequence + 2, std::memory_order_release);
}

/* The device reports its position only when a write returns; between
 * writes it plays on at its rate, up to what it has been given. */
int64_t kvDeviceClockPosition() {
    int64_t played, written, stamp;
    uint32_t before, after;
    do {
        before = kvPlayback.clockSequence.load(std::memory_order_acquire);
        played = kvPlayback.clockPlayed.load(std::memory_order_acquire);
        written = kvPlayback.clockWritten.load(std::memory_order_acquire);
        stamp = kvPlayback.clockStampUs.load(std::memory_order_acquire);
        after = kvPlayback.clockSequence.load(std::memory_order_relaxed);
    } while ((before & 1) != 0 || before != after);
    if (stamp == 0) return 0;
    int64_t since = (kvNowUs() - stamp) * kvPlayback.clockRate.load() / 1000000;
    return std::min(played + std::max<int64_t>(since, 0), written);
}

/* ---- Starting ---- */

/* The range and first frame of kvPlay: the selection (from its start going
 * forwards, its end going backwards), else the whole file from the cursor,
 * where a cursor at the far end of travel starts at the other end. */
static void kvPlayRange(const KV_State *state, int32_t speed, int32_t *from, int32_t *to,
                        int32_t *start) {
    int32_t lo = std::min(state->selAnchor, state->selEnd);
    int32_t hi = std::max(state->selAnchor, state->selEnd);
    if (lo != hi) {
        *from = lo;
        *to = hi;
        *start = speed > 0 ? lo : hi;
        return;
    }
    *from = 0;
    *to = state->length;
    *start = std::clamp(state->selEnd, 0, state->length);
    if (speed < 0 && *start == 0) *start = state->length;
    if (speed > 0 && *start == state->length) *start = 0;
}

static int32_t kvNormalSpeed(int32_t speed) {
    if (speed >= KV_PLAY_FAST_FORWARD) return KV_PLAY_FAST_FORWARD;
    if (speed <= KV_PLAY_FAST_REVERSE) return KV_PLAY_FAST_REVERSE;
    return speed < 0 ? KV_PLAY_REVERSE : KV_PLAY_NORMAL;
}

static bool kvStartThreads(bool tracker) {
    bool started =
        kvStartPlaybackThread(kvPlayback.feederRunning,
                              kvPlayback.previewMode.load() ? kvPreviewFeeder : kvDocumentFeeder);
    kvSleepMs(10);
    started = started && kvStartPlaybackThread(kvPlayback.deviceRunning, kvDeviceThread);
    if (!tracker) return started;
    kvSleepMs(10);
    return started && kvStartPlaybackThread(kvPlayback.trackerRunning, kvTrackerThread);
}

static void kvSetUpRun(int32_t doc, int32_t from, int32_t to, int32_t channel, int32_t start,
                       int32_t loop, int32_t speed, int32_t rate) {
    kvPlayback.playDoc.store(doc);
    kvPlayback.loopStart.store(from);
    kvPlayback.loopEnd.store(to);
    kvPlayback.playChannel.store(channel);
    kvPlayback.readFrame.store(start);
    kvPlayback.loopPlayback.store(loop);
    kvPlayback.playSpeed.store(speed);
    kvRingReset(kvPlayback.ring);
    kvResetDeviceClock(rate);
}

extern "C" KV_API int32_t kvPlay(int32_t doc, int32_t speed) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    KV_State *state = document->current;
    if (state->length == 0) return 0;
    speed = kvNormalSpeed(speed);
    int32_t from, to, start;
    kvPlayRange(state, speed, &from, &to, &start);
    KV_PlayCursor *cursor = kvPlayCursor(doc);
    int32_t channel = state->channels == 2 ? state->editChannel : -1;
    bool sameRun = kvPlaybackRunning() && kvPlayback.playDoc.load() == doc &&
                   !kvPlayback.previewMode.load() && speed != kvPlayback.playSpeed.load() &&
                   from == kvPlayback.loopStart.load() && to == kvPlayback.loopEnd.load() &&
                   channel == kvPlayback.playChannel.load();
    if (sameRun) {
        kvHaltThreads();
        if (cursor->playFrame.load() >= 0) start = cursor->playFrame.load();
    } else {
        kvStop();
        cursor->returnFrame.store(state->firstFrame);
        cursor->userTouched.store(0);
        cursor->following.store(0);
    }
    if (kvPlaybackRunning()) return 0; /* the old threads did not end: nothing new starts */
    int32_t loop = kvEngine.options ? kvEngine.options->loopPlayback : 0;
    kvSetUpRun(doc, from, to, channel, start, loop, speed, state->sampleRate);
    cursor->playFrame.store(start);
    if (!kvStartThreads(true)) kvStop();
    return 0;
}

extern "C" KV_API int32_t kvPause(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    if (!kvPlaybackRunning()) return 0;
    KV_State *state = document->current;
    int32_t lo = std::min(state->selAnchor, state->selEnd);
    int32_t hi = std::max(state->selAnchor, state->selEnd);
    int32_t frame = kvPlayCursor(doc)->playFrame.load();
    kvStop();
    if (lo != hi && !(lo == 0 && hi == state->length)) return 0;
    if (frame >= 0) {
        state->selAnchor = state->selEnd = std::clamp(frame, 0, state->length);
        kvDocumentChanged(doc);
    }
    return 0;
}

/* The previewed stretch: the selection, or the whole file from the cursor;
 * paste mix covers the clip's length, the echoes add the tail the edit
 * itself would add. */
static void kvPreviewRange(const KV_State *state, int32_t edit, int32_t *from, int32_t *to,
                           int32_t *start) {
    int32_t lo = std::min(state->selAnchor, state->selEnd);
    int32_t hi = std::max(state->selAnchor, state->selEnd);
    bool selected = lo != hi;
    *from = edit == KV_EDIT_PASTE_MIX || selected ? lo : 0;
    *start =
        edit == KV_EDIT_PASTE_MIX || selected ? lo : std::clamp(state->selEnd, 0, state->length);
    int64_t end = selected ? hi : state->length;
    if (edit == KV_EDIT_PASTE_MIX)
        end = kvClip.sampleRate > 0
                  ? lo + int64_t{kvClip.length} * state->sampleRate / kvClip.sampleRate
                  : lo;
    if (edit >= KV_EDIT_ECHO && edit <= KV_EDIT_SIMPLE_ECHO && kvEngine.options)
        end += int64_t{kvEngine.options->extendEffect} * kvEngine.options->extendAmount *
               state->sampleRate;
    *to = static_cast<int32_t>(std::min<int64_t>(end, INT32_MAX));
}

extern "C" KV_API int32_t kvPreviewStart(int32_t doc, int32_t editNumber) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    kvStop();
    if (kvPlaybackRunning()) return 0;
    KV_State *state = document->current;
    if (editNumber == KV_EDIT_ECHO || editNumber == KV_EDIT_REVERB) state->editChannel = -1;
    int32_t channel = state->channels == 2 ? state->editChannel : -1;
    int32_t from, to, start;
    kvPreviewRange(state, editNumber, &from, &to, &start);
    kvPlayback.previewMode.store(1);
    kvPlayback.previewType.store(editNumber);
    kvSetUpRun(doc, from, to, channel, start, 1, 1, state->sampleRate);
    if (!kvStartThreads(false)) kvStop();
    return 0;
}
