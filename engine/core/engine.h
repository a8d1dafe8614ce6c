/*
 * engine.h - process-wide state set up by kvInit: the two shared records, the
 * message window, the progress callback and the working folder.
 *
 * The records belong to the program; the engine only keeps their addresses, so
 * every module reads the user's current settings through these pointers.
 */
#ifndef KV_CORE_ENGINE_H
#define KV_CORE_ENGINE_H

#include "korvel.h"

#include <string>

struct KV_Engine {
    KV_Options *options = nullptr;
    KV_Params *params = nullptr;
    KV_Limits limits{}; /* the engine's own record: the program asks for a copy */
    /* The loudness and noise parameters: the program's record once it hands
     * one over (kvSetRepairParams), the engine's own defaults until then. */
    KV_RepairParams ownRepair{};
    KV_RepairParams *repair = &ownRepair;
    KV_ViewOptions viewOptions{}; /* the engine's own record, like limits */
    KvWindow messageWindow = nullptr;
    KvProgressCallback progressCallback = nullptr;
    std::string workRoot;      /* the folder the sessions' folders are in */
    std::string workFolder;    /* this run's session folder; no trailing slash */
    int32_t sessionLock = -1;  /* held on workFolder while it is this run's */
    std::string clipboardPath; /* "<workFolder>/COPY.tmp" */
    bool running = false;
    bool batchSession = false; /* private working folder, records not stored */
};

extern KV_Engine kvEngine;

/* Registry subkey prefix of every engine value. */
#define KV_REG_BASE "Software\\Tervalin\\Korvel\\"

/* Hold every field of a restored record to the range the program's dialogs
 * can give it; fields already in range are left as they are. */
void kvClampParams(KV_Params *params);
void kvClampOptions(KV_Options *options);
void kvClampLimits(KV_Limits *limits);
void kvClampRepairParams(KV_RepairParams *params);

/* The loudness and noise parameters a first run starts with. */
KV_RepairParams kvDefaultRepairParams();
/* Makes the engine's own repair record the defaults overlaid by the stored
 * copy (kvInit), resp. stores the record in use (kvCleanUp). */
void kvRestoreRepairParams();
void kvStoreRepairParams();
void kvClampViewOptions(KV_ViewOptions *options);

/* The display settings of a first run: perceptual colours over 90 dB on a
 * linear axis, a dB ruler, new windows showing the waveform. */
KV_ViewOptions kvDefaultViewOptions();

/* Builds "<workFolder>/<name>". */
std::string kvWorkPath(const char *name);

#endif
