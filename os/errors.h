// Every Windows and WinSock error code this program meets, by name: the numbers live here and nowhere
// else. The Windows build checks each one against the system headers.
#pragma once

#include <cstdint>

namespace os {

// Windows system error codes, as GetLastError and the registry calls give them.
inline constexpr std::uint32_t ErrorSuccess = 0;
inline constexpr std::uint32_t ErrorFileNotFound = 2;
inline constexpr std::uint32_t ErrorPathNotFound = 3;
inline constexpr std::uint32_t ErrorTooManyOpenFiles = 4;
inline constexpr std::uint32_t ErrorAccessDenied = 5;
inline constexpr std::uint32_t ErrorInvalidHandle = 6;
inline constexpr std::uint32_t ErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t ErrorNotSameDevice = 17;
inline constexpr std::uint32_t ErrorWriteProtect = 19;
inline constexpr std::uint32_t ErrorSeek = 25;
inline constexpr std::uint32_t ErrorGenFailure = 31;
inline constexpr std::uint32_t ErrorSharingViolation = 32;
inline constexpr std::uint32_t ErrorLockViolation = 33;
inline constexpr std::uint32_t ErrorNotSupported = 50;
inline constexpr std::uint32_t ErrorFileExists = 80;
inline constexpr std::uint32_t ErrorInvalidParameter = 87;
inline constexpr std::uint32_t ErrorDiskFull = 112;
inline constexpr std::uint32_t ErrorNegativeSeek = 131;
inline constexpr std::uint32_t ErrorDirNotEmpty = 145;
inline constexpr std::uint32_t ErrorBadPathname = 161;
inline constexpr std::uint32_t ErrorAlreadyExists = 183;
inline constexpr std::uint32_t ErrorFilenameExcedRange = 206;
inline constexpr std::uint32_t ErrorFileTooLarge = 223;
inline constexpr std::uint32_t ErrorNoData = 232;  // the pipe is being closed: its reader is gone
inline constexpr std::uint32_t ErrorMoreData = 234;
inline constexpr std::uint32_t ErrorInvalidAddress = 487;
inline constexpr std::uint32_t ErrorFileInvalid = 1006;
inline constexpr std::uint32_t ErrorBadDb = 1009;
inline constexpr std::uint32_t ErrorRegistryIoFailed = 1016;
inline constexpr std::uint32_t ErrorKeyDeleted = 1018;
inline constexpr std::uint32_t ErrorUserMappedFile = 1224;
inline constexpr std::uint32_t ErrorTimeout = 1460;
inline constexpr std::uint32_t ErrorCantResolveFilename = 1921;

// WinSock error codes, as WSAGetLastError and WSAStartup give them.
inline constexpr int WsaEIntr = 10004;
inline constexpr int WsaEBadf = 10009;
inline constexpr int WsaEAcces = 10013;
inline constexpr int WsaEFault = 10014;
inline constexpr int WsaEInval = 10022;
inline constexpr int WsaEMFile = 10024;
inline constexpr int WsaEWouldBlock = 10035;
inline constexpr int WsaEInProgress = 10036;
inline constexpr int WsaEAlready = 10037;
inline constexpr int WsaENotSock = 10038;
inline constexpr int WsaEDestAddrReq = 10039;
inline constexpr int WsaEMsgSize = 10040;
inline constexpr int WsaEProtoType = 10041;
inline constexpr int WsaENoProtoOpt = 10042;
inline constexpr int WsaEProtoNoSupport = 10043;
inline constexpr int WsaESocktNoSupport = 10044;
inline constexpr int WsaEOpNotSupp = 10045;
inline constexpr int WsaEPfNoSupport = 10046;
inline constexpr int WsaEAfNoSupport = 10047;
inline constexpr int WsaEAddrInUse = 10048;
inline constexpr int WsaEAddrNotAvail = 10049;
inline constexpr int WsaENetDown = 10050;
inline constexpr int WsaENetUnreach = 10051;
inline constexpr int WsaENetReset = 10052;
inline constexpr int WsaEConnAborted = 10053;
inline constexpr int WsaEConnReset = 10054;
inline constexpr int WsaENoBufs = 10055;
inline constexpr int WsaEIsConn = 10056;
inline constexpr int WsaENotConn = 10057;
inline constexpr int WsaEShutdown = 10058;
inline constexpr int WsaETooManyRefs = 10059;
inline constexpr int WsaETimedOut = 10060;
inline constexpr int WsaEConnRefused = 10061;
inline constexpr int WsaELoop = 10062;
inline constexpr int WsaENameTooLong = 10063;
inline constexpr int WsaEHostDown = 10064;
inline constexpr int WsaEHostUnreach = 10065;
inline constexpr int WsaENotEmpty = 10066;
inline constexpr int WsaEProcLim = 10067;
inline constexpr int WsaEUsers = 10068;
inline constexpr int WsaEDQuot = 10069;
inline constexpr int WsaEStale = 10070;
inline constexpr int WsaERemote = 10071;
inline constexpr int WsaSysNotReady = 10091;
inline constexpr int WsaVerNotSupported = 10092;
inline constexpr int WsaNotInitialised = 10093;
inline constexpr int WsaEDiscon = 10101;
inline constexpr int WsaHostNotFound = 11001;
inline constexpr int WsaTryAgain = 11002;
inline constexpr int WsaNoRecovery = 11003;
inline constexpr int WsaNoData = 11004;

}  // namespace os
