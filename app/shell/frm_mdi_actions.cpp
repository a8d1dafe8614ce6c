/*
 * frm_mdi_actions.cpp - what the frame window does: opening and creating
 * documents, pasting to a new file, the engine's notifications, toolbar
 * clicks, the clip selector, enabling, drag and drop, start and close.
 *
 * The engine reaches the frame only through sent events (its window
 * messages), handled in event() on the user-interface thread; a notification
 * about the active document is answered from that document's state.
 */
#include "app/dialogs/frm_options.h"
#include "app/dialogs/frm_record.h"
#include "app/dialogs/repair_store.h"
#include "app/shell/frm_about.h"
#include "app/shell/frm_main.h"
#include "app/shell/frm_mdi.h"
#include "app/shell/frm_progress.h"
#include "app/shell/mdl_main.h"
#include "app/shell/prompts.h"
#include "message_event.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

static const char *const noOutputDeviceText = "No audio output device";

/* The maker's web pages. */
static const char *const webMainPage = "https://korvel.example.org/";
static const char *const webSupportPage = "https://korvel.example.org/support/";

QString mdlRecentDisplayName(const QString &path, const QFontMetrics &metrics, int width) {
    if (metrics.horizontalAdvance(path) <= width) return path;
    int nameStart = static_cast<int>(path.lastIndexOf('/')) + 1;
    QString name = path.mid(nameStart);
    int nameWidth = metrics.horizontalAdvance(name);
    if (nameStart == 0 || nameWidth > width * 2 / 3)
        return metrics.elidedText(path, Qt::ElideMiddle, width);
    return metrics.elidedText(path.left(nameStart), Qt::ElideMiddle, width - nameWidth) + name;
}

/* The widest the File menu may grow for its recent entries: its width
 * without them, or sixty characters, but never past half the screen. */
static int mdlRecentMenuWidth(QMenu *fileMenu) {
    int wanted = std::max(fileMenu->sizeHint().width(),
                          60 * QFontMetrics(fileMenu->font()).averageCharWidth());
    QScreen *screen = fileMenu->screen();
    return screen ? std::min(wanted, screen->availableGeometry().width() / 2) : wanted;
}

static void mdlCaptionRecentFiles(const QList<QAction *> &entries, const QFontMetrics &metrics,
                                  int width) {
    for (qsizetype i = 0; i < entries.size(); i++) {
        QString path = entries[i]->data().toString();
        entries[i]->setText(
            QString("&%1: %2").arg(i + 1).arg(mdlRecentDisplayName(path, metrics, width)));
    }
}

void mdlRebuildRecentFiles(QMenu *fileMenu, QAction *separator, QList<QAction *> *entries,
                           frmMDI *frame) {
    qDeleteAll(*entries);
    entries->clear();
    int32_t count = kvGetMRUCount();
    separator->setVisible(count > 0);
    int menuWidth = mdlRecentMenuWidth(fileMenu);
    for (int32_t i = 0; i < count; i++) {
        char buffer[256] = {};
        kvGetMRU(buffer, i, 255);
        QString path = QString::fromLocal8Bit(buffer, static_cast<int>(strnlen(buffer, 255)));
        path = path.trimmed();
        QAction *entry = fileMenu->addAction(path);
        entry->setObjectName(QString("mnuMRU(%1)").arg(i));
        entry->setData(path);
        QObject::connect(entry, &QAction::triggered, frame, [frame, path] {
            if (!frame->isBusy()) frame->OpenNewFile(path);
        });
        entries->append(entry);
    }
    /* The menu's margins and columns are the style's: measured, not guessed. */
    QFontMetrics metrics(fileMenu->font());
    int width = menuWidth - metrics.horizontalAdvance("&10: ");
    mdlCaptionRecentFiles(*entries, metrics, width);
    int overflow = fileMenu->sizeHint().width() - menuWidth;
    if (overflow > 0) mdlCaptionRecentFiles(*entries, metrics, width - overflow);
}

bool mdlIsSoundFileName(const QString &name) {
    return name.contains(".wav", Qt::CaseInsensitive) || name.contains(".mp3", Qt::CaseInsensitive);
}

/* ---- Start and stop ---- */

bool frmMDI::startEngine() {
    if (engineRunning) return true;
    engineRunning = kvInit(this, kvOptions, sizeof *kvOptions, kvParams, sizeof *kvParams, nullptr,
                           mdlProgress, reinterpret_cast<void *>(&mdlIdle)) == 0;
    if (engineRunning) kvSetRepairParams(mdlRepairParams(), sizeof(KV_RepairParams));
    return engineRunning;
}

void frmMDI::stopEngine() {
    if (!engineRunning) return;
    kvCleanUp();
    engineRunning = false;
}

void frmMDI::restorePosition() {
    if (kvGetReg("Settings", "Window Position", &position, 20) == 20) {
        kvValidateWinPos(&position, 20);
        move(position.left, position.top);
        resize(position.width, position.height);
        if (position.state == 2) setWindowState(Qt::WindowMaximized);
        return;
    }
    position.left = x();
    position.top = y();
    position.width = width();
    position.height = height();
    kvSetReg("Settings", "Window Position", &position, 20);
}

void frmMDI::Form_Load(const QString &commandLine) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setWindowTitle(mdlProductName);
    startEngine();
    kvSetVUParams(pVU, pVU->width());
    restorePosition();
    if (mdlMain.showState == 3) setWindowState(Qt::WindowMaximized);
    if (mdlMain.showState == 7) setWindowState(Qt::WindowMinimized);
    position.state = isMaximized() ? 2 : 0;
    show();
    UpdateTips();
    if (!commandLine.isEmpty()) openCommandLine(commandLine);
    firstRun();
    QApplication::restoreOverrideCursor();
}

void frmMDI::openCommandLine(const QString &commandLine) {
    for (const QString &name : mdlParseCommandLine(commandLine))
        OpenNewFile(name);
}

void frmMDI::firstRun() {
    static const char *const installKey = "Software\\Tervalin\\Korvel\\Install";
    char buffer[10] = {};
    kvGetRegString(KV_HKEY_LOCAL_MACHINE, installKey, "First Run", buffer, sizeof buffer);
    size_t length = strnlen(buffer, sizeof buffer);
    QString value = length < sizeof buffer ? QString::fromLocal8Bit(buffer, length) : QString();
    if (value.trimmed() == "No") return;
    mnuHelpGettingStarted_Click();
    QByteArray folder = QCoreApplication::applicationDirPath().toLocal8Bit();
    kvSetRegString(KV_HKEY_LOCAL_MACHINE, installKey, "First Run", "No", 0);
    kvSetRegString(KV_HKEY_LOCAL_MACHINE, installKey, "Install Path", folder.constData(), 0);
}

void frmMDI::storePosition() {
    if (isMinimized()) showNormal();
    position.state = isMaximized() ? 2 : 0;
    if (position.state == 0) {
        position.left = x();
        position.top = y();
        position.width = width();
        position.height = height();
    }
    kvSetReg("Settings", "Window Position", &position, 20);
}

/* Runs every document's own close check, stopping at the first refusal. */
bool frmMDI::closeDocuments() {
    for (QMdiSubWindow *window : mdiArea->subWindowList()) {
        if (!window->close()) return false;
    }
    return true;
}

void frmMDI::closeEvent(QCloseEvent *event) {
    /* The close box stays live while an engine call lets events run. */
    if (disabled) {
        event->ignore();
        return;
    }
    if (engineRunning) storePosition();
    if (!closeDocuments()) {
        event->ignore();
        return;
    }
    DoDisable();
    stopEngine();
    DoEnable();
    event->accept();
}

void frmMDI::tileDocuments(bool horizontal) {
    QList<QMdiSubWindow *> windows = mdiArea->subWindowList();
    if (windows.isEmpty()) return;
    QSize area = mdiArea->viewport()->size();
    int count = static_cast<int>(windows.size());
    int step = (horizontal ? area.height() : area.width()) / count;
    for (QMdiSubWindow *window : windows)
        window->showNormal();
    for (int i = 0; i < count; i++) {
        if (horizontal)
            windows[i]->setGeometry(0, i * step, area.width(), step);
        else
            windows[i]->setGeometry(i * step, 0, step, area.height());
    }
}

void frmMDI::comeToFront() {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

/* ---- Documents ---- */

/* The document area gives every window a system menu whose Close answers
 * Ctrl+W as well as Ctrl+F4. The document's own File, Close already has
 * Ctrl+W (with the save prompt behind it), and one key bound twice in the
 * same window runs neither, so the system menu gives up every key that the
 * document's menus use and keeps the rest. */
static void mdlYieldSystemMenuKeys(QMdiSubWindow *window, const frmMain *document) {
    QList<QKeySequence> taken;
    for (QAction *entry : document->findChildren<QAction *>())
        taken += entry->shortcuts();
    for (QAction *entry : window->systemMenu()->actions()) {
        QList<QKeySequence> keys = entry->shortcuts();
        keys.removeIf([&taken](const QKeySequence &key) { return taken.contains(key); });
        entry->setShortcuts(keys);
    }
}

frmMain *frmMDI::createDocumentWindow() {
    auto *document = new frmMain(this);
    QMdiSubWindow *window = mdiArea->addSubWindow(document);
    mdlYieldSystemMenuKeys(window, document);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowIcon(QIcon(":/icons/document.svg"));
    window->show();
    if (!document->Form_Load()) {
        window->close();
        return nullptr;
    }
    return document;
}

frmMain *frmMDI::activeDocument() const {
    QMdiSubWindow *window = mdiArea->currentSubWindow();
    if (!window) window = mdiArea->activeSubWindow();
    return window ? qobject_cast<frmMain *>(window->widget()) : nullptr;
}

QList<frmMain *> frmMDI::documents() const {
    QList<frmMain *> list;
    for (QMdiSubWindow *window : mdiArea->subWindowList())
        if (auto *document = qobject_cast<frmMain *>(window->widget())) list.append(document);
    return list;
}

frmMain *frmMDI::OpenNewFile(const QString &path) {
    kvStop();
    for (frmMain *document : documents()) {
        if (document->FileName == path) {
            mdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(document->parentWidget()));
            document->setFocus();
            return document;
        }
    }
    frmMain *document = createDocumentWindow();
    if (!document) return nullptr;
    if (!document->OpenFile(path)) {
        document->parentWidget()->close();
        return nullptr;
    }
    return document;
}

void frmMDI::mnuNew_Click() {
    kvStop();
    frmMain *document = createDocumentWindow();
    if (document && !document->NewFile()) document->parentWidget()->close();
}

void frmMDI::openRecord() {
    kvStop();
    frmMain *document = activeDocument();
    if (!document || document->ID < 0) {
        document = createDocumentWindow();
        if (!document) return;
        if (!document->NewFile()) {
            document->parentWidget()->close();
            return;
        }
    }
    frmRecord window(this, kvOptions, document->ID, lTime[3]);
    window.exec();
    kvSetVUParams(pVU, pVU->width());
    DoEnable();
    kvRefresh(document->ID);
    document->UpdateToolbar();
}

/* The open dialog's callback: one chosen file per call. */
static void mdlOpenChosenFile(const char *path, int32_t length) {
    if (mdlMain.frame) mdlMain.frame->OpenNewFile(QString::fromLocal8Bit(path, length));
}

void frmMDI::mnuOpen_Click() {
    kvStop();
    kvGetFileNames(mdlOpenChosenFile);
}

frmMain *frmMDI::PasteNew() {
    kvStop();
    frmMain *document = createDocumentWindow();
    if (!document) return nullptr;
    DoDisable();
    int32_t channels = 0, rate = 0;
    kvGetClipProp(cmbClip->currentIndex(), &channels, &rate);
    if (kvNew(document->ID, channels, 16, 1, rate) != 0) {
        DoEnable();
        document->parentWidget()->close();
        return nullptr;
    }
    kvPaste(document->ID, 0);
    DoEnable();
    kvRefresh(document->ID);
    document->UpdateToolbar();
    return document;
}

void frmMDI::documentClosed(frmMain *document) {
    if (menusShown == document) showMenusOf(nullptr);
    UpdateToolbar();
}

void frmMDI::subWindowActivated() {
    frmMain *document = activeDocument();
    if (!document) {
        if (documents().isEmpty()) showMenusOf(nullptr);
        return;
    }
    showMenusOf(document);
    kvRefresh(document->ID);
    document->UpdateToolbar();
}

void frmMDI::showMenusOf(frmMain *document) {
    menusShown = document;
    menuBar()->clear();
    for (QMenu *menu : document ? document->menus() : frameMenus)
        menuBar()->addMenu(menu);
}

/* ---- Enabling ---- */

void frmMDI::DoDisable() {
    if (!disabled) QApplication::setOverrideCursor(Qt::WaitCursor);
    disabled = true;
    for (QWidget *part : std::initializer_list<QWidget *>{menuBar(), TB, TBVolume, TBPlayback,
                                                          mdiArea, statusBar()})
        part->setEnabled(false);
}

void frmMDI::DoEnable() {
    for (QWidget *part : std::initializer_list<QWidget *>{menuBar(), TB, TBVolume, TBPlayback,
                                                          mdiArea, statusBar()})
        part->setEnabled(true);
    if (frmMain *document = activeDocument()) document->setFocus();
    if (disabled) QApplication::restoreOverrideCursor();
    disabled = false;
}

void frmMDI::UpdateTips() {
    for (QToolBar *bar : {TB, TBVolume, TBPlayback}) {
        for (QAction *button : bar->actions()) {
            QString tip = kvOptions->showTips == 1 ? button->data().toString() : QString();
            if (QWidget *widget = bar->widgetForAction(button)) widget->setToolTip(tip);
        }
    }
}

void frmMDI::UpdateToolbar() {
    action("TBPlayback.Loop")->setChecked(kvOptions->loopPlayback == 1);
    bool anyDocument = false;
    for (frmMain *document : documents())
        anyDocument = anyDocument || document->ID >= 0;
    bool fromPlay = false;
    for (QAction *button : TB->actions()) {
        if (button->objectName() == "TB.Play") fromPlay = true;
        QString key = button->objectName();
        if (key == "TB.Save" || key == "TB.Cut" || key == "TB.Copy" || fromPlay)
            setWiredEnabled(button, anyDocument);
    }
    for (QToolBar *bar : {TBVolume, TBPlayback})
        for (QAction *button : bar->actions())
            if (!button->isSeparator()) setWiredEnabled(button, anyDocument);
    /* Recording makes a document of its own when none is open. */
    setWiredEnabled(action("TBPlayback.Rec"), true);
    bool clips = cmbClip->count() > 0;
    cmbClip->setEnabled(clips);
    setWiredEnabled(action("TB.Paste"), clips);
    setWiredEnabled(action("TB.Play"), clips);
    if (!anyDocument) {
        clearStatusFields();
        for (const char *item : {"pIns", "pRep", "pMix", "pNew"})
            action(item)->setEnabled(false);
    }
}

void frmMDI::InitMenu() {
    if (!menusShown) mdlRebuildRecentFiles(mnuFile, mnuSepMRU, &mnuMRU, this);
}

void frmMDI::clearStatusFields() {
    for (QLabel *field : lTime)
        field->clear();
    for (QLabel *field : lblStatus)
        field->clear();
}

void frmMDI::UpdateCopy(int32_t count) {
    if (count != cmbClip->count()) {
        cmbClip->clear();
        for (int32_t n = 1; n <= count; n++)
            cmbClip->addItem(QString("Clip %1").arg(n));
    }
    bool clips = count > 0;
    if (clips) cmbClip->setCurrentIndex(cmbClip->count() - 1);
    cmbClip->setEnabled(clips);
    setWiredEnabled(action("TB.Paste"), clips);
    setWiredEnabled(action("TB.Play"), clips);
}

void frmMDI::cmbClip_Click(int index) {
    DoDisable();
    if (action("TB.Play")->isChecked()) kvStop();
    kvLoadClip(index);
    releaseViewSet();
    DoEnable();
}

void frmMDI::releaseViewSet() {
    action("TB.vSet")->setChecked(false);
}

/* ---- Toolbars ---- */

void frmMDI::TB_ButtonClick(const QString &key) {
    frmMain *document = activeDocument();
    if (key == "New") return mnuNew_Click();
    if (key == "Open") return mnuOpen_Click();
    if (key == "pNew" || (key == "Paste" && !document)) {
        PasteNew();
        return;
    }
    if (!document) return;
    static const QHash<QString, QString> commands = {
        {"Save", "mnuSave"},        {"Cut", "mnuCut"},           {"Copy", "mnuCopy"},
        {"Undo", "mnuUndo"},        {"Redo", "mnuRedo"},         {"Paste", "mnuPasteInsert"},
        {"pIns", "mnuPasteInsert"}, {"pRep", "mnuPasteReplace"}, {"pMix", "mnuPasteMix"},
    };
    if (commands.contains(key)) document->runCommand(commands.value(key));
}

void frmMDI::pasteDropDownShowing() {
    frmMain *document = activeDocument();
    static const char *const items[][2] = {{"pIns", "mnuPasteInsert"},
                                           {"pRep", "mnuPasteReplace"},
                                           {"pMix", "mnuPasteMix"},
                                           {"pNew", "mnuPasteNew"}};
    for (const auto &item : items) {
        bool enabled = document ? document->action(item[1])->isEnabled()
                                : QString(item[0]) == "pNew" && cmbClip->count() > 0;
        action(item[0])->setEnabled(enabled);
    }
}

void frmMDI::TBVolume_ButtonClick(const QString &command) {
    if (frmMain *document = activeDocument()) document->runCommand(command);
    releaseViewSet();
}

/* The button just turned to Stop: start the clip; it turned back: stop. */
void frmMDI::TB_PlayClick(bool stopShown) {
    if (stopShown)
        kvPreviewClip();
    else
        kvStop();
}

void frmMDI::TB_ViewClick(int n) {
    frmMain *document = activeDocument();
    if (!document) return;
    if (action("TB.vSet")->isChecked()) {
        document->mnuSView_Click(n - 1);
        releaseViewSet();
        document->UpdateToolbar();
    } else {
        document->mnuLView_Click(n - 1);
    }
}

void frmMDI::TBPlayback_ButtonClick(const QString &key) {
    frmMain *document = activeDocument();
    if (key == "Loop") kvOptions->loopPlayback = action("TBPlayback.Loop")->isChecked() ? 1 : 0;
    if (key == "Rec") return openRecord();
    if (!document) return;
    int32_t ID = document->ID;
    static const QHash<QString, int32_t> speeds = {{"Rev", KV_PLAY_FAST_REVERSE},
                                                   {"PlayRev", KV_PLAY_REVERSE},
                                                   {"Play", KV_PLAY_NORMAL},
                                                   {"Ffw", KV_PLAY_FAST_FORWARD}};
    static const QHash<QString, int32_t> zooms = {{"Zoom1", KV_ZOOM_ONE_TO_ONE},
                                                  {"ZoomSel", KV_ZOOM_SELECTION},
                                                  {"ZoomFull", KV_ZOOM_WHOLE},
                                                  {"ZoomIn", KV_ZOOM_IN},
                                                  {"ZoomOut", KV_ZOOM_OUT}};
    if (key == "Start")
        kvToStart(ID);
    else if (speeds.contains(key))
        kvPlay(ID, speeds.value(key));
    else if (key == "Stop")
        kvStop();
    else if (key == "Pause")
        kvPause(ID);
    else if (key == "End")
        kvToEnd(ID);
    else if (zooms.contains(key))
        kvZoomSpecial(ID, zooms.value(key));
    else if (key == "SelAll")
        kvSelectAll(ID);
    else if (key == "SelView")
        kvSelectView(ID);
    document->UpdateToolbar();
    releaseViewSet();
}

void frmMDI::pressPlayback(int position) {
    for (QAction *button : TBPlayback->actions()) {
        if (button->property("position").toInt() != position) continue;
        if (button->isEnabled()) button->trigger();
        return;
    }
}

bool frmMDI::playbackWired(int position) const {
    for (QAction *button : TBPlayback->actions())
        if (button->property("position").toInt() == position) return wired.contains(button);
    return false;
}

/* ---- Help and About ---- */

void frmMDI::mnuExit_Click() {
    close();
}

void frmMDI::mnuHelpTopics_Click() {
    mdlShowHelp(this, 11, 1);
}

void frmMDI::mnuHelpGettingStarted_Click() {
    mdlShowHelp(this, 1, 1);
}

void frmMDI::mnuWebMain_Click() {
    QDesktopServices::openUrl(QUrl(webMainPage));
}

void frmMDI::mnuWebSupport_Click() {
    QDesktopServices::openUrl(QUrl(webSupportPage));
}

void frmMDI::mnuAbout_Click() {
    frmAbout about(this);
    about.exec();
}

void frmMDI::mnuOptions_Click() {
    kvStop();
    mdlShowOptions(this, kvOptions, MDL_OPTIONS_AUDIO);
}

/* ---- Notifications and input ---- */

void frmMDI::showStatusText(int32_t message, const char *text, intptr_t length) {
    QString shown =
        text && length > 0 ? QString::fromLocal8Bit(text, static_cast<int>(length)) : QString();
    if (message > KV_MSG_POSITION) {
        lblStatus[message - KV_MSG_EDITS]->setText(shown);
        return;
    }
    lTime[message - KV_MSG_SEL_START]->setText(shown);
    frmMain *document = activeDocument();
    if (!document) return;
    QString times[4];
    for (int i = 0; i < 4; i++)
        times[i] = lTime[i]->text();
    document->describeView(times);
}

/* The engine has already said so in its box; the status line keeps saying
 * it, in one field that later failures do not add to, and a dialog's
 * preview button learns that its preview has ended. */
void frmMDI::noOutputDevice() {
    lblStatus[5]->setText(noOutputDeviceText);
    lblStatus[5]->show();
    emit outputDeviceFailed();
}

void frmMDI::handleNotification(int32_t message, intptr_t wParam, intptr_t lParam) {
    if (message >= KV_MSG_SEL_START && message <= KV_MSG_RATE) {
        showStatusText(message, reinterpret_cast<const char *>(wParam), lParam);
    } else if (message == KV_MSG_ERROR_SHOWN) {
        mdlProgress(nullptr, 0, -1, 0);
    } else if (message == KV_MSG_ERROR_HELP) {
        mdlShowHelp(this, 1, static_cast<int32_t>(wParam));
    } else if (message == KV_MSG_PLAY_FAILED) {
        kvFullRefresh();
    } else if (message == KV_MSG_NO_OUTPUT) {
        noOutputDevice();
    } else if (message == KV_MSG_CLIPBOARD) {
        UpdateCopy(static_cast<int32_t>(wParam));
    } else if (message == KV_MSG_CLIP_PLAYED) {
        action("TB.Play")->setChecked(false);
    } else if (message == KV_MSG_ZOOM_CHANGED) {
        if (frmMain *document = activeDocument()) document->UpdateToolbar();
    }
}

bool frmMDI::event(QEvent *event) {
    int type = event->type();
    bool engineMessage =
        (type >= KV_MSG_SEL_START && type <= KV_MSG_RATE) || type == KV_MSG_ERROR_SHOWN ||
        type == KV_MSG_ERROR_HELP || type == KV_MSG_CLIPBOARD || type == KV_MSG_PLAY_FAILED ||
        type == KV_MSG_NO_OUTPUT || type == KV_MSG_CLIP_PLAYED || type == KV_MSG_ZOOM_CHANGED;
    if (!engineMessage) return QMainWindow::event(event);
    auto *message = static_cast<KvMessageEvent *>(event);
    handleNotification(type, message->wParam, message->lParam);
    return true;
}

void frmMDI::changeEvent(QEvent *event) {
    if (event->type() == QEvent::ApplicationPaletteChange && engineRunning) kvFullRefresh();
    QMainWindow::changeEvent(event);
}

static QStringList mdlDroppedSoundFiles(const QMimeData *data) {
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile() && mdlIsSoundFileName(url.toLocalFile()))
            files.append(url.toLocalFile());
    return files;
}

void frmMDI::dragEnterEvent(QDragEnterEvent *event) {
    if (mdlDroppedSoundFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void frmMDI::dragMoveEvent(QDragMoveEvent *event) {
    if (mdlDroppedSoundFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void frmMDI::dropEvent(QDropEvent *event) {
    QStringList files = mdlDroppedSoundFiles(event->mimeData());
    if (files.isEmpty()) return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    for (const QString &path : files)
        OpenNewFile(path);
}

bool frmMDI::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::MouseButtonPress) return QMainWindow::eventFilter(watched, event);
    auto *press = static_cast<QMouseEvent *>(event);
    if (watched == mdiArea->viewport() && press->button() == Qt::RightButton) {
        QMenu *file = menusShown ? menusShown->menu("mnuFile") : mnuFile;
        file->popup(press->globalPosition().toPoint());
        return true;
    }
    bool timeField = std::find(std::begin(lTime), std::end(lTime), watched) != std::end(lTime);
    bool button = press->button() == Qt::LeftButton || press->button() == Qt::RightButton;
    if (timeField && button && menusShown) {
        menusShown->menu("mnuTimeFormat")->popup(press->globalPosition().toPoint());
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
