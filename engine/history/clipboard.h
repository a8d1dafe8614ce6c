/*
 * clipboard.h - the engine's own clipboard.
 *
 * A clip is a table of block descriptors per channel, like a document state:
 * the samples stay in the data files, which are never rewritten, so copying
 * an hour costs no more than copying a second. Every clip made since
 * start-up is listed in "COPY.tmp"; the current clip and the KV_KEPT_CLIPS
 * most recent ones hold their data files, older ones can no longer be loaded.
 */
#ifndef KV_HISTORY_CLIPBOARD_H
#define KV_HISTORY_CLIPBOARD_H

#include "engine/document/document.h"

#include <cstdint>

struct KV_Clip {
    int32_t number; /* position in the clipboard file */
    int32_t length; /* frames: the largest channel total */
    int32_t channels;
    int32_t sampleRate; /* 0 while there is no clip */
    int32_t blockCount[2];
    KV_Block *blocks[2];
    KV_FileSet files;
};

#define KV_KEPT_CLIPS 16

extern KV_Clip kvClip;

/* True once something has been copied or loaded: before that there is
 * nothing to paste or mix in. */
inline bool kvHasClip() {
    return kvClip.sampleRate > 0 && kvClip.channels > 0;
}

/* Forgets the current clip. */
void kvResetClipboard();
/* Forgets the current clip and every kept one (engine start and clean-up). */
void kvForgetClips();

/* Clips in the clipboard file (0 when there is none). */
int32_t kvGetClipCount();

/* Reads count samples of a clip channel from frame start (a channel beyond
 * the clip's reads channel 0); positions past the end read 0.0. Returns the
 * samples that came from the clip. */
int32_t kvReadClip(int32_t channel, int32_t start, int32_t count, float *buffer);

#endif
