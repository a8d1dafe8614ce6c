/*
 * The FFT engine: the complex and real transforms against a direct DFT,
 * and the settings a damaged options record falls back to.
 */
#include "engine/dsp/fft.h"
#include "korvel.h"
#include "tests/dsp/signals.h"

#include <gtest/gtest.h>

#include <complex>

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
