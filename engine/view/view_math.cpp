/*
 * view_math.cpp - the view's arithmetic; see view_math.h.
 */
#include "engine/view/view_math.h"
#include "engine/document/document.h"

#include <algorithm>
#include <cstdint>

int32_t kvClampFrame(int64_t frame) {
    return static_cast<int32_t>(std::clamp<int64_t>(frame, INT32_MIN, INT32_MAX));
}

int32_t kvColumnOf(int64_t frame, int32_t firstFrame, int32_t framesPerPixel) {
    return kvClampFrame((frame - firstFrame) / framesPerPixel);
}

void kvNormaliseView(KV_State *state, int32_t width) {
    state->selAnchor = std::clamp(state->selAnchor, 0, state->length);
    state->selEnd = std::clamp(state->selEnd, 0, state->length);
    int64_t zoom = state->framesPerPixel;
    if (zoom <= 0) return;
    int64_t first = state->firstFrame / zoom * zoom;
    int64_t last = (state->length / zoom - width) * zoom;
    if (first > last) first = last;
    if (first < 0) first = 0;
    state->firstFrame = static_cast<int32_t>(first);
}

int32_t kvZoomStep(int32_t framesPerPixel, int32_t percent) {
    int64_t zoom = static_cast<int64_t>(framesPerPixel) * (percent + 100) / 100;
    if (zoom == framesPerPixel) zoom += percent > 0 ? 1 : -1;
    return static_cast<int32_t>(std::clamp<int64_t>(zoom, KV_MIN_ZOOM, KV_MAX_ZOOM));
}

int32_t kvZoomedFirstFrame(int32_t firstFrame, int32_t oldZoom, int32_t newZoom, int32_t width,
                           bool anchored, int32_t anchorColumn) {
    if (anchored) {
        int64_t anchorFrame = static_cast<int64_t>(anchorColumn) * oldZoom + firstFrame;
        return kvClampFrame(anchorFrame - static_cast<int64_t>(anchorColumn) * newZoom);
    }
    int64_t shift =
        (static_cast<int64_t>(oldZoom) * width - static_cast<int64_t>(newZoom) * width) / 2;
    return kvClampFrame(firstFrame + shift);
}

int32_t kvFitZoom(int32_t length, int32_t width) {
    if (width < 1) width = 1;
    int64_t zoom = (static_cast<int64_t>(length) + width - 1) / width;
    return static_cast<int32_t>(std::clamp<int64_t>(zoom, KV_MIN_ZOOM, KV_MAX_ZOOM));
}

KvScrollSetting kvScrollSetting(int32_t length, int32_t framesPerPixel, int32_t firstFrame,
                                int32_t width) {
    KvScrollSetting setting{};
    int32_t columns = length / framesPerPixel;
    setting.unit = columns / 32768 + 1;
    if (width >= columns) return setting;
    setting.enabled = true;
    setting.position = firstFrame / framesPerPixel / setting.unit;
    setting.maximum = columns / setting.unit;
    setting.page = width / setting.unit;
    return setting;
}

int64_t kvTickSpacing(int32_t framesPerPixel) {
    int64_t spacing = 96;
    while (spacing / framesPerPixel < 64)
        spacing *= 2;
    return spacing;
}

int32_t kvChannelAtRow(int32_t y, int32_t u, int32_t channels, bool locked) {
    if (channels < 2 || locked) return -1;
    if (y < 2 * u + 18) return 0;
    if (y <= 6 * u + 21) return -1;
    return 1;
}

int32_t kvAutoScrollStep(int64_t now, int64_t lastTick, bool rightButton) {
    int64_t step = lastTick != 0 ? 2 * (now - lastTick) : 1;
    if (!rightButton) step /= 4;
    return static_cast<int32_t>(std::clamp<int64_t>(step, 1, 64));
}
