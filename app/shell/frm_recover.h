/*
 * frm_recover.h - the recovery window: the documents with unsaved changes
 * that a Korvel which ended without closing left behind, each to restore as
 * an unsaved document or to discard.
 *
 * Shown once at start when the engine found any. Whatever is neither
 * restored nor discarded when the window closes is discarded then: the next
 * start would not offer it again.
 */
#ifndef KV_APP_FRM_RECOVER_H
#define KV_APP_FRM_RECOVER_H

#include "korvel.h"

#include <QDialog>
#include <QVector>

class QTableWidget;
class frmMDI;

class frmRecover : public QDialog {
    Q_OBJECT
  public:
    frmRecover(frmMDI *frame, const QVector<KV_Recoverable> &documents);

    /* Restores or discards the document in `row` (as its buttons do). */
    void restoreRow(int row);
    void discardRow(int row);

  protected:
    void done(int result) override;

  private:
    void addRow(const KV_Recoverable &document);
    void removeRow(int row);

    frmMDI *frame;
    QTableWidget *table;
    QVector<int32_t> ids; /* per row */
};

/* Shows the recovery window when the engine found documents to recover
 * and there is a display to show it on. */
void mdlOfferRecovery(frmMDI *frame);

/* The name a recovered document is shown under: its file's, else "Untitled". */
QString mdlRecoveredName(const KV_Recoverable &document);

#endif
