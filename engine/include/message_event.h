/*
 * message_event.h - the engine's window messages as Qt events.
 *
 * A message number (KV_MSG_...) is used directly as the event type, and the
 * two message parameters travel as pointer-sized integers. The program includes
 * this header to read the notifications its frame window receives.
 */
#ifndef KV_PLATFORM_MESSAGE_EVENT_H
#define KV_PLATFORM_MESSAGE_EVENT_H

#include <QEvent>
#include <cstdint>

class KvMessageEvent : public QEvent {
  public:
    KvMessageEvent(int32_t message, intptr_t wParam, intptr_t lParam)
        : QEvent(static_cast<QEvent::Type>(message)), wParam(wParam), lParam(lParam) {}
    intptr_t wParam;
    intptr_t lParam;
};

#endif
