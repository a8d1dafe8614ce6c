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
#include "engine/platform/fileio.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
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

/* Every standard sub-format GUID is its format code followed by these bytes. */
static const uint8_t kvGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                       0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

/* The format bytes of a fmt chunk: the 16 every header has, and the 24 an
 * extensible one adds after its 2-byte extension size. */
static void kvTakeFormat(const uint8_t *format, KvWaveHeader *header) {
    header->formatTag = static_cast<uint16_t>(kvLe16(format));
    header->channels = static_cast<uint16_t>(kvLe16(format + 2));
    header->sampleRate = kvLe32(format + 4);
    header->byteRate = kvLe32(format + 8);
    header->bitsPerSample = static_cast<uint16_t>(kvLe16(format + 14));
    header->subFormat = header->formatTag;
    if (header->formatTag != KV_WAVE_EXTENSIBLE || header->fmtSize < 40) return;
    header->validBits = static_cast<uint16_t>(kvLe16(format + 18));
    header->channelMask = static_cast<uint32_t>(kvLe32(format + 20));
    std::memcpy(header->subFormatGuid, format + 24, 16);
    header->subFormat = static_cast<uint16_t>(kvLe16(format + 24));
    header->subFormatKnown = std::memcmp(format + 26, kvGuidTail, 14) == 0;
}

static int64_t kvLe64(const uint8_t *at) {
    return static_cast<int64_t>(static_cast<uint32_t>(kvLe32(at)) |
                                static_cast<uint64_t>(static_cast<uint32_t>(kvLe32(at + 4))) << 32);
}

/* Walks the chunks after "WAVE" looking for "fmt " and "data", and in a
 * wide file for the "ds64" chunk that holds the sizes too large for 32 bits. */
static void kvWalkChunks(int32_t file, KvWaveHeader *header) {
    int64_t fileSize = kvFileSize(file);
    int64_t position = 12;
    int64_t wideDataSize = 0;
    uint8_t chunk[8];
    while (position + 8 <= fileSize && !(header->fmtFound && header->dataFound)) {
        if (!kvFileReadAt(file, chunk, 8, position)) return;
        int64_t size = static_cast<uint32_t>(kvLe32(chunk + 4));
        if (header->wide && std::memcmp(chunk, "ds64", 4) == 0 && size >= 16) {
            uint8_t sizes[16] = {};
            header->ds64Found = kvFileReadAt(file, sizes, 16, position + 8);
            wideDataSize = kvLe64(sizes + 8);
        } else if (!header->fmtFound && std::memcmp(chunk, "fmt ", 4) == 0) {
            uint8_t format[40] = {};
            kvFileReadAt(file, format, std::min<int64_t>({40, size, fileSize - position - 8}),
                         position + 8);
            header->fmtFound = true;
            header->fmtSize = static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX));
            kvTakeFormat(format, header);
        } else if (!header->dataFound && std::memcmp(chunk, "data", 4) == 0) {
            if (header->ds64Found && size == UINT32_MAX) size = std::max<int64_t>(wideDataSize, 0);
            header->dataFound = true;
            header->dataSize = size;
            header->dataOffset = position + 8;
        }
        position += 8 + size + (size & 1);
    }
}

/* Fills the fields at their canonical offsets, as a file without a chunk
 * list (or one we cannot walk) is read. */
static void kvReadCanonical(const uint8_t *bytes, KvWaveHeader *header) {
    header->fmtFound = std::memcmp(bytes + 12, "fmt ", 4) == 0;
    header->fmtSize = kvLe32(bytes + 16);
    /* Only 26 format bytes follow in the canonical layout; an extensible
     * claim reads zeros for the rest, an unknown sub-format. */
    uint8_t format[40] = {};
    std::memcpy(format, bytes + 20, 46 - 20);
    kvTakeFormat(format, header);
    int32_t dataAt = header->fmtSize == 18 ? 38 : 36;
    uint8_t tail[8] = {};
    std::memcpy(tail, bytes + dataAt, 44 - dataAt);
    header->dataFound = std::memcmp(tail, "data", 4) == 0;
    header->dataSize = static_cast<uint32_t>(kvLe32(tail + 4));
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
    if (!header->dataFound || (header->dataSize != 0 && header->dataSize != UINT32_MAX)) return;
    int64_t fileSize = kvFileSize(file);
    if (header->dataSize == 0 && kvLooksLikeChunk(file, header->dataOffset, fileSize)) return;
    header->dataSize = std::max<int64_t>(0, fileSize - header->dataOffset);
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
    header->wide = std::memcmp(bytes, "RF64", 4) == 0 || std::memcmp(bytes, "BW64", 4) == 0;
    header->riff = header->wide || std::memcmp(bytes, "RIFF", 4) == 0;
    header->wave = std::memcmp(bytes + 8, "WAVE", 4) == 0;
    if (header->riff && header->wave) kvWalkChunks(file, header);
    if (!header->fmtFound) kvReadCanonical(bytes, header);
    kvTakeUnwrittenSize(file, header);
}

static bool kvReadableCoding(int32_t coding) {
    return coding == KV_WAVE_PCM || coding == KV_WAVE_FLOAT || coding == KV_WAVE_ALAW ||
           coding == KV_WAVE_MULAW;
}

bool kvIsForeignFile(const KvWaveHeader &header) {
    if (!header.riff) return true;
    if (kvReadableCoding(header.formatTag) || header.formatTag == KV_WAVE_EXTENSIBLE) return false;
    /* MPEG data in a RIFF file is found by the frame search; any other code
     * in a proper WAVE file is named to the user below. */
    return header.formatTag == KV_WAVE_MPEG || header.formatTag == KV_WAVE_MP3 || !header.wave ||
           !header.fmtFound;
}

static std::string kvFormat(const char *format, int32_t value) {
    char text[160];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

/* The name of a compression code seen in WAVE files that cannot be read. */
static const char *kvCodingName(int32_t code) {
    switch (code) {
    case 0x0002:
        return "Microsoft ADPCM";
    case 0x0011:
        return "IMA ADPCM";
    case 0x0031:
        return "GSM 6.10";
    case 0x0161:
        return "Windows Media Audio";
    case 0x2000:
        return "AC-3";
    default:
        return "an unknown compression";
    }
}

/* Why the coding cannot be read, or "" when it can. */
static std::string kvCodingProblem(const KvWaveHeader &h, const char *path) {
    char text[640];
    if (h.formatTag == KV_WAVE_EXTENSIBLE &&
        (!h.subFormatKnown || !kvReadableCoding(h.subFormat))) {
        const uint8_t *g = h.subFormatGuid;
        std::snprintf(text, sizeof text,
                      "Can't open %s\n\nIts WAVE sub-format {%02X%02X%02X%02X-%02X%02X-%02X%02X-"
                      "%02X%02X-%02X%02X%02X%02X%02X%02X} is not one Korvel reads (PCM, IEEE "
                      "float, A-law or u-law). Convert the file to PCM with another program and "
                      "open the copy.",
                      path, g[3], g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10],
                      g[11], g[12], g[13], g[14], g[15]);
        return text;
    }
    if (h.formatTag == KV_WAVE_EXTENSIBLE || kvReadableCoding(h.formatTag)) return "";
    std::snprintf(text, sizeof text,
                  "Can't open %s\n\nIt is compressed with WAVE format 0x%04X (%s), which Korvel "
                  "does not read. Convert the file to PCM with another program and open the copy.",
                  path, h.formatTag, kvCodingName(h.formatTag));
    return text;
}

/* Bit depths each coding is stored in. Float files of 8, 16 or 24 bits are
 * read as integers, as they always have been. */
static std::string kvDepthProblem(const KvWaveHeader &h) {
    int32_t bits = h.bitsPerSample;
    if (h.subFormat == KV_WAVE_PCM && bits > 32)
        return kvFormat("Unsupported number of bits per sample for PCM: %d", bits);
    if (h.subFormat == KV_WAVE_ALAW && bits != 8)
        return kvFormat("Unsupported number of bits per sample for A-law: %d", bits);
    if (h.subFormat == KV_WAVE_MULAW && bits != 8)
        return kvFormat("Unsupported number of bits per sample for u-law: %d", bits);
    return "";
}

std::string kvCheckWaveHeader(const KvWaveHeader &h, const char *path) {
    bool extensible = h.formatTag == KV_WAVE_EXTENSIBLE;
    if (extensible ? h.fmtSize < 40 : h.fmtSize != 16 && h.fmtSize != 18)
        return "Can't open file - invalid or unsupported 'fmt' chunk";
    if (!h.fmtFound) return "Unsupported RIFF header (no 'fmt' chunk found)";
    if (!h.wave) return "Unsupported RIFF header (no 'WAVE' identifier tag found)";
    if (!h.dataFound) return "Unsupported RIFF header (no 'data' chunk found)";
    if (std::string problem = kvCodingProblem(h, path); !problem.empty()) return problem;
    int32_t bits = h.bitsPerSample;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32 && bits != 64)
        return kvFormat("Unsupported number of bits per sample: %d", bits);
    if (h.channels < 1 || h.channels > KV_WAVE_MAX_CHANNELS)
        return kvFormat("Unsupported number of channels: %d", h.channels);
    if (h.sampleRate < 4000 || h.sampleRate > 96000)
        return kvFormat("Unsupported sample rate: %d", h.sampleRate);
    if (h.wide && !h.ds64Found) return "Corrupted RIFF header";
    if (static_cast<int64_t>(h.channels) * h.sampleRate * bits / 8 != h.byteRate ||
        h.validBits > bits)
        return "Mismatch in RIFF header - possibly corrupted";
    return kvDepthProblem(h);
}

KvWaveLayout kvWaveLayout(const KvWaveHeader &header) {
    return {header.subFormat, header.bitsPerSample, header.channels, header.channelMask};
}

float kvNarrowTowardZero(double value) {
    float narrowed = static_cast<float>(value);
    if (std::isfinite(value) && std::fabs(static_cast<double>(narrowed)) > std::fabs(value))
        narrowed = std::nextafter(narrowed, 0.0f);
    return narrowed;
}

/* G.711 expansion to the 16-bit values every decoder gives, then to float. */
static std::array<float, 256> kvMulawTable() {
    std::array<float, 256> table{};
    for (int32_t byte = 0; byte < 256; byte++) {
        int32_t u = ~byte & 0xFF;
        int32_t magnitude = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
        int32_t value = (u & 0x80) ? 0x84 - magnitude : magnitude - 0x84;
        table[byte] = static_cast<float>(value / 32768.0);
    }
    return table;
}

static std::array<float, 256> kvAlawTable() {
    std::array<float, 256> table{};
    for (int32_t byte = 0; byte < 256; byte++) {
        int32_t a = byte ^ 0x55;
        int32_t magnitude = (a & 0x0F) << 4;
        int32_t segment = (a & 0x70) >> 4;
        if (segment == 0)
            magnitude += 8;
        else
            magnitude = (magnitude + 0x108) << (segment - 1);
        table[byte] = static_cast<float>(((a & 0x80) ? magnitude : -magnitude) / 32768.0);
    }
    return table;
}

/* Each format has its own straight loop over one channel of the interleaved
 * samples, so the compiler can keep conversion out of a per-sample branch. */
template <typename Convert>
static void kvTakeChannel(const uint8_t *first, int32_t frameBytes, int32_t frames, float *out,
                          Convert convert) {
    for (int32_t i = 0; i < frames; i++)
        out[i] = convert(first + static_cast<int64_t>(i) * frameBytes);
}

static void kvTakeEightBits(const uint8_t *first, int32_t frameBytes, int32_t coding,
                            int32_t frames, float *out) {
    static const std::array<float, 256> mulaw = kvMulawTable(), alaw = kvAlawTable();
    if (coding == KV_WAVE_MULAW || coding == KV_WAVE_ALAW) {
        const float *table = coding == KV_WAVE_MULAW ? mulaw.data() : alaw.data();
        kvTakeChannel(first, frameBytes, frames, out,
                      [table](const uint8_t *at) { return table[at[0]]; });
        return;
    }
    kvTakeChannel(first, frameBytes, frames, out,
                  [](const uint8_t *at) { return static_cast<float>(at[0] * 0.0078125 - 1.0); });
}

/* Converts one channel (its first sample at `first`) into `out`. */
static void kvConvertChannel(const uint8_t *first, int32_t frameBytes, int32_t bits, int32_t coding,
                             int32_t frames, float *out) {
    switch (bits) {
    case 8:
        kvTakeEightBits(first, frameBytes, coding, frames, out);
        break;
    case 16:
        kvTakeChannel(first, frameBytes, frames, out, [](const uint8_t *at) {
            return static_cast<float>(kvLe16(at) * (1.0 / 32768.0));
        });
        break;
    case 24:
        kvTakeChannel(first, frameBytes, frames, out, [](const uint8_t *at) {
            int32_t value = static_cast<int32_t>(static_cast<uint32_t>(at[0]) << 8 |
                                                 static_cast<uint32_t>(at[1]) << 16 |
                                                 static_cast<uint32_t>(at[2]) << 24) >>
                            8;
            return static_cast<float>(value * (1.0 / 8388608.0));
        });
        break;
    case 32:
        if (coding == KV_WAVE_FLOAT) {
            kvTakeChannel(first, frameBytes, frames, out, [](const uint8_t *at) {
                float value;
                std::memcpy(&value, at, 4);
                return value;
            });
        } else {
            kvTakeChannel(first, frameBytes, frames, out, [](const uint8_t *at) {
                return static_cast<float>((kvLe32(at) >> 8) * (1.0 / 8388608.0));
            });
        }
        break;
    default:
        kvTakeChannel(first, frameBytes, frames, out, [](const uint8_t *at) {
            double value;
            std::memcpy(&value, at, 8);
            return kvNarrowTowardZero(value);
        });
    }
}

/* 16 bits, the commonest depth, has a vector path; it returns how many
 * frames it did, the rest go through the plain loop. Stereo frames are read
 * as 32-bit lanes, left in the low half; s * 2^-15 is exact in single
 * precision, as it is in double. */
static int32_t kvSixteenBitsVector(const uint8_t *bytes, int32_t channels, int32_t frames,
                                   float *left, float *right) {
#if defined(__SSE2__)
    const __m128 scale = _mm_set1_ps(1.0f / 32768.0f);
    auto store = [&](float *to, __m128i values) {
        _mm_storeu_ps(to, _mm_mul_ps(_mm_cvtepi32_ps(values), scale));
    };
    int32_t i = 0;
    for (; i + 8 <= frames; i += 8) {
        const auto *at = reinterpret_cast<const __m128i *>(bytes + int64_t{i} * 2 * channels);
        __m128i first = _mm_loadu_si128(at);
        if (channels == 1) {
            store(left + i, _mm_srai_epi32(_mm_unpacklo_epi16(first, first), 16));
            store(left + i + 4, _mm_srai_epi32(_mm_unpackhi_epi16(first, first), 16));
            continue;
        }
        __m128i second = _mm_loadu_si128(at + 1);
        store(left + i, _mm_srai_epi32(_mm_slli_epi32(first, 16), 16));
        store(left + i + 4, _mm_srai_epi32(_mm_slli_epi32(second, 16), 16));
        store(right + i, _mm_srai_epi32(first, 16));
        store(right + i + 4, _mm_srai_epi32(second, 16));
    }
    return i;
#else
    (void)bytes, (void)channels, (void)frames, (void)left, (void)right;
    return 0;
#endif
}

void kvWaveToFloat(const uint8_t *bytes, int32_t bits, int32_t formatTag, int32_t channels,
                   int32_t frames, float *left, float *right) {
    int32_t size = bits / 8;
    if (bits == 16 && (channels == 1 || (channels == 2 && right))) {
        int32_t done = kvSixteenBitsVector(bytes, channels, frames, left, right);
        bytes += int64_t{done} * size * channels;
        left += done;
        right = right ? right + done : right;
        frames -= done;
    }
    kvConvertChannel(bytes, size * channels, bits, formatTag, frames, left);
    if (channels == 2 && right)
        kvConvertChannel(bytes + size, size * channels, bits, formatTag, frames, right);
}

/* ---- Mixing down ---- */

/* The speaker positions of a channel mask, in bit order, with their share of
 * the left and right mix before the two sides are scaled to sum to 1. Front
 * left and right count fully, centres half-power (-3 dB) into both sides,
 * surrounds half-power into their own side, the back centre -6 dB into both
 * (as a surround pair would reach the fronts), top speakers like the ones
 * below them; the low-frequency channel is left out. */
static const float kvSpeakerWeights[18][2] = {
    {1.0f, 0.0f},
    {0.0f, 1.0f},
    {0.7071068f, 0.7071068f},
    {0.0f, 0.0f},
    {0.7071068f, 0.0f},
    {0.0f, 0.7071068f},
    {1.0f, 0.0f},
    {0.0f, 1.0f},
    {0.5f, 0.5f},
    {0.7071068f, 0.0f},
    {0.0f, 0.7071068f},
    {0.5f, 0.5f},
    {1.0f, 0.0f},
    {0.7071068f, 0.7071068f},
    {0.0f, 1.0f},
    {0.7071068f, 0.0f},
    {0.5f, 0.5f},
    {0.0f, 0.7071068f},
};

/* The usual layouts of files that name no positions: 3.0, quadraphonic,
 * 5.0, 5.1, 6.1 and 7.1; beyond that the positions in bit order. */
static uint32_t kvDefaultMask(int32_t channels) {
    static const uint32_t masks[9] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x13F, 0x63F};
    if (channels < 9) return masks[channels];
    return channels >= 18 ? 0x3FFFF : (1u << channels) - 1;
}

/* The unscaled weights of file channel `index`: the index-th position named
 * in the mask, or a centre when the mask names fewer positions than there
 * are channels. */
static void kvRawWeights(uint32_t mask, int32_t index, float *weights) {
    int32_t seen = 0;
    for (int32_t bit = 0; bit < 18; bit++) {
        if (!(mask & (1u << bit))) continue;
        if (seen++ == index) {
            weights[0] = kvSpeakerWeights[bit][0];
            weights[1] = kvSpeakerWeights[bit][1];
            return;
        }
    }
    weights[0] = weights[1] = 0.7071068f;
}

/* The unscaled weights of file channel `index` of a layout. */
static void kvChannelWeights(const KvWaveLayout &layout, uint32_t mask, int32_t index,
                             float *weights) {
    if (!layout.order) {
        kvRawWeights(mask, index, weights);
        return;
    }
    weights[0] = kvSpeakerWeights[layout.order[index]][0];
    weights[1] = kvSpeakerWeights[layout.order[index]][1];
}

void kvMixDownWeights(const KvWaveLayout &layout, int32_t index, float *toLeft, float *toRight) {
    uint32_t mask = layout.mask != 0 ? layout.mask : kvDefaultMask(layout.channels);
    float sum[2] = {0.0f, 0.0f}, own[2] = {0.0f, 0.0f};
    for (int32_t c = 0; c < layout.channels; c++) {
        float weights[2];
        kvChannelWeights(layout, mask, c, weights);
        sum[0] += weights[0];
        sum[1] += weights[1];
        if (c == index) std::copy(weights, weights + 2, own);
    }
    *toLeft = sum[0] > 0.0f ? own[0] / sum[0] : 0.0f;
    *toRight = sum[1] > 0.0f ? own[1] / sum[1] : 0.0f;
}

/* Any thread: the open dialog's preview mixes down as well. */
static void kvMixDown(const uint8_t *bytes, const KvWaveLayout &layout, int32_t frames, float *left,
                      float *right) {
    float one[KV_BLOCK_FRAMES];
    int32_t size = layout.bits / 8, frameBytes = size * layout.channels;
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    for (int32_t c = 0; c < layout.channels; c++) {
        float toLeft, toRight;
        kvMixDownWeights(layout, c, &toLeft, &toRight);
        if (toLeft == 0.0f && toRight == 0.0f) continue;
        kvConvertChannel(bytes + c * size, frameBytes, layout.bits, layout.coding, frames, one);
        for (int32_t i = 0; i < frames; i++) {
            left[i] += toLeft * one[i];
            right[i] += toRight * one[i];
        }
    }
}

/* ---- Reading ---- */

static int64_t kvReadFully(int32_t file, uint8_t *bytes, int64_t wanted) {
    int64_t got = 0;
    while (got < wanted) {
        int64_t more = kvFileReadSome(file, bytes + got, wanted - got);
        if (more <= 0) break;
        got += more;
    }
    return got;
}

int32_t kvConvertWaveBytes(const uint8_t *bytes, int64_t count, const KvWaveLayout &layout,
                           float *left, float *right) {
    int32_t frameBytes = layout.bits / 8 * layout.channels;
    int32_t frames = static_cast<int32_t>(std::min<int64_t>(count / frameBytes, KV_BLOCK_FRAMES));
    if (layout.channels > 2)
        kvMixDown(bytes, layout, frames, left, right);
    else
        kvWaveToFloat(bytes, layout.bits, layout.coding, layout.channels, frames, left, right);
    return frames;
}

int32_t kvReadWaveFrames(int32_t file, const KvWaveLayout &layout, float *left, float *right,
                         int32_t frames) {
    int32_t frameBytes = layout.bits / 8 * layout.channels;
    int32_t perRead = static_cast<int32_t>(sizeof kvWaveScratch) / frameBytes;
    frames = std::min(frames, KV_BLOCK_FRAMES);
    int32_t done = 0;
    while (done < frames) {
        int32_t wanted = std::min(perRead, frames - done);
        int64_t got = kvReadFully(file, kvWaveScratch, int64_t{wanted} * frameBytes);
        int32_t count = kvConvertWaveBytes(kvWaveScratch, got, layout, left + done,
                                           right ? right + done : nullptr);
        done += count;
        if (count < wanted) break;
    }
    return done;
}

int32_t kvReadWaveBlock(int32_t doc, int32_t file, float *left, float *right, int32_t frames) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || frames <= 0) return 0;
    KvWaveLayout layout = {document->formatTag, document->bitsPerSample,
                           document->current->channels, 0};
    return kvReadWaveFrames(file, layout, left, right, frames);
}

/* Frames beyond what a document can hold are refused before anything is read. */
static int32_t kvRefuseTooLong(const KV_Document *document, int64_t total, int32_t rate) {
    int64_t limit = kvInsertableFrames(document->current);
    char text[512];
    std::snprintf(text, sizeof text,
                  "Can't open %s\n\nIt holds %lld frames; a Korvel document holds at most %lld "
                  "(%.1f hours at %d Hz). Split the file into shorter parts with another program "
                  "and open them one at a time.",
                  document->path, static_cast<long long>(total), static_cast<long long>(limit),
                  static_cast<double>(limit) / rate / 3600.0, rate);
    return kvError(0, "%s", text);
}

/* The notices of a load that succeeded but did not take the file as it is. */
static void kvTellAfterLoading(const KV_Document *document, const KvWaveHeader &header,
                               bool cutShort) {
    if (cutShort)
        kvError(0,
                "%s is shorter than its header says (it may have been cut short).\n\nWhat it "
                "holds has been opened.",
                document->path);
    if (header.channels > 2)
        kvError(0,
                "%s has %d channels; it has been mixed down to stereo.\n\nSave As chooses where "
                "the stereo sound goes, so the original file is not replaced unasked.",
                document->path, header.channels);
}

int32_t kvLoadWave(int32_t doc, int32_t file, const KvWaveHeader &header) {
    KV_Document *document = kvGetDocument(doc);
    KV_State *state = document->current;
    static float left[KV_BLOCK_FRAMES], right[KV_BLOCK_FRAMES];
    KvWaveLayout layout = kvWaveLayout(header);
    int64_t total = header.dataSize / (header.bitsPerSample / 8 * header.channels);
    if (total > kvInsertableFrames(state))
        return kvRefuseTooLong(document, total, state->sampleRate);
    kvFileSeek(file, header.dataOffset);
    kvEngine.params->cancellable = 1;
    kvProgress("Opening File", 0);
    int64_t done = 0;
    while (done < total) {
        int32_t wanted = static_cast<int32_t>(std::min<int64_t>(KV_BLOCK_FRAMES, total - done));
        int32_t got = kvReadWaveFrames(file, layout, left, right, wanted);
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
    kvTellAfterLoading(document, header, done < total);
    return 0;
}
