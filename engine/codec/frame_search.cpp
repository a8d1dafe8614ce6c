/*
 * frame_search.cpp - recognising an MPEG audio stream by its first frame header.
 *
 * The search trusts only the first sync-like pattern it meets: it either is
 * an acceptable header or the file is not taken for a compressed sound file.
 * That keeps arbitrary files from being decoded on the strength of a stray
 * pattern deep inside them. The tables are those of ISO 11172-3 and 13818-3;
 * the values those tables mark as forbidden (layer bits 00, bit-rate index
 * 15) have no entry and are not accepted.
 *
 * The same tables make the information frame a constant-rate save puts in
 * front of its stream. At the lowest bit rates a frame of the stream's own
 * rate is too small to hold it, so it may use a higher rate of the same
 * version; the stream's rate is then that of the frame after it.
 */
#include "engine/codec/codec.h"
#include "engine/platform/fileio.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cmath>
#include <cstring>

enum : int32_t { KV_SEARCH_BYTES = 4096, KV_SEARCH_MINIMUM = 1024 };

/* Byte offsets in the encoder extension of an information frame. */
enum : int32_t {
    KV_EXT_NAME_BYTES = 9, /* the encoder's short name comes first */
    KV_EXT_METHOD = 9,     /* revision (high nibble), bit-rate method (low) */
    KV_EXT_DELAY = 21,     /* 12 bits of delay, then 12 bits of padding */
    KV_EXT_STREAM_BYTES = 28,
    KV_EXT_MUSIC_CRC = 32,
    KV_EXT_OWN_CRC = 34,
    KV_EXT_BYTES = 36,
};

/* kbit/s by [table][index]: MPEG-1 layers I, II, III; MPEG-2 layer I; MPEG-2 layers II/III. */
static const int32_t kvBitRates[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};

static const int32_t kvSampleRates[9] = {44100, 48000, 32000, 22050, 24000,
                                         16000, 11025, 12000, 8000};

/* The version bits 20-19: 11 MPEG-1, 10 MPEG-2, 00 MPEG-2.5 (the low rates,
 * with MPEG-2's bit rates), 01 reserved. */
enum : int32_t { KV_MPEG_25 = 0, KV_MPEG_RESERVED = 1, KV_MPEG_2 = 2, KV_MPEG_1 = 3 };

/* Reads one candidate window; false when it is not an acceptable header. */
static bool kvDecodeHeader(uint32_t h, KvFrameInfo *info) {
    int32_t version = static_cast<int32_t>((h >> 19) & 3);
    if (version == KV_MPEG_RESERVED) return false;
    bool mpeg1 = version == KV_MPEG_1;
    int32_t layer = 4 - static_cast<int32_t>((h >> 17) & 3);
    int32_t bitRateIndex = static_cast<int32_t>((h >> 12) & 15);
    int32_t rateIndex = static_cast<int32_t>((h >> 10) & 3) + (mpeg1                  ? 0
                                                               : version == KV_MPEG_2 ? 3
                                                                                      : 6);
    info->channels = ((h >> 6) & 3) == 3 ? 1 : 2;
    if (layer > 3 || bitRateIndex < 1 || bitRateIndex > 14 || rateIndex > 8) return false;
    int32_t table = mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4);
    info->bitRate = kvBitRates[table][bitRateIndex];
    info->sampleRate = kvSampleRates[rateIndex];
    return true;
}

static uint32_t kvBe32(const uint8_t *bytes) {
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

/* The counts of a "VBRI" tag, which some encoders put 32 bytes after the
 * header instead of a Xing tag. */
static void kvReadVbriTag(const uint8_t *bytes, int64_t at, int64_t count, uint32_t *frames,
                          uint32_t *streamBytes) {
    if (count - at < 36 + 18 || std::memcmp(bytes + at + 36, "VBRI", 4) != 0) return;
    *streamBytes = kvBe32(bytes + at + 36 + 10);
    *frames = kvBe32(bytes + at + 36 + 14);
}

/* Layer-3 bytes of a frame without its padding byte. */
static int32_t kvLayer3FrameBytes(bool mpeg1, int32_t bitRate, int32_t sampleRate) {
    return (mpeg1 ? 144000 : 72000) * bitRate / sampleRate;
}

static int32_t kvSideInfoBytes(bool mpeg1, int32_t channels) {
    return mpeg1 ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17);
}

/* A constant-rate stream whose information frame is larger than its own
 * frames: the bit rate is that of the next frame, when it is one of the
 * same version and sample rate. */
static void kvTakeNextFrameRate(uint32_t h, const uint8_t *bytes, int32_t count,
                                KvFrameInfo *info) {
    bool mpeg1 = (h & (1u << 19)) != 0;
    int64_t next = int64_t{info->offset} +
                   kvLayer3FrameBytes(mpeg1, info->bitRate, info->sampleRate) + ((h >> 9) & 1);
    if (((h >> 17) & 3) != 1 || count - next < 4) return;
    uint32_t n = kvBe32(bytes + next);
    KvFrameInfo following = *info;
    const uint32_t syncVersionLayerRate = 0xFFFE0C00u;
    bool same =
        (n & syncVersionLayerRate) == (h & syncVersionLayerRate) && kvDecodeHeader(n, &following);
    if (same) info->bitRate = following.bitRate;
}

/* The encoder extension after a Xing/Info tag starts with the encoder's
 * name; its bytes 21-23 hold the samples the encoder added before the sound
 * and after it, 12 bits each. Without a name there is no extension, and no
 * exact length to trust. */
static void kvReadEncoderExtension(const uint8_t *bytes, int64_t at, int64_t count,
                                   KvFrameInfo *info) {
    if (count - at < KV_EXT_DELAY + 3) return;
    const uint8_t *extension = bytes + at;
    for (int32_t i = 0; i < 4; i++)
        if (!std::isalnum(extension[i])) return;
    const uint8_t *counts = extension + KV_EXT_DELAY;
    info->encoderDelay = counts[0] << 4 | counts[1] >> 4;
    info->encoderPadding = (counts[1] & 15) << 8 | counts[2];
}

/* The first frame of a stream from LAME holds no sound: a "Xing" (varying
 * rate) or "Info" (constant rate) tag after the side information, whose
 * flags say which of frame count, byte count, a 100-byte seek table and a
 * quality follow, then the encoder extension. The counts of a varying
 * stream give its average bit rate. */
static void kvReadInfoTag(uint32_t h, const uint8_t *bytes, int32_t count, KvFrameInfo *info) {
    bool mpeg1 = (h & (1u << 19)) != 0;
    int32_t sideInfo = kvSideInfoBytes(mpeg1, info->channels);
    int64_t tag = int64_t{info->offset} + 4 + sideInfo;
    uint32_t frames = 0, streamBytes = 0;
    bool tagged = count - tag >= 8 && (std::memcmp(bytes + tag, "Xing", 4) == 0 ||
                                       std::memcmp(bytes + tag, "Info", 4) == 0);
    if (tagged) {
        bool variable = bytes[tag] == 'X';
        uint32_t flags = kvBe32(bytes + tag + 4);
        int64_t field = tag + 8;
        const int32_t fieldBytes[4] = {4, 4, 100, 4};
        for (int32_t bit = 0; bit < 4; bit++) {
            if (!(flags & (1u << bit))) continue;
            bool readable = variable && bit < 2 && count - field >= 4;
            if (readable) (bit == 0 ? frames : streamBytes) = kvBe32(bytes + field);
            field += fieldBytes[bit];
        }
        kvReadEncoderExtension(bytes, field, count, info);
        if (!variable) kvTakeNextFrameRate(h, bytes, count, info);
    } else {
        kvReadVbriTag(bytes, info->offset, count, &frames, &streamBytes);
    }
    if (frames == 0 || streamBytes == 0) return;
    double seconds = double(frames) * (mpeg1 ? 1152 : 576) / info->sampleRate;
    auto average = static_cast<int32_t>(std::lround(streamBytes * 8.0 / seconds / 1000.0));
    if (average < 8 || average > 448) return;
    info->bitRate = average;
    info->variable = true;
}

bool kvFindFrameHeader(const uint8_t *bytes, int32_t count, KvFrameInfo *info) {
    if (count < KV_SEARCH_MINIMUM) return false;
    uint32_t h = 0;
    for (int32_t i = 0; i < count; i++) {
        h = h << 8 | bytes[i];
        if (i < 3 || (h & 0xFFE00000u) != 0xFFE00000u) continue;
        info->offset = i - 3;
        info->variable = false;
        info->encoderDelay = info->encoderPadding = -1;
        if (!kvDecodeHeader(h, info)) return false;
        kvReadInfoTag(h, bytes, count, info);
        return true;
    }
    return false;
}

int32_t kvReadUpTo(int32_t file, uint8_t *bytes, int32_t wanted) {
    int32_t got = 0;
    while (got < wanted) {
        int64_t more = kvFileReadSome(file, bytes + got, wanted - got);
        if (more <= 0) break;
        got += static_cast<int32_t>(more);
    }
    return got;
}

bool kvFrameSearch(int32_t doc, int32_t file, KvFrameInfo *found) {
    KV_Document *document = kvGetDocument(doc);
    static uint8_t bytes[KV_SEARCH_BYTES];
    int64_t start = kvFileTell(file);
    int32_t count = kvReadUpTo(file, bytes, KV_SEARCH_BYTES);
    KvFrameInfo &info = *found;
    if (!kvFindFrameHeader(bytes, count, &info)) return false;
    document->current->channels = info.channels;
    document->current->sampleRate = info.sampleRate;
    document->bitRate = info.bitRate;
    document->variableBitRate = info.variable ? 1 : 0;
    document->formatTag = KV_WAVE_FORMAT_MPEGLAYER3;
    document->bitsPerSample = 16;
    document->codecDriver = nullptr;
    return kvFileSeek(file, start + info.offset);
}

/* ---- The information frame of a constant-rate save ---- */

enum : int32_t {
    KV_INFO_TAG_BYTES = 16, /* "Info", flags, frame count, byte count */
    KV_INFO_FLAGS = 3,      /* the frame and byte counts are present */
    KV_INFO_CONSTANT = 1,   /* the extension's method: constant bit rate */
};

uint16_t kvInfoCrc(uint16_t crc, const uint8_t *bytes, int64_t count) {
    for (int64_t i = 0; i < count; i++) {
        crc ^= bytes[i];
        for (int32_t bit = 0; bit < 8; bit++)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

/* The header of the information frame: the smallest bit rate from the
 * stream's own up whose frame holds the tag; 0 when none does. */
static uint32_t kvInfoHeader(int32_t channels, int32_t rate, int32_t bitRate, int32_t *bytes) {
    int32_t rateIndex = 0;
    while (rateIndex < 9 && kvSampleRates[rateIndex] != rate)
        rateIndex++;
    if (rateIndex == 9) return 0;
    bool mpeg1 = rateIndex < 3;
    const int32_t versions[3] = {KV_MPEG_1, KV_MPEG_2, KV_MPEG_25};
    int32_t needed = 4 + kvSideInfoBytes(mpeg1, channels) + KV_INFO_TAG_BYTES + KV_EXT_BYTES;
    const int32_t *table = kvBitRates[mpeg1 ? 2 : 4];
    for (int32_t index = 1; index < 15; index++) {
        *bytes = kvLayer3FrameBytes(mpeg1, table[index], rate);
        if (table[index] < bitRate || *bytes < needed) continue;
        uint32_t mode = channels == 1 ? 3 : 1;
        return 0xFFE00000u | uint32_t(versions[rateIndex / 3]) << 19 | 1u << 17 | 1u << 16 |
               uint32_t(index) << 12 | uint32_t(rateIndex % 3) << 10 | mode << 6;
    }
    return 0;
}

int32_t kvInfoFrameBytes(int32_t channels, int32_t rate, int32_t bitRate) {
    int32_t bytes = 0;
    return kvInfoHeader(channels, rate, bitRate, &bytes) ? bytes : 0;
}

static void kvPutBe32(uint8_t *at, uint32_t value) {
    for (int32_t i = 0; i < 4; i++)
        at[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

static void kvPutBe16(uint8_t *at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}

void kvMakeInfoFrame(const KvInfoRecord &record, uint8_t *frame) {
    int32_t bytes = 0;
    uint32_t header = kvInfoHeader(record.channels, record.sampleRate, record.bitRate, &bytes);
    assert(header != 0 && record.counts.delay < 4096 && record.counts.padding < 4096);
    std::memset(frame, 0, bytes);
    kvPutBe32(frame, header);
    uint8_t *tag = frame + 4 + kvSideInfoBytes(record.sampleRate >= 32000, record.channels);
    std::memcpy(tag, "Info", 4);
    kvPutBe32(tag + 4, KV_INFO_FLAGS);
    kvPutBe32(tag + 8, static_cast<uint32_t>(record.counts.frames));
    kvPutBe32(tag + 12, record.streamBytes);
    uint8_t *extension = tag + KV_INFO_TAG_BYTES;
    std::memcpy(extension, record.counts.name,
                std::min<size_t>(KV_EXT_NAME_BYTES, std::strlen(record.counts.name)));
    extension[KV_EXT_METHOD] = KV_INFO_CONSTANT;
    auto delay = static_cast<uint32_t>(record.counts.delay);
    auto padding = static_cast<uint32_t>(record.counts.padding);
    uint8_t *counts = extension + KV_EXT_DELAY;
    counts[0] = static_cast<uint8_t>(delay >> 4);
    counts[1] = static_cast<uint8_t>((delay & 15) << 4 | (padding >> 8 & 15));
    counts[2] = static_cast<uint8_t>(padding);
    kvPutBe32(extension + KV_EXT_STREAM_BYTES, record.streamBytes);
    kvPutBe16(extension + KV_EXT_MUSIC_CRC, record.musicCrc);
    uint8_t *own = extension + KV_EXT_OWN_CRC;
    kvPutBe16(own, kvInfoCrc(0, frame, own - frame));
}
