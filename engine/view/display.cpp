/*
 * display.cpp - what a document window shows: its display mode, its
 * vertical zoom, and the display settings every window shares.
 *
 * Mode and vertical zoom belong to the window, not to the state, so undo
 * never changes how the sound is looked at; the settings belong to the
 * engine, like the limits, and are stored beside the options.
 */
#include "engine/core/engine.h"
#include "engine/view/view.h"
#include "engine/view/wave_view.h"

#include <algorithm>

extern "C" KV_API int32_t kvGetViewOptions(KV_ViewOptions *options, int32_t size) {
    if (!options || size != static_cast<int32_t>(sizeof(KV_ViewOptions))) return -1;
    *options = kvEngine.viewOptions;
    return 0;
}

extern "C" KV_API int32_t kvSetViewOptions(const KV_ViewOptions *options, int32_t size) {
    if (!options || size != static_cast<int32_t>(sizeof(KV_ViewOptions))) return -1;
    kvEngine.viewOptions = *options;
    kvClampViewOptions(&kvEngine.viewOptions);
    for (int32_t doc = 0; doc < KV_MAX_DOCUMENTS; doc++)
        if (kvGetView(doc)) kvRedraw(doc, KV_REDRAW_FULL);
    return 0;
}

extern "C" KV_API int32_t kvSetDisplayMode(int32_t doc, int32_t mode) {
    WaveView *view = kvGetView(doc);
    if (!view || mode < KV_DISPLAY_WAVEFORM || mode > KV_DISPLAY_BOTH) return -1;
    view->displayMode = mode;
    kvRedraw(doc, KV_REDRAW_FULL);
    return 0;
}

extern "C" KV_API int32_t kvGetDisplayMode(int32_t doc) {
    WaveView *view = kvGetView(doc);
    return view ? view->displayMode : -1;
}

extern "C" KV_API int32_t kvZoomVertical(int32_t doc, int32_t step) {
    WaveView *view = kvGetView(doc);
    if (!view) return -1;
    switch (step) {
    case KV_VZOOM_IN:
        view->verticalZoom = std::min(view->verticalZoom * 2, KV_MOST_VERTICAL_ZOOM);
        break;
    case KV_VZOOM_OUT:
        view->verticalZoom = std::max(view->verticalZoom / 2, 1);
        break;
    case KV_VZOOM_RESET:
        view->verticalZoom = 1;
        break;
    default:
        return -1;
    }
    kvRedraw(doc, KV_REDRAW_FULL);
    return 0;
}

extern "C" KV_API int32_t kvGetVerticalZoom(int32_t doc) {
    WaveView *view = kvGetView(doc);
    return view ? view->verticalZoom : -1;
}
