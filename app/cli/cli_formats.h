/*
 * cli_formats.h - the file formats korvel-cli writes, one row each.
 *
 * A row names a format the engine's save offers (the save dialog's list), so
 * a new format the engine learns is one more row here.
 */
#ifndef KV_CLI_FORMATS_H
#define KV_CLI_FORMATS_H

#include <QString>
#include <cstdint>
#include <vector>

struct CliFormat {
    const char *name;
    const char *extension;
    int32_t formatTag; /* as kvSetSaveFormat takes it */
    int32_t bits;
    bool hasBitRate; /* takes --bitrate: kbit/s, or the FLAC level or Vorbis quality */
    const char *summary;
    int32_t setting = 0; /* the --bitrate value when none is given and the format changes */
};

const std::vector<CliFormat> &cliFormats();
const CliFormat *cliFindFormat(const QString &name);
/* The row written for an extension when the sound's own format cannot be
 * kept (the first row with it), or null. */
const CliFormat *cliFormatForExtension(const QString &extension);
/* The row of a format the engine reports, or null. */
const CliFormat *cliFormatOf(int32_t formatTag, int32_t bits);

/* The bit rate of MP3 output when none is given and the sound was not MP3. */
constexpr int32_t cliDefaultBitRate = 128;

#endif
