/*
 * services.h - error, progress and memory services every engine operation uses.
 *
 * Errors are shown by the engine itself (the program seldom does); progress goes
 * to the program's callback with a cancel flag kept in KV_Params; memory comes
 * rounded up to a few sizes so that tables grown in small steps rarely move, and
 * exhaustion ends the process in an orderly way instead of returning null.
 */
#ifndef KV_CORE_SERVICES_H
#define KV_CORE_SERVICES_H

#include "korvel.h"

#include <cstddef>
#include <cstdint>

/* Help contexts the engine's messages offer: help/topic-N.html. */
enum : int32_t {
    KV_HELP_NO_CODEC = 24,
    KV_HELP_CANT_CREATE_FILE = 25,
    KV_HELP_NO_SOUND_DEVICE = 26,
};

/* Formats the message, notifies the program (KV_MSG_ERROR_SHOWN) and shows a warning box
 * titled "Korvel Error". With helpContext != 0 the box offers help and a Yes
 * sends KV_MSG_ERROR_HELP with the context. Clears errno. Always returns -1. */
int32_t kvError(int32_t helpContext, const char *format, ...) __attribute__((format(printf, 2, 3)));

/* What a failed file operation tells the user: that too many files are open
 * when this thread's last open failed for want of a descriptor, else
 * `usualText`. Shown as kvError does; returns -1. */
int32_t kvFileError(const char *usualText);
/* The same for a file operation of another thread, which noted limitHit. */
int32_t kvFileErrorOf(bool limitHit, const char *usualText);

/* Shows a stop box titled "Korvel Fatal Error" and ends the process with code 1. */
[[noreturn]] void kvFatal(const char *format, ...) __attribute__((format(printf, 1, 2)));

/* caption != null starts an operation, percent 0..100 reports, -1 ends it. */
void kvProgress(const char *caption, int32_t percent);

/* True from a progress caption until the operation reports -1: a long
 * operation is under way and its progress window is up. */
bool kvProgressRunning();

/* True when the program asked the running operation to stop. */
bool kvCancelRequested();

/* Rounded allocation that never returns null; free with kvFree. */
void *kvAlloc(int32_t size);
void *kvRealloc(void *pointer, int32_t size);
void kvFree(void *pointer);

/* Hands memory freed in bulk (a closed document's tables) back to the
 * system, so the process shrinks again after a long session's document. */
void kvReleaseFreeMemory();

/* The size kvAlloc really reserves for a request of n bytes, and the size of a
 * block it returned. */
int32_t kvAllocRoundedSize(int32_t n);
int32_t kvAllocSize(const void *pointer);

/* Resets the progress state (engine start). */
void kvResetProgress();

#endif
