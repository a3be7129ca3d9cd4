// os::testing::ScratchDir on POSIX: mkdtemp, which makes the directory under a name no one else has.
#include "os/testing/scratch_dir.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace os::testing {

ScratchDir::ScratchDir() : ScratchDir(std::filesystem::temp_directory_path().string()) {}

ScratchDir::ScratchDir(const std::string& parent) {
    std::string pattern =
        (std::filesystem::absolute(std::filesystem::path(parent)).lexically_normal() / "corvix-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch directory from " + pattern + ": " + std::strerror(errno));
    }
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::operator/(const std::string& leaf) const { return path_ + "/" + leaf; }

}  // namespace os::testing
