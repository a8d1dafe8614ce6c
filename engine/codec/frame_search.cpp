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

#include <algorithm>
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

static uint32_t kvBe32(const uint8_t *at) {
    return static_cast<uint32_t>(at[0]) << 24 | static_cast<uint32_t>(at[1]) << 16 |
           static_cast<uint32_t>(at[2]) << 8 | at[3];
}

/* A "Xing" header after the first frame's side information marks a VBR
 * stream ("Info" is the same header of a CBR one); its frame and byte
 * counts give the average bit rate. */
static void kvReadXing(const uint8_t *frame, int32_t count, uint32_t h, KvFrameInfo *info) {
    info->averageBitRate = 0;
    int32_t version = static_cast<int32_t>((h >> 19) & 3);
    bool mono = ((h >> 6) & 3) == 3;
    int32_t side = version == KV_MPEG_1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const uint8_t *tag = frame + 4 + side;
    if (4 + side + 16 > count || std::memcmp(tag, "Xing", 4) != 0) return;
    info->averageBitRate = info->bitRate;
    uint32_t flags = kvBe32(tag + 4), frames = kvBe32(tag + 8), bytes = kvBe32(tag + 12);
    if ((flags & 3) != 3 || frames == 0) return;
    double seconds =
        static_cast<double>(frames) * (version == KV_MPEG_1 ? 1152 : 576) / info->sampleRate;
    info->averageBitRate = std::max(1, static_cast<int32_t>(bytes * 8.0 / seconds / 1000 + 0.5));
}

int32_t kvComparableBitRate(int32_t sampleRate, int32_t average) {
    bool mpeg1 = sampleRate >= 32000;
    const int32_t *table = kvBitRates[mpeg1 ? 2 : 4];
    /* LAME writes MPEG-2.5 rates up to 64 kbit/s only. */
    int32_t highest = sampleRate <= 12000 ? 64 : table[14];
    for (int32_t i = 1; i < 15 && table[i] <= highest; i++)
        if (table[i] >= average) return table[i];
    return highest;
}

bool kvFindFrameHeader(const uint8_t *bytes, int32_t count, KvFrameInfo *info) {
    if (count < KV_SEARCH_MINIMUM) return false;
    uint32_t h = 0;
    for (int32_t i = 0; i < count; i++) {
        h = h << 8 | bytes[i];
        if (i < 3 || (h & 0xFFE00000u) != 0xFFE00000u) continue;
        info->offset = i - 3;
        if (!kvDecodeHeader(h, info)) return false;
        kvReadXing(bytes + info->offset, count - info->offset, h, info);
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

bool kvFrameSearch(int32_t doc, int32_t file) {
    KV_Document *document = kvGetDocument(doc);
    static uint8_t bytes[KV_SEARCH_BYTES];
    int64_t start = kvFileTell(file);
    int32_t count = kvReadUpTo(file, bytes, KV_SEARCH_BYTES);
    KvFrameInfo info{};
    bool found = kvFindFrameHeader(bytes, count, &info);
    if (!found) return false;
    document->current->channels = info.channels;
    document->current->sampleRate = info.sampleRate;
    /* A VBR stream is saved at the CBR rate nearest above its average. */
    document->vbr = info.averageBitRate != 0;
    document->bitRate =
        document->vbr ? kvComparableBitRate(info.sampleRate, info.averageBitRate) : info.bitRate;
    document->formatTag = KV_WAVE_FORMAT_MPEGLAYER3;
    document->bitsPerSample = 16;
    document->codecDriver = nullptr;
    return kvFileSeek(file, start + info.offset);
}
