// os::Sockets on Windows: WinSock itself.
#include "os/sockets.h"

#include <winsock2.h>
// After <winsock2.h>, which they need.
#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "os/sockaddr.h"

namespace os {
namespace {

static_assert(sizeof(SockAddrIn) == sizeof(sockaddr_in));
static_assert(offsetof(SockAddrIn, sin_port) == offsetof(sockaddr_in, sin_port));
static_assert(offsetof(SockAddrIn, sin_addr) == offsetof(sockaddr_in, sin_addr));

class WinSockets final : public Sockets {
public:
    int Startup(std::uint16_t version, WsaData& data) override {
        WSADATA wsa{};
        const int result = WSAStartup(version, &wsa);
        if (result != 0) return result;
        data.wVersion = wsa.wVersion;
        data.wHighVersion = wsa.wHighVersion;
        static_assert(sizeof data.szDescription == sizeof wsa.szDescription);
        static_assert(sizeof data.szSystemStatus == sizeof wsa.szSystemStatus);
        std::memcpy(data.szDescription, wsa.szDescription, sizeof data.szDescription);
        std::memcpy(data.szSystemStatus, wsa.szSystemStatus, sizeof data.szSystemStatus);
        data.iMaxSockets = wsa.iMaxSockets;
        data.iMaxUdpDg = wsa.iMaxUdpDg;
        return 0;
    }

    int Cleanup() override { return WSACleanup(); }

    int GetHostName(char* buffer, int length) override { return gethostname(buffer, length); }

    InAddr InetAddr(const std::string& text) override { return inet_addr(text.c_str()); }

    std::optional<HostEntry> GetHostByName(const std::string& name) override {
        const hostent* found = gethostbyname(name.c_str());
        if (!found) return std::nullopt;
        if (!found->h_addr_list[0]) {
            WSASetLastError(WSANO_DATA);
            return std::nullopt;
        }
        HostEntry entry;
        entry.name = found->h_name ? found->h_name : "";
        for (char** address = found->h_addr_list; *address; ++address) {
            InAddr value = 0;
            std::memcpy(&value, *address, sizeof value);
            entry.addresses.push_back(value);
        }
        return entry;
    }

    std::string InetNtoa(InAddr address) override {
        in_addr value{};
        value.s_addr = address;
        const char* text = inet_ntoa(value);
        return text ? text : "";
    }

    os::Socket Socket(int family, int type, int protocol) override { return socket(family, type, protocol); }

    int SetSockOpt(os::Socket socket, int level, int option, const void* value, int length) override {
        return setsockopt(static_cast<SOCKET>(socket), level, option, static_cast<const char*>(value), length);
    }

    std::uint16_t Htons(std::uint16_t value) override { return htons(value); }

    int Connect(os::Socket socket, const SockAddrIn* address, int length) override {
        return connect(static_cast<SOCKET>(socket), reinterpret_cast<const sockaddr*>(address), length);
    }

    int GetSockName(os::Socket socket, SockAddrIn* address, int* length) override {
        return getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(address), length);
    }

    int CloseSocket(os::Socket socket) override { return closesocket(static_cast<SOCKET>(socket)); }

    int GetLastError() override { return WSAGetLastError(); }

    std::vector<IpAddress> GetIpv6Addresses(const std::string& name) override {
        std::vector<IpAddress> addresses;
        addrinfo hints{};
        hints.ai_family = AF_INET6;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (const int result = getaddrinfo(name.c_str(), nullptr, &hints, &found); result != 0) {
            WSASetLastError(result);
            return addresses;
        }
        addresses = Ipv6AddressesOf(found);
        freeaddrinfo(found);
        if (addresses.empty()) WSASetLastError(WSANO_DATA);
        return addresses;
    }

    std::string AddressText(const IpAddress& address) override { return AddressTextOf(address); }

    int ConnectWithin(os::Socket socket, const Endpoint& to, std::chrono::milliseconds limit) override {
        const auto handle = static_cast<SOCKET>(socket);
        sockaddr_storage target{};
        const int size = ToSockaddr(to, target);
        u_long on = 1;
        if (ioctlsocket(handle, FIONBIO, &on) != 0) return SOCKET_ERROR;
        int code = 0;
        if (connect(handle, reinterpret_cast<const sockaddr*>(&target), size) != 0) {
            code = WSAGetLastError();
            if (code == WSAEWOULDBLOCK) code = AwaitConnect(handle, limit);
        }
        u_long off = 0;
        ioctlsocket(handle, FIONBIO, &off);
        if (code == 0) return 0;
        WSASetLastError(code);
        return SOCKET_ERROR;
    }

    int GetLocalEndpoint(os::Socket socket, Endpoint& local) override {
        sockaddr_storage address{};
        int size = sizeof address;
        if (getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            return SOCKET_ERROR;
        }
        local = FromSockaddr(reinterpret_cast<const sockaddr*>(&address));
        return 0;
    }

    std::string InterfaceName(const IpAddress& address) override {
        ULONG size = 16 * 1024;
        std::vector<unsigned char> buffer;
        ULONG result = ERROR_BUFFER_OVERFLOW;
        for (int tries = 0; tries < 3 && result == ERROR_BUFFER_OVERFLOW; ++tries) {
            buffer.resize(size);
            result = GetAdaptersAddresses(AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST, nullptr,
                                          reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
        }
        if (result != NO_ERROR) return {};
        for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter; adapter = adapter->Next) {
            for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
                if (FromSockaddr(unicast->Address.lpSockaddr).address == address) return Narrow(adapter->FriendlyName);
            }
        }
        return {};
    }

    int ReceiveWithin(os::Socket socket, char* buffer, int length, std::chrono::milliseconds limit) override {
        const auto handle = static_cast<SOCKET>(socket);
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(handle, &readable);
        timeval wait{static_cast<long>(limit.count() / 1000), static_cast<long>(limit.count() % 1000 * 1000)};
        const int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready == SOCKET_ERROR) return SOCKET_ERROR;
        if (ready == 0) {
            WSASetLastError(WSAETIMEDOUT);
            return SOCKET_ERROR;
        }
        return recv(handle, buffer, length, 0);
    }

private:
    // Waits for a connect in progress: 0 when it completed, else the WinSock code of its failure.
    static int AwaitConnect(SOCKET handle, std::chrono::milliseconds limit) {
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(handle, &writable);
        FD_SET(handle, &failed);
        timeval wait{static_cast<long>(limit.count() / 1000), static_cast<long>(limit.count() % 1000 * 1000)};
        const int ready = select(0, nullptr, &writable, &failed, &wait);
        if (ready == SOCKET_ERROR) return WSAGetLastError();
        if (ready == 0) return WSAETIMEDOUT;
        int error = 0;
        int size = sizeof error;
        getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
        return error;
    }

    // An adapter's name in the program's code page.
    static std::string Narrow(const wchar_t* wide) {
        const int length = WideCharToMultiByte(1252, 0, wide, -1, nullptr, 0, nullptr, nullptr);
        if (length <= 1) return {};
        std::string text(static_cast<std::size_t>(length - 1), '\0');
        WideCharToMultiByte(1252, 0, wide, -1, text.data(), length, nullptr, nullptr);
        return text;
    }
};

}  // namespace

Sockets& RealSockets() {
    static WinSockets sockets;
    return sockets;
}

}  // namespace os
