#include <gtest/gtest.h>

#include "os/sockets.h"

namespace {

// Windows refuses every call before WSAStartup; Wine lets gethostname through, so this case is
// checked against the POSIX service only.
TEST(PosixSockets, HostNameBeforeStartupFailsNotInitialised) {
    os::Sockets& sockets = os::RealSockets();
    char name[64] = {'x'};
    EXPECT_EQ(sockets.GetHostName(name, sizeof name), os::SocketError);
    EXPECT_EQ(sockets.GetLastError(), os::WsaNotInitialised);
    EXPECT_EQ(name[0], 'x');
}

}  // namespace
