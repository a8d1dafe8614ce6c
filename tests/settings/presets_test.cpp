/*
 * Presets: order, replacement by name regardless of case, deletion moving the
 * later presets down, and blocks of any size surviving a move.
 */
#include "engine/platform/store.h"
#include "tests/support/test_support.h"

#include <cstring>
#include <string>
#include <vector>

class Presets : public KvSandbox {
  protected:
    void TearDown() override {
        KvSandbox::TearDown();
        kvStoreClose();
    }
    std::string name(int32_t index) {
        char buffer[128];
        if (kvGetPresetName("Reverb", index, buffer, sizeof buffer) < 0) return "<missing>";
        return buffer;
    }
    int32_t data(int32_t index) {
        int32_t value = -1;
        return kvLoadPreset("Reverb", index, &value, sizeof value) == 4 ? value : -1;
    }
    void save(const char *presetName, int32_t value) {
        ASSERT_EQ(kvSavePreset("Reverb", presetName, &value, sizeof value), 0);
    }
};

TEST_F(Presets, MissingGroupIsEmpty) {
    EXPECT_EQ(kvGetPresetCount("Nothing"), 0);
    EXPECT_EQ(kvIsNameTaken("Nothing", "Hall"), -1);
    char buffer[8];
    EXPECT_EQ(kvGetPresetName("Nothing", 0, buffer, 8), -1);
    EXPECT_EQ(kvDeletePreset("Nothing", 0), -1);
}

TEST_F(Presets, PresetsKeepTheOrderTheyWereAddedIn) {
    save("Hall", 1);
    save("Room", 2);
    save("Plate", 3);
    EXPECT_EQ(kvGetPresetCount("Reverb"), 3);
    EXPECT_EQ(name(0), "Hall");
    EXPECT_EQ(name(2), "Plate");
    EXPECT_EQ(data(1), 2);
    EXPECT_EQ(kvIsNameTaken("Reverb", "PLATE"), 2);
}

TEST_F(Presets, SavingUnderTheSameNameInOtherCaseReplacesInPlace) {
    save("Hall", 1);
    save("Room", 2);
    save("ROOM", 20);
    EXPECT_EQ(kvGetPresetCount("Reverb"), 2);
    EXPECT_EQ(name(1), "ROOM");
    EXPECT_EQ(data(1), 20);
}

TEST_F(Presets, DeletingTheFirstMovesTheOthersDown) {
    save("Hall", 1);
    save("Room", 2);
    save("Plate", 3);
    ASSERT_EQ(kvDeletePreset("Reverb", 0), 0);
    EXPECT_EQ(kvGetPresetCount("Reverb"), 2);
    EXPECT_EQ(name(0), "Room");
    EXPECT_EQ(data(0), 2);
    EXPECT_EQ(name(1), "Plate");
    EXPECT_EQ(data(1), 3);
    EXPECT_EQ(name(2), "<missing>");
    EXPECT_EQ(data(2), -1);
}

TEST_F(Presets, DeletingPastTheEndChangesNothing) {
    save("Hall", 1);
    EXPECT_EQ(kvDeletePreset("Reverb", 1), -1);
    EXPECT_EQ(kvDeletePreset("Reverb", -1), -1);
    EXPECT_EQ(kvGetPresetCount("Reverb"), 1);
    EXPECT_EQ(name(0), "Hall");
}

TEST_F(Presets, ShorterStoredDataZeroFillsTheRecord) {
    int16_t small = 7;
    kvSavePreset("Grown", "Old", &small, sizeof small);
    unsigned char record[16];
    std::memset(record, 0xEE, sizeof record);
    EXPECT_EQ(kvLoadPreset("Grown", 0, record, sizeof record), 2);
    EXPECT_EQ(record[0], 7);
    for (int i = 2; i < 16; i++)
        EXPECT_EQ(record[i], 0) << i;
}

TEST_F(Presets, LongNamesAndLargeBlocksSurviveADelete) {
    std::string longName(100, 'x');
    std::string longerName = longName + "y";
    std::vector<char> block(3000, 'b');
    kvSavePreset("Big", "first", "1", 1);
    kvSavePreset("Big", longName.c_str(), block.data(), 3000);
    kvSavePreset("Big", longerName.c_str(), "2", 1);
    EXPECT_EQ(kvIsNameTaken("Big", longerName.c_str()), 2);
    ASSERT_EQ(kvDeletePreset("Big", 0), 0);
    std::vector<char> loaded(3000);
    EXPECT_EQ(kvLoadPreset("Big", 0, loaded.data(), 3000), 3000);
    EXPECT_EQ(loaded, block);
    EXPECT_EQ(kvIsNameTaken("Big", longName.c_str()), 0);
    EXPECT_EQ(kvIsNameTaken("Big", longerName.c_str()), 1);
}
