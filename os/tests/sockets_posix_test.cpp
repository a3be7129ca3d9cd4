// The POSIX sockets service's own rules: WinSock's numbers for errno and resolver failures, the
// options it translates, and the connect time limit.
#include <gtest/gtest.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <ostream>

#include "os/posix/socket_rules.h"
#include "os/sockets.h"
#include "os/testing/loopback_listener.h"

namespace os {
namespace {

// Windows refuses every call before WSAStartup; Wine lets gethostname through, so this case is
// checked against the POSIX service only.
TEST(PosixSockets, HostNameBeforeStartupFailsNotInitialised) {
    Sockets& sockets = RealSockets();
    char name[64] = {'x'};
    EXPECT_EQ(sockets.GetHostName(name, sizeof name), SocketError);
    EXPECT_EQ(sockets.GetLastError(), WsaNotInitialised);
    EXPECT_EQ(name[0], 'x');
}

TEST(PosixSockets, EveryCallFailsBeforeStartup) {
    const auto sockets = NewPosixSockets(WindowsConnectTimeLimit);
    EXPECT_FALSE(sockets->GetHostByName("localhost").has_value());
    EXPECT_EQ(sockets->GetLastError(), WsaNotInitialised);
    const std::int32_t on = 1;
    EXPECT_EQ(sockets->SetSockOpt(5, SolSocket, SoKeepAlive, &on, sizeof on), SocketError);
    EXPECT_EQ(sockets->GetLastError(), WsaNotInitialised);
    const SockAddrIn address;
    EXPECT_EQ(sockets->Connect(5, &address, sizeof address), SocketError);
    EXPECT_EQ(sockets->GetLastError(), WsaNotInitialised);
    EXPECT_EQ(sockets->CloseSocket(5), SocketError);
    EXPECT_EQ(sockets->GetLastError(), WsaNotInitialised);
}

struct ErrorRow {
    const char* name;
    ErrorSource source;
    int error;
    int savedErrno;
    int code;
};
void PrintTo(const ErrorRow& row, std::ostream* out) { *out << row.name; }

class PosixSocketErrors : public ::testing::TestWithParam<ErrorRow> {};

TEST_P(PosixSocketErrors, BecomeTheWinsockCode) {
    const ErrorRow& row = GetParam();
    EXPECT_EQ(WinsockErrorFrom(row.source, row.error, row.savedErrno), row.code);
}

constexpr ErrorSource Errno = ErrorSource::Errno;
constexpr ErrorSource Resolver = ErrorSource::Resolver;

INSTANTIATE_TEST_SUITE_P(
    Table, PosixSocketErrors,
    ::testing::Values(
        ErrorRow{"Refused", Errno, ECONNREFUSED, 0, WsaEConnRefused},
        ErrorRow{"TimedOut", Errno, ETIMEDOUT, 0, WsaETimedOut},
        ErrorRow{"NetworkUnreachable", Errno, ENETUNREACH, 0, WsaENetUnreach},
        ErrorRow{"HostUnreachable", Errno, EHOSTUNREACH, 0, WsaEHostUnreach},
        ErrorRow{"AddressNotAvailable", Errno, EADDRNOTAVAIL, 0, WsaEAddrNotAvail},
        ErrorRow{"Access", Errno, EACCES, 0, WsaEAcces}, ErrorRow{"NotPermitted", Errno, EPERM, 0, WsaEAcces},
        ErrorRow{"TooManyOpen", Errno, EMFILE, 0, WsaEMFile},
        ErrorRow{"TooManyOpenInSystem", Errno, ENFILE, 0, WsaEMFile},
        ErrorRow{"NoBuffers", Errno, ENOBUFS, 0, WsaENoBufs}, ErrorRow{"NoMemory", Errno, ENOMEM, 0, WsaENoBufs},
        ErrorRow{"NoLocalPort", Errno, EAGAIN, 0, WsaENoBufs}, ErrorRow{"Reset", Errno, ECONNRESET, 0, WsaEConnReset},
        ErrorRow{"HostDown", Errno, EHOSTDOWN, 0, WsaEHostDown},
        ErrorRow{"NetworkDown", Errno, ENETDOWN, 0, WsaENetDown},
        ErrorRow{"AddressInUse", Errno, EADDRINUSE, 0, WsaEAddrInUse},
        ErrorRow{"Interrupted", Errno, EINTR, 0, WsaEIntr}, ErrorRow{"NotASocket", Errno, EBADF, 0, WsaENotSock},
        ErrorRow{"UnforeseenErrno", Errno, EPROTO, 0, WsaENetDown},
        ErrorRow{"UnknownName", Resolver, EAI_NONAME, 0, WsaHostNotFound},
        ErrorRow{"TemporaryFailure", Resolver, EAI_AGAIN, 0, WsaTryAgain},
        ErrorRow{"NonRecoverable", Resolver, EAI_FAIL, 0, WsaNoRecovery},
        ErrorRow{"NoIpv4Address", Resolver, EAI_NODATA, 0, WsaNoData},
        ErrorRow{"NoAddressOfTheFamily", Resolver, EAI_ADDRFAMILY, 0, WsaNoData},
        ErrorRow{"ResolverOutOfMemory", Resolver, EAI_MEMORY, 0, WsaENoBufs},
        ErrorRow{"ResolverSystemError", Resolver, EAI_SYSTEM, EMFILE, WsaEMFile},
        ErrorRow{"ResolverUnforeseenSystemError", Resolver, EAI_SYSTEM, EPROTO, WsaNoRecovery},
        ErrorRow{"UnforeseenResolverError", Resolver, EAI_SERVICE, 0, WsaNoRecovery}),
    [](const ::testing::TestParamInfo<ErrorRow>& info) { return info.param.name; });

class StartedPosixSockets : public ::testing::Test {
protected:
    void SetUp() override {
        WsaData data;
        ASSERT_EQ(sockets_->Startup(0x0101, data), 0);
    }

    int ConnectTo(Socket socket, InAddr address, std::uint16_t port) {
        SockAddrIn target;
        target.sin_family = AfInet;
        target.sin_port = sockets_->Htons(port);
        target.sin_addr = address;
        return sockets_->Connect(socket, &target, sizeof target) == 0 ? 0 : sockets_->GetLastError();
    }

    static constexpr InAddr Loopback = 0x0100007F;  // 127.0.0.1 as it lies in memory here
    static constexpr std::chrono::milliseconds ShortLimit{300};
    std::unique_ptr<Sockets> sockets_ = NewPosixSockets(ShortLimit);
};

TEST_F(StartedPosixSockets, ConnectGivesUpAtItsTimeLimit) {
    // A listener whose queue is full leaves further connects unanswered, as an absent host would.
    testing::LoopbackListener listener(0);
    int code = 0;
    std::vector<Socket> made;
    for (int attempt = 0; attempt < 8 && code == 0; ++attempt) {
        made.push_back(sockets_->Socket(AfInet, SockStream, 0));
        code = ConnectTo(made.back(), Loopback, listener.Port());
    }
    EXPECT_EQ(code, WsaETimedOut);
    for (const Socket socket : made) EXPECT_EQ(sockets_->CloseSocket(socket), 0);
}

TEST_F(StartedPosixSockets, AddressesWinsockRefusesToConnectTo) {
    const Socket socket = sockets_->Socket(AfInet, SockStream, 0);
    EXPECT_EQ(ConnectTo(socket, 0, 234), WsaEAddrNotAvail);
    EXPECT_EQ(ConnectTo(socket, Loopback, 0), WsaEAddrNotAvail);
    SockAddrIn target;
    target.sin_family = AfInet;
    EXPECT_EQ(sockets_->Connect(socket, &target, 15), SocketError);
    EXPECT_EQ(sockets_->GetLastError(), WsaEFault);
    target.sin_family = 23;
    EXPECT_EQ(sockets_->Connect(socket, &target, sizeof target), SocketError);
    EXPECT_EQ(sockets_->GetLastError(), WsaEAfNoSupport);
    EXPECT_EQ(sockets_->CloseSocket(socket), 0);
}

TEST_F(StartedPosixSockets, DontLingerAndKeepAliveReachTheSocket) {
    const Socket socket = sockets_->Socket(AfInet, SockStream, 0);
    ASSERT_NE(socket, InvalidSocket);
    const int fd = static_cast<int>(socket);
    const linger lingering{1, 7};
    ASSERT_EQ(setsockopt(fd, SOL_SOCKET, SO_LINGER, &lingering, sizeof lingering), 0);
    linger now{};
    socklen_t size = sizeof now;

    const std::int32_t on = 1;
    const std::int32_t off = 0;
    EXPECT_EQ(sockets_->SetSockOpt(socket, SolSocket, SoDontLinger16, &on, sizeof on), 0);
    ASSERT_EQ(getsockopt(fd, SOL_SOCKET, SO_LINGER, &now, &size), 0);
    EXPECT_EQ(now.l_onoff, 0);
    EXPECT_EQ(sockets_->SetSockOpt(socket, SolSocket, SoDontLinger16, &off, sizeof off), 0);
    ASSERT_EQ(getsockopt(fd, SOL_SOCKET, SO_LINGER, &now, &size), 0);
    EXPECT_EQ(now.l_onoff, 1);
    EXPECT_EQ(now.l_linger, 7);

    EXPECT_EQ(sockets_->SetSockOpt(socket, SolSocket, SoKeepAlive, &on, sizeof on), 0);
    int keepAlive = 0;
    size = sizeof keepAlive;
    ASSERT_EQ(getsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &keepAlive, &size), 0);
    EXPECT_EQ(keepAlive, 1);

    EXPECT_EQ(sockets_->SetSockOpt(socket, SolSocket, 0x7777, &on, sizeof on), SocketError);
    EXPECT_EQ(sockets_->GetLastError(), WsaENoProtoOpt);
    EXPECT_EQ(sockets_->SetSockOpt(socket, SolSocket, SoKeepAlive, &on, 2), SocketError);
    EXPECT_EQ(sockets_->GetLastError(), WsaEFault);
    EXPECT_EQ(sockets_->CloseSocket(socket), 0);
}

TEST_F(StartedPosixSockets, OnlyItsOwnSocketsAreSockets) {
    EXPECT_EQ(sockets_->CloseSocket(STDOUT_FILENO), SocketError);
    EXPECT_EQ(sockets_->GetLastError(), WsaENotSock);
    const std::int32_t on = 1;
    EXPECT_EQ(sockets_->SetSockOpt(STDOUT_FILENO, SolSocket, SoKeepAlive, &on, sizeof on), SocketError);
    EXPECT_EQ(sockets_->GetLastError(), WsaENotSock);
    EXPECT_EQ(sockets_->Socket(99, SockStream, 0), InvalidSocket);
    EXPECT_EQ(sockets_->GetLastError(), WsaEAfNoSupport);
}

TEST_F(StartedPosixSockets, NeverHandsOutZero) {
    const int savedInput = dup(STDIN_FILENO);
    ASSERT_GE(savedInput, 0);
    close(STDIN_FILENO);
    const Socket socket = sockets_->Socket(AfInet, SockStream, 0);
    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
    EXPECT_NE(socket, 0u);
    EXPECT_NE(socket, InvalidSocket);
    EXPECT_EQ(sockets_->CloseSocket(socket), 0);
}

TEST_F(StartedPosixSockets, EmptyNameIsTheLocalHost) {
    char local[256] = {};
    ASSERT_EQ(sockets_->GetHostName(local, sizeof local), 0);
    const auto own = sockets_->GetHostByName(local);
    const auto empty = sockets_->GetHostByName("");
    ASSERT_EQ(own.has_value(), empty.has_value());
    if (own) {
        EXPECT_EQ(empty->name, own->name);
        EXPECT_EQ(empty->addresses, own->addresses);
    }
}

TEST_F(StartedPosixSockets, Ipv6LoopbackAndItsInterface) {
    // Not "localhost": a hosts file need not give it an IPv6 address.
    const std::vector<IpAddress> found = sockets_->GetIpv6Addresses("::1");
    ASSERT_FALSE(found.empty()) << sockets_->GetLastError();
    EXPECT_EQ(sockets_->AddressText(found.front()), "::1");
    EXPECT_EQ(sockets_->InterfaceName(found.front()), "lo");
    EXPECT_EQ(sockets_->InterfaceName(IpAddress::V4(Loopback)), "lo");
    EXPECT_EQ(sockets_->InterfaceName(IpAddress::V4(0x010200C0)), "");  // 192.0.2.1, held by no interface
    EXPECT_TRUE(sockets_->GetIpv6Addresses("no-such-host.corvix.invalid").empty());
    EXPECT_EQ(sockets_->GetLastError(), WsaHostNotFound);
}

}  // namespace
}  // namespace os
