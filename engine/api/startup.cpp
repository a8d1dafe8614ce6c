/*
 * startup.cpp - engine start and stop: the shared records, the working folder,
 * the records' persistence, and the hooks that let lower modules reach the
 * ones above them. Start-up knows every module, so it sits above them all.
 *
 * Records are restored only from stored copies of exactly the current size
 * (another size is another layout) and then held to their fields' ranges. The
 * working folder is always a folder only this user can enter; each run works
 * in a locked session folder of its own inside it, which clean-up removes and
 * a run that dies leaves for the next start to offer for recovery. Engine
 * files lying loose in the working folder are an older run's and go at start. A batch session runs
 * beside the editor, whose working folder holds data files it must never truncate and whose records
 * it must not overwrite: it works in a folder of its own and leaves the stored records alone.
 */
#include "engine/audio/playback.h"
#include "engine/core/engine.h"
#include "engine/core/services.h"
#include "engine/document/changes.h"
#include "engine/document/document.h"
#include "engine/history/clipboard.h"
#include "engine/history/history.h"
#include "engine/history/state_writer.h"
#include "engine/platform/fileio.h"
#include "engine/platform/paths.h"
#include "engine/platform/threads.h"
#include "engine/view/view.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

/* Copies a stored record over the caller's one when its size matches exactly. */
static void kvRestoreRecord(const char *valueName, void *record, int32_t size) {
    char scratch[344];
    if (kvGetReg("Settings", valueName, scratch, size) == size) std::memcpy(record, scratch, size);
}

static std::string kvSystemWorkFolder() {
    std::string folder = kvSystemTempFolder();
    return folder + (!folder.empty() && folder.back() == '/' ? "KORVEL" : "/KORVEL");
}

/* Creates `folder` and the private folder to work in at or inside it. A
 * folder others can use is never worked in: a link planted there would have
 * us write samples through it. */
static bool kvMakeWorkFolder(const std::string &folder, std::string *failed) {
    if (!kvMakeFolderPath(folder, failed)) return false;
    if (kvMakePrivateFolder(folder, &kvEngine.workFolder)) return true;
    *failed = folder;
    return false;
}

/* Chooses and creates the working folder, falling back from a drive that
 * cannot be used to the system temporary folder. Where the folder "KORVEL"
 * there is someone else's, a folder of our own beside it serves. */
static void kvPrepareWorkFolder() {
    KV_Options *options = kvEngine.options;
    std::string failed;
    if (kvEngine.batchSession) {
        std::string parent = kvSystemTempFolder();
        kvMakeFolderPath(parent, nullptr);
        kvEngine.workFolder = kvMakeUniqueFolder(parent, "KORVEL-batch-");
        if (kvEngine.workFolder.empty())
            kvFatal("Can't create temp directory: %s\n", parent.c_str());
        return;
    }
    if (options->tempDrive != 0) {
        std::string root;
        if (kvDriveRoot(options->tempDrive, &root) &&
            kvMakeWorkFolder(root + (root.back() == '/' ? "KVTEMP" : "/KVTEMP"), &failed))
            return;
        kvError(0,
                "Couldn't create temp directory on drive %c:\n\nReverting to system Temp directory",
                static_cast<char>(options->tempDrive));
        options->tempDrive = 0;
    }
    if (kvMakeWorkFolder(kvSystemWorkFolder(), &failed)) return;
    std::string own = "KORVEL-" + std::to_string(geteuid());
    if (!kvMakeOwnFolder(kvSystemTempFolder(), own, &kvEngine.workFolder))
        kvFatal("Can't create temp directory: %s\n", failed.c_str());
}

static bool kvIsEngineFile(const std::string &name);

/* Makes and locks this run's session folder inside the working folder, and
 * finds what dead sessions left there. Where no session folder can be made
 * the run works in the working folder itself, with nothing to recover. */
static void kvStartSession() {
    kvEngine.workRoot = kvEngine.workFolder;
    if (kvEngine.batchSession) return;
    for (const std::string &name : kvListFiles(kvEngine.workRoot))
        if (kvIsEngineFile(name)) kvFileRemove(kvWorkPath(name.c_str()));
    std::string session = kvMakeUniqueFolder(kvEngine.workRoot, KV_SESSION_PREFIX);
    int32_t lock = session.empty() ? -1 : kvLockFolder(session);
    if (lock < 0) {
        if (!session.empty()) kvRemoveFolder(session);
        return;
    }
    kvEngine.workFolder = session;
    kvEngine.sessionLock = lock;
    kvFindRecoverable(kvEngine.workRoot, session);
}

/* Removes this run's files and, with a session folder, the folder too. */
static void kvEndSession() {
    for (const std::string &name : kvListFiles(kvEngine.workFolder))
        kvFileRemove(kvWorkPath(name.c_str()));
    kvForgetRecoverable();
    if (kvEngine.sessionLock < 0) return;
    kvRemoveFolder(kvEngine.workFolder);
    kvUnlockFolder(kvEngine.sessionLock);
    kvEngine.sessionLock = -1;
    kvEngine.workFolder = kvEngine.workRoot;
}

extern "C" KV_API int32_t kvInit(KvWindow messageWindow, KV_Options *options, int32_t optionsSize,
                                 KV_Params *params, int32_t paramsSize, void *reserved,
                                 KvProgressCallback progressCallback, void *reserved2) {
    (void)reserved;
    (void)reserved2;
    if (optionsSize != 144) kvFatal("Size Mismatch on KV_Options: %d %d", optionsSize, 144);
    if (paramsSize != 344) kvFatal("Size Mismatch on KV_Params: %d %d", paramsSize, 344);
    kvMarkInterfaceThread();
    kvEngine.options = options;
    kvEngine.params = params;
    kvEngine.messageWindow = messageWindow;
    kvEngine.progressCallback = progressCallback;
    kvResetProgress();
    kvRestoreRecord("Parameters", params, 344);
    kvRestoreRecord("Options", options, 144);
    kvEngine.limits = KV_Limits{};
    kvRestoreRecord("Limits", &kvEngine.limits, sizeof(KV_Limits));
    kvEngine.viewOptions = kvDefaultViewOptions();
    kvRestoreRecord("Display", &kvEngine.viewOptions, sizeof(KV_ViewOptions));
    kvClampViewOptions(&kvEngine.viewOptions);
    kvClampParams(params);
    kvClampOptions(options);
    kvClampLimits(&kvEngine.limits);
    kvRestoreRepairParams();
    kvResetDocuments();
    kvForgetClips();
    kvPrepareWorkFolder();
    kvStartSession();
    kvRaiseOpenFileLimit();
    kvEngine.clipboardPath = kvWorkPath("COPY.tmp");
    kvFileRemove(kvEngine.clipboardPath);
    kvCloseDataFiles(); /* numbering restarts at 0; older files are truncated on reuse */
    kvSaveStateHook.store(kvSaveState);
    kvAudioRegisterHooks();
    kvViewRegisterHooks();
    kvEngine.running = true;
    return 0;
}

extern "C" KV_API int32_t kvCleanUp(void) {
    if (!kvEngine.running) return 0;
    /* No audio thread may read a data file or a document past this point. */
    kvStop();
    kvRecStop();
    kvStopStateWriter();
    kvForgetClips();
    kvCloseDataFiles();
    kvEndSession();
    kvEngine.running = false;
    if (kvEngine.batchSession) {
        kvRemoveFolder(kvEngine.workFolder);
        kvEngine.batchSession = false;
        return 0;
    }
    kvSetReg("Settings", "Parameters", kvEngine.params, 344);
    kvSetReg("Settings", "Options", kvEngine.options, 144);
    kvSetReg("Settings", "Limits", &kvEngine.limits, sizeof(KV_Limits));
    kvStoreRepairParams();
    kvSetReg("Settings", "Display", &kvEngine.viewOptions, sizeof(KV_ViewOptions));
    return 0;
}

extern "C" KV_API int32_t kvGetLimits(KV_Limits *limits, int32_t size) {
    if (!limits || size != static_cast<int32_t>(sizeof(KV_Limits))) return -1;
    *limits = kvEngine.limits;
    return 0;
}

extern "C" KV_API int32_t kvSetLimits(const KV_Limits *limits, int32_t size) {
    if (!limits || size != static_cast<int32_t>(sizeof(KV_Limits))) return -1;
    kvEngine.limits = *limits;
    kvClampLimits(&kvEngine.limits);
    return 0;
}

/* True for the names the engine gives its files: "COPY.tmp", "DATA" and
 * four hexadecimal digits, or a state file's eight (or more, past level
 * FFFF) hexadecimal digits, each before ".tmp". */
static bool kvIsEngineFile(const std::string &name) {
    const std::string suffix = ".tmp";
    if (name.size() <= suffix.size() || name.compare(name.size() - 4, 4, suffix) != 0) return false;
    std::string stem = name.substr(0, name.size() - suffix.size());
    if (stem == "COPY") return true;
    bool data = stem.size() == 8 && stem.compare(0, 4, "DATA") == 0;
    std::string digits = data ? stem.substr(4) : stem;
    if (!data && digits.size() < 8) return false;
    return digits.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

extern "C" KV_API int32_t kvGetWorkFolderSize(int64_t *bytes) {
    if (!bytes || !kvEngine.running) return -1;
    int64_t total = 0;
    for (const std::string &name : kvListFiles(kvEngine.workFolder))
        if (kvIsEngineFile(name))
            total += std::max<int64_t>(kvFileSizeOf(kvWorkPath(name.c_str())), 0);
    *bytes = total;
    return 0;
}

extern "C" KV_API int32_t kvGetWorkFolder(char *buffer, int32_t size) {
    if (!buffer || size < 1 || !kvEngine.running) return -1;
    std::snprintf(buffer, size, "%s", kvEngine.workFolder.c_str());
    return static_cast<int32_t>(kvEngine.workFolder.size());
}

extern "C" KV_API int32_t kvBatchSession(void) {
    if (kvEngine.running) return -1;
    kvEngine.batchSession = true;
    return 0;
}
