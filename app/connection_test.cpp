#include "app/connection_test.h"

#include <algorithm>
#include <array>

#include "os/errors.h"
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
        current.started = TestClock::now();
        if (observer.started) observer.started(result, step);
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
        if (step == TestStep::Connect && depth_.diagnose) {
            result.attempts.push_back({os::IpAddress::V4(result.address), current, {}, {}, false});
            if (current.outcome == StepOutcome::Succeeded) Diagnose(result.attempts.back(), socket);
        }
        if (observer.finished) observer.finished(result, step);
    }
    // A name's IPv6 addresses are shown for what they are; a dotted address has none.
    if (depth_.diagnose && result.found) {
        if (observer.more) observer.more(result);
        result.ipv6 = sockets_.GetIpv6Addresses(result.host);
    }
    if (depth_.everyAddress && result.HasAddress()) TryOthers(result, observer);
    return result;
}

void ConnectionTest::Diagnose(ConnectAttempt& attempt, os::Socket socket) {
    os::Endpoint local;
    if (sockets_.GetLocalEndpoint(socket, local) == 0) {
        attempt.local = local;
        attempt.interfaceName = sockets_.InterfaceName(local.address);
    }
    // The listener greets as soon as it has taken the connection: about one round trip, which the
    // connect has just measured, and the moment a busy machine takes to run the listener. A server
    // says nothing first, so the wait stays that short.
    const auto moment = std::min<TestClock::duration>(2 * attempt.result.elapsed + std::chrono::milliseconds(20),
                                                      std::chrono::seconds(1));
    const TestClock::time_point until = TestClock::now() + moment;
    std::array<char, ListenerGreeting.size()> greeting{};
    std::size_t got = 0;
    while (got < greeting.size()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - TestClock::now());
        if (left.count() <= 0) break;
        const int read =
            sockets_.ReceiveWithin(socket, greeting.data() + got, static_cast<int>(greeting.size() - got), left);
        if (read <= 0) break;
        got += static_cast<std::size_t>(read);
    }
    attempt.listener = std::string_view(greeting.data(), got) == ListenerGreeting;
}

void ConnectionTest::TryOthers(TestResult& result, const Observer& observer) {
    std::vector<os::IpAddress> others;
    if (result.found) {
        for (std::size_t i = 1; i < result.found->addresses.size(); ++i) {
            others.push_back(os::IpAddress::V4(result.found->addresses[i]));
        }
    }
    others.insert(others.end(), result.ipv6.begin(), result.ipv6.end());
    for (const os::IpAddress& address : others) {
        if (observer.more) observer.more(result);
        ConnectAttempt attempt{address, {TestStep::Socket}, {}, {}, false};
        os::Socket socket = sockets_.Socket(address.family, os::SockStream, 0);
        const SocketCloser closer(sockets_, socket);
        attempt.result.started = TestClock::now();
        if (socket == os::InvalidSocket) {
            Fail(attempt.result, sockets_.GetLastError());
        } else {
            attempt.result.step = TestStep::Connect;
            const os::Endpoint to{address, static_cast<std::uint16_t>(result.port & 0xFFFF)};
            if (sockets_.ConnectWithin(socket, to, depth_.connectLimit.value_or(WindowsConnectLimit)) != 0) {
                Fail(attempt.result, sockets_.GetLastError());
            } else {
                attempt.result.outcome = StepOutcome::Succeeded;
            }
        }
        attempt.result.elapsed = TestClock::now() - attempt.result.started;
        if (attempt.result.outcome == StepOutcome::Succeeded) Diagnose(attempt, socket);
        result.attempts.push_back(attempt);
    }
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
    const int connected =
        depth_.connectLimit
            ? sockets_.ConnectWithin(
                  socket, {os::IpAddress::V4(result.address), static_cast<std::uint16_t>(result.port & 0xFFFF)},
                  *depth_.connectLimit)
            : sockets_.Connect(socket, &address, sizeof address);
    if (connected != 0) {
        Fail(connect, sockets_.GetLastError());
    } else {
        connect.outcome = StepOutcome::Succeeded;
    }
}

std::string_view CauseHint(int code) {
    switch (code) {
    case os::WsaEConnRefused:
        return "The host answered, but nothing listens on the port: is the Corvix server running?";
    case os::WsaETimedOut:
        return "No answer: a firewall on the way drops the packets, or the host is switched off.";
    case os::WsaHostNotFound:
        return "The name is unknown to the name service (DNS or the hosts file): check its spelling and the "
               "workstation's DNS servers.";
    case os::WsaTryAgain:
        return "The name service did not answer in time: try again, or check the workstation's DNS servers.";
    case os::WsaNoRecovery:
        return "The name service failed: check the workstation's DNS servers.";
    case os::WsaNoData:
        return "The name is known, but has no address of this kind; the suite's programs need an IPv4 address.";
    case os::WsaENetUnreach:
        return "No route from this workstation to that network: check its address, gateway and VPN.";
    case os::WsaEHostUnreach:
    case os::WsaEHostDown:
        return "No route to the host: it is switched off, or a router or firewall reports it unreachable.";
    case os::WsaENetDown:
        return "This workstation's network is down.";
    case os::WsaEAddrNotAvail:
        return "That address or port cannot be connected to (0.0.0.0, or port 0).";
    case os::WsaEAcces:
        return "The system refused the connection: a firewall or security policy on this workstation blocks it.";
    case os::WsaEConnReset:
        return "The host reset the connection at once: a firewall rejects it, or the server turned it away.";
    case os::WsaEConnAborted:
        return "The connection was ended on this workstation, by a firewall or security software.";
    case os::WsaENoBufs:
    case os::WsaEMFile:
        return "This workstation ran out of sockets, free ports or memory.";
    case os::WsaEAfNoSupport:
        return "This workstation has no network layer for that address family (IPv6, say).";
    case os::WsaNotInitialised:
    case os::WsaSysNotReady:
        return "The socket layer of this workstation did not start.";
    default:
        return {};
    }
}

}  // namespace corvix
