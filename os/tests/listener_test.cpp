// The listening service on real loopback sockets: the POSIX service must answer as WinSock does.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>

#include "os/errors.h"
#include "os/listener.h"
#include "os/testing/loopback_clients.h"

namespace {

using std::chrono::milliseconds;

class RealListener : public testing::TestWithParam<os::IpFamily> {
protected:
    void SetUp() override { ASSERT_EQ(listener_.Startup(), 0); }
    void TearDown() override {
        for (const os::Socket socket : opened_) listener_.Close(socket);
        listener_.Cleanup();
    }

    os::Socket Open(os::IpFamily family, std::uint16_t& port) {
        os::Socket socket = os::InvalidSocket;
        EXPECT_EQ(listener_.Open(family, port, socket), 0);
        opened_.push_back(socket);
        return socket;
    }

    // Polls the one socket for reading, for at most five seconds: true once it has something to read,
    // or has failed or been hung up (WSAPoll reports a peer's end so), whereupon a read tells which.
    bool Ready(os::Socket socket) {
        std::array<os::Watched, 1> watched = {{{socket, true}}};
        int ready = 0;
        return listener_.Poll(watched, milliseconds(5000), ready) == 0 && ready == 1 &&
               (watched[0].readable || watched[0].failed);
    }

    os::Listener& listener_ = os::RealListener();
    std::vector<os::Socket> opened_;
};

TEST_P(RealListener, ServesAConnectionFromBothEnds) {
    std::uint16_t port = 0;
    const os::Socket listening = Open(GetParam(), port);
    ASSERT_NE(port, 0);
    os::Socket accepted = os::InvalidSocket;
    os::Peer peer;
    EXPECT_EQ(listener_.Accept(listening, accepted, peer), os::WsaEWouldBlock);

    os::testing::LoopbackClients client(GetParam(), port, 1);
    ASSERT_TRUE(Ready(listening));
    ASSERT_EQ(listener_.Accept(listening, accepted, peer), 0);
    opened_.push_back(accepted);
    EXPECT_EQ(peer.address, GetParam() == os::IpFamily::V4 ? "127.0.0.1" : "::1");
    EXPECT_NE(peer.port, 0);

    // Nothing sent yet: the accepted socket does not wait either.
    std::array<char, 8> buffer{};
    std::size_t received = 0;
    EXPECT_EQ(listener_.Receive(accepted, buffer, received), os::WsaEWouldBlock);
    std::size_t sent = 0;
    ASSERT_EQ(listener_.Send(accepted, "hello\r\n", sent), 0);
    EXPECT_EQ(sent, 7u);
    ASSERT_EQ(listener_.EndSending(accepted), 0);
    const auto& answer = client.Read(100, milliseconds(5000))[0];
    EXPECT_EQ(answer.text, "hello\r\n");
    EXPECT_TRUE(answer.ended);

    ASSERT_TRUE(client.Send(0, "abc"));
    client.Close(0);
    ASSERT_TRUE(Ready(accepted));
    ASSERT_EQ(listener_.Receive(accepted, buffer, received), 0);
    EXPECT_EQ(std::string(buffer.data(), received), "abc");
    ASSERT_TRUE(Ready(accepted));
    ASSERT_EQ(listener_.Receive(accepted, buffer, received), 0);
    EXPECT_EQ(received, 0u);
}

TEST_P(RealListener, APortWithAListenerIsInUse) {
    std::uint16_t port = 0;
    Open(GetParam(), port);
    os::Socket second = os::InvalidSocket;
    EXPECT_EQ(listener_.Open(GetParam(), port, second), os::WsaEAddrInUse);
}

INSTANTIATE_TEST_SUITE_P(Family, RealListener, testing::Values(os::IpFamily::V4, os::IpFamily::V6),
                         [](const auto& info) { return info.param == os::IpFamily::V4 ? "IPv4" : "IPv6"; });

TEST(RealListenerBoth, IPv4AndIPv6ShareAPort) {
    os::Listener& listener = os::RealListener();
    ASSERT_EQ(listener.Startup(), 0);
    std::uint16_t port = 0;
    os::Socket v4 = os::InvalidSocket;
    os::Socket v6 = os::InvalidSocket;
    ASSERT_EQ(listener.Open(os::IpFamily::V4, port, v4), 0);
    const std::uint16_t picked = port;
    EXPECT_EQ(listener.Open(os::IpFamily::V6, port, v6), 0);
    EXPECT_EQ(port, picked);
    listener.Close(v4);
    if (v6 != os::InvalidSocket) listener.Close(v6);
    listener.Cleanup();
}

}  // namespace
