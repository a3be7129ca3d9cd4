// os::testing::LoopbackClients on POSIX: TCP sockets connected to 127.0.0.1 or ::1, read with poll(2).
#include "os/testing/loopback_clients.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "os/sockaddr.h"

namespace os::testing {

struct LoopbackClients::State {
    std::vector<int> fds;  // -1 once closed
    std::vector<Answer> answers;
};

LoopbackClients::LoopbackClients(IpFamily family, std::uint16_t port, std::size_t count)
    : state_(std::make_unique<State>()) {
    sockaddr_storage address{};
    const auto size =
        static_cast<socklen_t>(ToSockaddr({LoopbackAddress(family == IpFamily::V4 ? AfInet : AfInet6), port}, address));
    for (std::size_t i = 0; i < count; ++i) {
        Answer answer;
        answer.connected = Clock::now();
        const int fd = socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0 ||
            fcntl(fd, F_SETFL, O_NONBLOCK) != 0) {
            const std::string reason = std::strerror(errno);
            if (fd >= 0) close(fd);
            throw std::runtime_error("connection " + std::to_string(i + 1) + " to the loopback port " +
                                     std::to_string(port) + " failed: " + reason);
        }
        state_->fds.push_back(fd);
        state_->answers.push_back(answer);
    }
}

LoopbackClients::~LoopbackClients() {
    for (std::size_t i = 0; i < state_->fds.size(); ++i) Close(i);
}

const std::vector<LoopbackClients::Answer>& LoopbackClients::Read(std::size_t atMost, std::chrono::milliseconds wait) {
    const Clock::time_point end = Clock::now() + wait;
    std::vector<pollfd> polled;
    std::vector<std::size_t> which;
    for (;;) {
        polled.clear();
        which.clear();
        for (std::size_t i = 0; i < state_->fds.size(); ++i) {
            const Answer& answer = state_->answers[i];
            if (state_->fds[i] < 0 || answer.ended || answer.text.size() >= atMost) continue;
            polled.push_back({state_->fds[i], POLLIN, 0});
            which.push_back(i);
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
        if (polled.empty() || left.count() <= 0) return state_->answers;
        if (poll(polled.data(), polled.size(), static_cast<int>(left.count())) < 0 && errno != EINTR) {
            throw std::runtime_error(std::string("poll failed: ") + std::strerror(errno));
        }
        for (std::size_t k = 0; k < polled.size(); ++k) {
            if (polled[k].revents == 0) continue;
            Answer& answer = state_->answers[which[k]];
            char buffer[256];
            const std::size_t room = std::min(sizeof buffer, atMost - answer.text.size());
            const ssize_t got = recv(polled[k].fd, buffer, room, 0);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
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
    const int fd = state_->fds.at(index);
    return fd >= 0 && send(fd, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
}

void LoopbackClients::Close(std::size_t index) {
    int& fd = state_->fds.at(index);
    if (fd >= 0) close(fd);
    fd = -1;
}

}  // namespace os::testing
