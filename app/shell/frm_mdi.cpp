/*
 * frm_mdi.cpp - the frame window.
 */
#include "app/shell/frm_mdi.h"

#include <QCloseEvent>
#include <QMdiArea>

frmMDI::frmMDI(KV_Options *options, KV_Params *params) : options(options), params(params) {
    setObjectName("frmMDI");
    setWindowTitle("Korvel");
    resize(800, 560);
    createCentralArea();
}

frmMDI::~frmMDI() {
    stopEngine();
}

void frmMDI::createCentralArea() {
    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName("mdiArea");
    setCentralWidget(mdiArea);
}

bool frmMDI::startEngine() {
    if (engineRunning) return true;
    engineRunning = kvInit(this, options, sizeof *options, params, sizeof *params, nullptr, nullptr,
                           nullptr) == 0;
    return engineRunning;
}

void frmMDI::stopEngine() {
    if (!engineRunning) return;
    kvCleanUp();
    engineRunning = false;
}

void frmMDI::closeEvent(QCloseEvent *event) {
    stopEngine();
    event->accept();
}
