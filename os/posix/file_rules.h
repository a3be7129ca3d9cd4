// The rules by which the POSIX files service gives Windows' answers: full paths.
#pragma once

#include <string>

namespace os {

// An absolute path with "." and ".." resolved and repeated separators joined, by its text alone:
// the file need not exist, as GetFullPathNameA never looks. A trailing separator stays.
std::string LexicalFullPath(const std::string& absolute);

}  // namespace os
