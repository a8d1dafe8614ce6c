/*
 * frm_mdi.h - the frame window: owner of every document window and the
 * window the engine sends its notifications and message boxes to.
 */
#ifndef KV_APP_FRM_MDI_H
#define KV_APP_FRM_MDI_H

#include "engine/core/korvel.h"

#include <QMainWindow>

class QMdiArea;

class frmMDI : public QMainWindow {
    Q_OBJECT
  public:
    frmMDI(KV_Options *options, KV_Params *params);
    ~frmMDI() override;

    /* Starts the engine with this window as its message window. */
    bool startEngine();

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void createCentralArea();
    void stopEngine();

    KV_Options *options;
    KV_Params *params;
    QMdiArea *mdiArea = nullptr;
    bool engineRunning = false;
};

#endif
