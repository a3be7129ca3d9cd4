#include "app/cli/listen.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/command_line.h"
#include "app/listener_greeting.h"
#include "platform/winsock_text.h"

namespace corvix::cli {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What a client sends is read only to see its end; past this much it is cut off.
constexpr std::size_t ClientReadLimit = 64;
// After a failed accept (out of sockets or buffers), the next try when no place frees up first.
constexpr milliseconds AcceptRetry{100};
// Poll's longest wait when nothing else is due: the loop then merely looks again.
constexpr milliseconds IdleWait{60000};

struct Client {
    os::Socket socket = os::InvalidSocket;
    Clock::time_point deadline;
    std::size_t sent = 0;  // of the greeting
    std::size_t read = 0;
    bool open = true;
};

std::string Decimals(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(ms) / 1000);
    return text;
}

std::string Stamp(const os::SystemTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{t.wYear}, unsigned{t.wMonth},
                  unsigned{t.wDay}, unsigned{t.wHour}, unsigned{t.wMinute}, unsigned{t.wSecond});
    return text;
}

std::string Connections(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " connection" : " connections");
}

// "192.0.2.7 port 51234", "[2001:db8::7] port 51234".
std::string PeerText(const os::Peer& peer) {
    const bool v6 = peer.address.find(':') != std::string::npos;
    return (v6 ? "[" + peer.address + "]" : peer.address) + " port " + std::to_string(peer.port);
}

std::string OpenFailure(std::uint16_t port, os::IpFamily family, int code) {
    const std::string named = "port " + std::to_string(port);
    switch (code) {
    case os::WsaEAddrInUse:
        return named + " is in use on this machine: the server or another program is listening there";
    case os::WsaEAcces:
        return named + " may not be opened by this user (" + qor::WinsockErrorText(code) +
               "): on Linux a port below 1024 needs root or the capability CAP_NET_BIND_SERVICE; on Windows "
               "another program holds it for itself, or the system keeps it reserved";
    default:
        return named + " could not be opened for " + (family == os::IpFamily::V4 ? "IPv4" : "IPv6") + ": " +
               qor::WinsockErrorText(code);
    }
}

class Run {
public:
    Run(os::Listener& listener, os::System& system, const ListenRequest& request, const ListenOutput& output,
        std::atomic<std::uint64_t>& served)
        : listener_(listener), system_(system), request_(request), output_(output), served_(served) {
        clients_.reserve(ListenClientLimit);
        watched_.reserve(ListenClientLimit + listening_.size());
    }

    ~Run() {
        for (Client& client : clients_) listener_.Close(client.socket);
        CloseListening();
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    int Execute() {
        if (!Open()) return ExitNotListening;
        if (outputLost_) return ExitOutputFailed;
        const Clock::time_point start = Clock::now();
        const std::optional<Clock::time_point> end =
            request_.timeout ? std::optional(start + *request_.timeout) : std::nullopt;
        for (;;) {
            const Clock::time_point now = Clock::now();
            if (end && now >= *end) break;
            if (CountReached() && clients_.empty()) break;
            if (outputLost_) return ExitOutputFailed;
            if (const int failed = WaitAndServe(now, end); failed != 0) {
                output_.err("waiting for connections failed: " + qor::WinsockErrorText(failed));
                return ExitNotListening;
            }
        }
        return Ending();
    }

private:
    bool CountReached() const { return request_.count && served_.load() >= *request_.count; }

    bool Open() {
        std::uint16_t port = request_.port;
        if (const int failed = listener_.Open(os::IpFamily::V4, port, listening_[0]); failed != 0) {
            output_.err(OpenFailure(port, os::IpFamily::V4, failed));
            return false;
        }
        // A port the system picked for IPv4 is taken for IPv6 as well.
        std::string addresses = "0.0.0.0 and ::";
        if (const int failed = listener_.Open(os::IpFamily::V6, port, listening_[1]); failed != 0) {
            if (failed != os::WsaEAfNoSupport) {
                output_.err(OpenFailure(port, os::IpFamily::V6, failed));
                return false;
            }
            output_.err("IPv6 is not available on this machine: listening on IPv4 alone");
            addresses = "0.0.0.0";
        }
        std::string ends = request_.count ? Connections(*request_.count) : "";
        if (request_.timeout) ends += (ends.empty() ? "" : " or ") + Decimals(request_.timeout->count()) + " s";
        outputLost_ =
            !output_.out("Listening on port " + std::to_string(port) + " of every local address (" + addresses + ")" +
                         (ends.empty() ? "; Ctrl+C ends it.\n" : "; ends after " + ends + ", or with Ctrl+C.\n"));
        return true;
    }

    void CloseListening() {
        for (os::Socket& socket : listening_) {
            if (socket != os::InvalidSocket) listener_.Close(socket);
            socket = os::InvalidSocket;
        }
    }

    // One wait for whatever is due, and the work it found; 0, or the code of a failed wait.
    int WaitAndServe(Clock::time_point now, std::optional<Clock::time_point> end) {
        const bool accepting = !CountReached() && clients_.size() < ListenClientLimit && now >= acceptRetry_;
        Clock::time_point due = now + IdleWait;
        if (end) due = std::min(due, *end);
        if (now < acceptRetry_) due = std::min(due, acceptRetry_);
        watched_.clear();
        for (const os::Socket socket : listening_) {
            if (accepting && socket != os::InvalidSocket) watched_.push_back({socket, true});
        }
        const std::size_t first = watched_.size();
        for (const Client& client : clients_) {
            const bool greeted = client.sent == ListenerGreeting.size();
            watched_.push_back({client.socket, greeted, !greeted});
            due = std::min(due, client.deadline);
        }
        int ready = 0;
        const auto wait = std::chrono::ceil<milliseconds>(std::max(due - now, Clock::duration::zero()));
        if (const int failed = listener_.Poll(watched_, wait, ready); failed != 0) return failed;
        for (std::size_t i = 0; i < clients_.size(); ++i) {
            const os::Watched& w = watched_[first + i];
            if (w.readable || w.writable || w.failed) Serve(clients_[i]);
        }
        for (std::size_t i = 0; i < first; ++i) {
            if (watched_[i].readable || watched_[i].failed) AcceptFrom(watched_[i].socket);
        }
        if (CountReached()) CloseListening();
        const Clock::time_point after = Clock::now();
        for (Client& client : clients_) {
            if (client.open && after >= client.deadline) Drop(client);
        }
        std::erase_if(clients_, [](const Client& client) { return !client.open; });
        return 0;
    }

    // Takes what waits in the queue, while there is room and the count allows.
    void AcceptFrom(os::Socket listening) {
        while (!CountReached() && clients_.size() < ListenClientLimit) {
            os::Socket socket = os::InvalidSocket;
            os::Peer peer;
            const int failed = listener_.Accept(listening, socket, peer);
            if (failed == os::WsaEWouldBlock) return;
            // The client gave up before its turn came.
            if (failed == os::WsaEConnReset || failed == os::WsaEConnAborted) continue;
            if (failed != 0) {
                if (!acceptFailing_) {
                    output_.err("a connection could not be taken now (" + qor::WinsockErrorText(failed) +
                                "); the next ones wait in the queue until a place is free");
                }
                acceptFailing_ = true;
                acceptRetry_ = Clock::now() + AcceptRetry;
                return;
            }
            acceptFailing_ = false;
            const Clock::time_point now = Clock::now();
            served_.fetch_add(1);
            if (!output_.out(Stamp(system_.LocalTime()) + "  connection from " + PeerText(peer) + "\n")) {
                outputLost_ = true;
            }
            clients_.push_back({socket, now + request_.clientTimeLimit});
            Serve(clients_.back());
        }
    }

    // The greeting, then the end of sending; then the client's own end is awaited, and what it sends
    // is let go unseen.
    void Serve(Client& client) {
        if (client.sent < ListenerGreeting.size()) {
            std::size_t sent = 0;
            const int failed = listener_.Send(client.socket, ListenerGreeting.substr(client.sent), sent);
            if (failed == os::WsaEWouldBlock) return;
            if (failed != 0) return Drop(client);
            client.sent += sent;
            if (client.sent < ListenerGreeting.size()) return;
            if (listener_.EndSending(client.socket) != 0) return Drop(client);
        }
        std::array<char, 16> scratch;
        while (client.open) {
            std::size_t received = 0;
            const int failed = listener_.Receive(client.socket, scratch, received);
            if (failed == os::WsaEWouldBlock) return;
            client.read += received;
            if (failed != 0 || received == 0 || client.read > ClientReadLimit) Drop(client);
        }
    }

    void Drop(Client& client) {
        listener_.Close(client.socket);
        client.open = false;
    }

    int Ending() {
        const std::uint64_t served = served_.load();
        const std::string total = "Connections served: " + std::to_string(served);
        if (CountReached()) {
            output_.out(total + " (--count reached)\n");
            return ExitOk;
        }
        const std::string limit = Decimals(request_.timeout->count()) + " s";
        output_.out(total + " in " + limit + " (--timeout)\n");
        const std::uint64_t wanted = request_.count.value_or(1);
        if (served >= wanted) return ExitOk;
        output_.err(served == 0
                        ? "no connection came within " + limit
                        : "only " + std::to_string(served) + " of " + Connections(wanted) + " came within " + limit);
        return ExitTooFewConnections;
    }

    os::Listener& listener_;
    os::System& system_;
    const ListenRequest& request_;
    const ListenOutput& output_;
    std::atomic<std::uint64_t>& served_;
    std::array<os::Socket, 2> listening_ = {os::InvalidSocket, os::InvalidSocket};
    std::vector<Client> clients_;
    std::vector<os::Watched> watched_;
    Clock::time_point acceptRetry_{};
    bool acceptFailing_ = false;
    bool outputLost_ = false;
};

// The digits of `text`, as a number below 10^18; nothing for anything else.
std::optional<std::uint64_t> Digits(std::string_view text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

}  // namespace

int Listen(os::Listener& listener, os::System& system, const ListenRequest& request, const ListenOutput& output,
           std::atomic<std::uint64_t>& served) {
    if (const int failed = listener.Startup(); failed != 0) {
        output.err("socket start-up failed: " + qor::WinsockErrorText(failed));
        return ExitStartupFailed;
    }
    int exitCode = ExitOk;
    {
        Run run(listener, system, request, output, served);
        exitCode = run.Execute();
    }
    listener.Cleanup();
    return exitCode;
}

std::optional<std::uint64_t> ParseCount(std::string_view text) {
    const std::optional<std::uint64_t> count = Digits(text);
    return count && *count > 0 ? count : std::nullopt;
}

std::optional<milliseconds> ParseDuration(std::string_view text) {
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == text.npos ? std::string_view() : text.substr(point + 1);
    if (whole.size() > 9 || (point != text.npos && (fraction.empty() || fraction.size() > 3))) return std::nullopt;
    const std::optional<std::uint64_t> seconds = Digits(whole);
    std::optional<std::uint64_t> thousandths = fraction.empty() ? std::optional<std::uint64_t>(0) : Digits(fraction);
    if (!seconds || !thousandths) return std::nullopt;
    for (std::size_t digits = fraction.size(); digits < 3; ++digits) *thousandths *= 10;
    const auto ms = static_cast<std::int64_t>(*seconds * 1000 + *thousandths);
    return ms > 0 ? std::optional(milliseconds(ms)) : std::nullopt;
}

}  // namespace corvix::cli
