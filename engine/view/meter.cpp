/*
 * meter.cpp - kvSetVUParams and the meter's drawing and blanking.
 *
 * The drawing thread keeps its own picture (lights not redrawn keep their
 * state, as on a real canvas), copies it into the back buffer of a triple
 * buffer and swaps that with the middle one in one atomic exchange; the
 * paint swaps the middle one with its front buffer when it is newer. Neither
 * side ever waits or sees half a picture. kvSetVUParams reallocates the
 * buffers, which the program only does while nothing plays or records.
 */
#include "engine/view/meter.h"
#include "engine/audio/meter.h"
#include "engine/core/engine.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <cmath>
#include <cstring>

/* The middle buffer's index, with this bit set while it is newer than the front. */
static const int32_t kFresh = 4;

class KvMeterFilter : public QObject {
  public:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

struct KV_Meter {
    QPointer<QWidget> canvas; /* user-interface thread */
    std::atomic<QWidget *> target{nullptr};
    int32_t width = 0;
    QImage drawn;
    QImage buffers[3];
    std::atomic<int32_t> middle{1};
    int32_t back = 2;  /* drawing thread */
    int32_t front = 0; /* user-interface thread */
    KvMeterFilter *filter = nullptr;
};
static KV_Meter meter;

static QEvent::Type kvMeterUpdateEvent() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

/* Brings the newest published picture to the front. */
static void kvTakeFresh() {
    if (meter.middle.load() & kFresh) meter.front = meter.middle.exchange(meter.front) & 3;
}

bool KvMeterFilter::eventFilter(QObject *watched, QEvent *event) {
    if (watched != meter.canvas.data()) return false;
    if (event->type() == kvMeterUpdateEvent()) {
        meter.canvas->update(1, 1, meter.width - 1, 11);
        return true;
    }
    if (event->type() == QEvent::Paint && meter.width > 1) {
        kvTakeFresh();
        QPainter painter(meter.canvas.data());
        QRect area(1, 1, meter.width - 1, 11);
        painter.drawImage(area, meter.buffers[meter.front], area);
    }
    return false;
}

static void kvPublish() {
    if (meter.drawn.isNull()) return;
    QImage &back = meter.buffers[meter.back];
    std::memcpy(back.bits(), meter.drawn.constBits(), meter.drawn.sizeInBytes());
    meter.back = meter.middle.exchange(meter.back | kFresh) & 3;
    if (QWidget *canvas = meter.target.load())
        QCoreApplication::postEvent(canvas, new QEvent(kvMeterUpdateEvent()));
}

static void kvMeterFill(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel) {
    x0 = std::max(x0, 0);
    x1 = std::min(x1, meter.width);
    y1 = std::min(y1, meter.drawn.height());
    for (int32_t y = std::max(y0, 0); y < y1; y++) {
        auto *row = reinterpret_cast<uint32_t *>(meter.drawn.scanLine(y));
        for (int32_t x = x0; x < x1; x++)
            row[x] = pixel;
    }
}

static const uint32_t kBlack = 0xFF000000u;
static const uint32_t kGreen = 0xFF00FF00u;
static const uint32_t kYellow = 0xFFFFFF00u;
static const uint32_t kRed = 0xFFFF0000u;

void kvBlankMeter() {
    if (meter.drawn.isNull()) return;
    kvMeterFill(1, 1, meter.width, 12, kBlack);
    kvPublish();
}

static uint32_t kvAnalyzerPixel() {
    int32_t color = kvEngine.options ? kvEngine.options->colors[7] : 0;
    return 0xFF000000u | (color & 0xFF) << 16 | (color & 0xFF00) | ((color >> 16) & 0xFF);
}

/* Bar i: black when its height is below 0, else its lowest h rows lit. */
static void kvDrawBars(const float *peaks) {
    uint32_t lit = kvAnalyzerPixel();
    for (int32_t i = 0; i < 10; i++) {
        int32_t x = 2 + 4 * i;
        double height = 0.5 * (20.0 * std::log10(static_cast<double>(peaks[i])) + 30.0);
        if (!(height >= 0.0)) {
            kvMeterFill(x, 1, x + 3, 12, kBlack);
            continue;
        }
        int32_t h = height >= 12.0 ? 12 : static_cast<int32_t>(height);
        kvMeterFill(x, 1, x + 3, 12 - h, kBlack);
        kvMeterFill(x, 12 - h, x + 3, 12, lit);
    }
}

void kvDrawMeter(int32_t leftDb, int32_t rightDb, const float *analyzerPeaks) {
    if (meter.drawn.isNull()) return;
    bool analyzer = analyzerPeaks && kvEngine.options && kvEngine.options->showAnalyzer;
    if (analyzer) kvDrawBars(analyzerPeaks);
    int32_t width = meter.width;
    for (int32_t start = analyzer ? 43 : 1; start < width - 5; start += 6) {
        int32_t n = (width - start) / 6;
        uint32_t lit = n == 1 ? kRed : n <= 4 ? kYellow : kGreen;
        kvMeterFill(start + 1, 1, start + 6, 6, -n < leftDb ? lit : kBlack);
        kvMeterFill(start + 1, 7, start + 6, 12, -n < rightDb ? lit : kBlack);
    }
    kvPublish();
}

QImage kvMeterPicture() {
    kvTakeFresh();
    return meter.buffers[meter.front].copy();
}

static void kvMeterRelease() {
    if (meter.canvas && meter.filter) meter.canvas->removeEventFilter(meter.filter);
    delete meter.filter;
    meter.filter = nullptr;
    meter.canvas = nullptr;
    meter.target.store(nullptr);
}

extern "C" KV_API int32_t kvSetVUParams(KvWindow canvas, int32_t width) {
    kvMeterRelease();
    meter.width = std::max(width, 0);
    if (!canvas || meter.width < 2) {
        meter.drawn = QImage();
        return 0;
    }
    meter.drawn = QImage(meter.width, 12, QImage::Format_RGB32);
    meter.drawn.fill(kBlack);
    for (QImage &buffer : meter.buffers)
        buffer = meter.drawn.copy();
    meter.canvas = static_cast<QWidget *>(canvas);
    meter.filter = new KvMeterFilter;
    meter.canvas->installEventFilter(meter.filter);
    meter.target.store(meter.canvas.data());
    kvMeterDrawHook.store(kvDrawMeter);
    kvMeterBlankHook.store(kvBlankMeter);
    kvBlankMeter();
    return 0;
}
