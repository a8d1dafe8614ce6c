/*
 * shell_fixture.cpp - the program tests' frame, dialogs watchdog and files.
 *
 * WAVE files are written byte by byte here, so a test chooses every sample
 * and format without depending on the engine's own writer.
 */
#include "tests/shell/shell_fixture.h"
#include "app/shell/prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

#include <cmath>
#include <cstring>

void kvTestEnsureApplication() {
    static int argc = 1;
    static char name[] = "shell_tests";
    static char *argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
}

void ShellTest::SetUp() {
    KvSandbox::SetUp();
    kvTestEnsureApplication();
    mdlTestCaptureHelp();
    mdlTestTakeShownBoxes();
    mdlTestTakeHelpRequests();
    watchdog = new QTimer;
    QObject::connect(watchdog, &QTimer::timeout, [this] { watchModals(); });
    watchdog->start(50);
}

void ShellTest::TearDown() {
    /* Destroying the frame releases its documents without asking. */
    frame.reset();
    delete watchdog;
    EXPECT_EQ(mdlTestDropPendingAnswers(), 0) << "a queued answer was never asked for";
    EXPECT_TRUE(modalHandlers.empty()) << "a modal window was expected but never shown";
    KvSandbox::TearDown();
}

void ShellTest::startFrame() {
    frame = std::make_unique<frmMDI>(&options, &params);
    ASSERT_TRUE(frame->startEngine());
    noteWorkFolder();
    frame->show();
}

bool ShellTest::closeFrame() {
    bool closed = frame->close();
    if (closed) frame.reset();
    return closed;
}

void ShellTest::onNextModal(std::function<void(QWidget *)> handler) {
    modalHandlers.push_back(std::move(handler));
}

void ShellTest::answerFileDialog(const QString &path) {
    onNextModal([path](QWidget *modal) {
        auto *files = qobject_cast<QFileDialog *>(modal);
        ASSERT_NE(files, nullptr) << "expected a file dialog";
        if (path.isEmpty()) {
            files->reject();
            return;
        }
        /* The name goes straight into the name box: a selectFile() still
         * being applied from the dialog's start could replace it. */
        files->setDirectory(QFileInfo(path).absolutePath());
        auto *name = files->findChild<QLineEdit *>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText(QFileInfo(path).fileName());
        static_cast<QDialog *>(files)->accept();
    });
}

void ShellTest::watchModals() {
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal) return;
    if (!modalHandlers.empty()) {
        std::function<void(QWidget *)> handler = std::move(modalHandlers.front());
        modalHandlers.pop_front();
        handler(modal);
        return;
    }
    ADD_FAILURE() << "unexpected modal window: " << modal->metaObject()->className() << " \""
                  << modal->windowTitle().toStdString() << "\"";
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
}

static void kvPut16(std::string &bytes, int32_t value) {
    bytes.push_back(static_cast<char>(value & 0xFF));
    bytes.push_back(static_cast<char>((value >> 8) & 0xFF));
}

static void kvPut32(std::string &bytes, uint32_t value) {
    for (int i = 0; i < 4; i++)
        bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::string ShellTest::writeWave(const std::string &name, int32_t channels, int32_t rate,
                                 const std::vector<float> &frames, bool floating) {
    int32_t bits = floating ? 32 : 16;
    int32_t blockAlign = channels * bits / 8;
    std::string samples;
    for (float value : frames) {
        for (int32_t c = 0; c < channels; c++) {
            if (floating) {
                uint32_t raw = 0;
                std::memcpy(&raw, &value, 4);
                kvPut32(samples, raw);
            } else {
                kvPut16(samples, static_cast<int32_t>(std::lround(value * 32767.0f)));
            }
        }
    }
    std::string bytes = "RIFF";
    kvPut32(bytes, static_cast<uint32_t>(36 + samples.size()));
    bytes += "WAVEfmt ";
    kvPut32(bytes, 16);
    kvPut16(bytes, floating ? 3 : 1);
    kvPut16(bytes, channels);
    kvPut32(bytes, static_cast<uint32_t>(rate));
    kvPut32(bytes, static_cast<uint32_t>(rate * blockAlign));
    kvPut16(bytes, blockAlign);
    kvPut16(bytes, bits);
    bytes += "data";
    kvPut32(bytes, static_cast<uint32_t>(samples.size()));
    bytes += samples;
    std::string file = path(name);
    kvTestWriteFile(file, bytes);
    return file;
}

std::vector<float> ShellTest::ramp(int32_t count) {
    std::vector<float> frames(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; i++)
        frames[static_cast<size_t>(i)] = -0.5f + static_cast<float>(i % 1000) / 1000.0f;
    return frames;
}

frmMain *ShellTest::openDocument(const std::string &file) {
    return frame->OpenNewFile(QString::fromStdString(file));
}

float ShellTest::peakOf(int32_t doc) {
    int32_t channels = kvGetChannels(doc), length = kvGetLength(doc);
    std::vector<float> samples(static_cast<size_t>(length));
    float peak = 0;
    for (int32_t c = 0; c < channels; c++) {
        kvReadFrames(doc, c, 0, length, samples.data());
        for (float value : samples)
            peak = std::max(peak, std::fabs(value));
    }
    return peak;
}
