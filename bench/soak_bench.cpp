/*
 * soak_bench [seconds] [seed] [every] - random editing of a two-channel
 * document for a set time (default 60 s, seed 1), checked against a model in
 * memory. With `every`, the long mode: every that many operations a line
 * gives the data files, the open descriptors, the working folder's size and
 * the resident memory, and the run fails when the data files ever hold more
 * than 64 descriptors.
 * Deletes, silence, cut, copy, paste, undo and redo are applied to a plain
 * copy of the samples too, and the document must read exactly the same after
 * each; effects are checked for length and for the sound outside their range,
 * then taken into the model. Saves and reopens go through a 32-bit float
 * WAVE file. Prints operations per second and every divergence.
 */
#include "bench/bench_support.h"
#include "korvel.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

/* The two channels; they may differ in length after single-channel edits. */
struct Sound {
    std::vector<float> channel[2];
    int32_t length() const {
        return static_cast<int32_t>(std::max(channel[0].size(), channel[1].size()));
    }
};

struct Model {
    std::vector<Sound> states; /* the history, as the undo list shows it */
    int32_t level = 0;
    Sound clip;
    int32_t clipChannels = 0; /* 0: nothing copied yet */
    Sound &current() { return states[level]; }
    /* An edit drops the redo states and adds one. */
    Sound &push() {
        states.resize(level + 1);
        states.push_back(states[level]);
        return states[++level];
    }
};

struct Soak {
    int32_t doc = -1;
    Model model;
    std::mt19937 random;
    KV_Params *params = nullptr;
    std::string file;
    int64_t operations = 0;
    int64_t divergences = 0;
    std::map<std::string, int64_t> counts;
    std::string workFolder;
    int32_t mostDataDescriptors = 0;
};

int32_t uniform(Soak &soak, int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(soak.random);
}

/* Each channel at its own length: a read counts only the samples that came
 * from the channel's blocks. */
Sound readDocument(int32_t doc) {
    Sound sound;
    int32_t length = kvGetLength(doc);
    for (int32_t c = 0; c < 2; c++) {
        sound.channel[c].resize(length);
        int32_t got = kvReadFrames(doc, c, 0, length, sound.channel[c].data());
        sound.channel[c].resize(std::max(got, 0));
    }
    return sound;
}

/* Sample i of a channel, 0.0 past its end (as the document reads it). */
float at(const std::vector<float> &samples, int64_t i) {
    return i < static_cast<int64_t>(samples.size()) ? samples[i] : 0.0f;
}

/* Compares the document with the model's current state: true when equal;
 * prints the first difference otherwise. */
bool matches(Soak &soak, const char *operation) {
    Sound &expected = soak.model.current();
    Sound actual = readDocument(soak.doc);
    std::string problem;
    if (actual.length() != expected.length())
        problem = "length " + std::to_string(actual.length()) + ", model " +
                  std::to_string(expected.length());
    else if (kvGetUndoLevel(soak.doc) != soak.model.level ||
             kvGetNumUndo(soak.doc) != static_cast<int32_t>(soak.model.states.size()))
        problem = "undo level " + std::to_string(kvGetUndoLevel(soak.doc)) + "/" +
                  std::to_string(kvGetNumUndo(soak.doc)) + ", model " +
                  std::to_string(soak.model.level) + "/" + std::to_string(soak.model.states.size());
    for (int32_t c = 0; c < 2 && problem.empty(); c++)
        if (actual.channel[c].size() != expected.channel[c].size())
            problem = "channel " + std::to_string(c) + " length " +
                      std::to_string(actual.channel[c].size()) + ", model " +
                      std::to_string(expected.channel[c].size());
    for (int32_t c = 0; c < 2 && problem.empty(); c++)
        for (int64_t i = 0; i < actual.length(); i++)
            if (actual.channel[c][i] != at(expected.channel[c], i)) {
                problem = "channel " + std::to_string(c) + " frame " + std::to_string(i) + ": " +
                          std::to_string(actual.channel[c][i]) + ", model " +
                          std::to_string(at(expected.channel[c], i));
                break;
            }
    if (problem.empty()) return true;
    soak.divergences++;
    std::printf("DIVERGENCE after operation %lld (%s): %s\n",
                static_cast<long long>(soak.operations), operation, problem.c_str());
    /* Carry on from what the document holds, so later faults are seen too. */
    soak.model.current() = actual;
    soak.model.level = kvGetUndoLevel(soak.doc);
    soak.model.states.resize(kvGetNumUndo(soak.doc), actual);
    return false;
}

/* Cuts [m, m + d) out of one channel, clamped to its length: the position
 * where the cut was made. */
size_t cutOut(std::vector<float> &samples, int64_t m, int64_t d) {
    size_t from = std::min<size_t>(m, samples.size());
    size_t to = std::min<size_t>(m + d, samples.size());
    samples.erase(samples.begin() + from, samples.begin() + to);
    return from;
}

bool edits(int32_t editChannel, int32_t c) {
    return editChannel == -1 || editChannel == c;
}

/* A random selection of 1 to `longest` frames within the first `limit`. */
void select(Soak &soak, int32_t limit, int32_t longest, int32_t editChannel, int32_t *m,
            int32_t *d) {
    *d = uniform(soak, 1, std::max(1, std::min(longest, limit)));
    *m = uniform(soak, 0, std::max(0, limit - *d));
    if (uniform(soak, 0, 1))
        kvSetSelection(soak.doc, *m, *m + *d, editChannel);
    else
        kvSetSelection(soak.doc, *m + *d, *m, editChannel);
}

int32_t randomChannel(Soak &soak) {
    int32_t pick = uniform(soak, 0, 5);
    return pick < 4 ? -1 : pick - 4;
}

/* ---- Operations with an exact model ---- */

const char *doDelete(Soak &soak) {
    int32_t channel = randomChannel(soak), m, d;
    select(soak, kvGetLength(soak.doc), 20000, channel, &m, &d);
    kvDelete(soak.doc);
    Sound &next = soak.model.push();
    for (int32_t c = 0; c < 2; c++)
        if (edits(channel, c)) cutOut(next.channel[c], m, d);
    return "delete";
}

const char *doSilence(Soak &soak) {
    int32_t channel = randomChannel(soak), m, d;
    select(soak, kvGetLength(soak.doc), 5000, channel, &m, &d);
    soak.params->silenceAmount = uniform(soak, 1, 300);
    soak.params->silenceUnit = 0;
    kvInsertSilence(soak.doc);
    int64_t frames = int64_t{soak.params->silenceAmount} * 44100 / 1000;
    Sound &next = soak.model.push();
    for (int32_t c = 0; c < 2; c++) {
        if (!edits(channel, c)) continue;
        std::vector<float> &samples = next.channel[c];
        size_t where = std::min<size_t>(m, samples.size());
        samples.insert(samples.begin() + where, frames, 0.0f);
    }
    return "insert silence";
}

/* Copies [m, m + d) of the edited channels into the model's clip. */
void copyToModel(Soak &soak, int32_t channel, int32_t m, int32_t d) {
    const Sound &sound = soak.model.current();
    soak.model.clip = Sound{};
    soak.model.clipChannels = 0;
    for (int32_t c = 0; c < 2; c++) {
        if (!edits(channel, c)) continue;
        const std::vector<float> &samples = sound.channel[c];
        size_t from = std::min<size_t>(m, samples.size());
        size_t to = std::min<size_t>(m + d, samples.size());
        soak.model.clip.channel[soak.model.clipChannels++].assign(samples.begin() + from,
                                                                  samples.begin() + to);
    }
}

const char *doCopy(Soak &soak) {
    int32_t channel = randomChannel(soak), m, d;
    select(soak, kvGetLength(soak.doc), 30000, channel, &m, &d);
    kvCopy(soak.doc);
    copyToModel(soak, channel, m, d);
    return "copy";
}

const char *doCut(Soak &soak) {
    int32_t channel = randomChannel(soak), m, d;
    select(soak, kvGetLength(soak.doc), 30000, channel, &m, &d);
    kvCut(soak.doc);
    copyToModel(soak, channel, m, d);
    Sound &next = soak.model.push();
    for (int32_t c = 0; c < 2; c++)
        if (edits(channel, c)) cutOut(next.channel[c], m, d);
    return "cut";
}

/* Pastes on the splice path only: a stereo clip goes into both channels,
 * a mono clip into both or one. */
const char *doPaste(Soak &soak) {
    if (soak.model.clipChannels == 0) return doCopy(soak);
    int32_t channel = soak.model.clipChannels == 2 ? -1 : randomChannel(soak);
    int32_t length = kvGetLength(soak.doc), m, d;
    select(soak, length, 3000, channel, &m, &d);
    bool replace = uniform(soak, 0, 1) == 1;
    kvPaste(soak.doc, replace ? 1 : 0);
    const Sound &clip = soak.model.clip;
    int64_t cut = replace ? std::min<int64_t>(clip.length(), length - m) : 0;
    Sound &next = soak.model.push();
    int32_t source = 0;
    for (int32_t c = 0; c < 2; c++) {
        if (!edits(channel, c)) continue;
        const std::vector<float> &piece = clip.channel[soak.model.clipChannels == 2 ? source++ : 0];
        size_t where = cutOut(next.channel[c], m, cut);
        next.channel[c].insert(next.channel[c].begin() + where, piece.begin(), piece.end());
    }
    return replace ? "paste replace" : "paste insert";
}

const char *doUndo(Soak &soak) {
    kvUndo(soak.doc);
    if (soak.model.level > 0) soak.model.level--;
    return "undo";
}

const char *doRedo(Soak &soak) {
    kvRedo(soak.doc);
    if (soak.model.level + 1 < static_cast<int32_t>(soak.model.states.size())) soak.model.level++;
    return "redo";
}

/* ---- Effects: length and the untouched sound are checked, then the
 * document's result becomes the model ---- */

const char *doEffect(Soak &soak) {
    static const struct {
        int32_t edit;
        const char *name;
    } effects[] = {{KV_EDIT_VOLUME, "volume change"},
                   {KV_EDIT_MUTE, "mute"},
                   {KV_EDIT_REVERSE, "reverse"},
                   {KV_EDIT_FADE_IN, "fade in"}};
    const auto &effect = effects[uniform(soak, 0, 3)];
    const Sound before = soak.model.current();
    int32_t shortest =
        static_cast<int32_t>(std::min(before.channel[0].size(), before.channel[1].size()));
    if (shortest < 2) return doSilence(soak);
    int32_t channel = randomChannel(soak), m, d;
    select(soak, shortest, 40000, channel, &m, &d);
    soak.params->volumeDb = uniform(soak, -12, 3);
    if (kvDoEdit(soak.doc, effect.edit) != 0) return effect.name;
    Sound after = readDocument(soak.doc);
    bool kept = after.channel[0].size() == before.channel[0].size() &&
                after.channel[1].size() == before.channel[1].size();
    for (int32_t c = 0; c < 2 && kept; c++)
        for (size_t i = 0; i < after.channel[c].size() && kept; i++) {
            bool inside = edits(channel, c) && i >= size_t(m) && i < size_t(m) + d;
            if (!inside) kept = after.channel[c][i] == before.channel[c][i];
            if (inside && effect.edit == KV_EDIT_MUTE) kept = after.channel[c][i] == 0.0f;
            if (inside && effect.edit == KV_EDIT_REVERSE)
                kept = after.channel[c][i] == before.channel[c][m + d - 1 - (i - m)];
        }
    if (!kept) {
        soak.divergences++;
        std::printf("DIVERGENCE after operation %lld (%s): the sound outside the range or "
                    "the length changed\n",
                    static_cast<long long>(soak.operations), effect.name);
    }
    soak.model.push() = after;
    return effect.name;
}

/* ---- Saving and reopening ---- */

const char *doSave(Soak &soak) {
    if (kvSave(soak.doc, soak.file.c_str()) != 0 || kvIsSaved(soak.doc) != 1) {
        soak.divergences++;
        std::printf("DIVERGENCE: save failed at operation %lld\n",
                    static_cast<long long>(soak.operations));
    }
    return "save";
}

const char *doReopen(Soak &soak) {
    doSave(soak);
    kvClose(soak.doc);
    soak.doc = kvCreate(nullptr);
    kvOpen(soak.doc, soak.file.c_str());
    /* The file holds equal channel lengths (the shorter one padded with
     * silence) and samples limited to the float format's range. */
    Sound reopened = soak.model.current();
    int32_t length = reopened.length();
    for (int32_t c = 0; c < 2; c++) {
        reopened.channel[c].resize(length, 0.0f);
        for (float &x : reopened.channel[c])
            x = std::clamp(x, -1.0f, 1.0f);
    }
    soak.model.states = {reopened};
    soak.model.level = 0;
    return "save and reopen";
}

Sound noise(Soak &soak, int32_t frames) {
    Sound sound;
    std::uniform_real_distribution<float> sample(-0.9f, 0.9f);
    for (int32_t c = 0; c < 2; c++) {
        sound.channel[c].resize(frames);
        for (float &x : sound.channel[c])
            x = sample(soak.random);
    }
    return sound;
}

/* Writes the sound as a 32-bit float stereo WAVE file. */
void writeFloatWave(const std::string &path, const Sound &sound) {
    std::FILE *out = std::fopen(path.c_str(), "wb");
    if (!out) return;
    auto put = [out](uint32_t value, int bytes) { std::fwrite(&value, bytes, 1, out); };
    uint32_t dataBytes = static_cast<uint32_t>(sound.length()) * 8;
    std::fwrite("RIFF", 1, 4, out);
    put(dataBytes + 36, 4);
    std::fwrite("WAVEfmt ", 1, 8, out);
    put(16, 4);
    put(3, 2);
    put(2, 2);
    put(44100, 4);
    put(44100 * 8, 4);
    put(8, 2);
    put(32, 2);
    std::fwrite("data", 1, 4, out);
    put(dataBytes, 4);
    for (int32_t i = 0; i < sound.length(); i++)
        for (int32_t c = 0; c < 2; c++)
            std::fwrite(&sound.channel[c][i], 4, 1, out);
    std::fclose(out);
}

/* The document starts as a file of noise, opened. */
void startDocument(Soak &soak) {
    Sound start = noise(soak, 200000);
    writeFloatWave(soak.file, start);
    soak.doc = kvCreate(nullptr);
    kvOpen(soak.doc, soak.file.c_str());
    soak.model.states = {start};
    soak.model.level = 0;
}

const char *step(Soak &soak) {
    int32_t length = kvGetLength(soak.doc);
    int32_t pick = uniform(soak, 0, 99);
    /* An empty document has nothing to select: it can only grow. */
    if (length == 0) return pick < 50 ? doSilence(soak) : doPaste(soak);
    if (length > 600000 && pick < 40) return doDelete(soak);
    if (pick < 12) return doDelete(soak);
    if (pick < 20) return doSilence(soak);
    if (pick < 30) return doCopy(soak);
    if (pick < 37) return doCut(soak);
    if (pick < 52) return doPaste(soak);
    if (pick < 64) return doUndo(soak);
    if (pick < 72) return doRedo(soak);
    if (pick < 90) return doEffect(soak);
    if (pick < 96) return doSave(soak);
    return doReopen(soak);
}

/* One line of the long mode's table. */
void reportResources(Soak &soak) {
    int32_t dataDescriptors = benchOpenDescriptors(soak.workFolder + "/DATA");
    soak.mostDataDescriptors = std::max(soak.mostDataDescriptors, dataDescriptors);
    std::printf("  after %8lld operations: %5d data files, %3d descriptors (%2d of data files), "
                "working folder %7.1f MB, RSS %6.1f MB\n",
                static_cast<long long>(soak.operations), benchFileCount(soak.workFolder, "DATA"),
                benchOpenDescriptors(""), dataDescriptors,
                benchFolderBytes(soak.workFolder) / 1048576.0, benchRssKb() / 1024.0);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    uint32_t seed = argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 1;
    int64_t every = argc > 3 ? std::atoll(argv[3]) : 0;
    BenchEngine engine;
    benchStart(&engine);
    engine.params.fadeEdges = 0;
    engine.params.fadeEdgesWhole = 0;
    Soak soak;
    soak.random.seed(seed);
    soak.params = &engine.params;
    soak.file = engine.folder + "/soak.wav";
    soak.workFolder = engine.folder + "/KORVEL";
    if (every > 0) reportResources(soak);
    startDocument(soak);
    matches(soak, "open");
    auto start = std::chrono::steady_clock::now();
    auto window = start;
    int64_t windowStart = 0;
    while (benchSeconds(start) < seconds) {
        const char *name = step(soak);
        soak.operations++;
        soak.counts[name]++;
        matches(soak, name);
        if (every > 0 && soak.operations % every == 0) reportResources(soak);
        if (benchSeconds(window) >= 10) {
            std::printf("  at %4.0f s: %6.1f operations/s, length %d, %d undo states, "
                        "peak memory %lld KiB\n",
                        benchSeconds(start),
                        static_cast<double>(soak.operations - windowStart) / benchSeconds(window),
                        kvGetLength(soak.doc), kvGetNumUndo(soak.doc),
                        static_cast<long long>(benchPeakRssKb()));
            std::fflush(stdout);
            window = std::chrono::steady_clock::now();
            windowStart = soak.operations;
        }
    }
    double elapsed = benchSeconds(start);
    std::printf("soak: %.0f s, seed %u, %lld operations, %.1f operations/s, %lld divergences\n",
                elapsed, seed, static_cast<long long>(soak.operations),
                static_cast<double>(soak.operations) / elapsed,
                static_cast<long long>(soak.divergences));
    for (const auto &[name, count] : soak.counts)
        std::printf("  %-16s %8lld\n", name.c_str(), static_cast<long long>(count));
    std::printf("  final length %d frames, peak memory %lld KiB\n", kvGetLength(soak.doc),
                static_cast<long long>(benchPeakRssKb()));
    kvClose(soak.doc);
    bool bounded = true;
    if (every > 0) {
        reportResources(soak);
        kvEmptyClipboard();
        std::printf("  after closing the document and emptying the clipboard:\n");
        reportResources(soak);
        bounded = soak.mostDataDescriptors <= 64 &&
                  benchFileCount(soak.workFolder, "") == 1; /* COPY.tmp only */
        std::printf("  most descriptors of data files: %d; %s\n", soak.mostDataDescriptors,
                    bounded ? "bounded" : "NOT BOUNDED");
    }
    benchStop(&engine);
    return soak.divergences == 0 && bounded ? 0 : 1;
}
