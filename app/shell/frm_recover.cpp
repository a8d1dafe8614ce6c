/*
 * frm_recover.cpp - the recovery window and restoring into a document window.
 */
#include "app/shell/frm_recover.h"
#include "app/shell/frm_main.h"
#include "app/shell/frm_mdi.h"
#include "app/shell/session_end.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

enum { COLUMN_NAME, COLUMN_LENGTH, COLUMN_EDIT, COLUMN_TIME, COLUMN_ACTIONS, COLUMN_COUNT };

QString mdlRecoveredName(const KV_Recoverable &document) {
    QString path = QString::fromLocal8Bit(document.path);
    return path.isEmpty() ? QString("Untitled") : path;
}

static QString mdlLengthText(const KV_Recoverable &document) {
    double seconds = document.sampleRate > 0 ? double(document.length) / document.sampleRate : 0;
    return QString("%1 s").arg(seconds, 0, 'f', 3);
}

frmRecover::frmRecover(frmMDI *frame, const QVector<KV_Recoverable> &documents)
    : QDialog(frame), frame(frame) {
    setObjectName("frmRecover");
    setWindowTitle("Recover Unsaved Work");
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Korvel did not close properly last time. These sounds had "
                                 "unsaved changes.\nRestore the ones you want to keep; what you "
                                 "do not restore is deleted when you close this window.",
                                 this));
    table = new QTableWidget(0, COLUMN_COUNT, this);
    table->setObjectName("lstRecover");
    table->setHorizontalHeaderLabels({"Sound", "Length", "Last Edit", "Time", ""});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(COLUMN_NAME, QHeaderView::Stretch);
    layout->addWidget(table);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    for (const KV_Recoverable &document : documents)
        addRow(document);
    resize(720, 300);
}

void frmRecover::addRow(const KV_Recoverable &document) {
    int row = table->rowCount();
    table->insertRow(row);
    ids.append(document.id);
    table->setItem(row, COLUMN_NAME, new QTableWidgetItem(mdlRecoveredName(document)));
    table->setItem(row, COLUMN_LENGTH, new QTableWidgetItem(mdlLengthText(document)));
    table->setItem(row, COLUMN_EDIT,
                   new QTableWidgetItem(QString::fromLocal8Bit(document.lastEdit)));
    QDateTime time = QDateTime::fromSecsSinceEpoch(document.time);
    table->setItem(row, COLUMN_TIME,
                   new QTableWidgetItem(QLocale().toString(time, QLocale::ShortFormat)));
    auto *actions = new QWidget(table);
    auto *row_layout = new QHBoxLayout(actions);
    row_layout->setContentsMargins(2, 0, 2, 0);
    auto *restore = new QPushButton("&Restore", actions);
    auto *discard = new QPushButton("&Discard", actions);
    restore->setObjectName(QString("cmdRestore(%1)").arg(document.id));
    discard->setObjectName(QString("cmdDiscard(%1)").arg(document.id));
    row_layout->addWidget(restore);
    row_layout->addWidget(discard);
    table->setCellWidget(row, COLUMN_ACTIONS, actions);
    int32_t id = document.id;
    connect(restore, &QPushButton::clicked, this, [this, id] { restoreRow(ids.indexOf(id)); });
    connect(discard, &QPushButton::clicked, this, [this, id] { discardRow(ids.indexOf(id)); });
}

void frmRecover::removeRow(int row) {
    table->removeRow(row);
    ids.remove(row);
    if (ids.isEmpty()) accept();
}

void frmRecover::restoreRow(int row) {
    if (row < 0 || row >= ids.size()) return;
    KV_Recoverable found{};
    QVector<KV_Recoverable> listed(kvListRecoverable(nullptr, 0, sizeof found));
    kvListRecoverable(listed.data(), listed.size(), sizeof found);
    for (const KV_Recoverable &document : listed)
        if (document.id == ids[row]) found = document;
    frmMain *document = frame->createDocumentWindow();
    if (document) {
        if (kvRecover(document->ID, ids[row]) == 0) {
            document->FileName = mdlRecoveredName(found);
            kvRefresh(document->ID);
            document->UpdateToolbar();
        } else {
            /* The engine has said why and discarded it. */
            document->parentWidget()->close();
        }
    }
    removeRow(row);
}

void frmRecover::discardRow(int row) {
    if (row < 0 || row >= ids.size()) return;
    kvDiscardRecoverable(ids[row]);
    removeRow(row);
}

void frmRecover::done(int result) {
    kvDiscardRecoverable(-1);
    QDialog::done(result);
}

void mdlOfferRecovery(frmMDI *frame) {
    /* Without a display nobody could choose: the work stays for a start
     * that can ask. */
    if (!mdlHasDisplay()) return;
    int32_t count = kvListRecoverable(nullptr, 0, sizeof(KV_Recoverable));
    if (count <= 0) return;
    QVector<KV_Recoverable> documents(count);
    kvListRecoverable(documents.data(), count, sizeof(KV_Recoverable));
    frmRecover window(frame, documents);
    window.exec();
}
