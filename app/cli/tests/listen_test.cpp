// The listen verb on real loopback sockets at ports the system picks.
#include "app/cli/listen.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <regex>
#include <string>
#include <thread>

#include "app/cli/command_line.h"
#include "app/listener_greeting.h"
#include "os/errors.h"
#include "os/fakes/fake_console.h"
#include "os/fakes/fake_registry.h"
#include "os/fakes/fake_sockets.h"
#include "os/fakes/fake_system.h"
#include "os/fakes/fake_system_log.h"
#include "os/testing/loopback_clients.h"
#include "os/testing/loopback_listener.h"

namespace {

using corvix::cli::ListenRequest;
using os::IpFamily;
using os::testing::LoopbackClients;
using std::chrono::milliseconds;

constexpr milliseconds Plenty{10000};

// Listening at a port the system picks, until `count` connections came.
ListenRequest Until(std::uint64_t count) {
    ListenRequest request;
    request.count = count;
    return request;
}

// A listen run on a thread of its own, its output gathered, its port known once it listens.
class Listening {
public:
    explicit Listening(ListenRequest request) : request_(request) {
        system_.local = os::fakes::At(2026, 12, 8, 14, 5, 9);
        exit_ = std::async(std::launch::async, [this] {
            return corvix::cli::Listen(os::RealListener(), system_, request_, output_, served_);
        });
    }

    // The port from the first line; 0 when the run ended without listening.
    std::uint16_t Port() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !out_.empty() || !err_.empty(); });
        std::smatch found;
        return std::regex_search(out_, found, std::regex("^Listening on port (\\d+) "))
                   ? static_cast<std::uint16_t>(std::stoi(found[1]))
                   : 0;
    }

    int Exit() { return exit_.get(); }
    std::string Out() {
        const std::lock_guard lock(mutex_);
        return out_;
    }
    std::string Err() {
        const std::lock_guard lock(mutex_);
        return err_;
    }
    std::uint64_t Served() const { return served_.load(); }

private:
    void Add(std::string& to, std::string_view text) {
        const std::lock_guard lock(mutex_);
        to += text;
        changed_.notify_all();
    }

    ListenRequest request_;
    os::fakes::FakeSystem system_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string out_;
    std::string err_;
    const corvix::cli::ListenOutput output_{
        [this](std::string_view line) {
            Add(out_, line);
            return true;
        },
        [this](std::string_view message) { Add(err_, std::string(message) + "\n"); }};
    std::atomic<std::uint64_t> served_{0};
    std::future<int> exit_;
};

TEST(Listen, EachConnectionIsPrintedAndAnsweredOnBothFamiliesUntilTheCount) {
    Listening run(Until(3));
    const std::uint16_t port = run.Port();
    ASSERT_NE(port, 0) << run.Err();
    for (const IpFamily family : {IpFamily::V4, IpFamily::V6, IpFamily::V4}) {
        LoopbackClients client(family, port, 1);
        const LoopbackClients::Answer& answer = client.Read(1000, Plenty)[0];
        EXPECT_EQ(answer.text, corvix::ListenerGreeting);
        EXPECT_TRUE(answer.ended);
    }
    EXPECT_EQ(run.Exit(), corvix::cli::ExitOk);
    EXPECT_EQ(run.Served(), 3u);
    const std::string out = run.Out();
    EXPECT_TRUE(std::regex_search(out, std::regex("\n2026-12-08 14:05:09  connection from 127\\.0\\.0\\.1 port \\d+\n"
                                                  "2026-12-08 14:05:09  connection from \\[::1\\] port \\d+\n"
                                                  "2026-12-08 14:05:09  connection from 127\\.0\\.0\\.1 port \\d+\n"
                                                  "Connections served: 3 \\(--count reached\\)\n$")))
        << out;
    EXPECT_EQ(run.Err(), "");
}

TEST(Listen, ASilentClientDoesNotHoldTheNext) {
    // The silent one may keep its place far longer than the next one is given to be answered.
    ListenRequest request = Until(2);
    request.clientTimeLimit = milliseconds(60000);
    Listening run(request);
    const std::uint16_t port = run.Port();
    ASSERT_NE(port, 0) << run.Err();
    LoopbackClients silent(IpFamily::V4, port, 1);
    LoopbackClients next(IpFamily::V6, port, 1);
    const LoopbackClients::Answer& answer = next.Read(1000, Plenty)[0];
    EXPECT_EQ(answer.text, corvix::ListenerGreeting);
    EXPECT_TRUE(answer.ended);
    next.Close(0);
    silent.Close(0);
    EXPECT_EQ(run.Exit(), corvix::cli::ExitOk);
}

TEST(Listen, AClientThatNeverEndsIsLetGoAfterItsTime) {
    ListenRequest request = Until(1);
    request.clientTimeLimit = milliseconds(100);
    Listening run(request);
    const std::uint16_t port = run.Port();
    ASSERT_NE(port, 0) << run.Err();
    // It sends, and neither reads nor ends: the run ends all the same, with the client still there.
    LoopbackClients stubborn(IpFamily::V4, port, 1);
    stubborn.Send(0, "GET / HTTP/1.0\r\n");
    EXPECT_EQ(run.Exit(), corvix::cli::ExitOk);
    EXPECT_EQ(stubborn.Read(1000, Plenty)[0].text, corvix::ListenerGreeting);
}

TEST(Listen, TheTimeoutEndsItAndSaysHowManyOfTheCountCame) {
    ListenRequest request = Until(2);
    request.timeout = milliseconds(300);
    Listening run(request);
    const std::uint16_t port = run.Port();
    ASSERT_NE(port, 0) << run.Err();
    LoopbackClients(IpFamily::V4, port, 1).Read(1000, Plenty);
    EXPECT_EQ(run.Exit(), corvix::cli::ExitTooFewConnections);
    EXPECT_TRUE(run.Out().ends_with("Connections served: 1 in 0.3 s (--timeout)\n")) << run.Out();
    EXPECT_EQ(run.Err(), "only 1 of 2 connections came within 0.3 s\n");
}

// The verb on the command line: its options, its refusals and its Ctrl+C ending.
class ListenCommand : public testing::Test {
protected:
    int Run(std::vector<std::string> arguments) {
        console_ = {};
        return corvix::cli::RunCommandLine("corvix-tcpip-cli", arguments, services_);
    }

    os::fakes::FakeRegistry registry_;
    os::fakes::FakeSockets sockets_;
    os::fakes::FakeSystem system_;
    os::fakes::FakeConsole console_;
    os::fakes::FakeSystemLog systemLog_;
    corvix::cli::Services services_{registry_, sockets_, system_, console_, systemLog_};
};

TEST_F(ListenCommand, APortInUseIsSaidSo) {
    os::testing::LoopbackListener other;
    services_.serverPort = other.Port();
    EXPECT_EQ(Run({"listen", "--timeout", "5"}), corvix::cli::ExitNotListening);
    EXPECT_EQ(console_.err, "corvix-tcpip-cli: port " + std::to_string(other.Port()) +
                                " is in use on this machine: the server or another program is listening there\n");
    EXPECT_EQ(console_.out, "");
}

TEST_F(ListenCommand, NoConnectionWithinTheTimeoutIsAFailureAndCtrlCWouldSayTheCount) {
    services_.serverPort = 0;
    EXPECT_EQ(Run({"listen", "--timeout", "0.2"}), corvix::cli::ExitTooFewConnections);
    EXPECT_TRUE(
        console_.out.ends_with("; ends after 0.2 s, or with Ctrl+C.\nConnections served: 0 in 0.2 s (--timeout)\n"))
        << console_.out;
    EXPECT_EQ(console_.err, "corvix-tcpip-cli: no connection came within 0.2 s\n");
    ASSERT_TRUE(console_.interrupt);
    EXPECT_EQ(console_.interrupt->words, "corvix-tcpip-cli: interrupted; connections served: ");
    ASSERT_NE(console_.interrupt->count, nullptr);
    EXPECT_EQ(console_.interrupt->count->load(), 0u);
    EXPECT_EQ(console_.interrupt->exitCode->load(), corvix::cli::ExitInterrupted);
}

TEST_F(ListenCommand, AnOutputThatCannotBeWrittenEndsIt) {
    services_.serverPort = 0;
    console_.outError = os::ErrorNoData;
    EXPECT_EQ(corvix::cli::RunCommandLine("corvix-tcpip-cli", {"listen"}, services_), corvix::cli::ExitOutputFailed);
    EXPECT_EQ(console_.err, "corvix-tcpip-cli: the output could not be written (error 232)\n");
}

TEST_F(ListenCommand, BadCountsAndTimesAreUsageErrors) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"listen", "--count", "0"}, "bad number of connections for --count: '0'"},
        {{"listen", "--count", "-3"}, "bad number of connections for --count: '-3'"},
        {{"listen", "--count", "1e3"}, "bad number of connections for --count: '1e3'"},
        {{"listen", "--timeout", "0.000"}, "bad number of seconds for --timeout: '0.000'"},
        {{"listen", "--timeout", "1.2345"}, "bad number of seconds for --timeout: '1.2345'"},
        {{"listen", "--timeout", ".5"}, "bad number of seconds for --timeout: '.5'"},
        {{"listen", "--timeout", "5."}, "bad number of seconds for --timeout: '5.'"},
        {{"listen", "--timeout"}, "--timeout needs a number of seconds"},
        {{"listen", "server.example"}, "unexpected argument 'server.example'"},
    };
    for (const auto& [arguments, message] : cases) {
        EXPECT_EQ(Run(arguments), corvix::cli::ExitUsage) << message;
        EXPECT_EQ(console_.err, "corvix-tcpip-cli: " + message + "\n");
    }
}

TEST(ListenSeconds, TakeWholeSecondsAndUpToThreeDecimals) {
    const std::pair<std::string_view, milliseconds> cases[] = {{"2", milliseconds(2000)},
                                                               {"0.5", milliseconds(500)},
                                                               {"1.25", milliseconds(1250)},
                                                               {"0.001", milliseconds(1)}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(corvix::cli::ParseDuration(text), expected) << text;
}

}  // namespace
