/*
 * slider_column.cpp - slider columns and quiet setters for the tool dialogs.
 */
#include "app/dialogs/slider_column.h"

#include <QAbstractButton>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

QVBoxLayout *mdlSliderColumn(QWidget *owner, const QString &caption, QSlider *slider,
                             const QString &valueName, QLabel **value) {
    auto *column = new QVBoxLayout;
    auto *title = new QLabel(caption, owner);
    title->setAlignment(Qt::AlignHCenter);
    title->setBuddy(slider);
    *value = new QLabel(owner);
    (*value)->setObjectName(valueName);
    (*value)->setAlignment(Qt::AlignHCenter);
    (*value)->setMinimumWidth((*value)->fontMetrics().horizontalAdvance("-000.0 ms"));
    slider->setMinimumHeight(150);
    column->addWidget(title);
    column->addWidget(slider, 1, Qt::AlignHCenter);
    column->addWidget(*value);
    return column;
}

void mdlSetQuietly(QAbstractSlider *slider, int value) {
    QSignalBlocker quiet(slider);
    slider->setValue(value);
}

void mdlSetQuietly(QAbstractButton *button, bool checked) {
    QSignalBlocker quiet(button);
    button->setChecked(checked);
}

QString mdlDbText(int db) {
    return QString::number(db) + " dB";
}
