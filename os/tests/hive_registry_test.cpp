#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "os/posix/hive_format.h"
#include "os/posix/hive_registry.h"
#include "os/testing/generated_hive.h"
#include "os/testing/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using os::posix::HiveRegistry;

class HiveRegistryTest : public testing::Test {
protected:
    // Readable by others, as the hive's directory is.
    void SetUp() override { fs::permissions(dir_, fs::perms(0755)); }

    std::string HivePath() const { return (dir_ / "HKEY_LOCAL_MACHINE.reg").string(); }

    std::string ReadHive() const {
        std::ifstream in(HivePath(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    void WriteHive(const std::string& text) const { std::ofstream(HivePath(), std::ios::binary) << text; }

    static long SetDword(os::Registry& r, const std::string& path, const std::string& name, std::uint32_t v) {
        os::RegKey key = 0;
        if (const long e = r.CreateKey(os::HkeyLocalMachine, path, os::KeyAllAccess, key)) return e;
        const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                       static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
        const long e = r.SetValue(key, name, os::RegDword, bytes, 4);
        r.CloseKey(key);
        return e;
    }

    // Runs `body` in a child process and gives its exit status; the child never returns into the tests.
    static int InChild(const std::function<int()>& body) {
        const pid_t pid = fork();
        if (pid == 0) {
            int code = 253;
            try {
                code = body();
            } catch (...) {
            }
            _exit(code);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
    }

    // In a child that is not root (root passes every permission check), so file modes take effect.
    static int AsUnprivileged(const std::function<int()>& body) {
        const bool root = geteuid() == 0;
        return InChild([&] {
            if (root && (setgid(65534) != 0 || setuid(65534) != 0)) return 254;
            return body();
        });
    }

    const os::testing::ScratchDir scratch_;
    const fs::path dir_{scratch_.Path()};
};

TEST_F(HiveRegistryTest, CreatesKeyWithParentsInANewHive) {
    HiveRegistry registry(dir_.string());
    os::RegKey key = 0;
    ASSERT_EQ(registry.CreateKey(os::HkeyLocalMachine, "\\Software\\Qor\\Corvix\\TcpIp", os::KeyQueryValue, key), 0);
    const auto hive = os::posix::ParseHive(ReadHive());
    ASSERT_TRUE(hive);
    ASSERT_EQ(hive->keys.size(), 4u);
    EXPECT_EQ(hive->keys[0].path, "Software");
    EXPECT_EQ(hive->keys[3].path, "Software\\Qor\\Corvix\\TcpIp");
    EXPECT_EQ(fs::status(HivePath()).permissions(), fs::perms(0644));
    EXPECT_EQ(registry.CloseKey(key), 0);
    EXPECT_EQ(registry.CloseKey(key), os::ErrorInvalidHandle);
}

TEST_F(HiveRegistryTest, OpenKeyNeverCreatesAnything) {
    HiveRegistry registry(dir_.string());
    os::RegKey key = 0;
    EXPECT_EQ(registry.OpenKey(os::HkeyLocalMachine, "\\Software\\Qor", os::KeyQueryValue, key), os::ErrorFileNotFound);
    EXPECT_FALSE(fs::exists(HivePath()));
    ASSERT_EQ(SetDword(registry, "Software\\Qor", "Port", 234), 0);
    const auto written = fs::last_write_time(HivePath());
    EXPECT_EQ(registry.OpenKey(os::HkeyLocalMachine, "Software\\Qor\\Corvix", os::KeyQueryValue, key),
              os::ErrorFileNotFound);
    ASSERT_EQ(registry.OpenKey(os::HkeyLocalMachine, "\\Software\\Qor", os::KeyQueryValue, key), 0);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(registry.QueryValue(key, "Port", &type, nullptr, &size), 0);
    EXPECT_EQ(type, os::RegDword);
    EXPECT_EQ(registry.CloseKey(key), 0);
    EXPECT_EQ(fs::last_write_time(HivePath()), written);
}

TEST_F(HiveRegistryTest, SaveKeepsOtherProgramsAndChangesOnlyWhatItSets) {
    WriteHive(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Vendor]\r\n\"Blob\"=hex:de,ad,be,ef\r\n"
        "\"Path\"=\"C:\\\\Vendor\"\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Qor\\Corvix\\TcpIp]\r\n"
        "\"HostPort\"=dword:000004d2\r\n");
    HiveRegistry registry(dir_.string());
    ASSERT_EQ(SetDword(registry, "\\software\\qor\\corvix\\tcpip", "hostport", 234), 0);
    // Only the value changed: no sections added for the implied parents, names keep their case.
    EXPECT_EQ(ReadHive(),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Vendor]\r\n\"Blob\"=hex:de,ad,be,ef\r\n"
              "\"Path\"=\"C:\\\\Vendor\"\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Qor\\Corvix\\TcpIp]\r\n"
              "\"HostPort\"=dword:000000ea\r\n\r\n");
    // A key implied by a deeper one opens without being created.
    os::RegKey key = 0;
    ASSERT_EQ(registry.CreateKey(os::HkeyLocalMachine, "Software\\Qor", os::KeyQueryValue, key), 0);
    EXPECT_EQ(ReadHive().find("[HKEY_LOCAL_MACHINE\\Software\\Qor]"), std::string::npos);
}

TEST_F(HiveRegistryTest, AccentedNamesIgnoreCaseAndKeepTheirSpelling) {
    WriteHive("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\CAF\xC9]\r\n\"NA\xCFVE\"=dword:00000001\r\n");
    HiveRegistry registry(dir_.string());
    os::RegKey key = 0;
    ASSERT_EQ(registry.CreateKey(os::HkeyLocalMachine, "\\Software\\caf\xE9", os::KeyAllAccess, key), 0);
    std::uint32_t type = 0, size = 0;
    EXPECT_EQ(registry.QueryValue(key, "na\xEFve", &type, nullptr, &size), 0);
    const std::uint8_t two[4] = {2, 0, 0, 0};
    ASSERT_EQ(registry.SetValue(key, "na\xEFve", os::RegDword, two, 4), 0);
    EXPECT_EQ(ReadHive(),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\CAF\xC9]\r\n\"NA\xCFVE\"=dword:00000002\r\n\r\n");
}

// The hive as the suite's programs share it: many keys of others, this tool's among them.
TEST_F(HiveRegistryTest, AHiveOfThirtyThousandKeysIsReadAndSavedWithTheKeyGivenInAnotherCase) {
    const std::string generated = os::testing::GeneratedHive(30000);
    WriteHive(generated);
    HiveRegistry registry(dir_.string());
    os::RegKey key = 0;
    ASSERT_EQ(registry.OpenKey(os::HkeyLocalMachine, "\\SOFTWARE\\qor\\CORVIX\\tcpip", os::KeyAllAccess, key), 0);
    char name[16] = {};
    std::uint32_t type = 0, size = sizeof name;
    ASSERT_EQ(registry.QueryValue(key, "hostNAME", &type, reinterpret_cast<std::uint8_t*>(name), &size), 0);
    EXPECT_EQ(type, os::RegSz);
    EXPECT_EQ(std::string(name, size), std::string("127.0.0.1", 10));
    const std::uint8_t port[4] = {0xD2, 0x04, 0, 0};
    ASSERT_EQ(registry.SetValue(key, "HOSTPORT", os::RegDword, port, 4), 0);
    EXPECT_EQ(registry.CloseKey(key), 0);
    // Only that value changed: every other key and value in its place, with its spelling.
    std::string expected = generated;
    const std::size_t at = expected.rfind("\"HostPort\"=dword:000000ea");
    ASSERT_NE(at, std::string::npos);
    expected.replace(at, 25, "\"HostPort\"=dword:000004d2");
    EXPECT_EQ(ReadHive(), expected);
}

TEST_F(HiveRegistryTest, ASetThatChangesNothingLeavesTheFileAlone) {
    HiveRegistry registry(dir_.string());
    ASSERT_EQ(SetDword(registry, "Software\\Qor", "Port", 234), 0);
    struct stat first {};
    stat(HivePath().c_str(), &first);
    ASSERT_EQ(SetDword(registry, "Software\\Qor", "Port", 234), 0);
    struct stat second {};
    stat(HivePath().c_str(), &second);
    EXPECT_EQ(first.st_ino, second.st_ino);
    ASSERT_EQ(SetDword(registry, "Software\\Qor", "Port", 235), 0);
    stat(HivePath().c_str(), &second);
    EXPECT_NE(first.st_ino, second.st_ino);
}

TEST_F(HiveRegistryTest, ANameWithALineFeedIsRefusedAndTheHiveStaysReadable) {
    HiveRegistry registry(dir_.string());
    ASSERT_EQ(SetDword(registry, "Software\\Vendor", "Kept", 1), 0);
    const std::string before = ReadHive();
    EXPECT_EQ(SetDword(registry, "Software\\Vendor", "Two\nLines", 2), os::ErrorInvalidParameter);
    EXPECT_EQ(SetDword(registry, "Software\\Two\nLines", "Port", 2), os::ErrorInvalidParameter);
    EXPECT_EQ(ReadHive(), before);
    // A carriage return stays inside its line, so such names are kept.
    ASSERT_EQ(SetDword(registry, "Software\\Carriage\rReturn", "Carriage\rReturn", 3), 0);
    const auto hive = os::posix::ParseHive(ReadHive());
    ASSERT_TRUE(hive);
    EXPECT_EQ(hive->keys.back().path, "Software\\Carriage\rReturn");
    EXPECT_EQ(hive->keys.back().values.at(0).name, "Carriage\rReturn");
}

TEST_F(HiveRegistryTest, DamagedHiveIsNeverOpenedNorOverwritten) {
    const std::string damaged = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\Qor]\r\n\"HostPort\"=dword:zz\r\n";
    WriteHive(damaged);
    HiveRegistry registry(dir_.string());
    os::RegKey key = 0;
    EXPECT_EQ(registry.CreateKey(os::HkeyLocalMachine, "Software\\Qor", os::KeyQueryValue, key), os::ErrorBadDb);
    EXPECT_EQ(registry.CreateKey(os::HkeyLocalMachine, "Software\\New", os::KeyAllAccess, key), os::ErrorBadDb);
    EXPECT_EQ(ReadHive(), damaged);
}

TEST_F(HiveRegistryTest, KeepsTheHiveModeOnSave) {
    HiveRegistry registry(dir_.string());
    ASSERT_EQ(SetDword(registry, "Software\\Qor", "A", 1), 0);
    fs::permissions(HivePath(), fs::perms(0640));
    ASSERT_EQ(SetDword(registry, "Software\\Qor", "A", 2), 0);
    EXPECT_EQ(fs::status(HivePath()).permissions(), fs::perms(0640));
}

TEST_F(HiveRegistryTest, FileModesDecideAccess) {
    {
        HiveRegistry registry(dir_.string());
        ASSERT_EQ(SetDword(registry, "Software\\Qor", "A", 1), 0);
    }
    // Readable by all, writable by the owner (root, or this user) only.
    if (geteuid() != 0) fs::permissions(HivePath(), fs::perms(0444));
    const int readOnly = AsUnprivileged([&] {
        HiveRegistry registry(dir_.string());
        os::RegKey key = 0;
        if (registry.CreateKey(os::HkeyLocalMachine, "Software\\Qor", os::KeyQueryValue, key) != 0) return 1;
        if (registry.CreateKey(os::HkeyLocalMachine, "Software\\Qor", os::KeyAllAccess, key) != 5) return 2;
        if (registry.CreateKey(os::HkeyLocalMachine, "Software\\Missing", os::KeyQueryValue, key) != 5) return 3;
        return 0;
    });
    EXPECT_EQ(readOnly, 0);
    fs::permissions(HivePath(), fs::perms(0600));
    const int unreadable = AsUnprivileged([&] {
        HiveRegistry registry(dir_.string());
        os::RegKey key = 0;
        return registry.CreateKey(os::HkeyLocalMachine, "Software\\Qor", os::KeyQueryValue, key) == 5 ? 0 : 1;
    });
    if (geteuid() == 0) {
        EXPECT_EQ(unreadable, 0);
    }
}

TEST_F(HiveRegistryTest, ConcurrentWritersLoseNothing) {
    constexpr int Writers = 8;
    constexpr int Saves = 200;
    std::vector<pid_t> children;
    for (int w = 0; w < Writers; ++w) {
        const pid_t pid = fork();
        if (pid == 0) {
            HiveRegistry registry(dir_.string());
            for (int r = 1; r <= Saves; ++r) {
                if (SetDword(registry, "Software\\Qor", "Writer" + std::to_string(w), r) != 0) _exit(1);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    int failedWriters = 0;
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        failedWriters += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
    }
    EXPECT_EQ(failedWriters, 0);
    HiveRegistry registry(dir_.string());
    os::RegKey key = 0;
    ASSERT_EQ(registry.CreateKey(os::HkeyLocalMachine, "Software\\Qor", os::KeyQueryValue, key), 0);
    int lost = 0;
    for (int w = 0; w < Writers; ++w) {
        std::uint8_t data[4] = {};
        std::uint32_t size = 4, type = 0;
        const long read = registry.QueryValue(key, "Writer" + std::to_string(w), &type, data, &size);
        const std::uint32_t last = data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
        lost += read == 0 && last == Saves ? 0 : 1;
    }
    std::printf("counts: hive: %d writers x %d saves, %d failed writers, %d last values lost\n", Writers, Saves,
                failedWriters, lost);
    EXPECT_EQ(lost, 0);
}

// A writer saves a large value and then the number of that save, over and over, until it is killed at a
// random moment. The hive must parse every time, hold the old or the new values, and keep the others.
TEST_F(HiveRegistryTest, WriterKilledMidSaveLeavesAWholeHive) {
    constexpr int Runs = 100;
    HiveRegistry registry(dir_.string());
    ASSERT_EQ(SetDword(registry, "Software\\Keep", "Value", 7), 0);
    // Kills land anywhere from half a save to a few saves in, however long a save takes on this build.
    const auto started = std::chrono::steady_clock::now();
    for (std::uint32_t i = 0; i < 3; ++i) {
        os::RegKey timing = 0;
        ASSERT_EQ(registry.CreateKey(os::HkeyLocalMachine, "Software\\Timing", os::KeyAllAccess, timing), 0);
        const std::vector<std::uint8_t> blob(20000, static_cast<std::uint8_t>(i));
        ASSERT_EQ(registry.SetValue(timing, "Blob", os::RegBinary, blob.data(), 20000), 0);
        registry.CloseKey(timing);
    }
    const auto saveTime =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started) / 3;
    std::mt19937 random(20261208);
    int whole = 0, oldOrNew = 0, othersKept = 0;
    std::uint32_t saves = 0;
    for (int run = 0; run < Runs; ++run) {
        const pid_t pid = fork();
        if (pid == 0) {
            HiveRegistry writer(dir_.string());
            os::RegKey key = 0;
            writer.CreateKey(os::HkeyLocalMachine, "Software\\Busy", os::KeyAllAccess, key);
            std::vector<std::uint8_t> blob(20000);
            for (std::uint32_t i = saves + 1;; ++i) {
                std::fill(blob.begin(), blob.end(), static_cast<std::uint8_t>(i));
                writer.SetValue(key, "Blob", os::RegBinary, blob.data(), static_cast<std::uint32_t>(blob.size()));
                SetDword(writer, "Software\\Busy", "Save", i);
            }
        }
        const auto wait = std::uniform_int_distribution<long>(saveTime.count() / 2, saveTime.count() * 4)(random);
        usleep(static_cast<useconds_t>(wait));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        auto hive = os::posix::ParseHive(ReadHive());
        if (!hive) continue;
        ++whole;
        auto* keep = os::posix::FindKey(*hive, "Software\\Keep");
        const auto* kept = keep ? os::posix::FindValue(*keep, "Value") : nullptr;
        othersKept += kept && kept->data == std::vector<std::uint8_t>{7, 0, 0, 0} ? 1 : 0;
        auto* busy = os::posix::FindKey(*hive, "Software\\Busy");
        const auto* blob = busy ? os::posix::FindValue(*busy, "Blob") : nullptr;
        const auto* save = busy ? os::posix::FindValue(*busy, "Save") : nullptr;
        if (!blob) {
            // Killed before its first save: nothing of it may be there at all.
            oldOrNew += save ? 0 : 1;
            continue;
        }
        // No number yet: the first blob is there and the first number is not.
        const std::uint32_t last = !save ? 0
                                   : save->data.size() == 4
                                       ? save->data[0] | save->data[1] << 8 | save->data[2] << 16 | save->data[3] << 24
                                       : 0xFFFFFFFF;
        const bool uniform =
            blob->data.size() == 20000 &&
            std::all_of(blob->data.begin(), blob->data.end(), [&](std::uint8_t b) { return b == blob->data.front(); });
        // The blob of save n is written before the number n: it shows n, or already n + 1.
        const auto expected = static_cast<std::uint8_t>(last);
        oldOrNew +=
            uniform && (blob->data.front() == expected || blob->data.front() == static_cast<std::uint8_t>(expected + 1))
                ? 1
                : 0;
        saves = std::max(saves, last);
    }
    std::printf(
        "counts: hive: %d writers killed mid-save, %d hives whole, %d with old or new values, %d with the "
        "other keys intact (%u saves in all)\n",
        Runs, whole, oldOrNew, othersKept, saves);
    EXPECT_EQ(whole, Runs);
    EXPECT_EQ(oldOrNew, Runs);
    EXPECT_EQ(othersKept, Runs);
    // The lock died with its holder: a new writer gets in at once.
    EXPECT_EQ(SetDword(registry, "Software\\Keep", "Value", 8), 0);
}

}  // namespace
