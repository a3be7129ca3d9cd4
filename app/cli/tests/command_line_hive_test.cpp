// The command line on the POSIX registry's own hive file: what only reads leaves the file alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "app/cli/command_line.h"
#include "os/fakes/fake_console.h"
#include "os/fakes/fake_sockets.h"
#include "os/fakes/fake_system.h"
#include "os/fakes/fake_system_log.h"
#include "os/posix/hive_registry.h"

namespace {

namespace fs = std::filesystem;

class CommandLineHive : public testing::Test {
protected:
    void SetUp() override {
        corvix::StartRegistryRootB();
        std::random_device random;
        // create_directory fails on a name that exists: the directory is this test's own.
        do {
            dir_ = fs::temp_directory_path() / ("corvix-cli-" + std::to_string(random()));
        } while (!fs::create_directory(dir_));
        registry_ = std::make_unique<os::posix::HiveRegistry>(dir_.string());
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string HiveBytes() const {
        std::ifstream in(registry_->HivePath(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    int Run(const std::vector<std::string>& arguments) {
        corvix::cli::Services services{*registry_, sockets_, system_, console_, systemLog_};
        return corvix::cli::RunCommandLine("corvix-tcpip-cli", arguments, services);
    }

    fs::path dir_;
    std::unique_ptr<os::posix::HiveRegistry> registry_;
    os::fakes::FakeSockets sockets_;
    os::fakes::FakeSystem system_;
    os::fakes::FakeSystemLog systemLog_;
    os::fakes::FakeConsole console_;
};

TEST_F(CommandLineHive, ShowAndTestLeaveTheHiveByteForByteAndUntouched) {
    ASSERT_EQ(Run({"set-host", "srv"}), 0);
    const std::string before = HiveBytes();
    ASSERT_NE(before.find("\"HostName\"=\"srv\""), std::string::npos) << before;
    const auto written = fs::last_write_time(registry_->HivePath());
    EXPECT_EQ(Run({"show"}), 0);
    EXPECT_EQ(Run({"show", "--json"}), 0);
    EXPECT_EQ(Run({"test"}), corvix::cli::ExitLookupFailed);  // the fake resolver knows no "srv"
    EXPECT_EQ(Run({"check", "-H", "elsewhere"}), corvix::cli::CheckCritical);
    EXPECT_EQ(HiveBytes(), before);
    EXPECT_EQ(fs::last_write_time(registry_->HivePath()), written);
}

TEST_F(CommandLineHive, ShowOnAMachineWithoutTheKeyCreatesNothing) {
    EXPECT_EQ(Run({"show"}), 0);
    EXPECT_NE(console_.out.find("  Host Name:            127.0.0.1\n  Port Nr:              234\n"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
