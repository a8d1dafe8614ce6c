/*
 * record_mixer.cpp - the exports behind the recording window's mixer panel:
 * the recording mixer of an input device's sound card, its sources and
 * their level, "Select" and "Mute" controls, read and written at once.
 */
#include "engine/platform/audio_device.h"
#include "engine/platform/mixer.h"
#include "korvel.h"

#include <algorithm>
#include <cstring>

static int32_t kvCopyText(const std::string &text, char *buffer, int32_t size) {
    if (!buffer || size <= 0) return -1;
    int32_t n = std::min<int32_t>(static_cast<int32_t>(text.size()), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

extern "C" KV_API int32_t kvMixerOpen(int32_t device, char *title, int32_t size) {
    std::string name = kvAudioDeviceName(true, device), heading;
    if (name.empty() || !kvMixerOpenFor(name, &heading)) {
        kvMixerCloseAll();
        return -1;
    }
    kvCopyText(heading, title, size);
    return kvMixerSources();
}

extern "C" KV_API int32_t kvMixerSourceName(int32_t n, char *buffer, int32_t size) {
    if (n < 0 || n >= kvMixerSources()) return -1;
    return kvCopyText(kvMixerLineName(n), buffer, size);
}

extern "C" KV_API int32_t kvMixerGet(int32_t n, int32_t control) {
    return kvMixerControl(n, control);
}

extern "C" KV_API int32_t kvMixerSet(int32_t n, int32_t control, int32_t value) {
    return kvMixerSetControl(n, control, value) ? 0 : -1;
}

extern "C" KV_API int32_t kvMixerClose(void) {
    kvMixerCloseAll();
    return 0;
}
