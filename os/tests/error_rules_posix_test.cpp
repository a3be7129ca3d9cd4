// The one errno map of the POSIX services: which Windows code each errno becomes.
#include <gtest/gtest.h>

#include <cerrno>

#include "os/posix/error_rules.h"

namespace os {
namespace {

TEST(ErrnoMap, ErrnoBecomesTheWindowsCode) {
    struct Row {
        const char* name;
        int error;
        std::uint32_t code;
    };
    const Row rows[] = {
        {"ENOENT", ENOENT, ErrorFileNotFound},
        {"ENOTDIR", ENOTDIR, ErrorPathNotFound},
        {"EMFILE", EMFILE, ErrorTooManyOpenFiles},
        {"ENFILE", ENFILE, ErrorTooManyOpenFiles},
        {"EACCES", EACCES, ErrorAccessDenied},
        {"EPERM", EPERM, ErrorAccessDenied},
        {"EISDIR", EISDIR, ErrorAccessDenied},
        {"EBADF", EBADF, ErrorInvalidHandle},
        {"ENOMEM", ENOMEM, ErrorNotEnoughMemory},
        {"EXDEV", EXDEV, ErrorNotSameDevice},
        {"EROFS", EROFS, ErrorWriteProtect},
        {"ESPIPE", ESPIPE, ErrorSeek},
        {"EIO", EIO, ErrorGenFailure},
        {"ETXTBSY", ETXTBSY, ErrorSharingViolation},
        {"EBUSY", EBUSY, ErrorSharingViolation},
        {"EAGAIN", EAGAIN, ErrorLockViolation},
        {"EDEADLK", EDEADLK, ErrorLockViolation},
        {"EOPNOTSUPP", EOPNOTSUPP, ErrorNotSupported},
        {"EEXIST", EEXIST, ErrorFileExists},
        {"EINVAL", EINVAL, ErrorInvalidParameter},
        {"ENOSPC", ENOSPC, ErrorDiskFull},
        {"EDQUOT", EDQUOT, ErrorDiskFull},
        {"ENAMETOOLONG", ENAMETOOLONG, ErrorFilenameExcedRange},
        {"ENOTEMPTY", ENOTEMPTY, ErrorDirNotEmpty},
        {"EFBIG", EFBIG, ErrorFileTooLarge},
        {"ELOOP", ELOOP, ErrorCantResolveFilename},
        {"EPIPE", EPIPE, ErrorNoData},
        {"anything else", EPROTO, ErrorGenFailure},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ErrorFromErrno(row.error), row.code) << row.name;
    }
}

}  // namespace
}  // namespace os
