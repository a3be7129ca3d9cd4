// The rules by which the POSIX sockets service gives WinSock's answers: error codes, dotted texts,
// and a service whose connect gives up after a chosen time.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "os/sockets.h"

namespace os {

// Where a failure was reported: errno, or getaddrinfo's result.
enum class ErrorSource { Errno, Resolver };

// The WinSock code a Windows workstation would show for a failure; savedErrno is errno as it was
// when getaddrinfo answered EAI_SYSTEM.
int WinsockErrorFrom(ErrorSource source, int error, int savedErrno = 0);

// inet_addr's parse: one to four parts, each decimal, octal (leading 0) or hex (0x), the last part
// filling the bytes left, ended by the text's end or white space; InaddrNone for anything else.
InAddr ParseDottedAddress(const std::string& text);

// How long connect waits for an answer before it fails with WsaETimedOut: the span of Windows'
// default SYN retries, instead of the Linux kernel's two minutes.
inline constexpr std::chrono::milliseconds WindowsConnectTimeLimit{21000};

// A service of its own (its own start-up count), whose connect gives up after the given time.
std::unique_ptr<Sockets> NewPosixSockets(std::chrono::milliseconds connectTimeLimit);

}  // namespace os
