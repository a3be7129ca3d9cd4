// The system log service: records of security events in the log the system keeps for its
// administrators (Windows' Application event log; the POSIX system log, syslog).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "os/errors.h"

namespace os {

// How a record is classed: Information or Warning on Windows, notice or warning in syslog.
enum class LogLevel { Notice, Warning };

// The longest record text a log takes: well inside one syslog datagram and one event-log string.
inline constexpr std::size_t MaxLogText = 4096;

// A text a log takes: one line of 1 to MaxLogText bytes without control characters, neither ASCII's
// (below 0x20, 0x7F) nor the C1 controls in UTF-8 (U+0080 to U+009F), so no record can split into
// two or carry a terminal's escape sequence.
inline bool IsLogLine(std::string_view text) {
    if (text.empty() || text.size() > MaxLogText) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) return false;
        if (byte == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) {
            return false;
        }
    }
    return true;
}

class SystemLog {
public:
    virtual ~SystemLog() = default;

    // Writes one record of UTF-8 `text` at `level`; `eventId` is its kind where the system keeps one
    // (the event ID and message of the program's message table on Windows; syslog has no such field).
    // Gives ErrorSuccess; ErrorInvalidParameter, writing nothing, for a text that is not IsLogLine;
    // otherwise the Windows error code of the system's failure. Never throws, never waits long.
    virtual long Write(LogLevel level, std::uint16_t eventId, std::string_view text) = 0;
};

// The system's own log. Windows: the Application event log, under the event source the installer
// registers (CORVIX_EVENT_SOURCE, whose messages are in the window's program). POSIX: RFC 3164
// datagrams to /dev/log, facility authpriv, tagged with the program's name and process id.
SystemLog& RealSystemLog();

}  // namespace os
