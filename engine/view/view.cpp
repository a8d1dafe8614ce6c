/*
 * view.cpp - taking over a document window and giving it back.
 *
 * The engine watches the program's window through an event filter: what the
 * view handles (paint, size, mouse, keys, wheel, its own messages) it
 * consumes or passes on as the window procedure it replaces would, and
 * everything else goes to the window untouched. The window carries its
 * document handle + 1 as a property; kvClose removes the filter, the scroll
 * bar and every attribute the view set, so the window is as it was.
 */
#include "engine/view/view.h"
#include "engine/audio/playback.h"
#include "engine/core/engine.h"
#include "engine/document/document.h"
#include "engine/view/spectrum.h"
#include "engine/view/wave_view.h"

#include <QAbstractSlider>
#include <QEvent>
#include <QScrollBar>
#include <QVariant>
#include <QWidget>

#include <algorithm>

static const char *const kHandleProperty = "kvDocumentHandle";

class KvViewFilter : public QObject {
  public:
    explicit KvViewFilter(QWidget *window) : window(window) {}
    bool eventFilter(QObject *watched, QEvent *event) override {
        int32_t doc = kvDocumentOfWindow(window);
        WaveView *view = kvGetView(doc);
        return view ? kvViewEvent(doc, view, watched, event) : false;
    }

  private:
    QWidget *window;
};

WaveView *kvGetView(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    return document ? document->view : nullptr;
}

int32_t kvDocumentOfWindow(const QWidget *window) {
    QVariant stored = window->property(kHandleProperty);
    if (stored.isValid()) {
        int32_t doc = stored.toInt() - 1;
        KV_Document *document = kvGetDocument(doc);
        if (document && document->window == window) return doc;
    }
    for (int32_t doc = 0; doc < KV_MAX_DOCUMENTS; doc++) {
        KV_Document *document = kvDocuments[doc];
        if (document && document->window == window) return doc;
    }
    return -1;
}

int32_t kvPlayFrameOf(int32_t doc) {
    KV_PlayCursor *cursor = kvPlayCursor(doc);
    return cursor ? cursor->playFrame.load() : -1;
}

void kvSetTouched(int32_t doc, int32_t touched) {
    if (KV_PlayCursor *cursor = kvPlayCursor(doc)) cursor->userTouched.store(touched);
}

bool kvPlaybackFollows(int32_t doc) {
    KV_PlayCursor *cursor = kvPlayCursor(doc);
    return cursor && cursor->following.load() && !cursor->userTouched.load();
}

int32_t kvPlayChannelOf(int32_t doc) {
    return kvPlayback.playDoc.load() == doc ? kvPlayback.playChannel.load() : -1;
}

/* Lent to the playback's cursor tracker (another thread): the width in
 * columns of a document's window, 0 without one. */
static int32_t kvViewWidthOf(int32_t doc) {
    WaveView *view = kvGetView(doc);
    return view ? view->width : 0;
}

static int32_t kvScrollBarHeight(const WaveView *view) {
    return view->scrollBar ? view->scrollBar->sizeHint().height() : 0;
}

void kvClientSize(const WaveView *view, int32_t *width, int32_t *height) {
    *width = std::max(view->window->width(), 64);
    int32_t client = view->window->height() - kvScrollBarHeight(view);
    *height = client < 32 ? 64 : client;
}

void kvPlaceScrollBar(WaveView *view) {
    if (!view->scrollBar) return;
    int32_t bar = kvScrollBarHeight(view);
    view->scrollBar->setGeometry(0, view->window->height() - bar, view->window->width(), bar);
}

static void kvCreateScrollBar(WaveView *view, QWidget *window) {
    auto *bar = new QScrollBar(Qt::Horizontal, window);
    bar->setFocusPolicy(Qt::NoFocus);
    bar->setContextMenuPolicy(Qt::NoContextMenu);
    bar->setAccessibleName("Waveform Position");
    bar->setEnabled(false);
    view->scrollBar = bar;
    view->scrollBarObject = bar;
    kvPlaceScrollBar(view);
    bar->show();
    bar->installEventFilter(view->filter);
    QObject::connect(bar, &QAbstractSlider::actionTriggered, view->filter, [window](int action) {
        int32_t doc = kvDocumentOfWindow(window);
        if (WaveView *current = kvGetView(doc)) kvScrollBarAction(doc, current, action);
    });
}

void kvViewAttach(int32_t doc, KvWindow handle) {
    KV_Document *document = kvGetDocument(doc);
    if (!document || !handle || document->view) return;
    auto *window = static_cast<QWidget *>(handle);
    auto *view = new WaveView;
    document->view = view;
    view->window = window;
    view->displayMode = kvEngine.viewOptions.newWindowMode;
    view->hadOpaquePaint = window->testAttribute(Qt::WA_OpaquePaintEvent);
    view->hadMouseTracking = window->hasMouseTracking();
    view->hadCursor = window->testAttribute(Qt::WA_SetCursor);
    view->oldCursor = window->cursor();
    view->oldFocusPolicy = window->focusPolicy();
    window->setProperty(kHandleProperty, doc + 1);
    window->setAttribute(Qt::WA_OpaquePaintEvent);
    window->setMouseTracking(true);
    window->setFocusPolicy(Qt::StrongFocus);
    window->setCursor(Qt::ArrowCursor);
    view->filter = new KvViewFilter(window);
    kvCreateScrollBar(view, window);
    window->installEventFilter(view->filter);
    document->oldWindowProc = view->filter;
    kvViewWidthHook.store(kvViewWidthOf);
}

void kvViewDetach(int32_t doc) {
    KV_Document *document = kvGetDocument(doc);
    WaveView *view = document ? document->view : nullptr;
    if (!view) return;
    if (QWidget *window = view->window.data()) {
        window->removeEventFilter(view->filter);
        delete view->scrollBar.data();
        window->setProperty(kHandleProperty, QVariant());
        window->setAttribute(Qt::WA_OpaquePaintEvent, view->hadOpaquePaint);
        window->setMouseTracking(view->hadMouseTracking);
        window->setFocusPolicy(view->oldFocusPolicy);
        if (view->hadCursor)
            window->setCursor(view->oldCursor);
        else
            window->unsetCursor();
        window->update();
    }
    delete view->filter;
    kvSpectrumForget(doc);
    document->view = nullptr;
    document->oldWindowProc = nullptr;
    delete view;
}
