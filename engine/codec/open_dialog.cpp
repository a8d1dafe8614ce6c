/*
 * open_dialog.cpp - kvGetFileNames: the open dialog with the panel that
 * describes the file under the cursor and previews it.
 *
 * The description is made afresh only when the selection moves to another
 * path, and moving stops any preview, so what plays is always the file the
 * panel describes. The preview thread reports its end through a queued call
 * to this dialog, guarded so a late report from an older preview cannot
 * relabel the button while a newer one plays.
 */
#include "engine/codec/file_dialogs.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/platform/sound_files.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

KvOpenDialog::KvOpenDialog(QWidget *parent) : QFileDialog(parent) {
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::ExistingFiles);
    setAcceptMode(QFileDialog::AcceptOpen);
    /* The libsndfile types are offered only where the library is installed. */
    if (kvSoundFilesInstalled())
        setNameFilters({"Supported File Types (*.wav *.mp3 *.flac *.ogg *.opus *.aif *.aiff)",
                        "PCM Wave Files (*.wav)", "MPEG1 Layer-3 Files (*.mp3)",
                        "FLAC Files (*.flac)", "Ogg Vorbis Files (*.ogg)", "Opus Files (*.opus)",
                        "AIFF Files (*.aif *.aiff)"});
    else
        setNameFilters({"Supported File Types (*.wav *.mp3)", "PCM Wave Files (*.wav)",
                        "MPEG1 Layer-3 Files (*.mp3)"});
    setSizeGripEnabled(true);
    buildPanel();
    connect(this, &QFileDialog::currentChanged, this, &KvOpenDialog::describe);
}

KvOpenDialog::~KvOpenDialog() {
    stopPreview();
}

void KvOpenDialog::showEvent(QShowEvent *event) {
    QFileDialog::showEvent(event);
    kvWidenFileDialog(this);
}

/* The toolkit starts its detail columns narrower than their headings and
 * the date column narrower than a date, and the dialog narrower than the
 * columns, so "Date Modified" and the dates show cut off. A date at its
 * widest (two-digit day and month, late in the day) sets the date column. */
void kvWidenFileDialog(QFileDialog *dialog) {
    auto *view = dialog->findChild<QTreeView *>("treeView");
    if (!view) return;
    QHeaderView *header = view->header();
    const int dateColumn = 3, padding = 16;
    QDateTime widestDate(QDate(2000, 12, 28), QTime(23, 58, 58));
    int dateWidth = view->fontMetrics().horizontalAdvance(
                        QLocale::system().toString(widestDate, QLocale::ShortFormat)) +
                    padding;
    for (int column = 0; column < header->count(); column++) {
        int size = std::max(header->sectionSize(column), header->sectionSizeHint(column));
        if (column == dateColumn) size = std::max(size, dateWidth);
        header->resizeSection(column, size);
    }
    int missing = header->length() - view->viewport()->width();
    if (missing <= 0) return;
    int width = dialog->width() + missing + padding;
    if (QScreen *screen = dialog->screen())
        width = std::min(width, screen->availableGeometry().width());
    dialog->resize(width, dialog->height());
}

/* Texts 1002 and 1003 line up with the file-type label, "Preview" with the
 * buttons; the grid keeps them so when the dialog is resized. */
void KvOpenDialog::buildPanel() {
    QFont small = font();
    small.setPointSize(8);
    formatText = new QLabel(this);
    lengthText = new QLabel(this);
    previewButton = new QPushButton("Preview", this);
    formatText->setObjectName("ctl1002");
    lengthText->setObjectName("ctl1003");
    previewButton->setObjectName("ctl1001");
    for (QWidget *control : {static_cast<QWidget *>(formatText), static_cast<QWidget *>(lengthText),
                             static_cast<QWidget *>(previewButton)})
        control->setFont(small);
    previewButton->setEnabled(false);
    auto *grid = qobject_cast<QGridLayout *>(layout());
    int row = grid->rowCount();
    grid->addWidget(formatText, row, 0, 1, 2);
    grid->addWidget(previewButton, row, 2);
    grid->addWidget(lengthText, row + 1, 0, 1, 2);
    connect(previewButton, &QPushButton::clicked, this, &KvOpenDialog::togglePreview);
}

void KvOpenDialog::describe(const QString &path) {
    if (path == lastPath) return;
    lastPath = path;
    stopPreview();
    candidate = kvDescribeCandidate(QFile::encodeName(path).toStdString());
    formatText->clear();
    lengthText->clear();
    previewButton->setEnabled(false);
    if (candidate.format == 0) return;
    formatText->setText(QString::fromStdString(candidate.formatText));
    lengthText->setText(QString::fromStdString(candidate.lengthText));
    previewButton->setEnabled(true);
}

bool KvOpenDialog::previewRunning() const {
    return preview && preview->running.load() != 0;
}

void KvOpenDialog::togglePreview() {
    if (previewRunning()) {
        stopPreview();
        return;
    }
    if (candidate.format == 0) return;
    QPointer<KvOpenDialog> dialog(this);
    auto ended = [dialog](const KvPreviewFlags *flags) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [dialog, flags] {
                if (dialog) dialog->previewEnded(flags);
            },
            Qt::QueuedConnection);
    };
    preview = kvStartPreview(QFile::encodeName(lastPath).toStdString(), candidate, this, ended);
    QTimer::singleShot(10, this, [this] {
        if (previewRunning()) previewButton->setText("&Stop");
    });
}

void KvOpenDialog::previewEnded(const KvPreviewFlags *flags) {
    if (!preview || preview.get() != flags) return;
    preview.reset();
    previewButton->setText("&Preview");
}

void KvOpenDialog::stopPreview() {
    if (!preview) return;
    kvStopPreview(preview);
    preview.reset();
    previewButton->setText("&Preview");
}

void KvOpenDialog::done(int result) {
    stopPreview();
    QFileDialog::done(result);
}

bool kvDialogsAvailable() {
    return qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr;
}

extern "C" KV_API int32_t kvGetFileNames(KvFileNameCallback callback) {
    if (!kvDialogsAvailable())
        return kvError(0, "An error occurred while attempting to open the file: %d",
                       KV_DIALOG_FAILURE);
    KvOpenDialog dialog(static_cast<QWidget *>(kvEngine.messageWindow));
    if (dialog.exec() != QDialog::Accepted) return -1;
    for (const QString &path : dialog.selectedFiles()) {
        QByteArray bytes = QFile::encodeName(path);
        if (callback) callback(bytes.constData(), static_cast<int32_t>(bytes.size()));
    }
    return 0;
}
