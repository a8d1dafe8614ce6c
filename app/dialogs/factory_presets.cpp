/*
 * factory_presets.cpp - the shipped presets, as tables in the records'
 * field order (the order of KV_Params in korvel.h).
 *
 * Equalizer bands run from the lowest (31 Hz at 44100 Hz) to the highest
 * (16 kHz). Compressor: threshold, hard clip, ratio, attack (0.1 ms),
 * release (10 ms), make-up gain, enhance, soft knee, side chain, oversample.
 * Echo: feedback right to left, left from left, left from right, right from
 * left, right from right, feedback left to right, low pass, high pass (both
 * in thousandths), left and right delay (ms), dry left, wet left, wet right,
 * dry right, bounce, gang. Reverb: three left/right level pairs, room size,
 * wall material, gang. Loudness (KV_RepairParams): target in 0.1 LUFS,
 * true-peak ceiling in 0.1 dBTP. Noise Reduction: reduction (dB),
 * sensitivity (dB), smoothing (bins), attack and release (ms).
 */
#include "app/dialogs/factory_presets.h"

#include <map>
#include <string>

const std::vector<MdlFactoryPreset> &mdlFactoryPresets(const QByteArray &group) {
    static const std::map<std::string, std::vector<MdlFactoryPreset>> presets = {
        {"EQ",
         {
             {"Bass Boost", {9, 7, 5, 3, 1, 0, 0, 0, 0, 0}},
             {"Treble Boost", {0, 0, 0, 0, 0, 1, 3, 5, 7, 9}},
             {"Voice", {-12, -9, -4, 0, 3, 4, 4, 2, 0, -3}},
             {"Telephone", {-24, -24, -12, 0, 6, 6, 0, -12, -24, -24}},
             {"Loudness", {8, 5, 2, 0, -1, -1, 0, 2, 5, 7}},
         }},
        {"Compressor",
         {
             {"Gentle Compression", {-18, 0, 2, 100, 25, 4, 0, 1, 0, 1}},
             {"Voice Leveler", {-24, -3, 4, 50, 20, 10, 2, 1, 1, 1}},
             {"Limiter", {-6, -1, 100, 1, 10, 5, 0, 0, 0, 1}},
         }},
        {"Echo",
         {
             {"Slap Back", {-48, 0, -48, -48, 0, -48, 900, 100, 90, 110, 0, -9, -9, 0, 0, 1}},
             {"Ping Pong", {-6, -3, -48, -48, -3, -6, 800, 200, 250, 250, 0, -9, -9, 0, 1, 1}},
             {"Canyon", {-4, -3, -9, -9, -3, -4, 600, 150, 700, 850, 0, -12, -12, 0, 0, 1}},
         }},
        {"Reverb",
         {
             {"Small Room", {0, 0, -12, -12, -6, -6, 1, 1, 1}},
             {"Concert Hall", {0, 0, -9, -9, 0, 0, 4, 2, 1}},
             {"Cathedral", {0, 0, -6, -6, 3, 3, 5, 3, 1}},
         }},
        {"Loudness",
         {
             {"Podcast (-16 LUFS)", {-160, -10}},
             {"Broadcast R128 (-23 LUFS)", {-230, -10}},
             {"Streaming (-14 LUFS)", {-140, -10}},
         }},
        {"Noise Reduction",
         {
             {"Light Hiss", {12, 6, 3, 20, 150}},
             {"Voice over Noise", {24, 6, 3, 20, 150}},
             {"Strong Steady Noise", {36, 9, 5, 10, 300}},
         }},
    };
    static const std::vector<MdlFactoryPreset> none;
    auto found = presets.find(group.toStdString());
    return found == presets.end() ? none : found->second;
}
