// os::SystemLog on Windows: ReportEventW to the Application event log, under the event source that
// the installer registers with the window's program as its message file.
#include "os/system_log.h"

#include <windows.h>

#include <string>
#include <vector>

namespace os {
namespace {

std::wstring Wide(std::string_view utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

// The process's user as a SID, which Event Viewer shows in its User column; empty when it cannot be had.
std::vector<BYTE> UserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    const bool got = size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    if (!got) return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    std::vector<BYTE> copy(GetLengthSid(sid));
    if (!CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid)) return {};
    return copy;
}

class Win32SystemLog final : public SystemLog {
public:
    long Write(LogLevel level, std::uint16_t eventId, std::string_view text) override {
        if (!IsLogLine(text)) return ErrorInvalidParameter;
        const HANDLE source = RegisterEventSourceW(nullptr, L"" CORVIX_EVENT_SOURCE);
        if (source == nullptr) return static_cast<long>(GetLastError());
        const std::wstring wide = Wide(text);
        const wchar_t* strings[] = {wide.c_str()};
        std::vector<BYTE> sid = UserSid();
        const WORD type = level == LogLevel::Warning ? EVENTLOG_WARNING_TYPE : EVENTLOG_INFORMATION_TYPE;
        const BOOL reported =
            ReportEventW(source, type, 0, eventId, sid.empty() ? nullptr : sid.data(), 1, 0, strings, nullptr);
        const long result = reported ? static_cast<long>(ErrorSuccess) : static_cast<long>(GetLastError());
        DeregisterEventSource(source);
        return result;
    }
};

}  // namespace

SystemLog& RealSystemLog() {
    static Win32SystemLog log;
    return log;
}

}  // namespace os
