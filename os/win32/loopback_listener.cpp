// os::testing::LoopbackListener on Windows: a WinSock listening socket bound to 127.0.0.1.
#include "os/testing/loopback_listener.h"

#include <winsock2.h>

#include <stdexcept>
#include <string>

namespace os::testing {

// The listener starts WinSock for itself, so it works whoever else has started or cleaned up.
struct LoopbackListener::State {
    bool started = false;
    SOCKET socket = INVALID_SOCKET;
    std::uint16_t port = 0;
};

LoopbackListener::LoopbackListener(int backlog) : state_(std::make_unique<State>()) {
    WSADATA data{};
    state_->started = WSAStartup(0x0202, &data) == 0;
    if (state_->started) state_->socket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (state_->socket == INVALID_SOCKET ||
        bind(state_->socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(state_->socket, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        listen(state_->socket, backlog) != 0) {
        const std::string reason = std::to_string(WSAGetLastError());
        Close();
        if (state_->started) WSACleanup();
        state_->started = false;
        throw std::runtime_error("cannot listen on 127.0.0.1: WinSock error " + reason);
    }
    state_->port = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() {
    Close();
    if (state_->started) WSACleanup();
}

std::uint16_t LoopbackListener::Port() const { return state_->port; }

void LoopbackListener::Close() {
    if (state_->socket != INVALID_SOCKET) closesocket(state_->socket);
    state_->socket = INVALID_SOCKET;
}

}  // namespace os::testing
