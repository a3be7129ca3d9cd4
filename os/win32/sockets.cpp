// os::Sockets on Windows: WinSock itself.
#include "os/sockets.h"

#include <winsock2.h>

#include <cstring>

namespace os {
namespace {

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

    int CloseSocket(Socket socket) override { return closesocket(static_cast<SOCKET>(socket)); }

    int GetLastError() override { return WSAGetLastError(); }
};

}  // namespace

Sockets& RealSockets() {
    static WinSockets sockets;
    return sockets;
}

}  // namespace os
