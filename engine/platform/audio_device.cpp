/*
 * audio_device.cpp - output streams over PortAudio (ALSA underneath).
 *
 * PortAudio is initialised once, on first use, behind a quiet ALSA error
 * handler (without one, a machine with no sound card prints pages of ALSA
 * complaints). A stream's played position is derived from its free room:
 * right after the start the room is the whole buffer, so frames still
 * queued are that capacity minus the room now free.
 */
#include "engine/platform/audio_device.h"

#include <alsa/asoundlib.h>
#include <portaudio.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

struct KvAudioOut {
    PaStream *stream;
    int32_t rate;
    int64_t capacity; /* free room right after the start */
    int64_t written;
    int64_t played;
};

static std::atomic<int32_t> writesBeforeFault{0};

static void kvQuietAlsa(const char *, int, const char *, int, const char *, ...) {}

static bool kvAudioReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        snd_lib_error_set_handler(kvQuietAlsa);
        ready = Pa_Initialize() == paNoError;
    });
    return ready;
}

/* PortAudio's index of device n of the output or input list, or paNoDevice. */
static PaDeviceIndex kvAudioIndex(bool input, int32_t n) {
    if (!kvAudioReady() || n < 0) return paNoDevice;
    PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex index = 0; index < count; index++) {
        const PaDeviceInfo *info = Pa_GetDeviceInfo(index);
        if (!info || (input ? info->maxInputChannels : info->maxOutputChannels) <= 0) continue;
        if (n-- == 0) return index;
    }
    return paNoDevice;
}

int32_t kvAudioDeviceCount(bool input) {
    int32_t count = 0;
    while (kvAudioIndex(input, count) != paNoDevice)
        count++;
    return count;
}

std::string kvAudioDeviceName(bool input, int32_t n) {
    PaDeviceIndex index = kvAudioIndex(input, n);
    if (index == paNoDevice) return "";
    const PaDeviceInfo *info = Pa_GetDeviceInfo(index);
    return info && info->name ? info->name : "";
}

/* Opens and starts a 16-bit stereo stream on device n of one direction (a
 * negative n is the default device) with `latencyFrames` of buffering: the
 * stream, or null. */
static PaStream *kvAudioStart(bool input, int32_t device, int32_t rate, int32_t latencyFrames) {
    if (!kvAudioReady() || rate <= 0) return nullptr;
    PaDeviceIndex index = device >= 0 ? kvAudioIndex(input, device)
                          : input     ? Pa_GetDefaultInputDevice()
                                      : Pa_GetDefaultOutputDevice();
    if (index == paNoDevice) return nullptr;
    PaStreamParameters parameters{};
    parameters.device = index;
    parameters.channelCount = 2;
    parameters.sampleFormat = paInt16;
    parameters.suggestedLatency = static_cast<double>(latencyFrames) / rate;
    PaStream *stream = nullptr;
    if (Pa_OpenStream(&stream, input ? &parameters : nullptr, input ? nullptr : &parameters, rate,
                      1024, paClipOff | paDitherOff, nullptr, nullptr) != paNoError)
        return nullptr;
    if (Pa_StartStream(stream) != paNoError) {
        Pa_CloseStream(stream);
        return nullptr;
    }
    return stream;
}

KvAudioOut *kvAudioOpenOutput(int32_t device, int32_t rate) {
    PaStream *stream = kvAudioStart(false, device, rate, 16 * 1024);
    if (!stream) return nullptr;
    signed long room = Pa_GetStreamWriteAvailable(stream);
    return new KvAudioOut{stream, rate, std::max<int64_t>(room, 0), 0, 0};
}

bool kvAudioWrite(KvAudioOut *out, const int16_t *frames, int32_t count) {
    int32_t fault = writesBeforeFault.load();
    if (fault > 0) {
        writesBeforeFault.store(fault - 1);
        if (fault == 1) return false;
    }
    PaError error = Pa_WriteStream(out->stream, frames, static_cast<unsigned long>(count));
    if (error != paNoError && error != paOutputUnderflowed) return false;
    out->written += count;
    return true;
}

int64_t kvAudioWritten(const KvAudioOut *out) {
    return out->written;
}

int64_t kvAudioPlayed(KvAudioOut *out) {
    signed long room = Pa_GetStreamWriteAvailable(out->stream);
    if (room >= 0) {
        int64_t queued = std::max<int64_t>(out->capacity - room, 0);
        out->played = std::max(out->played, out->written - queued);
    }
    return out->played;
}

void kvAudioDrain(KvAudioOut *out, const std::atomic<int32_t> &stop) {
    int64_t queued = out->written - kvAudioPlayed(out);
    auto limit = std::chrono::steady_clock::now() +
                 std::chrono::milliseconds(2 * queued * 1000 / out->rate + 100);
    while (!stop.load() && kvAudioPlayed(out) < out->written &&
           std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void kvAudioClose(KvAudioOut *out) {
    if (!out) return;
    Pa_AbortStream(out->stream);
    Pa_CloseStream(out->stream);
    delete out;
}

struct KvAudioIn {
    PaStream *stream;
};

KvAudioIn *kvAudioOpenInput(int32_t device, int32_t rate) {
    PaStream *stream = kvAudioStart(true, device, rate, 64 * 1024);
    if (!stream) return nullptr;
    return new KvAudioIn{stream};
}

int32_t kvAudioReadable(KvAudioIn *in) {
    signed long frames = Pa_GetStreamReadAvailable(in->stream);
    return frames > 0 ? static_cast<int32_t>(std::min<signed long>(frames, INT32_MAX)) : 0;
}

bool kvAudioRead(KvAudioIn *in, int16_t *frames, int32_t count) {
    PaError error = Pa_ReadStream(in->stream, frames, static_cast<unsigned long>(count));
    return error == paNoError || error == paInputOverflowed;
}

void kvAudioCloseInput(KvAudioIn *in) {
    if (!in) return;
    Pa_AbortStream(in->stream);
    Pa_CloseStream(in->stream);
    delete in;
}

void kvTestFailAudioWrite(int32_t writes) {
    writesBeforeFault.store(writes > 0 ? writes + 1 : 0);
}
