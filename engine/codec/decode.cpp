/*
 * decode.cpp - opening a compressed file: tags, frame search, and decoding
 * into the document's storage while the file is read.
 *
 * The codec works on a 1024-byte source buffer and a 16384-byte output
 * buffer; decoded frames wait in two staging rows only until a 4096-frame
 * block is complete, so memory never grows with the file. At least 1024
 * frames always stay staged: that is what lets the near-silent tail of a
 * stereo file be trimmed once the end is known. Near-silent frames at the
 * start are dropped too, so decoder start-up padding does not become sound.
 * A stream whose first frame records the encoder's delay and padding needs
 * neither rule: the codec removes exactly those samples, so the document is
 * as long as the sound that was encoded and starts on its first sample, and
 * a quiet start or end of the sound itself stays.
 */
#include "engine/codec/codec.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/history/history.h"
#include "engine/platform/fileio.h"

#include <cmath>
#include <cstring>

enum : int32_t {
    KV_DECODE_SOURCE = 1024,
    KV_DECODE_DEST = 16384,
    KV_STAGE_FRAMES = 32768,
    KV_STAGE_KEEP = 5120,
    KV_LEADING_LIMIT = 1024,
    KV_TRAILING_LIMIT = 1023,
};

static const float kvSilenceLevel = 0.005f;

/* Decoded frames on their way to the insertion pipeline. */
struct KvStage {
    float left[KV_STAGE_FRAMES];
    float right[KV_STAGE_FRAMES];
    int32_t count;
    int64_t decoded; /* frames the codec returned so far */
    int32_t dropped; /* leading near-silent frames dropped so far */
    bool started;    /* the first frame has been kept */
    bool exact;      /* the codec's output is the sound: no silence rules */
};
static KvStage stage;

/* Appends the conversion's output, applying the leading-silence rule. */
static void kvStageOutput(const int16_t *values, int32_t frames, int32_t channels) {
    stage.decoded += frames;
    int32_t first = 0;
    for (; !stage.started && first < frames; first++) {
        const int16_t *frame = values + first * channels;
        bool silent = std::fabs(frame[0] / 32768.0f) <= kvSilenceLevel &&
                      std::fabs(frame[channels - 1] / 32768.0f) <= kvSilenceLevel;
        if (!silent || stage.dropped == KV_LEADING_LIMIT) {
            stage.started = true;
            break;
        }
        stage.dropped++;
    }
    float *left = stage.left + stage.count;
    float *right = stage.right + stage.count;
    const int16_t *from = values + first * channels;
    int32_t kept = frames - first;
    if (channels == 2) {
        for (int32_t i = 0; i < kept; i++) {
            left[i] = from[2 * i] / 32768.0f;
            right[i] = from[2 * i + 1] / 32768.0f;
        }
    } else {
        for (int32_t i = 0; i < kept; i++)
            left[i] = from[i] / 32768.0f;
    }
    stage.count += kept;
}

/* Hands `frames` staged frames to the pipeline and moves the rest down. */
static void kvHandOver(int32_t doc, int32_t channels, int32_t frames) {
    kvQueueInsert(doc, 0, stage.left, frames);
    if (channels == 2) kvQueueInsert(doc, 1, stage.right, frames);
    stage.count -= frames;
    std::memmove(stage.left, stage.left + frames, stage.count * sizeof(float));
    if (channels == 2) std::memmove(stage.right, stage.right + frames, stage.count * sizeof(float));
}

/* The trailing-silence rule (two channels only), then everything staged. */
static void kvHandOverRest(int32_t doc, int32_t channels) {
    if (channels == 2 && !stage.exact) {
        int32_t trimmed = 0;
        while (stage.count > 0 && trimmed < KV_TRAILING_LIMIT &&
               std::fabs(stage.left[stage.count - 1]) < kvSilenceLevel &&
               std::fabs(stage.right[stage.count - 1]) < kvSilenceLevel) {
            stage.count--;
            trimmed++;
        }
    }
    while (stage.count > 0)
        kvHandOver(doc, channels, std::min<int32_t>(KV_BLOCK_FRAMES, stage.count));
}

/* Fills the source buffer up from the file; false once the file is exhausted. */
static bool kvFillSource(int32_t file, uint8_t *source, int32_t *filled, int64_t *bytesRead) {
    int32_t got = kvReadUpTo(file, source + *filled, KV_DECODE_SOURCE - *filled);
    *filled += got;
    *bytesRead += got;
    return *filled == KV_DECODE_SOURCE;
}

/* The conversion loop: decodes until the end, a failed conversion or a cancel. */
static void kvDecodeLoop(int32_t doc, int32_t file, KvCodecStream *stream, KvStreamHeader *header,
                         int32_t channels) {
    int64_t fileSize = std::max<int64_t>(1, kvFileSize(file));
    int64_t bytesRead = 0;
    int32_t filled = 0;
    bool more = kvFillSource(file, header->source, &filled, &bytesRead);
    header->sourceLength = filled;
    int32_t flags = KV_ACM_STREAMCONVERTF_BLOCKALIGN | KV_ACM_STREAMCONVERTF_START;
    bool ok = kvAcmStreamConvert(stream, header, flags);
    while (ok) {
        const auto *values = reinterpret_cast<const int16_t *>(header->dest);
        kvStageOutput(values, header->destUsed / (2 * channels), channels);
        while (stage.count > KV_STAGE_KEEP)
            kvHandOver(doc, channels, KV_BLOCK_FRAMES);
        filled = header->sourceLength - header->sourceUsed;
        std::memmove(header->source, header->source + header->sourceUsed, filled);
        if (more) more = kvFillSource(file, header->source, &filled, &bytesRead);
        header->sourceLength = filled;
        /* Source still held at the end goes in with the end flag, not dropped. */
        ok = kvAcmStreamConvert(
            stream, header, more ? KV_ACM_STREAMCONVERTF_BLOCKALIGN : KV_ACM_STREAMCONVERTF_END);
        if (!more && header->destUsed == 0) break;
        kvProgress(nullptr, static_cast<int32_t>(100 * bytesRead / fileSize));
        if (kvCancelRequested() || kvInsertFailed()) break;
    }
}

int32_t kvDecodeFile(int32_t doc, int32_t file, bool exact) {
    KV_Document *document = kvGetDocument(doc);
    int32_t channels = document->current->channels;
    int32_t rate = document->current->sampleRate;
    kvEngine.params->cancellable = 1;
    kvProgress("Decoding Data", 0);
    KvWaveFormat mp3 = kvMp3Format(channels, rate, document->bitRate);
    KvCodecStream *stream =
        kvAcmStreamOpen(nullptr, mp3, kvPcmFormat(channels, rate), KV_ACM_STREAMOPENF_NONREALTIME);
    if (!stream) {
        kvProgress(nullptr, -1);
        return kvError(24, "No CODECs Found to handle this type of file.");
    }
    static uint8_t source[KV_DECODE_SOURCE];
    static int16_t dest[KV_DECODE_DEST / 2];
    KvStreamHeader header{
        source, KV_DECODE_SOURCE, 0, reinterpret_cast<uint8_t *>(dest), KV_DECODE_DEST, 0, 0};
    if (!kvAcmStreamPrepareHeader(stream, &header)) {
        kvAcmStreamClose(stream);
        kvProgress(nullptr, -1);
        return kvError(0, "Can't prepare ACM stream header. You may have a corrupted CODEC "
                          "installed.");
    }
    stage.count = stage.dropped = 0;
    stage.decoded = 0;
    stage.started = stage.exact = exact;
    kvDecodeLoop(doc, file, stream, &header, channels);
    kvHandOverRest(doc, channels);
    kvAcmStreamUnprepareHeader(stream, &header);
    kvAcmStreamClose(stream);
    bool stopped = kvCancelRequested() || kvInsertFailed();
    kvProgress(nullptr, -1);
    if (stopped) {
        kvDiscardInsert();
        return -1;
    }
    return 0;
}

int32_t kvOpenCompressed(int32_t doc, int32_t file) {
    KV_Document *document = kvGetDocument(doc);
    document->formatTag = KV_WAVE_FORMAT_MPEGLAYER3;
    document->bitsPerSample = 16;
    document->codecDriver = nullptr;
    kvReadTags(document, file);
    KvFrameInfo info{};
    if (!kvFrameSearch(doc, file, &info)) return kvError(0, "Invalid or Unsupported File Type");
    document->level = 0;
    document->stateCount = 1;
    if (kvDecodeFile(doc, file, info.encoderDelay >= 0) != 0) return -1;
    /* Random bytes can pass the frame search; only decoded frames show
     * that the file was a sound (silent ones included). */
    if (stage.decoded == 0) {
        kvDiscardInsert();
        return kvError(0, "Invalid or Unsupported File Type");
    }
    return kvFinishLoading(doc);
}
