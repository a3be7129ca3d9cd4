// The sockets service: WinSock 1.1's calls, with WinSock's results and error numbering.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// An IPv4 address in network byte order; InaddrNone is what inet_addr gives for a text it refuses.
using InAddr = std::uint32_t;
inline constexpr InAddr InaddrNone = 0xFFFFFFFF;

// sockaddr_in: 16 bytes; the family in host order, port and address in network byte order.
struct SockAddrIn {
    std::uint16_t sin_family = 0;
    std::uint16_t sin_port = 0;
    InAddr sin_addr = 0;
    char sin_zero[8] = {};
};
static_assert(sizeof(SockAddrIn) == 16);

// What gethostbyname found: the official name and the IPv4 addresses, never an empty list.
struct HostEntry {
    std::string name;
    std::vector<InAddr> addresses;
};

inline constexpr int AfInet = 2;
inline constexpr int SockStream = 1;
inline constexpr int SockDgram = 2;
inline constexpr int SolSocket = 0xFFFF;
inline constexpr int SoKeepAlive = 8;
// SO_DONTLINGER (~SO_LINGER) in its 16-bit form: turns lingering on close off.
inline constexpr int SoDontLinger16 = 0xFF7F;

// WinSock error codes.
inline constexpr int WsaEIntr = 10004;
inline constexpr int WsaEAcces = 10013;
inline constexpr int WsaEFault = 10014;
inline constexpr int WsaEInval = 10022;
inline constexpr int WsaEMFile = 10024;
inline constexpr int WsaEInProgress = 10036;
inline constexpr int WsaEAlready = 10037;
inline constexpr int WsaENotSock = 10038;
inline constexpr int WsaEProtoType = 10041;
inline constexpr int WsaENoProtoOpt = 10042;
inline constexpr int WsaEProtoNoSupport = 10043;
inline constexpr int WsaESocktNoSupport = 10044;
inline constexpr int WsaEOpNotSupp = 10045;
inline constexpr int WsaEAfNoSupport = 10047;
inline constexpr int WsaEAddrInUse = 10048;
inline constexpr int WsaEAddrNotAvail = 10049;
inline constexpr int WsaENetDown = 10050;
inline constexpr int WsaENetUnreach = 10051;
inline constexpr int WsaEConnAborted = 10053;
inline constexpr int WsaEConnReset = 10054;
inline constexpr int WsaENoBufs = 10055;
inline constexpr int WsaEIsConn = 10056;
inline constexpr int WsaETimedOut = 10060;
inline constexpr int WsaEConnRefused = 10061;
inline constexpr int WsaENameTooLong = 10063;
inline constexpr int WsaEHostDown = 10064;
inline constexpr int WsaEHostUnreach = 10065;
inline constexpr int WsaVerNotSupported = 10092;
inline constexpr int WsaNotInitialised = 10093;
inline constexpr int WsaHostNotFound = 11001;
inline constexpr int WsaTryAgain = 11002;
inline constexpr int WsaNoRecovery = 11003;
inline constexpr int WsaNoData = 11004;

// The conversions (InetAddr, InetNtoa, Htons) work without start-up, as WinSock's do; every other
// call fails with WsaNotInitialised until Startup has succeeded.
class Sockets {
public:
    virtual ~Sockets() = default;

    // WSAStartup: 0, or the error code itself (this call does not set the last error).
    virtual int Startup(std::uint16_t version, WsaData& data) = 0;
    // WSACleanup: 0 or SocketError.
    virtual int Cleanup() = 0;
    // gethostname: 0 or SocketError; a name that does not fit writes nothing.
    virtual int GetHostName(char* buffer, int length) = 0;
    // inet_addr: the dotted address in network byte order, or InaddrNone.
    virtual InAddr InetAddr(const std::string& text) = 0;
    // gethostbyname (an empty name is the local host): the entry, or nothing with the last error set.
    virtual std::optional<HostEntry> GetHostByName(const std::string& name) = 0;
    // inet_ntoa: the address as dotted text.
    virtual std::string InetNtoa(InAddr address) = 0;
    // socket: a handle, or InvalidSocket.
    virtual os::Socket Socket(int family, int type, int protocol) = 0;
    // setsockopt: 0 or SocketError.
    virtual int SetSockOpt(os::Socket socket, int level, int option, const void* value, int length) = 0;
    // htons.
    virtual std::uint16_t Htons(std::uint16_t value) = 0;
    // connect, blocking: 0 or SocketError.
    virtual int Connect(os::Socket socket, const SockAddrIn* address, int length) = 0;
    // closesocket: 0 or SocketError.
    virtual int CloseSocket(os::Socket socket) = 0;
    // WSAGetLastError: the code of the failed call just made on this thread.
    virtual int GetLastError() = 0;
};

Sockets& RealSockets();

}  // namespace os
