/*
 * frm_progress.cpp - the progress window and the engine's progress callback.
 *
 * Reports come on the user-interface thread from inside engine calls, so the
 * window lets pending events run itself: when it appears and after each
 * report, which is what makes "&Cancel" pressable mid-operation.
 * Labels are repainted at once because the event loop is not running.
 */
#include "app/shell/frm_progress.h"
#include "app/shell/prompts.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

QString mdlEtaText(int32_t seconds) {
    return QString("ETA: %1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

frmProgress::frmProgress(QWidget *frame, KV_Params *params)
    : QDialog(frame, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), params(params) {
    setObjectName("frmProgress");
    setWindowTitle("Korvel");
    lblStatus = new QLabel("Please Wait...", this);
    lblPercent = new QLabel("0%", this);
    lblTime = new QLabel(this);
    bar = new QProgressBar(this);
    bar->setRange(0, 100);
    bar->setTextVisible(false);
    cmdCancel = new QPushButton("&Cancel", this);
    cmdCancel->setObjectName("cmdCancel");
    connect(cmdCancel, &QPushButton::clicked, this, &frmProgress::cmdCancel_Click);

    auto *figures = new QHBoxLayout;
    figures->addWidget(lblPercent);
    figures->addStretch();
    figures->addWidget(lblTime);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblStatus);
    layout->addWidget(bar);
    layout->addLayout(figures);
    layout->addLayout(buttons);
    setMinimumWidth(340);
}

void frmProgress::hideWindow() {
    hide();
    shown = false;
}

void frmProgress::showWindow() {
    shown = true;
    bar->setValue(0);
    lblStatus->setText("Please Wait...");
    lblPercent->setText("0%");
    lblTime->clear();
    cmdCancel->setEnabled(params->cancellable == 1);
    show();
    QCoreApplication::processEvents();
    lastPercent = 0;
    lastSeconds = 0;
}

void frmProgress::report(const char *text, int32_t textLength, int32_t percent,
                         int32_t secondsLeft) {
    bool titled = text != nullptr && textLength > 0;
    if (titled) title = QString::fromLocal8Bit(text, textLength);
    if (percent < 0) {
        hideWindow();
        return;
    }
    if (!shown) showWindow();
    if (titled) {
        lblStatus->setText(title);
        lblStatus->repaint();
    }
    if (percent != lastPercent) {
        lblPercent->setText(QString::number(percent) + "%");
        bar->setValue(percent);
        lblPercent->repaint();
        bar->repaint();
        lastPercent = percent;
    }
    if (secondsLeft != lastSeconds) {
        lblTime->setText(mdlEtaText(secondsLeft));
        lblTime->repaint();
        lastSeconds = secondsLeft;
    }
    /* Qt cannot tell whether input is waiting, so pending events always run;
     * hand-overs from other copies wait until the operation is over. */
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
}

void frmProgress::cmdCancel_Click() {
    QMessageBox::StandardButton answer = mdlMessageBox(
        this, "Confirm Cancellation", "Are you sure you wish to cancel this operation?",
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Warning, QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
    cmdCancel->setEnabled(false);
    params->cancelRequested = 1;
}
