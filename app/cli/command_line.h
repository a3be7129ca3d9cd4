// The command-line program: the window's logic run from a script, with its facts, its connection test
// and OK's storing, as text, JSON or a monitoring plugin's status line.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings.h"
#include "os/console.h"
#include "os/files.h"
#include "os/listener.h"
#include "os/registry.h"
#include "os/sockets.h"
#include "os/system.h"
#include "os/system_log.h"

namespace corvix::cli {

// Exit codes of show, test, set-host, listen, --help and --version.
inline constexpr int ExitOk = 0;
inline constexpr int ExitSettingsUnreadable = 1;
inline constexpr int ExitLookupFailed = 2;
inline constexpr int ExitSocketFailed = 3;
inline constexpr int ExitConnectFailed = 4;
inline constexpr int ExitNotStored = 5;
inline constexpr int ExitStartupFailed = 6;
inline constexpr int ExitTooFewConnections = 7;
inline constexpr int ExitNotListening = 8;
inline constexpr int ExitUsage = 64;
inline constexpr int ExitOutputFailed = 74;
inline constexpr int ExitInterrupted = 130;

// Exit codes of check, as monitoring plugins give them.
inline constexpr int CheckOk = 0;
inline constexpr int CheckWarning = 1;
inline constexpr int CheckCritical = 2;
inline constexpr int CheckUnknown = 3;

struct ExitCode {
    int code;
    std::string_view meaning;
};

inline constexpr std::array<ExitCode, 12> ExitCodes = {{
    {ExitOk, "everything Ok"},
    {ExitSettingsUnreadable, "the stored settings could not be read"},
    {ExitLookupFailed, "the look-up failed"},
    {ExitSocketFailed, "the socket could not be opened"},
    {ExitConnectFailed, "the connect failed"},
    {ExitNotStored, "the settings could not be stored"},
    {ExitStartupFailed, "socket start-up failed"},
    {ExitTooFewConnections, "listen: fewer connections came than asked for before --timeout passed"},
    {ExitNotListening, "listen: the port could not be opened, or listening failed"},
    {ExitUsage, "usage error"},
    {ExitOutputFailed, "the output could not be written"},
    {ExitInterrupted, "interrupted (Ctrl+C)"},
}};

inline constexpr std::array<ExitCode, 4> CheckStates = {{
    {CheckOk, "OK"},
    {CheckWarning, "WARNING"},
    {CheckCritical, "CRITICAL"},
    {CheckUnknown, "UNKNOWN"},
}};

struct Option {
    std::string_view name;
    std::string_view value;      // its placeholder, as in "--warning MS"; empty for a flag
    std::string_view valueKind;  // what the value is, for messages: "number of milliseconds"
    std::string_view help;
    bool (*valid)(std::string_view value) = nullptr;
    // The same option in one letter, as monitoring plugins take them: "-H"; empty for none.
    std::string_view shortName = {};
    // A flag that may be given again, each time counting: "-v -v" or "-vv".
    bool counted = false;
};

enum class HostArgument { None, Optional, Required };

class Invocation;

// One verb of the command line: how it is called, what it does, how long it may take and what it exits
// with. Parsing, --help and dispatch all come from these rows.
struct Verb {
    std::string_view name;
    HostArgument host;
    std::span<const Option> options;
    std::string_view help;
    int (*handler)(Invocation&);
    std::chrono::milliseconds timeLimit;  // zero: none, the verb ends by itself
    std::span<const int> exitCodes;
    bool plugin = false;  // exits with the monitoring plugins' states, prints one status line
};

std::span<const Verb> Verbs();

// The options that stand alone, instead of a verb.
inline constexpr std::array<Option, 2> ProgramOptions = {{
    {"--help", "", "", "this text"},
    {"--version", "", "", "the program's version"},
}};

// "test [HOST] [--json]": the verb with its arguments.
std::string Synopsis(const Verb& verb);

struct Services {
    Services(os::Registry& registry, os::Sockets& sockets, os::System& system, os::Console& console,
             os::SystemLog& systemLog, os::Listener& listener = os::RealListener())
        : registry(registry),
          sockets(sockets),
          system(system),
          console(console),
          systemLog(systemLog),
          listener(listener) {}

    os::Registry& registry;
    os::Sockets& sockets;
    os::System& system;
    os::Console& console;
    // Where set-host leaves its record (app/settings_record.h).
    os::SystemLog& systemLog;
    os::Listener& listener;
    // The server's port; only tests point it elsewhere, at a listener of their own.
    std::int32_t serverPort = DefaultServerPort;
    // Where check --textfile writes.
    os::Files* files = &os::RealFiles();
    // A verb's time limit instead of its own; only tests shorten it.
    std::optional<std::chrono::milliseconds> timeLimit;
    // Ends the process once a run has passed its time limit and said so, however the work in hand is
    // blocked; tests let the run go on to its end instead.
    std::function<void(int exitCode)> endProcess;
};

// Runs one command line (the arguments after the program's name, UTF-8) and gives the exit code.
int RunCommandLine(const std::string& programName, const std::vector<std::string>& arguments, Services& services);

}  // namespace corvix::cli
