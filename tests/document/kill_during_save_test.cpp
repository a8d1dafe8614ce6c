/*
 * Crash safety of saving: a child process opens a few megabytes of sound and
 * saves it over an existing file, and is killed (SIGKILL) at a random moment
 * of the save. Whatever the moment, the target holds the old file or the
 * complete new one. The child is forked before it starts an engine, so it
 * inherits no threads. A killed save may leave its temporary file and the
 * backup name of the old file behind; the next save clears both.
 */
#include "tests/document/wave_files.h"
#include "tests/support/test_support.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

/* A 16-bit stereo WAVE file of noise, so that no two frames repeat. */
std::string noiseWave(int32_t frames, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> sample(-20000, 20000);
    TestWave wave;
    wave.samples.reserve(static_cast<size_t>(frames) * 4);
    for (int32_t i = 0; i < 2 * frames; i++)
        testPut16(wave.samples, sample(random));
    return wave.bytes();
}

/* The child: opens `source`, says so on `ready`, saves over `target`. Never
 * returns. */
[[noreturn]] void saveInChild(const std::string &source, const std::string &target, int ready) {
    KV_Options options{};
    KV_Params params{};
    int32_t status = 1;
    if (kvInit(nullptr, &options, sizeof options, &params, sizeof params, nullptr, nullptr,
               nullptr) == 0) {
        int32_t doc = kvCreate(nullptr);
        if (doc >= 0 && kvOpen(doc, source.c_str()) == 0) {
            char go = 1;
            if (write(ready, &go, 1) == 1 && kvSave(doc, target.c_str()) == 0) status = 0;
        }
    }
    _exit(status);
}

} // namespace

class KillDuringSave : public KvSandbox {
  protected:
    void SetUp() override {
        KvSandbox::SetUp();
        source = path("source.wav");
        target = path("target.wav");
        newBytes = noiseWave(1 << 20, 1);
        oldBytes = noiseWave(1 << 19, 2);
        kvTestWriteFile(source, newBytes);
    }

    /* Forks a saving child and kills it `delay` after it starts saving (never,
     * for a negative delay). Returns the time from the start of the save to
     * the child's end. */
    std::chrono::microseconds saveAndKill(std::chrono::microseconds delay, bool *killed) {
        int pipeEnds[2];
        EXPECT_EQ(pipe(pipeEnds), 0);
        pid_t child = fork();
        if (child == 0) {
            close(pipeEnds[0]);
            saveInChild(source, target, pipeEnds[1]);
        }
        close(pipeEnds[1]);
        char go = 0;
        bool started = read(pipeEnds[0], &go, 1) == 1;
        close(pipeEnds[0]);
        Clock::time_point start = Clock::now();
        EXPECT_TRUE(started) << "the child could not open the source";
        if (started && delay.count() >= 0) {
            std::this_thread::sleep_for(delay);
            kill(child, SIGKILL);
        }
        int status = 0;
        waitpid(child, &status, 0);
        *killed = WIFSIGNALED(status);
        EXPECT_TRUE(*killed || WEXITSTATUS(status) == 0) << "the save failed";
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    }

    std::string source, target, newBytes, oldBytes;
};

TEST_F(KillDuringSave, TheTargetIsAlwaysTheOldFileOrTheWholeNewOne) {
    bool killed = false;
    kvTestWriteFile(target, oldBytes);
    std::chrono::microseconds saveTime = saveAndKill(std::chrono::microseconds(-1), &killed);
    ASSERT_FALSE(killed);
    ASSERT_TRUE(kvTestReadFile(target) == newBytes) << "an uninterrupted save is not the source";

    std::mt19937 random(16);
    std::uniform_int_distribution<int64_t> moment(0, saveTime.count() * 6 / 5);
    int32_t runs = 0, keptOld = 0, madeNew = 0, temporaries = 0, backups = 0;
    Clock::time_point begin = Clock::now();
    while (runs < 100 && (runs < 30 || Clock::now() - begin < std::chrono::seconds(20))) {
        kvTestWriteFile(target, oldBytes);
        saveAndKill(std::chrono::microseconds(moment(random)), &killed);
        std::string now = kvTestReadFile(target);
        ASSERT_TRUE(now == oldBytes || now == newBytes)
            << "run " << runs << ": the target is damaged (" << now.size() << " bytes)";
        keptOld += now == oldBytes;
        madeNew += now == newBytes;
        temporaries += kvTestFileExists(target + ".kv");
        backups += kvTestFileExists(target + ".bak");
        runs++;
    }
    std::printf("[ kill     ] %d killed saves (a save takes %lld us): old file %d, new file %d; "
                "left behind: temporary %d, backup %d\n",
                runs, static_cast<long long>(saveTime.count()), keptOld, madeNew, temporaries,
                backups);
    RecordProperty("kill_runs", runs);
    EXPECT_GT(keptOld, 0) << "no kill landed before the new file was in place";
    EXPECT_GT(madeNew, 0) << "no kill landed after the new file was in place";

    /* A save after the kills clears what they left. */
    kvTestWriteFile(target, oldBytes);
    saveAndKill(std::chrono::microseconds(-1), &killed);
    EXPECT_TRUE(kvTestReadFile(target) == newBytes);
    EXPECT_FALSE(kvTestFileExists(target + ".kv"));
    EXPECT_FALSE(kvTestFileExists(target + ".bak"));
}
