/*
 * The FFT engine: the complex and real transforms against a direct DFT,
 * the settings a damaged options record falls back to, and the stream that
 * skips the bins outside a hop's band.
 */
#include "engine/dsp/fft.h"
#include "korvel.h"
#include "tests/dsp/signals.h"

#include <gtest/gtest.h>

#include <complex>
#include <cstring>

using Complex = std::complex<double>;

/* Direct N-point DFT with exponent sign `sign`, unscaled. */
static std::vector<Complex> directDft(const std::vector<Complex> &x, int32_t sign) {
    size_t n = x.size();
    std::vector<Complex> roots(n), out(n);
    for (size_t i = 0; i < n; i++)
        roots[i] = std::polar(1.0, sign * 2 * std::numbers::pi * double(i) / double(n));
    for (size_t k = 0; k < n; k++) {
        Complex sum = 0.0;
        for (size_t i = 0; i < n; i++)
            sum += x[i] * roots[k * i % n];
        out[k] = sum;
    }
    return out;
}

/* Largest error allowed for a transform of these values: float rounding
 * grows with the sum of the magnitudes. */
static double tolerance(const std::vector<Complex> &x) {
    double sum = 0.0;
    for (const Complex &v : x)
        sum += std::abs(v);
    return 1e-5 * sum;
}

class FftPlanTest : public ::testing::TestWithParam<int32_t> {
  protected:
    void TearDown() override { kvFftPlanFree(plan); }
    KvFftPlan *plan = nullptr;
};

TEST_P(FftPlanTest, ComplexTransformsMatchTheDirectDftBothWays) {
    int32_t n = GetParam();
    plan = kvFftPlanCreate(n);
    std::vector<float> re = noise(n, 11 + n, 1.0), im = noise(n, 12 + n, 1.0);
    std::vector<Complex> x(n);
    for (int32_t i = 0; i < n; i++)
        x[i] = {re[i], im[i]};
    for (int32_t sign : {-1, 1}) {
        std::vector<float> r = re, m = im;
        kvFftTransform(plan, r.data(), m.data(), sign);
        std::vector<Complex> expected = directDft(x, sign);
        double limit = tolerance(x);
        for (int32_t k = 0; k < n; k++)
            ASSERT_LT(std::abs(Complex(r[k], m[k]) - expected[k]), limit) << sign << " bin " << k;
    }
}

TEST_P(FftPlanTest, ForwardThenInverseReturnsTheInputTimesN) {
    int32_t n = GetParam();
    plan = kvFftPlanCreate(n);
    std::vector<float> re = noise(n, 21, 1.0), im = noise(n, 22, 1.0), r = re, m = im;
    kvFftTransform(plan, r.data(), m.data(), -1);
    kvFftTransform(plan, r.data(), m.data(), 1);
    for (int32_t i = 0; i < n; i++) {
        ASSERT_NEAR(r[i] / n, re[i], 1e-5) << i;
        ASSERT_NEAR(m[i] / n, im[i], 1e-5) << i;
    }
}

TEST_P(FftPlanTest, RealForwardGivesTheLowerHalfOfTheDftOfTwiceAsManySamples) {
    int32_t m = GetParam();
    plan = kvFftPlanCreate(m);
    std::vector<float> samples = noise(2 * m, 31 + m, 1.0);
    std::vector<float> zRe(m), zIm(m), binRe(m), binIm(m);
    for (int32_t i = 0; i < m; i++) {
        zRe[i] = samples[2 * i];
        zIm[i] = samples[2 * i + 1];
    }
    kvFftRealForward(plan, zRe.data(), zIm.data(), binRe.data(), binIm.data());
    std::vector<Complex> x(samples.begin(), samples.end());
    std::vector<Complex> expected = directDft(x, -1);
    double limit = tolerance(x);
    for (int32_t k = 0; k < m; k++)
        ASSERT_LT(std::abs(Complex(binRe[k], binIm[k]) - expected[k]), limit) << "bin " << k;
}

TEST_P(FftPlanTest, RealInverseIsTheRealPartOfTheInverseOfTheLowerBins) {
    int32_t m = GetParam();
    plan = kvFftPlanCreate(m);
    std::vector<float> binRe = noise(m, 41 + m, 1.0), binIm = noise(m, 42 + m, 1.0);
    std::vector<Complex> spectrum(2 * m, 0.0);
    for (int32_t k = 0; k < m; k++)
        spectrum[k] = {binRe[k], binIm[k]};
    std::vector<Complex> expected = directDft(spectrum, 1);
    std::vector<float> zRe(m), zIm(m);
    kvFftRealInverse(plan, binRe.data(), binIm.data(), zRe.data(), zIm.data());
    double limit = tolerance(spectrum);
    for (int32_t i = 0; i < m; i++) {
        ASSERT_NEAR(zRe[i], expected[2 * i].real(), limit) << 2 * i;
        ASSERT_NEAR(zIm[i], expected[2 * i + 1].real(), limit) << 2 * i + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FftPlanTest, ::testing::Values(4, 8, 16, 128, 1024, 4096));

TEST(FftSettings, ValuesTheOptionsDialogCannotProduceFallBackToTheDefaults) {
    KV_Options options{};
    int32_t size, window, overlap;
    options.fftSize = 1000;
    options.fftWindow = 9;
    options.fftOverlap = 3;
    kvFftSettings(&options, &size, &window, &overlap);
    EXPECT_EQ(size, 2048);
    EXPECT_EQ(window, KV_WINDOW_HANNING);
    EXPECT_EQ(overlap, 8);
    options.fftSize = 16384;
    options.fftWindow = -1;
    options.fftOverlap = 64;
    kvFftSettings(&options, &size, &window, &overlap);
    EXPECT_EQ(size, 2048);
    EXPECT_EQ(window, KV_WINDOW_HANNING);
    EXPECT_EQ(overlap, 8);
    options.fftSize = 256;
    options.fftWindow = KV_WINDOW_RECTANGLE;
    options.fftOverlap = 32;
    kvFftSettings(&options, &size, &window, &overlap);
    EXPECT_EQ(size, 256);
    EXPECT_EQ(window, KV_WINDOW_RECTANGLE);
    EXPECT_EQ(overlap, 32);
}

/* The band of the hop at t for the bands test: the listed one moved up by
 * 0 .. 9 bins from hop to hop, so that bins once in the band leave it. */
static void movingBand(const void *context, int64_t t, int32_t *from, int32_t *to) {
    const int32_t *band = static_cast<const int32_t *>(context);
    int32_t shift = static_cast<int32_t>(t / 64 % 4) * 3;
    *from = std::min(band[0] + shift, 128), *to = std::min(band[1] + shift, 128);
}

static void tellBand(void *context, KvFftEngine *, int32_t, int64_t t, int32_t *from, int32_t *to) {
    movingBand(context, t, from, to);
}

static void keepBins(void *, KvFftEngine *, int32_t, int64_t, float *, float *) {}

static void clearOutsideBand(void *context, KvFftEngine *, int32_t, int64_t t, float *re,
                             float *im) {
    int32_t from, to;
    movingBand(context, t, &from, &to);
    for (int32_t k = 0; k < 128; k++)
        if (k < from || k >= to) re[k] = im[k] = 0.0f;
}

/* A stream told each hop's band gives the bits of one whose step clears
 * every bin outside it: bands at either end, across the middle (where
 * mirrored bins fall inside the band), and empty, on both vector widths. */
TEST(FftStreamBand, GivesTheBitsOfClearingEveryOtherBin) {
    const int32_t bands[][2] = {{0, 20},  {5, 40},  {100, 128}, {30, 110},
                                {0, 127}, {1, 119}, {60, 60}};
    const std::vector<float> input = noise(4000, 3);
    const int32_t count = static_cast<int32_t>(input.size());
    for (bool wide : {true, false}) {
        kvFftAllowWide(wide);
        for (const auto &band : bands) {
            auto run = [&](bool told) {
                KvFftEngine *engine = kvFftEngineCreate(256, KV_WINDOW_HANNING, 4);
                std::vector<float> out(input.size());
                void *context = const_cast<int32_t *>(band);
                int32_t n = told ? kvFftStreamBand(engine, 0, input.data(), out.data(), count, 0,
                                                   keepBins, tellBand, context)
                                 : kvFftStream(engine, 0, input.data(), out.data(), count, 0,
                                               clearOutsideBand, context);
                kvFftEngineFree(engine);
                out.resize(n);
                return out;
            };
            std::vector<float> told = run(true), cleared = run(false);
            ASSERT_EQ(told.size(), cleared.size());
            EXPECT_EQ(std::memcmp(told.data(), cleared.data(), told.size() * sizeof(float)), 0)
                << band[0] << " .. " << band[1] << (wide ? ", wide" : ", four lanes");
        }
    }
    kvFftAllowWide(true);
}
