/*
 * open.cpp - kvOpen: reading a sound file into an empty document.
 *
 * WAVE files (PCM, IEEE float, A-law and u-law, plain, extensible or RF64)
 * are loaded here; everything else is offered to the codec bridge. Only plain files are read: a
 * pipe would hold the program until someone writes to it, a device could feed it for ever. Whatever
 * goes wrong, the document is left empty and the program closes its window.
 */
#include "engine/codec/codec.h"
#include "engine/core/services.h"
#include "engine/document/document.h"
#include "engine/document/wave.h"
#include "engine/platform/fileio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

/* The fields a document has before anything is loaded into it. */
static void kvPrepareForLoading(KV_Document *document, const char *path) {
    KV_State *state = document->current;
    std::snprintf(document->path, sizeof document->path, "%s", path);
    std::snprintf(state->label, sizeof state->label, "%s", "Original File");
    state->framesPerPixel = 64;
    state->length = 0;
    state->selAnchor = state->selEnd = 0;
    state->editChannel = -1;
    state->firstFrame = 0;
}

/* Takes the format of a header that passed the checks. A-law and u-law
 * samples are 16-bit values once expanded, and a file of more than two
 * channels becomes stereo; neither can be saved back as it was, so the
 * first save of such a document asks where to. */
static void kvTakeWaveFormat(KV_Document *document, const KvWaveHeader &header) {
    bool companded = header.subFormat == KV_WAVE_ALAW || header.subFormat == KV_WAVE_MULAW;
    document->bitsPerSample = companded ? 16 : header.bitsPerSample;
    document->formatTag = companded ? KV_WAVE_PCM : header.subFormat;
    document->variableBitRate = 0;
    document->codecDriver = nullptr;
    document->level = 0;
    document->stateCount = 1;
    document->saveAsFirst = companded || header.channels > 2;
    document->current->channels = header.channels > 2 ? 2 : header.channels;
    document->current->sampleRate = header.sampleRate;
}

extern "C" KV_API int32_t kvOpen(int32_t doc, const char *path) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || !path) return -1;
    if (std::strlen(path) >= sizeof document->path)
        return kvError(0, "Can't open file: %s", std::strerror(ENAMETOOLONG));
    int32_t file = kvFileOpen(path, KV_FILE_READ);
    if (file < 0 && errno == KV_FILE_NOT_REGULAR)
        return kvError(0, "Can't open %s\n\nIt is a %s, not a sound file.", path, kvFileKind(path));
    if (file < 0) return kvError(0, "Can't open file: %s", std::strerror(errno));
    kvPrepareForLoading(document, path);
    document->saveAsFirst = 0;
    KvWaveHeader header;
    kvReadWaveHeader(file, &header);
    int32_t result;
    if (kvIsForeignFile(header)) {
        KvSoundKind kind = kvSoundKindOfFile(file);
        result =
            kind != KV_SOUND_NONE ? kvOpenSoundFile(doc, file, kind) : kvOpenCompressed(doc, file);
    } else if (std::string problem = kvCheckWaveHeader(header, path); !problem.empty()) {
        result = kvError(0, "%s", problem.c_str());
    } else {
        kvTakeWaveFormat(document, header);
        result = kvLoadWave(doc, file, header);
    }
    kvFileClose(file);
    return result;
}
