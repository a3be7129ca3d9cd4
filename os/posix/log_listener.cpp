// os::testing::LogListener: a bound, non-blocking unix datagram socket.
#include "os/testing/log_listener.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace os::testing {

LogListener::LogListener() : path_(dir_ / "log") {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long: " + path_);
    std::memcpy(address.sun_path, path_.data(), path_.size());
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const std::string why = std::strerror(errno);
        if (fd_ >= 0) close(fd_);
        throw std::runtime_error("cannot bind " + path_ + ": " + why);
    }
}

LogListener::~LogListener() { close(fd_); }

std::vector<std::string> LogListener::Received() {
    std::vector<std::string> datagrams;
    std::string buffer(65536, '\0');
    for (;;) {
        const ssize_t n = recv(fd_, buffer.data(), buffer.size(), 0);
        if (n < 0) break;
        datagrams.emplace_back(buffer.data(), static_cast<std::size_t>(n));
    }
    return datagrams;
}

}  // namespace os::testing
