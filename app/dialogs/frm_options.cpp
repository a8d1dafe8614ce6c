/*
 * frm_options.cpp - the options dialog, its colour palette and its preview.
 *
 * The preview picture draws each part of a small waveform through one routine
 * twice: once in the colours shown and once into a hidden map whose pixel
 * values are the colour items, so a click selects exactly the item whose
 * colour is under the pointer. Scheme browsing listens to every menu of the
 * program while the dialog lives, as the menu-select hook it stands for did.
 */
#include "app/dialogs/frm_options.h"
#include "app/dialogs/ctl_presets.h"
#include "app/dialogs/help_topics.h"
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

std::function<int32_t(int32_t)> frmOptions::deviceCountCall = kvGetDeviceCount;
std::function<int32_t(int32_t, int32_t, char *, int32_t)> frmOptions::deviceNameCall =
    kvGetDeviceName;
std::function<int32_t(int32_t, char *, int32_t, char *, int32_t)> frmOptions::driveCall =
    kvGetDrive;

static const char *const colorItems[10] = {"Unselected Background",
                                           "Unselected Wave Data",
                                           "Unselected Grid",
                                           "Selected Background",
                                           "Selected Wave Data",
                                           "Selected Grid",
                                           "Wave Shadow",
                                           "Analyzer",
                                           "Cursor",
                                           "Blank Area"};
enum { ITEM_WAVE_SHADOW = 6, ITEM_NONE = 255 };
static const int fftSizes[6] = {256, 512, 1024, 2048, 4096, 8192};
static const int fftOverlaps[4] = {4, 8, 16, 32};

/* The position of value among count values, or -1. */
static int mdlIndexOf(const int *values, int count, int value) {
    for (int i = 0; i < count; i++)
        if (values[i] == value) return i;
    return -1;
}

static QColor mdlColorOf(int32_t value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

static int32_t mdlValueOf(const QColor &color) {
    return color.red() | color.green() << 8 | color.blue() << 16;
}

/* Row 0 runs from black to white; rows 1 to 9 hold ten hues each, from deep
 * through full to pale, so every region of the colour space is one click. */
int32_t mdlPaletteColor(int index) {
    int row = index / 10, column = index % 10;
    if (row == 0)
        return mdlValueOf(QColor::fromRgb(column * 255 / 9, column * 255 / 9, column * 255 / 9));
    static const int saturation[9] = {255, 255, 255, 255, 255, 255, 180, 115, 60};
    static const int value[9] = {64, 102, 140, 178, 216, 255, 255, 255, 255};
    return mdlValueOf(QColor::fromHsv(column * 36, saturation[row - 1], value[row - 1]));
}

/* ---- Preview picture ---- */

enum {
    PREVIEW_WIDTH = 216,
    PREVIEW_HEIGHT = 108,
    METER_HEIGHT = 14,
    LANE_TOP = 16,
    DATA_WIDTH = 168,
    SELECTION_START = 56,
    SELECTION_END = 112
};

/* Top and bottom rows of the wave in column x of the lane. */
static void mdlWaveSpan(int x, int *top, int *bottom) {
    int middle = (LANE_TOP + PREVIEW_HEIGHT) / 2, half = (PREVIEW_HEIGHT - LANE_TOP) / 2 - 4;
    double level = 0.12 + 0.8 * std::fabs(std::sin(x / 7.0)) * (0.55 + 0.45 * std::sin(x / 29.0));
    *top = middle - static_cast<int>(level * half);
    *bottom = middle + static_cast<int>(level * half * 0.85);
}

/* Draws the picture with paintOf(item) as the colour of each item. */
static void mdlDrawPreview(QPainter &painter, const std::function<QColor(int)> &paintOf,
                           bool shadow) {
    painter.fillRect(0, 0, PREVIEW_WIDTH, METER_HEIGHT, paintOf(-1));
    for (int bar = 0; bar < 10; bar++) {
        int height = 3 + (bar * 7 + 5) % 10;
        painter.fillRect(3 + bar * 6, METER_HEIGHT - 1 - height, 4, height, paintOf(7));
    }
    painter.fillRect(0, METER_HEIGHT, PREVIEW_WIDTH, LANE_TOP - METER_HEIGHT, paintOf(9));
    int laneHeight = PREVIEW_HEIGHT - LANE_TOP;
    painter.fillRect(0, LANE_TOP, DATA_WIDTH, laneHeight, paintOf(0));
    painter.fillRect(SELECTION_START, LANE_TOP, SELECTION_END - SELECTION_START, laneHeight,
                     paintOf(3));
    painter.fillRect(DATA_WIDTH, LANE_TOP, PREVIEW_WIDTH - DATA_WIDTH, laneHeight, paintOf(9));
    auto selected = [](int x) { return x >= SELECTION_START && x < SELECTION_END; };
    int middle = (LANE_TOP + PREVIEW_HEIGHT) / 2;
    for (int x = 0; x < DATA_WIDTH; x++) {
        painter.setPen(paintOf(selected(x) ? 5 : 2));
        for (int y : {middle - laneHeight / 4, middle, middle + laneHeight / 4})
            if (y == middle || x % 4 < 2) painter.drawPoint(x, y);
        if (x % 28 == 14) painter.drawLine(x, LANE_TOP, x, PREVIEW_HEIGHT - 1);
    }
    int top = 0, bottom = 0;
    for (int x = 0; x < DATA_WIDTH; x++) {
        mdlWaveSpan(x, &top, &bottom);
        if (shadow && x + 1 < DATA_WIDTH) {
            painter.setPen(paintOf(ITEM_WAVE_SHADOW));
            painter.drawLine(x + 1, top + 1, x + 1, bottom + 1);
        }
        painter.setPen(paintOf(selected(x) ? 4 : 1));
        painter.drawLine(x, top, x, bottom);
    }
    painter.setPen(paintOf(8));
    painter.drawLine(SELECTION_START, LANE_TOP, SELECTION_START, PREVIEW_HEIGHT - 1);
    painter.setPen(paintOf(4));
    painter.drawLine(SELECTION_END - 1, LANE_TOP, SELECTION_END - 1, PREVIEW_HEIGHT - 1);
}

ctlColorPreview::ctlColorPreview(QWidget *owner) : QWidget(owner) {
    setObjectName("picPreview");
    setFixedSize(PREVIEW_WIDTH, PREVIEW_HEIGHT);
    setCursor(Qt::PointingHandCursor);
}

QSize ctlColorPreview::sizeHint() const {
    return QSize(PREVIEW_WIDTH, PREVIEW_HEIGHT);
}

void ctlColorPreview::showColors(const int32_t *table) {
    std::memcpy(colors.data(), table, sizeof(int32_t) * colors.size());
    update();
}

void ctlColorPreview::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    mdlDrawPreview(
        painter,
        [this](int item) { return item < 0 ? QColor(Qt::black) : mdlColorOf(colors[item]); },
        colors[10] != 0);
}

int ctlColorPreview::itemAt(QPoint point) const {
    QImage map(PREVIEW_WIDTH, PREVIEW_HEIGHT, QImage::Format_RGB32);
    map.fill(QColor(ITEM_NONE, 0, 0));
    QPainter painter(&map);
    /* The meter's black ground belongs to the analyzer it frames. */
    mdlDrawPreview(
        painter, [](int item) { return QColor(item < 0 ? 7 : item, 0, 0); }, colors[10] != 0);
    painter.end();
    if (!map.rect().contains(point)) return -1;
    int item = qRed(map.pixel(point));
    return item == ITEM_NONE ? -1 : item;
}

void ctlColorPreview::mousePressEvent(QMouseEvent *event) {
    int item = itemAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && item >= 0) emit itemClicked(item);
}

/* ---- Palette ---- */

enum { CELL = 13 };

ctlPalette::ctlPalette(QWidget *owner) : QWidget(owner) {
    setObjectName("palette");
    setFixedSize(10 * CELL + 1, 10 * CELL + 1);
    setCursor(Qt::PointingHandCursor);
}

QSize ctlPalette::sizeHint() const {
    return QSize(10 * CELL + 1, 10 * CELL + 1);
}

QRect ctlPalette::cellRect(int index) const {
    return QRect((index % 10) * CELL + 1, (index / 10) * CELL + 1, CELL - 1, CELL - 1);
}

void ctlPalette::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Dark));
    for (int i = 0; i < 100; i++)
        painter.fillRect(cellRect(i), mdlColorOf(mdlPaletteColor(i)));
}

void ctlPalette::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) return;
    QPoint point = event->position().toPoint();
    for (int i = 0; i < 100; i++)
        if (cellRect(i).contains(point)) emit colorClicked(mdlPaletteColor(i));
}

/* ---- The dialog ---- */

static QComboBox *mdlList(QWidget *owner, const QString &name, const QStringList &items) {
    auto *list = new QComboBox(owner);
    list->setObjectName(name);
    list->addItems(items);
    return list;
}

static QCheckBox *mdlCheck(QWidget *owner, const QString &name, const QString &caption) {
    auto *box = new QCheckBox(caption, owner);
    box->setObjectName(name);
    return box;
}

static QPushButton *mdlButton(QWidget *owner, const QString &name, const QString &caption) {
    auto *button = new QPushButton(caption, owner);
    button->setObjectName(name);
    return button;
}

frmOptions::frmOptions(QWidget *owner, KV_Options *options, KV_Params *params, int page)
    : QDialog(owner), options(options), params(params) {
    setObjectName("frmOptions");
    setWindowTitle("Program Options");
    std::memcpy(&working, options, sizeof working);
    kvGetLimits(&workingLimits, sizeof workingLimits);
    kvGetViewOptions(&workingView, sizeof workingView);

    fraBody = new QWidget(this);
    lstPages = new QListWidget(fraBody);
    lstPages->setObjectName("lstPages");
    lstPages->setAccessibleName("Pages");
    lstPages->addItems({"Audio Settings", "General", "Advanced", "Colors", "FFT Settings", "View"});
    lstPages->setFixedWidth(lstPages->sizeHintForColumn(0) + 24);
    pages = new QStackedWidget(fraBody);
    pages->setObjectName("pages");
    pages->addWidget(createAudioPage());
    pages->addWidget(createGeneralPage());
    pages->addWidget(createAdvancedPage());
    pages->addWidget(createColorsPage());
    pages->addWidget(createFftPage());
    pages->addWidget(createViewPage());
    connect(lstPages, &QListWidget::currentRowChanged, pages, &QStackedWidget::setCurrentIndex);

    cmdOK = mdlButton(fraBody, "cmdOK", "&OK");
    cmdOK->setDefault(true);
    cmdCancel = mdlButton(fraBody, "cmdCancel", "&Cancel");
    cmdApply = mdlButton(fraBody, "cmdApply", "&Apply");
    cmdHelp = mdlButton(fraBody, "cmdHelp", "&Help");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton *button : {cmdOK, cmdCancel, cmdApply, cmdHelp})
        buttons->addWidget(button);
    auto *top = new QHBoxLayout;
    top->addWidget(lstPages);
    top->addWidget(pages, 1);
    auto *body = new QVBoxLayout(fraBody);
    body->addLayout(top, 1);
    body->addLayout(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(fraBody);

    fillDevices();
    fillDrives();
    showWorkFolderSize();
    readControls();
    presets->LoadMenu("Color Schemes", working.colors, sizeof working.colors);

    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdApply, &QPushButton::clicked, this, &frmOptions::Apply);
    connect(cmdHelp, &QPushButton::clicked, this, [this] { mdlShowHelp(this, 1, kvHelpOptions); });
    lstPages->setCurrentRow(page >= MDL_OPTIONS_AUDIO && page <= MDL_OPTIONS_VIEW ? page : 0);
    cmdApply->setEnabled(false);
    qApp->installEventFilter(this);
}

frmOptions::~frmOptions() {
    qApp->removeEventFilter(this);
}

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

QWidget *frmOptions::createColorsPage() {
    auto *page = new QWidget;
    cmbItems = mdlList(page, "cmbItems", {});
    cmbItems->setAccessibleName("Color Item");
    for (const char *item : colorItems)
        cmbItems->addItem(item);
    lblColor = new QLabel(page);
    lblColor->setObjectName("lblColor");
    lblColor->setFixedSize(24, 18);
    lblColor->setFrameShape(QFrame::Box);
    lblColor->setAutoFillBackground(true);
    palette = new ctlPalette(page);
    palette->setAccessibleName("Color Palette");
    cmdCustom = mdlButton(page, "cmdCustom", "Custom...");
    chkShadow = mdlCheck(page, "chkShadow", "Draw Shadow");
    picPreview = new ctlColorPreview(page);
    picPreview->setAccessibleName("Color Preview");
    presets = new ctlPresets(page);

    auto *itemRow = new QHBoxLayout;
    itemRow->addWidget(cmbItems, 1);
    itemRow->addWidget(lblColor);
    auto *left = new QVBoxLayout;
    left->addLayout(itemRow);
    left->addWidget(palette);
    left->addWidget(cmdCustom);
    left->addStretch(1);
    auto *right = new QVBoxLayout;
    right->addWidget(picPreview);
    right->addWidget(chkShadow);
    right->addWidget(presets, 0, Qt::AlignLeft);
    right->addStretch(1);
    auto *layout = new QHBoxLayout(page);
    layout->addLayout(left);
    layout->addLayout(right);

    connect(cmbItems, &QComboBox::currentIndexChanged, this, [this] { readColorControls(); });
    connect(palette, &ctlPalette::colorClicked, this, &frmOptions::assignColor);
    connect(cmdCustom, &QPushButton::clicked, this, [this] {
        int item = cmbItems->currentIndex();
        assignColor(kvGetColor(static_cast<KvWindow>(this), working.colors[item]));
    });
    connect(chkShadow, &QCheckBox::clicked, this, [this](bool on) {
        working.colors[10] = on ? 1 : 0;
        cmbItems->setCurrentIndex(ITEM_WAVE_SHADOW);
        readColorControls();
        changed();
    });
    connect(picPreview, &ctlColorPreview::itemClicked, cmbItems, &QComboBox::setCurrentIndex);
    connect(presets, &ctlPresets::presetLoaded, this, [this] {
        readColorControls();
        changed();
    });
    return page;
}

QWidget *frmOptions::createFftPage() {
    auto *page = new QWidget;
    QStringList sizes;
    for (int size : fftSizes)
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
        working.fftSize = fftSizes[index];
        changed();
    });
    connect(cmbWindow, &QComboBox::currentIndexChanged, this, [this](int index) {
        working.fftWindow = index;
        changed();
    });
    connect(cmbOSamp, &QComboBox::currentIndexChanged, this, [this](int index) {
        working.fftOverlap = fftOverlaps[index];
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

/* Sets every control from the working copy; an option whose stored value is
 * not one of a list's entries leaves that list without a choice. */
void frmOptions::readControls() {
    const QList<QWidget *> controls = fraBody->findChildren<QWidget *>();
    std::vector<std::unique_ptr<QSignalBlocker>> quiet;
    for (QWidget *control : controls)
        quiet.push_back(std::make_unique<QSignalBlocker>(control));
    chkTips->setChecked(working.showTips != 0);
    chkDontAsk->setChecked(working.skipNewFileDialog != 0);
    cmdSettings->setEnabled(working.skipNewFileDialog != 0 && params);
    chkClipWarn->setChecked(working.clipWarning != 0);
    cmbClipWarn->setCurrentIndex(
        working.clipWarningDb >= 0 && working.clipWarningDb <= 10 ? working.clipWarningDb : -1);
    cmbClipWarn->setEnabled(working.clipWarning != 0);
    lblClipDb->setEnabled(working.clipWarning != 0);
    int device = working.playDevice + 1;
    cmbDevice->setCurrentIndex(device >= 0 && device < cmbDevice->count() ? device : -1);
    int drive = working.tempDrive == 0 ? 0 : cmbTDrive->findData(std::toupper(working.tempDrive));
    cmbTDrive->setCurrentIndex(drive);
    chkNoSync->setChecked(working.noSyncWait != 0);
    chkCopyBitmap->setChecked(working.copyWholeBitmap != 0);
    txtUndoLimit->setValue(workingLimits.maxUndoLevels);
    chkShowAnal->setChecked(working.showAnalyzer != 0);
    cmbFSize->setCurrentIndex(mdlIndexOf(fftSizes, 6, working.fftSize));
    cmbWindow->setCurrentIndex(working.fftWindow >= 0 && working.fftWindow <= 5 ? working.fftWindow
                                                                                : -1);
    cmbOSamp->setCurrentIndex(mdlIndexOf(fftOverlaps, 4, working.fftOverlap));
    cmbFreqScale->setCurrentIndex(workingView.frequencyScale);
    cmbColorMap->setCurrentIndex(workingView.colorMap);
    txtRangeDb->setValue(workingView.rangeDb);
    txtGainDb->setValue(workingView.gainDb);
    cmbAmpRuler->setCurrentIndex(workingView.amplitudeRuler);
    cmbNewMode->setCurrentIndex(workingView.newWindowMode);
    quiet.clear();
    readColorControls();
}

void frmOptions::readColorControls() {
    int item = std::max(cmbItems->currentIndex(), 0);
    QPalette swatch = lblColor->palette();
    swatch.setColor(QPalette::Window, mdlColorOf(working.colors[item]));
    lblColor->setPalette(swatch);
    chkShadow->setChecked(working.colors[10] != 0);
    picPreview->showColors(working.colors);
}

void frmOptions::changed() {
    cmdApply->setEnabled(true);
}

void frmOptions::assignColor(int32_t color) {
    working.colors[std::max(cmbItems->currentIndex(), 0)] = color;
    readColorControls();
    changed();
}

void frmOptions::cmdSettings_Click() {
    frmProperties properties(this, &working, params, false);
    properties.exec();
}

void frmOptions::Apply() {
    /* The body goes grey rather than the dialog itself: the notice box is
     * owned by the dialog, and a box owned by a disabled window takes no input. */
    QApplication::setOverrideCursor(Qt::WaitCursor);
    fraBody->setEnabled(false);
    if (working.tempDrive != options->tempDrive)
        mdlMessageBox(this, "Temp Drive Changed",
                      "Changes to the Temp Directory will take effect the next time you start "
                      "Korvel.",
                      QMessageBox::Ok, QMessageBox::Information, QMessageBox::Ok);
    std::memcpy(options, &working, sizeof working);
    kvSetLimits(&workingLimits, sizeof workingLimits);
    kvSetViewOptions(&workingView, sizeof workingView);
    kvFullRefresh();
    if (mdlMain.frame) mdlMain.frame->UpdateTips();
    fraBody->setEnabled(true);
    cmdApply->setEnabled(false);
    QApplication::restoreOverrideCursor();
    cmdOK->setFocus();
}

void frmOptions::cmdOK_Click() {
    if (cmdApply->isEnabled()) Apply();
    accept();
}

/* ---- Scheme preview while browsing menus ---- */

void frmOptions::MenuHover(int32_t id) {
    if (id == lastHover) return;
    lastHover = id;
    if (id >= 1 &&
        kvLoadPreset("Color Schemes", id - 1, scheme.data(), sizeof(int32_t) * scheme.size()) >= 0)
        picPreview->showColors(scheme.data());
    else
        picPreview->showColors(working.colors);
}

/* " n:" or " nn:" at the start of at most 80 characters names scheme n. */
void frmOptions::menuSelect(QAction *entry) {
    QByteArray text = entry->text().left(80).toLocal8Bit();
    text.truncate(static_cast<int>(qstrnlen(text.constData(), text.size())));
    auto digit = [&text](int i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
    int32_t id = 0;
    if (text.startsWith(' ') && digit(1) && text.size() > 2 && text[2] == ':')
        id = text[1] - '0';
    else if (text.startsWith(' ') && digit(1) && digit(2) && text.size() > 3 && text[3] == ':')
        id = (text[1] - '0') * 10 + (text[2] - '0');
    MenuHover(id);
}

bool frmOptions::eventFilter(QObject *watched, QEvent *event) {
    auto *menu = qobject_cast<QMenu *>(watched);
    if (menu && event->type() == QEvent::Show)
        connect(menu, &QMenu::hovered, this, &frmOptions::menuSelect, Qt::UniqueConnection);
    else if (menu && event->type() == QEvent::Hide)
        MenuHover(-1);
    return QDialog::eventFilter(watched, event);
}

bool mdlShowOptions(QWidget *owner, KV_Options *options, int page) {
    KV_Params *params = mdlMain.frame ? mdlMain.frame->params() : nullptr;
    frmOptions dialog(owner, options, params, page);
    return dialog.exec() == QDialog::Accepted;
}
