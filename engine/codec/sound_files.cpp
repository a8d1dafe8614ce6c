/*
 * sound_files.cpp - opening and saving FLAC, Ogg Vorbis, Opus and AIFF files
 * through the installed libsndfile.
 *
 * Both directions go block by block through the same 4096-frame pieces as
 * WAVE files, with progress and Cancel, so no file is ever held whole; the
 * decoder runs a few chunks ahead on its own thread while the blocks are
 * written. Files of more than two channels are mixed down with the WAVE
 * reader's weights.
 */
#include "engine/platform/sound_files.h"
#include "engine/codec/codec.h"
#include "engine/codec/read_ahead.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/document.h"
#include "engine/document/wave.h"
#include "engine/history/history.h"
#include "engine/platform/fileio.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

struct KvSoundFormat {
    KvSoundKind kind;
    int32_t formatTag;
    const char *name;
    int32_t defaultSetting; /* FLAC level, Vorbis quality, Opus kbit/s */
};

/* Defaults are the usual middle choices, never the lowest quality. */
static const KvSoundFormat kvSoundFormats[] = {
    {KV_SOUND_FLAC, KV_FORMAT_FLAC, "FLAC", 5},
    {KV_SOUND_VORBIS, KV_FORMAT_VORBIS, "Ogg Vorbis", 6},
    {KV_SOUND_OPUS, KV_FORMAT_OPUS, "Opus", 128},
    {KV_SOUND_AIFF, KV_FORMAT_AIFF, "AIFF", 0},
};

static const KvSoundFormat *kvSoundFormatOfKind(KvSoundKind kind) {
    for (const KvSoundFormat &format : kvSoundFormats)
        if (format.kind == kind) return &format;
    return nullptr;
}

static const KvSoundFormat *kvSoundFormatOfTag(int32_t formatTag) {
    for (const KvSoundFormat &format : kvSoundFormats)
        if (format.formatTag == formatTag) return &format;
    return nullptr;
}

bool kvIsSoundFileFormat(int32_t formatTag) {
    return kvSoundFormatOfTag(formatTag) != nullptr;
}

const char *kvSoundFormatName(int32_t formatTag) {
    const KvSoundFormat *format = kvSoundFormatOfTag(formatTag);
    return format ? format->name : "";
}

int32_t kvSoundDefaultSetting(int32_t formatTag) {
    const KvSoundFormat *format = kvSoundFormatOfTag(formatTag);
    return format ? format->defaultSetting : 0;
}

KvSoundKind kvSoundKindOfFile(int32_t file) {
    uint8_t bytes[512] = {};
    kvFileSeek(file, 0);
    int32_t count = kvReadUpTo(file, bytes, sizeof bytes);
    kvFileSeek(file, 0);
    return kvSoundKindOf(bytes, count);
}

bool kvSoundEncodingOf(int32_t formatTag, int32_t channels, int32_t rate, int32_t bits,
                       int32_t setting, KvSoundEncoding *encoding) {
    const KvSoundFormat *format = kvSoundFormatOfTag(formatTag);
    if (!format) return false;
    *encoding = {format->kind, channels, rate, bits, setting};
    return true;
}

/* Ogg Vorbis and Opus lay out 3 to 8 channels in their own order (front
 * centre between left and right, the LFE last); as speaker positions. */
static const uint8_t kvOggOrders[6][8] = {
    {0, 2, 1},          {0, 1, 4, 5},           {0, 2, 1, 4, 5},
    {0, 2, 1, 4, 5, 3}, {0, 2, 1, 9, 10, 8, 3}, {0, 2, 1, 9, 10, 4, 5, 3},
};

KvWaveLayout kvSoundLayout(int32_t formatTag, int32_t channels) {
    KvWaveLayout layout = {KV_WAVE_FLOAT, 32, channels, 0};
    bool ogg = formatTag == KV_FORMAT_VORBIS || formatTag == KV_FORMAT_OPUS;
    if (ogg && channels >= 3 && channels <= 8) layout.order = kvOggOrders[channels - 3];
    return layout;
}

/* ---- Tags ---- */

static void kvTakeSoundTags(KV_Document *document, KvSoundFile *sound) {
    KvTagText text{kvSoundGetText(sound, KV_TEXT_TITLE),   kvSoundGetText(sound, KV_TEXT_ARTIST),
                   kvSoundGetText(sound, KV_TEXT_ALBUM),   kvSoundGetText(sound, KV_TEXT_DATE),
                   kvSoundGetText(sound, KV_TEXT_COMMENT), kvSoundGetText(sound, KV_TEXT_TRACK),
                   kvSoundGetText(sound, KV_TEXT_GENRE)};
    kvTagsFromText(document, text);
}

static void kvPutSoundTags(const KV_Document *document, KvSoundFile *sound) {
    KvTagText text = kvTagsAsText(document);
    kvSoundSetText(sound, KV_TEXT_TITLE, text.title.c_str());
    kvSoundSetText(sound, KV_TEXT_ARTIST, text.artist.c_str());
    kvSoundSetText(sound, KV_TEXT_ALBUM, text.album.c_str());
    kvSoundSetText(sound, KV_TEXT_DATE, text.year.c_str());
    kvSoundSetText(sound, KV_TEXT_COMMENT, text.comment.c_str());
    kvSoundSetText(sound, KV_TEXT_TRACK, text.track.c_str());
    kvSoundSetText(sound, KV_TEXT_GENRE, text.genre.c_str());
}

/* ---- Opening ---- */

static int32_t kvRefuseSoundFile(const KV_Document *document, const KvSoundInfo &info) {
    if (info.channels < 1 || info.channels > KV_WAVE_MAX_CHANNELS)
        return kvError(0, "Unsupported number of channels: %d", info.channels);
    if (info.rate < KV_LOWEST_RATE || info.rate > KV_HIGHEST_RATE)
        return kvError(0, "Unsupported sample rate: %d", info.rate);
    if (info.frames > kvInsertableFrames(document->current))
        return kvError(0,
                       "Can't open %s\n\nIt holds %lld frames, more than a Korvel document "
                       "holds. Split the file into shorter parts with another program.",
                       document->path, static_cast<long long>(info.frames));
    return 0;
}

/* Passes one decoded chunk through the insertion pipeline a block at a
 * time: false when cancelled or a data-file write failed. */
static bool kvInsertChunk(int32_t doc, const float *interleaved, int64_t frames,
                          const KvSoundInfo &info, const KvWaveLayout &layout, int64_t *done) {
    static float left[KV_BLOCK_FRAMES], right[KV_BLOCK_FRAMES];
    int32_t stereo = kvGetDocument(doc)->current->channels == 2;
    for (int64_t at = 0; at < frames; at += KV_BLOCK_FRAMES) {
        int64_t piece = std::min<int64_t>(KV_BLOCK_FRAMES, frames - at);
        int32_t converted =
            kvConvertWaveBytes(reinterpret_cast<const uint8_t *>(interleaved + at * info.channels),
                               piece * 4 * info.channels, layout, left, right);
        kvQueueInsert(doc, 0, left, converted);
        if (stereo) kvQueueInsert(doc, 1, right, converted);
        *done += converted;
        if (kvCancelRequested() || kvInsertFailed()) return false;
    }
    return true;
}

/* Decodes every frame into the insertion pipeline, the decoder running
 * ahead on its own thread: true unless cancelled or a data-file write
 * failed. */
static bool kvDecodeSound(int32_t doc, KvSoundFile *sound, const KvSoundInfo &info,
                          const KvWaveLayout &layout) {
    constexpr int64_t kChunkFrames = 16 * KV_BLOCK_FRAMES;
    KvReadAhead *ahead = kvStartReadAhead(
        [sound](float *interleaved, int64_t frames) {
            return kvSoundReadFrames(sound, interleaved, frames);
        },
        info.channels, kChunkFrames);
    int64_t done = 0;
    bool finished = true;
    const float *chunk = nullptr;
    while (int64_t frames = kvNextChunk(ahead, &chunk)) {
        if (!kvInsertChunk(doc, chunk, frames, info, layout, &done)) {
            finished = false;
            break;
        }
        if (info.frames > 0)
            kvProgress(nullptr,
                       static_cast<int32_t>(std::min<int64_t>(done * 100 / info.frames, 100)));
    }
    kvStopReadAhead(ahead);
    return finished;
}

int32_t kvOpenSoundFile(int32_t doc, int32_t file, KvSoundKind kind) {
    KV_Document *document = kvGetDocument(doc);
    const KvSoundFormat *format = kvSoundFormatOfKind(kind);
    if (!kvSoundFilesInstalled())
        return kvError(24,
                       "Can't open %s\n\nIt is a %s file, which Korvel opens through libsndfile, "
                       "and libsndfile is not installed. Install the libsndfile1 package and "
                       "try again.",
                       document->path, format->name);
    KvSoundInfo info{};
    std::string why;
    KvSoundFile *sound = kvSoundOpenRead(file, &info, &why);
    if (!sound)
        return kvError(0, "Can't open %s\n\nlibsndfile cannot read this %s file: %s",
                       document->path, format->name, why.c_str());
    if (kvRefuseSoundFile(document, info) != 0) {
        kvSoundClose(sound);
        return -1;
    }
    kvTakeSoundTags(document, sound);
    document->formatTag = format->formatTag;
    document->bitsPerSample = info.bits != 0 ? info.bits : 16;
    document->bitRate = format->defaultSetting;
    document->codecDriver = nullptr;
    document->level = 0;
    document->stateCount = 1;
    document->saveAsFirst = info.channels > 2;
    document->current->channels = std::min(info.channels, 2);
    document->current->sampleRate = info.rate;
    kvEngine.params->cancellable = 1;
    kvProgress("Opening File", 0);
    bool finished =
        kvDecodeSound(doc, sound, info, kvSoundLayout(format->formatTag, info.channels));
    kvSoundClose(sound);
    kvProgress(nullptr, -1);
    if (!finished) {
        kvDiscardInsert();
        return -1;
    }
    if (kvFinishLoading(doc) != 0) return -1;
    if (info.channels > 2)
        kvError(0,
                "%s has %d channels; it has been mixed down to stereo.\n\nSave As chooses where "
                "the stereo sound goes, so the original file is not replaced unasked.",
                document->path, info.channels);
    return 0;
}

/* ---- Saving ---- */

/* Streams the current state into the encoder: 0, 1 when cancelled, -1 when
 * a write failed. */
static int32_t kvStreamSound(int32_t doc, KvSoundFile *sound) {
    const KV_State *state = kvGetDocument(doc)->current;
    static float left[KV_BLOCK_FRAMES], right[KV_BLOCK_FRAMES];
    static float interleaved[2 * KV_BLOCK_FRAMES];
    int32_t channels = state->channels;
    int64_t readFailures = kvDataReadFailures();
    for (int32_t done = 0; done < state->length;) {
        int32_t count = std::min(KV_BLOCK_FRAMES, state->length - done);
        kvReadSamples(doc, 0, -1, left, done, count);
        if (channels == 2) kvReadSamples(doc, 1, -1, right, done, count);
        for (int32_t i = 0; i < count; i++) {
            interleaved[i * channels] = left[i];
            if (channels == 2) interleaved[2 * i + 1] = right[i];
        }
        if (!kvSoundWriteFrames(sound, interleaved, count)) return -1;
        kvProgress(nullptr, static_cast<int32_t>(static_cast<int64_t>(done) * 100 / state->length));
        done += count;
        if (kvCancelRequested()) return 1;
    }
    return kvDataReadFailures() == readFailures ? 0 : -1;
}

int32_t kvEncodeSoundFile(int32_t doc, int32_t file) {
    KV_Document *document = kvGetDocument(doc);
    const KV_State *state = document->current;
    KvSoundEncoding encoding{};
    kvSoundEncodingOf(document->formatTag, state->channels, state->sampleRate,
                      document->bitsPerSample, document->bitRate, &encoding);
    std::string why;
    KvSoundFile *sound = kvSoundOpenWrite(file, encoding, &why);
    if (!sound)
        return kvError(24,
                       "Can't save as %s: %s.\n\nInstall the libsndfile1 package, or choose a "
                       "different file type and try again.",
                       kvSoundFormatName(document->formatTag), why.c_str());
    kvPutSoundTags(document, sound);
    kvEngine.params->cancellable = 1;
    kvProgress("Saving File", 0);
    int32_t streamed = kvStreamSound(doc, sound);
    bool closed = kvSoundClose(sound);
    kvProgress(nullptr, -1);
    if (streamed > 0) return -1;
    if (streamed < 0 || !closed || !kvFileSync(file))
        return kvFileError(
            "Error writing to file. Make sure your disk is not full, and try again.");
    return 0;
}
