/*
 * Window-position correction: shrinking to the work area, the 300 by 200
 * minimum, moving back inside, the record size check, damaged records, and
 * where the work area comes from with and without a screen.
 */
#include "engine/platform/screen.h"
#include "tests/support/test_support.h"

#include <QGuiApplication>
#include <QScreen>

#include <climits>
#include <cstdlib>

static bool operator==(const KV_WinPos &a, const KV_WinPos &b) {
    return a.left == b.left && a.top == b.top && a.state == b.state && a.width == b.width &&
           a.height == b.height;
}

static std::ostream &operator<<(std::ostream &out, const KV_WinPos &p) {
    return out << "{left " << p.left << ", top " << p.top << ", state " << p.state << ", "
               << p.width << " x " << p.height << "}";
}

class WindowPosition : public KvSandbox {
  protected:
    void TearDown() override {
        kvTestSetWorkArea(nullptr);
        KvSandbox::TearDown();
    }

    static KV_WinPos validated(KV_WinPos record, KvRect area) {
        kvTestSetWorkArea(&area);
        EXPECT_EQ(kvValidateWinPos(&record, sizeof record), 0);
        return record;
    }

    const KvRect laptop{0, 0, 1024, 738};
};

TEST_F(WindowPosition, AWindowLargerThanTheWorkAreaFillsItFromTheCorner) {
    EXPECT_EQ(validated({200, 100, 2, 5000, 4000}, laptop), (KV_WinPos{0, 0, 2, 1024, 738}));
}

TEST_F(WindowPosition, AWidthOf100BecomesTheMinimum300) {
    EXPECT_EQ(validated({40, 30, 0, 100, 480}, laptop), (KV_WinPos{40, 30, 0, 300, 480}));
    EXPECT_EQ(validated({40, 30, 0, 640, 120}, laptop), (KV_WinPos{40, 30, 0, 640, 200}));
}

TEST_F(WindowPosition, AWindowPastTheFarEdgesMovesBackInside) {
    EXPECT_EQ(validated({900, 700, 0, 400, 300}, laptop), (KV_WinPos{624, 438, 0, 400, 300}));
}

TEST_F(WindowPosition, AWindowInsideTheWorkAreaStaysWhereItIs) {
    EXPECT_EQ(validated({10, 20, 0, 640, 480}, laptop), (KV_WinPos{10, 20, 0, 640, 480}));
}

TEST_F(WindowPosition, TheMinimumSizeWinsOverATinyWorkArea) {
    EXPECT_EQ(validated({50, 50, 0, 800, 600}, {0, 0, 200, 100}), (KV_WinPos{0, 0, 0, 300, 200}));
}

TEST_F(WindowPosition, AWindowBeforeAnOffsetWorkAreaMovesOntoIt) {
    KvRect rightScreenBelowPanel{1920, 32, 3840, 1080};
    EXPECT_EQ(validated({-50, 0, 0, 800, 600}, rightScreenBelowPanel),
              (KV_WinPos{1920, 32, 0, 800, 600}));
}

TEST_F(WindowPosition, ADamagedRecordComesBackInsideWithoutOverflow) {
    EXPECT_EQ(validated({INT32_MAX, INT32_MIN, 2, INT32_MIN, INT32_MAX}, laptop),
              (KV_WinPos{724, 0, 2, 300, 738}));
}

TEST_F(WindowPosition, ARecordOfAnotherSizeIsRefusedAndKept) {
    kvTestSetWorkArea(&laptop);
    KV_WinPos record{200, 100, 0, 5000, 4000};
    const KV_WinPos before = record;
    EXPECT_EQ(kvValidateWinPos(&record, 16), -1);
    EXPECT_EQ(kvValidateWinPos(&record, 24), -1);
    EXPECT_EQ(record, before);
    EXPECT_EQ(kvValidateWinPos(nullptr, 20), -1);
}

TEST_F(WindowPosition, WithoutAScreenOnlyTheMinimumAndACornerAtTheOriginApply) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    KV_WinPos record{-10, -20, 0, 100000, 50};
    ASSERT_EQ(kvValidateWinPos(&record, sizeof record), 0);
    EXPECT_EQ(record, (KV_WinPos{0, 0, 0, 100000, 200}));
}

TEST_F(WindowPosition, ThePrimaryScreensAvailableGeometryIsTheWorkArea) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int argc = 1;
    char name[] = "settings_tests";
    char *argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    ASSERT_NE(QGuiApplication::primaryScreen(), nullptr);
    QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    KV_WinPos record{area.x() + 5000, area.y() - 50, 0, 100000, 100000};
    ASSERT_EQ(kvValidateWinPos(&record, sizeof record), 0);
    EXPECT_EQ(record, (KV_WinPos{area.x(), area.y(), 0, area.width(), area.height()}));
}
