/*
 * recovery_test.cpp - documents of a session that died come back as they were
 * at their last completed edit, and nothing else of that session stays.
 */
#include "engine/core/engine.h"
#include "tests/support/document_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>
#include <set>

namespace {

/* The channels of a document, or of each unsaved document by channel count
 * (the sequences below keep one mono and one stereo document). */
using Image = std::vector<std::vector<float>>;
using Unsaved = std::map<int32_t, Image>;

class Recovery : public DocumentTest {
  protected:
    static Image imageOf(int32_t doc) {
        Image image;
        for (int32_t c = 0; c < kvGetChannels(doc); c++)
            image.push_back(channel(doc, c));
        return image;
    }

    static std::map<int32_t, int32_t> lengthsOf(const Unsaved &unsaved) {
        std::map<int32_t, int32_t> lengths;
        for (const auto &[channels, image] : unsaved)
            lengths[channels] = static_cast<int32_t>(image[0].size());
        return lengths;
    }

    std::set<std::string> rootEntries() const {
        std::set<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(workRoot))
            names.insert(entry.path().filename().string());
        return names;
    }
    std::string ownSession() const { return workFolder.substr(workRoot.size() + 1); }

    /* Leaves the running session's files behind as a session whose run is
     * gone would, and starts a new run. */
    void abandonSession(const char *name = "SESSION-dead01") {
        std::filesystem::copy(workFolder, workRoot + "/" + name);
        for (int32_t doc = 0; doc < KV_MAX_DOCUMENTS; doc++)
            if (kvGetDocument(doc)) kvClose(doc);
        stopEngine();
        ASSERT_EQ(startEngine(), 0);
    }

    static std::vector<KV_Recoverable> offered() {
        std::vector<KV_Recoverable> list(16);
        int32_t count = kvListRecoverable(list.data(), 16, sizeof(KV_Recoverable));
        list.resize(std::max(count, 0));
        return list;
    }

    /* One random step of an editing sequence on one of the two documents. */
    void randomStep(std::mt19937 &random, const int32_t docs[2]) {
        int32_t doc = docs[random() % 2];
        int32_t length = kvGetLength(doc);
        int32_t from = length ? static_cast<int32_t>(random() % length) : 0;
        int32_t to = std::min<int32_t>(length, from + static_cast<int32_t>(random() % 3000));
        std::uniform_real_distribution<float> value(-1.0f, 1.0f);
        switch (random() % 7) {
        case 0:
            kvUndo(doc);
            break;
        case 1:
            kvRedo(doc);
            break;
        case 2:
            kvSetSelection(doc, from, to, -1);
            kvDelete(doc);
            break;
        case 3:
            kvSave(doc, path(doc == docs[0] ? "mono.wav" : "stereo.wav").c_str());
            break;
        default: {
            std::vector<float> left(random() % 6000), right(left.size());
            for (size_t i = 0; i < left.size(); i++)
                left[i] = value(random), right[i] = value(random);
            int32_t c = kvGetChannels(doc) == 2 ? static_cast<int32_t>(random() % 3) - 1 : -1;
            replace(doc, from, to, c, left, right);
        }
        }
    }

    /* Runs sequence `seed` in a child that reports each finished step down
     * a pipe and is killed along the way; the number of steps it finished. */
    int32_t runAndKill(uint32_t seed, int32_t steps, bool term) {
        stopEngine();
        int pipeEnds[2];
        EXPECT_EQ(pipe(pipeEnds), 0);
        std::mt19937 chance(seed * 7919u);
        pid_t child = fork();
        if (child == 0) {
            close(pipeEnds[0]);
            if (startEngine() != 0) _exit(2);
            std::mt19937 random(seed);
            int32_t docs[2] = {makeDocument(8000, std::vector<float>(3000, 0.25f)),
                               makeDocument(8000, std::vector<float>(2000, 0.5f),
                                            std::vector<float>(2000, -0.5f))};
            if (!term) kvTestFileKillAt(1 + chance() % (steps * 12));
            const char done = 1;
            for (int32_t step = 0; step <= steps; step++) {
                if (write(pipeEnds[1], &done, 1) != 1) _exit(3);
                if (step < steps) randomStep(random, docs);
            }
            _exit(0); /* a run that ends without clean-up, as a crash does */
        }
        close(pipeEnds[1]);
        char buffer[256];
        int32_t finished = -1; /* the first byte says the documents are made */
        if (read(pipeEnds[0], buffer, 1) == 1) finished = 0;
        if (term) {
            usleep(chance() % 4000);
            kill(child, SIGTERM);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) == 0) << status;
        for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
            finished += static_cast<int32_t>(got);
        close(pipeEnds[0]);
        return finished;
    }

    /* The unsaved documents of sequence `seed` after 0..steps finished steps. */
    std::vector<Unsaved> replay(uint32_t seed, int32_t steps) {
        std::mt19937 random(seed);
        int32_t docs[2] = {
            makeDocument(8000, std::vector<float>(3000, 0.25f)),
            makeDocument(8000, std::vector<float>(2000, 0.5f), std::vector<float>(2000, -0.5f))};
        std::vector<Unsaved> after;
        for (int32_t step = 0; step <= steps; step++) {
            Unsaved unsaved;
            for (int32_t doc : docs)
                if (!kvIsSaved(doc)) unsaved[kvGetChannels(doc)] = imageOf(doc);
            after.push_back(unsaved);
            if (step < steps) randomStep(random, docs);
        }
        for (int32_t doc : docs)
            kvClose(doc);
        return after;
    }
};

/* Killed anywhere in a random sequence of edits, undos, redos and saves
 * (SIGKILL before any file operation, or SIGTERM at a random time with no
 * display to ask), every document with unsaved changes is offered and comes
 * back sample for sample at its last completed step (or the one under way,
 * when the kill came after it was stored); restoring or discarding leaves
 * nothing of the dead session behind. */
TEST_F(Recovery, KilledSessionsComeBackAtTheirLastCompletedEdit) {
    const int32_t steps = 12;
    int32_t killedEarly = 0;
    for (uint32_t run = 1; run <= 100; run++) {
        SCOPED_TRACE("run " + std::to_string(run));
        bool term = run % 2 == 0;
        int32_t finished = runAndKill(run, steps, term);
        ASSERT_GE(finished, 0);
        killedEarly += finished < steps;
        ASSERT_EQ(startEngine(), 0);
        std::vector<Unsaved> expected = replay(run, steps);
        std::map<int32_t, int32_t> listed;
        for (const KV_Recoverable &entry : offered())
            listed[entry.channels] = entry.length;
        EXPECT_TRUE(listed == lengthsOf(expected[finished]) ||
                    (finished < steps && listed == lengthsOf(expected[finished + 1])))
            << finished << " steps finished";
        Unsaved restored;
        for (const KV_Recoverable &entry : offered()) {
            if (run % 5 == 0) break; /* every fifth run discards instead */
            int32_t doc = kvCreate(nullptr);
            ASSERT_EQ(kvRecover(doc, entry.id), 0);
            EXPECT_EQ(kvIsSaved(doc), 0);
            restored[kvGetChannels(doc)] = imageOf(doc);
        }
        if (run % 5 == 0) {
            EXPECT_EQ(kvDiscardRecoverable(-1), 0);
        } else {
            bool atStep = restored == expected[finished];
            bool atNext = finished < steps && restored == expected[finished + 1];
            EXPECT_TRUE(atStep || atNext) << finished << " steps finished";
        }
        EXPECT_TRUE(offered().empty());
        EXPECT_EQ(rootEntries(), std::set<std::string>{ownSession()});
        for (int32_t doc = 0; doc < KV_MAX_DOCUMENTS; doc++)
            if (kvGetDocument(doc)) kvClose(doc);
        stopEngine();
        if (HasFailure()) break;
    }
    EXPECT_GT(killedEarly, 50) << "the kills must land inside the sequences";
}

/* Restored documents keep their undo steps, their file's name, and count as
 * unsaved; a document saved since its last edit is not offered. */
TEST_F(Recovery, RestoredDocumentKeepsItsUndoStepsAndIsUnsaved) {
    int32_t doc = makeDocument(8000, std::vector<float>(3000, 0.25f));
    replace(doc, 100, 200, -1, std::vector<float>(50, -0.5f), {}, "Second");
    Image second = imageOf(doc);
    int32_t saved = makeDocument(8000, std::vector<float>(100, 0.5f));
    ASSERT_EQ(kvSave(saved, path("saved.wav").c_str()), 0);
    ASSERT_EQ(kvSave(doc, path("doc.wav").c_str()), 0);
    replace(doc, 0, 10, -1, std::vector<float>(20, 0.75f), {}, "Third");
    Image third = imageOf(doc);
    abandonSession();
    std::vector<KV_Recoverable> list = offered();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(std::string(list[0].path), path("doc.wav"));
    EXPECT_EQ(std::string(list[0].lastEdit), "Third");
    EXPECT_EQ(list[0].length, static_cast<int32_t>(third[0].size()));
    int32_t restored = kvCreate(nullptr);
    ASSERT_EQ(kvRecover(restored, list[0].id), 0);
    EXPECT_EQ(imageOf(restored), third);
    EXPECT_EQ(kvIsSaved(restored), 0);
    kvUndo(restored);
    EXPECT_EQ(imageOf(restored), second);
    EXPECT_EQ(undoText(restored), "Second");
    EXPECT_EQ(rootEntries(), std::set<std::string>{ownSession()});
}

/* Whatever is damaged in a dead session, the start goes on: a document
 * whose current state cannot be rebuilt is not offered, one whose older
 * states are damaged comes back without them, and a healthy dead session
 * beside it is still offered. Nothing of either stays. */
TEST_F(Recovery, DamagedLeftoversNeverStopTheStart) {
    struct Damage {
        const char *what;
        const char *file;
        int64_t keep;       /* bytes left; -1 removes the file, -2 fills it with garbage */
        int32_t levelsLeft; /* undo level of the restored document; -1 not offered */
    };
    const Damage damages[] = {
        {"current state cut short", "00000002.tmp", 80, -1},
        {"current state missing", "00000002.tmp", -1, -1},
        {"data file missing", "DATA0000.tmp", -1, -1},
        {"data file cut short", "DATA0000.tmp", 400, -1},
        {"record of garbage", "0000.doc", -2, -1},
        {"record cut short", "0000.doc", 100, -1},
        {"older state cut short", "00000001.tmp", 10, 0},
    };
    for (const Damage &damage : damages) {
        SCOPED_TRACE(damage.what);
        int32_t doc = makeDocument(8000, std::vector<float>(3000, 0.25f));
        replace(doc, 100, 200, -1, std::vector<float>(50, -0.5f));
        Image image = imageOf(doc);
        std::filesystem::copy(workFolder, workRoot + "/SESSION-healthy");
        std::string damaged = workRoot + "/SESSION-damaged";
        std::filesystem::copy(workFolder, damaged);
        std::string file = damaged + "/" + damage.file;
        if (damage.keep == -1) std::filesystem::remove(file);
        if (damage.keep == -2) kvTestWriteFile(file, std::string(304, '\x5a'));
        if (damage.keep >= 0) std::filesystem::resize_file(file, damage.keep);
        kvClose(doc);
        stopEngine();
        ASSERT_EQ(startEngine(), 0);
        std::vector<KV_Recoverable> list = offered();
        ASSERT_EQ(list.size(), damage.levelsLeft < 0 ? 1u : 2u);
        std::multiset<int32_t> levels;
        for (const KV_Recoverable &entry : list) {
            int32_t restored = kvCreate(nullptr);
            ASSERT_EQ(kvRecover(restored, entry.id), 0);
            EXPECT_EQ(imageOf(restored), image);
            levels.insert(kvGetUndoLevel(restored));
            kvClose(restored);
        }
        std::multiset<int32_t> expected{2};
        if (damage.levelsLeft >= 0) expected.insert(damage.levelsLeft);
        EXPECT_EQ(levels, expected);
        EXPECT_EQ(rootEntries(), std::set<std::string>{ownSession()});
    }
}

} // namespace
