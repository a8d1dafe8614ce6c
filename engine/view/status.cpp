/*
 * status.cpp - kvDoStatus and the time formatter.
 *
 * The redraw calls kvDoStatus after every picture, many times a second while
 * playing, so each text goes out only when its value changed: one cache for
 * the engine remembers what the program's status line shows. Texts are sent
 * synchronously, so the program copies them while they are still in the
 * engine's buffer.
 */
#include "engine/view/status.h"
#include "engine/codec/codec.h"
#include "engine/core/engine.h"
#include "engine/document/document.h"
#include "engine/history/clipboard.h"
#include "engine/platform/messages.h"
#include "engine/view/view.h"
#include "engine/view/wave_view.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

/* What the status line shows; -1 = nothing sent (or forgotten). */
struct KV_StatusCache {
    int32_t level;
    int32_t zoom;
    int32_t start;
    int32_t end;
    int32_t length;
    int32_t position;
    int32_t timeFormat;
};
static KV_StatusCache cache = {-1, -1, -1, -1, -1, -1, -1};

void kvResetStatus() {
    cache = KV_StatusCache{-1, -1, -1, -1, -1, -1, -1};
}

int32_t kvFormatTime(int32_t format, int64_t frames, int32_t rate, char *text, int32_t size) {
    if (size <= 0) return 0;
    text[0] = 0;
    int64_t ms = rate > 0 ? frames * 1000 / rate : 0;
    int32_t seconds = static_cast<int32_t>(ms / 1000);
    int32_t millis = static_cast<int32_t>(ms % 1000);
    if (format == KV_TIME_SAMPLES)
        std::snprintf(text, size, "%d smp", static_cast<int32_t>(frames));
    else if (rate <= 0)
        return 0;
    else if (format == KV_TIME_FORMATTED)
        std::snprintf(text, size, "%02d:%02d.%03d", seconds / 60, seconds % 60, millis);
    else if (format == KV_TIME_SECONDS)
        std::snprintf(text, size, "%d.%03d s", seconds, millis);
    else if (format == KV_TIME_MS)
        std::snprintf(text, size, "%d ms", static_cast<int32_t>(ms));
    return static_cast<int32_t>(std::strlen(text));
}

static void kvSendText(int32_t message, const char *text) {
    kvSendMessage(kvEngine.messageWindow, message, reinterpret_cast<intptr_t>(text),
                  static_cast<intptr_t>(std::strlen(text)));
}

/* Sends a time text when forced or when its value differs from the cache. */
static bool kvSendTime(int32_t message, int32_t frames, int32_t rate, int32_t *cached, bool full) {
    if (!full && frames == *cached) return false;
    *cached = frames;
    char text[64];
    kvFormatTime(kvEngine.options ? kvEngine.options->timeFormat : 0, frames, rate, text,
                 sizeof text);
    kvSendText(message, text);
    return true;
}

static void kvSendFixedTexts(const KV_Document *document) {
    const KV_State *state = document->current;
    char text[64];
    if (document->formatTag == 85 && document->variableBitRate)
        std::snprintf(text, sizeof text, "VBR MP3");
    else if (document->formatTag == 85)
        std::snprintf(text, sizeof text, "%dk MP3", document->bitRate);
    else
        std::snprintf(text, sizeof text, "%d Bit %s", document->bitsPerSample,
                      document->formatTag == 1   ? "PCM"
                      : document->formatTag == 3 ? "Float"
                                                 : kvSoundFormatName(document->formatTag));
    kvSendText(KV_MSG_FORMAT, text);
    kvSendText(KV_MSG_CHANNELS, state->channels == 2 ? "Stereo" : "Mono");
    std::snprintf(text, sizeof text, "%d Hz", state->sampleRate);
    kvSendText(KV_MSG_RATE, text);
}

extern "C" KV_API int32_t kvDoStatus(int32_t doc, int32_t full) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    int32_t format = kvEngine.options ? kvEngine.options->timeFormat : 0;
    if (format != cache.timeFormat) {
        cache.start = cache.end = cache.length = cache.position = -1;
        cache.timeFormat = format;
    }
    const KV_State *state = document->current;
    int32_t rate = state->sampleRate;
    if (rate == 0) return 0;
    char text[64];
    if (full || document->level != cache.level) {
        cache.level = document->level;
        if (document->level == 1)
            std::snprintf(text, sizeof text, "1 Edit");
        else
            std::snprintf(text, sizeof text, "%d Edits", document->level);
        kvSendText(KV_MSG_EDITS, text);
    }
    if (full || state->framesPerPixel != cache.zoom) {
        cache.zoom = state->framesPerPixel;
        std::snprintf(text, sizeof text, "%d:1", state->framesPerPixel);
        kvSendText(KV_MSG_ZOOM_TEXT, text);
    }
    int32_t lo = std::min(state->selAnchor, state->selEnd);
    int32_t hi = std::max(state->selAnchor, state->selEnd);
    kvSendTime(KV_MSG_SEL_START, lo, rate, &cache.start, full);
    kvSendTime(KV_MSG_SEL_END, hi, rate, &cache.end, full);
    if (kvSendTime(KV_MSG_SEL_LENGTH, hi - lo, rate, &cache.length, full))
        kvSendMessage(kvEngine.messageWindow, KV_MSG_ZOOM_CHANGED, 0, 0);
    int32_t playFrame = kvPlayFrameOf(doc);
    kvSendTime(KV_MSG_POSITION, playFrame >= 0 ? playFrame : state->length, rate, &cache.position,
               full);
    if (full) kvSendFixedTexts(document);
    kvSendMessage(kvEngine.messageWindow, KV_MSG_CLIPBOARD, kvGetClipCount(), 0);
    return 0;
}
