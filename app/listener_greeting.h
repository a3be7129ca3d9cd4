// The line `listen` answers every connection with, so that a connecting test can tell this tool's
// listener from a server.
#pragma once

#include <string_view>

namespace corvix {

inline constexpr std::string_view ListenerGreeting = "Corvix Tcp/Ip Configuration listener\r\n";

}  // namespace corvix
