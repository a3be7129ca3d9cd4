// The POSIX files service's own rules: lexical full paths.
#include <gtest/gtest.h>

#include "os/posix/file_rules.h"

namespace os {
namespace {

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
