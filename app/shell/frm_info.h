/*
 * frm_info.h - the file information of a document, with the removal of its
 * ID3 tags.
 *
 * Everything shown comes from the engine's description of the document.
 */
#ifndef KV_APP_FRM_INFO_H
#define KV_APP_FRM_INFO_H

#include <QDialog>
#include <cstdint>

class QPlainTextEdit;
class QPushButton;

class frmInfo : public QDialog {
    Q_OBJECT
  public:
    frmInfo(QWidget *owner, int32_t doc);

    QPlainTextEdit *txtInfo;
    QPushButton *cmdRemoveTags;

  private:
    void showInformation();
    void cmdRemoveTags_Click();

    int32_t doc;
};

#endif
