/*
 * view_bench - redrawing the waveform view of an hour of stereo sound.
 *
 * Usage: view_bench [minutes]          (default 60)
 *        view_bench --screenshots DIR  (pictures of a stereo and a mono document)
 *        view_bench --quiet-picture PNG SOUND  (the last second of SOUND,
 *                                               magnified eight times)
 *
 * Builds the document from one minute of sound doubled by copy and paste
 * (descriptors only, as a user would), shows it in a 1920 x 400 view
 * (offscreen unless QT_QPA_PLATFORM says otherwise) and prints milliseconds
 * per full redraw and per 16-column scroll at 1, 16, 64, 1024 and 65536
 * frames per pixel: once for the memory picture alone (window hidden) and
 * once with the copy to the window. Then the same view as a spectrogram:
 * the first picture of the whole file (every column computed), full
 * redraws once the columns are cached, and scroll steps that compute the
 * 16 columns coming into view.
 */
#include "bench/bench_support.h"
#include "engine/document/document.h"
#include "engine/history/history.h"
#include "engine/view/spectrum.h"
#include "engine/view/view.h"
#include "engine/view/view_math.h"
#include "engine/view/wave_view.h"

#include <QApplication>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

static const int32_t kRate = 44100;

/* A few notes with decaying harmonics, different on each side: a picture
 * with some shape at every zoom. */
static float kvBenchSignal(int64_t i, int32_t channel) {
    double t = static_cast<double>(i) / kRate;
    double note = std::fmod(t, 0.5);
    double envelope = std::exp(-note * (channel ? 5.0 : 8.0));
    double pitch = channel ? 220.0 : 330.0;
    double wave = 0.5 * std::sin(6.2831853 * pitch * t) +
                  0.25 * std::sin(6.2831853 * 2.01 * pitch * t) +
                  0.12 * std::sin(6.2831853 * 3.02 * pitch * t);
    double swell = 0.6 + 0.4 * std::sin(6.2831853 * t / 7.0);
    return static_cast<float>(wave * envelope * swell);
}

/* Appends frames of the signal to the end of the document as one edit. */
static void kvBenchAppend(int32_t doc, int32_t channels, int64_t frames) {
    int32_t length = kvGetLength(doc);
    kvSetSelection(doc, length, length, -1);
    kvBeginEdit(doc, "Append");
    std::vector<float> piece(KV_BLOCK_FRAMES);
    for (int64_t done = 0; done < frames; done += KV_BLOCK_FRAMES) {
        int32_t count = static_cast<int32_t>(std::min<int64_t>(KV_BLOCK_FRAMES, frames - done));
        for (int32_t c = 0; c < channels; c++) {
            for (int32_t i = 0; i < count; i++)
                piece[i] = kvBenchSignal(done + i, c);
            kvQueueInsert(doc, c, piece.data(), count);
        }
    }
    kvCompleteEdit(doc, true);
}

/* One minute of sound doubled by copy and paste until it is long enough,
 * then cut to `minutes`. */
static void kvBenchFill(int32_t doc, int32_t minutes) {
    kvBenchAppend(doc, 2, int64_t{60} * kRate);
    int64_t wanted = int64_t{minutes} * 60 * kRate;
    while (kvGetLength(doc) < wanted) {
        int32_t length = kvGetLength(doc);
        kvSetSelection(doc, 0, length, -1);
        kvCopy(doc);
        kvSetSelection(doc, length, length, -1);
        kvPaste(doc, 0);
    }
    kvSetSelection(doc, static_cast<int32_t>(wanted), kvGetLength(doc), -1);
    if (kvIsSel(doc)) kvDelete(doc);
    kvSetSelection(doc, 0, 0, -1);
}

struct KvBenchFigures {
    double fullMs;
    double scrollMs;
    double worstScrollMs;
};

/* Times full redraws at a zoom, then incremental 16-column scrolls. */
static KvBenchFigures kvBenchZoom(int32_t doc, int32_t zoom) {
    KV_State *state = kvGetDocument(doc)->current;
    int32_t width = kvGetView(doc)->width;
    int64_t last = (int64_t{state->length} / zoom - width) * zoom;
    int64_t start = std::min<int64_t>(last / 2 / zoom * zoom, last - 50 * 16 * int64_t{zoom});
    start = std::max<int64_t>(start, 0);
    state->framesPerPixel = zoom;
    state->firstFrame = static_cast<int32_t>(start);
    for (int32_t i = 0; i < 3; i++)
        kvRedraw(doc, KV_REDRAW_FULL);
    const int32_t fullRuns = 40;
    auto begin = Clock::now();
    for (int32_t i = 0; i < fullRuns; i++)
        kvRedraw(doc, KV_REDRAW_FULL);
    KvBenchFigures figures{benchSeconds(begin) * 1000.0 / fullRuns, 0.0, 0.0};
    int32_t steps =
        static_cast<int32_t>(std::min<int64_t>(50, (last - start) / (16 * int64_t{zoom})));
    for (int32_t i = 0; i < steps; i++) {
        state->firstFrame += 16 * zoom;
        auto step = Clock::now();
        kvRedraw(doc, KV_REDRAW_INCREMENTAL);
        double ms = benchSeconds(step) * 1000.0;
        figures.scrollMs += ms;
        figures.worstScrollMs = std::max(figures.worstScrollMs, ms);
    }
    if (steps > 0) figures.scrollMs /= steps;
    return figures;
}

/* The spectrogram of the same view: the whole file's first picture, then
 * per zoom the full redraw from cached columns and the scroll steps. */
static void kvBenchSpectrogram(int32_t doc) {
    KV_State *state = kvGetDocument(doc)->current;
    int32_t width = kvGetView(doc)->width;
    kvSetDisplayMode(doc, KV_DISPLAY_SPECTROGRAM);
    kvSpectrumForget(doc);
    state->firstFrame = 0;
    state->framesPerPixel = kvFitZoom(state->length, width);
    auto begin = Clock::now();
    kvRedraw(doc, KV_REDRAW_FULL);
    std::printf("\nspectrogram (FFT 2048, Hanning, both channels)\n"
                "first picture of the whole file (%d frames/pixel): %.1f ms\n",
                state->framesPerPixel, benchSeconds(begin) * 1000.0);
    std::printf("%-16s %12s %12s %12s\n", "frames/pixel", "cached ms", "scroll ms", "worst scroll");
    for (int32_t zoom : {1, 16, 64, 1024, 65536}) {
        KvBenchFigures figures = kvBenchZoom(doc, zoom);
        std::printf("%-16d %12.3f %12.3f %12.3f\n", zoom, figures.fullMs, figures.scrollMs,
                    figures.worstScrollMs);
    }
    std::printf("cached: full redraw with every column cached; scroll: 16 columns moved,\n"
                "16 computed and drawn (window shown).\n");
    kvSetDisplayMode(doc, KV_DISPLAY_WAVEFORM);
}

static QWidget *kvBenchWindow(int32_t width, int32_t height) {
    auto *window = new QWidget;
    window->resize(width, height + QScrollBar(Qt::Horizontal).sizeHint().height());
    return window;
}

static int kvBenchRun(int32_t minutes) {
    QWidget *window = kvBenchWindow(1920, 400);
    int32_t doc = kvCreate(window);
    window->show();
    QCoreApplication::processEvents();
    kvNew(doc, 2, 16, 1, kRate);
    auto begin = Clock::now();
    kvBenchFill(doc, minutes);
    std::printf("document: %d min stereo at %d Hz, %d frames, built in %.1f s\n", minutes, kRate,
                kvGetLength(doc), benchSeconds(begin));
    std::printf("view: %d x %d pixels\n\n", kvGetView(doc)->width, kvGetView(doc)->height);
    std::printf("%-16s %12s %12s %12s %12s %12s\n", "frames/pixel", "full ms", "scroll ms",
                "full+copy ms", "scroll+copy", "worst scroll");
    for (int32_t zoom : {1, 16, 64, 1024, 65536}) {
        window->hide();
        KvBenchFigures picture = kvBenchZoom(doc, zoom);
        window->show();
        QCoreApplication::processEvents();
        KvBenchFigures shown = kvBenchZoom(doc, zoom);
        std::printf("%-16d %12.3f %12.3f %12.3f %12.3f %12.3f\n", zoom, picture.fullMs,
                    picture.scrollMs, shown.fullMs, shown.scrollMs,
                    std::max(picture.worstScrollMs, shown.worstScrollMs));
    }
    std::printf("\nfull: whole picture redrawn; scroll: 16 columns moved, 16 drawn;\n"
                "+copy: with the window shown and brought up to date from the picture.\n");
    kvBenchSpectrogram(doc);
    kvClose(doc);
    delete window;
    return 0;
}

/* A picture of a short document, zoomed to fit, with a selection. */
static void kvBenchPicture(int32_t channels, int32_t anchor, int32_t end, int32_t channel,
                           const std::string &file) {
    QWidget *window = kvBenchWindow(960, 360);
    int32_t doc = kvCreate(window);
    window->show();
    QCoreApplication::processEvents();
    kvNew(doc, channels, 16, 1, kRate);
    kvBenchAppend(doc, channels, int64_t{12} * kRate);
    kvZoomSpecial(doc, KV_ZOOM_WHOLE);
    kvSetSelection(doc, anchor, end, channel);
    QCoreApplication::processEvents();
    bool saved = window->grab().save(QString::fromStdString(file), "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "could not write", file.c_str());
    kvClose(doc);
    delete window;
}

/* The last second of a sound file fitted to the window and magnified eight
 * times, with the amplitude ruler in dB: how a quiet passage looks. */
static int kvBenchQuietPicture(const std::string &file, const std::string &sound) {
    QWidget *window = kvBenchWindow(960, 360);
    int32_t doc = kvCreate(window);
    window->show();
    QCoreApplication::processEvents();
    if (kvOpen(doc, sound.c_str()) != 0) return 1;
    int32_t rate = kvGetSampleRate(doc), length = kvGetLength(doc);
    kvSetSelection(doc, std::max(0, length - rate), length, -1);
    kvZoomSpecial(doc, KV_ZOOM_SELECTION);
    kvSetSelection(doc, length, length, -1);
    for (int32_t i = 0; i < 3; i++)
        kvZoomVertical(doc, KV_VZOOM_IN);
    QCoreApplication::processEvents();
    bool saved = window->grab().save(QString::fromStdString(file), "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "could not write", file.c_str());
    kvClose(doc);
    delete window;
    return saved ? 0 : 1;
}

int main(int argc, char **argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    BenchEngine engine;
    benchStart(&engine);
    /* The program's default colours and shadow switch (the bench has no
     * program); set after the start, which may bring back a stored record. */
    const int32_t colors[11] = {0x4F3111, 0x8EB0B0, 0x492C0D, 0xA06028, 0xFFFFFF, 0x78481E,
                                0x28180A, 0xFF9900, 0xFF8040, 0x404040, 1};
    std::memcpy(engine.options.colors, colors, sizeof colors);
    engine.options.noSyncWait = 1;
    int result = 0;
    if (argc > 2 && std::strcmp(argv[1], "--screenshots") == 0) {
        std::string folder = argv[2];
        kvBenchPicture(2, 3 * kRate, 5 * kRate, -1, folder + "/view-stereo.png");
        kvBenchPicture(1, 7 * kRate, 8 * kRate + kRate / 2, -1, folder + "/view-mono.png");
    } else if (argc > 3 && std::strcmp(argv[1], "--quiet-picture") == 0) {
        result = kvBenchQuietPicture(argv[2], argv[3]);
    } else {
        result = kvBenchRun(argc > 1 ? std::max(1, std::atoi(argv[1])) : 60);
    }
    benchStop(&engine);
    return result;
}
