/*
 * cli_formats.cpp - the format rows: the save dialog's WAVE attributes and
 * MPEG Layer-3.
 */
#include "app/cli/cli_formats.h"

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
         .summary = "MPEG Layer-3 through the installed encoder; --bitrate KBITS"},
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
        if (format.formatTag == formatTag && (format.hasBitRate || format.bits == bits))
            return &format;
    return nullptr;
}
