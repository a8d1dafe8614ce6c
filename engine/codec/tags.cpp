/*
 * tags.cpp - ID3v1 and ID3v2 tags, and the file description of kvGetInfo.
 *
 * The engine does not edit tags: it keeps the bytes it read and writes them
 * back unchanged around the encoded audio, so tag versions and frames it
 * does not understand survive a save. The ID3v2 size comes from the file
 * and is not trusted: a tag that claims more bytes than the file holds, or
 * more than may be allocated, is treated as no tag at all. The description
 * reads the common text frames of an ID3v2 tag (title, artist...) but never
 * changes the tag.
 */
#include "engine/codec/codec.h"
#include "engine/core/services.h"
#include "engine/platform/fileio.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

enum : int32_t { KV_ID3V1_SIZE = 128, KV_ID3V2_HEADER = 10, KV_TAG_ALLOCATION_LIMIT = 67108864 };

static const char *const kvGenres[126] = {"Blues",
                                          "Classic Rock",
                                          "Country",
                                          "Dance",
                                          "Disco",
                                          "Funk",
                                          "Grunge",
                                          "Hip-Hop",
                                          "Jazz",
                                          "Metal",
                                          "NewAge",
                                          "Oldies",
                                          "Other",
                                          "Pop",
                                          "R&B",
                                          "Rap",
                                          "Reggae",
                                          "Rock",
                                          "Techno",
                                          "Industrial",
                                          "Alternative",
                                          "Ska",
                                          "DeathMetal",
                                          "Pranks",
                                          "Soundtrack",
                                          "Euro-Techno",
                                          "Ambient",
                                          "Trip-Hop",
                                          "Vocal",
                                          "Jazz+Funk",
                                          "Fusion",
                                          "Trance",
                                          "Classical",
                                          "Instrumental",
                                          "Acid",
                                          "House",
                                          "Game",
                                          "SoundClip",
                                          "Gospel",
                                          "Noise",
                                          "AlternRock",
                                          "Bass",
                                          "Soul",
                                          "Punk",
                                          "Space",
                                          "Meditative",
                                          "Instrumental Pop",
                                          "Instrumental Rock",
                                          "Ethnic",
                                          "Gothic",
                                          "Darkwave",
                                          "Techno-Industrial",
                                          "Electronic",
                                          "Pop-Folk",
                                          "Eurodance",
                                          "Dream",
                                          "Southern Rock",
                                          "Comedy",
                                          "Cult",
                                          "Gangsta",
                                          "Top40",
                                          "Christian Rap",
                                          "Pop/Funk",
                                          "Jungle",
                                          "Native American",
                                          "Cabaret",
                                          "New Wave",
                                          "Psychadelic",
                                          "Rave",
                                          "Showtunes",
                                          "Trailer",
                                          "Lo-Fi",
                                          "Tribal",
                                          "Acid Punk",
                                          "Acid Jazz",
                                          "Polka",
                                          "Retro",
                                          "Musical",
                                          "Rock & Roll",
                                          "Hard Rock",
                                          "Folk",
                                          "Folk-Rock",
                                          "National Folk",
                                          "Swing",
                                          "Fast Fusion",
                                          "Bebob",
                                          "Latin",
                                          "Revival",
                                          "Celtic",
                                          "Bluegrass",
                                          "Avantgarde",
                                          "Gothic Rock",
                                          "Progressive Rock",
                                          "Psychedelic Rock",
                                          "Symphonic Rock",
                                          "Slow Rock",
                                          "Big Band",
                                          "Chorus",
                                          "Easy Listening",
                                          "Acoustic",
                                          "Humour",
                                          "Speech",
                                          "Chanson",
                                          "Opera",
                                          "Chamber Music",
                                          "Sonata",
                                          "Symphony",
                                          "Booty Bass",
                                          "Primus",
                                          "Porn Groove",
                                          "Satire",
                                          "SlowJam",
                                          "Club",
                                          "Tango",
                                          "Samba",
                                          "Folklore",
                                          "Ballad",
                                          "Power Ballad",
                                          "Rhythmic Soul",
                                          "Freestyle",
                                          "Duet",
                                          "Punk Rock",
                                          "Drum Solo",
                                          "Acapella",
                                          "Euro-House",
                                          "Dance Hall"};

const char *kvGenreName(int32_t genre) {
    return genre >= 0 && genre <= 125 ? kvGenres[genre] : "Unknown";
}

static void kvForgetID3v2(KV_Document *document) {
    kvFree(document->id3v2Copy);
    document->id3v2Copy = nullptr;
    document->id3v2Size = 0;
    std::memset(document->id3v2Marker, 0, sizeof document->id3v2Marker);
}

static void kvReadID3v1(KV_Document *document, int32_t file) {
    uint8_t *block = document->id3v1Block;
    int64_t size = kvFileSize(file);
    bool read =
        size >= KV_ID3V1_SIZE && kvFileReadAt(file, block, KV_ID3V1_SIZE, size - KV_ID3V1_SIZE);
    if (!read || std::memcmp(block, "TAG", 3) != 0) std::memset(block, 0, KV_ID3V1_SIZE);
}

/* The whole tag size an ID3v2 header gives (7 bits per size byte), header included. */
static int64_t kvID3v2Size(const uint8_t header[KV_ID3V2_HEADER]) {
    const uint8_t *b = header + 6;
    return (static_cast<int64_t>(b[0]) << 21) + (b[1] << 14) + (b[2] << 7) + b[3] + KV_ID3V2_HEADER;
}

void kvReadTags(KV_Document *document, int32_t file) {
    kvReadID3v1(document, file);
    kvForgetID3v2(document);
    uint8_t header[KV_ID3V2_HEADER];
    kvFileSeek(file, 0);
    if (!kvFileRead(file, header, KV_ID3V2_HEADER) || std::memcmp(header, "ID3", 3) != 0) {
        kvFileSeek(file, 0);
        return;
    }
    int64_t size = kvID3v2Size(header);
    if (size > kvFileSize(file) || size > KV_TAG_ALLOCATION_LIMIT) {
        kvFileSeek(file, 0);
        return;
    }
    auto *copy = static_cast<uint8_t *>(kvAlloc(static_cast<int32_t>(size)));
    kvFileSeek(file, 0);
    if (!kvFileRead(file, copy, size)) {
        kvFree(copy);
        kvFileSeek(file, 0);
        return;
    }
    std::memcpy(document->id3v2Marker, "ID3", 3);
    document->id3v2Size = static_cast<int32_t>(size);
    document->id3v2Copy = copy;
}

bool kvWriteID3v2(const KV_Document *document, int32_t file) {
    if (document->id3v2Size == 0 || !document->id3v2Copy) return true;
    return kvFileWrite(file, document->id3v2Copy, document->id3v2Size);
}

bool kvWriteID3v1(const KV_Document *document, int32_t file) {
    if (std::memcmp(document->id3v1Block, "TAG", 3) != 0) return true;
    return kvFileWrite(file, document->id3v1Block, KV_ID3V1_SIZE);
}

extern "C" KV_API int32_t kvHasID3(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    return std::memcmp(document->id3v1Block, "TAG", 3) == 0 ||
           std::memcmp(document->id3v2Marker, "ID3", 3) == 0;
}

extern "C" KV_API int32_t kvClearTags(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    kvForgetID3v2(document);
    std::memset(document->id3v1Block, 0, KV_ID3V1_SIZE);
    document->savedLevel = -1;
    kvWriteDocRecord(doc);
    return 0;
}

/* A text field of the ID3v1 block: at most `width` bytes, up to a zero byte,
 * without trailing spaces. */
static std::string kvTagField(const uint8_t *block, int32_t offset, int32_t width) {
    std::string field;
    for (int32_t i = 0; i < width && block[offset + i] != 0; i++)
        field += static_cast<char>(block[offset + i]);
    while (!field.empty() && field.back() == ' ')
        field.pop_back();
    return field;
}

/* Bytes 125-126 as text; a zero at 125 with a number at 126 is the track
 * number of the ID3v1.1 layout, shown in decimal. */
static std::string kvTrackText(const uint8_t *block) {
    if (block[125] != 0) return kvTagField(block, 125, 2);
    return block[126] != 0 ? std::to_string(block[126]) : std::string();
}

static bool kvBlockInUse(const uint8_t *block) {
    for (int32_t i = 0; i < KV_ID3V1_SIZE; i++)
        if (block[i] != 0) return true;
    return false;
}

static std::string kvDescribeID3v1(const uint8_t *block) {
    if (!kvBlockInUse(block)) return "ID3v1 Tag: No\n";
    return "ID3v1 Tag: Yes\nID3 Information:\n\nArtist:\t" + kvTagField(block, 33, 30) +
           "\nAlbum:\t" + kvTagField(block, 63, 30) + "\nTitle:\t" + kvTagField(block, 3, 30) +
           "\nYear:\t" + kvTagField(block, 93, 4) + "\nTrack:\t" + kvTrackText(block) +
           "\nGenre:\t" + kvGenreName(block[127]) + "\nComment:\t" + kvTagField(block, 97, 30) +
           "\n\n";
}

static void kvPutTagField(uint8_t *block, int32_t offset, int32_t width, const std::string &text) {
    std::memcpy(block + offset, text.data(), std::min<size_t>(text.size(), width));
}

void kvTagsFromText(KV_Document *document, const KvTagText &text) {
    kvForgetID3v2(document);
    uint8_t *block = document->id3v1Block;
    std::memset(block, 0, KV_ID3V1_SIZE);
    if ((text.title + text.artist + text.album + text.year + text.comment + text.track + text.genre)
            .empty())
        return;
    std::memcpy(block, "TAG", 3);
    kvPutTagField(block, 3, 30, text.title);
    kvPutTagField(block, 33, 30, text.artist);
    kvPutTagField(block, 63, 30, text.album);
    kvPutTagField(block, 93, 4, text.year);
    kvPutTagField(block, 97, 28, text.comment);
    int32_t track = std::atoi(text.track.c_str());
    if (track > 0 && track < 256) block[126] = static_cast<uint8_t>(track);
    block[127] = 255;
    for (int32_t genre = 0; genre < 126; genre++)
        if (text.genre == kvGenreName(genre)) block[127] = static_cast<uint8_t>(genre);
}

KvTagText kvTagsAsText(const KV_Document *document) {
    const uint8_t *block = document->id3v1Block;
    if (!kvBlockInUse(block)) return {};
    KvTagText text{kvTagField(block, 3, 30),
                   kvTagField(block, 33, 30),
                   kvTagField(block, 63, 30),
                   kvTagField(block, 93, 4),
                   kvTagField(block, 97, 30),
                   block[125] == 0 ? kvTrackText(block) : "",
                   block[127] < 126 ? kvGenreName(block[127]) : ""};
    return text;
}

/* ---- ID3v2 text frames, for the description only ---- */

/* A frame's text in UTF-8 from its encoding byte: 0 Latin-1, 1 UTF-16 with
 * a byte-order mark, 2 UTF-16 big-endian, 3 UTF-8. Characters outside the
 * basic plane are dropped; the text ends at its first terminator. */
static std::string kvFrameText(const uint8_t *bytes, int32_t size) {
    if (size < 1) return {};
    int32_t encoding = bytes[0];
    std::string text;
    auto put = [&text](uint32_t c) {
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else if (c < 0x800) {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0xD800 || c > 0xDFFF) {
            text += static_cast<char>(0xE0 | (c >> 12));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    if (encoding == 1 || encoding == 2) {
        bool little = false;
        int32_t i = 1;
        if (encoding == 1 && size >= 3) {
            little = bytes[1] == 0xFF && bytes[2] == 0xFE;
            i = 3;
        }
        for (; i + 1 < size; i += 2) {
            uint32_t c = little ? bytes[i] | bytes[i + 1] << 8 : bytes[i] << 8 | bytes[i + 1];
            if (c == 0) break;
            put(c);
        }
        return text;
    }
    for (int32_t i = 1; i < size && bytes[i] != 0; i++) {
        if (encoding == 3)
            text += static_cast<char>(bytes[i]);
        else
            put(bytes[i]);
    }
    return text;
}

/* A comment frame: encoding, language (3 bytes), a description ending at a
 * terminator, then the comment itself. */
static std::string kvCommentText(const uint8_t *bytes, int32_t size) {
    if (size < 5) return {};
    bool wide = bytes[0] == 1 || bytes[0] == 2;
    int32_t i = 4;
    while (i + (wide ? 1 : 0) < size && (bytes[i] != 0 || (wide && bytes[i + 1] != 0)))
        i += wide ? 2 : 1;
    i += wide ? 2 : 1;
    std::vector<uint8_t> rest(1, bytes[0]);
    if (i < size) rest.insert(rest.end(), bytes + i, bytes + size);
    return kvFrameText(rest.data(), static_cast<int32_t>(rest.size()));
}

/* The fields the File Information window lists, in the ID3v1 order, with
 * their frame names in ID3v2.3/2.4 and in ID3v2.2. */
struct KvV2Field {
    const char *label, *frame, *oldFrame;
};
static const KvV2Field kvV2Fields[] = {
    {"Artist", "TPE1", "TP1"}, {"Album", "TALB", "TAL"},   {"Title", "TIT2", "TT2"},
    {"Year", "TYER", "TYE"},   {"Year", "TDRC", "TYE"},    {"Track", "TRCK", "TRK"},
    {"Genre", "TCON", "TCO"},  {"Comment", "COMM", "COM"},
};

/* "Label:\ttext" lines of the tag's known text frames. Frames that are
 * compressed, encrypted or cut short end the walk: the description only
 * shows what can be read plainly. */
static std::string kvDescribeID3v2Fields(const KV_Document *document) {
    const uint8_t *tag = document->id3v2Copy;
    int32_t size = document->id3v2Size;
    if (!tag || size <= KV_ID3V2_HEADER) return {};
    int32_t version = tag[3];
    bool old = version == 2;
    int32_t idLength = old ? 3 : 4, headerLength = old ? 6 : 10;
    int32_t at = KV_ID3V2_HEADER;
    if (!old && (tag[5] & 0x40) && size > at + 4) {
        int32_t extended = tag[at] << 24 | tag[at + 1] << 16 | tag[at + 2] << 8 | tag[at + 3];
        if (version == 4)
            extended = tag[at] << 21 | tag[at + 1] << 14 | tag[at + 2] << 7 | tag[at + 3];
        else
            extended += 4;
        at += extended;
    }
    std::string lines;
    while (at >= 0 && at + headerLength <= size && tag[at] != 0) {
        const uint8_t *h = tag + at;
        int32_t length = old            ? h[3] << 16 | h[4] << 8 | h[5]
                         : version == 4 ? h[4] << 21 | h[5] << 14 | h[6] << 7 | h[7]
                                        : h[4] << 24 | h[5] << 16 | h[6] << 8 | h[7];
        if (length < 0 || length > size - at - headerLength) break;
        if (!old && (h[9] & 0xCF) != 0) break;
        std::string id(reinterpret_cast<const char *>(h), static_cast<size_t>(idLength));
        const uint8_t *body = h + headerLength;
        for (const KvV2Field &field : kvV2Fields) {
            if (id != (old ? field.oldFrame : field.frame)) continue;
            bool comment = id == "COMM" || id == "COM";
            std::string text = comment ? kvCommentText(body, length) : kvFrameText(body, length);
            if (!text.empty()) lines += std::string(field.label) + ":\t" + text + "\n";
            break;
        }
        at += headerLength + length;
    }
    return lines;
}

/* "Duration: m:ss.hh", as the open dialog writes lengths. */
static std::string kvDurationLine(const KV_State *state) {
    int64_t hundredths =
        state->sampleRate > 0 ? int64_t{state->length} * 100 / state->sampleRate : 0;
    char text[64];
    std::snprintf(
        text, sizeof text, "Duration: %lld:%02d.%02d\n", static_cast<long long>(hundredths / 6000),
        static_cast<int32_t>(hundredths / 100 % 60), static_cast<int32_t>(hundredths % 100));
    return text;
}

static std::string kvDescribeDocument(const KV_Document *document) {
    const KV_State *state = document->current;
    bool compressed = document->formatTag == KV_WAVE_FORMAT_MPEGLAYER3;
    char text[1024];
    const char *kind = compressed ? "MP3"
                       : kvIsSoundFileFormat(document->formatTag)
                           ? kvSoundFormatName(document->formatTag)
                           : "PCM Wave";
    std::snprintf(text, sizeof text, "File Information for %s File: %s\n\n", kind, document->path);
    std::string description = text;
    if (!compressed) {
        std::snprintf(text, sizeof text, "Sample Rate: %d Hz\nBits per Sample: %d\nChannels: %d\n",
                      state->sampleRate, document->bitsPerSample, state->channels);
        description += text + kvDurationLine(state);
        if (!kvIsSoundFileFormat(document->formatTag)) return description;
        return description + "\n" + kvDescribeID3v1(document->id3v1Block);
    }
    std::snprintf(text, sizeof text, "Sample Rate: %d Hz\nBit Rate: %s%d kbps\nChannels: %d\n",
                  state->sampleRate, document->variableBitRate ? "VBR, average " : "",
                  document->bitRate, state->channels);
    description += text + kvDurationLine(state) + "\n";
    description += kvDescribeID3v1(document->id3v1Block);
    description += document->id3v2Size != 0 ? "ID3v2 Tag: Yes\n" : "ID3v2 Tag: No\n";
    return description + kvDescribeID3v2Fields(document);
}

extern "C" KV_API int32_t kvGetInfo(int32_t doc, char *text) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || !text) return -1;
    std::string description = kvDescribeDocument(document);
    std::memcpy(text, description.c_str(), description.size() + 1);
    return 0;
}
