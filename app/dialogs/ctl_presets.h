/*
 * ctl_presets.h - the "P&resets" button of a dialog: recall, save and delete
 * named copies of the dialog's slice of a settings record.
 *
 * The engine stores the presets by group; the box only knows the group name
 * and the address and size of the int32 fields it saves and loads (a slice
 * of KV_Params, or a copy of one), so any such record can have presets. The
 * menu is rebuilt from the store each time it opens, so a preset saved in
 * another dialog of the same group shows at once. The presets Korvel ships
 * for the group come first, above the user's own; they load like them but
 * are not in the delete menu.
 */
#ifndef KV_APP_CTL_PRESETS_H
#define KV_APP_CTL_PRESETS_H

#include <QByteArray>
#include <QList>
#include <QWidget>
#include <cstdint>

class QAction;
class QMenu;
class QPushButton;

class ctlPresets : public QWidget {
    Q_OBJECT
  public:
    explicit ctlPresets(QWidget *owner);

    /* Sets up or refreshes the menu; an empty group, a null record or a zero
     * size keeps the value given before. The size is in bytes, a whole
     * number of int32 fields. */
    void LoadMenu(const QByteArray &group, void *record, int32_t size);
    void refresh() { LoadMenu({}, nullptr, 0); }

    /* The commands behind the menu entries. */
    void loadPreset(int index);
    void loadFactoryPreset(int index);
    void savePreset();
    void deletePreset(int index);

    QPushButton *cmdPresets;
    QMenu *mnuPresets;
    QMenu *mnuDelete;
    QAction *mnuSave;
    QList<QAction *> factoryEntries;
    QList<QAction *> loadEntries;
    QList<QAction *> deleteEntries;

  signals:
    void presetLoaded();

  private:
    QString presetName(int index) const;
    void popUp();

    QByteArray group;
    void *record = nullptr;
    int32_t size = 0;
};

#endif
