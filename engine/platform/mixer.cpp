/*
 * mixer.cpp - the ALSA simple mixer behind the recording window's panel.
 *
 * Elements are looked up again by their id on every read and write rather
 * than kept as pointers, so a mixer that ALSA reloads underneath does not
 * leave dangling elements. Levels are scaled to 0..100 of the element's own
 * capture-volume range; a switch reads as on when any of its channels is.
 */
#include "engine/platform/mixer.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <vector>

static snd_mixer_t *mixer = nullptr;
static std::vector<std::string> sourceNames;
static std::vector<unsigned> sourceIndexes;

static snd_mixer_elem_t *kvMixerElement(int32_t n) {
    if (!mixer || n < 0 || n >= static_cast<int32_t>(sourceNames.size())) return nullptr;
    snd_mixer_selem_id_t *id;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_name(id, sourceNames[n].c_str());
    snd_mixer_selem_id_set_index(id, sourceIndexes[n]);
    return snd_mixer_find_selem(mixer, id);
}

void kvMixerCloseAll() {
    if (mixer) snd_mixer_close(mixer);
    mixer = nullptr;
    sourceNames.clear();
    sourceIndexes.clear();
}

bool kvMixerOpenFor(const std::string &deviceName, std::string *title) {
    kvMixerCloseAll();
    std::string card = "default";
    int32_t cardNumber = -1;
    size_t hw = deviceName.find("(hw:");
    if (hw != std::string::npos) {
        cardNumber = std::atoi(deviceName.c_str() + hw + 4);
        card = "hw:" + std::to_string(cardNumber);
    }
    if (snd_mixer_open(&mixer, 0) < 0) {
        mixer = nullptr;
        return false;
    }
    if (snd_mixer_attach(mixer, card.c_str()) < 0 ||
        snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 || snd_mixer_load(mixer) < 0) {
        kvMixerCloseAll();
        return false;
    }
    for (snd_mixer_elem_t *element = snd_mixer_first_elem(mixer); element;
         element = snd_mixer_elem_next(element)) {
        if (!snd_mixer_selem_is_active(element)) continue;
        if (!snd_mixer_selem_has_capture_volume(element) &&
            !snd_mixer_selem_has_capture_switch(element))
            continue;
        sourceNames.push_back(snd_mixer_selem_get_name(element));
        sourceIndexes.push_back(snd_mixer_selem_get_index(element));
    }
    if (sourceNames.empty()) {
        kvMixerCloseAll();
        return false;
    }
    char *name = nullptr;
    std::string cardName = card;
    if (cardNumber >= 0 && snd_card_get_name(cardNumber, &name) == 0 && name) {
        cardName = name;
        free(name);
    }
    *title = "Capture for " + cardName;
    return true;
}

int32_t kvMixerSources() {
    return static_cast<int32_t>(sourceNames.size());
}

std::string kvMixerLineName(int32_t n) {
    return n >= 0 && n < kvMixerSources() ? sourceNames[n] : "";
}

int32_t kvMixerControl(int32_t n, int32_t control) {
    snd_mixer_elem_t *element = kvMixerElement(n);
    if (!element) return -1;
    snd_mixer_selem_channel_id_t channel = SND_MIXER_SCHN_FRONT_LEFT;
    if (control == KV_MIXER_LEVEL) {
        long low = 0, high = 0, value = 0;
        if (!snd_mixer_selem_has_capture_volume(element)) return -1;
        snd_mixer_selem_get_capture_volume_range(element, &low, &high);
        snd_mixer_selem_get_capture_volume(element, channel, &value);
        return high > low ? static_cast<int32_t>((value - low) * 100 / (high - low)) : 0;
    }
    int on = 0;
    if (control == KV_MIXER_SELECT) {
        if (!snd_mixer_selem_has_capture_switch(element)) return -1;
        snd_mixer_selem_get_capture_switch(element, channel, &on);
        return on ? 1 : 0;
    }
    if (control == KV_MIXER_MUTE) {
        if (!snd_mixer_selem_has_playback_switch(element)) return -1;
        snd_mixer_selem_get_playback_switch(element, channel, &on);
        return on ? 0 : 1;
    }
    return -1;
}

bool kvMixerSetControl(int32_t n, int32_t control, int32_t value) {
    snd_mixer_elem_t *element = kvMixerElement(n);
    if (!element) return false;
    if (control == KV_MIXER_LEVEL && snd_mixer_selem_has_capture_volume(element)) {
        long low = 0, high = 0;
        snd_mixer_selem_get_capture_volume_range(element, &low, &high);
        long level = low + (high - low) * std::clamp(value, 0, 100) / 100;
        return snd_mixer_selem_set_capture_volume_all(element, level) == 0;
    }
    if (control == KV_MIXER_SELECT && snd_mixer_selem_has_capture_switch(element))
        return snd_mixer_selem_set_capture_switch_all(element, value ? 1 : 0) == 0;
    if (control == KV_MIXER_MUTE && snd_mixer_selem_has_playback_switch(element))
        return snd_mixer_selem_set_playback_switch_all(element, value ? 0 : 1) == 0;
    return false;
}
