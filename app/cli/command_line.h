// The command-line program: the window's logic run from a script, with its facts, its connection test
// and OK's storing, as text, JSON or a monitoring plugin's status line.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "app/settings.h"
#include "os/console.h"
#include "os/registry.h"
#include "os/sockets.h"
#include "os/system.h"
#include "os/system_log.h"

namespace corvix::cli {

// Exit codes of show, test and set-host.
inline constexpr int ExitOk = 0;
inline constexpr int ExitSettingsUnreadable = 1;
inline constexpr int ExitLookupFailed = 2;
inline constexpr int ExitSocketFailed = 3;
inline constexpr int ExitConnectFailed = 4;
inline constexpr int ExitNotStored = 5;
inline constexpr int ExitStartupFailed = 6;
inline constexpr int ExitUsage = 64;
inline constexpr int ExitInterrupted = 130;

// Exit codes of check, as monitoring plugins give them.
inline constexpr int CheckOk = 0;
inline constexpr int CheckWarning = 1;
inline constexpr int CheckCritical = 2;
inline constexpr int CheckUnknown = 3;

// No run may take longer than the window's connect may wait.
inline constexpr std::chrono::milliseconds RunTimeLimit{21000};

struct Services {
    os::Registry& registry;
    os::Sockets& sockets;
    os::System& system;
    os::Console& console;
    // Where set-host leaves its record (app/settings_record.h).
    os::SystemLog& systemLog;
    // The server's port; only tests point it elsewhere, at a listener of their own.
    std::int32_t serverPort = DefaultServerPort;
};

// Runs one command line (the arguments after the program's name) and gives the exit code.
int RunCommandLine(const std::string& programName, const std::vector<std::string>& arguments, Services& services);

}  // namespace corvix::cli
