// The system service: version record, WOW64, clocks, program path, the user, beep and waits.
#pragma once

#include <cstdint>
#include <string>

namespace os {

// The layout of OSVERSIONINFOA (148 bytes), so the classification reads the same fields everywhere.
struct VersionRecord {
    std::uint32_t dwOSVersionInfoSize = 0;
    std::uint32_t dwMajorVersion = 0;
    std::uint32_t dwMinorVersion = 0;
    std::uint32_t dwBuildNumber = 0;
    std::uint32_t dwPlatformId = 0;
    char szCSDVersion[128] = {};
};
static_assert(sizeof(VersionRecord) == 148);

// Broken-down time as SYSTEMTIME holds it.
struct SystemTime {
    std::uint16_t wYear = 0;
    std::uint16_t wMonth = 0;
    std::uint16_t wDayOfWeek = 0;
    std::uint16_t wDay = 0;
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;
};

// What the run-time look-up of IsWow64Process gave.
enum class Wow64Query {
    NoExport,  // the function does not exist on this system
    Failed,    // the call returned 0
    No,
    Yes,
};

class System {
public:
    virtual ~System() = default;

    // GetVersionExA: fills the record (whose size field the caller has set); false on failure.
    virtual bool ReadVersion(VersionRecord& record) = 0;
    // The true version for support, which GetVersionExA hides from programs since Windows 8: Windows'
    // own numbers and build ("Windows 10.0 build 19045"), or the distribution's name and the kernel's
    // release ("Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64"). Empty when none can be had.
    virtual std::string VersionDetails() = 0;
    virtual Wow64Query IsWow64Process() = 0;
    // GetLocalTime and GetSystemTime.
    virtual SystemTime LocalTime() = 0;
    virtual SystemTime UtcTime() = 0;
    // Full path of the running executable (GetModuleFileNameA of the program's module).
    virtual std::string ModulePath() = 0;
    // The name of the user the process runs as (GetUserNameA; on POSIX the effective user's, or
    // "uid N" when the user database has no entry); empty when the system cannot say.
    virtual std::string UserName() = 0;
    // MessageBeep: the short audible signal.
    virtual void Beep() = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// The running operating system's implementation.
System& RealSystem();

}  // namespace os
