/*
 * playback.cpp - playback control.
 *
 * Every state switch and every edit stops playback first, so that the playback
 * thread never reads a document being rewritten. Nothing is played yet by this
 * engine, so stopping has nothing to wait for.
 */
#include "engine/core/korvel.h"

extern "C" KV_API int32_t kvStop(void) { return 0; }
