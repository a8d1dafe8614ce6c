/*
 * meter_test.cpp - the level meter and analyzer bars drawn on a 200-pixel
 * canvas, its blanking, and the canvas showing what was drawn.
 */
#include "engine/audio/meter.h"
#include "engine/view/meter.h"
#include "tests/view/view_fixture.h"

class MeterTest : public ViewTest {
  protected:
    void SetUp() override {
        ViewTest::SetUp();
        canvas = std::make_unique<QWidget>();
        canvas->resize(kWidth, 13);
        canvas->show();
        kvSetVUParams(canvas.get(), kWidth);
    }
    void TearDown() override {
        kvSetVUParams(nullptr, 0);
        canvas.reset();
        ViewTest::TearDown();
    }
    /* The colour of the 5 x 5 square of the light starting at `start`:
     * left channel on row 1, right on row 7. */
    static QRgb light(int32_t start, int32_t row) {
        return kvMeterPicture().pixel(start + 3, row + 2);
    }
    static int32_t countColor(QRgb color, int32_t x0, int32_t x1) {
        QImage image = kvMeterPicture();
        int32_t n = 0;
        for (int32_t y = 1; y <= 11; y++)
            for (int32_t x = x0; x < x1; x++)
                n += image.pixel(x, y) == color;
        return n;
    }

    static constexpr int32_t kWidth = 200;
    static constexpr QRgb kBlack = 0xFF000000u;
    static constexpr QRgb kGreen = 0xFF00FF00u;
    static constexpr QRgb kYellow = 0xFFFFFF00u;
    static constexpr QRgb kRed = 0xFFFF0000u;
    std::unique_ptr<QWidget> canvas;
};

TEST_F(MeterTest, SettingTheCanvasBlanksTheMeter) {
    EXPECT_EQ(countColor(kBlack, 1, kWidth), 11 * (kWidth - 1));
}

TEST_F(MeterTest, WithoutTheAnalyzerLightsStartAtColumnOneAndEndRed) {
    kvDrawMeter(0, 0, nullptr);
    QImage image = kvMeterPicture();
    EXPECT_EQ(image.pixel(1, 1), kBlack) << "a light's first column stays dark";
    EXPECT_EQ(image.pixel(2, 1), kGreen);
    EXPECT_EQ(image.pixel(6, 5), kGreen);
    EXPECT_EQ(image.pixel(2, 6), kBlack) << "the row between the channels";
    EXPECT_EQ(image.pixel(2, 7), kGreen);
    EXPECT_EQ(light(193, 1), kRed);
    EXPECT_EQ(light(187, 1), kYellow);
    EXPECT_EQ(light(175, 1), kYellow);
    EXPECT_EQ(light(169, 1), kGreen);
    EXPECT_EQ(image.pixel(199, 3), kBlack);
}

TEST_F(MeterTest, EachLightIsOneDecibel) {
    kvDrawMeter(-3, -1, nullptr);
    EXPECT_EQ(light(193, 1), kBlack);
    EXPECT_EQ(light(187, 1), kBlack);
    EXPECT_EQ(light(181, 1), kBlack);
    EXPECT_EQ(light(175, 1), kYellow);
    EXPECT_EQ(light(193, 7), kBlack);
    EXPECT_EQ(light(187, 7), kYellow);
    kvDrawMeter(-100, 0, nullptr);
    EXPECT_EQ(light(1, 1), kBlack);
    EXPECT_EQ(light(1, 7), kGreen);
    EXPECT_EQ(light(193, 7), kRed);
}

TEST_F(MeterTest, AnalyzerBarsRiseWithTheirPeaks) {
    options.showAnalyzer = 1;
    float peaks[10] = {1.0f, 0.1f, 0.001f, 0.0f, 0.0316f, 0, 0, 0, 0, 0};
    kvDrawMeter(0, 0, peaks);
    QImage image = kvMeterPicture();
    QRgb lit = colorPixel(options.colors[7]);
    EXPECT_EQ(image.pixel(2, 1), lit) << "a full-scale band fills its bar";
    EXPECT_EQ(image.pixel(4, 11), lit);
    EXPECT_EQ(image.pixel(5, 11), kBlack) << "bars are three columns wide";
    EXPECT_EQ(image.pixel(6, 6), kBlack) << "-20 dB: five rows";
    EXPECT_EQ(image.pixel(6, 7), lit);
    EXPECT_EQ(image.pixel(10, 11), kBlack) << "-60 dB: nothing";
    EXPECT_EQ(image.pixel(14, 11), kBlack) << "silence: nothing";
    EXPECT_EQ(image.pixel(18, 10), kBlack) << "-30 dB: no whole row";
    EXPECT_EQ(image.pixel(44, 1), kGreen) << "lights start at column 43";
    EXPECT_EQ(image.pixel(43, 1), kBlack);
}

TEST_F(MeterTest, WithTheAnalyzerSwitchedOffPeaksAreNotDrawn) {
    options.showAnalyzer = 0;
    float peaks[10] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    kvDrawMeter(0, 0, peaks);
    EXPECT_EQ(kvMeterPicture().pixel(2, 1), kGreen);
}

TEST_F(MeterTest, BlankingAfterDrawingDarkensEverything) {
    kvDrawMeter(0, 0, nullptr);
    kvBlankMeter();
    EXPECT_EQ(countColor(kBlack, 1, kWidth), 11 * (kWidth - 1));
}

TEST_F(MeterTest, TheCanvasShowsTheNewestMeter) {
    kvDrawMeter(0, 0, nullptr);
    QCoreApplication::sendPostedEvents(canvas.get());
    QImage shown = canvas->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.copy(1, 1, kWidth - 1, 11), kvMeterPicture().copy(1, 1, kWidth - 1, 11));
}

TEST_F(MeterTest, PlaybackDrawsThroughTheHooksTheCanvasSet) {
    kvMeterShow(32767, 0, nullptr);
    EXPECT_EQ(light(193, 1), kRed);
    EXPECT_EQ(light(1, 7), kBlack);
    kvMeterBlank();
    EXPECT_EQ(countColor(kBlack, 1, kWidth), 11 * (kWidth - 1));
}
