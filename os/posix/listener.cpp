// os::Listener on POSIX: BSD sockets and poll(2) behind WinSock's results and numbering.
#include "os/listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "os/sockaddr.h"

#include "os/posix/socket_rules.h"

namespace os {
namespace {

// The kernel caps it at net.core.somaxconn; a burst of connections must not find the queue full,
// or their SYNs wait a second for the retry.
constexpr int Backlog = 4096;

// EAGAIN means "try again later" here, where a connect's rules read it as a lack of local ports.
int CodeOf(int error) {
    return error == EAGAIN || error == EWOULDBLOCK ? WsaEWouldBlock : WinsockErrorFrom(ErrorSource::Errno, error);
}

class PosixListener final : public Listener {
public:
    int Startup() override {
        ++started_;
        return 0;
    }

    void Cleanup() override {
        if (started_ > 0) --started_;
    }

    int Open(IpFamily family, std::uint16_t& port, os::Socket& listening) override {
        if (started_ == 0) return WsaNotInitialised;
        const int domain = family == IpFamily::V4 ? AF_INET : AF_INET6;
        const int fd = socket(domain, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return CodeOf(errno);
        sockaddr_storage address{};
        auto size =
            static_cast<socklen_t>(ToSockaddr({AnyAddress(family == IpFamily::V4 ? AfInet : AfInet6), port}, address));
        const int on = 1;
        // Connections this listener ended linger in TIME_WAIT; Windows lets a new listener bind over
        // them, and so must this. Another listener on the port still refuses it.
        bool done = setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
        // IPv4 has a socket of its own, as on Windows, where :: never takes IPv4 connections.
        if (done && family == IpFamily::V6) done = setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) == 0;
        done = done && bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
               getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0 && listen(fd, Backlog) == 0;
        if (!done) {
            const int error = errno;
            close(fd);
            return CodeOf(error);
        }
        port = FromSockaddr(reinterpret_cast<const sockaddr*>(&address)).port;
        listening = static_cast<os::Socket>(fd);
        return 0;
    }

    int Accept(os::Socket listening, os::Socket& accepted, Peer& peer) override {
        if (started_ == 0) return WsaNotInitialised;
        sockaddr_storage address{};
        socklen_t size = sizeof address;
        const int fd = accept4(static_cast<int>(listening), reinterpret_cast<sockaddr*>(&address), &size,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return CodeOf(errno);
        const Endpoint from = FromSockaddr(reinterpret_cast<const sockaddr*>(&address));
        peer.address = AddressTextOf(from.address);
        peer.port = from.port;
        accepted = static_cast<os::Socket>(fd);
        return 0;
    }

    int Send(os::Socket socket, std::string_view data, std::size_t& sent) override {
        if (started_ == 0) return WsaNotInitialised;
        const ssize_t written = send(static_cast<int>(socket), data.data(), data.size(), MSG_NOSIGNAL);
        if (written < 0) return CodeOf(errno);
        sent = static_cast<std::size_t>(written);
        return 0;
    }

    int Receive(os::Socket socket, std::span<char> buffer, std::size_t& received) override {
        if (started_ == 0) return WsaNotInitialised;
        const ssize_t got = recv(static_cast<int>(socket), buffer.data(), buffer.size(), 0);
        if (got < 0) return CodeOf(errno);
        received = static_cast<std::size_t>(got);
        return 0;
    }

    int EndSending(os::Socket socket) override {
        if (started_ == 0) return WsaNotInitialised;
        return shutdown(static_cast<int>(socket), SHUT_WR) == 0 ? 0 : CodeOf(errno);
    }

    int Poll(std::span<Watched> sockets, std::chrono::milliseconds timeout, int& ready) override {
        if (started_ == 0) return WsaNotInitialised;
        polled_.resize(sockets.size());
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            const Watched& w = sockets[i];
            polled_[i] = {static_cast<int>(w.socket),
                          static_cast<short>((w.read ? POLLIN : 0) | (w.write ? POLLOUT : 0)), 0};
        }
        const int wait = static_cast<int>(std::clamp<long long>(timeout.count(), 0, INT_MAX));
        const int found = poll(polled_.data(), polled_.size(), wait);
        // A signal that does not end the process is a wake-up with nothing ready.
        if (found < 0 && errno != EINTR) return CodeOf(errno);
        ready = found < 0 ? 0 : found;
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            const short events = found < 0 ? 0 : polled_[i].revents;
            sockets[i].readable = (events & POLLIN) != 0;
            sockets[i].writable = (events & POLLOUT) != 0;
            sockets[i].failed = (events & (POLLERR | POLLHUP | POLLNVAL)) != 0;
        }
        return 0;
    }

    void Close(os::Socket socket) override { close(static_cast<int>(socket)); }

private:
    std::atomic<int> started_{0};
    // Kept between calls, so that a steady loop allocates nothing.
    std::vector<pollfd> polled_;
};

}  // namespace

Listener& RealListener() {
    static PosixListener listener;
    return listener;
}

}  // namespace os
