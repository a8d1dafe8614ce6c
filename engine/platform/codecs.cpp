/*
 * codecs.cpp - libmpg123 and libmp3lame behind driver, format and stream calls.
 *
 * The libraries are opened with dlopen by their versioned sonames and every
 * function is resolved into a pointer of its own declared type, so the build
 * needs only their headers and a machine without them still runs. A stream
 * keeps the codec's output that did not fit the destination buffer and hands
 * it out on the next conversion, and it takes source bytes only while it has
 * room to produce, so callers with small fixed buffers never lose data.
 * LAME clamps impossible settings silently; a stream is refused instead when
 * what LAME reports back differs from the format asked for.
 */
#include "engine/platform/codecs.h"

#include <dlfcn.h>
#include <lame/lame.h>
#include <mpg123.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#define KV_SYMBOL(name) decltype(&::name) name = nullptr

struct KvMpg123 {
    KV_SYMBOL(mpg123_init);
    KV_SYMBOL(mpg123_new);
    KV_SYMBOL(mpg123_delete);
    KV_SYMBOL(mpg123_param);
    KV_SYMBOL(mpg123_format_none);
    KV_SYMBOL(mpg123_format);
    KV_SYMBOL(mpg123_open_feed);
    KV_SYMBOL(mpg123_feed);
    KV_SYMBOL(mpg123_read);
    KV_SYMBOL(mpg123_close);
};

struct KvLame {
    KV_SYMBOL(lame_init);
    KV_SYMBOL(lame_close);
    KV_SYMBOL(lame_set_in_samplerate);
    KV_SYMBOL(lame_set_out_samplerate);
    KV_SYMBOL(lame_get_out_samplerate);
    KV_SYMBOL(lame_set_num_channels);
    KV_SYMBOL(lame_set_mode);
    KV_SYMBOL(lame_set_brate);
    KV_SYMBOL(lame_get_brate);
    KV_SYMBOL(lame_set_VBR);
    KV_SYMBOL(lame_set_VBR_mean_bitrate_kbps);
    KV_SYMBOL(lame_set_bWriteVbrTag);
    KV_SYMBOL(lame_set_write_id3tag_automatic);
    KV_SYMBOL(lame_set_errorf);
    KV_SYMBOL(lame_set_debugf);
    KV_SYMBOL(lame_set_msgf);
    KV_SYMBOL(lame_init_params);
    KV_SYMBOL(lame_encode_buffer);
    KV_SYMBOL(lame_encode_buffer_interleaved);
    KV_SYMBOL(lame_encode_flush);
    KV_SYMBOL(lame_get_lametag_frame);
    KV_SYMBOL(lame_get_encoder_delay);
    KV_SYMBOL(lame_get_encoder_padding);
    KV_SYMBOL(lame_get_frameNum);
    KV_SYMBOL(get_lame_version);
};

enum KvCodecKind { KV_CODEC_DECODER, KV_CODEC_ENCODER };

struct KvCodecDriver {
    KvCodecKind kind;
    const char *soname;
    std::once_flag loadOnce;
    bool loaded = false;
    std::string longName;
};

static KvCodecDriver decoderDriver{KV_CODEC_DECODER, "libmpg123.so.0", {}, false, {}};
static KvCodecDriver encoderDriver{KV_CODEC_ENCODER, "libmp3lame.so.0", {}, false, {}};
static KvMpg123 mpg;
static KvLame lame;

/* Resolves one symbol into its typed pointer; false when it is missing. */
template <typename Function> static bool kvResolve(void *library, const char *name, Function *at) {
    *at = reinterpret_cast<Function>(dlsym(library, name));
    return *at != nullptr;
}

#define KV_RESOLVE(table, name) ok = kvResolve(library, #name, &table.name) && ok

static bool kvLoadMpg123(void *library) {
    bool ok = true;
    KV_RESOLVE(mpg, mpg123_init);
    KV_RESOLVE(mpg, mpg123_new);
    KV_RESOLVE(mpg, mpg123_delete);
    KV_RESOLVE(mpg, mpg123_param);
    KV_RESOLVE(mpg, mpg123_format_none);
    KV_RESOLVE(mpg, mpg123_format);
    KV_RESOLVE(mpg, mpg123_open_feed);
    KV_RESOLVE(mpg, mpg123_feed);
    KV_RESOLVE(mpg, mpg123_read);
    KV_RESOLVE(mpg, mpg123_close);
    if (!ok || mpg.mpg123_init() != MPG123_OK) return false;
    /* Newer libraries report their release; older ones only their soname. */
    using Version = const char *(*)(unsigned *, unsigned *, unsigned *);
    auto version = reinterpret_cast<Version>(dlsym(library, "mpg123_distversion"));
    decoderDriver.longName = "mpg123 MPEG Audio Decoder ";
    decoderDriver.longName += version ? version(nullptr, nullptr, nullptr) : "(libmpg123.so.0)";
    return true;
}

static bool kvLoadLame(void *library) {
    bool ok = true;
    KV_RESOLVE(lame, lame_init);
    KV_RESOLVE(lame, lame_close);
    KV_RESOLVE(lame, lame_set_in_samplerate);
    KV_RESOLVE(lame, lame_set_out_samplerate);
    KV_RESOLVE(lame, lame_get_out_samplerate);
    KV_RESOLVE(lame, lame_set_num_channels);
    KV_RESOLVE(lame, lame_set_mode);
    KV_RESOLVE(lame, lame_set_brate);
    KV_RESOLVE(lame, lame_get_brate);
    KV_RESOLVE(lame, lame_set_VBR);
    KV_RESOLVE(lame, lame_set_VBR_mean_bitrate_kbps);
    KV_RESOLVE(lame, lame_set_bWriteVbrTag);
    KV_RESOLVE(lame, lame_set_write_id3tag_automatic);
    KV_RESOLVE(lame, lame_set_errorf);
    KV_RESOLVE(lame, lame_set_debugf);
    KV_RESOLVE(lame, lame_set_msgf);
    KV_RESOLVE(lame, lame_init_params);
    KV_RESOLVE(lame, lame_encode_buffer);
    KV_RESOLVE(lame, lame_encode_buffer_interleaved);
    KV_RESOLVE(lame, lame_encode_flush);
    KV_RESOLVE(lame, lame_get_lametag_frame);
    KV_RESOLVE(lame, lame_get_encoder_delay);
    KV_RESOLVE(lame, lame_get_encoder_padding);
    KV_RESOLVE(lame, lame_get_frameNum);
    KV_RESOLVE(lame, get_lame_version);
    if (!ok) return false;
    encoderDriver.longName = std::string("LAME MP3 Encoder ") + lame.get_lame_version();
    return true;
}

static void kvLoadDriver(KvCodecDriver *driver) {
    std::call_once(driver->loadOnce, [driver] {
        void *library = dlopen(driver->soname, RTLD_NOW | RTLD_LOCAL);
        if (!library) return;
        driver->loaded =
            driver->kind == KV_CODEC_DECODER ? kvLoadMpg123(library) : kvLoadLame(library);
        if (!driver->loaded) dlclose(library);
    });
}

static bool kvCodecsHidden() {
    const char *hidden = std::getenv("KORVEL_NO_CODECS");
    return hidden && std::strcmp(hidden, "1") == 0;
}

std::vector<KvCodecId> kvAcmDriverEnum(int32_t) {
    std::vector<KvCodecId> drivers;
    if (kvCodecsHidden()) return drivers;
    for (KvCodecDriver *driver : {&decoderDriver, &encoderDriver}) {
        kvLoadDriver(driver);
        if (driver->loaded) drivers.push_back(driver);
    }
    return drivers;
}

bool kvAcmDriverOpen(KvCodecId driver) {
    if (driver != &decoderDriver && driver != &encoderDriver) return false;
    if (kvCodecsHidden()) return false;
    kvLoadDriver(driver);
    return driver->loaded;
}

void kvAcmDriverClose(KvCodecId) {}

bool kvAcmDriverIsCodec(KvCodecId driver) {
    return driver == &decoderDriver || driver == &encoderDriver;
}

const char *kvAcmDriverLongName(KvCodecId driver) {
    return kvAcmDriverIsCodec(driver) ? driver->longName.c_str() : "";
}

/* ---- Formats ---- */

static const int32_t kvMpeg1Rates[] = {32000, 44100, 48000};
static const int32_t kvMpeg2Rates[] = {16000, 22050, 24000};
static const int32_t kvMpeg1BitRates[] = {32,  40,  48,  56,  64,  80,  96,
                                          112, 128, 160, 192, 224, 256, 320};
static const int32_t kvMpeg2BitRates[] = {8,  16, 24, 32,  40,  48,  56,
                                          64, 80, 96, 112, 128, 144, 160};
static const int32_t kvMpeg25Rates[] = {8000, 11025, 12000};
static const int32_t kvMpeg25BitRates[] = {8, 16, 24, 32, 40, 48, 56, 64};

KvWaveFormat kvMp3Format(int32_t channels, int32_t rate, int32_t bitRate) {
    KvWaveFormat format{};
    format.formatTag = KV_WAVE_FORMAT_MPEGLAYER3;
    format.channels = channels;
    format.samplesPerSec = rate;
    format.avgBytesPerSec = bitRate * 125;
    format.blockAlign = 1;
    format.bitsPerSample = 0;
    format.extraSize = 12;
    format.mpegId = 1;
    format.mpegFlags = 2;
    format.blockSize = rate >= 32000 ? 1152 : 576;
    format.framesPerBlock = 1;
    format.codecDelay = 0;
    return format;
}

KvWaveFormat kvPcmFormat(int32_t channels, int32_t rate) {
    KvWaveFormat format{};
    format.formatTag = KV_WAVE_FORMAT_PCM;
    format.channels = channels;
    format.samplesPerSec = rate;
    format.avgBytesPerSec = rate * channels * 2;
    format.blockAlign = channels * 2;
    format.bitsPerSample = 16;
    return format;
}

std::vector<int32_t> kvAcmFormatTags(KvCodecId driver) {
    if (driver == &encoderDriver) return {KV_WAVE_FORMAT_MPEGLAYER3};
    if (driver == &decoderDriver) return {KV_WAVE_FORMAT_PCM};
    return {};
}

/* The encoder's formats are those LAME writes and the frame search reads
 * back: MPEG-1, MPEG-2 and MPEG-2.5 rates with their bit rates. */
template <size_t Count>
static void kvAddMp3Formats(std::vector<KvWaveFormat> *formats, const int32_t *rates,
                            const int32_t (&bitRates)[Count]) {
    for (int32_t r = 0; r < 3; r++)
        for (int32_t channels = 1; channels <= 2; channels++)
            for (int32_t bitRate : bitRates)
                formats->push_back(kvMp3Format(channels, rates[r], bitRate));
}

std::vector<KvWaveFormat> kvAcmFormats(KvCodecId driver, int32_t formatTag) {
    std::vector<KvWaveFormat> formats;
    if (driver == &encoderDriver && formatTag == KV_WAVE_FORMAT_MPEGLAYER3) {
        kvAddMp3Formats(&formats, kvMpeg25Rates, kvMpeg25BitRates);
        kvAddMp3Formats(&formats, kvMpeg2Rates, kvMpeg2BitRates);
        kvAddMp3Formats(&formats, kvMpeg1Rates, kvMpeg1BitRates);
    } else if (driver == &decoderDriver && formatTag == KV_WAVE_FORMAT_PCM) {
        for (const int32_t *rates : {kvMpeg25Rates, kvMpeg2Rates, kvMpeg1Rates})
            for (int32_t r = 0; r < 3; r++)
                for (int32_t channels = 1; channels <= 2; channels++)
                    formats.push_back(kvPcmFormat(channels, rates[r]));
    }
    return formats;
}

/* ---- Streams ---- */

struct KvCodecStream {
    KvCodecDriver *driver;
    int32_t channels;
    int32_t blockFrames;
    mpg123_handle *decoder;
    lame_global_flags *encoder;
    std::vector<uint8_t> pending; /* produced, not yet handed out */
    size_t pendingStart;
    bool flushed;
};

static void kvQuietLame(const char *, va_list) {}

static bool kvSameShape(const KvWaveFormat &a, const KvWaveFormat &b) {
    return a.channels == b.channels && a.samplesPerSec == b.samplesPerSec &&
           (a.channels == 1 || a.channels == 2);
}

static bool kvOpenDecoder(KvCodecStream *stream, const KvWaveFormat &dest) {
    int error = 0;
    stream->decoder = mpg.mpg123_new(nullptr, &error);
    if (!stream->decoder) return false;
    /* Gapless: the delay and padding LAME's first frame records are removed,
     * so the output is the encoded sound, aligned to its first sample. */
    mpg.mpg123_param(stream->decoder, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    int layout = dest.channels == 1 ? MPG123_MONO : MPG123_STEREO;
    bool ok = mpg.mpg123_format_none(stream->decoder) == MPG123_OK &&
              mpg.mpg123_format(stream->decoder, dest.samplesPerSec, layout,
                                MPG123_ENC_SIGNED_16) == MPG123_OK &&
              mpg.mpg123_open_feed(stream->decoder) == MPG123_OK;
    if (!ok) mpg.mpg123_delete(stream->decoder);
    return ok;
}

static bool kvOpenEncoder(KvCodecStream *stream, const KvWaveFormat &dest) {
    lame_global_flags *encoder = lame.lame_init();
    if (!encoder) return false;
    int32_t bitRate = dest.avgBytesPerSec / 125;
    lame.lame_set_errorf(encoder, kvQuietLame);
    lame.lame_set_debugf(encoder, kvQuietLame);
    lame.lame_set_msgf(encoder, kvQuietLame);
    lame.lame_set_in_samplerate(encoder, dest.samplesPerSec);
    lame.lame_set_out_samplerate(encoder, dest.samplesPerSec);
    lame.lame_set_num_channels(encoder, dest.channels);
    lame.lame_set_mode(encoder, dest.channels == 1 ? MONO : JOINT_STEREO);
    /* A varying rate aims at the source's average: at the same average the
     * encoder spends its bits where the sound needs them, as the source did. */
    bool variable = dest.variable != 0;
    if (variable) {
        lame.lame_set_VBR(encoder, vbr_abr);
        lame.lame_set_VBR_mean_bitrate_kbps(encoder, bitRate);
    } else {
        lame.lame_set_VBR(encoder, vbr_off);
        lame.lame_set_brate(encoder, bitRate);
    }
    /* At a constant rate the caller writes the information frame itself:
     * LAME writes none when its frame does not fit the stream's bit rate. */
    lame.lame_set_bWriteVbrTag(encoder, variable ? 1 : 0);
    lame.lame_set_write_id3tag_automatic(encoder, 0);
    bool ok = lame.lame_init_params(encoder) >= 0 &&
              (variable || lame.lame_get_brate(encoder) == bitRate) &&
              lame.lame_get_out_samplerate(encoder) == dest.samplesPerSec;
    if (!ok) {
        lame.lame_close(encoder);
        return false;
    }
    stream->encoder = encoder;
    return true;
}

static bool kvIsPcm16(const KvWaveFormat &format) {
    return format.formatTag == KV_WAVE_FORMAT_PCM && format.bitsPerSample == 16;
}

static KvCodecStream *kvTryOpen(KvCodecDriver *driver, const KvWaveFormat &source,
                                const KvWaveFormat &dest) {
    if (!kvSameShape(source, dest)) return nullptr;
    bool decoding = source.formatTag == KV_WAVE_FORMAT_MPEGLAYER3 && kvIsPcm16(dest);
    bool encoding = kvIsPcm16(source) && dest.formatTag == KV_WAVE_FORMAT_MPEGLAYER3;
    if (driver->kind == KV_CODEC_DECODER ? !decoding : !encoding) return nullptr;
    auto *stream = new KvCodecStream{driver, dest.channels, 0, nullptr, nullptr, {}, 0, false};
    bool ok = driver->kind == KV_CODEC_DECODER ? kvOpenDecoder(stream, dest)
                                               : kvOpenEncoder(stream, dest);
    if (!ok) {
        delete stream;
        return nullptr;
    }
    stream->blockFrames = dest.samplesPerSec >= 32000 ? 1152 : 576;
    return stream;
}

KvCodecStream *kvAcmStreamOpen(KvCodecId driver, const KvWaveFormat &source,
                               const KvWaveFormat &dest, int32_t) {
    if (driver) return kvAcmDriverOpen(driver) ? kvTryOpen(driver, source, dest) : nullptr;
    for (KvCodecId candidate : kvAcmDriverEnum(KV_ACM_DRIVERENUMF_NOLOCAL))
        if (KvCodecStream *stream = kvTryOpen(candidate, source, dest)) return stream;
    return nullptr;
}

bool kvAcmStreamPrepareHeader(KvCodecStream *stream, KvStreamHeader *header) {
    if (!stream || !header || !header->source || !header->dest || header->sourceLength <= 0 ||
        header->destLength <= 0)
        return false;
    header->prepared = 1;
    return true;
}

void kvAcmStreamUnprepareHeader(KvCodecStream *, KvStreamHeader *header) {
    if (header) header->prepared = 0;
}

void kvAcmStreamClose(KvCodecStream *stream) {
    if (!stream) return;
    if (stream->decoder) {
        mpg.mpg123_close(stream->decoder);
        mpg.mpg123_delete(stream->decoder);
    }
    if (stream->encoder) lame.lame_close(stream->encoder);
    delete stream;
}

/* Decoding: output first; source is fed only when the decoder asks for more. */
static bool kvDecode(KvCodecStream *stream, KvStreamHeader *header) {
    int32_t room = header->destLength - header->destLength % (2 * stream->channels);
    int32_t produced = 0, used = 0;
    while (produced < room) {
        size_t done = 0;
        int result =
            mpg.mpg123_read(stream->decoder, header->dest + produced, room - produced, &done);
        produced += static_cast<int32_t>(done);
        if (result == MPG123_NEED_MORE) {
            if (used == header->sourceLength) break;
            if (mpg.mpg123_feed(stream->decoder, header->source + used,
                                header->sourceLength - used) != MPG123_OK)
                return false;
            used = header->sourceLength;
        } else if (result == MPG123_DONE) {
            break;
        } else if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            return false;
        }
    }
    header->sourceUsed = used;
    header->destUsed = produced;
    return true;
}

/* Makes room in the pending output for `more` bytes. */
static uint8_t *kvPendingRoom(KvCodecStream *stream, size_t more) {
    if (stream->pendingStart == stream->pending.size()) {
        stream->pending.clear();
        stream->pendingStart = 0;
    }
    size_t used = stream->pending.size();
    stream->pending.resize(used + more);
    return stream->pending.data() + used;
}

static bool kvEncodeFrames(KvCodecStream *stream, const int16_t *samples, int32_t frames) {
    size_t worst = static_cast<size_t>(frames) * 5 / 4 + 7200;
    uint8_t *out = kvPendingRoom(stream, worst);
    int made;
    if (stream->channels == 2)
        made = lame.lame_encode_buffer_interleaved(stream->encoder, const_cast<int16_t *>(samples),
                                                   frames, out, static_cast<int>(worst));
    else
        made = lame.lame_encode_buffer(stream->encoder, samples, samples, frames, out,
                                       static_cast<int>(worst));
    stream->pending.resize(stream->pending.size() - worst + std::max(made, 0));
    return made >= 0;
}

/* Encoding: whole blocks of source are taken (all of it at the end); the
 * output waits in `pending` until the destination has room for it. */
static bool kvEncode(KvCodecStream *stream, KvStreamHeader *header, int32_t flags) {
    int32_t frameBytes = 2 * stream->channels;
    int32_t frames = header->sourceLength / frameBytes;
    if (!(flags & KV_ACM_STREAMCONVERTF_END) || (flags & KV_ACM_STREAMCONVERTF_BLOCKALIGN))
        frames -= frames % stream->blockFrames;
    header->sourceUsed = 0;
    if (frames > 0) {
        if (!kvEncodeFrames(stream, reinterpret_cast<const int16_t *>(header->source), frames))
            return false;
        header->sourceUsed = frames * frameBytes;
    }
    if ((flags & KV_ACM_STREAMCONVERTF_END) && !stream->flushed &&
        header->sourceUsed == header->sourceLength) {
        uint8_t *out = kvPendingRoom(stream, 7200);
        int made = lame.lame_encode_flush(stream->encoder, out, 7200);
        stream->pending.resize(stream->pending.size() - 7200 + std::max(made, 0));
        stream->flushed = true;
    }
    size_t ready = stream->pending.size() - stream->pendingStart;
    size_t given = std::min(ready, static_cast<size_t>(header->destLength));
    if (given > 0) /* an empty vector may have no storage at all */
        std::memcpy(header->dest, stream->pending.data() + stream->pendingStart, given);
    stream->pendingStart += given;
    header->destUsed = static_cast<int32_t>(given);
    return true;
}

bool kvAcmStreamConvert(KvCodecStream *stream, KvStreamHeader *header, int32_t flags) {
    if (!stream || !header || !header->prepared || header->sourceLength < 0) return false;
    header->sourceUsed = header->destUsed = 0;
    return stream->decoder ? kvDecode(stream, header) : kvEncode(stream, header, flags);
}

int32_t kvAcmStreamInfoFrame(KvCodecStream *stream, uint8_t *buffer, int32_t size) {
    if (!stream || !stream->encoder || size <= 0) return 0;
    size_t needed = lame.lame_get_lametag_frame(stream->encoder, buffer, static_cast<size_t>(size));
    return needed > 0 && needed <= static_cast<size_t>(size) ? static_cast<int32_t>(needed) : 0;
}

bool kvAcmStreamEncoderCounts(KvCodecStream *stream, KvEncoderCounts *counts) {
    if (!stream || !stream->encoder) return false;
    counts->delay = lame.lame_get_encoder_delay(stream->encoder);
    counts->padding = lame.lame_get_encoder_padding(stream->encoder);
    counts->frames = lame.lame_get_frameNum(stream->encoder);
    std::snprintf(counts->name, sizeof counts->name, "LAME%s", lame.get_lame_version());
    return counts->delay >= 0 && counts->padding >= 0 && counts->frames >= 0;
}
