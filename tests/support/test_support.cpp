/*
 * test_support.cpp - private folders per test, removed afterwards.
 */
#include "tests/support/test_support.h"
#include "app/shell/defaults.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

void KvSandbox::SetUp() {
    std::string pattern = ::testing::TempDir() + "korvel-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    tempFolder = root + "/cache";
    configFolder = root + "/config";
    workRoot = tempFolder + "/KORVEL";
    workFolder = workRoot;
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
    noteWorkFolder();
    return result;
}

void KvSandbox::noteWorkFolder() {
    char folder[1024];
    if (kvGetWorkFolder(folder, sizeof folder) > 0) workFolder = folder;
}

void KvSandbox::stopEngine() {
    if (!engineStarted) return;
    kvCleanUp();
    engineStarted = false;
}

std::string KvSandbox::sharedFolder() {
    std::string shared = path("shared");
    mkdir(shared.c_str(), 0700);
    chmod(shared.c_str(), 01777);
    chmod(root.c_str(), 0711);
    return shared;
}

int kvTestAsOtherUser(const std::function<bool()> &plant) {
    if (geteuid() != 0) return -1;
    int ready[2];
    if (pipe(ready) != 0) return -1;
    pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        const gid_t nobody = 65534;
        char planted = setgroups(0, nullptr) == 0 && setresgid(nobody, nobody, nobody) == 0 &&
                       setresuid(nobody, nobody, nobody) == 0 && plant();
        if (write(ready[1], &planted, 1) != 1 || !planted) _exit(1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char planted = 0;
    bool told = child > 0 && read(ready[0], &planted, 1) == 1;
    close(ready[0]);
    if (told && planted) return child;
    if (child > 0) kvTestEndOtherUser(child);
    return -1;
}

void kvTestEndOtherUser(int child) {
    if (child <= 0) return;
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

bool kvTestCallFreeingPipe(const std::string &fifo, const std::function<void()> &call) {
    std::atomic<bool> done{false}, freed{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 100 && !done; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (done) return;
        int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) close(writer);
        freed = true;
    });
    call();
    done = true;
    watchdog.join();
    return freed;
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
