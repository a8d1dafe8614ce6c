/*
 * accessible.h - names for screen readers on the controls of a window.
 *
 * A button or check box already speaks its own caption; a list, slider,
 * number box or text box has no caption of its own, so it is named after
 * the label that introduces it (its buddy), else its tool tip, else its
 * object name without the kind prefix ("sldVolume" reads "Volume"). A name
 * set by hand is never replaced, so windows can still choose better ones.
 */
#ifndef KV_APP_ACCESSIBLE_H
#define KV_APP_ACCESSIBLE_H

class QLabel;
class QWidget;

/* Gives every control inside `window` that has no accessible name one, as
 * described above. Safe to call again after controls were added. */
void mdlNameControls(QWidget *window);

/* A field of a status line: a screen reader hears its accessible name as
 * what the field shows ("Zoom") and its current text as its value ("64:1"),
 * which a plain label, named by hand, would not give at all. */
void mdlMarkStatusField(QLabel *field);

/* True for widgets a user operates (buttons, lists, sliders, number and
 * text boxes, scroll bars, item views), as opposed to labels and frames. */
bool mdlIsControl(const QWidget *widget);

#endif
