/*
 * cli_progress.cpp - the progress line and the plain log lines.
 *
 * The estimate for the batch is the time so far scaled by the share done,
 * counting the current file by the engine's percentage, so it settles as
 * files of similar length pass.
 */
#include "app/cli/cli_progress.h"

#include <QElapsedTimer>
#include <cstdio>
#include <unistd.h>

namespace {

struct CliProgressState {
    CliProgressMode mode = CliProgressMode::Quiet;
    int32_t files = 0;
    int32_t index = 0;
    int32_t finished = 0;
    QString name;
    QString caption;
    int32_t percent = 0;
    QElapsedTimer clock;
    bool lineShown = false;
};
CliProgressState state;

QString cliDuration(int64_t seconds) {
    return QString("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

void cliClearLine() {
    if (!state.lineShown) return;
    std::fputs("\r\033[K", stderr);
    state.lineShown = false;
}

void cliDrawBar() {
    double share = (state.finished + state.percent / 100.0) / std::max(state.files, 1);
    int32_t filled = static_cast<int32_t>(share * 20);
    QString bar = QString(filled, '#') + QString(20 - filled, '-');
    QString estimate;
    int64_t elapsed = state.clock.elapsed() / 1000;
    if (share > 0.01) estimate = " ~" + cliDuration(int64_t(elapsed / share) - elapsed) + " left";
    QString line =
        "[" + bar + "] " + QString::number(state.finished) + "/" + QString::number(state.files);
    if (!state.name.isEmpty())
        line +=
            " " + state.name + "  " + state.caption + " " + QString::number(state.percent) + "%";
    line += estimate;
    std::fprintf(stderr, "\r\033[K%s", line.left(200).toLocal8Bit().constData());
    std::fflush(stderr);
    state.lineShown = true;
}

} // namespace

CliProgressMode cliChooseProgressMode(bool quiet) {
    if (quiet) return CliProgressMode::Quiet;
    return isatty(STDERR_FILENO) ? CliProgressMode::Bar : CliProgressMode::Lines;
}

void cliProgressBegin(CliProgressMode mode, int32_t files) {
    state = CliProgressState{};
    state.mode = mode;
    state.files = files;
    state.clock.start();
}

void cliProgressFile(int32_t index, const QString &name) {
    state.index = index;
    state.name = name;
    state.caption.clear();
    state.percent = 0;
    if (state.mode == CliProgressMode::Bar) cliDrawBar();
}

void cliProgressReport(const char *text, int32_t textLength, int32_t percent, int32_t) {
    /* "Please Wait: Saving File..." says no more on a progress line than
     * "Saving File". */
    if (textLength > 0)
        state.caption = QString::fromLocal8Bit(text, textLength).section(": ", -1).remove("...");
    state.percent = std::clamp(percent, 0, 100);
    if (state.mode == CliProgressMode::Bar) cliDrawBar();
}

void cliProgressDone(const QString &result, bool ok) {
    state.finished++;
    state.percent = 0;
    state.caption.clear();
    if (state.mode == CliProgressMode::Lines && ok)
        std::fprintf(stderr, "%d/%d %s\n", state.finished, state.files,
                     result.toLocal8Bit().constData());
    if (state.mode == CliProgressMode::Bar) cliDrawBar();
}

void cliProgressMessage(const QString &line) {
    cliClearLine();
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
    if (state.mode == CliProgressMode::Bar && state.files > 0) cliDrawBar();
}

void cliProgressEnd() {
    cliClearLine();
    std::fflush(stderr);
}
