/*
 * test_support.h - per-test isolation: each test gets its own folder tree for
 * the working folder, the settings store and the user temporary folder, and
 * an engine started headless with the program's default records.
 */
#ifndef KV_TEST_SUPPORT_H
#define KV_TEST_SUPPORT_H

#include "engine/core/korvel.h"

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

    /* <root>/<relative> */
    std::string path(const std::string &relative) const { return root + "/" + relative; }

    std::string root;         /* this test's private folder */
    std::string tempFolder;   /* KORVEL_TMPDIR */
    std::string configFolder; /* KORVEL_CONFIG_HOME */
    std::string workFolder;   /* the engine's working folder for the defaults */
    KV_Options options{};
    KV_Params params{};
    bool engineStarted = false;
};

/* Writes bytes to a file, replacing it. */
void kvTestWriteFile(const std::string &path, const std::string &bytes);
std::string kvTestReadFile(const std::string &path);
bool kvTestFileExists(const std::string &path);
/* The other names in a file's folder that contain its name, sorted: what a
 * save of that file may have left beside it. */
std::vector<std::string> kvTestFilesBeside(const std::string &path);

#endif
