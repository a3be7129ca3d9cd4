// os::Console on POSIX: write(2), and a SIGINT handler that ends the process.
#include "os/console.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "os/errors.h"
#include "os/posix/error_rules.h"

namespace os {
namespace {

// 0, or errno of the write that failed; safe in a signal handler.
int WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        if (written == 0) return EIO;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

int Descriptor(Stream stream) { return stream == Stream::Out ? STDOUT_FILENO : STDERR_FILENO; }

// What a signal handler may touch: plain bytes prepared beforehand and a lock-free atomic.
struct PreparedEnding {
    char words[512] = {};
    std::size_t size = 0;
    int fd = STDERR_FILENO;
    const std::atomic<int>* exitCode = nullptr;
    const std::atomic<std::uint64_t>* count = nullptr;
};

static_assert(std::atomic<std::uint64_t>::is_always_lock_free);

// Two, so that a new ending is prepared in the one the handler is not reading, then switched to.
PreparedEnding interruptEndings[2];
std::atomic<int> currentEnding{0};

void Prepare(const Ending& ending) {
    const int next = 1 - currentEnding.load();
    PreparedEnding& prepared = interruptEndings[next];
    prepared.size = std::min(ending.words.size(), sizeof prepared.words);
    std::memcpy(prepared.words, ending.words.data(), prepared.size);
    prepared.fd = Descriptor(ending.stream);
    prepared.exitCode = ending.exitCode;
    prepared.count = ending.count;
    currentEnding.store(next);
}

[[noreturn]] void End(const PreparedEnding& ending) {
    WriteAll(ending.fd, ending.words, ending.size);
    if (ending.count) {
        char digits[24];
        char* first = digits + sizeof digits;
        *--first = '\n';
        std::uint64_t value = ending.count->load();
        do {
            *--first = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        WriteAll(ending.fd, first, static_cast<std::size_t>(digits + sizeof digits - first));
    }
    _exit(ending.exitCode ? ending.exitCode->load() : 1);
}

extern "C" void OnInterrupt(int) { End(interruptEndings[currentEnding.load()]); }

void Install(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

class PosixConsole final : public Console {
public:
    long Write(Stream stream, std::string_view text) override {
        const int failed = WriteAll(Descriptor(stream), text.data(), text.size());
        return failed == 0 ? ErrorSuccess : static_cast<long>(ErrorFromErrno(failed));
    }

    void EndOnInterrupt(const Ending& ending) override {
        Prepare(ending);
        Install(SIGINT, OnInterrupt);
    }
};

}  // namespace

Console& RealConsole() {
    static PosixConsole console;
    return console;
}

void OpenStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        // The lowest free descriptor is the one just found closed.
        const int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) close(opened);
    }
}

std::vector<std::string> ProgramArguments(int argc, char* argv[]) {
    return argc > 0 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

}  // namespace os
