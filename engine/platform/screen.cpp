/*
 * screen.cpp - the primary screen's work area through Qt.
 *
 * Qt's QRect::right() is the last pixel inside the rectangle; the edges here
 * lie one past it, so they are built from x + width and y + height.
 */
#include "engine/platform/screen.h"

#include <QGuiApplication>
#include <QScreen>

#include <climits>

static KvRect testArea;
static bool testAreaSet = false;

void kvTestSetWorkArea(const KvRect *area) {
    if (area) testArea = *area;
    testAreaSet = area != nullptr;
}

KvRect kvPrimaryWorkArea() {
    if (testAreaSet) return testArea;
    const KvRect unbounded{0, 0, INT32_MAX, INT32_MAX};
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) return unbounded;
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) return unbounded;
    QRect area = screen->availableGeometry();
    return {area.x(), area.y(), area.x() + area.width(), area.y() + area.height()};
}
