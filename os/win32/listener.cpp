// os::Listener on Windows: WinSock 2.2 and WSAPoll.
#include "os/listener.h"

// winsock2.h first: windows.h would otherwise bring in the old winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "os/sockaddr.h"

namespace os {
namespace {

int LastCode() { return WSAGetLastError(); }

class WinListener final : public Listener {
public:
    int Startup() override {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data);
    }

    void Cleanup() override { WSACleanup(); }

    int Open(IpFamily family, std::uint16_t& port, os::Socket& listening) override {
        const int domain = family == IpFamily::V4 ? AF_INET : AF_INET6;
        const SOCKET handle = socket(domain, SOCK_STREAM, IPPROTO_TCP);
        if (handle == INVALID_SOCKET) return LastCode();
        sockaddr_storage address{};
        auto size =
            static_cast<int>(ToSockaddr({AnyAddress(family == IpFamily::V4 ? AfInet : AfInet6), port}, address));
        // Windows' own default, said outright: IPv4 connections come to the IPv4 socket.
        const DWORD on = 1;
        u_long nonBlocking = 1;
        const bool done =
            (family == IpFamily::V4 ||
             setsockopt(handle, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof on) == 0) &&
            ioctlsocket(handle, FIONBIO, &nonBlocking) == 0 &&
            bind(handle, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            getsockname(handle, reinterpret_cast<sockaddr*>(&address), &size) == 0 && listen(handle, SOMAXCONN) == 0;
        if (!done) {
            const int code = LastCode();
            closesocket(handle);
            return code;
        }
        port = FromSockaddr(reinterpret_cast<const sockaddr*>(&address)).port;
        listening = static_cast<os::Socket>(handle);
        return 0;
    }

    // An accepted socket takes the listening socket's non-blocking mode.
    int Accept(os::Socket listening, os::Socket& accepted, Peer& peer) override {
        sockaddr_storage address{};
        int size = sizeof address;
        const SOCKET handle = accept(static_cast<SOCKET>(listening), reinterpret_cast<sockaddr*>(&address), &size);
        if (handle == INVALID_SOCKET) return LastCode();
        const Endpoint from = FromSockaddr(reinterpret_cast<const sockaddr*>(&address));
        peer.address = AddressTextOf(from.address);
        peer.port = from.port;
        accepted = static_cast<os::Socket>(handle);
        return 0;
    }

    int Send(os::Socket socket, std::string_view data, std::size_t& sent) override {
        const int length = static_cast<int>(std::min<std::size_t>(data.size(), INT_MAX));
        const int written = send(static_cast<SOCKET>(socket), data.data(), length, 0);
        if (written == SOCKET_ERROR) return LastCode();
        sent = static_cast<std::size_t>(written);
        return 0;
    }

    int Receive(os::Socket socket, std::span<char> buffer, std::size_t& received) override {
        const int length = static_cast<int>(std::min<std::size_t>(buffer.size(), INT_MAX));
        const int got = recv(static_cast<SOCKET>(socket), buffer.data(), length, 0);
        if (got == SOCKET_ERROR) return LastCode();
        received = static_cast<std::size_t>(got);
        return 0;
    }

    int EndSending(os::Socket socket) override {
        return shutdown(static_cast<SOCKET>(socket), SD_SEND) == 0 ? 0 : LastCode();
    }

    int Poll(std::span<Watched> sockets, std::chrono::milliseconds timeout, int& ready) override {
        const int wait = static_cast<int>(std::clamp<long long>(timeout.count(), 0, INT_MAX));
        ready = 0;
        // WSAPoll refuses an empty set.
        if (sockets.empty()) {
            Sleep(static_cast<DWORD>(wait));
            return 0;
        }
        polled_.resize(sockets.size());
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            const Watched& w = sockets[i];
            polled_[i] = {static_cast<SOCKET>(w.socket),
                          static_cast<SHORT>((w.read ? POLLRDNORM : 0) | (w.write ? POLLWRNORM : 0)), 0};
        }
        const int found = WSAPoll(polled_.data(), static_cast<ULONG>(polled_.size()), wait);
        if (found == SOCKET_ERROR) return LastCode();
        ready = found;
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            const SHORT events = polled_[i].revents;
            sockets[i].readable = (events & POLLRDNORM) != 0;
            sockets[i].writable = (events & POLLWRNORM) != 0;
            sockets[i].failed = (events & (POLLERR | POLLHUP | POLLNVAL)) != 0;
        }
        return 0;
    }

    void Close(os::Socket socket) override { closesocket(static_cast<SOCKET>(socket)); }

private:
    // Kept between calls, so that a steady loop allocates nothing.
    std::vector<WSAPOLLFD> polled_;
};

}  // namespace

Listener& RealListener() {
    static WinListener listener;
    return listener;
}

}  // namespace os
