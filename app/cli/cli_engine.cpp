/*
 * cli_engine.cpp - starting and stopping the engine for batch work.
 *
 * The batch session keeps the engine out of the editor's working folder
 * (whose data files a second engine would truncate) and leaves the stored
 * records alone, so what a command line sets never becomes the editor's
 * setting. Presets and settings are read from the same store the editor uses.
 */
#include "app/cli/cli_engine.h"
#include "app/shell/defaults.h"

#include <QDir>
#include <cstdio>
#include <cstdlib>

namespace {

CliEngine engine;
QStringList messages;
bool started = false;

void cliEngineError(const char *text, int32_t fatal) {
    QString line = QString::fromLocal8Bit(text).simplified();
    if (fatal) {
        std::fprintf(stderr, "korvel-cli: %s\n", line.toLocal8Bit().constData());
        return;
    }
    messages.append(line);
}

} // namespace

CliEngine &cliEngine() {
    return engine;
}

void cliStartEngine(const QString &configDir, KvProgressCallback progress) {
    if (!configDir.isEmpty())
        setenv("KORVEL_CONFIG_HOME", QDir(configDir).absolutePath().toLocal8Bit().constData(), 1);
    mdlDefaultOptions(&engine.options);
    mdlDefaultParams(&engine.params);
    kvBatchSession();
    kvSetErrorCallback(cliEngineError);
    kvInit(nullptr, &engine.options, sizeof engine.options, &engine.params, sizeof engine.params,
           nullptr, progress, nullptr);
    engine.stored = engine.params;
    started = true;
}

void cliStopEngine() {
    if (!started) return;
    kvCleanUp();
    started = false;
}

QStringList cliTakeEngineMessages() {
    QStringList taken;
    taken.swap(messages);
    return taken;
}
