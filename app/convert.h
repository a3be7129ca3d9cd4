// Text to number the way the window's fields are read.
#pragma once

#include <cstdint>
#include <string>

namespace corvix {

// Optional leading blanks, an optional sign, then decimal digits or "$"/"0x" and hex digits, in the
// signed 32-bit range; anything else raises qor::Error "'<text>' is not a valid integer value".
std::int32_t StrToInt(const std::string& text);

}  // namespace corvix
