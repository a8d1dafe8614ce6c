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

/* The WAVE format codes the reader knows. An extensible header names one of
 * the others as its sub-format; MPEG data in a RIFF file goes to the codec. */
enum : int32_t {
    KV_WAVE_PCM = 1,
    KV_WAVE_FLOAT = 3,
    KV_WAVE_ALAW = 6,
    KV_WAVE_MULAW = 7,
    KV_WAVE_MPEG = 0x50,
    KV_WAVE_MP3 = 0x55,
    KV_WAVE_EXTENSIBLE = 0xFFFE,
};

/* The most channels a file may have to be mixed down; 32 frames of 64-bit
 * samples still fit the scratch buffer many times over. */
#define KV_WAVE_MAX_CHANNELS 32

/* What a WAVE header says, as the checks need it. Chunk positions are found
 * by walking the chunk list, so other chunks may stand before "data". */
struct KvWaveHeader {
    bool riff = false;      /* "RIFF", "RF64" or "BW64" at 0 */
    bool wide = false;      /* "RF64" or "BW64": sizes of 0xFFFFFFFF are in ds64 */
    bool ds64Found = false; /* a wide file's 64-bit sizes were read */
    bool wave = false;      /* "WAVE" at 8 */
    bool fmtFound = false;
    bool dataFound = false;
    int32_t fmtSize = 0;
    int32_t formatTag = 0; /* as stored: 0xFFFE for an extensible header */
    int32_t channels = 0;
    int32_t sampleRate = 0;
    int32_t byteRate = 0;
    int32_t bitsPerSample = 0;  /* of the container */
    int32_t subFormat = 0;      /* the coding: formatTag, or an extensible header's sub-format */
    bool subFormatKnown = true; /* an extensible sub-format GUID of the standard family */
    uint8_t subFormatGuid[16] = {};
    int32_t validBits = 0;    /* an extensible header's significant bits; 0 when not said */
    uint32_t channelMask = 0; /* an extensible header's speaker positions; 0 when not said */
    int64_t dataSize = 0;     /* bytes; 32-bit sizes are unsigned */
    int64_t dataOffset = 0;   /* first sample byte */
};

/* How the samples of an opened file lie: what reading and mixing down need. */
struct KvWaveLayout {
    int32_t coding;   /* KV_WAVE_PCM, KV_WAVE_FLOAT, KV_WAVE_ALAW or KV_WAVE_MULAW */
    int32_t bits;     /* container bits per sample */
    int32_t channels; /* in the file; more than two are mixed down to stereo */
    uint32_t mask;    /* speaker positions, 0 for the usual order of that many channels */
    const uint8_t *order = nullptr; /* else each channel's position (mask bit number) */
};

/* The layout of a header that passed the checks. */
KvWaveLayout kvWaveLayout(const KvWaveHeader &header);

/* The weights with which file channel `index` of a layout of more than two
 * channels joins the left and right mix (each side's weights sum to 1). */
void kvMixDownWeights(const KvWaveLayout &layout, int32_t index, float *toLeft, float *toRight);

/* Reads the header fields from an open file (positions are absolute). */
void kvReadWaveHeader(int32_t file, KvWaveHeader *header);

/* True when the file is not a plain PCM or IEEE-float WAVE file at all and
 * belongs to the codec bridge. */
bool kvIsForeignFile(const KvWaveHeader &header);

/* Makes the header checks in their fixed order: an empty text when the file
 * at `path` can be loaded, otherwise the message to show. */
std::string kvCheckWaveHeader(const KvWaveHeader &header, const char *path);

/* Conversions of interleaved stored frames to and from float channels; the
 * format tag is the coding (1, 3, 6 or 7). */
void kvWaveToFloat(const uint8_t *bytes, int32_t bits, int32_t formatTag, int32_t channels,
                   int32_t frames, float *left, float *right);
void kvFloatToWave(const float *left, const float *right, int32_t bits, int32_t formatTag,
                   int32_t channels, int32_t frames, uint8_t *bytes);

/* 64-bit to 32-bit float, rounded toward zero. */
float kvNarrowTowardZero(double value);

/* Reads up to `frames` (<= 4096) frames of the document's format from the
 * file's current position: frames read (a partial last frame is dropped). */
int32_t kvReadWaveBlock(int32_t doc, int32_t file, float *left, float *right, int32_t frames);

/* Converts the whole frames among `count` bytes (at most 4096 of them) of a
 * layout into left and right, mixing down more than two channels; any
 * thread. The frame count. */
int32_t kvConvertWaveBytes(const uint8_t *bytes, int64_t count, const KvWaveLayout &layout,
                           float *left, float *right);

/* The same for a file of any accepted layout; more than two channels come
 * out mixed down into left and right. */
int32_t kvReadWaveFrames(int32_t file, const KvWaveLayout &layout, float *left, float *right,
                         int32_t frames);

/* Writes the whole document into an open file in its own format: 0, or -1
 * after the message. The codec bridge's encoders, for kvSaveDocument. */
using KvEncodeFn = int32_t (*)(int32_t doc, int32_t file);

/* kvSave without the stop: the document goes to `path` through a temporary
 * file, written by `encode`, or as WAVE when that is null. */
int32_t kvSaveDocument(int32_t doc, const char *path, KvEncodeFn encode);

/* Converts and writes `frames` (<= 4096) frames: frames written, 0 on failure. */
int32_t kvWriteWaveBlock(int32_t doc, int32_t file, const float *left, const float *right,
                         int32_t frames);

/* The 44-byte canonical header for a document's format and length. */
void kvMakeWaveHeader(int32_t formatTag, int32_t channels, int32_t sampleRate, int32_t bits,
                      int32_t frames, uint8_t header[44]);

/* The header of a saved file: the canonical 44 bytes while the sizes fit in
 * 32 bits, else an RF64 header of 80 bytes whose ds64 chunk holds them.
 * Its length in bytes. */
enum : int32_t { KV_WIDE_HEADER_BYTES = 80 };
int32_t kvMakeWaveHeaderFor(int32_t formatTag, int32_t channels, int32_t sampleRate, int32_t bits,
                            int32_t frames, uint8_t header[KV_WIDE_HEADER_BYTES]);

/* Loads a WAVE file whose header passed the checks into an empty document:
 * 0, or -1 when cancelled or a data-file write failed. */
int32_t kvLoadWave(int32_t doc, int32_t file, const KvWaveHeader &header);

extern uint8_t kvWaveScratch[65536];

#endif
