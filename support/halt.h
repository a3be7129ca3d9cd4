// The runtime's orderly halt: raised by a start-up step to end the process with an exit code after
// the shut-down steps of the modules that had started.
#pragma once

namespace qor {

struct Halt {
    int exitCode;
};

}  // namespace qor
