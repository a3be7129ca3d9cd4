// os::Console on POSIX: write(2), and SIGINT and SIGALRM handlers that end the process.
#include "os/console.h"

#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace os {
namespace {

void WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

int Descriptor(Stream stream) { return stream == Stream::Out ? STDOUT_FILENO : STDERR_FILENO; }

// What a signal handler may touch: plain bytes prepared beforehand and a lock-free atomic.
struct PreparedEnding {
    char words[512] = {};
    std::size_t size = 0;
    int fd = STDERR_FILENO;
    const std::atomic<int>* exitCode = nullptr;
};

PreparedEnding interruptEnding;
PreparedEnding deadlineEnding;

void Prepare(PreparedEnding& prepared, const Ending& ending) {
    prepared.size = std::min(ending.words.size(), sizeof prepared.words);
    std::memcpy(prepared.words, ending.words.data(), prepared.size);
    prepared.fd = Descriptor(ending.stream);
    prepared.exitCode = ending.exitCode;
}

[[noreturn]] void End(const PreparedEnding& ending) {
    WriteAll(ending.fd, ending.words, ending.size);
    _exit(ending.exitCode ? ending.exitCode->load() : 1);
}

extern "C" void OnInterrupt(int) { End(interruptEnding); }
extern "C" void OnDeadline(int) { End(deadlineEnding); }

void Install(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

class PosixConsole final : public Console {
public:
    void Write(Stream stream, std::string_view text) override {
        WriteAll(Descriptor(stream), text.data(), text.size());
    }

    void EndOnInterrupt(const Ending& ending) override {
        Prepare(interruptEnding, ending);
        Install(SIGINT, OnInterrupt);
    }

    void EndAfter(std::chrono::milliseconds limit, const Ending& ending) override {
        Prepare(deadlineEnding, ending);
        Install(SIGALRM, OnDeadline);
        itimerval timer{};
        timer.it_value.tv_sec = static_cast<time_t>(limit.count() / 1000);
        timer.it_value.tv_usec = static_cast<suseconds_t>(limit.count() % 1000 * 1000);
        setitimer(ITIMER_REAL, &timer, nullptr);
    }
};

}  // namespace

Console& RealConsole() {
    static PosixConsole console;
    return console;
}

}  // namespace os
