// os::SystemLog on POSIX: the system log's own socket, written as syslog(3) writes it, but with a
// result: RFC 3164 datagrams ("<PRI>Mmm dd hh:mm:ss TAG[PID]: TEXT") to a unix datagram socket.
#pragma once

#include <string>
#include <string_view>

#include "os/system_log.h"

namespace os::posix {

inline constexpr std::string_view DefaultLogSocket = "/dev/log";

// The facility of every record: authpriv (10), security and authorisation messages kept out of the
// logs every user may read (Debian's rsyslog writes them to /var/log/auth.log only).
inline constexpr int FacilityAuthpriv = 10;

class SyslogSocket final : public SystemLog {
public:
    // Records go to the socket at `socketPath`, tagged `tag`.
    SyslogSocket(std::string socketPath, std::string tag);

    // A full receive queue is waited for at most SendWaitMilliseconds, then the record is given up
    // (ErrorLockViolation): the system log's daemon may hang, the program must not.
    long Write(LogLevel level, std::uint16_t eventId, std::string_view text) override;

    static constexpr int SendWaitMilliseconds = 1000;

private:
    std::string socketPath_;
    std::string tag_;
};

}  // namespace os::posix
