// What the window shows of the running system: the Windows version class and text, WOW64, yes/no words.
#pragma once

#include <string>

#include "os/system.h"

namespace qor {

// -1 when the version is not known (or could not be read); 0..9 and 12 as the classes below list.
using OsVersionClass = int;

// Fills `record` (size field set here) and classifies it.
OsVersionClass GetOsVersionClass(os::VersionRecord& record, os::System& system = os::RealSystem());

// The class text followed by " (platform.major.minor)".
std::string GetOsVersionText(os::System& system = os::RealSystem());

// Raises qor::Error "Bad process handle" when the query itself fails.
bool IsWow64(os::System& system = os::RealSystem());

// The yes/no word of the current LanguageNumber.
std::string YesNoText(bool value);

}  // namespace qor
