// A record of every attempt to change the server settings, in the system's log: which user, with
// which program, the host name before and the one asked for, and whether it was stored or why not.
// Whoever points a workstation at another server leaves a trace.
#pragma once

#include <cstdint>
#include <string>

#include "app/settings.h"
#include "os/registry.h"
#include "os/system.h"
#include "os/system_log.h"

namespace corvix {

// The records' kinds: their event IDs in the window program's message table (app/win32/messages.mc).
inline constexpr std::uint16_t EventSettingsStored = 1;
inline constexpr std::uint16_t EventSettingsNotStored = 2;

// Stores `settings` as SaveSettings does, then writes one record of the attempt to `log` (a notice
// when stored, a warning when not): the host name stored before is read first. The result, and an
// error a failed write raises, are SaveSettings' own, passed on after the record was written. A record
// the log does not take goes to the program's error log instead, with the log's error code.
long StoreSettingsRecorded(const ServerSettings& settings, os::Registry& registry, os::System& system,
                           os::SystemLog& log);

// The record of an attempt refused before anything could be stored, e.g. a port text that is no number.
void RecordSettingsRefused(const std::string& newHostName, const std::string& reason, os::Registry& registry,
                           os::System& system, os::SystemLog& log);

}  // namespace corvix
