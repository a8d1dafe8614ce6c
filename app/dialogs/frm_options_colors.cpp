/*
 * frm_options_colors.cpp - the options dialog's colours: its page, the
 * palette and the preview picture.
 *
 * The preview picture draws each part of a small waveform through one routine
 * twice: once in the colours shown and once into a hidden map whose pixel
 * values are the colour items, so a click selects exactly the item whose
 * colour is under the pointer.
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
void frmOptions::readColorControls() {
    int item = std::max(cmbItems->currentIndex(), 0);
    QPalette swatch = lblColor->palette();
    swatch.setColor(QPalette::Window, mdlColorOf(working.colors[item]));
    lblColor->setPalette(swatch);
    chkShadow->setChecked(working.colors[10] != 0);
    picPreview->showColors(working.colors);
}
void frmOptions::assignColor(int32_t color) {
    working.colors[std::max(cmbItems->currentIndex(), 0)] = color;
    readColorControls();
    changed();
}
