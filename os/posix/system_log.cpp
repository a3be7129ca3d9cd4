// os::SystemLog on POSIX: RFC 3164 datagrams to the system log's socket, /dev/log.
#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "os/posix/error_rules.h"
#include "os/posix/syslog_socket.h"

namespace os::posix {
namespace {

constexpr int SeverityWarning = 4;
constexpr int SeverityNotice = 5;

// "<PRI>Mmm dd hh:mm:ss TAG[PID]: ", as syslog(3) starts a record for the local socket: the month's
// English name whatever the locale, the day padded with a space.
std::string Header(LogLevel level, const std::string& tag) {
    static constexpr const char* Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int priority = FacilityAuthpriv * 8 + (level == LogLevel::Warning ? SeverityWarning : SeverityNotice);
    const time_t now = time(nullptr);
    tm t{};
    localtime_r(&now, &t);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%s %2d %02d:%02d:%02d", Months[t.tm_mon % 12], t.tm_mday, t.tm_hour, t.tm_min,
                  t.tm_sec);
    return "<" + std::to_string(priority) + ">" + stamp + " " + tag + "[" + std::to_string(getpid()) + "]: ";
}

// One datagram on a connected, non-blocking socket; a full queue is waited for, but not for long.
long Send(int fd, const std::string& datagram) {
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        if (send(fd, datagram.data(), datagram.size(), MSG_NOSIGNAL) >= 0) return ErrorSuccess;
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return ErrorFromErrno(errno);
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long waited = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (waited >= SyslogSocket::SendWaitMilliseconds) return ErrorFromErrno(EAGAIN);
        pollfd ready{fd, POLLOUT, 0};
        poll(&ready, 1, static_cast<int>(SyslogSocket::SendWaitMilliseconds - waited));
    }
}

}  // namespace

SyslogSocket::SyslogSocket(std::string socketPath, std::string tag)
    : socketPath_(std::move(socketPath)), tag_(std::move(tag)) {}

long SyslogSocket::Write(LogLevel level, std::uint16_t, std::string_view text) {
    if (!IsLogLine(text)) return ErrorInvalidParameter;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath_.size() >= sizeof address.sun_path) return ErrorFilenameExcedRange;
    std::memcpy(address.sun_path, socketPath_.data(), socketPath_.size());
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return ErrorFromErrno(errno);
    long result = ErrorSuccess;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        result = ErrorFromErrno(errno);
    } else {
        result = Send(fd, Header(level, tag_) + std::string(text));
    }
    close(fd);
    return result;
}

}  // namespace os::posix

namespace os {

SystemLog& RealSystemLog() {
    // Tagged as syslog(3) tags by default: the name the program was started by.
    static posix::SyslogSocket log(std::string(posix::DefaultLogSocket), program_invocation_short_name);
    return log;
}

}  // namespace os
