/*
 * render_test.cpp - the waveform picture: its rows and colours, selection,
 * markers, ruler, wave shapes, shadow, play cursor, and the incremental
 * redraws, which must always leave the picture a full redraw would make.
 *
 * The window is 640 x 300 client pixels, so the lane unit is 32: a stereo
 * picture has its left lane on rows 18..145, the gap 146..148, the right
 * lane 149..276, the lower strip 277..282, the separator on 283, the ruler
 * 284..297 and the frame lines on 298 and 299.
 */
#include "engine/view/render.h"
#include "tests/view/view_fixture.h"

#include <QPalette>
#include <QScreen>

class RenderTest : public ViewTest {
  protected:
    static constexpr int32_t kU = 32;

    /* Pixels of one colour in [x0, x1) x [y0, y1). */
    static int32_t countColor(const QImage &image, QRgb color, int32_t x0, int32_t y0, int32_t x1,
                              int32_t y1) {
        int32_t n = 0;
        for (int32_t y = y0; y < y1; y++)
            for (int32_t x = x0; x < x1; x++)
                n += image.pixel(x, y) == color;
        return n;
    }
    QRgb paletteColor(QPalette::ColorRole role) const {
        return window->palette().color(role).rgb() | 0xFF000000u;
    }
    /* A full redraw's picture for the document as it stands. */
    static QImage fullPicture(int32_t doc) {
        kvRedraw(doc, KV_REDRAW_FULL);
        return picture(doc).copy();
    }
    /* 30000 frames of stereo sine: 468 columns of data at 64 frames per pixel. */
    int32_t shortStereo() { return makeViewDocument(44100, sine(30000, 3), sine(30000, 5, 0.4f)); }
};

TEST_F(RenderTest, RowsOfAStereoPictureHaveTheirColours) {
    int32_t doc = shortStereo();
    const int32_t *colors = options.colors;
    int32_t x = 300; /* no tick, no marker */
    EXPECT_EQ(pixel(doc, x, 3), colorPixel(colors[3])) << "overview: visible range";
    EXPECT_EQ(pixel(doc, x, 8), paletteColor(QPalette::Light));
    EXPECT_EQ(pixel(doc, x, 9), paletteColor(QPalette::Button));
    EXPECT_EQ(pixel(doc, x, 10), paletteColor(QPalette::Mid));
    EXPECT_EQ(pixel(doc, x, 11), paletteColor(QPalette::Dark));
    EXPECT_EQ(pixel(doc, x, 14), colorPixel(colors[9])) << "upper strip";
    EXPECT_EQ(pixel(doc, x, 18), colorPixel(colors[2])) << "left lane's top grid line";
    EXPECT_EQ(pixel(doc, x, 19), colorPixel(colors[0])) << "left lane";
    EXPECT_EQ(pixel(doc, x, 18 + kU), colorPixel(colors[2])) << "left lane's second grid line";
    EXPECT_EQ(pixel(doc, x, 145), colorPixel(colors[2])) << "left lane's last row";
    for (int32_t y = 146; y <= 148; y++)
        EXPECT_EQ(pixel(doc, x, y), colorPixel(colors[9])) << "gap " << y;
    EXPECT_EQ(pixel(doc, x, 149), colorPixel(colors[2])) << "right lane's top grid line";
    EXPECT_EQ(pixel(doc, x, 150), colorPixel(colors[0])) << "right lane";
    EXPECT_EQ(pixel(doc, x, 280), colorPixel(colors[9])) << "lower strip";
    EXPECT_EQ(pixel(doc, x, 283), paletteColor(QPalette::Light)) << "separator";
    EXPECT_EQ(pixel(doc, x, 290), paletteColor(QPalette::Button)) << "ruler";
    EXPECT_EQ(pixel(doc, x, 298), paletteColor(QPalette::Mid));
    EXPECT_EQ(pixel(doc, x, 299), paletteColor(QPalette::Dark));
}

TEST_F(RenderTest, TheWaveFillsItsLaneAroundTheCentre) {
    int32_t doc = shortStereo();
    QRgb wave = colorPixel(options.colors[1]);
    int32_t leftCentre = 18 + 2 * kU, rightCentre = 21 + 6 * kU;
    EXPECT_GT(countColor(picture(doc), wave, 0, 19, 468, 146), 468 * 20);
    EXPECT_GT(countColor(picture(doc), wave, 0, 150, 468, 277), 468 * 10);
    /* 0.8 of full scale reaches 0.8 * 63 = 50 rows from the left centre, 0.4
     * about 25 rows from the right centre, and never further. */
    EXPECT_EQ(countColor(picture(doc), wave, 0, 19, 468, leftCentre - 52), 0);
    EXPECT_GT(countColor(picture(doc), wave, 0, leftCentre - 52, 468, leftCentre - 48), 0);
    EXPECT_EQ(countColor(picture(doc), wave, 0, 150, 468, rightCentre - 27), 0);
}

TEST_F(RenderTest, BlankAreaFollowsTheLastColumnWithData) {
    int32_t doc = shortStereo();
    QRgb blank = colorPixel(options.colors[9]);
    int32_t data = 30000 / 64;
    EXPECT_EQ(countColor(picture(doc), blank, data, 12, 640, 283), (640 - data) * (283 - 12));
    EXPECT_NE(pixel(doc, data - 1, 19), blank);
}

TEST_F(RenderTest, RulerTicksAndLabelsStopAtTheLastColumnWithData) {
    int32_t doc = shortStereo();
    std::vector<KvRulerTick> ticks = kvRulerTicks(0, 64, 640, 30000, 44100);
    ASSERT_EQ(ticks.size(), 5u);
    EXPECT_EQ(ticks.back().column, 4 * 96);
    QRgb shadow = paletteColor(QPalette::Mid), light = paletteColor(QPalette::Light);
    for (const KvRulerTick &tick : ticks) {
        EXPECT_EQ(pixel(doc, tick.column, 296), shadow) << tick.column;
        EXPECT_EQ(pixel(doc, tick.column + 1, 296), light) << tick.column;
    }
    EXPECT_EQ(pixel(doc, 5 * 96, 296), paletteColor(QPalette::Button));
}

TEST_F(RenderTest, RulerLabelsPastFiftyNineSecondsReadMinutes) {
    /* At 12288 Hz and 128 frames per pixel a tick falls on every second. */
    int32_t rate = 12288;
    int32_t doc = makeViewDocument(rate, std::vector<float>(70 * rate, 0.1f));
    showAt(doc, 58 * rate, 128);
    std::vector<KvRulerTick> ticks =
        kvRulerTicks(state(doc)->firstFrame, 128, 640, state(doc)->length, rate);
    ASSERT_GE(ticks.size(), 4u);
    EXPECT_EQ(ticks[0].label, "00:58.000");
    EXPECT_EQ(ticks[1].label, "00:59.000");
    EXPECT_EQ(ticks[2].label, "01:00.000");
    EXPECT_EQ(ticks[3].label, "01:01.000");
    EXPECT_EQ(ticks[2].column, 2 * 96);
    /* Each label's text starts three columns right of its tick. */
    QRgb face = paletteColor(QPalette::Button);
    for (size_t i = 0; i < 4; i++) {
        int32_t tick = ticks[i].column;
        int32_t firstInk = -1;
        for (int32_t x = tick + 2; x < tick + 60 && firstInk < 0; x++)
            for (int32_t y = 284; y <= 297 && firstInk < 0; y++)
                if (pixel(doc, x, y) != face) firstInk = x;
        EXPECT_GE(firstInk, tick + 3) << i;
        EXPECT_LT(firstInk, tick + 10) << i;
    }
}

TEST_F(RenderTest, TheSelectedSegmentHasTheSelectedColours) {
    int32_t doc = shortStereo();
    kvSetSelection(doc, 100 * 64, 200 * 64, -1);
    const int32_t *colors = options.colors;
    EXPECT_EQ(pixel(doc, 150, 19), colorPixel(colors[3]));
    EXPECT_EQ(pixel(doc, 150, 18), colorPixel(colors[5]));
    EXPECT_EQ(pixel(doc, 150, 150), colorPixel(colors[3]));
    EXPECT_EQ(pixel(doc, 250, 19), colorPixel(colors[0]));
    QRgb selectedWave = colorPixel(colors[4]);
    EXPECT_GT(countColor(picture(doc), selectedWave, 101, 19, 200, 146), 0);
    EXPECT_EQ(countColor(picture(doc), selectedWave, 205, 19, 468, 146), 0);
}

TEST_F(RenderTest, ALeftChannelSelectionLeavesTheRightLaneUnselected) {
    int32_t doc = shortStereo();
    kvSetSelection(doc, 100 * 64, 200 * 64, 0);
    EXPECT_EQ(pixel(doc, 150, 19), colorPixel(options.colors[3]));
    EXPECT_EQ(pixel(doc, 150, 150), colorPixel(options.colors[0]));
}

TEST_F(RenderTest, EdgeMarkersShowWhichEndIsAnchored) {
    int32_t doc = shortStereo();
    kvSetSelection(doc, 100 * 64, 200 * 64, -1);
    QRgb cursor = colorPixel(options.colors[8]), moving = colorPixel(options.colors[4]);
    EXPECT_EQ(pixel(doc, 100, 12), cursor);
    EXPECT_EQ(pixel(doc, 100, 282), cursor);
    EXPECT_EQ(pixel(doc, 100, 283), paletteColor(QPalette::Light));
    EXPECT_EQ(pixel(doc, 200, 20), moving);
    /* Triangles point away from the selection, each column shorter. */
    EXPECT_EQ(pixel(doc, 99, 17), cursor);
    EXPECT_NE(pixel(doc, 99, 18), cursor);
    EXPECT_EQ(pixel(doc, 98, 15), cursor);
    EXPECT_NE(pixel(doc, 98, 16), cursor);
    EXPECT_EQ(pixel(doc, 97, 13), cursor);
    EXPECT_NE(pixel(doc, 97, 14), cursor);
    EXPECT_EQ(pixel(doc, 99, 21 + 8 * kU), cursor);
    EXPECT_NE(pixel(doc, 99, 20 + 8 * kU), cursor);
    EXPECT_EQ(pixel(doc, 201, 17), moving);
    EXPECT_EQ(pixel(doc, 201, 22 + 8 * kU), moving);
    EXPECT_NE(pixel(doc, 201, 21 + 8 * kU), moving);
    EXPECT_EQ(pixel(doc, 203, 13), moving);
    /* Dragged the other way, the ends swap pens. */
    kvSetSelection(doc, 200 * 64, 100 * 64, -1);
    EXPECT_EQ(pixel(doc, 100, 12), moving);
    EXPECT_EQ(pixel(doc, 200, 12), cursor);
}

TEST_F(RenderTest, ASingleChannelMarkerCoversOnlyItsLane) {
    int32_t doc = shortStereo();
    kvSetSelection(doc, 100 * 64, 200 * 64, 1);
    QRgb cursor = colorPixel(options.colors[8]);
    EXPECT_NE(pixel(doc, 100, 12), cursor);
    EXPECT_NE(pixel(doc, 100, 4 * kU + 20), cursor);
    EXPECT_EQ(pixel(doc, 100, 4 * kU + 21), cursor);
    EXPECT_EQ(pixel(doc, 100, 26 + 8 * kU), cursor);
    EXPECT_NE(pixel(doc, 99, 17), cursor);
}

TEST_F(RenderTest, TheOverviewBarShowsTheVisibleRangeTheSelectionAndThePlayCursor) {
    int32_t length = 640 * 64 * 4;
    int32_t doc = makeViewDocument(44100, sine(length, 2));
    showAt(doc, 640 * 64, 64);
    const int32_t *colors = options.colors;
    EXPECT_EQ(pixel(doc, 100, 3), colorPixel(colors[9]));
    EXPECT_EQ(pixel(doc, 160, 3), colorPixel(colors[3]));
    EXPECT_EQ(pixel(doc, 319, 3), colorPixel(colors[3]));
    EXPECT_EQ(pixel(doc, 321, 3), colorPixel(colors[9]));
    kvSetSelection(doc, length / 2, length * 3 / 4, -1);
    EXPECT_EQ(pixel(doc, 320, 0), colorPixel(colors[8]));
    EXPECT_EQ(pixel(doc, 480, 7), colorPixel(colors[4]));
    QRgb before = pixel(doc, 399, 4);
    kvPlayCursor(doc)->playFrame.store(length * 5 / 8);
    kvRedraw(doc, KV_REDRAW_INCREMENTAL);
    EXPECT_EQ(pixel(doc, 399, 4), before ^ 0x00FFFFFFu);
    EXPECT_EQ(pixel(doc, 401, 4), colorPixel(colors[9]) ^ 0x00FFFFFFu);
    kvPlayCursor(doc)->playFrame.store(-1);
}

TEST_F(RenderTest, OneFramePerPixelDrawsAConnectedLineAndTwoDrawMinMaxStrokes) {
    const std::vector<float> &samples = sine(20000, 20);
    int32_t doc = makeViewDocument(44100, samples);
    QRgb wave = colorPixel(options.colors[1]);
    int32_t top = 18, bottom = 18 + 8 * kU, centre = 18 + 4 * kU;
    auto waveRows = [&](int32_t x, int32_t *first, int32_t *last) {
        *first = *last = -1;
        for (int32_t y = top; y < bottom; y++)
            if (pixel(doc, x, y) == wave) {
                if (*first < 0) *first = y;
                *last = y;
            }
    };
    showAt(doc, 0, 1);
    int32_t previousFirst = -1, previousLast = -1, columnsOffCentre = 0;
    for (int32_t x = 1; x < 600; x++) {
        int32_t first, last;
        waveRows(x, &first, &last);
        ASSERT_GE(first, 0) << x;
        if (previousFirst >= 0) {
            EXPECT_LE(first, previousLast + 1) << x;
            EXPECT_GE(last, previousFirst - 1) << x;
        }
        /* A line through the samples leaves the centre free where the wave
         * is far from it. */
        int32_t v = static_cast<int32_t>(samples[x] * 255.0f);
        if (v > 100) columnsOffCentre += pixel(doc, x, centre - 1) != wave;
        previousFirst = first;
        previousLast = last;
    }
    EXPECT_GT(columnsOffCentre, 100);
    showAt(doc, 0, 2);
    for (int32_t x = 2; x < 600; x++) {
        int32_t a = static_cast<int32_t>(samples[2 * x] * 255.0f);
        int32_t b = static_cast<int32_t>(samples[2 * x + 1] * 255.0f);
        int32_t high = std::max({a, b, 0}), low = std::max({-a, -b, 0});
        int32_t first, last;
        waveRows(x, &first, &last);
        EXPECT_EQ(first, centre - kvPeakRows(high, kU) - 1) << x;
        EXPECT_EQ(last, centre + kvPeakRows(low, kU) - 1) << x;
    }
}

TEST_F(RenderTest, TheShadowFollowsTheDrawShadowSwitch) {
    int32_t doc = shortStereo();
    QRgb shadow = colorPixel(options.colors[6]);
    EXPECT_GT(countColor(picture(doc), shadow, 0, 18, 468, 277), 468);
    options.colors[10] = 0;
    kvFullRefresh();
    EXPECT_EQ(countColor(picture(doc), shadow, 0, 18, 640, 277), 0);
}

TEST_F(RenderTest, TheShadowLiesOneColumnRightAndOneRowBelowTheWave) {
    int32_t doc = makeViewDocument(44100, std::vector<float>(30000, 0.5f));
    QRgb shadow = colorPixel(options.colors[6]), wave = colorPixel(options.colors[1]);
    int32_t centre = 18 + 4 * kU, top = centre - kvPeakRows(128, kU);
    EXPECT_EQ(pixel(doc, 200, top - 1), wave);
    EXPECT_NE(pixel(doc, 200, top - 2), wave);
    /* A flat wave: the shadow shows only below its bottom row. */
    EXPECT_EQ(pixel(doc, 200, centre - 1), wave);
    EXPECT_EQ(pixel(doc, 200, centre), shadow);
    EXPECT_NE(pixel(doc, 200, centre + 1), shadow);
}

TEST_F(RenderTest, APlayCursorDrawnTwiceLeavesThePictureUnchanged) {
    int32_t doc = shortStereo();
    QImage before = picture(doc).copy();
    KvCanvas canvas = kvCanvasOf(&view(doc)->picture);
    int32_t top, bottom;
    kvPlayCursorRows(2, -1, kU, &top, &bottom);
    kvInvertPlayCursor(&canvas, 200, top, bottom);
    EXPECT_NE(picture(doc), before);
    EXPECT_EQ(pixel(doc, 198, 100), before.pixel(198, 100) ^ 0x00FFFFFFu);
    EXPECT_EQ(pixel(doc, 202, 18 + 8 * kU + 2), before.pixel(202, 18 + 8 * kU + 2) ^ 0x00FFFFFFu);
    EXPECT_EQ(pixel(doc, 202, 21 + 8 * kU), before.pixel(202, 21 + 8 * kU));
    kvInvertPlayCursor(&canvas, 200, top, bottom);
    EXPECT_EQ(picture(doc), before);
}

TEST_F(RenderTest, PlayCursorRowsFollowTheChannelPlayed) {
    int32_t top, bottom;
    kvPlayCursorRows(1, -1, kU, &top, &bottom);
    EXPECT_EQ(top, 18);
    EXPECT_EQ(bottom, 18 + 8 * kU);
    kvPlayCursorRows(2, 0, kU, &top, &bottom);
    EXPECT_EQ(bottom, 18 + 4 * kU);
    kvPlayCursorRows(2, 1, kU, &top, &bottom);
    EXPECT_EQ(top, 21 + 4 * kU);
    EXPECT_EQ(bottom, 21 + 8 * kU);
}

class IncrementalTest : public RenderTest {
  protected:
    void SetUp() override {
        RenderTest::SetUp();
        std::vector<float> left = sine(400000, 1.3), right = sine(400000, 0.7, 0.5f);
        for (size_t i = 0; i < left.size(); i += 997)
            left[i] = -0.9f;
        doc = makeViewDocument(44100, left, right);
    }
    /* After an incremental redraw the picture equals a full one. */
    void expectSameAsFull(const char *what) {
        kvRedraw(doc, KV_REDRAW_INCREMENTAL);
        QImage incremental = picture(doc).copy();
        EXPECT_EQ(incremental, fullPicture(doc)) << what;
    }
    int32_t doc = -1;
};

TEST_F(IncrementalTest, ScrollingRightOrLeftDrawsWhatAFullRedrawDraws) {
    for (int32_t zoom : {1, 2, 16, 64, 200}) {
        showAt(doc, 1000 * zoom, zoom);
        state(doc)->firstFrame += 16 * zoom;
        expectSameAsFull("right");
        state(doc)->firstFrame -= 37 * zoom;
        expectSameAsFull("left");
    }
}

TEST_F(IncrementalTest, ScrollingWithASelectionInViewDrawsWhatAFullRedrawDraws) {
    showAt(doc, 64000, 64);
    kvSetSelection(doc, 64000 + 100 * 64, 64000 + 300 * 64, 0);
    state(doc)->firstFrame += 50 * 64;
    expectSameAsFull("scrolled with selection");
    state(doc)->selEnd += 40 * 64;
    expectSameAsFull("selection grown");
    state(doc)->editChannel = -1;
    expectSameAsFull("channel changed");
}

TEST_F(IncrementalTest, ChangingOnlyTheSelectionRedrawsOnlyBetweenItsEdges) {
    showAt(doc, 64000, 64);
    kvSetSelection(doc, 64000 + 100 * 64, 64000 + 200 * 64, -1);
    /* Marks that only a redraw of their column can remove. */
    QImage &drawn = view(doc)->picture;
    for (int32_t x : {96, 97, 204, 205, 300, 320})
        drawn.setPixel(x, 100, 0xFF123456u);
    state(doc)->selEnd = 64000 + 300 * 64;
    kvRedraw(doc, KV_REDRAW_INCREMENTAL);
    EXPECT_EQ(pixel(doc, 96, 100), 0xFF123456u) << "left of the old lower edge - 3";
    EXPECT_NE(pixel(doc, 97, 100), 0xFF123456u);
    EXPECT_NE(pixel(doc, 205, 100), 0xFF123456u);
    EXPECT_NE(pixel(doc, 300, 100), 0xFF123456u);
    EXPECT_EQ(pixel(doc, 320, 100), 0xFF123456u) << "right of the new upper edge + 4";
}

TEST_F(IncrementalTest, AMovingPlayCursorLeavesNoTrace) {
    showAt(doc, 64000, 64);
    KV_PlayCursor *cursor = kvPlayCursor(doc);
    for (int32_t frame : {64000 + 50 * 64, 64000 + 51 * 64, 64000 + 300 * 64}) {
        cursor->playFrame.store(frame);
        kvRedraw(doc, KV_REDRAW_INCREMENTAL);
    }
    state(doc)->firstFrame += 20 * 64;
    cursor->playFrame.store(64000 + 330 * 64);
    expectSameAsFull("cursor and scroll");
    cursor->playFrame.store(-1);
    expectSameAsFull("cursor gone");
}

TEST_F(IncrementalTest, TheWindowShowsTheMemoryPicture) {
    showAt(doc, 64000, 64);
    state(doc)->firstFrame += 30 * 64;
    kvRedraw(doc, KV_REDRAW_INCREMENTAL);
    QImage shown = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.copy(0, 0, 640, 300), picture(doc));
}

TEST_F(IncrementalTest, TheScreenIsUpToDateAfterEachScrollStep) {
    showAt(doc, 64000, 64);
    KV_PlayCursor *cursor = kvPlayCursor(doc);
    for (int32_t step = 1; step <= 6; step++) {
        state(doc)->firstFrame += (step % 3 == 0 ? -24 : 16) * 64;
        cursor->playFrame.store(state(doc)->firstFrame + step * 50 * 64);
        kvRedraw(doc, KV_REDRAW_INCREMENTAL);
        QImage screen = window->screen()->grabWindow(window->winId()).toImage();
        screen = screen.convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(screen.copy(0, 0, 640, 300), picture(doc)) << step;
    }
    cursor->playFrame.store(-1);
}

TEST_F(RenderTest, AMonoPictureHasOneLaneOfEightUnits) {
    int32_t doc = makeViewDocument(44100, sine(30000, 3));
    const int32_t *colors = options.colors;
    EXPECT_EQ(pixel(doc, 300, 18), colorPixel(colors[2]));
    EXPECT_EQ(pixel(doc, 300, 18 + 2 * kU), colorPixel(colors[2]));
    EXPECT_EQ(pixel(doc, 300, 18 + 8 * kU - 1), colorPixel(colors[2]));
    for (int32_t y = 18 + 8 * kU; y < 21 + 8 * kU; y++)
        EXPECT_EQ(pixel(doc, 300, y), colorPixel(colors[9])) << y;
}

TEST_F(RenderTest, AnEmptyDocumentIsOneBlankArea) {
    window = makeWindow();
    int32_t doc = kvCreate(window);
    window->show();
    QCoreApplication::processEvents();
    kvRefresh(doc);
    QRgb blank = colorPixel(options.colors[9]);
    EXPECT_EQ(countColor(picture(doc), blank, 0, 0, 640, 300), 640 * 300);
}
