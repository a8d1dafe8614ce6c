/*
 * test_support.cpp - private folders per test, removed afterwards.
 */
#include "tests/support/test_support.h"
#include "app/shell/defaults.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

void KvSandbox::SetUp() {
    std::string pattern = ::testing::TempDir() + "korvel-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    tempFolder = root + "/cache";
    configFolder = root + "/config";
    workFolder = tempFolder + "/KORVEL";
    setenv("KORVEL_TMPDIR", tempFolder.c_str(), 1);
    setenv("KORVEL_CONFIG_HOME", configFolder.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
    mkdir((root + "/runtime").c_str(), 0700);
    mdlDefaultOptions(&options);
    mdlDefaultParams(&params);
}

void KvSandbox::TearDown() {
    stopEngine();
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

int32_t KvSandbox::startEngine() {
    int32_t result = kvInit(nullptr, &options, sizeof options, &params, sizeof params, nullptr,
                            nullptr, nullptr);
    engineStarted = result == 0;
    return result;
}

void KvSandbox::stopEngine() {
    if (!engineStarted) return;
    kvCleanUp();
    engineStarted = false;
}

void kvTestWriteFile(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string kvTestReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool kvTestFileExists(const std::string &path) {
    return std::filesystem::exists(path);
}

std::vector<std::string> kvTestFilesBeside(const std::string &path) {
    std::filesystem::path file(path);
    std::string name = file.filename().string();
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(file.parent_path())) {
        std::string other = entry.path().filename().string();
        if (other != name && other.find(name) != std::string::npos) names.push_back(other);
    }
    std::sort(names.begin(), names.end());
    return names;
}
