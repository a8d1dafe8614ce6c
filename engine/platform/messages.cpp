/*
 * messages.cpp - message boxes and window messages over Qt.
 *
 * Every box is decided on the GUI thread: a worker thread hands the request
 * over and waits for the answer, which is how a task-modal box behaves. The
 * wait is a mutex and condition of ours rather than Qt's blocking call, so
 * the hand-over is ordered in a way the thread sanitizer can see (Qt's own
 * locks are invisible to it), and a worker never touches a QPointer, whose
 * count belongs to the GUI thread. Without a QApplication nothing can be shown, so the
 * text goes to standard error and the caller's default answer stands.
 */
#include "engine/platform/messages.h"
#include "message_event.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

/* Test-only bookkeeping; boxes are rare, so a plain mutex is fine here. */
static std::mutex testMutex;
static std::deque<int32_t> queuedAnswers;
static std::vector<KvShownBox> shownBoxes;

void kvTestQueueAnswer(int32_t answer) {
    std::lock_guard<std::mutex> lock(testMutex);
    queuedAnswers.push_back(answer);
}

std::vector<KvShownBox> kvTestTakeShownBoxes() {
    std::lock_guard<std::mutex> lock(testMutex);
    std::vector<KvShownBox> taken;
    taken.swap(shownBoxes);
    return taken;
}

/* Records the box; returns true with *answer set when a test queued one. */
static bool kvTakeQueuedAnswer(const KvShownBox &box, int32_t *answer) {
    std::lock_guard<std::mutex> lock(testMutex);
    shownBoxes.push_back(box);
    if (queuedAnswers.empty()) return false;
    *answer = queuedAnswers.front();
    queuedAnswers.pop_front();
    return true;
}

static bool kvGuiRunning() {
    return qobject_cast<QApplication *>(QCoreApplication::instance());
}

static bool kvOnGuiThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

/* The wait of one hand-over: set when the body has run or was dropped. */
struct KvHandOff {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
};

/* Ends the wait when the last copy of the queued call goes, whether Qt ran
 * it or dropped it because its context object was deleted first. */
struct KvHandOffSignal {
    std::shared_ptr<KvHandOff> handOff;
    explicit KvHandOffSignal(std::shared_ptr<KvHandOff> waiting) : handOff(std::move(waiting)) {}
    KvHandOffSignal(const KvHandOffSignal &) = delete;
    KvHandOffSignal &operator=(const KvHandOffSignal &) = delete;
    ~KvHandOffSignal() {
        std::lock_guard<std::mutex> hold(handOff->lock);
        handOff->finished = true;
        handOff->done.notify_all();
    }
};

/* Held while a worker queues a call; the call takes it before running, so
 * everything the worker built happens before the GUI thread reads it. */
static std::mutex handOffQueue;

/* Runs `body` on the GUI thread while `context` lives, and waits until it
 * has run or been dropped with `context`. */
static void kvRunOnGuiThread(QObject *context, const std::function<void()> &body) {
    auto handOff = std::make_shared<KvHandOff>();
    {
        std::lock_guard<std::mutex> queueing(handOffQueue);
        auto signal = std::make_shared<KvHandOffSignal>(handOff);
        QMetaObject::invokeMethod(
            context,
            [signal, &body] {
                { std::lock_guard<std::mutex> ordered(handOffQueue); }
                body();
            },
            Qt::QueuedConnection);
    }
    std::unique_lock<std::mutex> waiting(handOff->lock);
    handOff->done.wait(waiting, [&] { return handOff->finished; });
}

static QMessageBox::Icon kvQtIcon(int32_t icon) {
    switch (icon) {
    case KV_ICON_STOP:
        return QMessageBox::Critical;
    case KV_ICON_QUESTION:
        return QMessageBox::Question;
    case KV_ICON_INFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::Warning;
    }
}

static int32_t kvRunBox(QWidget *owner, const KvShownBox &box) {
    QMessageBox dialog(kvQtIcon(box.icon), QString::fromUtf8(box.title.c_str()),
                       QString::fromUtf8(box.text.c_str()), QMessageBox::NoButton, owner);
    dialog.setWindowModality(Qt::ApplicationModal);
    switch (box.buttons) {
    case KV_BOX_YES_NO:
        dialog.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case KV_BOX_YES_NO_CANCEL:
        dialog.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case KV_BOX_OK_CANCEL:
        dialog.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    default:
        dialog.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (dialog.exec()) {
    case QMessageBox::Yes:
        return KV_ID_YES;
    case QMessageBox::No:
        return KV_ID_NO;
    case QMessageBox::Cancel:
        return KV_ID_CANCEL;
    default:
        return KV_ID_OK;
    }
}

int32_t kvShowMessageBox(KvWindow owner, const char *title, const char *text, int32_t buttons,
                         int32_t icon, int32_t defaultAnswer) {
    KvShownBox box{title ? title : "", text ? text : "", buttons, icon};
    int32_t answer = defaultAnswer;
    if (kvTakeQueuedAnswer(box, &answer)) return answer;
    if (owner == nullptr || !kvGuiRunning()) {
        std::fprintf(stderr, "%s: %s\n", box.title.c_str(), box.text.c_str());
        std::fflush(stderr);
        return defaultAnswer;
    }
    auto *ownerWidget = static_cast<QWidget *>(owner);
    if (kvOnGuiThread()) return kvRunBox(ownerWidget, box);
    kvRunOnGuiThread(ownerWidget, [&] { answer = kvRunBox(ownerWidget, box); });
    return answer;
}

void kvSendMessage(KvWindow target, int32_t message, intptr_t wParam, intptr_t lParam) {
    if (target == nullptr || QCoreApplication::instance() == nullptr) return;
    auto *widget = static_cast<QWidget *>(target);
    auto deliver = [widget, message, wParam, lParam] {
        KvMessageEvent event(message, wParam, lParam);
        QCoreApplication::sendEvent(widget, &event);
    };
    if (kvOnGuiThread())
        deliver();
    else
        kvRunOnGuiThread(widget, deliver);
}

/* Its own function so that the thread sanitizer's excuse for Qt's invisible
 * queue lock (tests/tsan.supp) covers the posted event and nothing else. */
static KvMessageEvent *kvNewPostedEvent(int32_t message, intptr_t wParam, intptr_t lParam) {
    return new KvMessageEvent(message, wParam, lParam);
}

void kvPostMessage(KvWindow target, int32_t message, intptr_t wParam, intptr_t lParam) {
    if (target == nullptr || QCoreApplication::instance() == nullptr) return;
    QCoreApplication::postEvent(static_cast<QWidget *>(target),
                                kvNewPostedEvent(message, wParam, lParam));
}

void kvRemovePostedMessages(KvWindow target, int32_t message) {
    if (target == nullptr || QCoreApplication::instance() == nullptr) return;
    QCoreApplication::removePostedEvents(static_cast<QWidget *>(target), message);
}
