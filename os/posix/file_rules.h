// The rules by which the POSIX files service gives Windows' answers: error codes and full paths.
#pragma once

#include <cstdint>
#include <string>

namespace os {

// The Windows error code a workstation would show for an errno value.
std::uint32_t ErrorFromErrno(int error);

// An absolute path with "." and ".." resolved and repeated separators joined, by its text alone:
// the file need not exist, as GetFullPathNameA never looks. A trailing separator stays.
std::string LexicalFullPath(const std::string& absolute);

}  // namespace os
