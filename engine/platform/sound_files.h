/*
 * sound_files.h - FLAC, Ogg Vorbis, Opus and AIFF files through libsndfile,
 * loaded by soname at run time like the MPEG codecs.
 *
 * The library reads and writes through our own file calls (its virtual I/O),
 * so a file is opened, written beside its target and put in place exactly as
 * every other file is. A machine without the library, or KORVEL_NO_CODECS=1,
 * has none of these formats: opening such a file says what to install.
 */
#ifndef KV_PLATFORM_SOUND_FILES_H
#define KV_PLATFORM_SOUND_FILES_H

#include <cstdint>
#include <string>

/* The kinds of file the library handles for us. */
enum KvSoundKind : int32_t {
    KV_SOUND_NONE = 0,
    KV_SOUND_FLAC,
    KV_SOUND_VORBIS,
    KV_SOUND_OPUS,
    KV_SOUND_AIFF,
};

/* The kind a file's first bytes announce ("fLaC", an Ogg page with a Vorbis
 * or Opus header, "FORM" ... "AIFF"/"AIFC"), whether or not the library is
 * installed. */
KvSoundKind kvSoundKindOf(const uint8_t *bytes, int32_t count);

/* True when the library is installed and not hidden. */
bool kvSoundFilesInstalled();
/* The library's own name and version, "" when it is not installed. */
const char *kvSoundFilesLongName();

struct KvSoundFile;

struct KvSoundInfo {
    int64_t frames;
    int32_t channels;
    int32_t rate;
    int32_t bits; /* 16 or 24 for FLAC and AIFF, 0 for the lossy kinds */
};

/* Opens the open file (read from its start) for decoding: null when the
 * library cannot read it, with its reason in *why. */
KvSoundFile *kvSoundOpenRead(int32_t handle, KvSoundInfo *info, std::string *why);
/* Reads up to `frames` interleaved float frames: the count, 0 at the end. */
int64_t kvSoundReadFrames(KvSoundFile *sound, float *interleaved, int64_t frames);

/* How a file is encoded: `bits` for FLAC and AIFF; `setting` is the FLAC
 * compression level (0-8), the Vorbis quality (0-10) or the Opus bit rate
 * in kbit/s. */
struct KvSoundEncoding {
    KvSoundKind kind;
    int32_t channels;
    int32_t rate;
    int32_t bits;
    int32_t setting;
};

/* True when the library can write this encoding (Opus only at 8, 12, 16,
 * 24 and 48 kHz, for one). */
bool kvSoundCanWrite(const KvSoundEncoding &encoding);
/* Opens the new, empty open file for encoding: null with the reason. */
KvSoundFile *kvSoundOpenWrite(int32_t handle, const KvSoundEncoding &encoding, std::string *why);
bool kvSoundWriteFrames(KvSoundFile *sound, const float *interleaved, int64_t frames);
/* The text fields carried over, numbered as the library numbers them. */
enum KvSoundText : int32_t {
    KV_TEXT_TITLE = 0x01,
    KV_TEXT_ARTIST = 0x04,
    KV_TEXT_COMMENT = 0x05,
    KV_TEXT_DATE = 0x06,
    KV_TEXT_ALBUM = 0x07,
    KV_TEXT_TRACK = 0x09,
    KV_TEXT_GENRE = 0x10,
};

/* Sets one text field before the first frames are written; ignored where
 * the kind has none. */
void kvSoundSetText(KvSoundFile *sound, int32_t field, const char *text);
/* Reads one text field, "" when absent. */
std::string kvSoundGetText(KvSoundFile *sound, int32_t field);
/* Finishes the file (writing what the encoder still holds): false when that
 * failed. The handle stays open. */
bool kvSoundClose(KvSoundFile *sound);

#endif
