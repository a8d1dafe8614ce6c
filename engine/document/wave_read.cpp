/*
 * wave_read.cpp - recognising and loading WAVE files.
 *
 * The header checks run in a fixed order with fixed messages, because the
 * first failing one is what the user is told. Chunks are found by walking the
 * chunk list rather than assumed at fixed offsets: most WAVE files written
 * today carry LIST, fact or JUNK chunks, often before the samples. Nothing is
 * allocated from header sizes; a file shorter than its header claims loads
 * what is there, and the user is told once that it was cut short.
 */
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/document.h"
#include "engine/document/wave.h"
#include "engine/history/history.h"
#include "engine/platform/fileio.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

uint8_t kvWaveScratch[65536];

static int32_t kvLe32(const uint8_t *at) {
    return static_cast<int32_t>(static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                                static_cast<uint32_t>(at[2]) << 16 |
                                static_cast<uint32_t>(at[3]) << 24);
}

static int16_t kvLe16(const uint8_t *at) {
    return static_cast<int16_t>(static_cast<uint16_t>(at[0] | at[1] << 8));
}

/* The 16 format bytes of a fmt chunk. */
static void kvTakeFormat(const uint8_t *format, KvWaveHeader *header) {
    header->formatTag = static_cast<uint16_t>(kvLe16(format));
    header->channels = static_cast<uint16_t>(kvLe16(format + 2));
    header->sampleRate = kvLe32(format + 4);
    header->byteRate = kvLe32(format + 8);
    header->bitsPerSample = static_cast<uint16_t>(kvLe16(format + 14));
}

/* Walks the chunks after "WAVE" looking for "fmt " and "data". */
static void kvWalkChunks(int32_t file, KvWaveHeader *header) {
    int64_t fileSize = kvFileSize(file);
    int64_t position = 12;
    uint8_t chunk[8];
    while (position + 8 <= fileSize && !(header->fmtFound && header->dataFound)) {
        if (!kvFileReadAt(file, chunk, 8, position)) return;
        uint32_t size = static_cast<uint32_t>(kvLe32(chunk + 4));
        if (!header->fmtFound && std::memcmp(chunk, "fmt ", 4) == 0) {
            uint8_t format[16] = {};
            kvFileReadAt(file, format, std::min<int64_t>(16, fileSize - position - 8),
                         position + 8);
            header->fmtFound = true;
            header->fmtSize = static_cast<int32_t>(size);
            kvTakeFormat(format, header);
        } else if (!header->dataFound && std::memcmp(chunk, "data", 4) == 0) {
            header->dataFound = true;
            header->dataSize = static_cast<int32_t>(size);
            header->dataOffset = position + 8;
        }
        position += 8 + static_cast<int64_t>(size) + (size & 1);
    }
}

/* Fills the fields at their canonical offsets, as a file without a chunk
 * list (or one we cannot walk) is read. */
static void kvReadCanonical(const uint8_t *bytes, KvWaveHeader *header) {
    header->fmtFound = std::memcmp(bytes + 12, "fmt ", 4) == 0;
    header->fmtSize = kvLe32(bytes + 16);
    kvTakeFormat(bytes + 20, header);
    int32_t dataAt = header->fmtSize == 18 ? 38 : 36;
    uint8_t tail[8] = {};
    std::memcpy(tail, bytes + dataAt, 44 - dataAt);
    header->dataFound = std::memcmp(tail, "data", 4) == 0;
    header->dataSize = kvLe32(tail + 4);
    header->dataOffset = int64_t{header->fmtSize} + 28; /* any size the file claims */
}

/* True when the 8 bytes at `offset` read as a chunk header: four printable
 * characters and a size that fits in the file. */
static bool kvLooksLikeChunk(int32_t file, int64_t offset, int64_t fileSize) {
    uint8_t chunk[8];
    if (offset + 8 > fileSize || !kvFileReadAt(file, chunk, 8, offset)) return false;
    for (int i = 0; i < 4; i++)
        if (chunk[i] < 0x20 || chunk[i] > 0x7E) return false;
    return offset + 8 + static_cast<uint32_t>(kvLe32(chunk + 4)) <= fileSize;
}

/* A recorder that stopped before it could write the data size leaves 0, one
 * that streams leaves 0xFFFFFFFF; either way the samples run to the end of
 * the file. A 0 followed by another chunk is a truly empty sound. */
static void kvTakeUnwrittenSize(int32_t file, KvWaveHeader *header) {
    if (!header->dataFound || (header->dataSize != 0 && header->dataSize != -1)) return;
    int64_t fileSize = kvFileSize(file);
    if (header->dataSize == 0 && kvLooksLikeChunk(file, header->dataOffset, fileSize)) return;
    int64_t rest = std::max<int64_t>(0, fileSize - header->dataOffset);
    header->dataSize = static_cast<int32_t>(std::min<int64_t>(rest, INT32_MAX));
}

void kvReadWaveHeader(int32_t file, KvWaveHeader *header) {
    uint8_t bytes[46] = {};
    kvFileSeek(file, 0);
    int64_t got = 0;
    while (got < 46) {
        int64_t more = kvFileReadSome(file, bytes + got, 46 - got);
        if (more <= 0) break;
        got += more;
    }
    *header = KvWaveHeader{};
    header->riff = std::memcmp(bytes, "RIFF", 4) == 0;
    header->wave = std::memcmp(bytes + 8, "WAVE", 4) == 0;
    if (header->riff && header->wave) kvWalkChunks(file, header);
    if (!header->fmtFound) kvReadCanonical(bytes, header);
    kvTakeUnwrittenSize(file, header);
}

bool kvIsForeignFile(const KvWaveHeader &header) {
    return !header.riff || (header.formatTag != 1 && header.formatTag != 3);
}

static std::string kvFormat(const char *format, int32_t value) {
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string kvCheckWaveHeader(const KvWaveHeader &h) {
    if (h.fmtSize != 16 && h.fmtSize != 18)
        return "Can't open file - invalid or unsupported 'fmt' chunk";
    if (!h.fmtFound) return "Unsupported RIFF header (no 'fmt' chunk found)";
    if (!h.wave) return "Unsupported RIFF header (no 'WAVE' identifier tag found)";
    if (!h.dataFound) return "Unsupported RIFF header (no 'data' chunk found)";
    int32_t bits = h.bitsPerSample;
    if (bits != 8 && bits != 16 && bits != 32 && bits != 64)
        return kvFormat("Unsupported number of bits per sample: %d", bits);
    if (h.channels != 1 && h.channels != 2)
        return kvFormat("Unsupported number of channels: %d", h.channels);
    if (h.sampleRate < 4000 || h.sampleRate > 96000)
        return kvFormat("Unsupported sample rate: %d", h.sampleRate);
    if (h.dataSize < 0) return "Corrupted RIFF header";
    if (static_cast<int64_t>(h.channels) * h.sampleRate * bits / 8 != h.byteRate)
        return "Mismatch in RIFF header - possibly corrupted";
    if (h.formatTag == 1 && bits > 32)
        return kvFormat("Unsupported number of bits per sample for PCM: %d", bits);
    return "";
}

float kvNarrowTowardZero(double value) {
    float narrowed = static_cast<float>(value);
    if (std::isfinite(value) && std::fabs(static_cast<double>(narrowed)) > std::fabs(value))
        narrowed = std::nextafter(narrowed, 0.0f);
    return narrowed;
}

/* Each format has its own straight loop over the interleaved samples, so
 * the compiler can keep conversion out of a per-sample branch. */
template <typename Convert>
static void kvDeinterleave(const uint8_t *bytes, int32_t sampleBytes, int32_t channels,
                           int32_t frames, float *left, float *right, Convert convert) {
    int32_t frameBytes = sampleBytes * channels;
    for (int32_t i = 0; i < frames; i++)
        left[i] = convert(bytes + i * frameBytes);
    if (channels == 2 && right)
        for (int32_t i = 0; i < frames; i++)
            right[i] = convert(bytes + i * frameBytes + sampleBytes);
}

void kvWaveToFloat(const uint8_t *bytes, int32_t bits, int32_t formatTag, int32_t channels,
                   int32_t frames, float *left, float *right) {
    int32_t size = bits / 8;
    switch (bits) {
    case 8:
        kvDeinterleave(bytes, size, channels, frames, left, right, [](const uint8_t *at) {
            return static_cast<float>(at[0] * 0.0078125 - 1.0);
        });
        break;
    case 16:
        kvDeinterleave(bytes, size, channels, frames, left, right, [](const uint8_t *at) {
            return static_cast<float>(kvLe16(at) * (1.0 / 32768.0));
        });
        break;
    case 32:
        if (formatTag == 1) {
            kvDeinterleave(bytes, size, channels, frames, left, right, [](const uint8_t *at) {
                return static_cast<float>((kvLe32(at) >> 8) * (1.0 / 8388608.0));
            });
        } else {
            kvDeinterleave(bytes, size, channels, frames, left, right, [](const uint8_t *at) {
                float value;
                std::memcpy(&value, at, 4);
                return value;
            });
        }
        break;
    default:
        kvDeinterleave(bytes, size, channels, frames, left, right, [](const uint8_t *at) {
            double value;
            std::memcpy(&value, at, 8);
            return kvNarrowTowardZero(value);
        });
    }
}

int32_t kvReadWaveBlock(int32_t doc, int32_t file, float *left, float *right, int32_t frames) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || frames <= 0) return 0;
    int32_t channels = document->current->channels;
    int32_t bits = document->bitsPerSample;
    int32_t frameBytes = bits / 8 * channels;
    int64_t wanted = static_cast<int64_t>(std::min(frames, KV_BLOCK_FRAMES)) * frameBytes;
    int64_t got = 0;
    while (got < wanted) {
        int64_t more = kvFileReadSome(file, kvWaveScratch + got, wanted - got);
        if (more <= 0) break;
        got += more;
    }
    int32_t framesRead = static_cast<int32_t>(got / frameBytes);
    kvWaveToFloat(kvWaveScratch, bits, document->formatTag, channels, framesRead, left, right);
    return framesRead;
}

int32_t kvLoadWave(int32_t doc, int32_t file, const KvWaveHeader &header) {
    KV_Document *document = kvGetDocument(doc);
    KV_State *state = document->current;
    static float left[KV_BLOCK_FRAMES], right[KV_BLOCK_FRAMES];
    int64_t total = header.dataSize / (header.bitsPerSample / 8 * header.channels);
    kvFileSeek(file, header.dataOffset);
    kvEngine.params->cancellable = 1;
    kvProgress("Opening File", 0);
    int64_t done = 0;
    while (done < total) {
        int32_t wanted = static_cast<int32_t>(std::min<int64_t>(KV_BLOCK_FRAMES, total - done));
        int32_t got = kvReadWaveBlock(doc, file, left, right, wanted);
        if (got == 0) break;
        kvQueueInsert(doc, 0, left, got);
        if (state->channels == 2) kvQueueInsert(doc, 1, right, got);
        kvProgress(nullptr, static_cast<int32_t>(done * 100 / total));
        done += got;
        if (kvCancelRequested() || kvInsertFailed()) {
            kvProgress(nullptr, -1);
            kvDiscardInsert();
            return -1;
        }
    }
    kvProgress(nullptr, -1);
    if (kvFinishLoading(doc) != 0) return -1;
    if (done < total)
        kvError(0,
                "%s is shorter than its header says (it may have been cut short).\n\nWhat it "
                "holds has been opened.",
                document->path);
    return 0;
}
