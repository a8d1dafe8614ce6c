/*
 * frm_about.h - the About box: the product's name and version.
 *
 * Shown modally by the frame's "&About Korvel" entry; it asks nothing of the
 * engine.
 */
#ifndef KV_APP_FRM_ABOUT_H
#define KV_APP_FRM_ABOUT_H

#include <QDialog>

class frmAbout : public QDialog {
    Q_OBJECT
  public:
    explicit frmAbout(QWidget *owner);
};

#endif
