/*
 * frm_info.cpp - the information dialog.
 *
 * The engine's text separates lines with line feeds, which the text box
 * shows as they are.
 */
#include "app/shell/frm_info.h"
#include "app/shell/prompts.h"
#include "korvel.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <vector>

frmInfo::frmInfo(QWidget *owner, int32_t doc) : QDialog(owner), doc(doc) {
    setObjectName("frmInfo");
    setWindowTitle("File Information");
    txtInfo = new QPlainTextEdit(this);
    txtInfo->setObjectName("txtInfo");
    txtInfo->setAccessibleName("File Information");
    txtInfo->setReadOnly(true);
    txtInfo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    cmdRemoveTags = buttons->addButton("Remove ID3 Tags", QDialogButtonBox::ActionRole);
    cmdRemoveTags->setObjectName("cmdRemoveTags");
    connect(cmdRemoveTags, &QPushButton::clicked, this, &frmInfo::cmdRemoveTags_Click);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(txtInfo);
    layout->addWidget(buttons);
    resize(460, 360);
    showInformation();
}

void frmInfo::showInformation() {
    std::vector<char> text(16384, 0);
    kvGetInfo(doc, text.data());
    txtInfo->setPlainText(QString::fromLocal8Bit(text.data(), qstrnlen(text.data(), 16384)));
    cmdRemoveTags->setEnabled(kvHasID3(doc) == 1);
}

void frmInfo::cmdRemoveTags_Click() {
    QMessageBox::StandardButton answer =
        mdlMessageBox(this, "Confirm Operation",
                      "Are you sure you want to remove the ID3 Tag information from this file?",
                      QMessageBox::Yes | QMessageBox::No, QMessageBox::Question, QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
    kvClearTags(doc);
    showInformation();
}
