/*
 * frm_record.h - the recording window: input device and recording mode,
 * Record / Stop / Play / Done, the state shown as text, title and a
 * blinking picture, the elapsed time, the level meter and the mixer panel.
 *
 * The engine monitors, records and plays; this window only starts and stops
 * it and shows the time the input thread sends it as KV_MSG_REC_TIME.
 */
#ifndef KV_APP_FRM_RECORD_H
#define KV_APP_FRM_RECORD_H

#include "korvel.h"

#include <QDialog>

#include <array>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QTimer;

class frmRecord : public QDialog {
    Q_OBJECT
  public:
    /* Records into document `doc`; `position` is the frame's position field,
     * which the time display copies while the document plays. */
    frmRecord(QWidget *owner, KV_Options *options, int32_t doc, QLabel *position);

    QComboBox *cmbDevice;
    QComboBox *cmbRecMode;
    QLabel *lblDevice;
    QLabel *lblRecMode;
    QLabel *lblNoDevice; /* shown only when there is no input device */
    QPushButton *cmdStart;
    QPushButton *cmdStop;
    QPushButton *cmdPlay;
    QPushButton *cmdMixer;
    QPushButton *cmdDone;
    QPushButton *cmdHelp;
    QLabel *lStatus;
    QLabel *picStatus;
    QLabel *lTime;
    QWidget *picVU;
    QCheckBox *chkAutoStart;
    QGroupBox *fraMixer;

    void cmdStart_Click();
    void cmdStop_Click();
    void cmdPlay_Click();
    void cmdMixer_Click();
    /* Applies the time display's size and colours from the options. */
    void applyTimeLook();

    /* The engine's count of input devices; tests put their own here. */
    static std::function<int32_t(int32_t)> deviceCountCall;

  protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void Form_Load();
    void cmbDevice_Click(int index);
    void showNoInputDevice();
    void setStatus(const QString &status);
    void setListsEnabled(bool enabled);
    void buildMixerPanel();
    void timeMenu(const QPoint &at);
    bool moveAcrossSources(QObject *watched, QKeyEvent *key);

    KV_Options *options;
    int32_t doc;
    QLabel *position;
    QTimer *tmrRecord;
    QTimer *tmrPlay;
    bool recording = false;
    bool playing = false;
    bool blink = false;
    bool loaded = false;
    /* Per mixer source: level slider, Select box, Mute box. */
    std::vector<std::array<QWidget *, 3>> mixerControls;
};

#endif
