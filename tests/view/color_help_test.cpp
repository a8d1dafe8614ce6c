/*
 * color_help_test.cpp - the colour chooser with its stored custom colours,
 * and the help pages kvShowHelp opens.
 */
#include "tests/view/view_fixture.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QTextBrowser>
#include <QTimer>

#include <functional>

class ColorTest : public ViewTest {
  protected:
    /* Runs `answer` on the colour dialog as soon as it is up. */
    static void whenDialogShows(std::function<void(QColorDialog *)> answer) {
        auto *timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [timer, answer] {
            auto *dialog = qobject_cast<QColorDialog *>(QApplication::activeModalWidget());
            if (!dialog) return;
            timer->stop();
            timer->deleteLater();
            answer(dialog);
        });
        timer->start(10);
    }
    static std::vector<int32_t> storedCustomColors() {
        std::vector<int32_t> colors(16, -1);
        EXPECT_EQ(kvGetReg("Settings", "Custom Colors", colors.data(), 64), 64);
        return colors;
    }
};

TEST_F(ColorTest, TheChosenColourComesBackInTheOptionsOrder) {
    whenDialogShows([](QColorDialog *dialog) {
        dialog->setCurrentColor(QColor(10, 20, 30));
        dialog->accept();
    });
    EXPECT_EQ(kvGetColor(nullptr, 0x123456), 30 << 16 | 20 << 8 | 10);
}

TEST_F(ColorTest, TheDialogStartsAtTheGivenColour) {
    QColor shown;
    whenDialogShows([&shown](QColorDialog *dialog) {
        shown = dialog->currentColor();
        dialog->reject();
    });
    EXPECT_EQ(kvGetColor(nullptr, 0x563412), 0x563412) << "cancelled";
    EXPECT_EQ(shown, QColor(0x12, 0x34, 0x56));
}

TEST_F(ColorTest, CustomColoursAreStoredEvenWhenCancelled) {
    whenDialogShows([](QColorDialog *dialog) {
        QColorDialog::setCustomColor(3, QColor(1, 2, 3));
        dialog->reject();
    });
    kvGetColor(nullptr, 0);
    std::vector<int32_t> stored = storedCustomColors();
    EXPECT_EQ(stored[3], 0x030201);
    QColor loaded;
    whenDialogShows([&loaded](QColorDialog *dialog) {
        loaded = QColorDialog::customColor(3);
        dialog->reject();
    });
    QColorDialog::setCustomColor(3, Qt::white);
    kvGetColor(nullptr, 0);
    EXPECT_EQ(loaded, QColor(1, 2, 3)) << "read back from the store";
}

TEST_F(ColorTest, ACustomColourValueOfAnotherSizeReadsAsBlack) {
    std::vector<int32_t> shortValue(8, 0x00FFFFFF);
    kvSetReg("Settings", "Custom Colors", shortValue.data(), 32);
    QColorDialog::setCustomColor(0, Qt::white);
    QColor loaded;
    whenDialogShows([&loaded](QColorDialog *dialog) {
        loaded = QColorDialog::customColor(0);
        dialog->reject();
    });
    kvGetColor(nullptr, 0);
    EXPECT_EQ(loaded, QColor(Qt::black));
}

class HelpTest : public ViewTest {
  protected:
    void SetUp() override {
        ViewTest::SetUp();
        receiver = std::make_unique<QTextBrowser>();
        QDesktopServices::setUrlHandler("file", receiver.get(), "setSource");
    }
    void TearDown() override {
        QDesktopServices::unsetUrlHandler("file");
        receiver.reset();
        ViewTest::TearDown();
    }
    std::string opened() const { return receiver->source().toLocalFile().toStdString(); }
    void writePage(const std::string &relative) {
        QDir().mkpath(QString::fromStdString(path(relative)).section('/', 0, -2));
        kvTestWriteFile(path(relative), "<html><body>help</body></html>");
    }
    std::unique_ptr<QTextBrowser> receiver;
};

TEST_F(HelpTest, ATopicOpensItsPageBesideTheHelpFile) {
    writePage("bin/help/topic-7.html");
    EXPECT_EQ(kvShowHelp(nullptr, path("bin/Korvel.hlp").c_str(), 1, 7), 0);
    EXPECT_EQ(opened(), path("bin/help/topic-7.html"));
}

TEST_F(HelpTest, TheContentsHaveTheirOwnPage) {
    writePage("bin/help/contents.html");
    kvShowHelp(nullptr, path("bin/Korvel.hlp").c_str(), 11, 1);
    EXPECT_EQ(opened(), path("bin/help/contents.html"));
}

TEST_F(HelpTest, InstalledPagesAreFoundInTheSharedFolder) {
    writePage("share/korvel/help/topic-1.html");
    kvShowHelp(nullptr, path("bin/Korvel.hlp").c_str(), 1, 1);
    EXPECT_EQ(opened(), path("share/korvel/help/topic-1.html"));
}
