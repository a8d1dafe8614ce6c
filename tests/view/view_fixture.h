/*
 * view_fixture.h - documents shown in real (offscreen) windows: an engine
 * whose message window is a stand-in frame that records the notifications
 * it receives, a document window that records what the view passes on, and
 * the mouse, key and wheel events a user would make.
 */
#ifndef KV_TESTS_VIEW_FIXTURE_H
#define KV_TESTS_VIEW_FIXTURE_H

#include "engine/audio/playback.h"
#include "engine/view/view.h"
#include "engine/view/view_math.h"
#include "engine/view/wave_view.h"
#include "message_event.h"
#include "tests/support/document_fixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <QWidget>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

/* One QApplication for the whole test program, offscreen unless told otherwise. */
inline QApplication *kvTestApplication() {
    static int argc = 1;
    static char name[] = "view_tests";
    static char *argv[] = {name, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication *application = new QApplication(argc, argv);
    return application;
}

/* The program's frame window as far as the view is concerned: it keeps
 * every notification, with the text of the status messages. */
class FrameStandIn : public QWidget {
  public:
    struct Note {
        int32_t message;
        std::string text;
        intptr_t wParam;
    };
    std::vector<Note> notes;

    /* The texts of one message, oldest first. */
    std::vector<std::string> texts(int32_t message) const {
        std::vector<std::string> found;
        for (const Note &note : notes)
            if (note.message == message) found.push_back(note.text);
        return found;
    }
    int32_t count(int32_t message) const {
        int32_t n = 0;
        for (const Note &note : notes)
            n += note.message == message;
        return n;
    }

  protected:
    bool event(QEvent *event) override {
        int32_t type = event->type();
        if ((type >= KV_MSG_SEL_START && type <= KV_MSG_RATE) || type == KV_MSG_CLIPBOARD ||
            type == KV_MSG_ZOOM_CHANGED) {
            auto *message = static_cast<KvMessageEvent *>(event);
            std::string text;
            if (type <= KV_MSG_RATE)
                text.assign(reinterpret_cast<const char *>(message->wParam), message->lParam);
            notes.push_back(Note{type, text, message->wParam});
            return true;
        }
        return QWidget::event(event);
    }
};

/* A document window: it records the keys and clicks the view passes on. */
class DocumentWindow : public QWidget {
  public:
    std::vector<int> keys;
    int32_t presses = 0;

  protected:
    void keyPressEvent(QKeyEvent *event) override { keys.push_back(event->key()); }
    void mousePressEvent(QMouseEvent *) override { presses++; }
};

class ViewTest : public DocumentTest {
  protected:
    void SetUp() override {
        KvSandbox::SetUp();
        kvTestApplication();
        frame = std::make_unique<FrameStandIn>();
        ASSERT_EQ(kvInit(frame.get(), &options, sizeof options, &params, sizeof params, nullptr,
                         nullptr, nullptr),
                  0);
        engineStarted = true;
        kvTestTakeShownBoxes();
    }
    void TearDown() override {
        DocumentTest::TearDown();
        windows.clear();
        frame.reset();
    }

    static int32_t scrollBarHeight() { return QScrollBar(Qt::Horizontal).sizeHint().height(); }

    /* A shown window whose client area (above the scroll bar) is width x height. */
    DocumentWindow *makeWindow(int32_t width = 640, int32_t height = 300) {
        windows.push_back(std::make_unique<DocumentWindow>());
        DocumentWindow *window = windows.back().get();
        window->resize(width, height + scrollBarHeight());
        return window;
    }

    /* A document in a new window filled with the samples (stereo when right
     * is given), at 64 frames per pixel from frame 0, cursor at 0. */
    int32_t makeViewDocument(int32_t rate, const std::vector<float> &left,
                             const std::vector<float> &right = {}, int32_t width = 640,
                             int32_t height = 300) {
        window = makeWindow(width, height);
        int32_t doc = kvCreate(window);
        EXPECT_GE(doc, 0);
        window->show();
        QCoreApplication::processEvents();
        EXPECT_EQ(kvNew(doc, right.empty() ? 1 : 2, 16, 1, rate), 0);
        EXPECT_EQ(replace(doc, 0, 0, -1, left, right, "Fill"), 0);
        kvSetSelection(doc, 0, 0, -1);
        return doc;
    }

    static KV_State *state(int32_t doc) { return kvGetDocument(doc)->current; }
    static WaveView *view(int32_t doc) { return kvGetView(doc); }
    static const QImage &picture(int32_t doc) { return kvGetView(doc)->picture; }
    static QRgb pixel(int32_t doc, int32_t x, int32_t y) { return picture(doc).pixel(x, y); }
    static QRgb colorPixel(int32_t color) {
        return qRgb(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    }

    /* Sets the view fields and redraws the whole picture. */
    static void showAt(int32_t doc, int32_t firstFrame, int32_t framesPerPixel) {
        state(doc)->firstFrame = firstFrame;
        state(doc)->framesPerPixel = framesPerPixel;
        kvRedraw(doc, KV_REDRAW_FULL);
    }

    /* A sine of n frames at `cycles` periods per 1000 frames (made once per
     * shape: tests ask for the same few again and again). */
    static const std::vector<float> &sine(int32_t n, double cycles, float level = 0.8f) {
        static std::map<std::tuple<int32_t, double, float>, std::vector<float>> made;
        std::vector<float> &samples = made[{n, cycles, level}];
        if (samples.empty()) {
            samples.resize(n);
            for (int32_t i = 0; i < n; i++)
                samples[i] =
                    level * static_cast<float>(std::sin(i * cycles * 6.283185307 / 1000.0));
        }
        return samples;
    }

    /* ---- Input as a user makes it ---- */

    void mouse(QEvent::Type type, int32_t x, int32_t y, Qt::MouseButton button,
               Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QPointF at(x, y);
        QMouseEvent event(type, at, window->mapToGlobal(at), button, buttons, modifiers);
        QCoreApplication::sendEvent(window, &event);
    }
    void press(int32_t x, int32_t y, Qt::MouseButton button = Qt::LeftButton) {
        mouse(QEvent::MouseButtonPress, x, y, button, button);
    }
    void release(int32_t x, int32_t y, Qt::MouseButton button = Qt::LeftButton) {
        mouse(QEvent::MouseButtonRelease, x, y, button, Qt::NoButton);
    }
    void moveTo(int32_t x, int32_t y, Qt::MouseButtons buttons = Qt::NoButton) {
        mouse(QEvent::MouseMove, x, y, Qt::NoButton, buttons);
    }
    void click(int32_t x, int32_t y) {
        press(x, y);
        release(x, y);
    }
    void key(int keyCode, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, keyCode, modifiers);
        QCoreApplication::sendEvent(window, &event);
    }
    void wheel(int32_t x, int32_t y, int32_t delta) {
        QPointF at(x, y);
        QWheelEvent event(at, window->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(window, &event);
    }

    std::unique_ptr<FrameStandIn> frame;
    std::vector<std::unique_ptr<DocumentWindow>> windows;
    DocumentWindow *window = nullptr;
};

#endif
