// The sockets service: WinSock 1.1's calls, with WinSock's results and error numbering.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "os/errors.h"

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
inline constexpr int AfInet6 = 23;
inline constexpr int SockStream = 1;
inline constexpr int SockDgram = 2;
inline constexpr int SolSocket = 0xFFFF;
inline constexpr int SoKeepAlive = 8;
// SO_DONTLINGER (~SO_LINGER) in its 16-bit form: turns lingering on close off.
inline constexpr int SoDontLinger16 = 0xFF7F;

// An address of either family: IPv4 in the first four bytes, in network byte order, or IPv6.
struct IpAddress {
    int family = AfInet;
    std::array<std::uint8_t, 16> bytes{};

    static IpAddress V4(InAddr address) {
        IpAddress ip;
        for (std::size_t i = 0; i < 4; ++i) ip.bytes[i] = static_cast<std::uint8_t>(address >> (8 * i));
        return ip;
    }
    bool operator==(const IpAddress&) const = default;
};

// An address and a port (in host byte order).
struct Endpoint {
    IpAddress address;
    std::uint16_t port = 0;
};

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
    // getsockname: the local end of a bound or connected socket; 0 or SocketError.
    virtual int GetSockName(os::Socket socket, SockAddrIn* address, int* length) = 0;
    // closesocket: 0 or SocketError.
    virtual int CloseSocket(os::Socket socket) = 0;
    // WSAGetLastError: the code of the failed call just made on this thread.
    virtual int GetLastError() = 0;

    // getaddrinfo for the name's IPv6 addresses, in the resolver's order; empty, with the last error
    // set, when it has none.
    virtual std::vector<IpAddress> GetIpv6Addresses(const std::string& name) = 0;
    // inet_ntop: the address as text ("127.0.0.1", "::1").
    virtual std::string AddressText(const IpAddress& address) = 0;
    // connect to an address of the socket's family, giving up after `limit` with WsaETimedOut: 0 or
    // SocketError.
    virtual int ConnectWithin(os::Socket socket, const Endpoint& to, std::chrono::milliseconds limit) = 0;
    // getsockname: the address and port the system gave the socket; 0 or SocketError.
    virtual int GetLocalEndpoint(os::Socket socket, Endpoint& local) = 0;
    // The name of the network interface that holds `address`; empty when none does.
    virtual std::string InterfaceName(const IpAddress& address) = 0;
    // recv, waiting at most `limit`: the number of bytes read (0 once the peer has closed), or
    // SocketError, with WsaETimedOut when nothing came in time.
    virtual int ReceiveWithin(os::Socket socket, char* buffer, int length, std::chrono::milliseconds limit) = 0;
};

Sockets& RealSockets();

}  // namespace os
