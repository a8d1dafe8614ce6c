/*
 * options_controls.h - what the options dialog's files share: small control
 * makers, the FFT lists and the colour conversion.
 */
#ifndef KV_APP_OPTIONS_CONTROLS_H
#define KV_APP_OPTIONS_CONTROLS_H

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QPushButton>
#include <QStringList>
#include <cstdint>

inline constexpr int mdlFftSizes[6] = {256, 512, 1024, 2048, 4096, 8192};
inline constexpr int mdlFftOverlaps[4] = {4, 8, 16, 32};

/* The position of value among count values, or -1. */
inline int mdlIndexOf(const int *values, int count, int value) {
    for (int i = 0; i < count; i++)
        if (values[i] == value) return i;
    return -1;
}

/* A stored 0x00BBGGRR colour as Qt's. */
inline QColor mdlColorOf(int32_t value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

inline QComboBox *mdlList(QWidget *owner, const QString &name, const QStringList &items) {
    auto *list = new QComboBox(owner);
    list->setObjectName(name);
    list->addItems(items);
    return list;
}

inline QCheckBox *mdlCheck(QWidget *owner, const QString &name, const QString &caption) {
    auto *box = new QCheckBox(caption, owner);
    box->setObjectName(name);
    return box;
}

inline QPushButton *mdlButton(QWidget *owner, const QString &name, const QString &caption) {
    auto *button = new QPushButton(caption, owner);
    button->setObjectName(name);
    return button;
}

#endif
