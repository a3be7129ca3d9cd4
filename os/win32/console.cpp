// os::Console on Windows: WriteConsoleW on a console, WriteFile elsewhere; a console control handler
// that ends the process.
#include "os/console.h"

#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <string>

#include "os/errors.h"

namespace os {
namespace {

HANDLE Handle(Stream stream) { return GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE); }

std::wstring Wide(std::string_view utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

// ERROR_SUCCESS, or why not all of it was written.
long WriteText(Stream stream, std::string_view text) {
    const HANDLE handle = Handle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return ErrorInvalidHandle;
    if (text.empty()) return ErrorSuccess;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::wstring wide = Wide(text);
        DWORD written = 0;
        if (!WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) {
            return static_cast<long>(GetLastError());
        }
        return written == wide.size() ? ErrorSuccess : ErrorDiskFull;
    }
    // Redirected: UTF-8 bytes with the system's CR LF line ends.
    std::string bytes;
    bytes.reserve(text.size());
    for (const char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        return static_cast<long>(GetLastError());
    }
    // A short write to a file means the disk is full.
    return written == bytes.size() ? ErrorSuccess : ErrorDiskFull;
}

Ending interruptEnding;

// Ends at once, from whichever thread: no module's shut-down code may run while the main thread is
// blocked inside a WinSock call.
[[noreturn]] void End(const Ending& ending) {
    WriteText(ending.stream, ending.words);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(ending.exitCode ? ending.exitCode->load() : 1));
    ExitProcess(1);
}

BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    End(interruptEnding);
}

class Win32Console final : public Console {
public:
    long Write(Stream stream, std::string_view text) override { return WriteText(stream, text); }

    void EndOnInterrupt(const Ending& ending) override {
        interruptEnding = ending;
        SetConsoleCtrlHandler(OnControl, TRUE);
    }
};

}  // namespace

Console& RealConsole() {
    static Win32Console console;
    return console;
}

// Windows sockets are handles of their own, never one of the standard handles, and a standard handle
// that is missing makes writes fail rather than go elsewhere: nothing to open.
void OpenStandardStreams() {}

std::vector<std::string> ProgramArguments(int, char*[]) {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return arguments;
    for (int i = 1; i < count; ++i) {
        const int length = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(length > 0 ? length - 1 : 0), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, utf8.data(), length, nullptr, nullptr);
        arguments.push_back(std::move(utf8));
    }
    LocalFree(wide);
    return arguments;
}

}  // namespace os
