/*
 * status.h - the status line texts and the time formatter.
 *
 * The time formatter is shared with the time ruler and with recording, so
 * every time the user reads is written by the same rules.
 */
#ifndef KV_VIEW_STATUS_H
#define KV_VIEW_STATUS_H

#include <cstdint>

/* Time formats of KV_Options.timeFormat. */
enum : int32_t {
    KV_TIME_FORMATTED = 0, /* "%02d:%02d.%03d" */
    KV_TIME_SECONDS = 1,   /* "%d.%03d s" */
    KV_TIME_MS = 2,        /* "%d ms" */
    KV_TIME_SAMPLES = 3,   /* "%d smp" */
};

/* Writes frames at rate as text in one of the four formats (milliseconds are
 * frames * 1000 / rate in 64 bits). Another format, or a rate of 0 for the
 * formats that need one, writes an empty text. Returns the text's length. */
int32_t kvFormatTime(int32_t format, int64_t frames, int32_t rate, char *text, int32_t size);

/* Forgets every text sent, so the next status update sends all (engine start). */
void kvResetStatus();

#endif
