// os::testing::LoopbackListener on POSIX: a listening socket bound to 127.0.0.1.
#include "os/testing/loopback_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace os::testing {

struct LoopbackListener::State {
    int fd = -1;
    std::uint16_t port = 0;
};

LoopbackListener::LoopbackListener(int backlog) : state_(std::make_unique<State>()) {
    state_->fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (state_->fd < 0 || bind(state_->fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(state_->fd, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        listen(state_->fd, backlog) != 0) {
        const std::string reason = std::strerror(errno);
        Close();
        throw std::runtime_error("cannot listen on 127.0.0.1: " + reason);
    }
    state_->port = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() { Close(); }

std::uint16_t LoopbackListener::Port() const { return state_->port; }

void LoopbackListener::Close() {
    if (state_->fd >= 0) close(state_->fd);
    state_->fd = -1;
}

}  // namespace os::testing
