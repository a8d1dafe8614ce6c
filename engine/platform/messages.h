/*
 * messages.h - message boxes and window messages on the platform.
 *
 * With a GUI running, boxes are application-modal QMessageBoxes owned by the
 * message window and are marshalled to the GUI thread when asked for from a
 * worker thread. Headless (no QApplication, or no owner window) the title and
 * text go to standard error and a question takes its default answer. Tests can
 * queue answers, which also keeps a box from ever blocking them.
 */
#ifndef KV_PLATFORM_MESSAGES_H
#define KV_PLATFORM_MESSAGES_H

#include "korvel.h"

#include <cstdint>
#include <string>
#include <vector>

enum : int32_t { KV_BOX_OK = 0, KV_BOX_OK_CANCEL = 1, KV_BOX_YES_NO_CANCEL = 3, KV_BOX_YES_NO = 4 };
enum : int32_t {
    KV_ICON_STOP = 0x10,
    KV_ICON_QUESTION = 0x20,
    KV_ICON_WARNING = 0x30,
    KV_ICON_INFORMATION = 0x40
};
enum : int32_t { KV_ID_OK = 1, KV_ID_CANCEL = 2, KV_ID_YES = 6, KV_ID_NO = 7 };

/* Shows a box and returns the button chosen (KV_ID_...); defaultAnswer is what
 * a headless run answers. */
int32_t kvShowMessageBox(KvWindow owner, const char *title, const char *text, int32_t buttons,
                         int32_t icon, int32_t defaultAnswer);

/* Delivers a message synchronously (waiting when sent from another thread).
 * A null target drops it. */
void kvSendMessage(KvWindow target, int32_t message, intptr_t wParam, intptr_t lParam);

/* Queues a message for the target's thread and returns at once. */
void kvPostMessage(KvWindow target, int32_t message, intptr_t wParam, intptr_t lParam);

/* Drops every queued message of that number for the target. */
void kvRemovePostedMessages(KvWindow target, int32_t message);

/* Test hooks: answers given to the next boxes instead of showing them, and the
 * boxes shown (or answered) since the last call. */
struct KvShownBox {
    std::string title;
    std::string text;
    int32_t buttons;
    int32_t icon;
};
void kvTestQueueAnswer(int32_t answer);
std::vector<KvShownBox> kvTestTakeShownBoxes();

#endif
