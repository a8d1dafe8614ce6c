/*
 * slider_column.h - the captioned slider columns of the dynamics and tool
 * dialogs, and quiet setters for re-reading controls from KV_Params.
 *
 * Those dialogs re-read all their controls at once (on opening and after a
 * preset is loaded) and then write every field back from what the controls
 * show, so a stored value outside a control's range is corrected in the
 * record instead of silently differing from what the user sees.
 */
#ifndef KV_APP_SLIDER_COLUMN_H
#define KV_APP_SLIDER_COLUMN_H

#include <QString>

class QAbstractButton;
class QAbstractSlider;
class QLabel;
class QSlider;
class QVBoxLayout;
class QWidget;

/* A column of `caption` above `slider` above its value label (made here,
 * named `valueName`); the label is returned through `value`. */
QVBoxLayout *mdlSliderColumn(QWidget *owner, const QString &caption, QSlider *slider,
                             const QString &valueName, QLabel **value);

/* Set a control without emitting its change signals. */
void mdlSetQuietly(QAbstractSlider *slider, int value);
void mdlSetQuietly(QAbstractButton *button, bool checked);

/* A whole-dB level as the dialogs show it: "-12 db". */
QString mdlDbText(int db);

#endif
