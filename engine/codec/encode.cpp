/*
 * encode.cpp - saving a document as MPEG Layer-3 through an installed codec.
 *
 * The document is streamed out 4096 frames at a time through a 32768-byte
 * source and an 8192-byte destination buffer; the codec takes whole blocks
 * and the remainder waits at the front of the source for the next block. At
 * the end that remainder goes in with the end flag, so the last fraction of
 * a block is encoded rather than cut off. The kept ID3v2 tag goes first, the
 * ID3v1 block last. The information frame, which lets decoders return
 * exactly the samples written, replaces the codec's first frame at a
 * varying rate; at a constant rate it is made here, in room kept in front
 * of the stream, because the codec makes none when its frame at the
 * stream's bit rate is too small to hold it.
 */
#include "engine/codec/codec.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/wave.h"
#include "engine/platform/fileio.h"

#include <cstring>

enum : int32_t { KV_ENCODE_SOURCE = 32768, KV_ENCODE_DEST = 8192, KV_INFO_FRAME = 8192 };

KvCodecId kvFindCodec(int32_t channels, int32_t rate) {
    for (KvCodecId driver : kvAcmDriverEnum(KV_ACM_DRIVERENUMF_NOLOCAL)) {
        if (!kvAcmDriverIsCodec(driver)) continue;
        for (int32_t tag : kvAcmFormatTags(driver)) {
            if (tag != KV_WAVE_FORMAT_MPEGLAYER3) continue;
            for (const KvWaveFormat &format : kvAcmFormats(driver, tag))
                if (format.channels == channels && format.samplesPerSec == rate) return driver;
        }
    }
    return nullptr;
}

/* Everything an encode holds open; the file is the caller's. */
struct KvEncoder {
    KvCodecId driver = nullptr;
    KvCodecStream *stream = nullptr;
    KvStreamHeader header{};
    int32_t file = -1;
    int32_t ownInfoBytes = 0; /* room kept for our information frame */
    uint16_t musicCrc = 0;    /* over the stream after that frame */
};

static void kvCloseEncoder(KvEncoder *encoder) {
    if (encoder->stream) {
        kvAcmStreamUnprepareHeader(encoder->stream, &encoder->header);
        kvAcmStreamClose(encoder->stream);
    }
    if (encoder->driver) kvAcmDriverClose(encoder->driver);
    kvProgress(nullptr, -1);
}

/* Ends a failed encode: closes everything, shows the message, returns -1. */
static int32_t kvEncodeFailed(KvEncoder *encoder, int32_t helpContext, const char *message) {
    kvCloseEncoder(encoder);
    if (kvFileLimitHit()) return kvFileError(message);
    return kvError(helpContext, "%s", message);
}

/* Converts what the source holds and writes the output; keeps what the codec
 * did not take at the front of the source. False when a write failed. */
static bool kvConvertAndWrite(KvEncoder *encoder, int32_t flags, bool *ok) {
    KvStreamHeader &header = encoder->header;
    *ok = kvAcmStreamConvert(encoder->stream, &header, flags);
    if (!*ok) return true;
    int32_t left = header.sourceLength - header.sourceUsed;
    std::memmove(header.source, header.source + header.sourceUsed, left);
    header.sourceLength = left;
    encoder->musicCrc = kvInfoCrc(encoder->musicCrc, header.dest, header.destUsed);
    return header.destUsed == 0 || kvFileWrite(encoder->file, header.dest, header.destUsed);
}

/* Streams the document through the codec: 0, 1 when cancelled, -1 when a
 * write failed, -2 when the codec failed. */
static int32_t kvEncodeBlocks(int32_t doc, KvEncoder *encoder) {
    KV_State *state = kvGetDocument(doc)->current;
    static float left[KV_BLOCK_FRAMES], right[KV_BLOCK_FRAMES];
    KvStreamHeader &header = encoder->header;
    int32_t frameBytes = 2 * state->channels;
    header.sourceLength = 0;
    bool ok = true;
    for (int32_t start = 0; start < state->length; start += KV_BLOCK_FRAMES) {
        int32_t count = std::min(KV_BLOCK_FRAMES, state->length - start);
        kvReadSamples(doc, 0, -1, left, start, count);
        if (state->channels == 2) kvReadSamples(doc, 1, -1, right, start, count);
        kvFloatToWave(left, right, 16, 1, state->channels, count,
                      header.source + header.sourceLength);
        header.sourceLength += count * frameBytes;
        int32_t flags = start == 0 ? KV_ACM_STREAMCONVERTF_START : KV_ACM_STREAMCONVERTF_BLOCKALIGN;
        if (!kvConvertAndWrite(encoder, flags, &ok)) return -1;
        if (!ok) return -2;
        kvProgress(nullptr, static_cast<int32_t>(100LL * start / state->length));
        if (kvCancelRequested()) return 1;
    }
    do {
        if (!kvConvertAndWrite(encoder, KV_ACM_STREAMCONVERTF_END, &ok)) return -1;
        if (!ok) return -2;
    } while (header.destUsed > 0);
    return 0;
}

/* Keeps room for our information frame in front of a constant-rate stream. */
static bool kvKeepInfoRoom(const KV_Document *document, KvEncoder *encoder) {
    if (document->variableBitRate) return true;
    const KV_State *state = document->current;
    encoder->ownInfoBytes = kvInfoFrameBytes(state->channels, state->sampleRate, document->bitRate);
    static const uint8_t zeros[KV_INFO_FRAME] = {};
    return encoder->ownInfoBytes > 0 && encoder->ownInfoBytes <= KV_INFO_FRAME &&
           kvFileWrite(encoder->file, zeros, encoder->ownInfoBytes);
}

/* Fills the room kept with our information frame. */
static bool kvWriteOwnInfoFrame(const KV_Document *document, KvEncoder *encoder,
                                int64_t audioStart) {
    KvInfoRecord record{};
    record.channels = document->current->channels;
    record.sampleRate = document->current->sampleRate;
    record.bitRate = document->bitRate;
    record.streamBytes = static_cast<uint32_t>(kvFileTell(encoder->file) - audioStart);
    record.musicCrc = encoder->musicCrc;
    if (!kvAcmStreamEncoderCounts(encoder->stream, &record.counts)) return false;
    static uint8_t frame[KV_INFO_FRAME];
    kvMakeInfoFrame(record, frame);
    return kvFileWriteAt(encoder->file, frame, encoder->ownInfoBytes, audioStart);
}

/* Puts the information frame over the first frame written, or in the room kept. */
static bool kvWriteInfoFrame(const KV_Document *document, KvEncoder *encoder, int64_t audioStart) {
    if (encoder->ownInfoBytes > 0) return kvWriteOwnInfoFrame(document, encoder, audioStart);
    static uint8_t frame[KV_INFO_FRAME];
    int32_t size = kvAcmStreamInfoFrame(encoder->stream, frame, KV_INFO_FRAME);
    return size == 0 || kvFileWriteAt(encoder->file, frame, size, audioStart);
}

/* Opens the codec and its stream. 0, or -1 after the message. */
static int32_t kvStartEncoder(KV_Document *document, KvEncoder *encoder) {
    static int16_t source[KV_ENCODE_SOURCE / 2];
    static uint8_t dest[KV_ENCODE_DEST];
    KV_State *state = document->current;
    encoder->driver = static_cast<KvCodecId>(document->codecDriver);
    if (!kvAcmDriverOpen(encoder->driver)) {
        encoder->driver = nullptr;
        return kvEncodeFailed(encoder, 0,
                              "Can't open ACM Driver. It is possible that you have a corrupted "
                              "CODEC installed.");
    }
    KvWaveFormat mp3 = kvMp3Format(state->channels, state->sampleRate, document->bitRate);
    mp3.variable = document->variableBitRate;
    encoder->stream =
        kvAcmStreamOpen(encoder->driver, kvPcmFormat(state->channels, state->sampleRate), mp3,
                        KV_ACM_STREAMOPENF_NONREALTIME);
    if (!encoder->stream)
        return kvEncodeFailed(encoder, 0,
                              "Can't open ACM conversion stream. It is possible that you have a "
                              "corrupted CODEC installed.");
    encoder->header = {
        reinterpret_cast<uint8_t *>(source), KV_ENCODE_SOURCE, 0, dest, KV_ENCODE_DEST, 0, 0};
    if (!kvAcmStreamPrepareHeader(encoder->stream, &encoder->header))
        return kvEncodeFailed(encoder, 0,
                              "Can't prepare ACM stream header. It is possible that you have a "
                              "corrupted CODEC installed.");
    return 0;
}

int32_t kvEncodeFile(int32_t doc, int32_t file) {
    KV_Document *document = kvGetDocument(doc);
    if (!document) return -1;
    kvEngine.params->cancellable = 1;
    kvProgress("Encoding Data and Saving", 0);
    if (!document->codecDriver) {
        document->codecDriver =
            kvFindCodec(document->current->channels, document->current->sampleRate);
        if (!document->codecDriver) {
            kvProgress(nullptr, -1);
            return kvError(24, "Can't find a suitable CODEC to save this file.\n\nPlease choose a "
                               "different file type and try again.");
        }
    }
    KvEncoder encoder;
    encoder.file = file;
    if (kvStartEncoder(document, &encoder) != 0) return -1;
    bool written = kvWriteID3v2(document, encoder.file);
    int64_t audioStart = kvFileTell(encoder.file);
    written = written && kvKeepInfoRoom(document, &encoder);
    int32_t encoded = written ? kvEncodeBlocks(doc, &encoder) : -1;
    if (encoded == 1) {
        kvCloseEncoder(&encoder);
        return -1;
    }
    if (encoded == -2)
        return kvEncodeFailed(&encoder, 0,
                              "Can't open ACM conversion stream. It is possible that you have a "
                              "corrupted CODEC installed.");
    written = encoded == 0 && kvWriteInfoFrame(document, &encoder, audioStart) &&
              kvWriteID3v1(document, encoder.file) && kvFileSync(encoder.file);
    if (!written)
        return kvEncodeFailed(&encoder, 0,
                              "Error writing to file. Make sure your disk is not full, and try "
                              "again.");
    kvCloseEncoder(&encoder);
    return 0;
}
