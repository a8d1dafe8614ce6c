/*
 * ctl_presets.cpp - the preset button and its menu.
 *
 * Names go to the engine as single-byte text. The name prompt is a plain
 * modal input box run in a loop, so a refused name is offered again for
 * correction instead of being lost.
 */
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/factory_presets.h"
#include "app/dialogs/param_store.h"
#include "app/shell/prompts.h"
#include "korvel.h"

#include <QHBoxLayout>
#include <QInputDialog>
#include <QMenu>
#include <QPushButton>
#include <cstring>
#include <vector>

ctlPresets::ctlPresets(QWidget *owner) : QWidget(owner) {
    setObjectName("ctlPresets");
    cmdPresets = new QPushButton("P&resets", this);
    cmdPresets->setObjectName("cmdPresets");
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(cmdPresets);
    mnuPresets = new QMenu(this);
    mnuPresets->setObjectName("mnuPresets");
    mnuDelete = new QMenu("&Delete Preset", this);
    mnuSave = new QAction("&Save Preset...", this);
    connect(mnuSave, &QAction::triggered, this, &ctlPresets::savePreset);
    connect(cmdPresets, &QPushButton::clicked, this, &ctlPresets::popUp);
    cmdPresets->setEnabled(false);
}

QString ctlPresets::presetName(int index) const {
    char buffer[60] = {};
    kvGetPresetName(group.constData(), index, buffer, sizeof buffer);
    return QString::fromLocal8Bit(buffer, qstrnlen(buffer, sizeof buffer));
}

void ctlPresets::LoadMenu(const QByteArray &newGroup, void *newRecord, int32_t newSize) {
    if (!newGroup.isEmpty()) group = newGroup;
    if (newRecord) record = newRecord;
    Q_ASSERT(newSize % static_cast<int32_t>(sizeof(int32_t)) == 0);
    if (newSize > 0) size = newSize;
    if (group.isEmpty()) {
        cmdPresets->setEnabled(false);
        return;
    }
    cmdPresets->setEnabled(true);
    mnuPresets->clear();
    mnuDelete->clear();
    factoryEntries.clear();
    loadEntries.clear();
    deleteEntries.clear();
    const std::vector<MdlFactoryPreset> &factory = mdlFactoryPresets(group);
    for (int i = 0; i < static_cast<int>(factory.size()); i++)
        factoryEntries.append(
            mnuPresets->addAction(factory[i].name, this, [this, i] { loadFactoryPreset(i); }));
    int32_t count = kvGetPresetCount(group.constData());
    if (!factory.empty() && count > 0) mnuPresets->addSeparator();
    for (int i = 0; i < count; i++) {
        QString caption = presetName(i).replace("&", "&&");
        loadEntries.append(mnuPresets->addAction(caption, this, [this, i] { loadPreset(i); }));
        deleteEntries.append(mnuDelete->addAction(caption, this, [this, i] { deletePreset(i); }));
    }
    if (count > 0 || !factory.empty()) mnuPresets->addSeparator();
    mnuPresets->addMenu(mnuDelete);
    mnuDelete->setEnabled(count > 0);
    mnuPresets->addSeparator();
    mnuPresets->addAction(mnuSave);
    mnuPresets->setDefaultAction(mnuSave);
}

void ctlPresets::popUp() {
    refresh();
    mnuPresets->exec(cmdPresets->mapToGlobal(QPoint(0, cmdPresets->height())));
}

void ctlPresets::loadPreset(int index) {
    /* Read beside the record, then stored field by field: a preview may be
     * reading the record while the preset comes in. */
    auto *fields = static_cast<int32_t *>(record);
    int32_t count = size / static_cast<int32_t>(sizeof(int32_t));
    std::vector<int32_t> loaded(fields, fields + count);
    kvLoadPreset(group.constData(), index, loaded.data(), size);
    mdlStoreParams(fields, loaded.data(), count);
    emit presetLoaded();
}

/* A shipped preset whose size no longer matches the record is left out
 * rather than loaded half. */
void ctlPresets::loadFactoryPreset(int index) {
    const MdlFactoryPreset &preset = mdlFactoryPresets(group).at(index);
    if (static_cast<int32_t>(preset.fields.size() * sizeof(int32_t)) != size) return;
    mdlStoreParams(static_cast<int32_t *>(record), preset.fields.data(),
                   static_cast<int32_t>(preset.fields.size()));
    emit presetLoaded();
}

void ctlPresets::savePreset() {
    QString name = "My Settings";
    for (;;) {
        QInputDialog prompt(window());
        prompt.setWindowTitle("Preset Name");
        prompt.setLabelText("Preset Name");
        prompt.setTextValue(name);
        if (prompt.exec() != QDialog::Accepted) return;
        name = prompt.textValue();
        if (name.isEmpty()) return;
        if (name.size() >= 61) {
            mdlMessageBox(window(), "Name Too Long", "Please choose a name less than 60 characters",
                          QMessageBox::Ok, QMessageBox::Warning, QMessageBox::Ok);
            continue;
        }
        QByteArray bytes = name.toLocal8Bit();
        if (kvIsNameTaken(group.constData(), bytes.constData()) >= 0 &&
            mdlMessageBox(window(), "Confirm Overwrite", "Overwrite existing preset?",
                          QMessageBox::Yes | QMessageBox::No, QMessageBox::Question,
                          QMessageBox::No) != QMessageBox::Yes)
            continue;
        kvSavePreset(group.constData(), bytes.constData(), record, size);
        refresh();
        return;
    }
}

void ctlPresets::deletePreset(int index) {
    QString text = "You are about to remove the following preset:\n\n\t" + presetName(index) +
                   "\n\nAre you sure?";
    if (mdlMessageBox(window(), "Confirm Preset Delete", text, QMessageBox::Yes | QMessageBox::No,
                      QMessageBox::Question, QMessageBox::No) != QMessageBox::Yes)
        return;
    kvDeletePreset(group.constData(), index);
    refresh();
}
