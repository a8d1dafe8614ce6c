/*
 * frm_about.cpp - the About box.
 *
 * A fixed-size modal window: the program's picture, its name and version
 * from mdlProductName (the frame's caption shows the same text), and one
 * line on what it is for.
 */
#include "app/shell/frm_about.h"
#include "app/shell/mdl_main.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

frmAbout::frmAbout(QWidget *owner) : QDialog(owner) {
    setObjectName("frmAbout");
    setWindowTitle("About Korvel");
    auto *picture = new QLabel(this);
    picture->setPixmap(QIcon(":/icons/korvel.svg").pixmap(64, 64));
    auto *name = new QLabel(QString("<h2>%1</h2>").arg(mdlProductName), this);
    name->setObjectName("lblName");
    auto *about = new QLabel("A sound editor for WAVE and MP3 files:\n"
                             "select, cut, copy, paste, apply effects and\n"
                             "undo without limit, even on files larger than memory.",
                             this);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto *texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(about);
    auto *top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(texts);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
}
