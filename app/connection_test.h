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
    };

    explicit ConnectionTest(os::Sockets& sockets) : sockets_(sockets) {}

    // Runs the steps in order; a failed step ends the test and the steps after it are skipped. The
    // socket is held in `socket` while it is open and closed before this returns, also when an
    // observer raises. WinSock must have been started.
    TestResult Run(const std::string& host, std::int32_t port, os::Socket& socket, const Observer& observer);

private:
    void Lookup(TestResult& result);
    void Open(TestResult& result, os::Socket& socket);
    void Connect(TestResult& result, os::Socket socket);

    os::Sockets& sockets_;
};

}  // namespace corvix
