#include "app/cli/command_line.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <thread>

#include "app/connection_test.h"
#include "app/report.h"
#include "os/errors.h"
#include "os/fakes/fake_console.h"
#include "os/fakes/fake_registry.h"
#include "os/fakes/fake_sockets.h"
#include "os/fakes/fake_system.h"
#include "os/fakes/fake_system_log.h"
#include "os/testing/loopback_listener.h"
#include "os/testing/scratch_dir.h"
#include "os/testing/scratch_registry.h"

namespace {

using corvix::cli::RunCommandLine;
using nlohmann::json;

const std::string Program = "corvix-tcpip-cli";

std::vector<std::uint8_t> Sz(std::string_view s) {
    std::vector<std::uint8_t> v(s.begin(), s.end());
    v.push_back(0);
    return v;
}

// The program run in-process on a scratch registry and the real sockets, never beyond 127.0.0.0/8.
class CommandLine : public testing::Test {
protected:
    void SetUp() override {
        corvix::StartRegistryRootB();
        system_.local = os::fakes::At(2026, 3, 7, 9, 5, 2);
    }

    int Run(std::vector<std::string> arguments) {
        console_ = {};
        return RunCommandLine(Program, arguments, services_);
    }

    void Store(const std::string& name, std::uint32_t type, const std::vector<std::uint8_t>& bytes) {
        os::RegKey key = 0;
        ASSERT_EQ(
            scratch_.Get().CreateKey(os::HkeyLocalMachine, std::string(corvix::SettingsKeyPath), os::KeyAllAccess, key),
            0);
        ASSERT_EQ(scratch_.Get().SetValue(key, name, type, bytes.data(), static_cast<std::uint32_t>(bytes.size())), 0);
        scratch_.Get().CloseKey(key);
    }

    // The stored value's bytes; nothing when the key or the value is missing.
    std::optional<std::vector<std::uint8_t>> Stored(const std::string& name) {
        os::RegKey key = 0;
        if (scratch_.Get().OpenKey(os::HkeyLocalMachine, std::string(corvix::SettingsKeyPath), os::KeyQueryValue,
                                   key) != 0) {
            return std::nullopt;
        }
        std::uint32_t size = 64;
        std::vector<std::uint8_t> bytes(size);
        const long read = scratch_.Get().QueryValue(key, name, nullptr, bytes.data(), &size);
        scratch_.Get().CloseKey(key);
        if (read != 0) return std::nullopt;
        bytes.resize(size);
        return bytes;
    }

    json Json() const { return json::parse(console_.out); }

    os::testing::ScratchRegistry scratch_;
    os::fakes::FakeSystem system_;
    os::fakes::FakeSystemLog systemLog_;
    os::fakes::FakeConsole console_;
    corvix::cli::Services services_{scratch_.Get(), os::RealSockets(), system_, console_, systemLog_};
};

TEST_F(CommandLine, TestOfAClosedPortPrintsEachStepAndEndsWithTheRefusal) {
    os::testing::LoopbackListener listener;
    listener.Close();
    services_.serverPort = listener.Port();
    EXPECT_EQ(Run({"test", "127.0.0.1"}), corvix::cli::ExitConnectFailed);
    EXPECT_TRUE(
        std::regex_search(console_.out, std::regex("^Get host information: -  \\(\\d+\\.\\d{3} ms\\)\n"
                                                   "Open socket:          Ok  \\(\\d+\\.\\d{3} ms\\)\n"
                                                   "Connect:              10061:CONNREFUSED  \\(\\d+\\.\\d{3} ms\\)\n"
                                                   "\nTcp/Ip Configuration, version ")))
        << console_.out;
    EXPECT_NE(console_.out.find("\n  Connect:              10061:CONNREFUSED\n"), std::string::npos) << console_.out;
    EXPECT_NE(console_.out.find("\nCause\n  The host answered, but nothing listens on the port"), std::string::npos);
    EXPECT_EQ(console_.err, "");
    EXPECT_FALSE(Stored("HostName"));  // the host given is not stored, and no key was made
}

TEST_F(CommandLine, TestJsonOfAListenerThatAnswers) {
    os::testing::LoopbackListener listener;
    services_.serverPort = listener.Port();
    ASSERT_EQ(Run({"test", "--json", "127.0.0.1"}), corvix::cli::ExitOk);
    const json j = Json();
    EXPECT_EQ(j["exitCode"], 0);
    EXPECT_EQ(j["program"]["version"], std::string(corvix::ProgramVersion()));
    EXPECT_EQ(j["winsock"]["startup"]["result"], "Ok");
    EXPECT_TRUE(j["winsock"]["description"].is_string());
    EXPECT_EQ(j["settings"]["hostName"], "127.0.0.1");  // the defaults, as the window would store them
    EXPECT_EQ(j["settings"]["port"], 234);
    EXPECT_EQ(j["test"]["host"], "127.0.0.1");
    EXPECT_EQ(j["test"]["port"], listener.Port());
    EXPECT_TRUE(j["test"]["officialName"].is_null());  // a dotted address is not looked up
    EXPECT_EQ(j["test"]["address"], "127.0.0.1");
    const std::vector<std::string> names = {"lookup", "socket", "connect"};
    const std::vector<std::string> results = {"-", "Ok", "Ok"};
    ASSERT_EQ(j["test"]["steps"].size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const json& step = j["test"]["steps"][i];
        EXPECT_EQ(step["step"], names[i]);
        EXPECT_EQ(step["result"], results[i]);
        EXPECT_EQ(step["code"], 0);
        EXPECT_GE(step["elapsedMs"].get<int>(), 0);
    }
}

TEST_F(CommandLine, TestOfANameThatCannotExistFailsTheLookUp) {
    ASSERT_EQ(Run({"test", "--json", "no-such-host.invalid"}), corvix::cli::ExitLookupFailed);
    const json j = Json();
    const json& lookup = j["test"]["steps"][0];
    EXPECT_GE(lookup["code"].get<int>(), os::WsaHostNotFound);
    EXPECT_EQ(lookup["result"],
              std::to_string(lookup["code"].get<int>()) + ":" + lookup["result"].get<std::string>().substr(6));
    EXPECT_GE(lookup["elapsedMs"].get<int>(), 0);
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(j["test"]["steps"][i]["result"], "?");
        EXPECT_TRUE(j["test"]["steps"][i]["elapsedMs"].is_null());
    }
    EXPECT_TRUE(j["test"]["address"].is_null());
    EXPECT_EQ(j["exitCode"], corvix::cli::ExitLookupFailed);
}

TEST_F(CommandLine, TestWithoutAHostUsesTheStoredOne) {
    Store("HostName", os::RegSz, Sz("localhost"));
    os::testing::LoopbackListener listener;
    services_.serverPort = listener.Port();
    ASSERT_EQ(Run({"test", "--json"}), corvix::cli::ExitOk);
    EXPECT_EQ(Json()["test"]["host"], "localhost");
    EXPECT_EQ(Json()["test"]["steps"][0]["result"], "Ok");
    EXPECT_EQ(Json()["test"]["address"], "127.0.0.1");
}

TEST_F(CommandLine, CheckLinesInTheMonitoringConvention) {
    os::testing::LoopbackListener listener;
    services_.serverPort = listener.Port();
    const std::string port = std::to_string(listener.Port());
    EXPECT_EQ(Run({"check", "-H", "127.0.0.1"}), corvix::cli::CheckOk);
    EXPECT_TRUE(std::regex_match(console_.out, std::regex("CORVIX TCPIP OK - 127\\.0\\.0\\.1:" + port +
                                                          " connected in \\d+\\.\\d{3} ms \\| dns=\\d\\.\\d{6}s;;;0; "
                                                          "connect=\\d\\.\\d{6}s;;;0;10\n")))
        << console_.out;
    EXPECT_EQ(Run({"check", "-H", "127.0.0.1", "-w", "60", "-c", "120", "-t", "5"}), corvix::cli::CheckOk);
    EXPECT_TRUE(std::regex_search(console_.out, std::regex(" connect=\\d\\.\\d{6}s;60\\.000;120\\.000;0;5\n$")))
        << console_.out;
    EXPECT_EQ(Run({"check", "--hostname=127.0.0.1", "--warning=~:60", "--critical", "@60:", "--timeout=2.5"}),
              corvix::cli::CheckOk);
    EXPECT_TRUE(std::regex_search(console_.out, std::regex(" connect=\\d\\.\\d{6}s;~:60\\.000;@60\\.000:;0;2\\.5\n$")))
        << console_.out;

    listener.Close();
    EXPECT_EQ(Run({"check", "-H", "127.0.0.1"}), corvix::cli::CheckCritical);
    EXPECT_TRUE(std::regex_match(console_.out, std::regex("CORVIX TCPIP CRITICAL - connect to 127\\.0\\.0\\.1:" + port +
                                                          " failed: 10061:CONNREFUSED \\| dns=\\d\\.\\d{6}s;;;0; "
                                                          "connect=\\d\\.\\d{6}s;;;0;10\n")))
        << console_.out;
    EXPECT_EQ(Run({"check", "-H", "no-such-host.invalid", "-w", "1"}), corvix::cli::CheckCritical);
    EXPECT_TRUE(console_.out.starts_with("CORVIX TCPIP CRITICAL - lookup of no-such-host.invalid failed: 110"))
        << console_.out;
    EXPECT_TRUE(console_.out.ends_with(" connect=U;1.000;;0;10\n")) << console_.out;
    EXPECT_EQ(console_.err, "");
}

TEST_F(CommandLine, CheckUsageErrorsAreUnknownWithAShortUsage) {
    const std::string usage =
        "Usage: corvix-tcpip-cli check [-H HOST] [-w RANGE] [-c RANGE] [-t SECONDS] [-v]... [--textfile FILE] "
        "[-V] [-h]\n";
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"check", "-w", "soon"}, "bad range of seconds for -w: 'soon'"},
        {{"check", "--critical=10:5"}, "bad range of seconds for --critical: '10:5'"},
        {{"check", "-t", "0"}, "bad number of seconds for -t: '0'"},
        {{"check", "-t", "3601"}, "bad number of seconds for -t: '3601'"},
        {{"check", "-t"}, "-t needs a number of seconds"},
        {{"check", "-H", "a\nb"}, "bad host name 'a\\nb'"},
        {{"check", "--hostname="}, "bad host name ''"},
        {{"check", "127.0.0.1"}, "unexpected argument '127.0.0.1' (the host goes after -H)"},
        {{"check", "--warning", "5", "-x"}, "unknown option '-x' for check"},
        {{"check", "-vx"}, "unknown option '-vx' for check"},
        {{"check", "-VV"}, "unknown option '-VV' for check"},
        {{"check", "--verbose=2"}, "--verbose takes no value"},
        {{"check", "--textfile", ""}, "bad file name for --textfile: ''"},
    };
    for (const auto& [arguments, message] : rows) {
        EXPECT_EQ(Run(arguments), corvix::cli::CheckUnknown) << message;
        EXPECT_EQ(console_.out, "CORVIX TCPIP UNKNOWN - " + message + "\n" + usage);
        EXPECT_EQ(console_.err, "");
    }
}

TEST_F(CommandLine, CheckHelpAndVersionExitUnknown) {
    EXPECT_EQ(Run({"check", "-V"}), corvix::cli::CheckUnknown);
    EXPECT_EQ(console_.out, Program + " " + std::string(corvix::ProgramVersion()) + "\n");
    EXPECT_EQ(Run({"check", "--version"}), corvix::cli::CheckUnknown);
    EXPECT_EQ(Run({"check", "-h"}), corvix::cli::CheckUnknown);
    EXPECT_TRUE(console_.out.starts_with(Program + " check " + std::string(corvix::ProgramVersion()) + "\n"))
        << console_.out;
    for (const char* line : {"\nUsage: corvix-tcpip-cli check [-H HOST] [-w RANGE]", "\n -H, --hostname HOST\n",
                             "\n -w, --warning RANGE\n", "\n -t, --timeout SECONDS\n", "\n -v, --verbose\n",
                             "\n --textfile FILE\n", "0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN."}) {
        EXPECT_NE(console_.out.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(Run({"check", "--help"}), corvix::cli::CheckUnknown);
}

// The probe as the blackbox exporter reports it, in a file node_exporter reads whole or not at all.
TEST_F(CommandLine, CheckWritesTheTextfileForNodeExporter) {
    os::testing::LoopbackListener listener;
    services_.serverPort = listener.Port();
    const std::string port = std::to_string(listener.Port());
    os::testing::ScratchDir dir;
    const std::string file = dir / "corvix_tcpip.prom";
    const auto written = [&file] {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    const auto metrics = [&port](const std::string& success) {
        const std::string labels = "\\{host=\"127\\.0\\.0\\.1\",port=\"" + port + "\"\\}";
        return std::regex(
            "# HELP probe_success .*\n# TYPE probe_success gauge\nprobe_success" + labels + " " + success +
            "\n# HELP probe_duration_seconds .*\n# TYPE probe_duration_seconds gauge\nprobe_duration_seconds" + labels +
            " \\d\\.\\d{6}\n# HELP probe_dns_lookup_time_seconds .*\n# TYPE probe_dns_lookup_time_seconds gauge\n"
            "probe_dns_lookup_time_seconds" +
            labels + " \\d\\.\\d{6}\n");
    };
    EXPECT_EQ(Run({"check", "-H", "127.0.0.1", "--textfile", file}), corvix::cli::CheckOk);
    EXPECT_TRUE(std::regex_match(written(), metrics("1"))) << written();
    EXPECT_TRUE(console_.out.starts_with("CORVIX TCPIP OK - ")) << console_.out;
    // A warning is still a probe that succeeded.
    EXPECT_EQ(Run({"check", "-H", "127.0.0.1", "-w", "@0:", "--textfile", file}), corvix::cli::CheckWarning);
    EXPECT_TRUE(std::regex_match(written(), metrics("1"))) << written();
    listener.Close();
    EXPECT_EQ(Run({"check", "-H", "127.0.0.1", "--textfile", file}), corvix::cli::CheckCritical);
    EXPECT_TRUE(std::regex_match(written(), metrics("0"))) << written();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    // A file that cannot be written makes the result UNKNOWN, and says why.
    const std::string nowhere = (dir / "missing") + os::PathSeparator() + "corvix_tcpip.prom";
    EXPECT_EQ(Run({"check", "-H", "127.0.0.1", "--textfile", nowhere}), corvix::cli::CheckUnknown);
    EXPECT_TRUE(console_.out.starts_with("CORVIX TCPIP UNKNOWN - the textfile " + nowhere +
                                         " could not be written (error 3); connect to 127.0.0.1:" + port +
                                         " failed: 10061:CONNREFUSED | "))
        << console_.out;
}

TEST_F(CommandLine, ShowReadsOnlyAndPrintsTheReport) {
    Store("HostName", os::RegSz, Sz("caf\xE9"));
    Store("HostPort", os::RegDword, {0xD2, 0x04, 0, 0});  // 1234: the window would store 234 back
    ASSERT_EQ(Run({"show"}), corvix::cli::ExitOk);
    EXPECT_NE(console_.out.find("\n  Host Name:            caf\xC3\xA9\n  Port Nr:              234\n"),
              std::string::npos)
        << console_.out;
    EXPECT_TRUE(console_.out.starts_with("Tcp/Ip Configuration, version ")) << console_.out;
    EXPECT_NE(console_.out.find("Report made 2026-03-07 09:05:02\n"), std::string::npos);
    ASSERT_EQ(Run({"show", "--json"}), corvix::cli::ExitOk);
    const json j = Json();
    EXPECT_EQ(j["settings"]["hostName"], "caf\xC3\xA9");
    EXPECT_EQ(j["settings"]["port"], 234);
    EXPECT_EQ(j["system"]["os"].get<std::string>().empty(), false);
    EXPECT_FALSE(j.contains("test"));
    EXPECT_EQ(Stored("HostPort"), (std::vector<std::uint8_t>{0xD2, 0x04, 0, 0}));
}

TEST_F(CommandLine, SettingsOfTheWrongTypeAreReportedNotShown) {
    Store("HostName", os::RegDword, {1, 0, 0, 0});
    EXPECT_EQ(Run({"show"}), corvix::cli::ExitSettingsUnreadable);
    EXPECT_EQ(console_.out, "");
    EXPECT_EQ(console_.err, "corvix-tcpip-cli: Invalid data type for 'HostName'\n");
    EXPECT_EQ(Run({"check", "-H", "127.0.0.1"}), corvix::cli::CheckUnknown);
    EXPECT_EQ(console_.out, "CORVIX TCPIP UNKNOWN - Invalid data type for 'HostName'\n");
    // set-host mends it: it stores without reading first.
    EXPECT_EQ(Run({"set-host", "srv"}), corvix::cli::ExitOk);
    EXPECT_EQ(Stored("HostName"), Sz("srv"));
}

TEST_F(CommandLine, SetHostStoresTheHostAndPort234) {
    services_.serverPort = corvix::DefaultServerPort;
    ASSERT_EQ(Run({"set-host", "server.example"}), corvix::cli::ExitOk);
    EXPECT_EQ(console_.out, "Stored host name server.example, port 234.\n");
    EXPECT_EQ(Stored("HostName"), Sz("server.example"));
    EXPECT_EQ(Stored("HostPort"), (std::vector<std::uint8_t>{234, 0, 0, 0}));
    ASSERT_EQ(systemLog_.records.size(), 1u);
    EXPECT_EQ(systemLog_.records[0].text,
              "settings stored; user \"alice\"; program \"corvix-tcpip\"; "
              "host name \"127.0.0.1\" -> \"server.example\"; port 234");
}

TEST_F(CommandLine, Utf8ArgumentsAreStoredAndTestedInTheProgramsCodePage) {
    ASSERT_EQ(Run({"set-host",
                   "b\xC3\xBC"
                   "cher.example"}),
              corvix::cli::ExitOk);
    EXPECT_EQ(console_.out,
              "Stored host name b\xC3\xBC"
              "cher.example, port 234.\n");
    EXPECT_EQ(Stored("HostName"), Sz("b\xFC"
                                     "cher.example"));
    EXPECT_EQ(Run({"test",
                   "b\xC3\xBC"
                   "cher.invalid",
                   "--json"}),
              corvix::cli::ExitLookupFailed);
    EXPECT_EQ(Json()["test"]["host"],
              "b\xC3\xBC"
              "cher.invalid");
}

TEST_F(CommandLine, EveryJsonRunPrintsOneObjectFailuresIncluded) {
    Store("HostName", os::RegDword, {1, 0, 0, 0});
    for (const std::string verb : {"show", "test"}) {
        EXPECT_EQ(Run({verb, "--json"}), corvix::cli::ExitSettingsUnreadable);
        const json j = Json();
        EXPECT_EQ(j["exitCode"], corvix::cli::ExitSettingsUnreadable);
        EXPECT_EQ(j["error"], "Invalid data type for 'HostName'");
        EXPECT_FALSE(j.contains("test"));
    }
    EXPECT_EQ(Run({"test", "--json", "a", "b"}), corvix::cli::ExitUsage);
    EXPECT_EQ(Json()["error"], "unexpected argument 'b'");
}

TEST(CommandLineStore, SettingsThatCannotBeReadAreNeverTestedAsAnEmptyHost) {
    corvix::StartRegistryRootB();
    os::fakes::FakeRegistry registry;
    registry.denyAll = true;
    os::fakes::FakeSockets sockets;
    os::fakes::FakeSystem system;
    os::fakes::FakeConsole console;
    os::fakes::FakeSystemLog systemLog;
    corvix::cli::Services services{registry, sockets, system, console, systemLog};
    const std::string why =
        "The stored settings cannot be read: the registry key "
        "HKEY_LOCAL_MACHINE\\Software\\Qor\\Corvix\\TcpIp cannot be opened (access denied)";
    EXPECT_EQ(RunCommandLine(Program, {"show"}, services), corvix::cli::ExitSettingsUnreadable);
    EXPECT_EQ(console.err, Program + ": " + why + "\n");
    EXPECT_NE(console.out.find("  Host Name:            \n  Port Nr:              0  Def: 234\n"), std::string::npos)
        << console.out;  // what the window shows
    console = {};
    EXPECT_EQ(RunCommandLine(Program, {"test"}, services), corvix::cli::ExitSettingsUnreadable);
    EXPECT_EQ(RunCommandLine(Program, {"check"}, services), corvix::cli::CheckUnknown);
    EXPECT_TRUE(console.out.ends_with("CORVIX TCPIP UNKNOWN - " + why + "\n")) << console.out;
    // A textfile asked for says the probe failed, rather than keep an older success.
    os::testing::ScratchDir dir;
    console = {};
    EXPECT_EQ(RunCommandLine(Program, {"check", "--textfile", dir / "c.prom"}, services), corvix::cli::CheckUnknown);
    EXPECT_EQ(console.out, "CORVIX TCPIP UNKNOWN - " + why + "\n");
    std::ifstream in(dir / "c.prom", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("\nprobe_success{host=\"\",port=\"234\"} 0\n"), std::string::npos) << text.str();
    EXPECT_TRUE(sockets.lookups.empty());
    EXPECT_TRUE(sockets.connects.empty());
    // A host of its own needs no settings.
    EXPECT_EQ(RunCommandLine(Program, {"check", "-H", "elsewhere"}, services), corvix::cli::CheckCritical);
    EXPECT_EQ(sockets.lookups, std::vector<std::string>{"elsewhere"});
}

TEST(CommandLineStore, AnOutputThatCannotBeWrittenNeverCountsAsSuccess) {
    corvix::StartRegistryRootB();
    os::fakes::FakeRegistry registry;
    os::fakes::FakeSockets sockets;
    os::fakes::FakeSystem system;
    os::fakes::FakeConsole console;
    console.outError = os::ErrorDiskFull;
    os::fakes::FakeSystemLog systemLog;
    corvix::cli::Services services{registry, sockets, system, console, systemLog};
    const std::pair<std::vector<std::string>, int> rows[] = {
        {{"show"}, corvix::cli::ExitOutputFailed},           {{"show", "--json"}, corvix::cli::ExitOutputFailed},
        {{"--version"}, corvix::cli::ExitOutputFailed},      {{"set-host", "srv"}, corvix::cli::ExitOutputFailed},
        {{"check", "-H", "elsewhere"}, corvix::cli::CheckUnknown},
    };
    for (const auto& [arguments, exitCode] : rows) {
        console.err.clear();
        EXPECT_EQ(RunCommandLine(Program, arguments, services), exitCode) << arguments[0];
        EXPECT_EQ(console.err, Program + ": the output could not be written (error 112)\n") << arguments[0];
    }
}

TEST(CommandLineStore, SetHostThatCannotStoreSaysWhyAndExits5) {
    corvix::StartRegistryRootB();
    os::fakes::FakeSockets sockets;
    os::fakes::FakeSystem system;
    os::fakes::FakeSystemLog systemLog;
    os::fakes::FakeConsole console;
    for (const bool denied : {true, false}) {
        os::fakes::FakeRegistry registry;
        registry.denyWrite = denied;
        registry.failSet = !denied;
        corvix::cli::Services services{registry, sockets, system, console, systemLog};
        console = {};
        EXPECT_EQ(RunCommandLine(Program, {"set-host", "srv"}, services), corvix::cli::ExitNotStored);
        EXPECT_EQ(registry.sets, 0);
        EXPECT_EQ(console.out, "");
        const std::string expected = denied ? "corvix-tcpip-cli: The settings were not stored: the registry key "
                                              "HKEY_LOCAL_MACHINE\\Software\\Qor\\Corvix\\TcpIp cannot be opened "
                                              "for writing (access denied). "
                                            : "corvix-tcpip-cli: Failed to set data for 'HostName'\n";
        EXPECT_TRUE(console.err.starts_with(expected)) << console.err;
        EXPECT_EQ(std::count(console.err.begin(), console.err.end(), '\n'), 1) << console.err;
        ASSERT_EQ(systemLog.records.size(), denied ? 1u : 2u);
        EXPECT_TRUE(systemLog.records.back().text.starts_with("settings NOT stored;")) << systemLog.records.back().text;
    }
}

TEST(CommandLineFake, StartupFailureAndASlowConnect) {
    corvix::StartRegistryRootB();
    os::fakes::FakeRegistry registry;
    os::fakes::FakeSockets sockets;
    os::fakes::FakeSystem system;
    os::fakes::FakeSystemLog systemLog;
    os::fakes::FakeConsole console;
    corvix::cli::Services services{registry, sockets, system, console, systemLog};
    const unsigned char loopback[4] = {127, 0, 0, 1};
    std::memcpy(&sockets.dotted["127.0.0.1"], loopback, 4);
    sockets.duringConnect = [] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); };
    EXPECT_EQ(RunCommandLine(Program, {"check", "-H", "127.0.0.1", "--warning", "0.01"}, services),
              corvix::cli::CheckWarning);
    EXPECT_TRUE(console.out.starts_with("CORVIX TCPIP WARNING - 127.0.0.1:234 connected in ")) << console.out;
    EXPECT_NE(console.out.find(" ms, outside the warning range 0.010 | "), std::string::npos) << console.out;
    EXPECT_TRUE(console.out.ends_with(";0.010;;0;10\n")) << console.out;
    ASSERT_EQ(sockets.connects.size(), 1u);
    EXPECT_EQ(sockets.htonsCalls.back(), 234);

    sockets.startupResult = os::WsaSysNotReady;
    console = {};
    EXPECT_EQ(RunCommandLine(Program, {"check"}, services), corvix::cli::CheckUnknown);
    EXPECT_EQ(console.out, "CORVIX TCPIP UNKNOWN - socket start-up failed: 10091:SYSNOTREADY\n");
    console = {};
    EXPECT_EQ(RunCommandLine(Program, {"show", "--json"}, services), corvix::cli::ExitStartupFailed);
    const json j = json::parse(console.out);
    EXPECT_EQ(j["winsock"]["startup"]["result"], "10091:SYSNOTREADY");
    EXPECT_EQ(j["winsock"]["startup"]["code"], os::WsaSysNotReady);
    EXPECT_TRUE(j["winsock"]["version"].is_null());
    console = {};
    EXPECT_EQ(RunCommandLine(Program, {"test"}, services), corvix::cli::ExitStartupFailed);
}

// The program on fake services, where 127.0.0.1 is a dotted address.
class OnFakes : public testing::Test {
protected:
    void SetUp() override {
        corvix::StartRegistryRootB();
        const unsigned char loopback[4] = {127, 0, 0, 1};
        std::memcpy(&sockets.dotted["127.0.0.1"], loopback, 4);
        system.local = os::fakes::At(2026, 3, 7, 9, 5, 2);
    }
    int Run(std::vector<std::string> arguments) {
        console = {};
        return RunCommandLine(Program, arguments, services);
    }

    os::fakes::FakeRegistry registry;
    os::fakes::FakeSockets sockets;
    os::fakes::FakeSystem system;
    os::fakes::FakeConsole console;
    os::fakes::FakeSystemLog systemLog;
    corvix::cli::Services services{registry, sockets, system, console, systemLog};
};

using CheckOnFakes = OnFakes;

// A connect of some 30 ms against the guidelines' ranges: outside a range alerts, inside an "@" range
// alerts, critical before warning.
TEST_F(CheckOnFakes, ThresholdsInTheGuidelinesRangeSyntax) {
    sockets.duringConnect = [] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); };
    const std::tuple<std::vector<std::string>, int, std::string> rows[] = {
        {{"-w", "10"}, corvix::cli::CheckOk, ";10.000;;0;10"},
        {{"-w", "0"}, corvix::cli::CheckWarning, ", outside the warning range 0.000 | "},
        {{"-w", "0.01"}, corvix::cli::CheckWarning, ", outside the warning range 0.010 | "},
        {{"-w", "1:"}, corvix::cli::CheckWarning, ", outside the warning range 1.000: | "},
        {{"-w", "~:0.01"}, corvix::cli::CheckWarning, ", outside the warning range ~:0.010 | "},
        {{"-w", "@0.01:10"}, corvix::cli::CheckWarning, ", inside the warning range @0.010:10.000 | "},
        {{"-w", "@5:10"}, corvix::cli::CheckOk, ";@5.000:10.000;;0;10"},
        {{"-w", "0.01", "-c", "0.02"}, corvix::cli::CheckCritical, ", outside the critical range 0.020 | "},
        {{"-c", "0.02", "-w", "0.01"}, corvix::cli::CheckCritical, ";0.010;0.020;0;10"},
        {{"-w", "0.01", "-c", "5"}, corvix::cli::CheckWarning, ";0.010;5.000;0;10"},
        {{"-c", "@0:"}, corvix::cli::CheckCritical, ", inside the critical range @0.000: | "},
    };
    for (const auto& [options, state, expected] : rows) {
        std::vector<std::string> arguments = {"check", "-H", "127.0.0.1"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        EXPECT_EQ(Run(arguments), state) << expected;
        EXPECT_NE(console.out.find(expected), std::string::npos) << console.out;
        EXPECT_TRUE(console.out.starts_with("CORVIX TCPIP " +
                                            std::string(corvix::cli::CheckStates[static_cast<std::size_t>(state)]
                                                            .meaning) +
                                            " - 127.0.0.1:234 connected in "))
            << console.out;
    }
}

// -v: each step, what the look-up found, the local end and the address connected to; -vv adds the
// settings the check ran with.
TEST_F(CheckOnFakes, VerboseLinesFollowTheFirst) {
    os::HostEntry server{"server.example.org", {}};
    for (const unsigned char last : {7, 8}) {
        const unsigned char bytes[4] = {192, 0, 2, last};
        os::InAddr address = 0;
        std::memcpy(&address, bytes, 4);
        server.addresses.push_back(address);
    }
    sockets.hosts["server"] = server;
    const std::regex verbose("CORVIX TCPIP OK - server:234 connected in \\d+\\.\\d{3} ms \\| dns=[^\n]*\n"
                             "host server \\(-H\\), port 234\n"
                             "lookup: Ok in \\d+\\.\\d{3} ms, official name server\\.example\\.org, addresses "
                             "192\\.0\\.2\\.7, 192\\.0\\.2\\.8\n"
                             "socket: Ok in \\d+\\.\\d{3} ms\n"
                             "connect: Ok in \\d+\\.\\d{3} ms, from 127\\.0\\.0\\.1:49183, to 192\\.0\\.2\\.7:234\n");
    EXPECT_EQ(Run({"check", "-H", "server", "-v"}), corvix::cli::CheckOk);
    EXPECT_TRUE(std::regex_match(console.out, verbose)) << console.out;
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"check", "-vv", "-H", "server"},
                                                      {"check", "-H", "server", "-v", "--verbose"}}) {
        EXPECT_EQ(Run(arguments), corvix::cli::CheckOk);
        EXPECT_TRUE(std::regex_search(console.out, std::regex("\nconnect: Ok in [^\n]*\n"
                                                              "time-out 10 s, warning range none, critical range none\n"
                                                              "stored host name 127\\.0\\.0\\.1, port 234\n"
                                                              "sockets WinSock 2\\.0, version [^\n]*\n$")))
            << console.out;
    }
    // The stored host is named as such; a failed step is followed by those not reached.
    sockets.connectError = os::WsaEConnRefused;
    EXPECT_EQ(Run({"check", "-v"}), corvix::cli::CheckCritical);
    EXPECT_TRUE(std::regex_match(console.out,
                                 std::regex("CORVIX TCPIP CRITICAL - connect to 127\\.0\\.0\\.1:234 failed: "
                                            "10061:CONNREFUSED \\| [^\n]*\n"
                                            "host 127\\.0\\.0\\.1 \\(the stored host name\\), port 234\n"
                                            "lookup: not needed for an address, \\d+\\.\\d{3} ms\n"
                                            "socket: Ok in \\d+\\.\\d{3} ms\n"
                                            "connect: 10061:CONNREFUSED after \\d+\\.\\d{3} ms, to 127\\.0\\.0\\.1:234\n")))
        << console.out;
    sockets.hosts.clear();
    EXPECT_EQ(Run({"check", "-H", "server", "-v"}), corvix::cli::CheckCritical);
    EXPECT_TRUE(std::regex_search(console.out, std::regex("\nlookup: 11001:HOST_NOT_FOUND after \\d+\\.\\d{3} ms\n"
                                                          "socket: not reached\nconnect: not reached\n$")))
        << console.out;
}

TEST(CommandLineEndings, CtrlCIsArmedInTheVerbsOwnWay) {
    corvix::StartRegistryRootB();
    os::fakes::FakeRegistry registry;
    os::fakes::FakeSockets sockets;
    os::fakes::FakeSystem system;
    os::fakes::FakeSystemLog systemLog;
    os::fakes::FakeConsole console;
    corvix::cli::Services services{registry, sockets, system, console, systemLog};
    RunCommandLine(Program, {"show"}, services);
    ASSERT_TRUE(console.interrupt);
    EXPECT_EQ(console.interrupt->words, "corvix-tcpip-cli: interrupted\n");
    EXPECT_EQ(console.interrupt->exitCode->load(), corvix::cli::ExitInterrupted);
    RunCommandLine(Program, {"check", "-H", "127.0.0.1"}, services);
    EXPECT_EQ(console.interrupt->words, "CORVIX TCPIP UNKNOWN - interrupted\n");
    EXPECT_EQ(console.interrupt->stream, os::Stream::Out);
    EXPECT_EQ(console.interrupt->exitCode->load(), corvix::cli::CheckUnknown);
}

// A connect that never answers: the time limit reports what each step reached and the code of the step
// it was in, in every form of output.
TEST(CommandLineEndings, TheTimeLimitReportsTheStepItCutShort) {
    corvix::StartRegistryRootB();
    os::fakes::FakeRegistry registry;
    os::fakes::FakeSockets sockets;
    os::fakes::FakeSystem system;
    os::fakes::FakeConsole console;
    const unsigned char loopback[4] = {127, 0, 0, 1};
    std::memcpy(&sockets.dotted["127.0.0.1"], loopback, 4);
    std::atomic<int> ended{-1};
    // The blocked connect returns only once the run has been ended, as the process would have been.
    sockets.duringConnect = [&] {
        for (int i = 0; i < 500 && ended < 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    os::fakes::FakeSystemLog systemLog;
    corvix::cli::Services services{registry, sockets, system, console, systemLog};
    services.timeLimit = std::chrono::milliseconds(200);
    services.endProcess = [&](int code) { ended = code; };
    const auto run = [&](std::vector<std::string> arguments) {
        console = {};
        ended = -1;
        return RunCommandLine(Program, arguments, services);
    };

    EXPECT_EQ(run({"test", "127.0.0.1"}), corvix::cli::ExitConnectFailed);
    EXPECT_EQ(ended, corvix::cli::ExitConnectFailed);
    EXPECT_TRUE(
        std::regex_search(console.out, std::regex("^Get host information: -  \\(\\d+\\.\\d{3} ms\\)\n"
                                                  "Open socket:          Ok  \\(\\d+\\.\\d{3} ms\\)\n"
                                                  "Connect:              10060:TIMEDOUT  \\(\\d+\\.\\d{3} ms\\)\n")))
        << console.out;
    EXPECT_NE(console.out.find("\n  Connect:              10060:TIMEDOUT\n"), std::string::npos) << console.out;
    EXPECT_EQ(console.err, "corvix-tcpip-cli: connect not answered within 0.2 s\n");

    EXPECT_EQ(run({"test", "127.0.0.1", "--json"}), corvix::cli::ExitConnectFailed);
    const json j = json::parse(console.out);
    EXPECT_EQ(j["exitCode"], corvix::cli::ExitConnectFailed);
    EXPECT_EQ(j["error"], "connect not answered within 0.2 s");
    EXPECT_EQ(j["test"]["steps"][2]["result"], "10060:TIMEDOUT");
    EXPECT_GE(j["test"]["steps"][2]["elapsedMs"].get<int>(), 150);

    EXPECT_EQ(run({"check", "-H", "127.0.0.1"}), corvix::cli::CheckCritical);
    EXPECT_EQ(ended, corvix::cli::CheckCritical);
    EXPECT_TRUE(std::regex_match(console.out, std::regex("CORVIX TCPIP CRITICAL - connect to 127\\.0\\.0\\.1:234 "
                                                         "timed out after 0\\.2 s \\| dns=\\d\\.\\d{6}s;;;0; "
                                                         "connect=U;;;0;0\\.2\n")))
        << console.out;

    // Its own -t is the check's limit.
    services.timeLimit.reset();
    EXPECT_EQ(run({"check", "-H", "127.0.0.1", "-t", "0.3", "-v"}), corvix::cli::CheckCritical);
    EXPECT_EQ(ended, corvix::cli::CheckCritical);
    EXPECT_TRUE(console.out.starts_with("CORVIX TCPIP CRITICAL - connect to 127.0.0.1:234 timed out after 0.3 s | "))
        << console.out;
    EXPECT_TRUE(console.out.ends_with("\nconnect: no answer within 0.3 s, to 127.0.0.1:234\n")) << console.out;

    // The textfile says so too, once: the probe failed, after the time it was given.
    os::testing::ScratchDir dir;
    const std::string file = dir / "corvix_tcpip.prom";
    EXPECT_EQ(run({"check", "-H", "127.0.0.1", "-t", "0.2", "--textfile", file}), corvix::cli::CheckCritical);
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("\nprobe_success{host=\"127.0.0.1\",port=\"234\"} 0\n"), std::string::npos) << text.str();
    const std::string metrics = text.str();
    std::smatch duration;
    ASSERT_TRUE(std::regex_search(metrics, duration, std::regex("\nprobe_duration_seconds\\{[^}]*\\} ([0-9.]+)\n")));
    EXPECT_GE(std::stod(duration[1]), 0.15);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

// A name with two IPv4 addresses and one IPv6 address, on the fake sockets: every address, the local
// ends, the cause of a failure, repeated runs and their summary.
class CommandLineDiagnosis : public OnFakes {
protected:
    void SetUp() override {
        OnFakes::SetUp();
        const unsigned char first[4] = {192, 0, 2, 7}, second[4] = {192, 0, 2, 8};
        os::InAddr a = 0, b = 0;
        std::memcpy(&a, first, 4);
        std::memcpy(&b, second, 4);
        sockets.hosts["server"] = {"server.example", {a, b}};
        os::IpAddress v6;
        v6.family = os::AfInet6;
        v6.bytes = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7};
        sockets.hosts6["server"] = {v6};
        sockets.interfaces = {{"10.0.2.10", "eth0"}, {"2001:db8::10", "eth0"}};
    }
};

TEST_F(CommandLineDiagnosis, EveryAddressWithItsLocalEndAndTheFirstFailuresCode) {
    sockets.connectErrors["192.0.2.8"] = os::WsaEConnRefused;
    EXPECT_EQ(Run({"test", "server", "--all", "--json", "--timeout", "2.5"}), corvix::cli::ExitConnectFailed);
    const json test = json::parse(console.out)["test"];
    EXPECT_EQ(test["addresses"], json::parse(R"([{"address":"192.0.2.7","family":"IPv4","used":true},
                                                 {"address":"192.0.2.8","family":"IPv4","used":false},
                                                 {"address":"2001:db8::7","family":"IPv6","used":false}])"));
    ASSERT_EQ(test["attempts"].size(), 3u);
    const std::pair<std::string, std::string> tried[] = {
        {"192.0.2.7", "Ok"}, {"192.0.2.8", "10061:CONNREFUSED"}, {"2001:db8::7", "Ok"}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(test["attempts"][i]["address"], tried[i].first);
        EXPECT_EQ(test["attempts"][i]["result"], tried[i].second);
        EXPECT_EQ(test["attempts"][i]["local"].is_null(), i == 1);
    }
    EXPECT_EQ(test["attempts"][2]["local"]["address"], "2001:db8::10");
    EXPECT_EQ(test["attempts"][2]["local"]["interface"], "eth0");
    EXPECT_EQ(test["hint"], std::string(corvix::CauseHint(os::WsaEConnRefused)));
    EXPECT_EQ(sockets.connectLimits, std::vector<std::chrono::milliseconds>(3, std::chrono::milliseconds(2500)));
    // Without --all only the first address is tried; the others are listed.
    EXPECT_EQ(Run({"test", "server"}), corvix::cli::ExitOk);
    EXPECT_NE(console.out.find("\n  2001:db8::7           IPv6: not used by the suite's programs\n"),
              std::string::npos)
        << console.out;
    EXPECT_NE(console.out.find("\n  192.0.2.7             Ok  0.0"), std::string::npos) << console.out;
}

TEST_F(CommandLineDiagnosis, RepeatedRunsLookUpEachTimeAndSumUp) {
    int connects = 0;
    sockets.duringConnect = [&] { sockets.connectError = ++connects == 2 ? os::WsaETimedOut : 0; };
    EXPECT_EQ(Run({"test", "server", "--count", "3", "--interval", "0.01"}), corvix::cli::ExitConnectFailed);
    EXPECT_EQ(sockets.lookups.size(), 6u);  // each attempt looks up the IPv4 and the IPv6 addresses
    EXPECT_TRUE(std::regex_search(
        console.out,
        std::regex("^2026-03-07 09:05:02  192\\.0\\.2\\.7  Ok  \\d+\\.\\d{3} ms  from 10\\.0\\.2\\.10:50123 on eth0\n"
                   ".*  10060:TIMEDOUT  .*\n.*  Ok  .*\n"
                   "--- server: 3 attempts, 2 connected, 1 failed, 33\\.3% loss\n"
                   "connect min/avg/max/jitter = [0-9./]+ ms\n$")))
        << console.out;
    // Ctrl+C would print the same summary and end with the same code.
    ASSERT_TRUE(console.interrupt);
    EXPECT_TRUE(console.out.ends_with(console.interrupt->words));
    EXPECT_EQ(console.interrupt->exitCode->load(), corvix::cli::ExitConnectFailed);

    connects = 5;
    EXPECT_EQ(Run({"test", "server", "--count", "2", "--interval", "0.01", "--json"}), corvix::cli::ExitOk);
    std::istringstream lines(console.out);
    std::vector<json> objects;
    for (std::string line; std::getline(lines, line);) objects.push_back(json::parse(line));
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[0]["result"], "Ok");
    EXPECT_EQ(objects[2]["summary"]["connected"], 2);
    EXPECT_EQ(objects[2]["summary"]["lossPercent"], 0.0);
    EXPECT_EQ(objects[2]["exitCode"], 0);
}

struct UsageRow {
    std::vector<std::string> arguments;
    std::string message;
};

TEST(CommandLineUsage, ABadArgumentIsNamedOnOneLineAndExits64) {
    os::fakes::FakeRegistry registry;
    os::fakes::FakeSockets sockets;
    os::fakes::FakeSystem system;
    os::fakes::FakeSystemLog systemLog;
    const UsageRow rows[] = {
        {{}, "no command given (try --help)"},
        {{"frob"}, "unknown command 'frob'"},
        {{"--frob"}, "unknown option '--frob'"},
        {{"show", "srv"}, "unexpected argument 'srv'"},
        {{"show", "--warning", "5"}, "unknown option '--warning' for show"},
        {{"test", "a", "b"}, "unexpected argument 'b'"},
        {{"set-host"}, "set-host needs a host name"},
        {{"set-host", "--json", "x"}, "unknown option '--json' for set-host"},
        {{"set-host", ""}, "bad host name ''"},
        {{"set-host", "a\nb\x1b[2J"}, "bad host name 'a\\nb\\x1b[2J'"},
        {{"test", "\xE4\xB8\xAD.invalid"},
         "bad host name '\\xe4\\xb8\\xad.invalid': U+4E2D is not a character of the program's code page "
         "(Windows-1252)"},
        {{"test",
          "b\xFC"
          "cher"},
         "bad host name 'b\\xfccher': not UTF-8 text (byte 0xFC)"},
        {{"frob\x1b"}, "unknown command 'frob\\x1b'"},
        {{"--version", "x"}, "unexpected argument 'x'"},
        {{"test", "--timeout", "0"}, "bad number of seconds for --timeout: '0'"},
        {{"test", "--interval", "1.5.2"}, "bad number of seconds for --interval: '1.5.2'"},
        {{"test", "--count", "-1"}, "bad number of attempts for --count: '-1'"},
        {{"test", "--count"}, "--count needs a number of attempts"},
    };
    for (const UsageRow& row : rows) {
        os::fakes::FakeConsole console;
        corvix::cli::Services services{registry, sockets, system, console, systemLog};
        EXPECT_EQ(RunCommandLine(Program, row.arguments, services), corvix::cli::ExitUsage) << row.message;
        EXPECT_EQ(console.err, Program + ": " + row.message + "\n");
        EXPECT_EQ(console.out, "");
    }
    EXPECT_EQ(registry.sets, 0);
    EXPECT_EQ(sockets.startups, 0);
    // The host names set-host refused are attempts all the same.
    ASSERT_EQ(systemLog.records.size(), 2u);
    EXPECT_NE(systemLog.records[1].text.find("-> \"a\\x0Ab\\x1B[2J\"; reason: bad host name"),
              std::string::npos)
        << systemLog.records[1].text;
}

TEST(CommandLineUsage, HelpAndVersion) {
    os::fakes::FakeRegistry registry;
    os::fakes::FakeSockets sockets;
    os::fakes::FakeSystem system;
    os::fakes::FakeSystemLog systemLog;
    os::fakes::FakeConsole console;
    corvix::cli::Services services{registry, sockets, system, console, systemLog};
    EXPECT_EQ(RunCommandLine(Program, {"--version"}, services), 0);
    EXPECT_EQ(console.out, Program + " " + std::string(corvix::ProgramVersion()) + "\n");
    console = {};
    EXPECT_EQ(RunCommandLine(Program, {"--help"}, services), 0);
    EXPECT_NE(console.out.find("  5    the settings could not be stored\n"), std::string::npos);
    EXPECT_NE(console.out.find("  74   the output could not be written\n"), std::string::npos);
    EXPECT_NE(console.out.find("check [-H HOST] [-w RANGE] [-c RANGE] [-t SECONDS] [-v]... [--textfile FILE]"),
              std::string::npos)
        << console.out;
    EXPECT_NE(console.out.find("\n  -H, --hostname HOST "), std::string::npos) << console.out;
    EXPECT_NE(console.out.find("\n  --json "), std::string::npos) << console.out;
}

}  // namespace
