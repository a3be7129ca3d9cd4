#include <gtest/gtest.h>

#include "os/sockets.h"
#include "platform/winsock_text.h"

namespace {

TEST(WinsockErrorText, EveryNamedCode) {
    const std::pair<int, const char*> names[] = {
        {os::SocketError, "SOCKET_ERROR"},
        {os::WsaEIntr, "INTR"},
        {os::WsaEBadf, "BADF"},
        {os::WsaEAcces, "ACCES"},
        {os::WsaEFault, "FAULT"},
        {os::WsaEInval, "INVAL"},
        {os::WsaEMFile, "MFILE"},
        {os::WsaEWouldBlock, "WOULDBLOCK"},
        {os::WsaEInProgress, "INPROGRESS"},
        {os::WsaEAlready, "ALREADY"},
        {os::WsaENotSock, "NOTSOCK"},
        {os::WsaEDestAddrReq, "DESTADDRREQ"},
        {os::WsaEMsgSize, "MSGSIZE"},
        {os::WsaEProtoType, "PROTOTYPE"},
        {os::WsaENoProtoOpt, "NOPROTOOPT"},
        {os::WsaEProtoNoSupport, "PROTONOSUPPORT"},
        {os::WsaESocktNoSupport, "SOCKTNOSUPPORT"},
        {os::WsaEOpNotSupp, "OPNOTSUPP"},
        {os::WsaEPfNoSupport, "PFNOSUPPORT"},
        {os::WsaEAfNoSupport, "AFNOSUPPORT"},
        {os::WsaEAddrInUse, "ADDRINUSE"},
        {os::WsaEAddrNotAvail, "ADDRNOTAVAIL"},
        {os::WsaENetDown, "NETDOWN"},
        {os::WsaENetUnreach, "NETUNREACH"},
        {os::WsaENetReset, "NETRESET"},
        {os::WsaEConnAborted, "CONNABORTED"},
        {os::WsaEConnReset, "CONNRESET"},
        {os::WsaENoBufs, "NOBUFS"},
        {os::WsaEIsConn, "ISCONN"},
        {os::WsaENotConn, "NOTCONN"},
        {os::WsaEShutdown, "SHUTDOWN"},
        {os::WsaETooManyRefs, "TOOMANYREFS"},
        {os::WsaETimedOut, "TIMEDOUT"},
        {os::WsaEConnRefused, "CONNREFUSED"},
        {os::WsaELoop, "LOOP"},
        {os::WsaENameTooLong, "NAMETOOLONG"},
        {os::WsaEHostDown, "HOSTDOWN"},
        {os::WsaEHostUnreach, "HOSTUNREACH"},
        {os::WsaENotEmpty, "NOTEMPTY"},
        {os::WsaEProcLim, "PROCLIM"},
        {os::WsaEUsers, "USERS"},
        {os::WsaEDQuot, "DQUOT"},
        {os::WsaEStale, "STALE"},
        {os::WsaERemote, "REMOTE"},
        {os::WsaSysNotReady, "SYSNOTREADY"},
        {os::WsaVerNotSupported, "VERNOTSUPPORTED"},
        {os::WsaNotInitialised, "NOTINITIALISED"},
        {os::WsaEDiscon, "DISCON"},
        {os::WsaHostNotFound, "HOST_NOT_FOUND"},
        {os::WsaTryAgain, "TRY_AGAIN"},
        {os::WsaNoRecovery, "NO_RECOVERY"},
        {os::WsaNoData, "NO_DATA"},
    };
    ASSERT_EQ(std::size(names), 52u);
    for (const auto& [code, name] : names) {
        EXPECT_EQ(qor::WinsockErrorText(code), std::to_string(code) + ":" + name);
        EXPECT_LE(std::string(name).size(), 15u);
    }
}

TEST(WinsockErrorText, ZeroIsEmpty) { EXPECT_EQ(qor::WinsockErrorText(0), ""); }

TEST(WinsockErrorText, UnlistedCodesAreUnknown) {
    for (int code : {10072, 10090, 10094, 10100, 10102, 11000, 11005, 5, 1, 10003, 10005, 99999}) {
        EXPECT_EQ(qor::WinsockErrorText(code), std::to_string(code) + ":ERROR UNKNOWN");
    }
    EXPECT_EQ(qor::WinsockErrorText(-2), "-2:ERROR UNKNOWN");
    EXPECT_EQ(qor::WinsockErrorText(-2147483647 - 1), "-2147483648:ERROR UNKNOWN");
}

}  // namespace
