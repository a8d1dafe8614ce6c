/*
 * repair_params.cpp - the record of the loudness and noise edits: its
 * defaults, its ranges, where it is stored, and the export that hands the
 * program's copy to the engine.
 *
 * It is a record of its own beside KV_Params because that one is a stored
 * format whose size never changes. The engine works on its own copy until
 * the program hands over one, so headless runs need no extra call.
 */
#include "engine/core/engine.h"
#include "korvel.h"

#include <algorithm>
#include <cstring>

static const char *const kRepairValue = "Repair";

KV_RepairParams kvDefaultRepairParams() {
    KV_RepairParams params{};
    params.loudnessTarget = -160;
    params.loudnessCeiling = -10;
    params.noiseReductionDb = 24;
    params.noiseSensitivity = 6;
    params.noiseSmoothing = 3;
    params.noiseAttackMs = 20;
    params.noiseReleaseMs = 150;
    return params;
}

void kvClampRepairParams(KV_RepairParams *params) {
    params->loudnessTarget = std::clamp(params->loudnessTarget, -700, -50);
    params->loudnessCeiling = std::clamp(params->loudnessCeiling, -200, 0);
    params->noiseReductionDb = std::clamp(params->noiseReductionDb, 0, 48);
    params->noiseSensitivity = std::clamp(params->noiseSensitivity, 0, 24);
    params->noiseSmoothing = std::clamp(params->noiseSmoothing, 0, 16);
    params->noiseAttackMs = std::clamp(params->noiseAttackMs, 0, 500);
    params->noiseReleaseMs = std::clamp(params->noiseReleaseMs, 0, 2000);
    params->noiseResidue = std::clamp(params->noiseResidue, 0, 1);
}

/* Overlays the stored copy, when there is one of the right size. */
static void kvOverlayStored(KV_RepairParams *params) {
    KV_RepairParams stored;
    if (kvGetReg("Settings", kRepairValue, &stored, sizeof stored) == sizeof stored)
        *params = stored;
    kvClampRepairParams(params);
}

void kvRestoreRepairParams() {
    kvEngine.ownRepair = kvDefaultRepairParams();
    kvEngine.repair = &kvEngine.ownRepair;
    kvOverlayStored(kvEngine.repair);
}

void kvStoreRepairParams() {
    kvSetReg("Settings", kRepairValue, kvEngine.repair, sizeof(KV_RepairParams));
}

extern "C" KV_API int32_t kvSetRepairParams(KV_RepairParams *params, int32_t size) {
    if (!params || size != static_cast<int32_t>(sizeof(KV_RepairParams))) return -1;
    *params = *kvEngine.repair;
    kvOverlayStored(params);
    kvEngine.repair = params;
    return 0;
}
