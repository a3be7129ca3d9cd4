#include "platform/winsock_text.h"

#include <algorithm>
#include <iterator>

#include "os/sockets.h"

namespace qor {
namespace {

struct NamedCode {
    int code;
    const char* name;
};

// Ascending by code; each name is the WinSock constant without its WSAE/WSA prefix.
constexpr NamedCode WinsockNames[] = {
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
static_assert(std::size(WinsockNames) == 52);
// The look-up below halves the table.
static_assert(std::is_sorted(std::begin(WinsockNames), std::end(WinsockNames),
                             [](const NamedCode& a, const NamedCode& b) { return a.code < b.code; }));

const char* WinsockName(int code) {
    const auto* end = std::end(WinsockNames);
    const auto* found = std::lower_bound(std::begin(WinsockNames), end, code,
                                         [](const NamedCode& entry, int c) { return entry.code < c; });
    return found != end && found->code == code ? found->name : "ERROR UNKNOWN";
}

}  // namespace

std::string WinsockErrorText(int code) {
    if (code == 0) return {};
    return std::to_string(code) + ":" + WinsockName(code);
}

}  // namespace qor
