/*
 * frm_undo_hist.h - the undo history: every state of a document by its
 * label, the current one selected; choosing a state makes it current.
 *
 * The document window stops playback before showing it.
 */
#ifndef KV_APP_FRM_UNDO_HIST_H
#define KV_APP_FRM_UNDO_HIST_H

#include <QDialog>
#include <cstdint>

class QListWidget;

class frmUndoHist : public QDialog {
    Q_OBJECT
  public:
    frmUndoHist(QWidget *owner, int32_t doc);

    QListWidget *lstHistory;

  private:
    void lstHistory_Click(int row);

    int32_t doc;
};

#endif
