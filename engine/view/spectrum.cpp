/*
 * spectrum.cpp - computing, caching and colouring spectrogram columns.
 *
 * A column's transform is centred on the middle frame of the column, so
 * the same column reads the same whether it was computed for a full picture
 * or for the edge of a scroll. The cache knows the sound by a fingerprint
 * of the channel's block table rather than by the state's address, since a
 * freed state's memory can hold the next edit's.
 */
#include "engine/view/spectrum.h"
#include "engine/core/engine.h"
#include "engine/document/document.h"
#include "engine/dsp/fft.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

/* Zoom levels kept per channel, and the level bytes each may hold before it
 * is emptied (an hour at one column per frame must not fill the memory). */
const size_t kLevelsKept = 4;
const size_t kBytesPerLevel = 16u << 20;
/* Fewer missing columns than this are not worth a thread. */
const int32_t kColumnsPerWorker = 32;
const int32_t kMostWorkers = 4;

struct KvZoomLevel {
    int32_t zoom = 0;
    uint64_t lastUse = 0;
    std::unordered_map<int64_t, std::vector<uint8_t>> columns;
};

struct KvChannelCache {
    uint64_t fingerprint = 0;
    /* The table the fingerprint was taken of; taken again when another is
     * current or after any change of state (kvSpectrumChanged). */
    const KV_State *state = nullptr;
    const KV_Piece *pieces = nullptr;
    int32_t blockCount = -1;
    bool changed = true;
    int32_t size = 0;
    int32_t window = -1;
    std::vector<KvZoomLevel> levels;
};

struct KvDocumentSpectrum {
    KvChannelCache channels[2];
    uint64_t clock = 0;
};

std::array<std::unique_ptr<KvDocumentSpectrum>, KV_MAX_DOCUMENTS> caches;

/* A transform of one size and window, shared read-only by the workers. */
struct KvAnalysis {
    int32_t size = 0;
    int32_t type = 0;
    KvFftPlan *plan = nullptr;
    std::vector<float> window; /* scaled so a full-scale sine's bin reads 1 */
    KvAnalysis(int32_t size, int32_t type)
        : size(size), type(type), plan(kvFftPlanCreate(size / 2)) {
        window.resize(size);
        kvFftBuildWindow(window.data(), size, type, 1);
        double sum = 0.0;
        for (float w : window)
            sum += w;
        for (float &w : window)
            w = static_cast<float>(w * 2.0 / sum);
    }
    ~KvAnalysis() { kvFftPlanFree(plan); }
    KvAnalysis(const KvAnalysis &) = delete;
    KvAnalysis &operator=(const KvAnalysis &) = delete;
};

/* One worker's buffers. */
struct KvScratch {
    std::vector<float> samples, zRe, zIm, binRe, binIm;
    explicit KvScratch(int32_t size)
        : samples(size), zRe(size / 2), zIm(size / 2), binRe(size / 2), binIm(size / 2) {}
};

/* log2 of a positive normal float to within 0.01: its exponent, and a
 * cubic through the mantissa; the columns need half-dB steps, and the
 * library's logarithm was most of a column's cost. */
float kvFastLog2(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    auto exponent = static_cast<float>(static_cast<int32_t>((bits >> 23) & 0xFF) - 127);
    bits = (bits & 0x007FFFFFu) | 0x3F800000u;
    float m;
    std::memcpy(&m, &bits, sizeof m);
    return exponent + ((0.15686047f * m - 1.05169316f) * m + 3.04865399f) * m - 2.15365225f;
}

uint8_t kvLevelOf(float re, float im) {
    float power = re * re + im * im;
    if (!(power >= std::numeric_limits<float>::min())) return KV_SPECTRUM_QUIETEST;
    /* -10 log10(power) dB = -(10 / log2 10) log2(power) dB. */
    float steps = -3.0103f * KV_SPECTRUM_STEPS_PER_DB * kvFastLog2(power);
    if (steps <= 0.0f) return 0;
    return static_cast<uint8_t>(std::min(steps + 0.5f, float{KV_SPECTRUM_QUIETEST}));
}

/* The levels of the transform centred on frame `centre`. */
void kvComputeColumn(int32_t doc, int32_t channel, int64_t centre, const KvAnalysis &analysis,
                     KvScratch *scratch, uint8_t *levels) {
    int32_t size = analysis.size, half = size / 2;
    int64_t start = centre - half;
    std::fill(scratch->samples.begin(), scratch->samples.end(), 0.0f);
    int64_t from = std::max<int64_t>(start, 0);
    int64_t skip = from - start;
    if (skip < size && from <= INT32_MAX)
        kvReadSamples(doc, channel, -1, scratch->samples.data() + skip, static_cast<int32_t>(from),
                      static_cast<int32_t>(size - skip));
    const float *w = analysis.window.data();
    for (int32_t m = 0; m < half; m++) {
        scratch->zRe[m] = scratch->samples[2 * m] * w[2 * m];
        scratch->zIm[m] = scratch->samples[2 * m + 1] * w[2 * m + 1];
    }
    kvFftRealForward(analysis.plan, scratch->zRe.data(), scratch->zIm.data(), scratch->binRe.data(),
                     scratch->binIm.data());
    for (int32_t k = 0; k < half; k++)
        levels[k] = kvLevelOf(scratch->binRe[k], scratch->binIm[k]);
}

/* What identifies the sound of a channel: its length, rate and every
 * descriptor's place and peak. */
uint64_t kvFingerprint(const KV_State *state, int32_t channel) {
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&hash](uint64_t value) { hash = (hash ^ value) * 1099511628211ull; };
    mix(static_cast<uint64_t>(state->length));
    mix(static_cast<uint64_t>(state->sampleRate));
    const KV_Table &table = state->tables[channel];
    kvTableSpans(table, 0, table.count, [&mix](const KV_Block *blocks, int32_t count) {
        for (int32_t b = 0; b < count; b++) {
            const KV_Block &block = blocks[b];
            mix(static_cast<uint32_t>(block.position));
            mix(static_cast<uint64_t>(static_cast<uint16_t>(block.length)) << 16 |
                static_cast<uint16_t>(block.file));
            mix(static_cast<uint32_t>(block.peak));
        }
        return true;
    });
    return hash;
}

/* The zoom level's cache, made (dropping the least used) when missing. */
KvZoomLevel *kvLevelFor(KvDocumentSpectrum *cache, KvChannelCache *channel, int32_t zoom) {
    KvZoomLevel *found = nullptr;
    for (KvZoomLevel &level : channel->levels)
        if (level.zoom == zoom) found = &level;
    if (!found) {
        if (channel->levels.size() >= kLevelsKept) {
            auto oldest = std::min_element(
                channel->levels.begin(), channel->levels.end(),
                [](const KvZoomLevel &a, const KvZoomLevel &b) { return a.lastUse < b.lastUse; });
            channel->levels.erase(oldest);
        }
        channel->levels.emplace_back();
        found = &channel->levels.back();
        found->zoom = zoom;
    }
    found->lastUse = ++cache->clock;
    return found;
}

/* The channel's cache for the current sound and FFT setting, emptied when
 * either changed. */
KvChannelCache *kvChannelFor(int32_t doc, int32_t channel, const KV_State *state, int32_t size,
                             int32_t window) {
    std::unique_ptr<KvDocumentSpectrum> &cache = caches[doc];
    if (!cache) cache = std::make_unique<KvDocumentSpectrum>();
    KvChannelCache *entry = &cache->channels[channel];
    bool sameTable = !entry->changed && entry->state == state &&
                     entry->pieces == state->tables[channel].pieces &&
                     entry->blockCount == state->tables[channel].count;
    if (sameTable) return entry;
    entry->state = state;
    entry->pieces = state->tables[channel].pieces;
    entry->blockCount = state->tables[channel].count;
    entry->changed = false;
    uint64_t fingerprint = kvFingerprint(state, channel);
    if (entry->fingerprint != fingerprint || entry->size != size || entry->window != window) {
        entry->levels.clear();
        entry->fingerprint = fingerprint;
        entry->size = size;
        entry->window = window;
    }
    return entry;
}

/* Computes the listed columns, split among worker threads when there are
 * enough of them. */
void kvComputeMissing(int32_t doc, int32_t channel, int32_t zoom, const std::vector<int64_t> &keys,
                      std::vector<std::vector<uint8_t>> *results, const KvAnalysis &analysis) {
    int32_t count = static_cast<int32_t>(keys.size());
    auto work = [&](int32_t from, int32_t to) {
        KvScratch scratch(analysis.size);
        for (int32_t i = from; i < to; i++) {
            (*results)[i].resize(analysis.size / 2);
            int64_t centre = keys[i] * zoom + zoom / 2;
            kvComputeColumn(doc, channel, centre, analysis, &scratch, (*results)[i].data());
        }
    };
    int32_t hardware = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
    int32_t workers = std::clamp(count / kColumnsPerWorker, 1, std::min(hardware, kMostWorkers));
    if (workers == 1) return work(0, count);
    std::vector<std::thread> threads;
    for (int32_t t = 0; t < workers; t++)
        threads.emplace_back(work, count * t / workers, count * (t + 1) / workers);
    for (std::thread &thread : threads)
        thread.join();
}

} // namespace

int32_t kvSpectrumColumns(int32_t doc, int32_t channel, int32_t c0, int32_t n,
                          const uint8_t **columns) {
    std::fill(columns, columns + std::max(n, 0), nullptr);
    KV_Document *document = kvGetDocument(doc);
    if (!document || n <= 0 || !kvEngine.options) return 0;
    const KV_State *state = document->current;
    if (channel < 0 || channel >= std::min(state->channels, 2) || state->framesPerPixel <= 0)
        return 0;
    int32_t size, window, overlap;
    kvFftSettings(kvEngine.options, &size, &window, &overlap);
    KvChannelCache *entry = kvChannelFor(doc, channel, state, size, window);
    int32_t zoom = state->framesPerPixel;
    KvZoomLevel *level = kvLevelFor(caches[doc].get(), entry, zoom);
    if (level->columns.size() * (size / 2) > kBytesPerLevel) level->columns.clear();

    int64_t first = state->firstFrame / zoom + c0;
    int64_t dataColumns = state->length / zoom;
    std::vector<int64_t> missing;
    for (int64_t key = std::max<int64_t>(first, 0); key < std::min(first + n, dataColumns); key++)
        if (!level->columns.count(key)) missing.push_back(key);
    if (!missing.empty()) {
        /* Made again only when the FFT settings change: a scroll step needs
         * a few columns and should not pay for the tables. */
        static std::unique_ptr<KvAnalysis> analysis;
        if (!analysis || analysis->size != size || analysis->type != window)
            analysis = std::make_unique<KvAnalysis>(size, window);
        std::vector<std::vector<uint8_t>> results(missing.size());
        kvComputeMissing(doc, channel, zoom, missing, &results, *analysis);
        for (size_t i = 0; i < missing.size(); i++)
            level->columns[missing[i]] = std::move(results[i]);
    }
    for (int32_t i = 0; i < n; i++) {
        auto found = level->columns.find(first + i);
        if (found != level->columns.end()) columns[i] = found->second.data();
    }
    return size / 2;
}

void kvSpectrumForget(int32_t doc) {
    if (doc >= 0 && doc < KV_MAX_DOCUMENTS) caches[doc].reset();
}

void kvSpectrumChanged(int32_t doc) {
    if (doc < 0 || doc >= KV_MAX_DOCUMENTS || !caches[doc]) return;
    for (KvChannelCache &channel : caches[doc]->channels)
        channel.changed = true;
}

double kvSpectrumFrequencyAt(double t, int32_t bins, int32_t rate, int32_t scale) {
    double nyquist = rate / 2.0;
    if (scale != KV_FREQUENCY_LOG) return nyquist * t;
    double lowest = nyquist / bins; /* the first bin above the constant one */
    return lowest * std::pow(nyquist / lowest, t);
}

void kvSpectrumRowBins(int32_t row, int32_t rows, int32_t bins, int32_t rate, int32_t scale,
                       int32_t *first, int32_t *last) {
    assert(rows > 0 && bins > 0 && rate > 0);
    double binHz = rate / 2.0 / bins;
    double low =
        kvSpectrumFrequencyAt(static_cast<double>(rows - 1 - row) / rows, bins, rate, scale);
    double high = kvSpectrumFrequencyAt(static_cast<double>(rows - row) / rows, bins, rate, scale);
    *first = std::clamp(static_cast<int32_t>(std::lround(low / binHz)), 0, bins - 1);
    *last = std::clamp(static_cast<int32_t>(std::lround(high / binHz)), *first + 1, bins);
}

/* Viridis, sampled at nine even steps: dark blue through green to yellow,
 * its lightness rising evenly. */
static const uint8_t kPerceptual[9][3] = {
    {68, 1, 84},    {71, 44, 122}, {59, 81, 139},  {44, 113, 142}, {33, 144, 141},
    {39, 173, 129}, {92, 200, 99}, {170, 220, 50}, {253, 231, 37},
};

static uint32_t kvBlend(uint32_t a, uint32_t b, double t) {
    auto channel = [&](int shift) {
        double x = ((a >> shift) & 0xFF) * (1.0 - t) + ((b >> shift) & 0xFF) * t;
        return static_cast<uint32_t>(std::lround(x)) << shift;
    };
    return 0xFF000000u | channel(16) | channel(8) | channel(0);
}

static uint32_t kvPerceptualAt(double t) {
    double at = std::clamp(t, 0.0, 1.0) * 8.0;
    int32_t i = std::min(static_cast<int32_t>(at), 7);
    auto pixel = [](const uint8_t *rgb) {
        return 0xFF000000u | uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 | rgb[2];
    };
    return kvBlend(pixel(kPerceptual[i]), pixel(kPerceptual[i + 1]), at - i);
}

/* 0x00BBGGRR as a 0xFFRRGGBB pixel. */
static uint32_t kvSchemePixel(int32_t color) {
    return 0xFF000000u | uint32_t(color & 0xFF) << 16 | uint32_t(color & 0xFF00) |
           uint32_t((color >> 16) & 0xFF);
}

/* The scheme's background, through its wave colour, to its selected wave. */
static uint32_t kvSchemeAt(const KV_Options *options, double t) {
    uint32_t background = kvSchemePixel(options->colors[0]);
    uint32_t wave = kvSchemePixel(options->colors[1]);
    uint32_t bright = kvSchemePixel(options->colors[4]);
    return t < 0.5 ? kvBlend(background, wave, 2 * t) : kvBlend(wave, bright, 2 * t - 1);
}

void kvSpectrumPalette(const KV_ViewOptions *view, const KV_Options *options,
                       uint32_t palette[256]) {
    double range = view->rangeDb;
    for (int32_t level = 0; level < 256; level++) {
        double db = -static_cast<double>(level) / KV_SPECTRUM_STEPS_PER_DB + view->gainDb;
        double t = std::clamp((db + range) / range, 0.0, 1.0);
        palette[level] =
            view->colorMap == KV_COLORMAP_SCHEME ? kvSchemeAt(options, t) : kvPerceptualAt(t);
    }
}
