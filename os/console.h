// The console service: the program's output streams and how the process ends when it cannot finish.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>

namespace os {

enum class Stream { Out, Err };

// How a process ends early: these words on that stream, then the exit code's value at that moment.
struct Ending {
    std::string words;
    Stream stream = Stream::Err;
    const std::atomic<int>* exitCode = nullptr;
};

class Console {
public:
    virtual ~Console() = default;

    // Writes UTF-8 text at once, "\n" ending a line in the system's own way (a console shows Unicode;
    // a pipe or file gets UTF-8, with CR LF line ends on Windows).
    virtual void Write(Stream stream, std::string_view text) = 0;

    // From now on Ctrl+C (and Ctrl+Break) end the process at once with `ending`; the system closes the
    // process's sockets and files. `ending.exitCode` must outlive the process.
    virtual void EndOnInterrupt(const Ending& ending) = 0;

    // Ends the process with `ending` when it is still running `limit` from now.
    virtual void EndAfter(std::chrono::milliseconds limit, const Ending& ending) = 0;
};

Console& RealConsole();

}  // namespace os
