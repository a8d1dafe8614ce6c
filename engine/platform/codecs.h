/*
 * codecs.h - the installed codecs: libmpg123 (decoding) and libmp3lame
 * (encoding), loaded by soname at run time and presented the way an audio
 * compression manager presents its drivers.
 *
 * The codec bridge is written against drivers, format tags, format details
 * and conversion streams fed with source and destination buffers of fixed
 * sizes; this layer is that shape and nothing more. Both libraries are
 * optional: a machine without them simply has no codecs, and setting
 * KORVEL_NO_CODECS=1 hides them so the paths without codecs can be exercised.
 */
#ifndef KV_PLATFORM_CODECS_H
#define KV_PLATFORM_CODECS_H

#include <cstdint>
#include <vector>

/* A format description: the PCM fields, plus the MPEG Layer-3 fields that
 * matter for format tag 85 (zero for PCM). */
struct KvWaveFormat {
    int32_t formatTag;
    int32_t channels;
    int32_t samplesPerSec;
    int32_t avgBytesPerSec;
    int32_t blockAlign;
    int32_t bitsPerSample;
    int32_t extraSize;
    int32_t mpegId;
    int32_t mpegFlags;
    int32_t blockSize;
    int32_t framesPerBlock;
    int32_t codecDelay;
    int32_t variable; /* 1: a bit rate that varies around avgBytesPerSec */
};

/* An installed codec; the identifier the engine stores as codecDriver. */
struct KvCodecDriver;
typedef KvCodecDriver *KvCodecId;

/* An open conversion stream. */
struct KvCodecStream;

/* Buffers of one conversion: the codec reports how much source it consumed
 * and how much output it produced. */
struct KvStreamHeader {
    uint8_t *source;
    int32_t sourceLength;
    int32_t sourceUsed;
    uint8_t *dest;
    int32_t destLength;
    int32_t destUsed;
    int32_t prepared;
};

enum : int32_t {
    KV_ACM_DRIVERENUMF_NOLOCAL = 0x40000000,
    KV_ACM_STREAMOPENF_NONREALTIME = 0x4,
    KV_ACM_STREAMCONVERTF_BLOCKALIGN = 0x4,
    KV_ACM_STREAMCONVERTF_START = 0x10,
    KV_ACM_STREAMCONVERTF_END = 0x20,
};

enum : int32_t { KV_WAVE_FORMAT_PCM = 1, KV_WAVE_FORMAT_MPEGLAYER3 = 85 };

/* The MPEG Layer-3 description of a stream (bit rate in kbit/s; one block of
 * 1152 samples at 32000 Hz and above, else 576), and its 16-bit PCM side. */
KvWaveFormat kvMp3Format(int32_t channels, int32_t rate, int32_t bitRate);
KvWaveFormat kvPcmFormat(int32_t channels, int32_t rate);

/* The installed codecs, in a fixed order (none with KORVEL_NO_CODECS=1). */
std::vector<KvCodecId> kvAcmDriverEnum(int32_t flags);

/* Driver details: whether it converts between formats, and its long name. */
bool kvAcmDriverIsCodec(KvCodecId driver);
const char *kvAcmDriverLongName(KvCodecId driver);

/* The format tags a codec produces, and its standard formats of one tag. */
std::vector<int32_t> kvAcmFormatTags(KvCodecId driver);
std::vector<KvWaveFormat> kvAcmFormats(KvCodecId driver, int32_t formatTag);

/* True when the identifier names a codec that is installed and not hidden. */
bool kvAcmDriverOpen(KvCodecId driver);
void kvAcmDriverClose(KvCodecId driver);

/* Opens a stream from `source` to `dest` on `driver`, or on the first codec
 * that can do it when driver is null: the stream, or null. */
KvCodecStream *kvAcmStreamOpen(KvCodecId driver, const KvWaveFormat &source,
                               const KvWaveFormat &dest, int32_t flags);
bool kvAcmStreamPrepareHeader(KvCodecStream *stream, KvStreamHeader *header);
/* Converts header->sourceLength bytes (some may stay unconsumed) into at most
 * header->destLength bytes: true, or false when the codec failed. */
bool kvAcmStreamConvert(KvCodecStream *stream, KvStreamHeader *header, int32_t flags);
void kvAcmStreamUnprepareHeader(KvCodecStream *stream, KvStreamHeader *header);
void kvAcmStreamClose(KvCodecStream *stream);

/* For an encoding stream after its last conversion: the information frame
 * that belongs over the first frame written (gapless length), its size in
 * bytes, or 0 when there is none or it does not fit. */
int32_t kvAcmStreamInfoFrame(KvCodecStream *stream, uint8_t *buffer, int32_t size);

/* What an encoder reports after its last conversion: the samples it put
 * before and after the sound, the frames it wrote, and its short name. */
struct KvEncoderCounts {
    int32_t delay;
    int32_t padding;
    int32_t frames;
    char name[10];
};
/* False for a decoding stream or when the encoder reports nothing usable. */
bool kvAcmStreamEncoderCounts(KvCodecStream *stream, KvEncoderCounts *counts);

#endif
