/*
 * spectrum_test.cpp - the spectrogram band follows the frequency of the
 * sound, the vertical zoom scales the drawn peaks and gives the picture
 * back, and scrolling with rulers and spectrogram shown leaves the picture
 * a full redraw would make.
 *
 * The window is 640 x 300 client pixels (lane unit 32): a mono lane covers
 * rows 18..273, its centre on row 146, full scale 63 rows from it.
 */
#include "engine/view/render.h"
#include "engine/view/spectrum.h"
#include "tests/view/view_fixture.h"

#include <cmath>

class SpectrumTest : public ViewTest {
  protected:
    static constexpr int32_t kTop = 18, kBottom = 18 + 8 * 32, kCentre = 18 + 4 * 32;

    /* A linear sweep from f0 to f1 Hz over n frames at `rate`. */
    static std::vector<float> chirp(int32_t n, int32_t rate, double f0, double f1) {
        std::vector<float> samples(n);
        double seconds = static_cast<double>(n) / rate;
        for (int32_t i = 0; i < n; i++) {
            double t = static_cast<double>(i) / rate;
            double phase = 2 * M_PI * (f0 * t + (f1 - f0) * t * t / (2 * seconds));
            samples[i] = static_cast<float>(0.5 * std::sin(phase));
        }
        return samples;
    }

    /* Rows from the centre to the highest pixel of the wave's pen in [x0, x1). */
    static int32_t peakHeight(int32_t doc, int32_t x0, int32_t x1) {
        uint32_t pen = view(doc)->pens.unselectedWave;
        for (int32_t y = kTop; y < kCentre; y++)
            for (int32_t x = x0; x < x1; x++)
                if (pixel(doc, x, y) == pen) return kCentre - y - 1;
        return 0;
    }
};

TEST_F(SpectrumTest, TheBrightestRowOfEachColumnFollowsAChirpWithinOneBin) {
    const int32_t rate = 8000, frames = 64000, zoom = 100, size = 256;
    const double f0 = 200, f1 = 3800, binHz = static_cast<double>(rate) / size;
    options.fftSize = size;
    int32_t doc = makeViewDocument(rate, chirp(frames, rate, f0, f1));
    for (int32_t scale : {KV_FREQUENCY_LINEAR, KV_FREQUENCY_LOG}) {
        KV_ViewOptions display{};
        ASSERT_EQ(kvGetViewOptions(&display, sizeof display), 0);
        display.frequencyScale = scale;
        ASSERT_EQ(kvSetViewOptions(&display, sizeof display), 0);
        ASSERT_EQ(kvSetDisplayMode(doc, KV_DISPLAY_SPECTROGRAM), 0);
        showAt(doc, 0, zoom);
        /* Columns whose transform lies wholly inside the sound, clear of the
         * rulers' labels. */
        for (int32_t x = KV_LANE_RULER_COLUMNS; x < frames / zoom - size / zoom - 1; x += 7) {
            int32_t brightest = kTop;
            for (int32_t y = kTop; y < kBottom; y++)
                if (qGray(pixel(doc, x, y)) > qGray(pixel(doc, x, brightest))) brightest = y;
            int32_t first, last;
            kvSpectrumRowBins(brightest - kTop, kBottom - kTop, size / 2, rate, scale, &first,
                              &last);
            double expected = (f0 + (f1 - f0) * (x * zoom + zoom / 2.0) / frames) / binHz;
            EXPECT_GE(expected, first - 1.0) << "scale " << scale << " column " << x;
            EXPECT_LE(expected, last + 0.0) << "scale " << scale << " column " << x;
        }
    }
}

TEST_F(SpectrumTest, VerticalZoomDrawsPeaksTwiceAndFourTimesAsHighAndBack) {
    /* A quiet tone, drawn from its samples and from its block summaries. */
    for (int32_t zoom : {16, 4096}) {
        int32_t doc = makeViewDocument(44100, sine(44100 * 60, 1.0, 0.1f));
        showAt(doc, 0, zoom);
        QImage original = picture(doc).copy();
        int32_t full = peakHeight(doc, 100, 300);
        EXPECT_NEAR(full, 0.1 * 63, 1.5) << zoom;
        for (int32_t magnified : {2, 4}) {
            ASSERT_EQ(kvZoomVertical(doc, KV_VZOOM_IN), 0);
            ASSERT_EQ(kvGetVerticalZoom(doc), magnified);
            EXPECT_NEAR(peakHeight(doc, 100, 300), 0.1 * 63 * magnified, 1.5) << zoom;
        }
        ASSERT_EQ(kvZoomVertical(doc, KV_VZOOM_OUT), 0);
        EXPECT_NEAR(peakHeight(doc, 100, 300), 0.1 * 63 * 2, 1.5) << zoom;
        ASSERT_EQ(kvZoomVertical(doc, KV_VZOOM_RESET), 0);
        EXPECT_EQ(picture(doc), original) << zoom;
        kvClose(doc);
    }
}

TEST_F(SpectrumTest, CtrlShiftWheelZoomsVerticallyAndPeaksPastTheLaneAreHeldToIt) {
    int32_t doc = makeViewDocument(44100, sine(100000, 3.0, 0.5f));
    showAt(doc, 0, 64);
    QPointF at(200, kCentre);
    for (int32_t notch : {120, 120, 120, 120, -120}) {
        QWheelEvent event(at, window->mapToGlobal(at), QPoint(), QPoint(0, notch), Qt::NoButton,
                          Qt::ControlModifier | Qt::ShiftModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(window, &event);
    }
    EXPECT_EQ(kvGetVerticalZoom(doc), 8);
    EXPECT_EQ(state(doc)->framesPerPixel, 64) << "the wheel zoomed in time as well";
    /* Half scale at 8x would be 252 rows; the wave stops at the lane's edge,
     * where the 0 dB line is held over it, one row inside the lane's top line. */
    EXPECT_EQ(peakHeight(doc, 100, 300), kCentre - kTop - 3);
    for (int32_t y : {kTop, kTop + 1})
        EXPECT_EQ(pixel(doc, 200, y), view(doc)->pens.unselectedGrid) << y;
}

TEST_F(SpectrumTest, ScrollingWithRulersAndSpectrogramDrawsWhatAFullRedrawDraws) {
    options.fftSize = 512;
    int32_t doc = makeViewDocument(44100, sine(400000, 1.3), sine(400000, 7.1, 0.3f));
    for (int32_t mode : {KV_DISPLAY_SPECTROGRAM, KV_DISPLAY_BOTH}) {
        ASSERT_EQ(kvSetDisplayMode(doc, mode), 0);
        ASSERT_EQ(kvZoomVertical(doc, KV_VZOOM_IN), 0);
        showAt(doc, 64000, 64);
        for (int32_t columns : {16, -37, -5}) {
            state(doc)->firstFrame += columns * 64;
            kvRedraw(doc, KV_REDRAW_INCREMENTAL);
            QImage incremental = picture(doc).copy();
            kvRedraw(doc, KV_REDRAW_FULL);
            EXPECT_EQ(incremental, picture(doc)) << "mode " << mode << " scroll " << columns;
        }
    }
}

TEST_F(SpectrumTest, AfterAnEditAndItsUndoTheColumnsAreThoseOfTheSoundShown) {
    options.fftSize = 512;
    std::vector<float> samples = chirp(96000, 8000, 100, 3900);
    int32_t doc = makeViewDocument(8000, samples);
    ASSERT_EQ(kvSetDisplayMode(doc, KV_DISPLAY_SPECTROGRAM), 0);
    showAt(doc, 0, 64);
    QImage before = picture(doc).copy();
    kvSetSelection(doc, 0, 32000, -1);
    ASSERT_EQ(kvDelete(doc), 0);
    showAt(doc, 0, 64);
    QImage edited = picture(doc).copy();
    kvSpectrumForget(doc);
    kvRedraw(doc, KV_REDRAW_FULL);
    EXPECT_EQ(edited, picture(doc)) << "columns of the sound before the edit were shown";
    ASSERT_EQ(kvUndo(doc), 0);
    kvSetSelection(doc, 0, 0, -1);
    showAt(doc, 0, 64);
    EXPECT_EQ(before, picture(doc));
}
