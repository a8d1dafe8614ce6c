/*
 * factory_presets.h - the presets Korvel ships for its equalizer,
 * compressor, echo and reverb dialogs.
 *
 * They live in the program, not in the user's preset store: they can be
 * loaded like the user's own but never overwritten or deleted, and a new
 * version of the program can improve them. Each is a whole copy of the
 * group's record slice, field by field in the record's order.
 */
#ifndef KV_APP_FACTORY_PRESETS_H
#define KV_APP_FACTORY_PRESETS_H

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <vector>

struct MdlFactoryPreset {
    const char *name;
    std::vector<int32_t> fields;
};

/* The shipped presets of a preset group, in menu order; none for a group
 * without any. */
const std::vector<MdlFactoryPreset> &mdlFactoryPresets(const QByteArray &group);

#endif
