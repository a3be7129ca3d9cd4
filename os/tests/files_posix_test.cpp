// The POSIX files service's own rules: which Windows code an errno becomes, and lexical full paths.
#include <gtest/gtest.h>

#include <cerrno>

#include "os/files.h"
#include "os/posix/file_rules.h"

namespace os {
namespace {

TEST(PosixFileRules, ErrnoBecomesTheWindowsCode) {
    struct Row {
        const char* name;
        int error;
        std::uint32_t code;
    };
    const Row rows[] = {
        {"ENOENT", ENOENT, 2},
        {"ENOTDIR", ENOTDIR, 3},
        {"EMFILE", EMFILE, 4},
        {"ENFILE", ENFILE, 4},
        {"EACCES", EACCES, 5},
        {"EPERM", EPERM, 5},
        {"EISDIR", EISDIR, 5},
        {"EBADF", EBADF, 6},
        {"ENOMEM", ENOMEM, 8},
        {"EXDEV", EXDEV, 17},
        {"EROFS", EROFS, 19},
        {"ESPIPE", ESPIPE, 25},
        {"EIO", EIO, 31},
        {"ETXTBSY", ETXTBSY, 32},
        {"EBUSY", EBUSY, 32},
        {"EAGAIN", EAGAIN, 33},
        {"EDEADLK", EDEADLK, 33},
        {"EOPNOTSUPP", EOPNOTSUPP, 50},
        {"EEXIST", EEXIST, 80},
        {"EINVAL", EINVAL, 87},
        {"ENOSPC", ENOSPC, 112},
        {"EDQUOT", EDQUOT, 112},
        {"ENAMETOOLONG", ENAMETOOLONG, 206},
        {"ENOTEMPTY", ENOTEMPTY, 145},
        {"EFBIG", EFBIG, 223},
        {"ELOOP", ELOOP, 1921},
        {"anything else", EPROTO, 31},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ErrorFromErrno(row.error), row.code) << row.name;
    }
}

TEST(PosixFileRules, LexicalFullPath) {
    struct Row {
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {"/a/b/c.dat", "/a/b/c.dat"},
        {"/a/./b//c.dat", "/a/b/c.dat"},
        {"/a/x/../c.dat", "/a/c.dat"},
        {"/../../c.dat", "/c.dat"},
        {"/a/b/", "/a/b/"},
        {"/a/b/.", "/a/b"},
        {"/a/..", "/"},
        {"/", "/"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(LexicalFullPath(row.in), row.out) << row.in;
    }
}

}  // namespace
}  // namespace os
