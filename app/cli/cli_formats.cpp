/*
 * cli_formats.cpp - the format rows: the save dialog's WAVE attributes, MPEG
 * Layer-3 and the libsndfile kinds.
 */
#include "app/cli/cli_formats.h"
#include "korvel.h"

const std::vector<CliFormat> &cliFormats() {
    static const std::vector<CliFormat> formats = {
        {.name = "wav16",
         .extension = "wav",
         .formatTag = 1,
         .bits = 16,
         .hasBitRate = false,
         .summary = "WAVE, 16-bit signed PCM"},
        {.name = "wav8",
         .extension = "wav",
         .formatTag = 1,
         .bits = 8,
         .hasBitRate = false,
         .summary = "WAVE, 8-bit unsigned PCM"},
        {.name = "wav24",
         .extension = "wav",
         .formatTag = 1,
         .bits = 24,
         .hasBitRate = false,
         .summary = "WAVE, 24-bit signed PCM"},
        {.name = "wav32",
         .extension = "wav",
         .formatTag = 1,
         .bits = 32,
         .hasBitRate = false,
         .summary = "WAVE, 32-bit signed PCM"},
        {.name = "float",
         .extension = "wav",
         .formatTag = 3,
         .bits = 32,
         .hasBitRate = false,
         .summary = "WAVE, 32-bit IEEE float"},
        {.name = "double",
         .extension = "wav",
         .formatTag = 3,
         .bits = 64,
         .hasBitRate = false,
         .summary = "WAVE, 64-bit IEEE float"},
        {.name = "mp3",
         .extension = "mp3",
         .formatTag = 85,
         .bits = 16,
         .hasBitRate = true,
         .summary = "MPEG Layer-3 through the installed encoder; --bitrate KBITS",
         .setting = cliDefaultBitRate},
        {.name = "flac",
         .extension = "flac",
         .formatTag = KV_FORMAT_FLAC,
         .bits = 16,
         .hasBitRate = true,
         .summary = "FLAC, 16-bit, through libsndfile; --bitrate LEVEL (1-8, default 5)",
         .setting = 5},
        {.name = "flac24",
         .extension = "flac",
         .formatTag = KV_FORMAT_FLAC,
         .bits = 24,
         .hasBitRate = true,
         .summary = "FLAC, 24-bit, through libsndfile; --bitrate LEVEL (1-8, default 5)",
         .setting = 5},
        {.name = "ogg",
         .extension = "ogg",
         .formatTag = KV_FORMAT_VORBIS,
         .bits = 16,
         .hasBitRate = true,
         .summary = "Ogg Vorbis through libsndfile; --bitrate QUALITY (1-10, default 6)",
         .setting = 6},
        {.name = "opus",
         .extension = "opus",
         .formatTag = KV_FORMAT_OPUS,
         .bits = 16,
         .hasBitRate = true,
         .summary = "Opus through libsndfile (8-48 kHz); --bitrate KBITS (default 128)",
         .setting = 128},
        {.name = "aiff",
         .extension = "aif",
         .formatTag = KV_FORMAT_AIFF,
         .bits = 16,
         .hasBitRate = false,
         .summary = "AIFF, 16-bit, through libsndfile"},
        {.name = "aiff24",
         .extension = "aif",
         .formatTag = KV_FORMAT_AIFF,
         .bits = 24,
         .hasBitRate = false,
         .summary = "AIFF, 24-bit, through libsndfile"},
    };
    return formats;
}

const CliFormat *cliFindFormat(const QString &name) {
    for (const CliFormat &format : cliFormats())
        if (name == QLatin1String(format.name)) return &format;
    return nullptr;
}

const CliFormat *cliFormatForExtension(const QString &extension) {
    for (const CliFormat &format : cliFormats())
        if (extension.compare(QLatin1String(format.extension), Qt::CaseInsensitive) == 0)
            return &format;
    return nullptr;
}

const CliFormat *cliFormatOf(int32_t formatTag, int32_t bits) {
    for (const CliFormat &format : cliFormats())
        if (format.formatTag == formatTag && (format.formatTag == 85 || format.bits == bits))
            return &format;
    return nullptr;
}
