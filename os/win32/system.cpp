// os::System on Windows: GetVersionExA, IsWow64Process, GetLocalTime, GetModuleFileNameA, GetUserNameA.
#include "os/system.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace os {
namespace {

SystemTime FromWindows(const SYSTEMTIME& t) {
    SystemTime s;
    s.wYear = t.wYear;
    s.wMonth = t.wMonth;
    s.wDayOfWeek = t.wDayOfWeek;
    s.wDay = t.wDay;
    s.wHour = t.wHour;
    s.wMinute = t.wMinute;
    s.wSecond = t.wSecond;
    s.wMilliseconds = t.wMilliseconds;
    return s;
}

class Win32System final : public System {
public:
    bool ReadVersion(VersionRecord& record) override {
        OSVERSIONINFOA info{};
        static_assert(sizeof info == sizeof record);
        info.dwOSVersionInfoSize = record.dwOSVersionInfoSize;
        if (!GetVersionExA(&info)) return false;
        record.dwMajorVersion = info.dwMajorVersion;
        record.dwMinorVersion = info.dwMinorVersion;
        record.dwBuildNumber = info.dwBuildNumber;
        record.dwPlatformId = info.dwPlatformId;
        std::memcpy(record.szCSDVersion, info.szCSDVersion, sizeof record.szCSDVersion);
        return true;
    }

    std::string VersionDetails() override {
        // RtlGetVersion tells the truth where GetVersionExA is kept at 6.2 for programs without a manifest
        // saying otherwise; it is looked up, as ntdll is no import of the program's.
        using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
        const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        const auto call =
            ntdll ? reinterpret_cast<RtlGetVersionCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                  : nullptr;
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof info;
        if (!call || call(&info) != 0) return {};
        return "Windows " + std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) +
               " build " + std::to_string(info.dwBuildNumber);
    }

    Wow64Query IsWow64Process() override {
        using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
        // Looked up at run time: older Windows has no such export.
        const HMODULE kernel = GetModuleHandleA("kernel32");
        const FARPROC proc = kernel ? GetProcAddress(kernel, "IsWow64Process") : nullptr;
        if (!proc) return Wow64Query::NoExport;
        const auto isWow64 = reinterpret_cast<IsWow64Fn>(reinterpret_cast<void*>(proc));
        BOOL flag = FALSE;
        if (!isWow64(GetCurrentProcess(), &flag)) return Wow64Query::Failed;
        return flag ? Wow64Query::Yes : Wow64Query::No;
    }

    SystemTime LocalTime() override {
        SYSTEMTIME t;
        GetLocalTime(&t);
        return FromWindows(t);
    }

    SystemTime UtcTime() override {
        SYSTEMTIME t;
        GetSystemTime(&t);
        return FromWindows(t);
    }

    std::string ModulePath() override {
        char buffer[MAX_PATH + 1];
        const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
        if (n == 0 || n >= sizeof buffer) return {};
        return std::string(buffer, n);
    }

    std::string UserName() override {
        // UNLEN (256) and its zero.
        char buffer[257];
        DWORD size = sizeof buffer;
        if (!GetUserNameA(buffer, &size) || size == 0) return {};
        return std::string(buffer, size - 1);
    }

    void Beep() override { MessageBeep(MB_OK); }

    void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
};

}  // namespace

System& RealSystem() {
    static Win32System system;
    return system;
}

}  // namespace os
