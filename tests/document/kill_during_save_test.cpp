/*
 * Crash safety of saving: a child process opens a sound and saves it over an
 * existing file, and kills itself (SIGKILL) just before one step of the save
 * (a create, write, flush, link, rename or removal); every step in turn, so
 * the kill points come from the save's own progress, not from the clock, and
 * no load on the machine moves them. Whatever the step, the target holds the
 * old file or the complete new one. The child is forked before it starts an
 * engine, so it inherits no threads. A killed save may leave its temporary
 * file and the backup name of the old file behind; the next save clears both.
 */
#include "engine/platform/fileio.h"
#include "tests/document/wave_files.h"
#include "tests/support/test_support.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <random>

namespace {

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

/* The child: opens `source`, then saves over `target`, ending itself before
 * step `killAt` of the save (0: never). Reports the steps the save took on
 * `report`. Never returns. */
[[noreturn]] void saveInChild(const std::string &source, const std::string &target, int report,
                              int64_t killAt) {
    KV_Options options{};
    KV_Params params{};
    int32_t status = 1;
    if (kvInit(nullptr, &options, sizeof options, &params, sizeof params, nullptr, nullptr,
               nullptr) == 0) {
        int32_t doc = kvCreate(nullptr);
        if (doc >= 0 && kvOpen(doc, source.c_str()) == 0) {
            kvTestFileKillAt(killAt);
            if (kvSave(doc, target.c_str()) == 0) status = 0;
            int64_t steps = kvTestFileChanges();
            if (write(report, &steps, sizeof steps) != sizeof steps) status = 1;
        }
    }
    _exit(status);
}

/* How a child's save ended. */
struct SaveEnd {
    bool killed = false;
    int64_t steps = 0; /* of a save that was not killed */
};

} // namespace

class KillDuringSave : public KvSandbox {
  protected:
    void SetUp() override {
        KvSandbox::SetUp();
        source = path("source.wav");
        target = path("target.wav");
        newBytes = noiseWave(1 << 17, 1);
        oldBytes = noiseWave(1 << 16, 2);
        kvTestWriteFile(source, newBytes);
    }

    /* Puts the old file at the target and saves over it in a child killed
     * before step `killAt` (0: never). What earlier kills left beside the
     * target is removed first unless `keepLeftovers`, so that the save's
     * steps are the same in every run. */
    SaveEnd saveOverTheOldFile(int64_t killAt, bool keepLeftovers = false) {
        kvTestWriteFile(target, oldBytes);
        if (!keepLeftovers)
            for (const std::string &name : kvTestFilesBeside(target))
                std::remove(path(name).c_str());
        int pipeEnds[2];
        EXPECT_EQ(pipe(pipeEnds), 0);
        pid_t child = fork();
        if (child == 0) {
            close(pipeEnds[0]);
            saveInChild(source, target, pipeEnds[1], killAt);
        }
        close(pipeEnds[1]);
        SaveEnd end;
        bool reported = read(pipeEnds[0], &end.steps, sizeof end.steps) == sizeof end.steps;
        close(pipeEnds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        end.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        EXPECT_TRUE(end.killed || (reported && WIFEXITED(status) && WEXITSTATUS(status) == 0))
            << "the save failed";
        return end;
    }

    /* The names beside the target that a save gives its files of `kind`
     * ("kv" for the temporary file, "bak" for the backup). */
    std::vector<std::string> leftBeside(const std::string &kind) {
        std::vector<std::string> names;
        std::string start = ".target.wav." + kind + "-";
        for (const std::string &name : kvTestFilesBeside(target))
            if (name.size() == start.size() + 6 && name.rfind(start, 0) == 0) names.push_back(name);
        return names;
    }

    std::string source, target, newBytes, oldBytes;
};

TEST_F(KillDuringSave, TheTargetIsAlwaysTheOldFileOrTheWholeNewOne) {
    SaveEnd whole = saveOverTheOldFile(0);
    ASSERT_FALSE(whole.killed);
    ASSERT_TRUE(kvTestReadFile(target) == newBytes) << "an uninterrupted save is not the source";

    int32_t keptOld = 0, madeNew = 0, temporaries = 0, backups = 0;
    int64_t lastOld = 0;
    for (int64_t step = 1; step <= whole.steps; step++) {
        SCOPED_TRACE("killed before step " + std::to_string(step) + " of " +
                     std::to_string(whole.steps));
        ASSERT_TRUE(saveOverTheOldFile(step).killed) << "the save ended before that step";
        std::string now = kvTestReadFile(target);
        ASSERT_TRUE(now == oldBytes || now == newBytes)
            << "the target is damaged (" << now.size() << " bytes)";
        /* Once the new file is in place, no later step takes it away. */
        ASSERT_FALSE(now == oldBytes && madeNew > 0) << "the old file came back";
        if (now == oldBytes) lastOld = step;
        keptOld += now == oldBytes;
        madeNew += now == newBytes;
        temporaries += !leftBeside("kv").empty();
        backups += !leftBeside("bak").empty();
    }
    std::printf("[ kill     ] a save of %lld steps killed before each: old file %d, new file %d; "
                "left behind: temporary %d, backup %d\n",
                static_cast<long long>(whole.steps), keptOld, madeNew, temporaries, backups);
    RecordProperty("kill_runs", static_cast<int>(whole.steps));
    EXPECT_GT(keptOld, 0) << "no kill landed before the new file was in place";
    EXPECT_GT(madeNew, 0) << "no kill landed after the new file was in place";

    /* Killed just before the rename, a save leaves both the temporary file
     * and the backup, under names of its own beside the target; the next
     * save clears them, and nothing else. */
    ASSERT_TRUE(saveOverTheOldFile(lastOld).killed);
    EXPECT_EQ(leftBeside("kv").size(), 1u);
    EXPECT_EQ(leftBeside("bak").size(), 1u);
    EXPECT_EQ(kvTestFilesBeside(target).size(), 2u);
    ASSERT_FALSE(saveOverTheOldFile(0, true).killed);
    EXPECT_TRUE(kvTestReadFile(target) == newBytes);
    EXPECT_EQ(kvTestFilesBeside(target), std::vector<std::string>{});
}
