/*
 * kvGetDrive: the drive list the options dialog offers for the working
 * folder, which must letter the drives exactly as kvInit reads tempDrive.
 */
#include "engine/platform/paths.h"
#include "korvel.h"

#include <gtest/gtest.h>
#include <string>

TEST(DriveList, LettersRunFromCInListOrderAndTheEndGivesMinusOne) {
    char mount[1024], label[256];
    int32_t n = 0;
    for (; n < 24; n++) {
        int32_t letter = kvGetDrive(n, mount, sizeof mount, label, sizeof label);
        if (letter < 0) break;
        EXPECT_EQ(letter, 'C' + n);
        EXPECT_EQ(mount[0], '/') << mount;
    }
    EXPECT_EQ(kvGetDrive(n, mount, sizeof mount, label, sizeof label), -1);
    EXPECT_EQ(kvGetDrive(-1, mount, sizeof mount, label, sizeof label), -1);
}

TEST(DriveList, EachLetterNamesTheMountPointTheWorkingFolderWouldUse) {
    char mount[1024], label[256];
    for (int32_t n = 0;; n++) {
        int32_t letter = kvGetDrive(n, mount, sizeof mount, label, sizeof label);
        if (letter < 0) break;
        std::string root;
        ASSERT_TRUE(kvDriveRoot(letter, &root));
        EXPECT_EQ(root, mount);
        ASSERT_TRUE(kvDriveRoot(letter + ('a' - 'A'), &root)) << "lower case letter";
        EXPECT_EQ(root, mount);
    }
}

TEST(DriveList, ShortOrMissingBuffersGetACutTerminatedText) {
    char mount[1024], label[256];
    int32_t letter = kvGetDrive(0, mount, sizeof mount, label, sizeof label);
    if (letter < 0) GTEST_SKIP() << "no local disk is mounted here";
    char tiny[3] = {'x', 'x', 'x'};
    EXPECT_EQ(kvGetDrive(0, tiny, 2, nullptr, 0), letter);
    EXPECT_EQ(tiny[0], mount[0]);
    EXPECT_EQ(tiny[1], '\0');
    EXPECT_EQ(tiny[2], 'x');
    EXPECT_EQ(kvGetDrive(0, nullptr, 0, nullptr, 0), letter);
}
