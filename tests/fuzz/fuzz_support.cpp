/*
 * fuzz_support.cpp - the private folder tree of a fuzz run, removed at exit.
 *
 * The engine stays up for the whole run rather than per input: kvInit and
 * kvCleanUp go to the settings store each time, which would cost more than
 * the input itself. Between inputs the reset does what clean-up does to the
 * working folder, without the store.
 */
#include "tests/fuzz/fuzz_support.h"
#include "app/shell/defaults.h"
#include "engine/core/engine.h"
#include "engine/document/document.h"
#include "engine/history/clipboard.h"
#include "engine/platform/fileio.h"
#include "engine/platform/messages.h"
#include "engine/platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

KV_Options kvFuzzOptions;
KV_Params kvFuzzParams;

static std::string fuzzRoot;

static void kvFuzzRemoveRoot() {
    if (kvEngine.running) kvCleanUp();
    std::error_code ignored;
    std::filesystem::remove_all(fuzzRoot, ignored);
}

void kvFuzzSetUp(bool startEngine) {
    if (!fuzzRoot.empty()) return;
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/korvel-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    fuzzRoot = pattern;
    setenv("KORVEL_TMPDIR", (fuzzRoot + "/cache").c_str(), 1);
    setenv("KORVEL_CONFIG_HOME", (fuzzRoot + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (fuzzRoot + "/runtime").c_str(), 1);
    mkdir((fuzzRoot + "/runtime").c_str(), 0700);
    std::atexit(kvFuzzRemoveRoot);
    mdlDefaultOptions(&kvFuzzOptions);
    mdlDefaultParams(&kvFuzzParams);
    if (startEngine)
        kvInit(nullptr, &kvFuzzOptions, sizeof kvFuzzOptions, &kvFuzzParams, sizeof kvFuzzParams,
               nullptr, nullptr, nullptr);
}

std::string kvFuzzPath(const char *name) {
    return fuzzRoot + "/" + name;
}

void kvFuzzWriteFile(const std::string &path, const uint8_t *data, size_t size) {
    int32_t file = kvFileOpen(path, KV_FILE_CREATE);
    if (file < 0) std::abort();
    if (size > 0 && !kvFileWrite(file, data, static_cast<int64_t>(size))) std::abort();
    kvFileClose(file);
}

void kvFuzzReset() {
    for (int32_t doc = 0; doc < KV_MAX_DOCUMENTS; doc++)
        if (kvGetDocument(doc)) kvClose(doc);
    kvCloseDataFiles();
    kvResetClipboard();
    for (const std::string &name : kvListFiles(kvEngine.workFolder))
        kvFileRemove(kvWorkPath(name.c_str()));
    kvTestTakeShownBoxes();
}
