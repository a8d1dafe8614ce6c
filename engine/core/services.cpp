/*
 * services.cpp - errors, progress reports and rounded allocation.
 *
 * Progress is throttled to one report per 3 ms so that tight loops can report
 * after every block without flooding the program, while a jump to 100 % and
 * every new caption always get through. Allocation sizes are rounded to a few
 * steps and remembered in a small header, so kvRealloc can see when a block
 * already has the size asked for and return it untouched. A caller without
 * windows (batch work) takes the error texts through a callback instead of
 * boxes, so it can say which of its files each one is about.
 */
#include "engine/core/services.h"
#include "engine/core/engine.h"
#include "engine/platform/clock.h"
#include "engine/platform/fileio.h"
#include "engine/platform/messages.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

static char errorText[2048];
static KvErrorCallback errorCallback;

extern "C" KV_API int32_t kvSetErrorCallback(KvErrorCallback callback) {
    errorCallback = callback;
    return 0;
}

struct KV_Progress {
    char message[320];
    int64_t lastTick;
    int32_t lastPercent;
    int64_t elapsed;
    int64_t previousTick;
    bool running;
};
static KV_Progress progress;

int32_t kvError(int32_t helpContext, const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(errorText, sizeof errorText, format, args);
    va_end(args);
    kvSendMessage(kvEngine.messageWindow, KV_MSG_ERROR_SHOWN, 0, 0);
    if (errorCallback) {
        errorCallback(errorText, 0);
    } else if (helpContext != 0) {
        std::strncat(errorText, "\n\nWould you like to view Help on this problem?",
                     sizeof errorText - std::strlen(errorText) - 1);
        int32_t answer = kvShowMessageBox(kvEngine.messageWindow, "Korvel Error", errorText,
                                          KV_BOX_YES_NO, KV_ICON_WARNING, KV_ID_NO);
        if (answer == KV_ID_YES)
            kvSendMessage(kvEngine.messageWindow, KV_MSG_ERROR_HELP, helpContext, 0);
    } else {
        kvShowMessageBox(kvEngine.messageWindow, "Korvel Error", errorText, KV_BOX_OK,
                         KV_ICON_WARNING, KV_ID_OK);
    }
    errno = 0;
    return -1;
}

int32_t kvFileError(const char *usualText) {
    return kvFileErrorOf(kvFileLimitHit(), usualText);
}

int32_t kvFileErrorOf(bool limitHit, const char *usualText) {
    if (limitHit)
        return kvError(0, "Too many files are open. Close other documents or programs, and try "
                          "again.");
    return kvError(0, "%s", usualText);
}

void kvFatal(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(errorText, sizeof errorText, format, args);
    va_end(args);
    if (errorCallback)
        errorCallback(errorText, 1);
    else
        kvShowMessageBox(kvEngine.messageWindow, "Korvel Fatal Error", errorText, KV_BOX_OK,
                         KV_ICON_STOP, KV_ID_OK);
    std::fflush(nullptr);
    /* Other threads may be running; destructors must not race them. */
    std::_Exit(1);
}

void kvResetProgress() {
    std::memset(&progress, 0, sizeof progress);
}

bool kvProgressRunning() {
    return progress.running;
}

bool kvCancelRequested() {
    return kvEngine.params && kvEngine.params->cancelRequested != 0;
}

void kvProgress(const char *caption, int32_t percent) {
    int64_t now = kvTickCount();
    KV_Params *params = kvEngine.params;
    if (percent == -1 && params) {
        params->cancellable = 0;
        params->cancelRequested = 0;
    }
    if (caption && params) params->cancelRequested = 0;
    if (caption) progress.running = true;
    if (percent == -1) progress.running = false;
    bool newHundred = percent == 100 && progress.lastPercent != 100;
    if (!caption && percent >= 0 && !newHundred && now - progress.lastTick < 3) return;
    progress.lastTick = now;
    progress.lastPercent = percent;
    progress.elapsed = caption ? 0 : progress.elapsed + (now - progress.previousTick);
    int32_t secondsLeft = 0;
    if (progress.elapsed >= 5001 && percent >= 1 && percent <= 99) {
        int64_t elapsed = progress.elapsed;
        secondsLeft = static_cast<int32_t>((elapsed / percent - elapsed / 100) / 10 + 1);
    }
    progress.previousTick = now;
    int32_t textLength = 0;
    if (caption) {
        std::snprintf(progress.message, sizeof progress.message, "Please Wait: %s...", caption);
        textLength = static_cast<int32_t>(std::strlen(progress.message));
    }
    if (kvEngine.progressCallback)
        kvEngine.progressCallback(progress.message, textLength, percent, secondsLeft);
}

/* The header keeps the rounded size; 16 bytes keep the payload aligned for
 * any type the engine stores. */
struct alignas(16) KvAllocHeader {
    int32_t roundedSize;
};

static int32_t kvRoundUp(int32_t n, int32_t step) {
    return (n + step - 1) / step * step;
}

int32_t kvAllocRoundedSize(int32_t n) {
    if (n < 64) return 64;
    if (n < 1024) return 1024;
    if (n <= 1048575) return kvRoundUp(n, 1024);
    if (n > 4194303) return kvRoundUp(n, 262144);
    return kvRoundUp(n, 65536);
}

static void kvCheckRequest(int32_t n) {
    if (n < 0 || n > 67108864) kvFatal("Attempt to allocate %d (0x%X) Bytes of Memory!", n, n);
}

void *kvAlloc(int32_t size) {
    kvCheckRequest(size);
    int32_t rounded = kvAllocRoundedSize(size);
    auto *header = static_cast<KvAllocHeader *>(std::malloc(sizeof(KvAllocHeader) + rounded));
    if (!header) kvFatal("Can't allocate memory! Requested: %d", size);
    header->roundedSize = rounded;
    return header + 1;
}

void *kvRealloc(void *pointer, int32_t size) {
    kvCheckRequest(size);
    int32_t rounded = kvAllocRoundedSize(size);
    if (!pointer) return kvAlloc(size);
    auto *header = static_cast<KvAllocHeader *>(pointer) - 1;
    if (header->roundedSize == rounded) return pointer;
    header = static_cast<KvAllocHeader *>(std::realloc(header, sizeof(KvAllocHeader) + rounded));
    if (!header) kvFatal("Can't reallocate memory! Requested: %d", rounded);
    header->roundedSize = rounded;
    return header + 1;
}

void kvFree(void *pointer) {
    if (pointer) std::free(static_cast<KvAllocHeader *>(pointer) - 1);
}

int32_t kvAllocSize(const void *pointer) {
    return pointer ? (static_cast<const KvAllocHeader *>(pointer) - 1)->roundedSize : 0;
}

void kvReleaseFreeMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}
