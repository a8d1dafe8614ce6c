/*
 * sound_files_bench - opening and saving a long FLAC and Ogg Vorbis file.
 *
 * Usage: sound_files_bench [minutes]   (default 60)
 * sox makes the FLAC and Vorbis files from one 16-bit stereo WAVE file; each
 * is then opened and saved by the engine (through libsndfile) and decoded and
 * encoded by the reference tool in the same run (`flac -d` for FLAC, sox for
 * Vorbis), so the ratios compare like with like.
 */
#include "bench/bench_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

struct Timing {
    double open = 0, save = 0, soxDecode = 0, soxEncode = 0;
    bool ok = false;
};

/* Opens `input`, saves it in `formatTag` as `output`, and times sox doing
 * the same two steps with `soxOptions` for the encode. */
static Timing benchKind(const BenchEngine &engine, const std::string &input,
                        const std::string &wave, int32_t formatTag, int32_t bits, int32_t setting,
                        const std::string &soxOptions, const std::string &extension,
                        const std::string &decode) {
    Timing timing;
    std::string output = engine.folder + "/bench-output." + extension;
    int32_t doc = kvCreate(nullptr);
    sync();
    auto start = std::chrono::steady_clock::now();
    int32_t opened = kvOpen(doc, input.c_str());
    timing.open = benchSeconds(start);
    int32_t chosen = kvSetSaveFormat(doc, formatTag, bits, setting);
    sync();
    start = std::chrono::steady_clock::now();
    int32_t saved = kvSave(doc, output.c_str());
    timing.save = benchSeconds(start);
    kvClose(doc);
    timing.ok = opened == 0 && chosen == 0 && saved == 0;
    sync();
    timing.soxDecode = benchTimeCommand(decode + " 2>/dev/null");
    sync();
    timing.soxEncode =
        benchTimeCommand("sox '" + wave + "' " + soxOptions + " '" + output + "' 2>/dev/null");
    std::filesystem::remove(output);
    return timing;
}

static void benchPrint(const char *name, const Timing &timing) {
    std::printf("%-6s kvOpen %7.2f s  tool decode %7.2f s  ratio %5.2f\n", name, timing.open,
                timing.soxDecode, timing.soxDecode > 0 ? timing.open / timing.soxDecode : 0.0);
    std::printf("%-6s kvSave %7.2f s  sox encode %7.2f s  ratio %5.2f  (%s)\n", name, timing.save,
                timing.soxEncode, timing.soxEncode > 0 ? timing.save / timing.soxEncode : 0.0,
                timing.ok ? "ok" : "failed");
    benchRow(std::string("open ") + name, timing.open,
             name == std::string("FLAC") ? "flac -d" : "sox decode", timing.soxDecode);
    benchRow(std::string("save ") + name, timing.save, "sox encode", timing.soxEncode);
}

int main(int argc, char **argv) {
    double minutes = argc > 1 ? std::atof(argv[1]) : 60.0;
    BenchEngine engine;
    benchStart(&engine);
    std::string wave = engine.folder + "/bench-input.wav";
    std::string flac = engine.folder + "/bench-input.flac";
    std::string vorbis = engine.folder + "/bench-input.ogg";
    benchMakeTestWave(wave, static_cast<int64_t>(minutes * 60 * 44100));
    std::printf("file: %.1f minutes, 16-bit stereo 44100 Hz\n", minutes);
    if (std::system(
            ("sox '" + wave + "' '" + flac + "' && sox '" + wave + "' -C 6 '" + vorbis + "'")
                .c_str()) != 0) {
        std::printf("sox could not make the FLAC and Vorbis files\n");
        return 1;
    }
    Timing flacTiming = benchKind(engine, flac, wave, KV_FORMAT_FLAC, 16, 5, "-C 5", "flac",
                                  "flac -d -s -f -o /dev/null '" + flac + "'");
    Timing vorbisTiming = benchKind(engine, vorbis, wave, KV_FORMAT_VORBIS, 16, 6, "-C 6", "ogg",
                                    "sox '" + vorbis + "' -t f32 /dev/null");
    int64_t rss = benchPeakRssKb();
    benchStop(&engine);
    benchPrint("FLAC", flacTiming);
    benchPrint("Vorbis", vorbisTiming);
    std::printf("peak RSS: %.1f MB\n", rss / 1024.0);
    for (const std::string &file : {wave, flac, vorbis})
        std::filesystem::remove(file);
    return flacTiming.ok && vorbisTiming.ok ? 0 : 1;
}
