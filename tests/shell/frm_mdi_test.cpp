/*
 * The frame window starts the engine with itself as message window and stores
 * the records when it closes.
 */
#include "app/shell/frm_mdi.h"
#include "tests/support/test_support.h"

#include <QApplication>

class FrameWindow : public KvSandbox {
  protected:
    void SetUp() override {
        KvSandbox::SetUp();
        static int argc = 1;
        static char name[] = "shell_tests";
        static char *argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
};

TEST_F(FrameWindow, ClosingTheFrameStoresTheUsersSettings) {
    {
        frmMDI frame(&options, &params);
        ASSERT_TRUE(frame.startEngine());
        frame.show();
        options.timeFormat = 2;
        frame.close();
    }
    KV_Options stored{};
    ASSERT_EQ(kvGetReg("Settings", "Options", &stored, 144), 144);
    EXPECT_EQ(stored.timeFormat, 2);
    EXPECT_TRUE(kvTestFileExists(workFolder));
}
