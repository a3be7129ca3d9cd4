// The server settings: host name and port, kept under HKEY_LOCAL_MACHINE\Software\Qor\Corvix\TcpIp.
#pragma once

#include <cstdint>
#include <string>

#include "os/registry.h"

namespace corvix {

struct ServerSettings {
    std::string hostName;
    std::int32_t port = 0;
};

inline constexpr std::string_view DefaultServerHost = "127.0.0.1";
inline constexpr std::int32_t DefaultServerPort = 234;
inline constexpr std::string_view SettingsKeyPath = "\\Software\\Qor\\Corvix\\TcpIp";

// The root the settings live under; its module's start-up step gives it HKEY_LOCAL_MACHINE when still 0.
inline os::RegKey RegistryRootB = 0;
void StartRegistryRootB();

// Reads both values (or the defaults), fixes the port and writes both straight back. A key that
// cannot be opened leaves `settings` as it was; a value of the wrong type raises qor::Error.
void LoadSettings(ServerSettings& settings, os::Registry& registry);

// Reads both values and fixes the port like LoadSettings, but never creates the key nor writes: a key
// that does not exist yet gives the defaults the window would store, one that cannot be opened leaves
// `settings` as it was and gives the code of that failure (os::ErrorSuccess otherwise).
long ReadSettings(ServerSettings& settings, os::Registry& registry);

// Writes both values. A key that cannot be opened for writing stores nothing; the result is then the
// code of that failure (os::ErrorSuccess when both were written). A failed write raises qor::Error.
long SaveSettings(const ServerSettings& settings, os::Registry& registry);

// What to tell a user whose settings could not be stored because the key did not open with `code`.
std::string NotStoredMessage(long code);
// Its reason alone, without the advice: "the registry key ... cannot be opened for writing (access denied)".
std::string NotStoredReason(long code);

// What to tell a user whose stored settings could not be read because the key did not open with `code`.
std::string NotReadMessage(long code);

// The server's port is not configurable: whatever was stored, it is 234.
void ApplyFixedPort(std::int32_t& port);

}  // namespace corvix
