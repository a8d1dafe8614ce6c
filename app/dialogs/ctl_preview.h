/*
 * ctl_preview.h - the strip every effect dialog carries: OK, Cancel and Help,
 * the live preview with its bypass, and the edge cross-fade choice.
 *
 * The strip writes its choices straight into KV_Params, where the engine reads
 * them while previewing and when the edit runs. The fade box stands for
 * fadeEdgesWhole when the edit will cover the whole sound and for fadeEdges
 * otherwise, so the user sees the switch the dispatcher will really use.
 */
#ifndef KV_APP_CTL_PREVIEW_H
#define KV_APP_CTL_PREVIEW_H

#include "korvel.h"

#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

class ctlPreview : public QWidget {
    Q_OBJECT
  public:
    ctlPreview(QWidget *owner, KV_Params *params);

    /* Reads the fade choice for the current dialog document. previewKind is
     * the edit number to preview, or KV_EDIT_NONE for a dialog without
     * preview. */
    void Init(bool fixSelection, int32_t previewKind, int32_t helpTopic = 0);
    void StartPreview();
    void StopPreview();
    bool IsPreviewing() const { return previewing; }
    void NoFade();
    void NoBypass();

    /* The engine calls of the preview button; tests put recorders here. */
    static std::function<int32_t(int32_t, int32_t)> previewStartCall;
    static std::function<int32_t()> previewStopCall;

    QGroupBox *fraPreview;
    QPushButton *cmdPreview;
    QCheckBox *chkBypass;
    QCheckBox *chkFade;
    QComboBox *cmbFade;
    QLabel *lblMilliseconds;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
    QPushButton *cmdHelp;

    int32_t wholeTarget = 0;

  signals:
    /* OK (confirmed) or Cancel was pressed. */
    void done(bool confirmed);
    void previewStarted();
    void previewStopped();

  private:
    void fadeToggled(bool ticked);
    void previewFailed();
    void fadeTyped(const QString &text);
    void fadeLeft();
    void togglePreview();

    KV_Params *params;
    int32_t previewKind = 0;
    int32_t helpTopic = 0;
    bool previewing = false;
};

#endif
