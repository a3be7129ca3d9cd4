// The POSIX system log's datagrams as the socket receives them, and its failures as Windows codes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>

#include "os/posix/syslog_socket.h"
#include "os/testing/log_listener.h"
#include "os/testing/scratch_dir.h"

namespace os {
namespace {

TEST(PosixSystemLog, SendsRfc3164DatagramsWithFacilityAuthpriv) {
    struct Row {
        LogLevel level;
        const char* priority;  // authpriv (10) * 8 + severity
    };
    for (const Row row : {Row{LogLevel::Notice, "<85>"}, Row{LogLevel::Warning, "<84>"}}) {
        testing::LogListener listener;
        posix::SyslogSocket log(listener.Path(), "corvix-tcpip-cli");
        ASSERT_EQ(log.Write(row.level, 2, "settings stored; user \"root\""), ErrorSuccess);
        const std::vector<std::string> received = listener.Received();
        ASSERT_EQ(received.size(), 1u);
        const std::regex shape(std::string(row.priority) +
                               R"([A-Z][a-z]{2} [ 123]\d \d\d:\d\d:\d\d corvix-tcpip-cli\[)" +
                               std::to_string(getpid()) + R"(\]: settings stored; user "root")");
        EXPECT_TRUE(std::regex_match(received[0], shape)) << received[0];
    }
}

TEST(PosixSystemLog, ALogThatCannotTakeTheRecordGivesAWindowsCode) {
    testing::ScratchDir dir;
    std::ofstream(dir / "file") << "not a socket";
    struct Row {
        const char* name;
        std::string path;
        long code;
    };
    const Row rows[] = {
        {"no socket there", dir / "missing", ErrorFileNotFound},
        {"a file, not a socket", dir / "file", ErrorGenFailure},
        {"a path longer than a socket address holds", dir / std::string(200, 'x'), ErrorFilenameExcedRange},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(posix::SyslogSocket(row.path, "t").Write(LogLevel::Notice, 1, "record"), row.code);
    }
}

TEST(PosixSystemLog, AFullQueueIsWaitedForBrieflyThenGivenUp) {
    testing::LogListener listener;  // never read until the end: its queue fills
    posix::SyslogSocket log(listener.Path(), "t");
    const std::string record(MaxLogText, 'x');
    long result = ErrorSuccess;
    int sent = 0;
    const auto start = std::chrono::steady_clock::now();
    while (result == ErrorSuccess && sent < 100000) {
        result = log.Write(LogLevel::Notice, 1, record);
        if (result == ErrorSuccess) ++sent;
    }
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result, ErrorLockViolation);
    EXPECT_GE(waited, std::chrono::milliseconds(posix::SyslogSocket::SendWaitMilliseconds));
    EXPECT_LT(waited, std::chrono::milliseconds(posix::SyslogSocket::SendWaitMilliseconds * 5));
    EXPECT_EQ(listener.Received().size(), static_cast<std::size_t>(sent)) << "every record taken arrived whole";
}

}  // namespace
}  // namespace os
