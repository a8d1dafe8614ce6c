/*
 * color.cpp - kvGetColor: the colour chooser of the options dialog.
 *
 * Qt's own colour dialog is used rather than the desktop's, because only it
 * keeps the 16 custom colours that Korvel stores under "Settings"/"Custom
 * Colors" between runs. They are written back even when the user cancels,
 * as a colour added to the custom row is kept either way.
 */
#include "korvel.h"

#include <QColorDialog>
#include <QWidget>

#include <cstring>

static QColor kvColorOf(int32_t value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

static int32_t kvValueOf(const QColor &color) {
    return color.red() | color.green() << 8 | color.blue() << 16;
}

/* The stored custom colours; all black unless exactly 64 bytes are stored. */
static void kvLoadCustomColors() {
    int32_t stored[16] = {};
    if (kvGetReg("Settings", "Custom Colors", stored, sizeof stored) != sizeof stored)
        std::memset(stored, 0, sizeof stored);
    for (int32_t i = 0; i < 16; i++)
        QColorDialog::setCustomColor(i, kvColorOf(stored[i]));
}

static void kvStoreCustomColors() {
    int32_t stored[16];
    for (int32_t i = 0; i < 16; i++)
        stored[i] = kvValueOf(QColorDialog::customColor(i));
    kvSetReg("Settings", "Custom Colors", stored, sizeof stored);
}

extern "C" KV_API int32_t kvGetColor(KvWindow owner, int32_t colour) {
    kvLoadCustomColors();
    QColorDialog dialog(kvColorOf(colour), static_cast<QWidget *>(owner));
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    int32_t chosen = colour;
    if (dialog.exec() == QDialog::Accepted) chosen = kvValueOf(dialog.selectedColor());
    kvStoreCustomColors();
    return chosen;
}
