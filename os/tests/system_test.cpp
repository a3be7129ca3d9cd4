// The system's true version, which support needs beside the window's text.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "os/system.h"

namespace {

TEST(RealSystem, VersionDetailsNameTheSystemAndItsNumbers) {
    const std::string details = os::RealSystem().VersionDetails();
    // Windows' own numbers and build, or a distribution (where it says) and the kernel's release.
    EXPECT_TRUE(std::regex_match(details, std::regex("Windows \\d+\\.\\d+ build \\d+|(.+, )?Linux \\d+\\.\\d+.*")))
        << details;
}

}  // namespace
