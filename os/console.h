// The console service: the program's arguments and output streams, and how Ctrl+C ends the process.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace os {

enum class Stream { Out, Err };

// How a process ends early: these words on that stream, then the exit code's value at that moment.
// With a count, its value at that moment and a line end follow the words.
struct Ending {
    std::string words;
    Stream stream = Stream::Err;
    const std::atomic<int>* exitCode = nullptr;
    const std::atomic<std::uint64_t>* count = nullptr;
};

class Console {
public:
    virtual ~Console() = default;

    // Writes UTF-8 text at once, "\n" ending a line in the system's own way (a console shows Unicode;
    // a pipe or file gets UTF-8, with CR LF line ends on Windows). ErrorSuccess when all of it was
    // written, otherwise the system's error code (a full disk: ErrorDiskFull; a closed stream:
    // ErrorInvalidHandle; a reader gone: ErrorNoData).
    virtual long Write(Stream stream, std::string_view text) = 0;

    // From now on Ctrl+C (and Ctrl+Break) end the process at once with `ending`; the system closes the
    // process's sockets and files. `ending.exitCode` must outlive the process. Called again, the new
    // ending takes the old one's place whole, also while Ctrl+C comes (a running summary, say).
    virtual void EndOnInterrupt(const Ending& ending) = 0;
};

Console& RealConsole();

// Before anything else is opened: standard input, output and error that are closed are opened on the
// null device, so that no file or socket the program opens later takes their place.
void OpenStandardStreams();

// The program's arguments after its name, as UTF-8 (on Windows from the command line's Unicode form,
// not from a code page that may lack some of its characters).
std::vector<std::string> ProgramArguments(int argc, char* argv[]);

}  // namespace os
