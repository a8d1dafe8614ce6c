/*
 * audio_device.h - the sound card: device lists, 16-bit stereo output and
 * input.
 *
 * PortAudio blocking streams stand in for the wave-out device and its queue
 * of buffers: a write waits while the stream holds about 16 x 1024 frames,
 * and "a buffer still queued" is simply room not yet free. Devices are
 * numbered among those with outputs (or inputs) in PortAudio's order, -1 is
 * the default device; the list is read once, when audio is first used.
 */
#ifndef KV_PLATFORM_AUDIO_DEVICE_H
#define KV_PLATFORM_AUDIO_DEVICE_H

#include <atomic>
#include <cstdint>
#include <string>

struct KvAudioOut;

/* Devices with outputs (input false) or with inputs (true). */
int32_t kvAudioDeviceCount(bool input);
/* The name of device n of that list, "" when there is no such device. */
std::string kvAudioDeviceName(bool input, int32_t n);

/* Opens and starts output device n (-1: the default) for interleaved 16-bit
 * stereo at `rate`: null when it cannot be opened. */
KvAudioOut *kvAudioOpenOutput(int32_t device, int32_t rate);
/* Queues count frames, waiting for room: false when the device failed
 * (an underrun is not a failure). */
bool kvAudioWrite(KvAudioOut *out, const int16_t *frames, int32_t count);
/* Frames queued so far, and how many of them the device has played. */
int64_t kvAudioWritten(const KvAudioOut *out);
int64_t kvAudioPlayed(KvAudioOut *out);
/* Waits in 1 ms sleeps until everything queued has been played, or stop is
 * set, or the device has had twice the time it needed. */
void kvAudioDrain(KvAudioOut *out, const std::atomic<int32_t> &stop);
/* Drops what is still queued (a device reset) and closes; null is ignored. */
void kvAudioClose(KvAudioOut *out);

/* Input: opens and starts input device n (-1: the default) for interleaved
 * 16-bit stereo at `rate`, holding up to 64 x 1024 captured frames: null
 * when it cannot be opened. */
struct KvAudioIn;
KvAudioIn *kvAudioOpenInput(int32_t device, int32_t rate);
/* Captured frames waiting to be read (0 after a device error). */
int32_t kvAudioReadable(KvAudioIn *in);
/* Reads count frames, waiting for them: false when the device failed (an
 * overrun is not a failure). */
bool kvAudioRead(KvAudioIn *in, int16_t *frames, int32_t count);
/* Stops, drops what is still captured, and closes; null is ignored. */
void kvAudioCloseInput(KvAudioIn *in);

/* Test hook: the write after `writes` successful ones fails (0 = never). */
void kvTestFailAudioWrite(int32_t writes);

#endif
