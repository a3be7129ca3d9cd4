// The connection test on its own: look-up, socket, connect, each with its outcome, code and timing.
// The window paints its labels from it; the command line, its JSON and the report read it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/listener_greeting.h"
#include "os/sockets.h"

namespace corvix {

enum class TestStep : std::uint8_t { Lookup, Socket, Connect };
inline constexpr std::array<TestStep, 3> TestSteps = {TestStep::Lookup, TestStep::Socket, TestStep::Connect};

// "lookup", "socket", "connect": how scripts name the steps.
std::string_view StepName(TestStep step);

enum class StepOutcome : std::uint8_t {
    Pending,  // not reached yet
    Succeeded,
    Failed,
    Skipped,    // an earlier step failed
    NotNeeded,  // the look-up of a dotted address
};

using TestClock = std::chrono::steady_clock;

struct StepResult {
    TestStep step = TestStep::Lookup;
    StepOutcome outcome = StepOutcome::Pending;
    int code = 0;  // the WinSock code of a failure; 0 otherwise
    TestClock::time_point started{};
    TestClock::duration elapsed{};  // zero for a step that did not run

    bool Ran() const { return outcome == StepOutcome::Succeeded || outcome == StepOutcome::Failed; }
    // What the window shows for it: "Ok", the error's text, "-" for a step not needed, "?" otherwise.
    std::string Text() const;
};

// One address tried: the connect (or, where no socket could be opened for it, the socket), where it
// left from, and whether the peer named itself as this tool's listener.
struct ConnectAttempt {
    os::IpAddress address;
    StepResult result;
    std::optional<os::Endpoint> local;
    std::string interfaceName;  // the interface holding the local address; empty when unknown
    bool listener = false;
};

// The longest the window's connect waits, as Windows' own connect does.
inline constexpr std::chrono::milliseconds WindowsConnectLimit{21000};

// How deep a test goes beyond the window's three steps.
struct TestDepth {
    // Each connect gives up after this (the window's connect waits as long as the system lets it).
    std::optional<std::chrono::milliseconds> connectLimit;
    // The local end of each connect, whether the peer is this tool's listener, the name's IPv6 addresses.
    bool diagnose = false;
    // After the first address, every other one in turn, IPv6 included.
    bool everyAddress = false;
};

struct TestResult {
    std::string host;  // as given to the test
    std::int32_t port = 0;
    std::array<StepResult, 3> steps{{{TestStep::Lookup}, {TestStep::Socket}, {TestStep::Connect}}};
    // What the look-up found: the official name and every address, in the resolver's order.
    std::optional<os::HostEntry> found;
    // The address connected to (the look-up's first, or the dotted address) and its dotted text,
    // once the look-up has succeeded or was not needed.
    os::InAddr address = 0;
    std::string addressText;
    // With diagnosis: the name's IPv6 addresses (which the suite's programs never use), and each
    // connect made: the first address's, then with every address one for each other.
    std::vector<os::IpAddress> ipv6;
    std::vector<ConnectAttempt> attempts;

    StepResult& Step(TestStep step) { return steps[static_cast<std::size_t>(step)]; }
    const StepResult& Step(TestStep step) const { return steps[static_cast<std::size_t>(step)]; }
    // The first step that failed, if any.
    std::optional<TestStep> Failure() const;
    bool HasAddress() const;
    // The retrieved information as the window shows it: "?" until the look-up has answered.
    std::string OfficialNameText() const;
    std::string AddressText() const;
    std::string PortText() const;
};

class ConnectionTest {
public:
    struct Observer {
        // Before a step's first call.
        std::function<void(const TestResult&, TestStep)> started;
        // After a step has succeeded, failed or turned out not needed.
        std::function<void(const TestResult&, TestStep)> finished;
        // Before each look-up or connect beyond the three steps (the IPv6 addresses, every address).
        std::function<void(const TestResult&)> more;
    };

    explicit ConnectionTest(os::Sockets& sockets, TestDepth depth = {}) : sockets_(sockets), depth_(depth) {}

    // Runs the steps in order; a failed step ends the test and the steps after it are skipped. The
    // socket is held in `socket` while it is open and closed before this returns, also when an
    // observer raises. WinSock must have been started.
    TestResult Run(const std::string& host, std::int32_t port, os::Socket& socket, const Observer& observer);

private:
    void Lookup(TestResult& result);
    void Open(TestResult& result, os::Socket& socket);
    void Connect(TestResult& result, os::Socket socket);
    // The local end and the peer's greeting of a connected socket.
    void Diagnose(ConnectAttempt& attempt, os::Socket socket);
    void TryOthers(TestResult& result, const Observer& observer);

    os::Sockets& sockets_;
    TestDepth depth_;
};

// What a failure's code usually means, in one plain sentence; empty for a code with no such hint.
std::string_view CauseHint(int code);

}  // namespace corvix
