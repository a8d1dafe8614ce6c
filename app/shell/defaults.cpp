/*
 * defaults.cpp - the program's default KV_Options and KV_Params.
 *
 * Fields not named here start at zero, as a fresh record does.
 */
#include "app/shell/defaults.h"

#include <cstring>

void mdlDefaultOptions(KV_Options *options) {
    static const int32_t colors[11] = {0x4F3111, 0x8EB0B0, 0x492C0D, 0xA06028, 0xFFFFFF, 0x78481E,
                                       0x28180A, 0xFF9900, 0xFF8040, 0x404040, 1};
    std::memset(options, 0, sizeof *options);
    std::memcpy(options->colors, colors, sizeof colors);
    options->playDevice = -1;
    options->fftSize = 2048;
    options->fftWindow = 4;
    options->fftOverlap = 8;
    options->extendEffect = 1;
    options->extendAmount = 3;
    options->nudgeMs = 5;
    options->showAnalyzer = 1;
    options->clipWarning = 1;
    options->showTips = 1;
    options->recTimeColors = 1;
}

static void mdlDefaultEffectParams(KV_Params *params) {
    params->compThresholdDb = -12;
    params->compHardClipDb = -9;
    params->compRatio = 100;
    params->compAttack = 30;
    params->compRelease = 25;
    params->compGainDb = 10;
    params->compEnhance = 5;
    params->compSoftKnee = 1;
    params->compSideChain = 1;
    params->compOversample = 1;
    params->echoFeedbackRtoLDb = -9;
    params->echoLeftFromLeftDb = -3;
    params->echoLeftFromRightDb = -9;
    params->echoRightFromLeftDb = -9;
    params->echoRightFromRightDb = -3;
    params->echoFeedbackLtoRDb = -9;
    params->echoLowPass = 800;
    params->echoHighPass = 200;
    params->echoLeftDelayMs = 100;
    params->echoRightDelayMs = 150;
    params->echoWetLeftDb = -15;
    params->echoWetRightDb = -15;
    params->echoGang = 1;
    params->simpleEchoDelayMs = 120;
    params->simpleEchoFeedbackDb = -6;
    params->simpleEchoWetDb = -6;
    params->simpleEchoLowPass = 50;
}

void mdlDefaultParams(KV_Params *params) {
    static const int32_t reverbLevels[6] = {0, 0, -12, -12, 0, 0};
    std::memset(params, 0, sizeof *params);
    params->fadeEdges = 1;
    params->fadeEdgesMs = 10;
    mdlDefaultEffectParams(params);
    std::memcpy(params->reverbLevelDb, reverbLevels, sizeof reverbLevels);
    params->reverbRoomSize = 4;
    params->reverbWall = 2;
    params->reverbGang = 1;
    params->fftStartHighPassHz = 200;
    params->fftEndHighPassHz = 200;
    params->fftStartLowPassHz = 4000;
    params->fftEndLowPassHz = 4000;
    params->distHighClipDb = -12;
    params->distLowThresholdDb = -96;
    params->pitchStart = 200;
    params->pitchEnd = 200;
    params->toneVolumeDb = -6;
    params->toneStartHz = 200;
    params->toneEndHz = 500;
    params->toneLength = 5;
    params->toneLengthUnit = 1;
    params->newBitsPerSample = 16;
    params->newFormat = 1;
    params->newSampleRate = 44100;
    params->newChannels = 2;
}
