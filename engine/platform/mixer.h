/*
 * mixer.h - the recording mixer of a capture device's sound card, over the
 * ALSA simple mixer: the card's capture elements are the sources, each with
 * a level (its capture volume), a "Select" (its capture switch) and a
 * "Mute" (its playback switch). One mixer is open at a time, for the one
 * recording window; all calls come from the interface thread.
 */
#ifndef KV_PLATFORM_MIXER_H
#define KV_PLATFORM_MIXER_H

#include <cstdint>
#include <string>

enum : int32_t {
    KV_MIXER_LEVEL = 0,  /* 0..100 */
    KV_MIXER_SELECT = 1, /* 0/1 */
    KV_MIXER_MUTE = 2,   /* 0/1 */
};

/* Opens the mixer of the card behind input device `deviceName` (a name with
 * "(hw:N" names card N, any other the default card): false when there is
 * none or it has no capture element. *title gets "<line> for <card>". */
bool kvMixerOpenFor(const std::string &deviceName, std::string *title);
int32_t kvMixerSources();
std::string kvMixerLineName(int32_t n);
/* A control's value, -1 when the source has no such control. */
int32_t kvMixerControl(int32_t n, int32_t control);
bool kvMixerSetControl(int32_t n, int32_t control, int32_t value);
void kvMixerCloseAll();

#endif
