/*
 * winpos.cpp - keeps a stored frame position on the primary screen.
 *
 * The record is the program's stored KV_WinPos; its state field is left alone.
 * The size is fitted to the work area first and the position second, so a
 * window larger than the screen ends up filling it from its corner; a minimum
 * of 300 by 200 wins over a smaller work area. Arithmetic runs in 64 bits so a
 * damaged record cannot overflow on its way back into range.
 */
#include "engine/platform/screen.h"
#include "korvel.h"

#include <algorithm>

enum : int32_t { KV_MIN_WIDTH = 300, KV_MIN_HEIGHT = 200 };

/* Fits one axis: the extent to the area and the minimum, then the start so the
 * far edge stays inside and the near edge is not before the area's start. */
static void kvFitAxis(int32_t *start, int32_t *extent, int64_t areaStart, int64_t areaEnd,
                      int64_t minimum) {
    int64_t size = std::max<int64_t>(std::min<int64_t>(*extent, areaEnd - areaStart), minimum);
    int64_t at = std::max<int64_t>(std::min<int64_t>(*start, areaEnd - size), areaStart);
    *extent = static_cast<int32_t>(size);
    *start = static_cast<int32_t>(at);
}

extern "C" KV_API int32_t kvValidateWinPos(KV_WinPos *record, int32_t size) {
    if (size != static_cast<int32_t>(sizeof(KV_WinPos)) || record == nullptr) return -1;
    KvRect area = kvPrimaryWorkArea();
    kvFitAxis(&record->left, &record->width, area.left, area.right, KV_MIN_WIDTH);
    kvFitAxis(&record->top, &record->height, area.top, area.bottom, KV_MIN_HEIGHT);
    return 0;
}
