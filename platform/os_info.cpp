#include "platform/os_info.h"

#include <cstdio>

#include "support/error.h"
#include "support/language.h"

namespace qor {
namespace {

constexpr std::uint32_t PlatformWin32s = 0;
constexpr std::uint32_t PlatformWindows = 1;
constexpr std::uint32_t PlatformNt = 2;

OsVersionClass ClassifyWindows(const os::VersionRecord& r) {
    if (r.dwMajorVersion != 4) return -1;
    switch (r.dwMinorVersion) {
    case 0:
        return 1;
    case 10:
        // The second edition marks itself with an "A" in the second character only.
        return r.szCSDVersion[1] == 'A' ? 3 : 2;
    case 90:
        return 4;
    default:
        return -1;
    }
}

OsVersionClass ClassifyNt(const os::VersionRecord& r) {
    if (r.dwMajorVersion <= 4) return 5;
    if (r.dwMajorVersion == 5 && r.dwMinorVersion <= 2) return 6 + static_cast<int>(r.dwMinorVersion);
    if (r.dwMajorVersion == 6 && r.dwMinorVersion == 0) return 9;
    if (r.dwMajorVersion == 6 && r.dwMinorVersion == 1) return 12;
    return -1;
}

const char* ClassText(OsVersionClass c) {
    switch (c) {
    case 0:
        return "Win 3.1";
    case 1:
        return "Win 95";
    case 2:
        return "Win 98";
    case 3:
        return "Win 98SE";
    case 4:
        return "Win ME";
    case 5:
        return "Win NT";
    case 6:
        return "Win 2000";
    case 7:
        return "Win XP";
    case 8:
        return "Win 2003";
    case 9:
        return "Win Vista";
    case 12:
        return "Win 7";
    default:
        return "Unknown";
    }
}

// Two words per language, the false word first; none longer than 4 characters.
constexpr const char* YesNoWords[LanguageCount * 2] = {
    "Nee",  "Ja",    // Dutch
    "No",   "Yes",   // English
    "Nein", "Ja",    // German
    "Non",  "Oui",   // French
    "Nem",  "Igen",  // Hungarian
};

}  // namespace

OsVersionClass GetOsVersionClass(os::VersionRecord& record, os::System& system) {
    record = os::VersionRecord{};
    record.dwOSVersionInfoSize = sizeof(os::VersionRecord);
    if (!system.ReadVersion(record)) return -1;
    switch (record.dwPlatformId) {
    case PlatformWin32s:
        return 0;
    case PlatformWindows:
        return ClassifyWindows(record);
    case PlatformNt:
        return ClassifyNt(record);
    default:
        return -1;
    }
}

std::string GetOsVersionText(os::System& system) {
    os::VersionRecord record;
    const OsVersionClass versionClass = GetOsVersionClass(record, system);
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, " (%d.%d.%d)", static_cast<int>(record.dwPlatformId),
                  static_cast<int>(record.dwMajorVersion), static_cast<int>(record.dwMinorVersion));
    return std::string(ClassText(versionClass)) + suffix;
}

bool IsWow64(os::System& system) {
    switch (system.IsWow64Process()) {
    case os::Wow64Query::NoExport:
        return false;
    case os::Wow64Query::Failed:
        throw Error("Bad process handle");
    case os::Wow64Query::No:
        return false;
    case os::Wow64Query::Yes:
        return true;
    }
    return false;
}

std::string YesNoText(bool value) { return YesNoWords[LanguageIndex() * 2 + (value ? 1 : 0)]; }

}  // namespace qor
