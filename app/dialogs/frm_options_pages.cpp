/*
 * frm_options_pages.cpp - the options dialog's pages other than the colours:
 * audio devices, general, advanced (working folder), FFT and display.
 */
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/frm_options.h"
#include "app/dialogs/help_topics.h"
#include "app/dialogs/options_controls.h"
#include "app/shell/frm_mdi.h"
#include "app/shell/frm_properties.h"
#include "app/shell/mdl_main.h"
#include "app/shell/prompts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

QWidget *frmOptions::createAudioPage() {
    auto *page = new QWidget;
    cmbDevice = mdlList(page, "cmbDevice", {});
    chkShowAnal = mdlCheck(page, "chkShowAnal", "Show &Analyzer");
    chkClipWarn = mdlCheck(page, "chkClipWarn", "&Prompt before Saving if Peak Level exceeds:");
    cmbClipWarn = mdlList(page, "cmbClipWarn", {});
    for (int db = 0; db <= 10; db++)
        cmbClipWarn->addItem(QString::number(db));
    lblClipDb = new QLabel("dB", page);
    auto *clipRow = new QHBoxLayout;
    clipRow->addWidget(chkClipWarn);
    clipRow->addWidget(cmbClipWarn);
    clipRow->addWidget(lblClipDb);
    clipRow->addStretch(1);
    auto *layout = new QVBoxLayout(page);
    auto *lblDevice = new QLabel("Playback Device:", page);
    lblDevice->setBuddy(cmbDevice);
    layout->addWidget(lblDevice);
    layout->addWidget(cmbDevice);
    layout->addSpacing(8);
    layout->addWidget(chkShowAnal);
    layout->addLayout(clipRow);
    layout->addStretch(1);

    connect(cmbDevice, &QComboBox::currentIndexChanged, this, [this](int index) {
        working.playDevice = index - 1;
        changed();
    });
    connect(chkShowAnal, &QCheckBox::toggled, this, [this](bool on) {
        working.showAnalyzer = on ? 1 : 0;
        changed();
    });
    connect(chkClipWarn, &QCheckBox::toggled, this, [this](bool on) {
        working.clipWarning = on ? 1 : 0;
        cmbClipWarn->setEnabled(on);
        lblClipDb->setEnabled(on);
        changed();
    });
    connect(cmbClipWarn, &QComboBox::currentIndexChanged, this, [this](int index) {
        working.clipWarningDb = index;
        changed();
    });
    return page;
}

QWidget *frmOptions::createGeneralPage() {
    auto *page = new QWidget;
    chkTips = mdlCheck(page, "chkTips", "Show &Tooltips on Toolbar Buttons");
    chkDontAsk = mdlCheck(page, "chkDontAsk", "&Don't Prompt for New File Settings");
    cmdSettings = mdlButton(page, "cmdSettings", "Settings...");
    auto *askRow = new QHBoxLayout;
    askRow->addWidget(chkDontAsk);
    askRow->addWidget(cmdSettings);
    askRow->addStretch(1);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(chkTips);
    layout->addLayout(askRow);
    layout->addStretch(1);

    connect(chkTips, &QCheckBox::toggled, this, [this](bool on) {
        working.showTips = on ? 1 : 0;
        changed();
    });
    connect(chkDontAsk, &QCheckBox::toggled, this, [this](bool on) {
        working.skipNewFileDialog = on ? 1 : 0;
        cmdSettings->setEnabled(on && params);
        changed();
    });
    connect(cmdSettings, &QPushButton::clicked, this, &frmOptions::cmdSettings_Click);
    return page;
}

QWidget *frmOptions::createAdvancedPage() {
    auto *page = new QWidget;
    cmbTDrive = mdlList(page, "cmbTDrive", {});
    chkNoSync = mdlCheck(page, "chkNoSync", "Disable Vertical Sync");
    chkCopyBitmap = mdlCheck(page, "chkCopyBitmap", "Copy Whole Bitmap (no partial blt)");
    lblWorkSize = new QLabel(page);
    lblWorkSize->setObjectName("lblWorkSize");
    txtUndoLimit = new QSpinBox(page);
    txtUndoLimit->setObjectName("txtUndoLimit");
    txtUndoLimit->setRange(0, KV_MOST_UNDO_LEVELS);
    txtUndoLimit->setSpecialValueText("Unlimited");
    auto *lblUndoLimit = new QLabel("&Undo Levels Kept per Sound:", page);
    lblUndoLimit->setBuddy(txtUndoLimit);
    auto *undoRow = new QHBoxLayout;
    undoRow->addWidget(lblUndoLimit);
    undoRow->addWidget(txtUndoLimit);
    undoRow->addStretch(1);
    auto *layout = new QVBoxLayout(page);
    auto *lblTDrive = new QLabel("Temporary Files:", page);
    lblTDrive->setBuddy(cmbTDrive);
    layout->addWidget(lblTDrive);
    layout->addWidget(cmbTDrive);
    layout->addWidget(lblWorkSize);
    layout->addLayout(undoRow);
    layout->addSpacing(8);
    layout->addWidget(chkNoSync);
    layout->addWidget(chkCopyBitmap);
    layout->addStretch(1);

    connect(cmbTDrive, &QComboBox::currentIndexChanged, this, [this](int index) {
        working.tempDrive = cmbTDrive->itemData(index).toInt();
        changed();
    });
    connect(txtUndoLimit, &QSpinBox::valueChanged, this, [this](int levels) {
        workingLimits.maxUndoLevels = levels;
        changed();
    });
    connect(chkNoSync, &QCheckBox::toggled, this, [this](bool on) {
        working.noSyncWait = on ? 1 : 0;
        changed();
    });
    connect(chkCopyBitmap, &QCheckBox::toggled, this, [this](bool on) {
        working.copyWholeBitmap = on ? 1 : 0;
        changed();
    });
    return page;
}
QWidget *frmOptions::createFftPage() {
    auto *page = new QWidget;
    QStringList sizes;
    for (int size : mdlFftSizes)
        sizes.append(QString::number(size));
    cmbFSize = mdlList(page, "cmbFSize", sizes);
    cmbWindow = mdlList(page, "cmbWindow",
                        {"Rectangle", "Barlett", "Blackman", "Hamming", "Hanning", "Sinusoid"});
    cmbOSamp = mdlList(page, "cmbOSamp", {"4x (75%)", "8x (88%)", "16x (94%)", "32x (97%)"});
    auto *grid = new QGridLayout;
    int row = 0;
    for (auto [caption, list] : {std::pair<const char *, QComboBox *>{"FFT Size:", cmbFSize},
                                 {"Window:", cmbWindow},
                                 {"Overlap:", cmbOSamp}}) {
        auto *label = new QLabel(caption, page);
        label->setBuddy(list);
        grid->addWidget(label, row, 0);
        grid->addWidget(list, row++, 1);
    }
    grid->setColumnStretch(2, 1);
    auto *note = new QLabel(
        "For the FFT Size and Overlap, larger values give better sound, but slower performance.",
        page);
    note->setWordWrap(true);
    auto *layout = new QVBoxLayout(page);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addStretch(1);

    connect(cmbFSize, &QComboBox::currentIndexChanged, this, [this](int index) {
        working.fftSize = mdlFftSizes[index];
        changed();
    });
    connect(cmbWindow, &QComboBox::currentIndexChanged, this, [this](int index) {
        working.fftWindow = index;
        changed();
    });
    connect(cmbOSamp, &QComboBox::currentIndexChanged, this, [this](int index) {
        working.fftOverlap = mdlFftOverlaps[index];
        changed();
    });
    return page;
}

/* The spectrogram's axis, colours and levels, the amplitude ruler, and
 * what a new window shows. */
QWidget *frmOptions::createViewPage() {
    auto *page = new QWidget;
    cmbFreqScale = mdlList(page, "cmbFreqScale", {"Linear", "Logarithmic"});
    cmbColorMap = mdlList(page, "cmbColorMap", {"Perceptual (Viridis)", "Color Scheme"});
    auto spin = [page](const char *name, int least, int most) {
        auto *box = new QSpinBox(page);
        box->setObjectName(name);
        box->setRange(least, most);
        box->setSuffix(" dB");
        return box;
    };
    txtRangeDb = spin("txtRangeDb", KV_LEAST_SPECTRUM_RANGE_DB, KV_MOST_SPECTRUM_RANGE_DB);
    txtGainDb = spin("txtGainDb", KV_LEAST_SPECTRUM_GAIN_DB, KV_MOST_SPECTRUM_GAIN_DB);
    cmbAmpRuler = mdlList(page, "cmbAmpRuler", {"Decibels", "Linear"});
    cmbNewMode =
        mdlList(page, "cmbNewMode", {"Waveform", "Spectrogram", "Waveform and Spectrogram"});
    auto *grid = new QGridLayout;
    int row = 0;
    for (auto [caption, control] :
         {std::pair<const char *, QWidget *>{"Spectrogram &Frequency Axis:", cmbFreqScale},
          {"Spectrogram &Colors:", cmbColorMap},
          {"Spectrogram &Range:", txtRangeDb},
          {"Spectrogram &Gain:", txtGainDb},
          {"&Amplitude Ruler:", cmbAmpRuler},
          {"&New Windows Show:", cmbNewMode}}) {
        auto *label = new QLabel(caption, page);
        label->setBuddy(control);
        grid->addWidget(label, row, 0);
        grid->addWidget(control, row++, 1);
    }
    grid->setColumnStretch(2, 1);
    auto *note =
        new QLabel("The spectrogram uses the window size and type of the FFT Settings.", page);
    note->setWordWrap(true);
    auto *layout = new QVBoxLayout(page);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addStretch(1);

    auto follow = [this](QComboBox *list, int32_t *field) {
        connect(list, &QComboBox::currentIndexChanged, this, [this, field](int index) {
            *field = index;
            changed();
        });
    };
    follow(cmbFreqScale, &workingView.frequencyScale);
    follow(cmbColorMap, &workingView.colorMap);
    follow(cmbAmpRuler, &workingView.amplitudeRuler);
    follow(cmbNewMode, &workingView.newWindowMode);
    for (auto [box, field] : {std::pair<QSpinBox *, int32_t *>{txtRangeDb, &workingView.rangeDb},
                              {txtGainDb, &workingView.gainDb}})
        connect(box, &QSpinBox::valueChanged, this, [this, field](int value) {
            *field = value;
            changed();
        });
    return page;
}

void frmOptions::fillDevices() {
    QSignalBlocker quiet(cmbDevice);
    cmbDevice->addItem("(Use Default Output Device)");
    int32_t count = deviceCountCall(0);
    char name[256];
    for (int32_t n = 0; n < count; n++)
        if (deviceNameCall(0, n, name, sizeof name) >= 0)
            cmbDevice->addItem(QString("ID %1: %2").arg(n).arg(QString::fromLocal8Bit(name)));
}

/* Each entry names the working folder the drive would hold, as "C:" plus
 * "\KVTEMP" would on a lettered system; its item data is the letter. */
void frmOptions::fillDrives() {
    QSignalBlocker quiet(cmbTDrive);
    cmbTDrive->addItem("(Use System Temp Directory)", 0);
    char mount[1024], label[256];
    for (int32_t n = 0;; n++) {
        int32_t letter = driveCall(n, mount, sizeof mount, label, sizeof label);
        if (letter < 0) break;
        QString drive = QString(QChar(letter)) + ":";
        QString root = QString::fromLocal8Bit(mount);
        QString name = label[0] ? QString::fromLocal8Bit(label) : "Fixed Disk " + drive;
        QString folder = root + (root.endsWith('/') ? "KVTEMP" : "/KVTEMP");
        cmbTDrive->addItem(drive + " " + folder + " [" + name + "]", letter);
    }
}

/* What the working folder holds now, in bytes as the engine counts them and
 * in the short form a user reads at a glance. */
void frmOptions::showWorkFolderSize() {
    int64_t bytes = 0;
    if (kvGetWorkFolderSize(&bytes) != 0) {
        lblWorkSize->setText("Temporary files now take: unknown");
        return;
    }
    QLocale locale;
    auto shown = static_cast<qint64>(bytes);
    lblWorkSize->setText(QString("Temporary files now take: %1 (%2 bytes)")
                             .arg(locale.formattedDataSize(shown), locale.toString(shown)));
}