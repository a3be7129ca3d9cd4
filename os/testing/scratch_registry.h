// A registry for tests whose Software\Qor part starts out empty.
#pragma once

#include <memory>

#include "os/registry.h"

namespace os::testing {

// POSIX: a hive in a temporary directory of its own, removed afterwards. Windows: the real registry
// calls, with HKEY_LOCAL_MACHINE of this process redirected to a fresh key under HKEY_CURRENT_USER
// that is removed afterwards; the machine's own keys are never reached. One at a time per process.
class ScratchRegistry {
public:
    ScratchRegistry();
    ~ScratchRegistry();
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    Registry& Get();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Keys that tests may write besides the settings: another program's, to see that it is kept.
inline constexpr const char* OtherProgramKey = "\\Software\\CorvixTestOther\\Program";

}  // namespace os::testing
