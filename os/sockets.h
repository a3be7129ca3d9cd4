// The sockets service: WinSock 1.1's calls, with WinSock's results and error numbering.
#pragma once

#include <cstdint>

namespace os {

// What WSAStartup hands back (WSADATA's fields as this program reads them).
struct WsaData {
    std::uint16_t wVersion = 0;
    std::uint16_t wHighVersion = 0;
    char szDescription[257] = {};
    char szSystemStatus[129] = {};
    std::uint16_t iMaxSockets = 0;
    std::uint16_t iMaxUdpDg = 0;
};

// A socket handle (SOCKET); InvalidSocket has all bits set.
using Socket = std::uintptr_t;
inline constexpr Socket InvalidSocket = ~Socket{0};

inline constexpr int SocketError = -1;

// WinSock error codes.
inline constexpr int WsaENotSock = 10038;
inline constexpr int WsaEFault = 10014;
inline constexpr int WsaVerNotSupported = 10092;
inline constexpr int WsaNotInitialised = 10093;

class Sockets {
public:
    virtual ~Sockets() = default;

    // WSAStartup: 0, or the error code itself (this call does not set the last error).
    virtual int Startup(std::uint16_t version, WsaData& data) = 0;
    // WSACleanup: 0 or SocketError.
    virtual int Cleanup() = 0;
    // gethostname: 0 or SocketError; a name that does not fit writes nothing.
    virtual int GetHostName(char* buffer, int length) = 0;
    // closesocket: 0 or SocketError.
    virtual int CloseSocket(Socket socket) = 0;
    // WSAGetLastError: the code of the failed call just made on this thread.
    virtual int GetLastError() = 0;
};

Sockets& RealSockets();

}  // namespace os
