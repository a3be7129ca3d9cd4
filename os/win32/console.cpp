// os::Console on Windows: WriteConsoleW on a console, WriteFile elsewhere; a console control handler
// and a timer thread that end the process.
#include "os/console.h"

#include <windows.h>

#include <string>

namespace os {
namespace {

HANDLE Handle(Stream stream) { return GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE); }

void WriteText(Stream stream, std::string_view text) {
    const HANDLE handle = Handle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    // Redirected: UTF-8 bytes with the system's CR LF line ends.
    std::string bytes;
    bytes.reserve(text.size());
    for (const char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    DWORD written = 0;
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

Ending interruptEnding;
Ending deadlineEnding;
DWORD deadlineMilliseconds = 0;

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

DWORD WINAPI AwaitDeadline(LPVOID) {
    Sleep(deadlineMilliseconds);
    End(deadlineEnding);
}

class Win32Console final : public Console {
public:
    void Write(Stream stream, std::string_view text) override { WriteText(stream, text); }

    void EndOnInterrupt(const Ending& ending) override {
        interruptEnding = ending;
        SetConsoleCtrlHandler(OnControl, TRUE);
    }

    void EndAfter(std::chrono::milliseconds limit, const Ending& ending) override {
        deadlineEnding = ending;
        deadlineMilliseconds = static_cast<DWORD>(limit.count());
        if (const HANDLE thread = CreateThread(nullptr, 0, AwaitDeadline, nullptr, 0, nullptr)) CloseHandle(thread);
    }
};

}  // namespace

Console& RealConsole() {
    static Win32Console console;
    return console;
}

}  // namespace os
