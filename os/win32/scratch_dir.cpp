// os::testing::ScratchDir on Windows: CreateDirectoryA fails on a name that exists, so a random name
// is tried until one is made that no one else has.
#include "os/testing/scratch_dir.h"

#include <windows.h>

#include <filesystem>
#include <random>
#include <stdexcept>

namespace os::testing {

namespace {

std::string TemporaryDirectory() {
    char temp[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) throw std::runtime_error("cannot find the temporary directory");
    return std::string(temp, length);
}

}  // namespace

ScratchDir::ScratchDir() : ScratchDir(TemporaryDirectory()) {}

ScratchDir::ScratchDir(const std::string& parent) {
    std::string base = parent;
    if (base.empty() || base.back() != '\\') base += '\\';
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = base + "corvix-" + std::to_string(random());
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    throw std::runtime_error("cannot make a scratch directory in " + base + ": error " +
                             std::to_string(GetLastError()));
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::operator/(const std::string& leaf) const { return path_ + "\\" + leaf; }

}  // namespace os::testing
