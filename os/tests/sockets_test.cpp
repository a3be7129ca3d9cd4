#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "os/fakes/fake_sockets.h"
#include "os/sockets.h"
#include "os/testing/loopback_listener.h"

namespace {

// The address a.b.c.d as it lies in memory: network byte order.
os::InAddr Address(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
    const unsigned char bytes[4] = {a, b, c, d};
    os::InAddr value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Starts the real service for one test and releases it afterwards.
class StartedSockets : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(sockets_.Startup(0x0101, data_), 0); }
    void TearDown() override { EXPECT_EQ(sockets_.Cleanup(), 0); }

    // A TCP socket, connected to 127.0.0.1 at the port: the connect's result, the last error after it.
    std::pair<int, int> ConnectToLoopback(std::uint16_t port) {
        const os::Socket socket = sockets_.Socket(os::AfInet, os::SockStream, 0);
        EXPECT_NE(socket, os::InvalidSocket);
        os::SockAddrIn address;
        address.sin_family = os::AfInet;
        address.sin_port = sockets_.Htons(port);
        address.sin_addr = Address(127, 0, 0, 1);
        const int result = sockets_.Connect(socket, &address, sizeof address);
        const int error = result == 0 ? 0 : sockets_.GetLastError();
        EXPECT_EQ(sockets_.CloseSocket(socket), 0);
        return {result, error};
    }

    os::Sockets& sockets_ = os::RealSockets();
    os::WsaData data_;
};

// The contract every implementation keeps, the fake included; the real one runs in both builds, so the
// POSIX service must answer as WinSock does.
struct RealSocketsService {
    os::Sockets& Get() { return os::RealSockets(); }
};

struct FakeSocketsService {
    os::fakes::FakeSockets fake;
    os::Sockets& Get() { return fake; }
};

template <typename Service>
class SocketsContract : public testing::Test {
    // Made first: the reference below is taken from it.
    Service service_;

protected:
    os::Sockets& sockets_ = service_.Get();
};

struct ServiceNames {
    template <typename Service>
    static std::string GetName(int) {
        return std::is_same_v<Service, RealSocketsService> ? "Real" : "Fake";
    }
};

using Services = testing::Types<RealSocketsService, FakeSocketsService>;
TYPED_TEST_SUITE(SocketsContract, Services, ServiceNames);

// gethostname, setsockopt and connect are left out: Wine answers them without a start-up (the last two
// with 10038 for a handle that is no socket), so the Windows build under Wine cannot hold them to it.
TYPED_TEST(SocketsContract, EveryCallBeforeStartupFailsNotInitialised) {
    os::Sockets& sockets = this->sockets_;
    const std::pair<const char*, std::function<bool()>> calls[] = {
        {"Cleanup", [&] { return sockets.Cleanup() == os::SocketError; }},
        {"GetHostByName", [&] { return !sockets.GetHostByName("localhost").has_value(); }},
        {"Socket", [&] { return sockets.Socket(os::AfInet, os::SockStream, 0) == os::InvalidSocket; }},
        {"CloseSocket", [&] { return sockets.CloseSocket(os::InvalidSocket) == os::SocketError; }},
    };
    for (const auto& [name, failed] : calls) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(failed());
        EXPECT_EQ(sockets.GetLastError(), os::WsaNotInitialised);
    }
}

TYPED_TEST(SocketsContract, CleanupEndsWhatStartupBegan) {
    os::Sockets& sockets = this->sockets_;
    os::WsaData data;
    ASSERT_EQ(sockets.Startup(0x0101, data), 0);
    EXPECT_EQ(sockets.Cleanup(), 0);
    EXPECT_EQ(sockets.Socket(os::AfInet, os::SockStream, 0), os::InvalidSocket);
    EXPECT_EQ(sockets.GetLastError(), os::WsaNotInitialised);
}

TYPED_TEST(SocketsContract, StartupReportsVersionsStatusAndLimits) {
    os::Sockets& sockets = this->sockets_;
    os::WsaData data;
    ASSERT_EQ(sockets.Startup(0x0101, data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_EQ(data.wHighVersion, 0x0202);
    EXPECT_STRNE(data.szDescription, "");
    EXPECT_STREQ(data.szSystemStatus, "Running");
    EXPECT_GT(data.iMaxUdpDg, 0);
    EXPECT_EQ(sockets.Cleanup(), 0);
}

TYPED_TEST(SocketsContract, HostNameFitsOrWritesNothing) {
    os::Sockets& sockets = this->sockets_;
    os::WsaData data;
    ASSERT_EQ(sockets.Startup(0x0101, data), 0);
    char name[256] = {};
    ASSERT_EQ(sockets.GetHostName(name, sizeof name), 0);
    const std::size_t length = std::strlen(name);
    ASSERT_GT(length, 0u);

    char tight[256];
    std::memset(tight, 'x', sizeof tight);
    EXPECT_EQ(sockets.GetHostName(tight, static_cast<int>(length)), os::SocketError);
    EXPECT_EQ(sockets.GetLastError(), os::WsaEFault);
    EXPECT_EQ(tight[0], 'x');
    EXPECT_EQ(sockets.GetHostName(tight, static_cast<int>(length + 1)), 0);
    EXPECT_STREQ(tight, name);
    EXPECT_EQ(sockets.Cleanup(), 0);
}

TYPED_TEST(SocketsContract, ConversionsNeedNoStartup) {
    os::Sockets& sockets = this->sockets_;
    EXPECT_EQ(sockets.InetNtoa(Address(127, 0, 0, 1)), "127.0.0.1");
    EXPECT_EQ(sockets.InetNtoa(Address(10, 200, 3, 255)), "10.200.3.255");
    const std::uint16_t port = sockets.Htons(0x1234);
    unsigned char bytes[2];
    std::memcpy(bytes, &port, sizeof bytes);
    EXPECT_EQ(bytes[0], 0x12);
    EXPECT_EQ(bytes[1], 0x34);
}

struct DottedRow {
    const char* name;
    const char* text;
    os::InAddr address;
};
void PrintTo(const DottedRow& row, std::ostream* out) { *out << row.name; }

class InetAddr : public testing::TestWithParam<DottedRow> {};

// No start-up: inet_addr is a conversion and needs none.
TEST_P(InetAddr, AcceptsWhatWinsockAcceptsAndNothingElse) {
    EXPECT_EQ(os::RealSockets().InetAddr(GetParam().text), GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(
    Sockets, InetAddr,
    testing::Values(
        DottedRow{"FourParts", "127.0.0.1", Address(127, 0, 0, 1)},
        DottedRow{"HighBytes", "192.168.254.253", Address(192, 168, 254, 253)}, DottedRow{"AllZero", "0.0.0.0", 0},
        DottedRow{"ThreePartsLast16Bits", "10.1.258", Address(10, 1, 1, 2)},
        DottedRow{"TwoPartsLast24Bits", "10.65538", Address(10, 1, 0, 2)},
        DottedRow{"OnePart32Bits", "2130706433", Address(127, 0, 0, 1)},
        DottedRow{"Hex", "0x7f.0X0.0x0.0xA", Address(127, 0, 0, 10)},
        DottedRow{"Octal", "0177.00.0.012", Address(127, 0, 0, 10)},
        DottedRow{"AllBitsSetIsNone", "255.255.255.255", os::InaddrNone},
        DottedRow{"PartAbove255", "1.2.3.256", os::InaddrNone},
        DottedRow{"LeadingPartAbove255", "256.1.2.3", os::InaddrNone},
        DottedRow{"LastOfThreeAbove16Bits", "1.2.65536", os::InaddrNone},
        DottedRow{"FiveParts", "1.2.3.4.5", os::InaddrNone}, DottedRow{"EmptyPart", "1..3.4", os::InaddrNone},
        DottedRow{"TrailingDot", "1.2.3.4.", os::InaddrNone}, DottedRow{"OctalWithEight", "018.1.1.1", os::InaddrNone},
        DottedRow{"Above32Bits", "4294967296", os::InaddrNone}, DottedRow{"Name", "localhost", os::InaddrNone},
        DottedRow{"WhiteSpaceEndsIt", "1.2.3.4 junk", Address(1, 2, 3, 4)},
        DottedRow{"TabEndsIt", "1.2.3.4\t", Address(1, 2, 3, 4)}, DottedRow{"LeadingSpace", " 1.2.3.4", os::InaddrNone},
        DottedRow{"BareHexPrefix", "0x", os::InaddrNone}, DottedRow{"TrailingLetters", "1.2.3.4x", os::InaddrNone},
        DottedRow{"Empty", "", os::InaddrNone}),
    [](const testing::TestParamInfo<DottedRow>& info) { return info.param.name; });

TYPED_TEST(SocketsContract, AddressTextsOfBothFamilies) {
    const auto v6 = [](std::array<std::uint8_t, 16> bytes) {
        os::IpAddress address;
        address.family = os::AfInet6;
        address.bytes = bytes;
        return address;
    };
    const std::pair<os::IpAddress, std::string> rows[] = {
        {os::IpAddress::V4(Address(127, 0, 0, 1)), "127.0.0.1"},
        {v6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), "::1"},
        {v6({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x10}), "2001:db8::1:0:0:10"},
        {v6({0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0x12, 0x34, 0, 0, 0, 0, 0xab, 0xcd}), "fe80::1234:0:0:abcd"},
    };
    for (const auto& [address, text] : rows) EXPECT_EQ(this->sockets_.AddressText(address), text);
}

TEST_F(StartedSockets, ConnectWithinALimitGivesTheLocalEndAndTimesOutOnAFullQueue) {
    // A queue of one, filled: the next connect goes unanswered.
    os::testing::LoopbackListener listener(1);
    os::Endpoint to{os::IpAddress::V4(Address(127, 0, 0, 1)), listener.Port()};
    std::vector<os::Socket> open;
    int timedOut = 0;
    for (int i = 0; i < 5 && timedOut == 0; ++i) {
        open.push_back(sockets_.Socket(os::AfInet, os::SockStream, 0));
        const int result = sockets_.ConnectWithin(open.back(), to, std::chrono::milliseconds(300));
        if (i == 0) {
            ASSERT_EQ(result, 0);
            os::Endpoint local;
            ASSERT_EQ(sockets_.GetLocalEndpoint(open.back(), local), 0);
            EXPECT_EQ(local.address, to.address);
            EXPECT_NE(local.port, 0);
            char byte = 0;  // the listener never sends
            EXPECT_EQ(sockets_.ReceiveWithin(open.back(), &byte, 1, std::chrono::milliseconds(50)), os::SocketError);
            EXPECT_EQ(sockets_.GetLastError(), os::WsaETimedOut);
        } else if (result != 0) {
            EXPECT_EQ(sockets_.GetLastError(), os::WsaETimedOut);
            ++timedOut;
        }
    }
    EXPECT_EQ(timedOut, 1);
    for (const os::Socket socket : open) sockets_.CloseSocket(socket);
}

TEST_F(StartedSockets, ConnectsToAListenerOnLoopback) {
    os::testing::LoopbackListener listener;
    EXPECT_EQ(ConnectToLoopback(listener.Port()), std::make_pair(0, 0));
}

TEST_F(StartedSockets, ClosedPortRefuses) {
    os::testing::LoopbackListener listener;
    listener.Close();
    EXPECT_EQ(ConnectToLoopback(listener.Port()), std::make_pair(os::SocketError, os::WsaEConnRefused));
}

// The local end of a connected socket: the loopback address and a port the system chose; a socket
// neither bound nor connected has none.
TEST_F(StartedSockets, GetSockNameGivesTheLocalEndOfAConnection) {
    os::testing::LoopbackListener listener;
    const os::Socket socket = sockets_.Socket(os::AfInet, os::SockStream, 0);
    ASSERT_NE(socket, os::InvalidSocket);
    os::SockAddrIn local;
    int length = sizeof local;
    EXPECT_EQ(sockets_.GetSockName(socket, &local, &length), os::SocketError);
    EXPECT_EQ(sockets_.GetLastError(), os::WsaEInval);
    os::SockAddrIn address;
    address.sin_family = os::AfInet;
    address.sin_port = sockets_.Htons(listener.Port());
    address.sin_addr = Address(127, 0, 0, 1);
    ASSERT_EQ(sockets_.Connect(socket, &address, sizeof address), 0) << sockets_.GetLastError();
    length = sizeof local;
    ASSERT_EQ(sockets_.GetSockName(socket, &local, &length), 0) << sockets_.GetLastError();
    EXPECT_EQ(length, static_cast<int>(sizeof local));
    EXPECT_EQ(local.sin_family, os::AfInet);
    EXPECT_EQ(local.sin_addr, Address(127, 0, 0, 1));
    EXPECT_NE(local.sin_port, 0);
    EXPECT_NE(local.sin_port, address.sin_port);
    EXPECT_EQ(sockets_.CloseSocket(socket), 0);
}

TEST_F(StartedSockets, KeepAliveIsAnOptionOfTheSocketLevel) {
    const os::Socket socket = sockets_.Socket(os::AfInet, os::SockStream, 0);
    ASSERT_NE(socket, os::InvalidSocket);
    const std::int32_t on = 1;
    EXPECT_EQ(sockets_.SetSockOpt(socket, os::SolSocket, os::SoKeepAlive, &on, sizeof on), 0);
    EXPECT_EQ(sockets_.CloseSocket(socket), 0);
}

TEST_F(StartedSockets, LocalhostResolvesToLoopback) {
    const auto host = sockets_.GetHostByName("localhost");
    ASSERT_TRUE(host.has_value()) << sockets_.GetLastError();
    EXPECT_FALSE(host->name.empty());
    EXPECT_NE(std::find(host->addresses.begin(), host->addresses.end(), Address(127, 0, 0, 1)), host->addresses.end());
}

TEST_F(StartedSockets, NameThatCannotExistIsNotFound) {
    EXPECT_FALSE(sockets_.GetHostByName("no-such-host.corvix.invalid").has_value());
    // Without a reachable name server the resolver can only say "try again".
    EXPECT_TRUE(sockets_.GetLastError() == os::WsaHostNotFound || sockets_.GetLastError() == os::WsaTryAgain)
        << sockets_.GetLastError();
}

}  // namespace
