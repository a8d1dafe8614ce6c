/*
 * read_ahead.h - a decoder that runs a few chunks ahead of the insertion
 * pipeline on its own thread.
 *
 * Decoding a compressed file and writing the decoded blocks to data files
 * take about the same time; on their own threads they overlap, so opening
 * costs little more than the decode alone. The reader thread owns the
 * decoder handle from start to stop and touches nothing else; chunks pass
 * through a small ring of slots under one lock. The interface thread starts
 * and stops it and is the only consumer.
 */
#ifndef KV_CODEC_READ_AHEAD_H
#define KV_CODEC_READ_AHEAD_H

#include <cstdint>
#include <functional>

/* Fills `interleaved` with up to `frames` frames: the count read, 0 at the
 * end, negative on a read error (treated as the end, as a plain loop would). */
using KvChunkReader = std::function<int64_t(float *interleaved, int64_t frames)>;

struct KvReadAhead;

/* Starts reading chunks of `chunkFrames` frames of `channels` channels. */
KvReadAhead *kvStartReadAhead(KvChunkReader read, int32_t channels, int64_t chunkFrames);

/* Waits for the next chunk: its frame count (0 at the end) and, in `data`,
 * its interleaved samples, valid until the next call or the stop. */
int64_t kvNextChunk(KvReadAhead *ahead, const float **data);

/* Stops the reader (at once, even mid-file), waits for it and frees all. */
void kvStopReadAhead(KvReadAhead *ahead);

#endif
