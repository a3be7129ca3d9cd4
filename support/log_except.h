// The process-wide error log (unit LogExcept): code that has caught an exception records it, with
// where it was caught, in a text file beside the program. The file is moved aside to one ".OLD"
// copy once it has grown past LogRotateBytes. Every process writing the log holds a lock on the file
// "<log>.lock" beside it while it appends and rotates, so each crossing of the limit rotates once.
//
// Logging never throws: a failure of the log's own is answered with a beep and dropped, and a file
// that cannot be written simply loses the entry.
#pragma once

#include <cstdint>
#include <string>

#include "os/files.h"
#include "os/system.h"

namespace qor {

// The program's own full path, from which the log's name comes. Set by the start-up step.
inline std::string LogFileName;
// Written into every entry header as they are; an application may set them. Cleared at start-up.
inline std::string LogHostName;
inline std::string LogUserName;
// The body of the most recent call that got as far as the repeat test.
inline std::string LastLogBody;

// A log larger than this (strictly) is moved aside after the entry that made it so.
inline constexpr std::int32_t LogRotateBytes = 1000000;

// The module's start-up step: clears the two header texts and remembers the program's full path.
void StartErrorLog();
void StartErrorLog(os::System& system);
// The module's shut-down step: clears all four texts.
void StopErrorLog();

// Meant to be called inside an exception handler: writes one entry describing the exception being
// handled, behind the caller's message and location lines, unless its body repeats the previous one
// (letter case of A-Z aside). Outside any handler the entry names the class "??". Never throws.
void LogException(const std::string& unitName, const std::string& procName, const std::string& message = {}) noexcept;
// The same with the clock, beep and program path taken from `system` and the file calls from `files`.
void LogException(const std::string& unitName, const std::string& procName, const std::string& message,
                  os::System& system, os::Files& files) noexcept;

// Appends a finished entry to the log of the program at `programPath` (its extension replaced by
// ".log") and moves the log aside when it has grown past the limit. An empty path writes nothing.
void AppendLogEntry(const std::string& entry, const std::string& programPath, os::Files& files = os::RealFiles(),
                    os::System& system = os::RealSystem());

}  // namespace qor
