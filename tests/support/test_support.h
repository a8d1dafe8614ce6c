/*
 * test_support.h - per-test isolation: each test gets its own folder tree for
 * the working folder, the settings store and the user temporary folder, and
 * an engine started headless with the program's default records.
 */
#ifndef KV_TEST_SUPPORT_H
#define KV_TEST_SUPPORT_H

#include "korvel.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

class KvSandbox : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    /* Starts the engine headless with default records (0 on success). */
    int32_t startEngine();
    void stopEngine();
    /* Sets workFolder to the running engine's session folder. */
    void noteWorkFolder();

    /* A folder every user may write to, sticky like /tmp, under this test's
     * folder (which others may then pass through). */
    std::string sharedFolder();

    /* <root>/<relative> */
    std::string path(const std::string &relative) const { return root + "/" + relative; }

    std::string root;         /* this test's private folder */
    std::string tempFolder;   /* KORVEL_TMPDIR */
    std::string configFolder; /* KORVEL_CONFIG_HOME */
    std::string workRoot;     /* the working folder for the defaults */
    std::string workFolder;   /* the running engine's session folder (workRoot before) */
    KV_Options options{};
    KV_Params params{};
    bool engineStarted = false;
};

/* Runs `plant` in a child process as another user (uid and gid 65534, no
 * other groups), which then stays, keeping what `plant` opened, until
 * kvTestEndOtherUser. The child's pid, or -1 when users cannot be changed
 * (tests not run as root) or `plant` failed. */
int kvTestAsOtherUser(const std::function<bool()> &plant);
void kvTestEndOtherUser(int child);

/* Runs `call`; should it still be waiting after five seconds, opens the pipe
 * `fifo` for writing once and closes it, which ends any wait on it. True
 * when it had to. */
bool kvTestCallFreeingPipe(const std::string &fifo, const std::function<void()> &call);

/* Writes bytes to a file, replacing it. */
void kvTestWriteFile(const std::string &path, const std::string &bytes);
std::string kvTestReadFile(const std::string &path);
bool kvTestFileExists(const std::string &path);
/* The other names in a file's folder that contain its name, sorted: what a
 * save of that file may have left beside it. */
std::vector<std::string> kvTestFilesBeside(const std::string &path);

#endif
