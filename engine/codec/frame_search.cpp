/*
 * frame_search.cpp - recognising an MPEG audio stream by its first frame header.
 *
 * The search trusts only the first sync-like pattern it meets: it either is
 * an acceptable header or the file is not taken for a compressed sound file.
 * That keeps arbitrary files from being decoded on the strength of a stray
 * pattern deep inside them. The tables are those of ISO 11172-3 and 13818-3;
 * the values those tables mark as forbidden (layer bits 00, bit-rate index
 * 15) have no entry and are not accepted.
 */
#include "engine/codec/codec.h"
#include "engine/platform/fileio.h"

#include <cctype>
#include <cmath>
#include <cstring>

enum : int32_t { KV_SEARCH_BYTES = 4096, KV_SEARCH_MINIMUM = 1024 };

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

/* The encoder extension after a Xing/Info tag starts with the encoder's
 * name; its bytes 21-23 hold the samples the encoder added before the sound
 * and after it, 12 bits each. Without a name there is no extension, and no
 * exact length to trust. */
static void kvReadEncoderExtension(const uint8_t *bytes, int64_t at, int64_t count,
                                   KvFrameInfo *info) {
    if (count - at < 24) return;
    const uint8_t *extension = bytes + at;
    for (int32_t i = 0; i < 4; i++)
        if (!std::isalnum(extension[i])) return;
    info->encoderDelay = extension[21] << 4 | extension[22] >> 4;
    info->encoderPadding = (extension[22] & 15) << 8 | extension[23];
}

/* The first frame of a stream from LAME holds no sound: a "Xing" (varying
 * rate) or "Info" (constant rate) tag after the side information, whose
 * flags say which of frame count, byte count, a 100-byte seek table and a
 * quality follow, then the encoder extension. The counts of a varying
 * stream give its average bit rate. */
static void kvReadInfoTag(uint32_t h, const uint8_t *bytes, int32_t count, KvFrameInfo *info) {
    bool mpeg1 = (h & (1u << 19)) != 0;
    int32_t sideInfo = mpeg1 ? (info->channels == 1 ? 17 : 32) : (info->channels == 1 ? 9 : 17);
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
