// The one map from errno to the Windows error code, for every POSIX service that reports one.
#pragma once

#include <cstdint>

#include "os/errors.h"

namespace os {

// The Windows error code a workstation would show for an errno value: a missing directory on the
// way is a missing path, a read-only file system is a write-protected medium, as Windows tells them.
std::uint32_t ErrorFromErrno(int error);

}  // namespace os
