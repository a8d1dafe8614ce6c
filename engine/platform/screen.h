/*
 * screen.h - the work area of the primary screen: the screen minus panels and
 * docks, where a window can be placed and stay fully visible.
 *
 * Only this module asks Qt about screens, so the position check above it stays
 * plain arithmetic. Without a screen (no QGuiApplication, as in headless engine
 * use, or no screen connected) there is nothing to keep a window on, and the
 * area reported is unbounded to the right and below the origin.
 */
#ifndef KV_PLATFORM_SCREEN_H
#define KV_PLATFORM_SCREEN_H

#include <cstdint>

/* Edges in device-independent pixels; right and bottom lie just outside the
 * area (right - left is the width), as in a Windows RECT. */
struct KvRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

/* The primary screen's available geometry, a test's area when one is set, or
 * 0, 0, INT32_MAX, INT32_MAX when there is no screen. */
KvRect kvPrimaryWorkArea();

/* Test hook: the area reported from now on instead of the screen's; null
 * restores the screen. */
void kvTestSetWorkArea(const KvRect *area);

#endif
