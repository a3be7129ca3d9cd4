// os::testing::LoopbackClients on Windows: WinSock sockets connected to 127.0.0.1 or ::1, read with
// WSAPoll.
#include "os/testing/loopback_clients.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <stdexcept>

#include "os/sockaddr.h"

namespace os::testing {

// The clients start WinSock for themselves, so they work whoever else has started or cleaned up.
struct LoopbackClients::State {
    bool started = false;
    std::vector<SOCKET> sockets;  // INVALID_SOCKET once closed
    std::vector<Answer> answers;
};

LoopbackClients::LoopbackClients(IpFamily family, std::uint16_t port, std::size_t count)
    : state_(std::make_unique<State>()) {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WinSock did not start");
    state_->started = true;
    sockaddr_storage address{};
    const auto size =
        static_cast<int>(ToSockaddr({LoopbackAddress(family == IpFamily::V4 ? AfInet : AfInet6), port}, address));
    for (std::size_t i = 0; i < count; ++i) {
        Answer answer;
        answer.connected = Clock::now();
        const SOCKET handle = socket(address.ss_family, SOCK_STREAM, IPPROTO_TCP);
        u_long nonBlocking = 1;
        if (handle == INVALID_SOCKET || connect(handle, reinterpret_cast<const sockaddr*>(&address), size) != 0 ||
            ioctlsocket(handle, FIONBIO, &nonBlocking) != 0) {
            const std::string reason = std::to_string(WSAGetLastError());
            if (handle != INVALID_SOCKET) closesocket(handle);
            for (std::size_t k = 0; k < state_->sockets.size(); ++k) Close(k);
            WSACleanup();
            throw std::runtime_error("connection " + std::to_string(i + 1) + " to the loopback port " +
                                     std::to_string(port) + " failed: WinSock error " + reason);
        }
        state_->sockets.push_back(handle);
        state_->answers.push_back(answer);
    }
}

LoopbackClients::~LoopbackClients() {
    for (std::size_t i = 0; i < state_->sockets.size(); ++i) Close(i);
    WSACleanup();
}

const std::vector<LoopbackClients::Answer>& LoopbackClients::Read(std::size_t atMost, std::chrono::milliseconds wait) {
    const Clock::time_point end = Clock::now() + wait;
    std::vector<WSAPOLLFD> polled;
    std::vector<std::size_t> which;
    for (;;) {
        polled.clear();
        which.clear();
        for (std::size_t i = 0; i < state_->sockets.size(); ++i) {
            const Answer& answer = state_->answers[i];
            if (state_->sockets[i] == INVALID_SOCKET || answer.ended || answer.text.size() >= atMost) continue;
            polled.push_back({state_->sockets[i], POLLRDNORM, 0});
            which.push_back(i);
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
        if (polled.empty() || left.count() <= 0) return state_->answers;
        if (WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), static_cast<INT>(left.count())) == SOCKET_ERROR) {
            throw std::runtime_error("WSAPoll failed: WinSock error " + std::to_string(WSAGetLastError()));
        }
        for (std::size_t k = 0; k < polled.size(); ++k) {
            if (polled[k].revents == 0) continue;
            Answer& answer = state_->answers[which[k]];
            char buffer[256];
            const int room = static_cast<int>(std::min(sizeof buffer, atMost - answer.text.size()));
            const int got = recv(polled[k].fd, buffer, room, 0);
            if (got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) continue;
            answer.last = Clock::now();
            if (got <= 0) {
                answer.ended = true;
            } else {
                answer.text.append(buffer, static_cast<std::size_t>(got));
            }
        }
    }
}

bool LoopbackClients::Send(std::size_t index, std::string_view data) {
    const SOCKET handle = state_->sockets.at(index);
    return handle != INVALID_SOCKET &&
           send(handle, data.data(), static_cast<int>(data.size()), 0) == static_cast<int>(data.size());
}

void LoopbackClients::Close(std::size_t index) {
    SOCKET& handle = state_->sockets.at(index);
    if (handle != INVALID_SOCKET) closesocket(handle);
    handle = INVALID_SOCKET;
}

}  // namespace os::testing
