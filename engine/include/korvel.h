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

/* Edit numbers for kvDoEdit and kvPreviewStart; each names its undo step.
 * KV_EDIT_NONE runs nothing (a preview of it plays the sound dry);
 * KV_EDIT_LOW_PASS is kept for its number and leaves the sound as it is. */
enum {
    KV_EDIT_NONE = 0,
    KV_EDIT_VOLUME = 1,
    KV_EDIT_FADE_IN = 2,
    KV_EDIT_FADE_OUT = 3,
    KV_EDIT_MUTE = 4,
    KV_EDIT_NORMALIZE = 5,
    KV_EDIT_EQUALIZER = 6,
    KV_EDIT_REVERSE = 7,
    KV_EDIT_PASTE_MIX = 8,
    KV_EDIT_COMPRESSOR = 9,
    KV_EDIT_LOW_PASS = 10,
    KV_EDIT_ECHO = 11,
    KV_EDIT_REVERB = 12,
    KV_EDIT_SIMPLE_ECHO = 13,
    KV_EDIT_DISTORTION = 14,
    KV_EDIT_FFT_FILTER = 15,
    KV_EDIT_TONE = 16,
    KV_EDIT_PITCH = 17,
    KV_EDIT_LOUDNESS_NORMALIZE = 18,
    KV_EDIT_NOISE_REDUCTION = 19
};

/* Window messages: the event types the engine sends or posts (wParam and
 * lParam as each describes; none when not said). */
enum {
    KV_MSG_AUTOSCROLL = 1034, /* to a document window: keep a selection drag scrolling */
    KV_MSG_REC_TIME = 1124,   /* recording time "mm:ss.mmm" (wParam text, lParam length) */
    KV_MSG_SEL_START = 1125,  /* status texts 1125..1133 (wParam text, lParam length) */
    KV_MSG_SEL_END = 1126,
    KV_MSG_SEL_LENGTH = 1127,
    KV_MSG_POSITION = 1128,
    KV_MSG_EDITS = 1129,
    KV_MSG_ZOOM_TEXT = 1130,
    KV_MSG_FORMAT = 1131,
    KV_MSG_CHANNELS = 1132,
    KV_MSG_RATE = 1133,
    KV_MSG_PLAY_REDRAW = 1147, /* to a document window: redraw incrementally */
    KV_MSG_ERROR_SHOWN = 1428, /* an error box is about to be shown */
    KV_MSG_ERROR_HELP = 1435,  /* help asked for on an error (wParam: help context) */
    KV_MSG_CLIPBOARD = 1525,   /* after a status update (wParam: the clip count) */
    KV_MSG_PLAY_FAILED = 1801, /* playback ended after a write error */
    KV_MSG_NO_OUTPUT = 1802,   /* no output device could be opened */
    KV_MSG_CLIP_PLAYED = 1925, /* the clipboard preview ended */
    KV_MSG_ZOOM_CHANGED = 3024 /* the view's zoom or selection changed */
};

/* Modes of kvZoomSpecial. */
enum {
    KV_ZOOM_ONE_TO_ONE = 0, /* one frame per pixel around the centre */
    KV_ZOOM_SELECTION = 1,  /* the selection fills the window */
    KV_ZOOM_WHOLE = 2,      /* the whole file fits */
    KV_ZOOM_IN = 3,         /* 10 % in */
    KV_ZOOM_OUT = 4         /* 10 % out */
};

/* Speeds of kvPlay. */
enum {
    KV_PLAY_FAST_REVERSE = -2,
    KV_PLAY_REVERSE = -1,
    KV_PLAY_NORMAL = 1,
    KV_PLAY_FAST_FORWARD = 2
};

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

/* The longest tone the tone generator makes, whatever unit its length is
 * given in: an hour (a longer one takes hours to make and fills the disk). */
#define KV_LONGEST_TONE_MS 3600000

/* Format tags of the files an installed libsndfile reads and writes, beside
 * 1 (PCM), 3 (IEEE float) and 85 (MP3). Their kvSetSaveFormat "bitRate" is
 * the FLAC compression level (0-8), the Vorbis quality (0-10) or the Opus
 * bit rate in kbit/s; FLAC and AIFF take 16 or 24 bits. */
#define KV_FORMAT_FLAC 0xF1AC
#define KV_FORMAT_VORBIS 0x674F
#define KV_FORMAT_OPUS 0x704F
#define KV_FORMAT_AIFF 0xA1FF

/* What the working folder may keep: 8 int32 fields, 32 bytes, stored as
 * "Settings"/"Limits". The engine holds its own copy (kvGetLimits and
 * kvSetLimits); fields not yet used stay as stored. */
typedef struct KV_Limits {
    int32_t maxUndoLevels; /* undo steps kept per document, 0 for no limit */
    int32_t reserved[7];
} KV_Limits;

/* The most undo steps maxUndoLevels can ask to keep. */
#define KV_MOST_UNDO_LEVELS 9999

#ifdef __cplusplus
static_assert(sizeof(KV_Limits) == 32, "KV_Limits is a stored 32-byte record");
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

/* Copies the engine's limits (restored at kvInit, stored at kvCleanUp) into
 * *limits: 0, or -1 when size is not 32 or limits is null (nothing written). */
KV_API int32_t kvGetLimits(KV_Limits *limits, int32_t size);
/* Makes *limits the engine's limits, each field held to its range; from its
 * next edit on a document keeps at most maxUndoLevels undo steps, dropping its
 * oldest: 0, or -1 when size is not 32 or limits is null (nothing changes). */
KV_API int32_t kvSetLimits(const KV_Limits *limits, int32_t size);
/* Writes the bytes the working folder's data, state and clipboard files hold
 * together to *bytes: 0, or -1 when bytes is null or the engine is not
 * running (nothing written). */
KV_API int32_t kvGetWorkFolderSize(int64_t *bytes);
/* Copies the folder this run keeps its data and state files in (a session
 * folder inside the working folder), cut to fit and terminated: its length,
 * or -1 when buffer is null, size < 1 or the engine is not running. */
KV_API int32_t kvGetWorkFolder(char *buffer, int32_t size);

/* A document with unsaved changes that a session which ended without
 * closing (a crash, a kill, a logout) left in the working folder. */
typedef struct KV_Recoverable {
    int32_t id;         /* names it to kvRecover and kvDiscardRecoverable */
    int32_t length;     /* frames of its last completed state */
    int32_t channels;   /* 1 or 2 */
    int32_t sampleRate; /* Hz */
    int64_t time;       /* when that state was stored, seconds since 1970 */
    char lastEdit[40];  /* the name of that state's edit */
    char path[256];     /* its file, or "" for a sound never saved */
} KV_Recoverable;
#ifdef __cplusplus
static_assert(sizeof(KV_Recoverable) == 320, "KV_Recoverable is a 320-byte record");
#endif

/* Copies up to `capacity` of the documents kvInit found to recover (and not
 * yet restored or discarded) into list; size must be 320. Returns how many
 * there are in all, or -1 when size is wrong or the engine is not running. */
KV_API int32_t kvListRecoverable(KV_Recoverable *list, int32_t capacity, int32_t size);
/* Rebuilds recoverable document `id` in doc (from kvCreate; what it held is
 * dropped) at its last completed state, with the undo steps below it whose
 * state files are whole; the document is unsaved. 0, or -1 after a message
 * when its files are damaged (it is then discarded). */
KV_API int32_t kvRecover(int32_t doc, int32_t id);
/* Deletes recoverable document `id` (-1: every one left): 0, or -1 for an
 * unknown id. A dead session's folder goes with its last document. */
KV_API int32_t kvDiscardRecoverable(int32_t id);

/* Drive n (from 0) of those the working folder can be put on (tempDrive):
 * the mounted local disks, lettered from C in mount order. Copies its mount
 * point and volume label (empty when it has none), each cut to fit its
 * buffer and terminated, and returns the letter's character code; -1 when
 * there is no drive n. Either buffer may be null. */
KV_API int32_t kvGetDrive(int32_t n, char *mountPoint, int32_t mountSize, char *label,
                          int32_t labelSize);

/* ---- Registry store ---- */

/* Reads value valueName of key "Software\Tervalin\Korvel\<subkey>" into buffer
 * (at most size bytes, the rest zero-filled). Returns the bytes read, or -1 when
 * the key or value is missing or the stored value is longer than size. */
KV_API int32_t kvGetReg(const char *subkey, const char *valueName, void *buffer, int32_t size);

/* Creates or opens the key and writes a binary value of size bytes: 0 or -1. */
KV_API int32_t kvSetReg(const char *subkey, const char *valueName, const void *data, int32_t size);

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

/* ---- Documents ---- */

/* Makes a document for a document window (null: a document without a view,
 * for headless use): the handle 0..255, or -1 after the message when all 256
 * slots are taken. The lowest free slot is used. */
KV_API int32_t kvCreate(KvWindow window);

/* Makes the document an empty sound (channels 1 or 2) whose one state is
 * "Original Sound": 0, or -1. */
KV_API int32_t kvNew(int32_t doc, int32_t channels, int32_t bits, int32_t formatTag, int32_t rate);

/* Deletes the document's state files and frees it; the slot becomes free: 0 or -1. */
KV_API int32_t kvClose(int32_t doc);

/* ---- Opening, saving and document state ---- */

/* Reads a WAVE file (or, through the codec bridge, a compressed one) into an
 * empty document: 0, or -1 after the message when it cannot be read or the
 * user cancelled. */
KV_API int32_t kvOpen(int32_t doc, const char *path);

/* Writes the current state in the document's format where path (or the link
 * it names) points, through hidden ".<name>.kv-XXXXXX" and ".<name>.bak-XXXXXX"
 * files beside it: 0, or -1 (message shown; the target is unchanged). */
KV_API int32_t kvSave(int32_t doc, const char *path);

/* State queries: 0 for a handle that names no document. */
KV_API int32_t kvIsSaved(int32_t doc);
/* 1 while the document came from a file it cannot be saved back as (mixed
 * down to stereo, or A-law/u-law), so that Save goes through Save As until
 * a save succeeds; 0 otherwise or for no document. */
KV_API int32_t kvNeedsSaveAs(int32_t doc);
KV_API int32_t kvCanUndo(int32_t doc);
KV_API int32_t kvCanRedo(int32_t doc);
KV_API int32_t kvGetNumUndo(int32_t doc);
KV_API int32_t kvGetUndoLevel(int32_t doc);
/* Copies the label of state n (at most 40 bytes with the terminator); -1 when
 * n is not a state of the document (the buffer is left alone). */
KV_API int32_t kvGetUndoText(int32_t doc, int32_t n, char *buffer);
KV_API int32_t kvGetSampleRate(int32_t doc);
KV_API int32_t kvGetChannels(int32_t doc);
/* Writes channels, rate and bits through the pointers: 0, or -1. */
KV_API int32_t kvGetProperties(int32_t doc, int32_t *channels, int32_t *rate, int32_t *bits);
/* The format the document saves in: 1 PCM, 3 floating point, 85 MP3; -1 for no document. */
KV_API int32_t kvGetFormatTag(int32_t doc);
KV_API int32_t kvIsZero(int32_t doc);
/* 1 when the selection runs from 0 to the end, 0 otherwise, -1 for no document. */
KV_API int32_t kvIsAllSelected(int32_t doc);
/* With a selection: kvIsAllSelected. Without: selects everything and returns 1. */
KV_API int32_t kvFixSelection(int32_t doc);

/* ---- Undo history ---- */

/* Each stops playback, makes another state current and redraws: 0, or -1 for
 * no document. Undo and redo do nothing at either end of the history. */
KV_API int32_t kvUndo(int32_t doc);
KV_API int32_t kvRedo(int32_t doc);
/* Makes state n current; n equal to the current level or outside the
 * history does nothing. */
KV_API int32_t kvSetHistory(int32_t doc, int32_t n);

/* ---- Headless use (tests, benchmarks, batch work; the program has a view) ---- */

/* Before kvInit: this run works beside a running editor, in a new private
 * working folder inside the system temporary folder whatever tempDrive says,
 * and kvCleanUp removes that folder and stores no record. 0, or -1 once
 * the engine runs. */
KV_API int32_t kvBatchSession(void);

/* Receives an error message's text; fatal is 1 when the process ends next. */
typedef void (*KvErrorCallback)(const char *text, int32_t fatal);
/* Every error message from now on goes to callback instead of a box or
 * standard error, without the help offer (taken as declined); null shows
 * them again: 0. */
KV_API int32_t kvSetErrorCallback(KvErrorCallback callback);

/* Sets selAnchor and selEnd (each clamped to 0..length) and editChannel (-1
 * both, 0 left, 1 right; always -1 for mono): 0 or -1. */
KV_API int32_t kvSetSelection(int32_t doc, int32_t anchor, int32_t end, int32_t channel);
/* Writes selAnchor, selEnd and editChannel through the (optional) pointers: 0 or -1. */
KV_API int32_t kvGetSelection(int32_t doc, int32_t *anchor, int32_t *end, int32_t *channel);
/* Frames in the current state; 0 for no document. */
KV_API int32_t kvGetLength(int32_t doc);
/* Reads count samples of a channel of the current state from frame start;
 * positions outside the channel read 0.0. Returns the samples that came from
 * the channel, or -1 for no document. */
KV_API int32_t kvReadFrames(int32_t doc, int32_t channel, int32_t start, int32_t count,
                            float *buffer);

/* ---- Clipboard, delete and insert silence ---- */

/* Copies the selection of the edited channels to the engine's clipboard
 * (descriptors only): 0, -1 for no document. */
KV_API int32_t kvCopy(int32_t doc);
/* Copies the selection and deletes it as the undo step "Cut". */
KV_API int32_t kvCut(int32_t doc);
/* Pastes the current clip: replace 0 inserts at the selection start,
 * otherwise the clip's length is replaced from there. */
KV_API int32_t kvPaste(int32_t doc, int32_t replace);
/* Makes clip n (0 = the first copied since start-up) the current clip. */
KV_API int32_t kvLoadClip(int32_t n);
/* Writes the current clip's channels and sample rate (0 when there is none). */
KV_API int32_t kvGetClipProp(int32_t ignored, int32_t *channels, int32_t *rate);
/* Forgets every clip, the current one included, and empties the clipboard
 * file, so that samples only clips held are deleted: 0, or -1 after the
 * message when the file cannot be written. */
KV_API int32_t kvEmptyClipboard(void);
/* Deletes the selection from the edited channels. */
KV_API int32_t kvDelete(int32_t doc);
/* Inserts silenceAmount in silenceUnit of KV_Params at the selection start. */
KV_API int32_t kvInsertSilence(int32_t doc);

/* ---- Effects ---- */

/* Runs edit `edit` (KV_EDIT_VOLUME..KV_EDIT_NOISE_REDUCTION) over the selection (the whole sound
 * when nothing is selected) as one undo step: 0, or -1 for a bad document, an edit that cannot run
 * (Paste Mix with nothing copied leaves even the selection as it was), or a cancel (the document is
 * then as it was). */
KV_API int32_t kvDoEdit(int32_t doc, int32_t edit);
/* Selects the whole sound and returns its peak level in whole dB (0 = full
 * scale; also 0 for silence). */
KV_API int32_t kvScanMax(int32_t doc);
/* Selects the whole sound and returns the largest whole dB (as Normalize
 * applies them, a gain of 2^(dB/6)) that brings no sample past full scale;
 * negative for a sound above it, 0 for silence or no document. */
KV_API int32_t kvScanNormalizeDb(int32_t doc);

/* ---- Loudness and noise ---- */

/* Parameters of the loudness and noise edits: 16 int32 fields, 64 bytes,
 * stored as "Settings"/"Repair". A record of its own, so KV_Params keeps its
 * stored layout. */
typedef struct KV_RepairParams {
    int32_t loudnessTarget;   /* integrated loudness to reach, 0.1 LUFS: -700..-50 */
    int32_t loudnessCeiling;  /* true-peak ceiling, 0.1 dBTP: -200..0 */
    int32_t noiseReductionDb; /* how far gated bins are lowered: 0..48 */
    int32_t noiseSensitivity; /* dB above the profile a bin must rise to pass: 0..24 */
    int32_t noiseSmoothing;   /* bins either side the gate averages over: 0..16 */
    int32_t noiseAttackMs;    /* how fast the gate opens: 0..500 */
    int32_t noiseReleaseMs;   /* how fast it closes: 0..2000 */
    int32_t noiseResidue;     /* 1: a preview plays what is taken away */
    int32_t reserved[8];
} KV_RepairParams;

/* Loudness of a range (ITU-R BS.1770 / EBU R128). A value too quiet to
 * measure (below the absolute gate, or digital silence) is -HUGE_VAL. */
typedef struct KV_Loudness {
    double integratedLufs;
    double rangeLu;
    double shortTermMaxLufs;
    double momentaryMaxLufs;
    double truePeakDbtp;
    double samplePeakDbfs;
} KV_Loudness;

#ifdef __cplusplus
static_assert(sizeof(KV_RepairParams) == 64, "KV_RepairParams is a stored 64-byte record");
static_assert(sizeof(KV_Loudness) == 48, "KV_Loudness is a 48-byte record");
#endif

/* After kvInit: from now on the engine reads and writes the loudness and noise
 * parameters in *params (the program's record, live for the run): a stored copy
 * replaces its contents first, each field is held to its range, and
 * kvCleanUp stores it. Until then the engine uses its own defaults. 0, or -1
 * when size is not 64 or params is null (nothing changes). */
KV_API int32_t kvSetRepairParams(KV_RepairParams *params, int32_t size);
/* Measures the selection's edited channels (the whole sound when nothing is
 * selected) into *result, with progress and Cancel: 0, or -1 for no
 * document, a bad size (48) or a cancel (nothing written). */
KV_API int32_t kvMeasureLoudness(int32_t doc, KV_Loudness *result, int32_t size);
/* Takes the noise profile for Noise Reduction from the selection (noise
 * only, at least one FFT frame long), kept with the document until it
 * closes: 0, or -1 after the message when the selection is too short. */
KV_API int32_t kvTakeNoiseProfile(int32_t doc);
/* 1 when the document has a noise profile, 0 when not, -1 for no document. */
KV_API int32_t kvHasNoiseProfile(int32_t doc);

/* ---- Pitch size and conversions ---- */

/* The duration in milliseconds that Pitch/Time Scaling would give the
 * selection with the current parameters; -1 for no document. */
KV_API int32_t kvGetPitchSize(int32_t doc);
/* Resamples the whole document to newRate Hz as the undo step "Resample":
 * 0 (also for no document), -1 for a rate more than 4096 times higher or
 * lower than the current one. */
KV_API int32_t kvConvertSampleRate(int32_t doc, int32_t newRate);
/* Makes the document mono (channels 1, mixing both at half level) or stereo
 * (2, both channels sharing the same stored samples): 0 (also for no
 * document or no change), -1 for a count other than 1 or 2. */
KV_API int32_t kvConvertChannels(int32_t doc, int32_t channels);
/* Makes every open document edit both channels: 0. */
KV_API int32_t kvForceStereo(void);

/* ---- Presets ---- */

/* Presets live in the registry section "Presets\<group>", indexed 0..Count-1
 * in the order they were added; names compare without regard to case. */
KV_API int32_t kvGetPresetCount(const char *group);
/* Reads a preset's name (rest of the buffer zero-filled): bytes, or -1. */
KV_API int32_t kvGetPresetName(const char *group, int32_t index, char *buffer, int32_t size);
/* Reads a preset's data (rest of the buffer zero-filled): bytes, or -1. */
KV_API int32_t kvLoadPreset(const char *group, int32_t index, void *buffer, int32_t size);
/* The index of the preset with this name, or -1. */
KV_API int32_t kvIsNameTaken(const char *group, const char *name);
/* Stores a preset, replacing one of the same name in place: 0. */
KV_API int32_t kvSavePreset(const char *group, const char *name, const void *data, int32_t size);
/* Removes a preset, moving the later ones down: 0, or -1 for no such index. */
KV_API int32_t kvDeletePreset(const char *group, int32_t index);

/* ---- File dialogs ---- */

/* Called once per chosen file with its full path and the path's length in bytes. */
typedef void (*KvFileNameCallback)(const char *path, int32_t length);

/* Shows the open dialog (its panel describes and previews the file under the
 * cursor) and calls callback for every file chosen: 0, -1 when cancelled or
 * when no dialog can be shown (message shown). */
KV_API int32_t kvGetFileNames(KvFileNameCallback callback);

/* Shows the save dialog for the document, starting from the path in name (a
 * buffer of at least 255 bytes) without its extension. On OK the chosen path
 * is written into name and the chosen file type, sample format, codec and
 * bit rate become the document's, for the next kvSave: 0. -1 when cancelled
 * (nothing changes) or after the message when it fails. */
KV_API int32_t kvGetSaveFile(int32_t doc, char *name);

/* Writes the format the next kvSave writes through the (optional) pointers:
 * formatTag (1 PCM, 3 float, 85 MP3, KV_FORMAT_FLAC...), bits, and bitRate (0 unless
 * MP3 or a libsndfile kind, whose setting it is): 0, -1 for no document. */
KV_API int32_t kvGetSaveFormat(int32_t doc, int32_t *formatTag, int32_t *bits, int32_t *bitRate);
/* Makes a format the save dialog offers the one the next kvSave writes, as
 * its OK does: PCM of 8, 16, 24 or 32 bits, float of 32 or 64 bits, or MP3
 * (bits ignored) at a bit rate an installed codec offers for the document's
 * channels and rate, or a libsndfile kind (see KV_FORMAT_FLAC): 0; -1 for no
 * document or a format the dialog does not offer, -2 when no codec offers that
 * bit rate or the library is missing (nothing changes either way). */
KV_API int32_t kvSetSaveFormat(int32_t doc, int32_t formatTag, int32_t bits, int32_t bitRate);

/* ---- File information and tags ---- */

/* Writes the document's description (format, path, rate, bits or bit rate,
 * channels and, for MP3, FLAC, Vorbis, Opus and AIFF files, the ID3v1
 * fields) into text, which must hold
 * 16384 bytes: 0, -1 for no document. */
KV_API int32_t kvGetInfo(int32_t doc, char *text);
/* 1 when the document carries an ID3v1 or ID3v2 tag, 0 when not, -1 for no document. */
KV_API int32_t kvHasID3(int32_t doc);
/* Drops both tags; the document then counts as changed: 0, -1 for no document. */
KV_API int32_t kvClearTags(int32_t doc);

/* ---- Waveform view ---- */

/* Zoom by a KV_ZOOM_ mode (KV_ZOOM_SELECTION does nothing without a
 * selection). Redraws and sends KV_MSG_ZOOM_CHANGED: 0. Nothing happens
 * for a document without a window. */
KV_API int32_t kvZoomSpecial(int32_t doc, int32_t mode);
/* 1 when the view can zoom further in (above 1 frame per pixel), resp. out
 * (below 262144, and in a window only until the whole sound fits it). */
KV_API int32_t kvCanZoomIn(int32_t doc);
KV_API int32_t kvCanZoomOut(int32_t doc);
/* Saved views 0..7 (firstFrame, zoom, selection and channel): kvSetView
 * stores the current one, kvLoadView brings a stored one back (an empty slot
 * does nothing), kvIsView is 1 for a stored slot. */
KV_API int32_t kvSetView(int32_t doc, int32_t slot);
KV_API int32_t kvLoadView(int32_t doc, int32_t slot);
KV_API int32_t kvIsView(int32_t doc, int32_t slot);
/* Selects the frames in the window, resp. the whole file, on both channels. */
KV_API int32_t kvSelectView(int32_t doc);
KV_API int32_t kvSelectAll(int32_t doc);
/* Moves the selection by nudgeMs of KV_Options (right when forward is not 0)
 * and makes it as long as the clipboard. */
KV_API int32_t kvNudgeSelection(int32_t doc, int32_t forward);
/* Makes the selection as long as the clipboard, keeping its lower end. */
KV_API int32_t kvUpdatePasteMixSel(int32_t doc);
/* The selection's length in milliseconds (0 when the rate is 0). */
KV_API int32_t kvGetSelSize(int32_t doc);
/* 1 when something is selected (the ends differ). */
KV_API int32_t kvIsSel(int32_t doc);
/* Lets the view follow the play cursor again. */
KV_API int32_t kvUnTouched(int32_t doc);
/* Home and End: the cursor to frame 0, resp. the end, unless the whole file
 * is selected, and the view there. */
KV_API int32_t kvToStart(int32_t doc);
KV_API int32_t kvToEnd(int32_t doc);
/* Redraws one document in full, resp. every document with its drawing
 * objects made again (after colours or display options changed): 0. */
KV_API int32_t kvRefresh(int32_t doc);
KV_API int32_t kvFullRefresh(void);
/* Waits for the display's vertical blank where the platform offers it
 * (this one does not: it returns at once): 0. */
KV_API int32_t kvWaitForSync(void);

/* Sends the status texts (messages KV_MSG_SEL_START..KV_MSG_RATE) that changed, all of them when
 * full is not 0, then KV_MSG_CLIPBOARD with the clipboard's clip count: 0. */
KV_API int32_t kvDoStatus(int32_t doc, int32_t full);
/* The level meter's canvas (a QWidget, null for none) and its width in
 * pixels; blanks the meter: 0. */
KV_API int32_t kvSetVUParams(KvWindow canvas, int32_t width);
/* Shows the colour chooser starting at colour (0x00BBGGRR) with the stored
 * custom colours: the colour chosen, or colour when cancelled. */
KV_API int32_t kvGetColor(KvWindow owner, int32_t colour);
/* Shows help: command 1 topic `data`, command 11 the contents, from the help
 * pages beside helpFile: 0. */
KV_API int32_t kvShowHelp(KvWindow window, const char *helpFile, int32_t command, int32_t data);

/* ---- Playback ---- */

/* Plays the selection, or the whole file from the cursor, on the device
 * named by playDevice at a KV_PLAY_ speed. A new speed for the range
 * already playing carries on from the play cursor. 0 (also for an empty document, which plays
 * nothing), or -1 for no document. Device errors are shown by the engine. */
KV_API int32_t kvPlay(int32_t doc, int32_t speed);
/* Stops whatever plays, waiting at most about a second for it to end: 0. */
KV_API int32_t kvStop(void);
/* Stops; without a selection (or with all selected) the edit cursor moves to
 * where the play cursor was. 0, or -1 for no document. */
KV_API int32_t kvPause(int32_t doc);
/* 1 while any playback thread runs, else 0. */
KV_API int32_t kvIsPlaying(void);
/* Plays the selection processed live by edit editNumber (KV_Params as it is
 * at each buffer; previewBypass plays it unprocessed), looping until
 * stopped: 0, or -1 for no document. */
KV_API int32_t kvPreviewStart(int32_t doc, int32_t editNumber);
/* Stops, then plays the current clip once at its own rate; the message
 * window receives KV_MSG_CLIP_PLAYED when it has ended: 0. */
KV_API int32_t kvPreviewClip(void);
/* Sound devices with outputs (input 0) or inputs (input 1), numbered from 0
 * in the system's order: their count. */
KV_API int32_t kvGetDeviceCount(int32_t input);
/* Copies the name of device n (at most size bytes with the terminator): the
 * bytes copied, or -1 when there is no device n. */
KV_API int32_t kvGetDeviceName(int32_t input, int32_t n, char *buffer, int32_t size);

/* ---- Recording ---- */

/* Stops an input thread that runs, then starts one that monitors the input
 * device named by recordDevice for the document (level meter, nothing
 * stored): 0. An input device that cannot be opened is reported by the
 * engine. */
KV_API int32_t kvRecStart(int32_t doc);
/* Ends the input thread, waiting at most about a second: 0. */
KV_API int32_t kvRecStop(void);
/* Begins storing the input at the cursor (recordMode 0: at the selection's
 * later end; 1: replacing the selection) as the undo step "Record": 0, or -1
 * for no document. */
KV_API int32_t kvRecord(int32_t doc);
/* Ends storing and completes the step; the take is selected: 0, or -1 for no
 * document (or when the take could not be stored). */
KV_API int32_t kvStopRecording(int32_t doc);
/* With a window: it receives the elapsed time from now on and the total
 * restarts at 0. With a null window: adds frames to the total and sends the
 * time "mm:ss.mmm" as KV_MSG_REC_TIME (wParam: the text, lParam: its length): 0. */
KV_API int32_t kvUpdateRecTime(int32_t doc, KvWindow window, int32_t frames);
/* Opens the recording mixer of input device n's sound card: its number of
 * sources, with "<line> for <card>" copied to title (at most size bytes), or
 * -1 when the card has no recording mixer. One mixer is open at a time. */
KV_API int32_t kvMixerOpen(int32_t device, char *title, int32_t size);
/* Copies the name of source n: the bytes copied, or -1 for no source n. */
KV_API int32_t kvMixerSourceName(int32_t n, char *buffer, int32_t size);
/* Control 0 (level 0..100), 1 (selected 0/1) or 2 (muted 0/1) of source n:
 * its value, or -1 when the source has no such control. */
KV_API int32_t kvMixerGet(int32_t n, int32_t control);
/* Sets a control of source n at once: 0, or -1 when it cannot be set. */
KV_API int32_t kvMixerSet(int32_t n, int32_t control, int32_t value);
/* Closes the open mixer: 0. */
KV_API int32_t kvMixerClose(void);

/* ---- Recently used files, command file, shortcuts, window position ---- */

/* Number of entries in the recently used list, 0..8 (0 when none is stored). */
KV_API int32_t kvGetMRUCount(void);

/* Copies entry index (0 = most recent) into buffer, at most size bytes, and
 * zero-fills the rest of size: the bytes copied, or -1 when index is not in the
 * list or the entry is longer than size. */
KV_API int32_t kvGetMRU(char *buffer, int32_t index, int32_t size);

/* Makes path the most recent entry; an entry equal to it apart from ASCII
 * letter case moves to the front and takes path's spelling; a ninth entry
 * drops the oldest. 0, or -1 for a null or empty path. */
KV_API int32_t kvSetMRU(const char *path);

/* Removes every entry whose file no longer exists, keeping the others' order: 0. */
KV_API int32_t kvCheckMRU(void);

/* Writes text (without its NUL) as the command file "<number>.cmd" in the
 * user's temporary folder, replacing any earlier one: 0, or -1 (not shown). */
KV_API int32_t kvWriteCmdFile(int32_t number, const char *text);

/* Reads at most 255 bytes of command file number over the start of buffer and
 * deletes the file; a missing file leaves buffer alone. Returns the count of
 * bytes before the first NUL among the first 255 of buffer, so a caller that
 * fills it with 255 spaces and a NUL gets 255 and trims. -1 for a null buffer. */
KV_API int32_t kvReadCmdFile(int32_t number, char *buffer);

/* Copies the folder for the single-instance lock and socket, one only this
 * user can use ($XDG_RUNTIME_DIR, else a checked 0700 folder of ours), into
 * buffer: its length, or -1 when there is none or it does not fit (buffer
 * untouched). */
KV_API int32_t kvGetInstanceFolder(char *buffer, int32_t size);

/* Size of kvResolveLink's outPath buffer, terminator included. */
#define KV_LINK_PATH_SIZE 260

/* Writes a shortcut to targetPath (made absolute) at linkPath, a desktop entry
 * of type Link: 0, or -1 when it cannot be written. */
KV_API int32_t kvCreateLink(const char *linkPath, const char *targetPath);

/* Puts the existing local target of shortcut linkPath into outPath
 * (KV_LINK_PATH_SIZE bytes) and returns 0. A file that is not a shortcut, or
 * one whose target is gone, leaves outPath empty and also returns 0; -2 when
 * the target's path does not fit (outPath stays empty). */
KV_API int32_t kvResolveLink(const char *linkPath, char *outPath);

/* Stored frame position (20 bytes, setting "Settings"/"Window Position").
 * Pixels are the toolkit's device-independent pixels; state 0 normal, 2 maximized. */
typedef struct KV_WinPos {
    int32_t left;
    int32_t top;
    int32_t state;
    int32_t width;
    int32_t height;
} KV_WinPos;

#ifdef __cplusplus
static_assert(sizeof(KV_WinPos) == 20, "KV_WinPos is a stored 20-byte record");
#endif

/* Keeps the window on the primary screen's work area: the size is cut to the
 * area, then raised to at least 300 x 200, then the window is moved inside the
 * area (its left and top edges win when it cannot fit). Without any screen only
 * the minimum size and a non-negative corner apply. state is not touched.
 * 0, or -1 when size is not 20. */
KV_API int32_t kvValidateWinPos(KV_WinPos *record, int32_t size);

/* ---- Spectrogram and vertical zoom ---- */

/* What a document window shows in each channel's lane. */
enum {
    KV_DISPLAY_WAVEFORM = 0,
    KV_DISPLAY_SPECTROGRAM = 1,
    KV_DISPLAY_BOTH = 2 /* the waveform above the spectrogram in every lane */
};
/* The spectrogram's frequency axis. */
enum { KV_FREQUENCY_LINEAR = 0, KV_FREQUENCY_LOG = 1 };
/* The spectrogram's colours: perceptually uniform, or the colour scheme's
 * background, wave and selected-wave colours. */
enum { KV_COLORMAP_PERCEPTUAL = 0, KV_COLORMAP_SCHEME = 1 };
/* Labels of the amplitude ruler. */
enum { KV_AMPLITUDE_DB = 0, KV_AMPLITUDE_LINEAR = 1 };
/* Steps of kvZoomVertical. */
enum { KV_VZOOM_IN = 0, KV_VZOOM_OUT = 1, KV_VZOOM_RESET = 2 };
/* The largest vertical magnification (60 dB). */
#define KV_MOST_VERTICAL_ZOOM 1024

/* The spectrogram's level range and gain, in dB. */
#define KV_LEAST_SPECTRUM_RANGE_DB 20
#define KV_MOST_SPECTRUM_RANGE_DB 150
#define KV_LEAST_SPECTRUM_GAIN_DB (-40)
#define KV_MOST_SPECTRUM_GAIN_DB 60

/* Display settings: 16 int32 fields, 64 bytes, stored as "Settings"/"Display".
 * The engine holds its own copy (kvGetViewOptions and kvSetViewOptions). */
typedef struct KV_ViewOptions {
    int32_t frequencyScale; /* KV_FREQUENCY_LINEAR or KV_FREQUENCY_LOG */
    int32_t colorMap;       /* KV_COLORMAP_PERCEPTUAL or KV_COLORMAP_SCHEME */
    int32_t rangeDb;        /* levels shown, 20..150 dB below the top colour */
    int32_t gainDb;         /* added to every level before colouring, -40..60 */
    int32_t amplitudeRuler; /* KV_AMPLITUDE_DB or KV_AMPLITUDE_LINEAR */
    int32_t newWindowMode;  /* the KV_DISPLAY_ mode a new window starts in */
    int32_t reserved[10];
} KV_ViewOptions;

#ifdef __cplusplus
static_assert(sizeof(KV_ViewOptions) == 64, "KV_ViewOptions is a stored 64-byte record");
#endif

/* Copies the engine's display settings (restored at kvInit, stored at
 * kvCleanUp) into *options: 0, or -1 when size is not 64 or options is null. */
KV_API int32_t kvGetViewOptions(KV_ViewOptions *options, int32_t size);
/* Makes *options the display settings, each field held to its range, and
 * redraws every window: 0, or -1 when size is not 64 or options is null
 * (nothing changes). */
KV_API int32_t kvSetViewOptions(const KV_ViewOptions *options, int32_t size);
/* Shows the document's window as waveform, spectrogram or both (a
 * KV_DISPLAY_ value) and redraws it: 0, or -1 for a document without a
 * window or an unknown mode (nothing changes). */
KV_API int32_t kvSetDisplayMode(int32_t doc, int32_t mode);
/* The window's KV_DISPLAY_ mode, -1 for a document without a window. */
KV_API int32_t kvGetDisplayMode(int32_t doc);
/* Magnifies the waveform's amplitude twice (KV_VZOOM_IN), halves it
 * (KV_VZOOM_OUT, never below full scale) or back to full scale
 * (KV_VZOOM_RESET), and redraws: 0, or -1 for a document without a window
 * or an unknown step. */
KV_API int32_t kvZoomVertical(int32_t doc, int32_t step);
/* The window's vertical magnification, 1..KV_MOST_VERTICAL_ZOOM; -1 for a
 * document without a window. */
KV_API int32_t kvGetVerticalZoom(int32_t doc);

/* The lowest and highest value one int32 field of KV_Params may hold: the
 * range its dialog control offers and the one a restored record is held to. */
typedef struct KV_ParamRange {
    int32_t lowest;
    int32_t highest;
} KV_ParamRange;

#ifdef __cplusplus
static_assert(sizeof(KV_ParamRange) == 8, "KV_ParamRange is an 8-byte record");
#endif

/* Writes to *range the range of the KV_Params field that starts `offset`
 * bytes into the record (offsetof): 0, or -1 when range is null or that
 * field keeps no plain range (nothing written). */
KV_API int32_t kvGetParamRange(int32_t offset, KV_ParamRange *range);

#ifdef __cplusplus
}
#endif

#endif /* KORVEL_H */
