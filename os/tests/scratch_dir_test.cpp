// The tests' scratch directory: a new one each time, and gone afterwards with what was put in it.
#include "os/testing/scratch_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace os::testing {
namespace {

namespace fs = std::filesystem;

TEST(ScratchDir, EachIsNewAndGoesWithItsContents) {
    std::string kept;
    {
        const ScratchDir first;
        const ScratchDir second;
        EXPECT_NE(first.Path(), second.Path());
        EXPECT_TRUE(fs::path(first.Path()).is_absolute()) << first.Path();
        ASSERT_TRUE(fs::is_directory(first.Path()));
        EXPECT_TRUE(fs::is_empty(first.Path()));
        fs::create_directory(first / "sub");
        std::ofstream(fs::path(first / "sub") / "file.dat") << "bytes";
        ASSERT_TRUE(fs::exists(first / "sub"));
        kept = first.Path();
    }
    EXPECT_FALSE(fs::exists(kept));
}

}  // namespace
}  // namespace os::testing
