/*
 * frm_undo_hist.cpp - the undo history dialog.
 *
 * Only the user's own clicks move the document; filling the list and
 * selecting the current level do not.
 */
#include "app/shell/frm_undo_hist.h"
#include "korvel.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QVBoxLayout>
#include <cstring>

frmUndoHist::frmUndoHist(QWidget *owner, int32_t doc) : QDialog(owner), doc(doc) {
    setObjectName("frmUndoHist");
    setWindowTitle("Undo History");
    lstHistory = new QListWidget(this);
    lstHistory->setObjectName("lstHistory");
    lstHistory->setAccessibleName("Undo History");
    int32_t states = kvGetNumUndo(doc);
    for (int32_t i = 0; i < states; i++) {
        char buffer[40] = {};
        kvGetUndoText(doc, i, buffer);
        lstHistory->addItem(QString::fromLocal8Bit(buffer, strnlen(buffer, sizeof buffer)));
    }
    lstHistory->setCurrentRow(kvGetUndoLevel(doc));
    connect(lstHistory, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { lstHistory_Click(lstHistory->row(item)); });
    connect(lstHistory, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { lstHistory_Click(lstHistory->row(item)); });

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lstHistory);
    layout->addWidget(buttons);
    resize(280, 320);
}

void frmUndoHist::lstHistory_Click(int row) {
    kvSetHistory(doc, row);
}
