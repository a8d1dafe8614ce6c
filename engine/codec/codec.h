/*
 * codec.h - the codec bridge for MPEG Layer-3 files and the ID3 tags around
 * them, as opening, saving and the file dialogs use them.
 *
 * The engine finds the first frame header itself, with its own tables, so a
 * file is recognised the same way whatever codec is installed; the codec
 * only converts between the compressed stream and 16-bit PCM. Tags are kept
 * as the raw bytes that were read and written back unchanged.
 */
#ifndef KV_CODEC_CODEC_H
#define KV_CODEC_CODEC_H

#include "engine/document/document.h"
#include "engine/document/wave.h"
#include "engine/platform/codecs.h"
#include "engine/platform/sound_files.h"

#include <cstdint>
#include <string>

/* What an accepted frame header says; offset is the header's first byte in
 * the bytes searched. */
struct KvFrameInfo {
    int32_t channels;
    int32_t sampleRate;
    int32_t bitRate; /* kbit/s; the average when variable */
    int32_t offset;
    bool variable; /* the first frame's tag says the bit rate varies */
    /* Samples the encoder put before and after the sound, from the encoder
     * extension of the first frame's tag; -1 when there is none. */
    int32_t encoderDelay;
    int32_t encoderPadding;
};

/* What the information frame of a constant-rate stream records: the
 * stream's shape, the encoder's counts, the bytes from that frame's first
 * to the stream's last, and the check sum of the frames after it. */
struct KvInfoRecord {
    int32_t channels;
    int32_t sampleRate;
    int32_t bitRate;
    KvEncoderCounts counts;
    uint32_t streamBytes;
    uint16_t musicCrc;
};

/* The bytes of that frame for a stream of this shape; 0 when none fits. */
int32_t kvInfoFrameBytes(int32_t channels, int32_t rate, int32_t bitRate);
/* Fills `frame`, kvInfoFrameBytes long, with the record. */
void kvMakeInfoFrame(const KvInfoRecord &record, uint8_t *frame);
/* The check sum the frame uses (CRC-16, reflected polynomial 0xA001),
 * continued over more bytes; start with 0. */
uint16_t kvInfoCrc(uint16_t crc, const uint8_t *bytes, int64_t count);

/* Reads up to `wanted` bytes from the file's position, as far as the file
 * goes: the count read (fewer only at the end or on an error). */
int32_t kvReadUpTo(int32_t file, uint8_t *bytes, int32_t wanted);

/* The frame search over bytes already read: true when the first sync-like
 * window is an acceptable header. Fewer than 1024 bytes never are. A
 * variable-bit-rate tag in that frame gives the stream's average bit rate. */
bool kvFindFrameHeader(const uint8_t *bytes, int32_t count, KvFrameInfo *info);

/* Reads up to 4096 bytes from the file's position and searches them. On
 * success `info` is filled, the document has the stream's channels, rate and
 * bit rate, format 85, 16 bits and no codec, and the file stands at the header. */
bool kvFrameSearch(int32_t doc, int32_t file, KvFrameInfo *info);

/* Decodes the rest of the file into the insertion pipeline: 0, or -1 after
 * an error or a cancel (the pending samples are then discarded). `exact`:
 * the codec's output is the sound, sample for sample (the stream records
 * its encoder's delay and padding); otherwise near-silent frames at the
 * ends are trimmed. */
int32_t kvDecodeFile(int32_t doc, int32_t file, bool exact);

/* kvOpen's path for every file that is not a plain WAVE file: tags, frame
 * search, decoding and the first state. 0, or -1 after the message. */
int32_t kvOpenCompressed(int32_t doc, int32_t file);

/* The first installed codec offering a Layer-3 format of these channels and
 * rate, or null. */
KvCodecId kvFindCodec(int32_t channels, int32_t rate);

/* Writes the document as MPEG Layer-3 with its tags into the new, empty
 * open file (at a variable bit rate when the document has one): 0, or -1 after the message or a
 * cancel (the caller closes and deletes the file). */
int32_t kvEncodeFile(int32_t doc, int32_t file);

/* ---- FLAC, Ogg Vorbis, Opus and AIFF through libsndfile ---- */

/* True for the format tags of those files (KV_FORMAT_FLAC and the rest). */
bool kvIsSoundFileFormat(int32_t formatTag);
/* "FLAC", "Ogg Vorbis", "Opus" or "AIFF"; "" for other tags. */
const char *kvSoundFormatName(int32_t formatTag);
/* The encoder setting a document of that format starts with. */
int32_t kvSoundDefaultSetting(int32_t formatTag);
/* The kind the open file's first bytes announce; the file is left at 0. */
KvSoundKind kvSoundKindOfFile(int32_t file);
/* The encoding of a document format: false for a tag of another kind. */
bool kvSoundEncodingOf(int32_t formatTag, int32_t channels, int32_t rate, int32_t bits,
                       int32_t setting, KvSoundEncoding *encoding);
/* How a decoded file of that format lays out its channels (floats). */
KvWaveLayout kvSoundLayout(int32_t formatTag, int32_t channels);
/* kvOpen's path for those files: 0, or -1 after the message (or a cancel). */
int32_t kvOpenSoundFile(int32_t doc, int32_t file, KvSoundKind kind);
/* Writes the document in its format into the new, empty open file: 0, or -1
 * after the message or a cancel (the caller deletes the file). */
int32_t kvEncodeSoundFile(int32_t doc, int32_t file);

/* ---- Tags ---- */

/* Fills the four tag fields from the file and leaves it just after the
 * ID3v2 tag, or at 0 when there is none (or none that can be trusted). */
void kvReadTags(KV_Document *document, int32_t file);

/* Write the kept tags (nothing when there is none): false when a write failed. */
bool kvWriteID3v2(const KV_Document *document, int32_t file);
bool kvWriteID3v1(const KV_Document *document, int32_t file);

/* The fields carried between ID3 tags and the comments of FLAC, Ogg Vorbis
 * and Opus files (as far as ID3v1 holds them). */
struct KvTagText {
    std::string title, artist, album, year, comment, track, genre;
};
/* Replaces the document's tags by an ID3v1 tag of these fields (none when
 * all are empty). */
void kvTagsFromText(KV_Document *document, const KvTagText &text);
/* The fields of the document's ID3v1 tag (all empty when there is none). */
KvTagText kvTagsAsText(const KV_Document *document);

/* The name of an ID3v1 genre number ("Unknown" above 125). */
const char *kvGenreName(int32_t genre);

#endif
