/*
 * frm_progress.h - the progress window shown during long engine operations.
 *
 * It is owned by the frame and stays usable while the frame's contents are
 * disabled during an engine call, so "&Cancel" can be pressed.
 */
#ifndef KV_APP_FRM_PROGRESS_H
#define KV_APP_FRM_PROGRESS_H

#include "korvel.h"

#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;

class frmProgress : public QDialog {
    Q_OBJECT
  public:
    frmProgress(QWidget *frame, KV_Params *params);

    /* The engine's progress report (see mdlProgress). */
    void report(const char *text, int32_t textLength, int32_t percent, int32_t secondsLeft);

    bool isShown() const { return shown; }

    QLabel *lblStatus;
    QLabel *lblPercent;
    QLabel *lblTime;
    QProgressBar *bar;
    QPushButton *cmdCancel;

  private:
    void hideWindow();
    void showWindow();
    void cmdCancel_Click();

    KV_Params *params;
    bool shown = false;
    int32_t lastPercent = 0;
    int32_t lastSeconds = 0;
    QString title;
};

/* "ETA: " with whole minutes and two-digit seconds: 125 reads "ETA: 2:05". */
QString mdlEtaText(int32_t seconds);

#endif
