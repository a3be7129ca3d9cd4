// The POSIX console in child processes of its own: Ctrl+C during a blocking connect, a failed write,
// closed standard streams.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "os/console.h"
#include "os/errors.h"
#include "os/sockets.h"
#include "os/testing/loopback_listener.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Ended {
    int exitCode = -1;
    std::string err;
    std::chrono::milliseconds after{0};
};

// Runs `body` in a child with its standard error in a pipe; `nudge` runs in the parent meanwhile.
Ended InChild(const std::function<void()>& body, const std::function<void(pid_t)>& nudge) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {};
    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeEnds[1], STDERR_FILENO);
        close(pipeEnds[0]);
        body();
        _exit(99);
    }
    close(pipeEnds[1]);
    nudge(pid);
    Ended ended;
    char buffer[256];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) ended.err.append(buffer, got);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ended.after = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    ended.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    return ended;
}

const std::atomic<int> Code130{130};

TEST(PosixConsole, CtrlCEndsABlockingConnectAtOnce) {
    // A queue of one, filled: the next connect goes unanswered and would wait for the 21 s limit.
    os::testing::LoopbackListener listener(1);
    os::Sockets& sockets = os::RealSockets();
    os::WsaData data;
    ASSERT_EQ(sockets.Startup(0x0101, data), 0);
    os::SockAddrIn address;
    address.sin_family = os::AfInet;
    address.sin_port = sockets.Htons(listener.Port());
    address.sin_addr = sockets.InetAddr("127.0.0.1");
    std::vector<os::Socket> queued;
    for (int i = 0; i < 2; ++i) {
        queued.push_back(sockets.Socket(os::AfInet, os::SockStream, 0));
        ASSERT_EQ(sockets.Connect(queued.back(), &address, sizeof address), 0);
    }
    const Ended ended = InChild(
        [&] {
            os::RealConsole().EndOnInterrupt({"stopped\n", os::Stream::Err, &Code130});
            const os::Socket socket = sockets.Socket(os::AfInet, os::SockStream, 0);
            sockets.Connect(socket, &address, sizeof address);
        },
        [](pid_t pid) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            kill(pid, SIGINT);
        });
    for (const os::Socket socket : queued) sockets.CloseSocket(socket);
    sockets.Cleanup();
    EXPECT_EQ(ended.exitCode, 130);
    EXPECT_EQ(ended.err, "stopped\n");
    EXPECT_LT(ended.after, std::chrono::milliseconds(5000));
}

TEST(PosixConsole, CtrlCSaysTheCountAsItIsThen) {
    static std::atomic<std::uint64_t> count{0};
    const Ended ended = InChild(
        [] {
            os::RealConsole().EndOnInterrupt({"served: ", os::Stream::Err, &Code130, &count});
            count = 18446744073709551615u;
            raise(SIGINT);
        },
        [](pid_t) {});
    EXPECT_EQ(ended.exitCode, 130);
    EXPECT_EQ(ended.err, "served: 18446744073709551615\n");
}

TEST(PosixConsole, AFailedWriteGivesItsErrorAndClosedStreamsAreOpenedOnTheNullDevice) {
    const Ended full = InChild(
        [] {
            dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO);
            _exit(static_cast<int>(os::RealConsole().Write(os::Stream::Out, "lost\n")));
        },
        [](pid_t) {});
    EXPECT_EQ(full.exitCode, static_cast<int>(os::ErrorDiskFull));

    const Ended reopened = InChild(
        [] {
            close(STDIN_FILENO);
            close(STDOUT_FILENO);
            os::OpenStandardStreams();
            struct stat in {
            }, out{}, null{};
            const bool same = fstat(STDIN_FILENO, &in) == 0 && fstat(STDOUT_FILENO, &out) == 0 &&
                              stat("/dev/null", &null) == 0 && in.st_rdev == null.st_rdev &&
                              out.st_rdev == null.st_rdev;
            // Standard error, open all along, is left where it was: the pipe.
            _exit(same && os::RealConsole().Write(os::Stream::Err, "kept\n") == os::ErrorSuccess ? 0 : 1);
        },
        [](pid_t) {});
    EXPECT_EQ(reopened.exitCode, 0);
    EXPECT_EQ(reopened.err, "kept\n");
}

}  // namespace
