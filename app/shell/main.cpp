/*
 * main.cpp - mdlMain: program start-up.
 *
 * The program owns both shared records for the whole run; they must not move
 * once the engine holds their addresses. KORVEL_SCREENSHOT names a PNG file:
 * the editor then saves a picture of its frame window after
 * KORVEL_SCREENSHOT_DELAY_MS milliseconds and quits, which is how pictures are
 * taken on machines without a display.
 */
#include "app/shell/defaults.h"
#include "app/shell/frm_mdi.h"

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

static KV_Options options;
static KV_Params params;

static void mdlScheduleScreenshot(frmMDI *frame) {
    QString file = qEnvironmentVariable("KORVEL_SCREENSHOT");
    if (file.isEmpty()) return;
    int delay = qEnvironmentVariableIntValue("KORVEL_SCREENSHOT_DELAY_MS");
    QTimer::singleShot(delay > 0 ? delay : 1000, frame, [frame, file] {
        frame->grab().save(file, "PNG");
        frame->close();
    });
}

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Korvel");
    mdlDefaultOptions(&options);
    mdlDefaultParams(&params);
    frmMDI frame(&options, &params);
    if (!frame.startEngine()) return 1;
    frame.show();
    mdlScheduleScreenshot(&frame);
    return application.exec();
}
