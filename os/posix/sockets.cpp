// os::Sockets on POSIX: BSD sockets behind WinSock's results and numbering.
#include "os/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <set>
#include <string_view>

#include "os/posix/socket_rules.h"
#include "os/sockaddr.h"

namespace os {
namespace {

constexpr std::uint16_t Version22 = 0x0202;
// The largest UDP payload over IPv4: 65535 less the 20-byte IP and 8-byte UDP headers.
constexpr std::uint16_t MaxUdpDatagram = 65507;

struct ErrorRule {
    ErrorSource source;
    int error;
    int code;
};

// Every failure the calls below can meet, as WinSock numbers it.
constexpr ErrorRule ErrorRules[] = {
    {ErrorSource::Errno, EINTR, WsaEIntr},
    {ErrorSource::Errno, EACCES, WsaEAcces},
    {ErrorSource::Errno, EPERM, WsaEAcces},
    {ErrorSource::Errno, EFAULT, WsaEFault},
    {ErrorSource::Errno, EINVAL, WsaEInval},
    {ErrorSource::Errno, EMFILE, WsaEMFile},
    {ErrorSource::Errno, ENFILE, WsaEMFile},
    {ErrorSource::Errno, EINPROGRESS, WsaEInProgress},
    {ErrorSource::Errno, EALREADY, WsaEAlready},
    {ErrorSource::Errno, EBADF, WsaENotSock},
    {ErrorSource::Errno, ENOTSOCK, WsaENotSock},
    {ErrorSource::Errno, EPROTOTYPE, WsaEProtoType},
    {ErrorSource::Errno, ENOPROTOOPT, WsaENoProtoOpt},
    {ErrorSource::Errno, EPROTONOSUPPORT, WsaEProtoNoSupport},
    {ErrorSource::Errno, ESOCKTNOSUPPORT, WsaESocktNoSupport},
    {ErrorSource::Errno, EOPNOTSUPP, WsaEOpNotSupp},
    {ErrorSource::Errno, EAFNOSUPPORT, WsaEAfNoSupport},
    {ErrorSource::Errno, EADDRINUSE, WsaEAddrInUse},
    {ErrorSource::Errno, EADDRNOTAVAIL, WsaEAddrNotAvail},
    {ErrorSource::Errno, ENETDOWN, WsaENetDown},
    {ErrorSource::Errno, ENETUNREACH, WsaENetUnreach},
    {ErrorSource::Errno, ECONNABORTED, WsaEConnAborted},
    {ErrorSource::Errno, ECONNRESET, WsaEConnReset},
    {ErrorSource::Errno, ENOBUFS, WsaENoBufs},
    {ErrorSource::Errno, ENOMEM, WsaENoBufs},
    // A connect that finds no free local port; Windows reports that as lacking buffer space.
    {ErrorSource::Errno, EAGAIN, WsaENoBufs},
    {ErrorSource::Errno, EISCONN, WsaEIsConn},
    {ErrorSource::Errno, ETIMEDOUT, WsaETimedOut},
    {ErrorSource::Errno, ECONNREFUSED, WsaEConnRefused},
    {ErrorSource::Errno, ENAMETOOLONG, WsaENameTooLong},
    {ErrorSource::Errno, EHOSTDOWN, WsaEHostDown},
    {ErrorSource::Errno, EHOSTUNREACH, WsaEHostUnreach},
    {ErrorSource::Resolver, EAI_NONAME, WsaHostNotFound},
    {ErrorSource::Resolver, EAI_AGAIN, WsaTryAgain},
    {ErrorSource::Resolver, EAI_FAIL, WsaNoRecovery},
    {ErrorSource::Resolver, EAI_NODATA, WsaNoData},
    {ErrorSource::Resolver, EAI_ADDRFAMILY, WsaNoData},
    {ErrorSource::Resolver, EAI_MEMORY, WsaENoBufs},
};

const ErrorRule* FindRule(ErrorSource source, int error) {
    const auto* found = std::find_if(std::begin(ErrorRules), std::end(ErrorRules), [&](const ErrorRule& rule) {
        return rule.source == source && rule.error == error;
    });
    return found == std::end(ErrorRules) ? nullptr : found;
}

thread_local int lastError = 0;

int Fail(int code) {
    lastError = code;
    return SocketError;
}

int FailErrno(int error) { return Fail(WinsockErrorFrom(ErrorSource::Errno, error)); }

// Each socket is a descriptor, so the open-file limit bounds them; the field holds 16 bits.
std::uint16_t SocketLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > 0xFFFF) {
        return 0xFFFF;
    }
    return static_cast<std::uint16_t>(limit.rlim_cur);
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Parses one part of a dotted address from text[i]; false when there are no digits or too many.
bool ParsePart(const std::string& text, std::size_t& i, std::uint32_t& part) {
    unsigned base = 10;
    if (i < text.size() && text[i] == '0') {
        base = 8;  // the 0 is itself an octal digit
        if (i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            base = 16;
            i += 2;
        }
    }
    constexpr std::string_view Digits = "0123456789abcdef";
    const std::string_view digits = Digits.substr(0, base);
    const std::size_t start = i;
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const std::size_t digit = digits.find(LowerAscii(text[i]));
        if (digit == digits.npos) break;
        value = value * base + digit;
        if (value > 0xFFFFFFFF) return false;
    }
    part = static_cast<std::uint32_t>(value);
    return i > start;
}

class PosixSockets final : public Sockets {
public:
    explicit PosixSockets(std::chrono::milliseconds connectTimeLimit) : connectTimeLimit_(connectTimeLimit) {}

    int Startup(std::uint16_t version, WsaData& data) override {
        const unsigned major = version & 0xFF;
        const unsigned minor = version >> 8;
        // WinSock 2.2 serves any request from 1.1 up, at the version asked for (2.2 at most).
        if (major < 1 || (major == 1 && minor < 1)) return WsaVerNotSupported;
        data = WsaData{};
        data.wVersion = (major > 2 || (major == 2 && minor > 2)) ? Version22 : version;
        data.wHighVersion = Version22;
        utsname names{};
        if (uname(&names) == 0) {
            std::snprintf(data.szDescription, sizeof data.szDescription, "BSD sockets on %s %s", names.sysname,
                          names.release);
        } else {
            std::snprintf(data.szDescription, sizeof data.szDescription, "BSD sockets");
        }
        std::snprintf(data.szSystemStatus, sizeof data.szSystemStatus, "Running");
        data.iMaxSockets = SocketLimit();
        data.iMaxUdpDg = MaxUdpDatagram;
        ++started_;
        return 0;
    }

    int Cleanup() override {
        if (started_ == 0) return Fail(WsaNotInitialised);
        --started_;
        return 0;
    }

    int GetHostName(char* buffer, int length) override {
        if (started_ == 0) return Fail(WsaNotInitialised);
        char name[HOST_NAME_MAX + 1] = {};
        if (gethostname(name, sizeof name) != 0) return Fail(WsaEFault);
        const std::size_t needed = std::strlen(name) + 1;
        if (!buffer || length < 0 || needed > static_cast<std::size_t>(length)) return Fail(WsaEFault);
        std::memcpy(buffer, name, needed);
        return 0;
    }

    // WinSock reads the text up to its first zero byte.
    InAddr InetAddr(const std::string& text) override { return ParseDottedAddress(text.c_str()); }

    std::optional<HostEntry> GetHostByName(const std::string& name) override {
        if (started_ == 0) {
            Fail(WsaNotInitialised);
            return std::nullopt;
        }
        std::string wanted = name;
        if (wanted.empty()) {
            char local[HOST_NAME_MAX + 1] = {};
            if (gethostname(local, sizeof local) != 0) {
                FailErrno(errno);
                return std::nullopt;
            }
            wanted = local;
        }
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;  // one answer per address
        hints.ai_flags = AI_CANONNAME;
        addrinfo* found = nullptr;
        const int result = getaddrinfo(wanted.c_str(), nullptr, &hints, &found);
        const int savedErrno = errno;
        if (result != 0) {
            Fail(WinsockErrorFrom(ErrorSource::Resolver, result, savedErrno));
            return std::nullopt;
        }
        HostEntry entry;
        entry.name = found->ai_canonname ? found->ai_canonname : wanted;
        for (const addrinfo* info = found; info; info = info->ai_next) {
            if (info->ai_family != AF_INET) continue;
            sockaddr_in address{};
            std::memcpy(&address, info->ai_addr, sizeof address);
            const InAddr value = address.sin_addr.s_addr;
            if (std::find(entry.addresses.begin(), entry.addresses.end(), value) == entry.addresses.end()) {
                entry.addresses.push_back(value);
            }
        }
        freeaddrinfo(found);
        if (entry.addresses.empty()) {
            Fail(WsaNoData);
            return std::nullopt;
        }
        return entry;
    }

    std::string InetNtoa(InAddr address) override {
        in_addr value{};
        value.s_addr = address;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &value, text, sizeof text);
        return text;
    }

    os::Socket Socket(int family, int type, int protocol) override {
        if (started_ == 0) return FailSocket(WsaNotInitialised);
        if (family != AfInet && family != AfInet6) return FailSocket(WsaEAfNoSupport);
        int kind = 0;
        switch (type) {
        case SockStream:
            kind = SOCK_STREAM;
            break;
        case SockDgram:
            kind = SOCK_DGRAM;
            break;
        default:
            return FailSocket(WsaESocktNoSupport);
        }
        int fd = socket(family == AfInet6 ? AF_INET6 : AF_INET, kind | SOCK_CLOEXEC, protocol);
        if (fd < 0) return FailSocket(WinsockErrorFrom(ErrorSource::Errno, errno));
        if (fd == 0) {
            // WinSock never hands out 0, and callers take 0 for "no socket".
            const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
            const int error = errno;
            close(fd);
            if (moved < 0) return FailSocket(WinsockErrorFrom(ErrorSource::Errno, error));
            fd = moved;
        }
        const auto handle = static_cast<os::Socket>(fd);
        sockets_.insert(handle);
        return handle;
    }

    int SetSockOpt(os::Socket socket, int level, int option, const void* value, int length) override {
        if (started_ == 0) return Fail(WsaNotInitialised);
        if (!sockets_.contains(socket)) return Fail(WsaENotSock);
        std::int32_t on = 0;
        if (!value || length < static_cast<int>(sizeof on)) return Fail(WsaEFault);
        std::memcpy(&on, value, sizeof on);
        const int fd = static_cast<int>(socket);
        if (level == SolSocket && option == SoDontLinger16) {
            // Turning "don't linger" off lingers again, for the time set before.
            linger current{};
            socklen_t size = sizeof current;
            if (getsockopt(fd, SOL_SOCKET, SO_LINGER, &current, &size) != 0) return FailErrno(errno);
            current.l_onoff = on == 0 ? 1 : 0;
            if (setsockopt(fd, SOL_SOCKET, SO_LINGER, &current, sizeof current) != 0) return FailErrno(errno);
            return 0;
        }
        if (level == SolSocket && option == SoKeepAlive) {
            const int flag = on != 0 ? 1 : 0;
            if (setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &flag, sizeof flag) != 0) return FailErrno(errno);
            return 0;
        }
        return Fail(WsaENoProtoOpt);
    }

    std::uint16_t Htons(std::uint16_t value) override { return htons(value); }

    int Connect(os::Socket socket, const SockAddrIn* address, int length) override {
        if (started_ == 0) return Fail(WsaNotInitialised);
        if (!sockets_.contains(socket)) return Fail(WsaENotSock);
        if (!address || length < static_cast<int>(sizeof(SockAddrIn))) return Fail(WsaEFault);
        if (address->sin_family != AfInet) return Fail(WsaEAfNoSupport);
        // Linux would take these to mean this machine; WinSock refuses them.
        if (address->sin_addr == 0 || address->sin_port == 0) return Fail(WsaEAddrNotAvail);
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = address->sin_port;
        target.sin_addr.s_addr = address->sin_addr;

        // Blocking to the caller, but waited for here, so that it gives up when Windows would.
        return ConnectTo(static_cast<int>(socket), reinterpret_cast<const sockaddr*>(&target), sizeof target,
                         connectTimeLimit_);
    }

    int GetSockName(os::Socket socket, SockAddrIn* address, int* length) override {
        if (started_ == 0) return Fail(WsaNotInitialised);
        if (!sockets_.contains(socket)) return Fail(WsaENotSock);
        if (!address || !length || *length < static_cast<int>(sizeof(SockAddrIn))) return Fail(WsaEFault);
        sockaddr_in local{};
        socklen_t size = sizeof local;
        if (getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&local), &size) != 0) {
            return FailErrno(errno);
        }
        // WinSock refuses the name of a socket that is neither bound nor connected.
        if (local.sin_family != AF_INET || (local.sin_port == 0 && local.sin_addr.s_addr == 0)) {
            return Fail(WsaEInval);
        }
        *address = SockAddrIn{};
        address->sin_family = AfInet;
        address->sin_port = local.sin_port;
        address->sin_addr = local.sin_addr.s_addr;
        *length = sizeof(SockAddrIn);
        return 0;
    }

    int CloseSocket(os::Socket socket) override {
        if (started_ == 0) return Fail(WsaNotInitialised);
        // Only descriptors this service made are sockets; anything else must not be closed.
        if (sockets_.erase(socket) == 0) return Fail(WsaENotSock);
        close(static_cast<int>(socket));
        return 0;
    }

    int GetLastError() override { return lastError; }

    std::vector<IpAddress> GetIpv6Addresses(const std::string& name) override {
        std::vector<IpAddress> addresses;
        if (started_ == 0) {
            Fail(WsaNotInitialised);
            return addresses;
        }
        addrinfo hints{};
        hints.ai_family = AF_INET6;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int result = getaddrinfo(name.c_str(), nullptr, &hints, &found);
        const int savedErrno = errno;
        if (result != 0) {
            Fail(WinsockErrorFrom(ErrorSource::Resolver, result, savedErrno));
            return addresses;
        }
        addresses = Ipv6AddressesOf(found);
        freeaddrinfo(found);
        if (addresses.empty()) Fail(WsaNoData);
        return addresses;
    }

    std::string AddressText(const IpAddress& address) override { return AddressTextOf(address); }

    int ConnectWithin(os::Socket socket, const Endpoint& to, std::chrono::milliseconds limit) override {
        if (started_ == 0) return Fail(WsaNotInitialised);
        if (!sockets_.contains(socket)) return Fail(WsaENotSock);
        // As Connect: WinSock refuses port 0.
        if (to.port == 0) return Fail(WsaEAddrNotAvail);
        sockaddr_storage target{};
        const auto size = static_cast<socklen_t>(ToSockaddr(to, target));
        return ConnectTo(static_cast<int>(socket), reinterpret_cast<const sockaddr*>(&target), size, limit);
    }

    int GetLocalEndpoint(os::Socket socket, Endpoint& local) override {
        if (started_ == 0) return Fail(WsaNotInitialised);
        if (!sockets_.contains(socket)) return Fail(WsaENotSock);
        sockaddr_storage address{};
        socklen_t size = sizeof address;
        if (getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            return FailErrno(errno);
        }
        local = FromSockaddr(reinterpret_cast<const sockaddr*>(&address));
        return 0;
    }

    std::string InterfaceName(const IpAddress& address) override {
        ifaddrs* interfaces = nullptr;
        if (getifaddrs(&interfaces) != 0) return {};
        std::string name;
        for (const ifaddrs* item = interfaces; item && name.empty(); item = item->ifa_next) {
            const bool ip =
                item->ifa_addr && (item->ifa_addr->sa_family == AF_INET || item->ifa_addr->sa_family == AF_INET6);
            if (ip && FromSockaddr(item->ifa_addr).address == address) name = item->ifa_name;
        }
        freeifaddrs(interfaces);
        return name;
    }

    int ReceiveWithin(os::Socket socket, char* buffer, int length, std::chrono::milliseconds limit) override {
        if (started_ == 0) return Fail(WsaNotInitialised);
        if (!sockets_.contains(socket)) return Fail(WsaENotSock);
        if (!buffer || length < 0) return Fail(WsaEFault);
        pollfd watched{static_cast<int>(socket), POLLIN, 0};
        const int ready = poll(&watched, 1, static_cast<int>(limit.count()));
        if (ready < 0) return FailErrno(errno);
        if (ready == 0) return Fail(WsaETimedOut);
        const ssize_t got = recv(static_cast<int>(socket), buffer, static_cast<std::size_t>(length), 0);
        return got < 0 ? FailErrno(errno) : static_cast<int>(got);
    }

private:
    // A connect that the caller waits for, given up after `limit`: 0 or SocketError.
    static int ConnectTo(int fd, const sockaddr* target, socklen_t size, std::chrono::milliseconds limit) {
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return FailErrno(errno);
        int code = 0;
        if (connect(fd, target, size) != 0) {
            code = (errno == EINPROGRESS || errno == EINTR) ? AwaitConnect(fd, limit)
                                                            : WinsockErrorFrom(ErrorSource::Errno, errno);
        }
        fcntl(fd, F_SETFL, flags);
        return code == 0 ? 0 : Fail(code);
    }

    static os::Socket FailSocket(int code) {
        lastError = code;
        return InvalidSocket;
    }

    // Waits for a connect in progress: 0 when it completed, else the WinSock code of its failure.
    static int AwaitConnect(int fd, std::chrono::milliseconds limit) {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point deadline = Clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return WsaETimedOut;
            pollfd watched{fd, POLLOUT, 0};
            const int ready = poll(&watched, 1, static_cast<int>(left.count()));
            if (ready > 0) {
                int error = 0;
                socklen_t size = sizeof error;
                if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
                return error == 0 ? 0 : WinsockErrorFrom(ErrorSource::Errno, error);
            }
            if (ready < 0 && errno != EINTR) return WinsockErrorFrom(ErrorSource::Errno, errno);
        }
    }

    std::chrono::milliseconds connectTimeLimit_;
    int started_ = 0;
    std::set<os::Socket> sockets_;
};

}  // namespace

int WinsockErrorFrom(ErrorSource source, int error, int savedErrno) {
    if (source == ErrorSource::Resolver && error == EAI_SYSTEM) {
        const ErrorRule* rule = FindRule(ErrorSource::Errno, savedErrno);
        return rule ? rule->code : WsaNoRecovery;
    }
    if (const ErrorRule* rule = FindRule(source, error)) return rule->code;
    // Failures no rule foresees: the network layer failed, or the resolver could not answer.
    return source == ErrorSource::Errno ? WsaENetDown : WsaNoRecovery;
}

InAddr ParseDottedAddress(const std::string& text) {
    std::uint32_t parts[4] = {};
    std::size_t count = 0;
    std::size_t i = 0;
    for (;;) {
        if (count == 4 || !ParsePart(text, i, parts[count])) return InaddrNone;
        ++count;
        if (i < text.size() && text[i] == '.') {
            ++i;
            continue;
        }
        break;
    }
    // White space ends the address, and whatever follows it is not looked at.
    if (i != text.size() && !IsAsciiSpace(text[i])) return InaddrNone;
    // All parts but the last are one byte each; the last fills the bytes left.
    for (std::size_t k = 0; k + 1 < count; ++k) {
        if (parts[k] > 0xFF) return InaddrNone;
    }
    const unsigned lastBits = 32 - 8 * static_cast<unsigned>(count - 1);
    if (lastBits < 32 && parts[count - 1] >> lastBits != 0) return InaddrNone;
    std::uint32_t value = parts[count - 1];
    for (std::size_t k = 0; k + 1 < count; ++k) value |= parts[k] << (24 - 8 * k);
    return htonl(value);
}

std::unique_ptr<Sockets> NewPosixSockets(std::chrono::milliseconds connectTimeLimit) {
    return std::make_unique<PosixSockets>(connectTimeLimit);
}

Sockets& RealSockets() {
    static PosixSockets sockets(WindowsConnectTimeLimit);
    return sockets;
}

}  // namespace os
