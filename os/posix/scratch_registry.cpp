// os::testing::ScratchRegistry on POSIX: a hive in a scratch directory of its own.
#include "os/testing/scratch_registry.h"

#include "os/posix/hive_registry.h"
#include "os/testing/scratch_dir.h"

namespace os::testing {

struct ScratchRegistry::State {
    ScratchDir directory;
    posix::HiveRegistry registry{directory.Path()};
};

ScratchRegistry::ScratchRegistry() : state_(std::make_unique<State>()) {}

ScratchRegistry::~ScratchRegistry() = default;

Registry& ScratchRegistry::Get() { return state_->registry; }

}  // namespace os::testing
