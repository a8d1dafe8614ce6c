/*
 * session_bench.cpp - a heavy user's working day in miniature: a 10-minute
 * stereo document and thousands of mixed edits (volume on short ranges,
 * cuts, pastes, undos and redos) through the C API, printing what the
 * session holds every 1000 edits and after closing: data files, open
 * descriptors, the working folder's size and resident memory. These must
 * stay bounded however long the session runs.
 *
 *   session_bench [edits] [seed] [undo levels]
 *   (defaults: 3000 edits, seed 1, undo levels kept without limit)
 */
#include "bench/bench_support.h"

#include <cstdio>
#include <cstdlib>
#include <random>

static void benchReport(const char *when, const BenchEngine &engine) {
    std::string work = engine.folder + "/KORVEL";
    std::printf("| %-26s | %10d | %16d | %12.1f MB | %8.1f MB |\n", when,
                benchFileCount(work, "DATA"), benchOpenDescriptors(""),
                benchFolderBytes(work) / 1048576.0, benchRssKb() / 1024.0);
    std::fflush(stdout);
}

/* One random edit of the mix the table describes. */
static void benchEdit(int32_t doc, std::mt19937 &random) {
    int32_t length = kvGetLength(doc);
    if (length < 44100) return;
    std::uniform_int_distribution<int32_t> at(0, length - 44100), span(100, 44100);
    int32_t from = at(random);
    kvSetSelection(doc, from, from + span(random), -1);
    switch (random() % 6) {
    case 0:
    case 1:
        kvDoEdit(doc, KV_EDIT_VOLUME);
        break;
    case 2:
        kvCut(doc);
        break;
    case 3:
        kvSetSelection(doc, from, from, -1);
        kvPaste(doc, 0);
        break;
    case 4:
        kvUndo(doc);
        break;
    default:
        kvRedo(doc);
        break;
    }
}

int main(int argc, char **argv) {
    int32_t edits = argc > 1 ? std::atoi(argv[1]) : 3000;
    std::mt19937 random(argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 1u);
    BenchEngine engine;
    benchStart(&engine);
    KV_Limits limits{};
    limits.maxUndoLevels = argc > 3 ? std::atoi(argv[3]) : 0;
    kvSetLimits(&limits, sizeof limits);
    engine.params.volumeDb = 1;
    BenchEffectsFile file = benchOpenEffectsFile(engine, 10.0);
    if (file.doc < 0) {
        std::fprintf(stderr, "session_bench: could not open %s\n", file.path.c_str());
        return 1;
    }
    std::printf("| after                      | data files | open descriptors | working folder | "
                "RSS         |\n");
    std::printf("|---|---|---|---|---|\n");
    benchReport("0 edits", engine);
    for (int32_t done = 1; done <= edits; done++) {
        benchEdit(file.doc, random);
        if (done % 1000 == 0) {
            char when[40];
            std::snprintf(when, sizeof when, "%d edits", done);
            benchReport(when, engine);
        }
    }
    kvClose(file.doc);
    benchReport("closing the document", engine);
    kvEmptyClipboard();
    benchReport("emptying the clipboard", engine);
    benchStop(&engine);
    return 0;
}
