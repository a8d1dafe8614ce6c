/*
 * wave.h - WAVE files: the header, sample conversion both ways, and the
 * block-wise reading and writing that opening and saving are built on.
 *
 * Reading and writing share one 64 KiB scratch buffer: 4096 frames of 64-bit
 * stereo fill it exactly, so memory use never grows with the file.
 */
#ifndef KV_DOCUMENT_WAVE_H
#define KV_DOCUMENT_WAVE_H

#include <bit>
#include <cstdint>
#include <string>

/* Stored samples are little-endian and are copied as they lie in memory. */
static_assert(std::endian::native == std::endian::little);

/* What a WAVE header says, as the checks need it. Chunk positions are found
 * by walking the chunk list, so other chunks may stand before "data". */
struct KvWaveHeader {
    bool riff = false; /* "RIFF" at 0 */
    bool wave = false; /* "WAVE" at 8 */
    bool fmtFound = false;
    bool dataFound = false;
    int32_t fmtSize = 0;
    int32_t formatTag = 0;
    int32_t channels = 0;
    int32_t sampleRate = 0;
    int32_t byteRate = 0;
    int32_t bitsPerSample = 0;
    int32_t dataSize = 0;   /* as stored: a negative value is corrupt */
    int64_t dataOffset = 0; /* first sample byte */
};

/* Reads the header fields from an open file (positions are absolute). */
void kvReadWaveHeader(int32_t file, KvWaveHeader *header);

/* True when the file is not a plain PCM or IEEE-float WAVE file at all and
 * belongs to the codec bridge. */
bool kvIsForeignFile(const KvWaveHeader &header);

/* Makes the header checks in their fixed order: an empty text when the file
 * can be loaded, otherwise the message to show. */
std::string kvCheckWaveHeader(const KvWaveHeader &header);

/* Conversions of interleaved stored frames to and from float channels. */
void kvWaveToFloat(const uint8_t *bytes, int32_t bits, int32_t formatTag, int32_t channels,
                   int32_t frames, float *left, float *right);
void kvFloatToWave(const float *left, const float *right, int32_t bits, int32_t formatTag,
                   int32_t channels, int32_t frames, uint8_t *bytes);

/* 64-bit to 32-bit float, rounded toward zero. */
float kvNarrowTowardZero(double value);

/* Reads up to `frames` (<= 4096) frames of the document's format from the
 * file's current position: frames read (a partial last frame is dropped). */
int32_t kvReadWaveBlock(int32_t doc, int32_t file, float *left, float *right, int32_t frames);

/* Converts and writes `frames` (<= 4096) frames: frames written, 0 on failure. */
int32_t kvWriteWaveBlock(int32_t doc, int32_t file, const float *left, const float *right,
                         int32_t frames);

/* The 44-byte canonical header for a document's format and length. */
void kvMakeWaveHeader(int32_t formatTag, int32_t channels, int32_t sampleRate, int32_t bits,
                      int32_t frames, uint8_t header[44]);

/* Loads a WAVE file whose header passed the checks into an empty document:
 * 0, or -1 when cancelled or a data-file write failed. */
int32_t kvLoadWave(int32_t doc, int32_t file, const KvWaveHeader &header);

extern uint8_t kvWaveScratch[65536];

#endif
