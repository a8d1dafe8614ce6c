/*
 * Registry store semantics: zero-filled tails, size limits, string values,
 * case-insensitive names, separate roots, concurrent writers and a damaged
 * database file.
 */
#include "engine/platform/store.h"
#include "tests/support/test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

class RegistryStore : public KvSandbox {
  protected:
    void TearDown() override {
        kvStoreClose();
        KvSandbox::TearDown();
    }
};

TEST_F(RegistryStore, ShortValueFillsTheRestOfTheBufferWithZeros) {
    const char stored[4] = {1, 2, 3, 4};
    ASSERT_EQ(kvSetReg("Settings", "Small", stored, 4), 0);
    unsigned char buffer[16];
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(kvGetReg("Settings", "Small", buffer, sizeof buffer), 4);
    EXPECT_EQ(std::memcmp(buffer, stored, 4), 0);
    for (int i = 4; i < 16; i++)
        EXPECT_EQ(buffer[i], 0) << "byte " << i;
}

TEST_F(RegistryStore, EmptyValueReadsAsZeroBytesAndZeroFillsTheBuffer) {
    ASSERT_EQ(kvSetReg("Settings", "Empty", nullptr, 0), 0);
    unsigned char buffer[8];
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(kvGetReg("Settings", "Empty", buffer, sizeof buffer), 0);
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(buffer[i], 0) << "byte " << i;
}

TEST_F(RegistryStore, ValueLongerThanTheBufferIsRefusedAndBufferUntouched) {
    std::vector<char> stored(32, 7);
    ASSERT_EQ(kvSetReg("Settings", "Big", stored.data(), 32), 0);
    char buffer[16];
    std::memset(buffer, 0x55, sizeof buffer);
    EXPECT_EQ(kvGetReg("Settings", "Big", buffer, sizeof buffer), -1);
    EXPECT_EQ(buffer[0], 0x55);
}

TEST_F(RegistryStore, MissingKeyOrValueGivesMinusOne) {
    char buffer[8];
    EXPECT_EQ(kvGetReg("Nowhere", "Options", buffer, 8), -1);
    ASSERT_EQ(kvSetReg("Settings", "Present", "x", 1), 0);
    EXPECT_EQ(kvGetReg("Settings", "Absent", buffer, 8), -1);
}

TEST_F(RegistryStore, RewritingAValueReplacesItsSize) {
    ASSERT_EQ(kvSetReg("Settings", "Grows", "abcdef", 6), 0);
    ASSERT_EQ(kvSetReg("Settings", "Grows", "xy", 2), 0);
    char buffer[8];
    EXPECT_EQ(kvGetReg("Settings", "Grows", buffer, 8), 2);
    EXPECT_EQ(std::string(buffer), "xy");
}

TEST_F(RegistryStore, KeysAndValueNamesIgnoreCase) {
    ASSERT_EQ(kvSetReg("Settings", "Options", "abc", 3), 0);
    char buffer[8];
    EXPECT_EQ(kvGetReg("SETTINGS", "options", buffer, 8), 3);
}

TEST_F(RegistryStore, DeleteRemovesOnlyThatValue) {
    ASSERT_EQ(kvSetReg("Presets\\Reverb", "Hall", "1", 1), 0);
    ASSERT_EQ(kvSetReg("Presets\\Reverb", "Room", "2", 1), 0);
    EXPECT_EQ(kvDeleteReg("Presets\\Reverb", "Hall"), 0);
    char buffer[4];
    EXPECT_EQ(kvGetReg("Presets\\Reverb", "Hall", buffer, 4), -1);
    EXPECT_EQ(kvGetReg("Presets\\Reverb", "Room", buffer, 4), 1);
    EXPECT_EQ(kvDeleteReg("Presets\\Reverb", "Hall"), -1);
}

TEST_F(RegistryStore, StringValuesDistinguishMissingKeyFromMissingValue) {
    const char *key = "Software\\Tervalin\\Korvel\\Install";
    char buffer[32];
    EXPECT_EQ(kvGetRegString(KV_HKEY_LOCAL_MACHINE, key, "Install Path", buffer, 32), -1);
    ASSERT_EQ(kvSetRegString(KV_HKEY_LOCAL_MACHINE, key, "Install Path", "/opt/korvel", 0), 0);
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(kvGetRegString(KV_HKEY_LOCAL_MACHINE, key, "Install Path", buffer, 32), 11);
    EXPECT_STREQ(buffer, "/opt/korvel");
    EXPECT_EQ(buffer[31], 0);
    EXPECT_EQ(kvGetRegString(KV_HKEY_LOCAL_MACHINE, key, "First Run", buffer, 32), -2);
    EXPECT_EQ(kvGetRegString(KV_HKEY_LOCAL_MACHINE, key, "Install Path", buffer, 4), -2);
}

TEST_F(RegistryStore, ExplicitLengthWritesExactlyThatManyBytes) {
    const char *key = "Software\\Test";
    ASSERT_EQ(kvSetRegString(KV_HKEY_CURRENT_USER, key, "Part", "abcdef", 3), 0);
    char buffer[8];
    EXPECT_EQ(kvGetRegString(KV_HKEY_CURRENT_USER, key, "Part", buffer, 8), 3);
    EXPECT_STREQ(buffer, "abc");
}

TEST_F(RegistryStore, RootsAreSeparateNamespaces) {
    const char *key = "Software\\Tervalin\\Korvel\\Settings";
    ASSERT_EQ(kvSetRegString(KV_HKEY_CURRENT_USER, key, "Options", "user", 0), 0);
    char buffer[8];
    EXPECT_EQ(kvGetReg("Settings", "Options", buffer, 8), -1);
    EXPECT_EQ(kvGetRegString(KV_HKEY_CURRENT_USER, key, "Options", buffer, 8), 4);
}

TEST_F(RegistryStore, CreatingAKeyCreatesItsParents) {
    ASSERT_EQ(kvSetReg("Presets\\Echo", "Slap", "1", 1), 0);
    EXPECT_EQ(kvStoreKeyExists(KV_HKEY_LOCAL_MACHINE, "Software\\Tervalin\\Korvel\\Presets"), 1);
    EXPECT_EQ(kvStoreSubkeys(KV_HKEY_LOCAL_MACHINE, "Software\\Tervalin\\Korvel\\Presets"),
              std::vector<std::string>{"Echo"});
}

TEST_F(RegistryStore, TwoProcessesWritingAtOnceLoseNothing) {
    kvStoreClose();
    const int perWriter = 60;
    pid_t writers[2];
    for (int w = 0; w < 2; w++) {
        writers[w] = fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] == 0) {
            int failures = 0;
            for (int i = 0; i < perWriter; i++) {
                std::string name = "w" + std::to_string(w) + "-" + std::to_string(i);
                failures += kvSetReg("Concurrent", name.c_str(), &i, sizeof i) != 0;
            }
            _exit(failures == 0 ? 0 : 1);
        }
    }
    for (pid_t writer : writers) {
        int status = 0;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int w = 0; w < 2; w++) {
        for (int i = 0; i < perWriter; i++) {
            std::string name = "w" + std::to_string(w) + "-" + std::to_string(i);
            int value = -1;
            ASSERT_EQ(kvGetReg("Concurrent", name.c_str(), &value, sizeof value), 4) << name;
            EXPECT_EQ(value, i);
        }
    }
}

TEST_F(RegistryStore, DamagedDatabaseReadsAsEmptyAndIsSetAsideOnWrite) {
    mkdir(configFolder.c_str(), 0700);
    std::string file = configFolder + "/registry.sqlite3";
    kvTestWriteFile(file, std::string(4096, 'G'));
    char buffer[8];
    EXPECT_EQ(kvGetReg("Settings", "Options", buffer, 8), -1);
    EXPECT_EQ(kvSetReg("Settings", "Options", "ok", 2), 0);
    EXPECT_EQ(kvGetReg("Settings", "Options", buffer, 8), 2);
    EXPECT_EQ(kvTestReadFile(file + ".bad"), std::string(4096, 'G'));
}
