#include "app/connection_test.h"

#include "platform/winsock_text.h"

namespace corvix {

std::string_view StepName(TestStep step) {
    switch (step) {
    case TestStep::Lookup:
        return "lookup";
    case TestStep::Socket:
        return "socket";
    case TestStep::Connect:
        return "connect";
    }
    return {};
}

std::string StepResult::Text() const {
    switch (outcome) {
    case StepOutcome::Succeeded:
        return "Ok";
    case StepOutcome::Failed:
        return qor::WinsockErrorText(code);
    case StepOutcome::NotNeeded:
        return "-";
    case StepOutcome::Pending:
    case StepOutcome::Skipped:
        break;
    }
    return "?";
}

std::optional<TestStep> TestResult::Failure() const {
    for (const StepResult& step : steps) {
        if (step.outcome == StepOutcome::Failed) return step.step;
    }
    return std::nullopt;
}

bool TestResult::HasAddress() const {
    const StepOutcome lookup = Step(TestStep::Lookup).outcome;
    return lookup == StepOutcome::Succeeded || lookup == StepOutcome::NotNeeded;
}

std::string TestResult::OfficialNameText() const {
    if (Step(TestStep::Lookup).outcome == StepOutcome::NotNeeded) return "-";
    return found ? found->name : "?";
}

std::string TestResult::AddressText() const { return HasAddress() ? addressText : "?"; }

std::string TestResult::PortText() const { return HasAddress() ? std::to_string(port) : "?"; }

namespace {

// The test socket is closed on every way out; observers run in between and may raise.
class SocketCloser {
public:
    SocketCloser(os::Sockets& sockets, os::Socket& socket) : sockets_(sockets), socket_(socket) {}
    ~SocketCloser() {
        if (socket_ != os::InvalidSocket) {
            sockets_.CloseSocket(socket_);
            socket_ = os::InvalidSocket;
        }
    }
    SocketCloser(const SocketCloser&) = delete;
    SocketCloser& operator=(const SocketCloser&) = delete;

private:
    os::Sockets& sockets_;
    os::Socket& socket_;
};

void Fail(StepResult& step, int code) {
    step.outcome = StepOutcome::Failed;
    step.code = code;
}

}  // namespace

TestResult ConnectionTest::Run(const std::string& host, std::int32_t port, os::Socket& socket,
                               const Observer& observer) {
    TestResult result;
    result.host = host;
    result.port = port;
    const SocketCloser closer(sockets_, socket);
    for (const TestStep step : TestSteps) {
        StepResult& current = result.Step(step);
        if (result.Failure()) {
            current.outcome = StepOutcome::Skipped;
            continue;
        }
        if (observer.started) observer.started(result, step);
        current.started = TestClock::now();
        switch (step) {
        case TestStep::Lookup:
            Lookup(result);
            break;
        case TestStep::Socket:
            Open(result, socket);
            break;
        case TestStep::Connect:
            Connect(result, socket);
            break;
        }
        current.elapsed = TestClock::now() - current.started;
        if (observer.finished) observer.finished(result, step);
    }
    return result;
}

void ConnectionTest::Lookup(TestResult& result) {
    StepResult& lookup = result.Step(TestStep::Lookup);
    // A dotted address is taken as it stands; anything else, 255.255.255.255 included, is looked up.
    const os::InAddr dotted = sockets_.InetAddr(result.host);
    if (dotted != os::InaddrNone) {
        lookup.outcome = StepOutcome::NotNeeded;
        result.address = dotted;
    } else if (std::optional<os::HostEntry> entry = sockets_.GetHostByName(result.host)) {
        lookup.outcome = StepOutcome::Succeeded;
        result.address = entry->addresses.front();
        result.found = std::move(entry);
    } else {
        Fail(lookup, sockets_.GetLastError());
        return;
    }
    result.addressText = sockets_.InetNtoa(result.address);
}

void ConnectionTest::Open(TestResult& result, os::Socket& socket) {
    StepResult& open = result.Step(TestStep::Socket);
    socket = sockets_.Socket(os::AfInet, os::SockStream, 0);
    if (socket == os::InvalidSocket) {
        Fail(open, sockets_.GetLastError());
        return;
    }
    // Neither option decides the test, so their results are not examined.
    const std::int32_t on = 1;
    sockets_.SetSockOpt(socket, os::SolSocket, os::SoDontLinger16, &on, sizeof on);
    sockets_.SetSockOpt(socket, os::SolSocket, os::SoKeepAlive, &on, sizeof on);
    open.outcome = StepOutcome::Succeeded;
}

void ConnectionTest::Connect(TestResult& result, os::Socket socket) {
    StepResult& connect = result.Step(TestStep::Connect);
    os::SockAddrIn address{};
    address.sin_family = os::AfInet;
    // The port holds 32 bits, a socket address 16: only the low half is used.
    address.sin_port = sockets_.Htons(static_cast<std::uint16_t>(result.port & 0xFFFF));
    address.sin_addr = result.address;
    if (sockets_.Connect(socket, &address, sizeof address) != 0) {
        Fail(connect, sockets_.GetLastError());
    } else {
        connect.outcome = StepOutcome::Succeeded;
    }
}

}  // namespace corvix
