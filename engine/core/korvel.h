/*
 * korvel.h - the one door between the Korvel program and its engine library.
 *
 * Every export has C linkage and returns int32_t. The two shared records,
 * KV_Options and KV_Params, live in the caller's memory for the whole run; the
 * engine keeps pointers to them and reads and writes them in place, and stores
 * them as raw 144- and 344-byte images, so their layouts are stored formats.
 * Window handles are QWidget pointers passed as opaque KvWindow values.
 */
#ifndef KORVEL_H
#define KORVEL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KV_API __attribute__((visibility("default")))

typedef void *KvWindow;

/* Progress callback: text is the message buffer, textLength its length when
 * the report carries a new caption (0 otherwise), percent 0..100 or -1 (take
 * the progress window down), secondsLeft the remaining-time estimate or 0. */
typedef void (*KvProgressCallback)(const char *text, int32_t textLength, int32_t percent,
                                   int32_t secondsLeft);

/* Predefined registry roots accepted by kvGetRegString and kvSetRegString. */
#define KV_HKEY_CURRENT_USER ((int32_t)0x80000001)
#define KV_HKEY_LOCAL_MACHINE ((int32_t)0x80000002)

/* User preferences: 36 int32 fields, 144 bytes, stored as "Settings"/"Options". */
typedef struct KV_Options {
    int32_t loopPlayback;
    int32_t timeFormat;
    int32_t copyWholeBitmap;
    int32_t noSyncWait;
    int32_t colors[11]; /* 0x00BBGGRR; entry 10 is the draw-shadow switch */
    int32_t tempDrive;
    int32_t recordDevice;
    int32_t playDevice;
    int32_t recordMode;
    int32_t mixerPanelOpen;
    int32_t fftSize;
    int32_t fftWindow;
    int32_t fftOverlap;
    int32_t extendEffect;
    int32_t extendAmount;
    int32_t nudgeMs;
    int32_t showAnalyzer;
    int32_t clipWarning;
    int32_t clipWarningDb;
    int32_t lockChannels;
    int32_t scrollMode;
    int32_t showTips;
    int32_t skipNewFileDialog;
    int32_t recordAutoStart;
    int32_t recTimeSize;
    int32_t recTimeColors;
} KV_Options;

/* Effect and edit parameters: 86 int32 fields, 344 bytes, stored as
 * "Settings"/"Parameters". Every offset, reserved ones included, is fixed. */
typedef struct KV_Params {
    int32_t fadeEdges;
    int32_t fadeEdgesWhole;
    int32_t fadeEdgesMs;
    int32_t volumeDb;
    int32_t pasteMixDb;
    int32_t reserved20;
    int32_t reserved24;
    int32_t silenceAmount;
    int32_t silenceUnit;
    int32_t reserved36;
    int32_t eqBandDb[10];
    int32_t compThresholdDb;
    int32_t compHardClipDb;
    int32_t compRatio;
    int32_t compAttack;
    int32_t compRelease;
    int32_t compGainDb;
    int32_t compEnhance;
    int32_t compSoftKnee;
    int32_t compSideChain;
    int32_t compOversample;
    int32_t echoFeedbackRtoLDb;
    int32_t echoLeftFromLeftDb;
    int32_t echoLeftFromRightDb;
    int32_t echoRightFromLeftDb;
    int32_t echoRightFromRightDb;
    int32_t echoFeedbackLtoRDb;
    int32_t echoLowPass;
    int32_t echoHighPass;
    int32_t echoLeftDelayMs;
    int32_t echoRightDelayMs;
    int32_t echoDryLeftDb;
    int32_t echoWetLeftDb;
    int32_t echoWetRightDb;
    int32_t echoDryRightDb;
    int32_t echoBounce;
    int32_t echoGang;
    int32_t simpleEchoDelayMs;
    int32_t simpleEchoFeedbackDb;
    int32_t simpleEchoWetDb;
    int32_t simpleEchoLowPass;
    int32_t reverbLevelDb[6];
    int32_t reverbRoomSize;
    int32_t reverbWall;
    int32_t reverbGang;
    int32_t fftStartHighPassHz;
    int32_t fftEndHighPassHz;
    int32_t fftStartLowPassHz;
    int32_t fftEndLowPassHz;
    int32_t fftFilterType;
    int32_t fftDynamic;
    int32_t distHighClipDb;
    int32_t distLowThresholdDb;
    int32_t pitchStart;
    int32_t pitchEnd;
    int32_t pitchDynamic;
    int32_t pitchMode;
    int32_t toneVolumeDb;
    int32_t toneStartHz;
    int32_t toneEndHz;
    int32_t toneSweep;
    int32_t toneWaveform;
    int32_t toneLength;
    int32_t toneLengthUnit;
    int32_t previewBypass;
    int32_t cancellable;
    int32_t cancelRequested;
    int32_t normalizeDb;
    int32_t newBitsPerSample;
    int32_t newFormat;
    int32_t newSampleRate;
    int32_t newChannels;
} KV_Params;

#ifdef __cplusplus
static_assert(sizeof(KV_Options) == 144, "KV_Options is a stored 144-byte record");
static_assert(sizeof(KV_Params) == 344, "KV_Params is a stored 344-byte record");
#endif

/* ---- Engine lifecycle ---- */

/* Starts the engine. The sizes must be 144 and 344 (anything else is fatal).
 * Stored copies of the records of exactly those sizes replace the caller's
 * defaults. messageWindow and progressCallback may be null (headless use);
 * reserved and reserved2 are accepted and ignored. Returns 0. */
KV_API int32_t kvInit(KvWindow messageWindow, KV_Options *options, int32_t optionsSize,
                      KV_Params *params, int32_t paramsSize, void *reserved,
                      KvProgressCallback progressCallback, void *reserved2);

/* Closes the data files, empties the working folder and stores both records. */
KV_API int32_t kvCleanUp(void);

/* ---- Registry store ---- */

/* Reads value valueName of key "Software\Tervalin\Korvel\<subkey>" into buffer
 * (at most size bytes, the rest zero-filled). Returns the bytes read, or -1 when
 * the key or value is missing or the stored value is longer than size. */
KV_API int32_t kvGetReg(const char *subkey, const char *valueName, void *buffer, int32_t size);

/* Creates or opens the key and writes a binary value of size bytes: 0 or -1. */
KV_API int32_t kvSetReg(const char *subkey, const char *valueName, const void *data,
                        int32_t size);

/* Removes one value from the key: 0, or -1 when there was nothing to remove. */
KV_API int32_t kvDeleteReg(const char *subkey, const char *valueName);

/* Reads a value under a root and full key path: bytes read, -1 when the key
 * cannot be opened, -2 when the value cannot be read (missing or too long). */
KV_API int32_t kvGetRegString(int32_t root, const char *keyPath, const char *valueName,
                              char *buffer, int32_t size);

/* Writes a string value of length bytes (0 = strlen(text)): 0, -1 when the key
 * cannot be created, -2 when the value cannot be written. */
KV_API int32_t kvSetRegString(int32_t root, const char *keyPath, const char *valueName,
                              const char *text, int32_t length);

/* ---- Playback ---- */

/* Stops whatever plays: 0. */
KV_API int32_t kvStop(void);

#ifdef __cplusplus
}
#endif

#endif /* KORVEL_H */
