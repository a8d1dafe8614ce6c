/*
 * frm_main.cpp - the frame window.
 */
#include "app/shell/frm_main.h"

#include <QCloseEvent>
#include <QMdiArea>

frmMain::frmMain(KV_Options *options, KV_Params *params) : options(options), params(params) {
    setObjectName("frmMain");
    setWindowTitle("Korvel");
    resize(800, 560);
    createCentralArea();
}

frmMain::~frmMain() { stopEngine(); }

void frmMain::createCentralArea() {
    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName("mdiArea");
    setCentralWidget(mdiArea);
}

bool frmMain::startEngine() {
    if (engineRunning) return true;
    engineRunning = kvInit(this, options, sizeof *options, params, sizeof *params, nullptr,
                           nullptr, nullptr) == 0;
    return engineRunning;
}

void frmMain::stopEngine() {
    if (!engineRunning) return;
    kvCleanUp();
    engineRunning = false;
}

void frmMain::closeEvent(QCloseEvent *event) {
    stopEngine();
    event->accept();
}
