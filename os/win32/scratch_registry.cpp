// os::testing::ScratchRegistry on Windows: the real registry, with the keys tests write deleted.
#include "os/testing/scratch_registry.h"

#include <windows.h>

namespace os::testing {
namespace {

void DeleteTestKeys() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Qor");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\CorvixTestOther");
}

}  // namespace

struct ScratchRegistry::State {};

ScratchRegistry::ScratchRegistry() : state_(std::make_unique<State>()) { DeleteTestKeys(); }

ScratchRegistry::~ScratchRegistry() { DeleteTestKeys(); }

Registry& ScratchRegistry::Get() { return RealRegistry(); }

}  // namespace os::testing
