// os::ErrorFromErrno: errno to the Windows error code.
#include "os/posix/error_rules.h"

#include <cerrno>

namespace os {

std::uint32_t ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT:
        return ErrorFileNotFound;
    case ENOTDIR:
        return ErrorPathNotFound;
    case EMFILE:
    case ENFILE:
        return ErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ErrorAccessDenied;
    case EBADF:
        return ErrorInvalidHandle;
    case ENOMEM:
        return ErrorNotEnoughMemory;
    case EXDEV:
        return ErrorNotSameDevice;
    case EROFS:
        return ErrorWriteProtect;
    case ESPIPE:
        return ErrorSeek;
    case EIO:
        return ErrorGenFailure;
    case ETXTBSY:
    case EBUSY:
        return ErrorSharingViolation;
    case EAGAIN:
    case EDEADLK:
        return ErrorLockViolation;
    case EOPNOTSUPP:
        return ErrorNotSupported;
    case EEXIST:
        return ErrorFileExists;
    case EINVAL:
        return ErrorInvalidParameter;
    case ENOSPC:
    case EDQUOT:
        return ErrorDiskFull;
    case ENAMETOOLONG:
        return ErrorFilenameExcedRange;
    case ENOTEMPTY:
        return ErrorDirNotEmpty;
    case EFBIG:
        return ErrorFileTooLarge;
    case ELOOP:
        return ErrorCantResolveFilename;
    case EPIPE:
        return ErrorNoData;
    default:
        return ErrorGenFailure;
    }
}

}  // namespace os
