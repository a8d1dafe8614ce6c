/*
 * tracker.cpp - the position thread: moves the play cursor with what the
 * device has played, lets the view follow it, and ends playback at the end
 * of the range.
 *
 * The cursor is derived from the device's own count of played frames, not
 * from what was read or queued, so it shows what is being heard. The thread
 * never draws: it posts KV_MSG_PLAY_REDRAW to the document window once the cursor
 * has moved by a pixel column, and the window redraws incrementally. It
 * sleeps a millisecond between polls instead of spinning while the cursor
 * stays in one column, which at wide zooms can last a tenth of a second.
 */
#include "engine/audio/playback.h"
#include "engine/core/engine.h"
#include "engine/document/document.h"
#include "engine/platform/clock.h"
#include "engine/platform/messages.h"
#include "engine/platform/threads.h"

#include <algorithm>

static int32_t kvClampFrame(int64_t frame) {
    return static_cast<int32_t>(std::clamp<int64_t>(frame, INT32_MIN, INT32_MAX));
}

static int64_t kvFloorDiv(int64_t value, int64_t divisor) {
    int64_t quotient = value / divisor;
    return quotient * divisor > value ? quotient - 1 : quotient;
}

int32_t kvFollowCursor(int32_t mode, int32_t frame, int32_t played, int32_t speed, int32_t width,
                       int32_t fpp, int32_t first, int32_t *following) {
    int64_t span = int64_t{width} * fpp;
    if (!*following && (frame < first || frame >= first + span)) *following = 1;
    if (!*following || mode == 2) return first;
    if (mode == 1) {
        if (frame >= first + span) return frame;
        if (frame < first) return kvClampFrame(frame - span);
        return first;
    }
    int64_t wanted = frame - int64_t{width / 2} * fpp;
    int64_t step = int64_t{played} + 2 * int64_t{fpp};
    wanted = speed > 0 ? std::min(wanted, first + step) : std::max(wanted, first - step);
    if (wanted > frame) {
        *following = 0;
        wanted = frame;
    }
    wanted = std::max(wanted, frame - span);
    return kvClampFrame(kvFloorDiv(wanted, fpp) * fpp);
}

/* Moves the cursor by `moved` frames in the direction of play, wrapping by
 * the range length when looping: false at the end of the range without
 * looping. */
static bool kvMoveCursor(KV_PlayCursor *cursor, int64_t moved) {
    int32_t speed = kvPlayback.playSpeed.load();
    int64_t from = kvPlayback.loopStart.load(), to = kvPlayback.loopEnd.load();
    bool loop = kvPlayback.loopPlayback.load() && to > from;
    int64_t frame = cursor->playFrame.load();
    if (speed > 0) {
        frame += moved;
        if (frame >= to && !loop) return false;
        while (frame >= to)
            frame -= to - from;
    } else {
        frame -= moved;
        if (frame <= from && !loop) return false;
        while (frame <= from)
            frame += to - from;
    }
    cursor->playFrame.store(kvClampFrame(frame));
    return true;
}

/* Lets the view follow the cursor, unless the user has moved it. */
static void kvFollow(KV_State *state, KV_PlayCursor *cursor, int32_t played, int32_t width,
                     int32_t fpp) {
    if (width <= 0 || cursor->userTouched.load()) return;
    std::atomic_ref<int32_t> firstFrame(state->firstFrame);
    int32_t following = cursor->following.load();
    int32_t mode =
        kvEngine.options ? std::atomic_ref<int32_t>(kvEngine.options->scrollMode).load() : 0;
    int32_t first =
        kvFollowCursor(mode, cursor->playFrame.load(), played, kvPlayback.playSpeed.load(), width,
                       fpp, firstFrame.load(), &following);
    cursor->following.store(following);
    firstFrame.store(first);
}

/* Runs until stopRequest (false) or the end of the range (true). */
static bool kvTrack(int32_t doc, KV_Document *document, KV_PlayCursor *cursor) {
    int64_t last = 0;
    int64_t sinceFollow = 0; /* frames played since the view last followed */
    int64_t lastColumn = INT64_MIN;
    while (!kvPlayback.stopRequest.load()) {
        int64_t position = std::max<int64_t>(kvDeviceClockPosition() - 1024, 0);
        int64_t moved = std::max<int64_t>(position - last, 0);
        last = std::max(last, position);
        int32_t speed = kvPlayback.playSpeed.load();
        if (speed == KV_PLAY_FAST_FORWARD || speed == KV_PLAY_FAST_REVERSE) moved *= 2;
        if (!kvMoveCursor(cursor, moved)) return true;
        sinceFollow += moved;
        if (!document->window) {
            kvSleepMs(1);
            continue;
        }
        KV_State *state = document->current;
        int32_t fpp = std::max(std::atomic_ref<int32_t>(state->framesPerPixel).load(), 1);
        auto columnOf = [&] {
            return (int64_t{cursor->playFrame.load()} -
                    std::atomic_ref<int32_t>(state->firstFrame).load()) /
                   fpp;
        };
        int64_t column = columnOf();
        if (column == lastColumn) {
            kvSleepMs(1);
            continue;
        }
        KvViewWidthFn widthOf = kvViewWidthHook.load();
        int32_t width = widthOf ? widthOf(doc) : 0;
        kvFollow(state, cursor, kvClampFrame(sinceFollow), width, fpp);
        sinceFollow = 0;
        int64_t oldColumn = lastColumn;
        lastColumn = column = columnOf();
        kvPostMessage(document->window, KV_MSG_PLAY_REDRAW, 0, 0);
        auto nearEdge = [width](int64_t c) { return c < 8 || c >= int64_t{width} - 8; };
        if (nearEdge(oldColumn) || nearEdge(column))
            kvSleepMs(10);
        else if (!cursor->following.load() || cursor->userTouched.load())
            kvSleepMs(1);
    }
    return false;
}

void kvTrackerThread() {
    kvSetThreadPriority(KV_PRIORITY_BELOW_NORMAL);
    int32_t doc = kvPlayback.playDoc.load();
    KV_Document *document = kvGetDocument(doc);
    KV_PlayCursor *cursor = kvPlayCursor(doc);
    if (document && cursor && kvTrack(doc, document, cursor))
        kvStopFromWorker(kvPlayback.trackerRunning);
    else
        kvPlayback.trackerRunning.store(0);
}
