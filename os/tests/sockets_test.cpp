#include <gtest/gtest.h>

#include <cstring>

#include "os/sockets.h"

namespace {

// Runs in both builds: the POSIX service must answer as WinSock does.
TEST(Sockets, CleanupBeforeStartupFailsNotInitialised) {
    os::Sockets& sockets = os::RealSockets();
    EXPECT_EQ(sockets.Cleanup(), os::SocketError);
    EXPECT_EQ(sockets.GetLastError(), os::WsaNotInitialised);
}

TEST(Sockets, StartupReportsVersionsStatusAndLimits) {
    os::Sockets& sockets = os::RealSockets();
    os::WsaData data;
    ASSERT_EQ(sockets.Startup(0x0101, data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_EQ(data.wHighVersion, 0x0202);
    EXPECT_STRNE(data.szDescription, "");
    EXPECT_STREQ(data.szSystemStatus, "Running");
    EXPECT_GT(data.iMaxUdpDg, 0);
    EXPECT_EQ(sockets.Cleanup(), 0);
}

TEST(Sockets, HostNameFitsOrWritesNothing) {
    os::Sockets& sockets = os::RealSockets();
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

}  // namespace
