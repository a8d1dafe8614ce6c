/*
 * preview.cpp - the open dialog's description of the file under the cursor
 * and the thread that previews it on the playback device.
 *
 * A WAVE file is described from its chunks found the way the reader finds
 * them, so a file the editor opens is never left blank; any other file is
 * described from its first frame header. The preview plays the file in
 * buffers of 16384 bytes of its own format, turned into the 16-bit stereo
 * the device is opened with, and writes them in short pieces so a stop is
 * heard promptly even at low rates. After the sound come a few buffers of
 * silence, then the device is drained so the end is not cut off.
 */
#include "engine/codec/preview.h"
#include "engine/codec/codec.h"
#include "engine/core/engine.h"
#include "engine/document/wave.h"
#include "engine/platform/audio_device.h"
#include "engine/platform/fileio.h"
#include "engine/platform/messages.h"
#include "engine/platform/threads.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

enum : int32_t {
    KV_DESCRIBE_BYTES = 65536,
    KV_PREVIEW_BUFFER = 16384,
    KV_PREVIEW_SOURCE = 1024,
    KV_PREVIEW_SILENCE = 4096,
    KV_PREVIEW_END_PASSES = 4,
    KV_PREVIEW_PIECE = 1024,
};

/* ---- Description ---- */

static std::string kvLengthText(int64_t hundredths) {
    char text[64];
    std::snprintf(
        text, sizeof text, "Length: %d:%02d.%02d", static_cast<int32_t>(hundredths / 6000),
        static_cast<int32_t>(hundredths / 100 % 60), static_cast<int32_t>(hundredths % 100));
    return text;
}

static const char *kvLayoutName(int32_t channels) {
    return channels == 1 ? "Mono" : "Stereo";
}

static const char *kvCodingName(int32_t coding) {
    switch (coding) {
    case KV_WAVE_FLOAT:
        return "Float";
    case KV_WAVE_ALAW:
        return "A-law";
    case KV_WAVE_MULAW:
        return "u-law";
    default:
        return "PCM";
    }
}

/* Every WAVE file the editor opens is described (and can be previewed), with
 * the channels it has, even when opening mixes them down. */
static void kvDescribeWave(const std::string &path, const KvWaveHeader &header,
                           KvCandidate *candidate) {
    if (!kvCheckWaveHeader(header, path.c_str()).empty()) return;
    candidate->format = header.subFormat == KV_WAVE_FLOAT ? KV_WAVE_FLOAT : KV_WAVE_PCM;
    candidate->layout = kvWaveLayout(header);
    candidate->channels = header.channels;
    candidate->sampleRate = header.sampleRate;
    candidate->bits = header.bitsPerSample;
    candidate->dataOffset = header.dataOffset;
    candidate->dataSize = header.dataSize;
    char layout[32];
    std::snprintf(layout, sizeof layout, "%d Channels", header.channels);
    char text[160];
    std::snprintf(text, sizeof text, "Selected File: %s, %d Bits, %s, %d Hz",
                  kvCodingName(header.subFormat), header.bitsPerSample,
                  header.channels > 2 ? layout : kvLayoutName(header.channels), header.sampleRate);
    candidate->formatText = text;
    candidate->lengthText = kvLengthText(header.dataSize / (header.sampleRate / 100) /
                                         (header.bitsPerSample / 8) / header.channels);
}

static void kvDescribeCompressed(int32_t file, KvCandidate *candidate) {
    static uint8_t bytes[KV_DESCRIBE_BYTES];
    kvFileSeek(file, 0);
    int32_t count = kvReadUpTo(file, bytes, KV_DESCRIBE_BYTES);
    KvFrameInfo info{};
    if (!kvFindFrameHeader(bytes, count, &info)) return;
    candidate->format = KV_WAVE_FORMAT_MPEGLAYER3;
    candidate->channels = info.channels;
    candidate->sampleRate = info.sampleRate;
    candidate->bitRate = info.bitRate;
    char text[128];
    std::snprintf(text, sizeof text, "Selected File: MP3, %s%d kbps, %s, %d Hz",
                  info.variable ? "VBR, average " : "", info.bitRate, kvLayoutName(info.channels),
                  info.sampleRate);
    candidate->formatText = text;
    candidate->lengthText = kvLengthText(100 * kvFileSize(file) / (info.bitRate * 125));
}

/* FLAC, Ogg Vorbis, Opus and AIFF files, as the installed library reads them. */
static bool kvDescribeSoundFile(int32_t file, KvCandidate *candidate) {
    KvSoundKind kind = kvSoundKindOfFile(file);
    if (kind == KV_SOUND_NONE || !kvSoundFilesInstalled()) return false;
    KvSoundInfo info{};
    std::string why;
    KvSoundFile *sound = kvSoundOpenRead(file, &info, &why);
    if (!sound) return false;
    kvSoundClose(sound);
    if (info.channels < 1 || info.rate < KV_LOWEST_RATE || info.rate > KV_HIGHEST_RATE)
        return false;
    static const int32_t tags[] = {0, KV_FORMAT_FLAC, KV_FORMAT_VORBIS, KV_FORMAT_OPUS,
                                   KV_FORMAT_AIFF};
    candidate->format = tags[kind];
    candidate->channels = info.channels;
    candidate->sampleRate = info.rate;
    char layout[32], depth[32] = "";
    std::snprintf(layout, sizeof layout, "%d Channels", info.channels);
    if (info.bits) std::snprintf(depth, sizeof depth, "%d Bits, ", info.bits);
    char text[160];
    std::snprintf(text, sizeof text, "Selected File: %s, %s%s, %d Hz",
                  kvSoundFormatName(candidate->format), depth,
                  info.channels > 2 ? layout : kvLayoutName(info.channels), info.rate);
    candidate->formatText = text;
    candidate->lengthText = kvLengthText(std::max<int64_t>(info.frames, 0) * 100 / info.rate);
    return true;
}

KvCandidate kvDescribeCandidate(const std::string &path) {
    KvCandidate candidate;
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return candidate;
    int32_t file = kvFileOpen(path, KV_FILE_READ);
    if (file < 0) return candidate;
    KvWaveHeader header;
    kvReadWaveHeader(file, &header);
    if (kvIsForeignFile(header) && !kvDescribeSoundFile(file, &candidate))
        kvDescribeCompressed(file, &candidate);
    else
        kvDescribeWave(path, header, &candidate);
    kvFileClose(file);
    return candidate;
}

/* ---- The preview thread ---- */

struct KvPreviewJob {
    std::shared_ptr<KvPreviewFlags> flags;
    std::string path;
    KvCandidate candidate;
    KvWindow owner;
    std::function<void(const KvPreviewFlags *)> ended;
    int32_t file = -1;
    KvCodecStream *stream = nullptr;
    KvStreamHeader header{};
    bool exhausted = false;
    int64_t remaining = 0; /* WAVE data bytes not yet read */
    int32_t endPasses = 0;
    uint8_t source[KV_PREVIEW_SOURCE];
    uint8_t buffer[KV_PREVIEW_BUFFER];
    int16_t out[2 * KV_PREVIEW_BUFFER];
    float left[KV_BLOCK_FRAMES];
    float right[KV_BLOCK_FRAMES];
    KvSoundFile *sound = nullptr;
    std::vector<float> interleaved; /* one read of a libsndfile kind */
};

static bool kvStopAsked(const KvPreviewJob *job) {
    return job->flags->stopCount.load() != 0;
}

/* A warning box titled "Error" over the dialog, unless the dialog is
 * already stopping the preview (and may be closing). */
static void kvPreviewMessage(const KvPreviewJob *job, const char *text) {
    if (kvStopAsked(job)) return;
    kvShowMessageBox(job->owner, "Error", text, KV_BOX_OK, KV_ICON_WARNING, KV_ID_OK);
}

/* 8- or 16-bit frames of 1 or 2 channels as 16-bit stereo: the frame count. */
static int32_t kvToStereo(const uint8_t *bytes, int32_t count, int32_t bits, int32_t channels,
                          int16_t *out) {
    int32_t frames = count / (bits / 8 * channels);
    for (int32_t i = 0; i < frames * channels; i++) {
        int16_t value;
        if (bits == 8)
            value = static_cast<int16_t>((bytes[i] - 128) * 256);
        else
            std::memcpy(&value, bytes + 2 * i, 2);
        if (channels == 2) {
            out[i] = value;
        } else {
            out[2 * i] = value;
            out[2 * i + 1] = value;
        }
    }
    return frames;
}

static bool kvStartDecoding(KvPreviewJob *job) {
    const KvCandidate &c = job->candidate;
    job->stream =
        kvAcmStreamOpen(nullptr, kvMp3Format(c.channels, c.sampleRate, c.bitRate),
                        kvPcmFormat(c.channels, c.sampleRate), KV_ACM_STREAMOPENF_NONREALTIME);
    if (!job->stream) {
        kvPreviewMessage(job, "No suitable MP3 CODECs were found.\n\nYou will be unable to "
                              "preview or open this file.");
        return false;
    }
    job->header = {job->source, KV_PREVIEW_SOURCE, 0, job->buffer, KV_PREVIEW_BUFFER, 0, 0};
    if (!kvAcmStreamPrepareHeader(job->stream, &job->header)) {
        kvPreviewMessage(job, "Can't prepare ACM stream header");
        return false;
    }
    job->header.sourceLength = kvReadUpTo(job->file, job->source, KV_PREVIEW_SOURCE);
    job->exhausted = job->header.sourceLength < KV_PREVIEW_SOURCE;
    int32_t flags = KV_ACM_STREAMCONVERTF_START | KV_ACM_STREAMCONVERTF_BLOCKALIGN;
    if (!kvAcmStreamConvert(job->stream, &job->header, flags)) job->header.destUsed = 0;
    return true;
}

/* The last conversion's output (or silence once nothing is left), then the
 * next conversion: frames of job->out to play. */
static int32_t kvNextCompressedBuffer(KvPreviewJob *job) {
    KvStreamHeader &header = job->header;
    int32_t channels = job->candidate.channels;
    int32_t frames;
    if (header.destUsed == 0 && job->exhausted) {
        frames = KV_PREVIEW_SILENCE / (2 * channels);
        std::memset(job->out, 0, sizeof(int16_t) * 2 * frames);
        job->endPasses++;
        return frames;
    }
    frames = kvToStereo(header.dest, header.destUsed, 16, channels, job->out);
    int32_t left = header.sourceLength - header.sourceUsed;
    std::memmove(header.source, header.source + header.sourceUsed, left);
    int32_t got = kvReadUpTo(job->file, header.source + left, KV_PREVIEW_SOURCE - left);
    if (left + got < KV_PREVIEW_SOURCE) job->exhausted = true;
    header.sourceLength = left + got;
    int32_t flags = job->exhausted ? KV_ACM_STREAMCONVERTF_END : KV_ACM_STREAMCONVERTF_BLOCKALIGN;
    if (!kvAcmStreamConvert(job->stream, &header, flags)) {
        header.destUsed = 0;
        job->exhausted = true;
    }
    return frames;
}

/* The next 16384 bytes of the data chunk, padded with silence at its end. */
static int32_t kvNextWaveBuffer(KvPreviewJob *job) {
    const KvCandidate &c = job->candidate;
    int32_t wanted = static_cast<int32_t>(std::min<int64_t>(KV_PREVIEW_BUFFER, job->remaining));
    int32_t got = kvReadUpTo(job->file, job->buffer, wanted);
    job->remaining = got < wanted ? 0 : job->remaining - got;
    if (got < KV_PREVIEW_BUFFER) {
        std::memset(job->buffer + got, c.bits == 8 ? 128 : 0, KV_PREVIEW_BUFFER - got);
        job->endPasses++;
    }
    return kvToStereo(job->buffer, KV_PREVIEW_BUFFER, c.bits, c.channels, job->out);
}

static int16_t kvToSixteen(float x) {
    double scaled = static_cast<double>(x) * 32768.0;
    return static_cast<int16_t>(std::clamp(scaled, -32768.0, 32767.0));
}

/* Formats other than 8- and 16-bit PCM of one or two channels: up to 4096
 * whole frames through the reader's own conversion (and mix-down), padded
 * with silence at the end of the data. */
static int32_t kvNextConvertedBuffer(KvPreviewJob *job) {
    const KvWaveLayout &layout = job->candidate.layout;
    int32_t frameBytes = layout.bits / 8 * layout.channels;
    int32_t frames = std::min<int32_t>(KV_BLOCK_FRAMES, KV_PREVIEW_BUFFER / frameBytes);
    int32_t wanted = static_cast<int32_t>(std::min<int64_t>(frames * frameBytes, job->remaining));
    int32_t got = kvReadUpTo(job->file, job->buffer, wanted);
    job->remaining = got < wanted ? 0 : job->remaining - got;
    int32_t have = kvConvertWaveBytes(job->buffer, got, layout, job->left, job->right);
    if (have < frames) job->endPasses++;
    bool mono = layout.channels == 1;
    for (int32_t i = 0; i < frames; i++) {
        float left = i < have ? job->left[i] : 0.0f;
        float right = i < have && !mono ? job->right[i] : left;
        job->out[2 * i] = kvToSixteen(left);
        job->out[2 * i + 1] = kvToSixteen(right);
    }
    return frames;
}

/* The next 4096 frames of a libsndfile kind, mixed down like opening does. */
static int32_t kvNextSoundBuffer(KvPreviewJob *job) {
    int32_t channels = job->candidate.channels;
    int64_t got = kvSoundReadFrames(job->sound, job->interleaved.data(), KV_BLOCK_FRAMES);
    KvWaveLayout layout = kvSoundLayout(job->candidate.format, channels);
    int32_t have =
        got <= 0 ? 0
                 : kvConvertWaveBytes(reinterpret_cast<const uint8_t *>(job->interleaved.data()),
                                      got * 4 * channels, layout, job->left, job->right);
    if (have < KV_BLOCK_FRAMES) job->endPasses++;
    for (int32_t i = 0; i < KV_BLOCK_FRAMES; i++) {
        float left = i < have ? job->left[i] : 0.0f;
        float right = i < have && channels > 1 ? job->right[i] : left;
        job->out[2 * i] = kvToSixteen(left);
        job->out[2 * i + 1] = kvToSixteen(right);
    }
    return KV_BLOCK_FRAMES;
}

/* Queues frames in short pieces, giving up early when a stop is asked. */
static bool kvPreviewWrite(KvPreviewJob *job, KvAudioOut *out, int32_t frames) {
    for (int32_t done = 0; done < frames && !kvStopAsked(job); done += KV_PREVIEW_PIECE) {
        int32_t count = std::min<int32_t>(KV_PREVIEW_PIECE, frames - done);
        if (!kvAudioWrite(out, job->out + 2 * done, count)) return false;
    }
    return true;
}

/* Opens the playback device of the options; a number the system no longer
 * has becomes -1, the default device, and is stored back. */
static KvAudioOut *kvOpenPreviewDevice(const KvPreviewJob *job) {
    int32_t device = -1;
    if (kvEngine.options) {
        std::atomic_ref<int32_t> playDevice(kvEngine.options->playDevice);
        device = playDevice.load();
        if (device >= kvAudioDeviceCount(false)) {
            device = -1;
            playDevice.store(-1);
        }
    }
    return kvAudioOpenOutput(device, job->candidate.sampleRate);
}

static void kvPlayPreview(KvPreviewJob *job) {
    const KvCandidate &c = job->candidate;
    bool compressed = c.format == KV_WAVE_FORMAT_MPEGLAYER3;
    bool plain = c.format == KV_WAVE_PCM && c.layout.coding == KV_WAVE_PCM && c.channels <= 2 &&
                 (c.bits == 8 || c.bits == 16);
    bool library = kvIsSoundFileFormat(c.format);
    if (library) {
        KvSoundInfo info{};
        std::string why;
        job->sound = kvSoundOpenRead(job->file, &info, &why);
        if (!job->sound) {
            kvPreviewMessage(job, "Can't open file for reading");
            return;
        }
        job->interleaved.resize(static_cast<size_t>(KV_BLOCK_FRAMES) * c.channels);
    } else if (compressed) {
        if (!kvStartDecoding(job)) return;
    } else {
        kvFileSeek(job->file, job->candidate.dataOffset);
        job->remaining = job->candidate.dataSize;
    }
    KvAudioOut *out = kvOpenPreviewDevice(job);
    if (!out) {
        kvPreviewMessage(job, "Can't open wave out device");
        return;
    }
    while (!kvStopAsked(job) && job->endPasses <= KV_PREVIEW_END_PASSES) {
        int32_t frames = library      ? kvNextSoundBuffer(job)
                         : compressed ? kvNextCompressedBuffer(job)
                         : plain      ? kvNextWaveBuffer(job)
                                      : kvNextConvertedBuffer(job);
        if (!kvPreviewWrite(job, out, frames)) {
            kvAudioClose(out);
            kvPreviewMessage(job, "Can't write to wave out device");
            return;
        }
    }
    kvAudioDrain(out, job->flags->stopCount);
    kvAudioClose(out);
}

static void kvPreviewThread(std::unique_ptr<KvPreviewJob> job) {
    kvSetThreadPriority(KV_PRIORITY_ABOVE_NORMAL);
    job->file = kvFileOpen(job->path, KV_FILE_READ);
    if (job->file < 0)
        kvPreviewMessage(job.get(), "Can't open file for reading");
    else
        kvPlayPreview(job.get());
    if (job->stream) {
        kvAcmStreamUnprepareHeader(job->stream, &job->header);
        kvAcmStreamClose(job->stream);
    }
    kvSoundClose(job->sound);
    kvFileClose(job->file);
    job->flags->running = 0;
    if (job->ended) job->ended(job->flags.get());
}

std::shared_ptr<KvPreviewFlags> kvStartPreview(const std::string &path,
                                               const KvCandidate &candidate, KvWindow owner,
                                               std::function<void(const KvPreviewFlags *)> ended) {
    auto flags = std::make_shared<KvPreviewFlags>();
    auto job = std::make_unique<KvPreviewJob>();
    job->flags = flags;
    job->path = path;
    job->candidate = candidate;
    job->owner = owner;
    job->ended = std::move(ended);
    flags->running = 1;
    std::thread(kvPreviewThread, std::move(job)).detach();
    return flags;
}

void kvStopPreview(const std::shared_ptr<KvPreviewFlags> &flags) {
    for (int32_t i = 0; flags && i < 99 && flags->running.load() != 0; i++) {
        flags->stopCount++;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
