/*
 * Command-line parsing, used at start-up and for every hand-over from a
 * second copy.
 *
 * The rules are a parser's alone, so the cases run without a window.
 */
#include "app/shell/mdl_main.h"

#include <gtest/gtest.h>

TEST(CommandLine, QuotedPathsAreSeparateNamesEvenWithSpacesInside) {
    EXPECT_EQ(mdlParseCommandLine("\"/music/first take.wav\" \"/music/second.wav\""),
              QStringList({"/music/first take.wav", "/music/second.wav"}));
}

TEST(CommandLine, ASingleUnquotedPathWithSpacesIsOneName) {
    EXPECT_EQ(mdlParseCommandLine("/music/first take.wav"), QStringList({"/music/first take.wav"}));
}

TEST(CommandLine, TwoUnquotedPathsAreTakenAsOneNameHoldingTheSpace) {
    EXPECT_EQ(mdlParseCommandLine("/a.wav /b.wav"), QStringList({"/a.wav /b.wav"}));
}

TEST(CommandLine, SpacesAroundNamesAreDropped) {
    EXPECT_EQ(mdlParseCommandLine("   /a.wav   "), QStringList({"/a.wav"}));
    EXPECT_EQ(mdlParseCommandLine("  \"  /b.wav  \"  "), QStringList({"/b.wav"}));
}

TEST(CommandLine, AQuoteEndsANameAndTheNextOneStartsRightAfterIt) {
    EXPECT_EQ(mdlParseCommandLine("\"/a.wav\"/b.wav"), QStringList({"/a.wav", "/b.wav"}));
    EXPECT_EQ(mdlParseCommandLine("/a.wav\"/b.wav\""), QStringList({"/a.wav", "/b.wav"}));
}

TEST(CommandLine, EmptyLinesAndEmptyQuotesNameNothing) {
    EXPECT_TRUE(mdlParseCommandLine("").isEmpty());
    EXPECT_TRUE(mdlParseCommandLine("    ").isEmpty());
    EXPECT_TRUE(mdlParseCommandLine("\"\" \"   \"").isEmpty());
}

TEST(CommandLine, AHandedOverBufferWithTrailingSpacesNamesItsFilesOnly) {
    QString buffer = QString("\"/x/one.wav\" \"/x/two.wav\"").leftJustified(255, ' ');
    EXPECT_EQ(mdlParseCommandLine(buffer), QStringList({"/x/one.wav", "/x/two.wav"}));
}

TEST(CommandLine, ProcessArgumentsAreQuotedBackSoEveryArgumentStaysOneName) {
    mdlMain.showState = 0;
    QString line = mdlCommandLineFromArguments({"/m/a b.wav", "--maximized", "/m/c.wav"});
    EXPECT_EQ(line, "\"/m/a b.wav\" \"/m/c.wav\"");
    EXPECT_EQ(mdlParseCommandLine(line), QStringList({"/m/a b.wav", "/m/c.wav"}));
    EXPECT_EQ(mdlMain.showState, 3);
    EXPECT_TRUE(mdlCommandLineFromArguments({"--minimized"}).isEmpty());
    EXPECT_EQ(mdlMain.showState, 7);
    mdlMain.showState = 0;
}
