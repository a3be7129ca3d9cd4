// The POSIX console's endings, each in a child process of its own: Ctrl+C during a blocking connect,
// and the time limit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "os/console.h"
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

TEST(PosixConsole, TheTimeLimitEndsTheProcessWithTheCodeOfTheMoment) {
    const Ended ended = InChild(
        [] {
            static std::atomic<int> code{2};
            os::RealConsole().EndAfter(std::chrono::milliseconds(100), {"too slow\n", os::Stream::Err, &code});
            code = 4;
            std::this_thread::sleep_for(std::chrono::seconds(10));
        },
        [](pid_t) {});
    EXPECT_EQ(ended.exitCode, 4);
    EXPECT_EQ(ended.err, "too slow\n");
    EXPECT_GE(ended.after, std::chrono::milliseconds(100));
    EXPECT_LT(ended.after, std::chrono::milliseconds(5000));
}

}  // namespace
