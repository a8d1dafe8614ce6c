/*
 * device.cpp - the threads that talk to the sound card: the device thread
 * of document playback and previews, and the clipboard preview; and the
 * device list the program's dialogs show.
 *
 * The device gets 1024-frame buffers while the feeders read 4096-frame
 * blocks, and the device thread only takes from the ring once it holds more
 * than a block, so neither side spins. Levels and analyzer values are kept
 * per buffer for the 16 buffers in flight and shown when a buffer comes
 * round again, so the meter shows what is being heard, not what was queued.
 */
#include "engine/audio/meter.h"
#include "engine/audio/playback.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/document.h"
#include "engine/history/clipboard.h"
#include "engine/platform/audio_device.h"
#include "engine/platform/clock.h"
#include "engine/platform/messages.h"
#include "engine/platform/threads.h"

#include <algorithm>
#include <cstring>
#include <vector>

#define KV_DEVICE_FRAMES 1024
#define KV_DEVICE_BUFFERS 16

/* What the meter shows for one buffer. */
struct KV_BufferMeter {
    int32_t left;
    int32_t right;
    bool analyzed;
    float bands[KV_ANALYZER_BANDS];
};

/* The meter state of one run of the device. */
struct KV_DeviceMeter {
    KV_Levels levels;
    KV_Analyzer analyzer;
    KV_BufferMeter buffers[KV_DEVICE_BUFFERS];
    int32_t next; /* buffer i: the one written next, and the oldest in flight */
};

static void kvMeterStart(KV_DeviceMeter *meter) {
    std::memset(meter, 0, sizeof *meter);
    kvAnalyzerReset(&meter->analyzer);
}

/* Measures buffer i before it is queued. */
static void kvMeterMeasure(KV_DeviceMeter *meter, const int16_t (*frames)[2], int32_t count) {
    KV_BufferMeter &slot = meter->buffers[meter->next];
    kvLevelsFeed(&meter->levels, frames, count);
    slot.left = meter->levels.left;
    slot.right = meter->levels.right;
    slot.analyzed =
        kvEngine.options && std::atomic_ref<int32_t>(kvEngine.options->showAnalyzer).load();
    if (slot.analyzed) {
        kvAnalyzerFeed(&meter->analyzer, frames, count);
        std::copy(meter->analyzer.peak, meter->analyzer.peak + KV_ANALYZER_BANDS, slot.bands);
    }
}

/* After buffer i is queued: i moves on and the buffer about to be reused,
 * the oldest in flight, is shown. */
static void kvMeterAdvance(KV_DeviceMeter *meter) {
    meter->next = (meter->next + 1) % KV_DEVICE_BUFFERS;
    const KV_BufferMeter &slot = meter->buffers[meter->next];
    kvMeterShow(slot.left, slot.right, slot.analyzed ? slot.bands : nullptr);
}

/* Opens the device named by playDevice; a number the system no longer has
 * becomes -1, the default device, and is stored back. */
static KvAudioOut *kvOpenPlaybackDevice(int32_t rate) {
    int32_t device = -1;
    if (kvEngine.options) {
        std::atomic_ref<int32_t> playDevice(kvEngine.options->playDevice);
        device = playDevice.load();
        if (device >= kvAudioDeviceCount(false)) {
            device = -1;
            playDevice.store(-1);
        }
    }
    return kvAudioOpenOutput(device, rate);
}

/* ---- Device thread of document playback and previews ---- */

/* Waits in 10 ms sleeps until the ring holds more than a feeder block:
 * false when asked to stop. */
static bool kvWaitForFrames() {
    while (kvRingHeld(kvPlayback.ring) < 4112) {
        if (kvPlayback.stopRequest.load()) return false;
        kvSleepMs(10);
    }
    return !kvPlayback.stopRequest.load();
}

/* Plays the ring until stopRequest: false when a write failed. */
static bool kvPlayRing(KvAudioOut *out) {
    KV_DeviceMeter meter;
    kvMeterStart(&meter);
    int16_t buffer[KV_DEVICE_FRAMES][2] = {};
    if (!kvAudioWrite(out, buffer[0], KV_DEVICE_FRAMES)) return false;
    kvPublishDeviceClock(kvAudioPlayed(out), kvAudioWritten(out));
    while (kvWaitForFrames()) {
        kvRingTake(kvPlayback.ring, buffer, KV_DEVICE_FRAMES);
        kvMeterMeasure(&meter, buffer, KV_DEVICE_FRAMES);
        if (!kvAudioWrite(out, buffer[0], KV_DEVICE_FRAMES)) return false;
        kvPublishDeviceClock(kvAudioPlayed(out), kvAudioWritten(out));
        kvMeterAdvance(&meter);
    }
    return true;
}

/* The open failure keeps its message, says what to do about it and offers
 * the troubleshooting page; the program then knows to say so in its status
 * line (KV_MSG_NO_OUTPUT), after the box. */
static void kvReportNoOutputDevice() {
    kvError(KV_HELP_NO_SOUND_DEVICE,
            "Can't open wave out device\n\nNo sound device could be opened for playing. "
            "Check that one is connected and not in use by another program, and that "
            "Tools, Options sets \"Playback Device:\" to \"(Use Default Output Device)\".");
}

void kvDeviceThread() {
    kvSetThreadPriority(KV_PRIORITY_HIGHEST);
    KV_Document *document = kvGetDocument(kvPlayback.playDoc.load());
    if (!document) {
        kvPlayback.deviceRunning.store(0);
        return;
    }
    KvAudioOut *out = kvOpenPlaybackDevice(document->current->sampleRate);
    if (!out) {
        kvReportNoOutputDevice();
        /* Told before the stop: once its running flag is clear this thread
         * may no longer touch the engine, which may be cleaned up. */
        kvSendMessage(kvEngine.messageWindow, KV_MSG_NO_OUTPUT, 0, 0);
        kvStopFromWorker(kvPlayback.deviceRunning);
        return;
    }
    bool played = kvPlayRing(out);
    kvAudioClose(out);
    if (played) {
        kvPlayback.deviceRunning.store(0);
        return;
    }
    kvError(0, "Error writing to wave device");
    kvStopFromWorker(kvPlayback.deviceRunning);
    kvSendMessage(kvEngine.messageWindow, KV_MSG_PLAY_FAILED, 0, 0);
}

/* ---- Clipboard preview ---- */

/* The clip as it was when its preview started: a later copy replaces the
 * engine's clip and frees its tables while this one still plays, so the
 * preview holds the clip's data files itself until it ends. */
struct KV_ClipPlay {
    int32_t channels;
    int32_t rate;
    int32_t length;
    KV_FileSet files;
    std::vector<KV_Block> blocks[2];
    size_t block[2]; /* reading position per channel */
    int32_t offset[2];
};

/* Reads the next count frames of a clip channel through the playback
 * thread; what the clip lacks reads as silence. */
static void kvReadClipFrames(KV_ClipPlay *clip, int32_t channel, float *out, int32_t count) {
    const std::vector<KV_Block> &blocks = clip->blocks[channel];
    size_t &block = clip->block[channel];
    int32_t &offset = clip->offset[channel];
    int32_t done = 0;
    while (done < count && block < blocks.size()) {
        const KV_Block &descriptor = blocks[block];
        int32_t n = std::min(count - done, descriptor.length - offset);
        bool read =
            descriptor.file >= 0 &&
            kvReadData(descriptor.file, int64_t{descriptor.position} + offset, out + done, n) == n;
        if (!read) std::fill(out + done, out + done + n, 0.0f);
        done += n;
        offset += n;
        if (offset >= descriptor.length) {
            block++;
            offset = 0;
        }
    }
    std::fill(out + done, out + count, 0.0f);
}

/* Queues the whole clip and waits until it has been heard: false when a
 * write failed. */
static bool kvPlayClip(KvAudioOut *out, KV_ClipPlay *clip) {
    KV_DeviceMeter meter;
    kvMeterStart(&meter);
    float samples[2][KV_DEVICE_FRAMES];
    int16_t buffer[KV_DEVICE_FRAMES][2];
    for (int32_t done = 0; done < clip->length && !kvPlayback.stopRequest.load();) {
        int32_t n = std::min(KV_DEVICE_FRAMES, clip->length - done);
        kvReadClipFrames(clip, 0, samples[0], n);
        if (clip->channels == 2) kvReadClipFrames(clip, 1, samples[1], n);
        for (int32_t i = 0; i < n; i++) {
            buffer[i][0] = kvToPcm16(samples[0][i]);
            buffer[i][1] = clip->channels == 2 ? kvToPcm16(samples[1][i]) : buffer[i][0];
        }
        kvMeterMeasure(&meter, buffer, n);
        if (!kvAudioWrite(out, buffer[0], n)) return false;
        kvMeterAdvance(&meter);
        done += n;
    }
    kvAudioDrain(out, kvPlayback.stopRequest);
    return true;
}

/* The clip thread ends with KV_MSG_CLIP_PLAYED in every case, also after an
 * error, so that the program's Play button always comes back. */
static void kvClipThread(KV_ClipPlay *clip) {
    kvSetThreadPriority(KV_PRIORITY_HIGHEST);
    if (clip->length > 0 && clip->rate > 0) {
        KvAudioOut *out = kvOpenPlaybackDevice(clip->rate);
        if (!out) {
            kvReportNoOutputDevice();
            kvSendMessage(kvEngine.messageWindow, KV_MSG_NO_OUTPUT, 0, 0);
        } else {
            bool played = kvPlayClip(out, clip);
            kvAudioClose(out);
            if (!played) kvError(0, "Error writing to wave device");
        }
    }
    kvReleaseFiles(&clip->files);
    delete clip;
    kvMeterBlank();
    kvPlayback.deviceRunning.store(0);
    kvSendMessage(kvEngine.messageWindow, KV_MSG_CLIP_PLAYED, 0, 0);
}

extern "C" KV_API int32_t kvPreviewClip(void) {
    kvStop();
    if (kvPlaybackRunning()) return 0;
    auto *clip = new KV_ClipPlay{};
    clip->channels = std::clamp(kvClip.channels, 1, 2);
    clip->rate = kvClip.sampleRate;
    clip->length = kvClip.length;
    for (int32_t c = 0; c < clip->channels && kvClip.sampleRate > 0; c++)
        clip->blocks[c].assign(kvClip.blocks[c], kvClip.blocks[c] + kvClip.blockCount[c]);
    kvHoldFiles(&clip->files, kvClip.blocks, kvClip.blockCount, kvHasClip() ? clip->channels : 0);
    if (!kvStartPlaybackThread(kvPlayback.deviceRunning, [clip] { kvClipThread(clip); })) {
        kvReleaseFiles(&clip->files);
        delete clip;
    }
    return 0;
}

/* ---- Device list ---- */

extern "C" KV_API int32_t kvGetDeviceCount(int32_t input) {
    return kvAudioDeviceCount(input != 0);
}

extern "C" KV_API int32_t kvGetDeviceName(int32_t input, int32_t n, char *buffer, int32_t size) {
    if (n < 0 || n >= kvAudioDeviceCount(input != 0) || !buffer || size <= 0) return -1;
    std::string name = kvAudioDeviceName(input != 0, n);
    int32_t length = static_cast<int32_t>(std::min<size_t>(name.size(), size - 1));
    std::memcpy(buffer, name.data(), length);
    buffer[length] = '\0';
    return length;
}
