// os::Sockets on POSIX: BSD sockets behind WinSock's results and numbering.
#include "os/sockets.h"

#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <set>

namespace os {
namespace {

constexpr std::uint16_t Version11 = 0x0101;
constexpr std::uint16_t Version22 = 0x0202;
// The largest UDP payload over IPv4: 65535 less the 20-byte IP and 8-byte UDP headers.
constexpr std::uint16_t MaxUdpDatagram = 65507;

thread_local int lastError = 0;

class PosixSockets final : public Sockets {
public:
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

    int CloseSocket(Socket socket) override {
        if (started_ == 0) return Fail(WsaNotInitialised);
        // Only descriptors this service made are sockets; anything else must not be closed.
        if (sockets_.erase(socket) == 0) return Fail(WsaENotSock);
        close(static_cast<int>(socket));
        return 0;
    }

    int GetLastError() override { return lastError; }

private:
    static int Fail(int code) {
        lastError = code;
        return SocketError;
    }

    // Each socket is a descriptor, so the open-file limit bounds them; the field holds 16 bits.
    static std::uint16_t SocketLimit() {
        rlimit limit{};
        if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > 0xFFFF) {
            return 0xFFFF;
        }
        return static_cast<std::uint16_t>(limit.rlim_cur);
    }

    int started_ = 0;
    std::set<Socket> sockets_;
};

}  // namespace

Sockets& RealSockets() {
    static PosixSockets sockets;
    return sockets;
}

}  // namespace os
