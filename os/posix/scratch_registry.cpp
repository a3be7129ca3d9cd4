// os::testing::ScratchRegistry on POSIX: a hive in a fresh temporary directory.
#include "os/testing/scratch_registry.h"

#include <stdlib.h>
#include <filesystem>
#include <stdexcept>

#include "os/posix/hive_registry.h"

namespace os::testing {

struct ScratchRegistry::State {
    std::filesystem::path directory;
    std::unique_ptr<posix::HiveRegistry> registry;
};

ScratchRegistry::ScratchRegistry() : state_(std::make_unique<State>()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvix-registry-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary directory");
    state_->directory = pattern;
    state_->registry = std::make_unique<posix::HiveRegistry>(pattern);
}

ScratchRegistry::~ScratchRegistry() {
    std::error_code ignored;
    std::filesystem::remove_all(state_->directory, ignored);
}

Registry& ScratchRegistry::Get() { return *state_->registry; }

}  // namespace os::testing
