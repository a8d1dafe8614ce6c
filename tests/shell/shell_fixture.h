/*
 * shell_fixture.h - a frame window on a private sandbox for the program's
 * GUI tests, with the helpers they share.
 *
 * Help requests are only recorded. Every modal window that appears is
 * watched: it goes to the next handler a test queued, and without one (an
 * engine box or dialog nobody expected) it fails the test and is closed, so
 * a test can never hang on a dialog.
 */
#ifndef KV_TEST_SHELL_FIXTURE_H
#define KV_TEST_SHELL_FIXTURE_H

#include "app/shell/frm_main.h"
#include "app/shell/frm_mdi.h"
#include "tests/support/test_support.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QTimer;

class ShellTest : public KvSandbox {
  protected:
    void SetUp() override;
    void TearDown() override;

    /* Creates the frame and starts the engine (records from the sandbox). */
    void startFrame();
    /* Closes the frame as the user would; true when it closed. */
    bool closeFrame();

    /* The next engine file dialog: chooses `path`, or cancels when empty. */
    void answerFileDialog(const QString &path);
    /* The next modal window of any kind is handed to `handler`, which must
     * close it. */
    void onNextModal(std::function<void(QWidget *)> handler);

    /* A WAVE file of 32-bit float (formatTag 3) or 16-bit PCM samples, one
     * value per frame copied to every channel. */
    std::string writeWave(const std::string &name, int32_t channels, int32_t rate,
                          const std::vector<float> &frames, bool floating);
    /* `count` frames of a gentle ramp between -0.5 and 0.5. */
    static std::vector<float> ramp(int32_t count);

    frmMain *openDocument(const std::string &path);
    /* The largest absolute sample of the document's current state. */
    static float peakOf(int32_t doc);

    std::unique_ptr<frmMDI> frame;

  private:
    void watchModals();

    QTimer *watchdog = nullptr;
    std::deque<std::function<void(QWidget *)>> modalHandlers;
};

/* Starts a QApplication for the test program once. */
void kvTestEnsureApplication();

#endif
