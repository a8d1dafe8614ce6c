/*
 * cli_engine.h - the engine as korvel-cli runs it: headless, in a batch
 * session beside any running editor, with the editor's defaults and stored
 * settings, and its error messages collected for the file they are about.
 */
#ifndef KV_CLI_ENGINE_H
#define KV_CLI_ENGINE_H

#include "korvel.h"

#include <QString>
#include <QStringList>

/* The shared records (the engine keeps their addresses) and the parameters
 * as stored, which every step starts from. */
struct CliEngine {
    KV_Options options;
    KV_Params params;
    KV_Params stored;
};
CliEngine &cliEngine();

/* Makes configDir (when not empty) the settings store, then starts the
 * engine; a failure to start is fatal inside the engine. */
void cliStartEngine(const QString &configDir, KvProgressCallback progress);
void cliStopEngine();

/* The engine's error messages since the last call, each on one line. */
QStringList cliTakeEngineMessages();

#endif
