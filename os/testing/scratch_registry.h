// A registry for tests whose Software\Qor part starts out empty.
#pragma once

#include <memory>

#include "os/registry.h"

namespace os::testing {

// POSIX: a hive in a temporary directory of its own, removed afterwards. Windows: the real registry
// (Wine's, in the tests) with the keys tests write to deleted before and after.
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
