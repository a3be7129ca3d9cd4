// os::Sockets on Windows: WinSock itself.
#include "os/sockets.h"

#include <winsock2.h>

#include <cstddef>
#include <cstring>

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
};

}  // namespace

Sockets& RealSockets() {
    static WinSockets sockets;
    return sockets;
}

}  // namespace os
