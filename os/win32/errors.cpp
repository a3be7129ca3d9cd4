// The codes of os/errors.h, checked against the system's own headers when the Windows build compiles.
#include "os/errors.h"

#include <winsock2.h>

#include <windows.h>

namespace os {

static_assert(ErrorSuccess == ERROR_SUCCESS);
static_assert(ErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(ErrorPathNotFound == ERROR_PATH_NOT_FOUND);
static_assert(ErrorTooManyOpenFiles == ERROR_TOO_MANY_OPEN_FILES);
static_assert(ErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(ErrorInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(ErrorNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(ErrorNotSameDevice == ERROR_NOT_SAME_DEVICE);
static_assert(ErrorWriteProtect == ERROR_WRITE_PROTECT);
static_assert(ErrorSeek == ERROR_SEEK);
static_assert(ErrorGenFailure == ERROR_GEN_FAILURE);
static_assert(ErrorSharingViolation == ERROR_SHARING_VIOLATION);
static_assert(ErrorLockViolation == ERROR_LOCK_VIOLATION);
static_assert(ErrorNotSupported == ERROR_NOT_SUPPORTED);
static_assert(ErrorFileExists == ERROR_FILE_EXISTS);
static_assert(ErrorInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(ErrorDiskFull == ERROR_DISK_FULL);
static_assert(ErrorNegativeSeek == ERROR_NEGATIVE_SEEK);
static_assert(ErrorDirNotEmpty == ERROR_DIR_NOT_EMPTY);
static_assert(ErrorBadPathname == ERROR_BAD_PATHNAME);
static_assert(ErrorAlreadyExists == ERROR_ALREADY_EXISTS);
static_assert(ErrorFilenameExcedRange == ERROR_FILENAME_EXCED_RANGE);
static_assert(ErrorFileTooLarge == ERROR_FILE_TOO_LARGE);
static_assert(ErrorNoData == ERROR_NO_DATA);
static_assert(ErrorMoreData == ERROR_MORE_DATA);
static_assert(ErrorInvalidAddress == ERROR_INVALID_ADDRESS);
static_assert(ErrorFileInvalid == ERROR_FILE_INVALID);
static_assert(ErrorBadDb == ERROR_BADDB);
static_assert(ErrorRegistryIoFailed == ERROR_REGISTRY_IO_FAILED);
static_assert(ErrorKeyDeleted == ERROR_KEY_DELETED);
static_assert(ErrorUserMappedFile == ERROR_USER_MAPPED_FILE);
static_assert(ErrorTimeout == ERROR_TIMEOUT);
static_assert(ErrorCantResolveFilename == ERROR_CANT_RESOLVE_FILENAME);

static_assert(WsaEIntr == WSAEINTR);
static_assert(WsaEBadf == WSAEBADF);
static_assert(WsaEAcces == WSAEACCES);
static_assert(WsaEFault == WSAEFAULT);
static_assert(WsaEInval == WSAEINVAL);
static_assert(WsaEMFile == WSAEMFILE);
static_assert(WsaEWouldBlock == WSAEWOULDBLOCK);
static_assert(WsaEInProgress == WSAEINPROGRESS);
static_assert(WsaEAlready == WSAEALREADY);
static_assert(WsaENotSock == WSAENOTSOCK);
static_assert(WsaEDestAddrReq == WSAEDESTADDRREQ);
static_assert(WsaEMsgSize == WSAEMSGSIZE);
static_assert(WsaEProtoType == WSAEPROTOTYPE);
static_assert(WsaENoProtoOpt == WSAENOPROTOOPT);
static_assert(WsaEProtoNoSupport == WSAEPROTONOSUPPORT);
static_assert(WsaESocktNoSupport == WSAESOCKTNOSUPPORT);
static_assert(WsaEOpNotSupp == WSAEOPNOTSUPP);
static_assert(WsaEPfNoSupport == WSAEPFNOSUPPORT);
static_assert(WsaEAfNoSupport == WSAEAFNOSUPPORT);
static_assert(WsaEAddrInUse == WSAEADDRINUSE);
static_assert(WsaEAddrNotAvail == WSAEADDRNOTAVAIL);
static_assert(WsaENetDown == WSAENETDOWN);
static_assert(WsaENetUnreach == WSAENETUNREACH);
static_assert(WsaENetReset == WSAENETRESET);
static_assert(WsaEConnAborted == WSAECONNABORTED);
static_assert(WsaEConnReset == WSAECONNRESET);
static_assert(WsaENoBufs == WSAENOBUFS);
static_assert(WsaEIsConn == WSAEISCONN);
static_assert(WsaENotConn == WSAENOTCONN);
static_assert(WsaEShutdown == WSAESHUTDOWN);
static_assert(WsaETooManyRefs == WSAETOOMANYREFS);
static_assert(WsaETimedOut == WSAETIMEDOUT);
static_assert(WsaEConnRefused == WSAECONNREFUSED);
static_assert(WsaELoop == WSAELOOP);
static_assert(WsaENameTooLong == WSAENAMETOOLONG);
static_assert(WsaEHostDown == WSAEHOSTDOWN);
static_assert(WsaEHostUnreach == WSAEHOSTUNREACH);
static_assert(WsaENotEmpty == WSAENOTEMPTY);
static_assert(WsaEProcLim == WSAEPROCLIM);
static_assert(WsaEUsers == WSAEUSERS);
static_assert(WsaEDQuot == WSAEDQUOT);
static_assert(WsaEStale == WSAESTALE);
static_assert(WsaERemote == WSAEREMOTE);
static_assert(WsaSysNotReady == WSASYSNOTREADY);
static_assert(WsaVerNotSupported == WSAVERNOTSUPPORTED);
static_assert(WsaNotInitialised == WSANOTINITIALISED);
static_assert(WsaEDiscon == WSAEDISCON);
static_assert(WsaHostNotFound == WSAHOST_NOT_FOUND);
static_assert(WsaTryAgain == WSATRY_AGAIN);
static_assert(WsaNoRecovery == WSANO_RECOVERY);
static_assert(WsaNoData == WSANO_DATA);

}  // namespace os
