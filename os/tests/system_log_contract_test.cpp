// The system log service's contract, held by the real service and by its fake alike. On POSIX the
// real one writes to a socket this test binds and reads; Windows' event log cannot be read back
// under Wine, so there the contract is the call's result.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "os/fakes/fake_system_log.h"
#include "os/system_log.h"
#ifndef _WIN32
#include "os/posix/syslog_socket.h"
#include "os/testing/log_listener.h"
#endif

namespace os {
namespace {

#ifdef _WIN32
struct RealSystemLogService {
    SystemLog& Get() { return RealSystemLog(); }
    std::optional<std::vector<std::string>> Delivered() { return std::nullopt; }
};
#else
struct RealSystemLogService {
    testing::LogListener listener;
    posix::SyslogSocket log{listener.Path(), "contract"};
    SystemLog& Get() { return log; }
    // Each datagram's text, after the header syslog(3) would write.
    std::optional<std::vector<std::string>> Delivered() {
        std::vector<std::string> texts;
        for (const std::string& datagram : listener.Received()) texts.push_back(datagram.substr(datagram.find("]: ") + 3));
        return texts;
    }
};
#endif

struct FakeSystemLogService {
    fakes::FakeSystemLog fake;
    SystemLog& Get() { return fake; }
    std::optional<std::vector<std::string>> Delivered() {
        std::vector<std::string> texts;
        for (const auto& record : fake.records) texts.push_back(record.text);
        fake.records.clear();
        return texts;
    }
};

template <typename Service>
class SystemLogContract : public ::testing::Test {
protected:
    Service service_;
    SystemLog& log_ = service_.Get();
};

struct ServiceNames {
    template <typename Service>
    static std::string GetName(int) {
        return std::is_same_v<Service, RealSystemLogService> ? "Real" : "Fake";
    }
};

using Services = ::testing::Types<RealSystemLogService, FakeSystemLogService>;
TYPED_TEST_SUITE(SystemLogContract, Services, ServiceNames);

TYPED_TEST(SystemLogContract, TakesOneLineRecordsWholeOrRefusesThemWhole) {
    struct Row {
        const char* name;
        std::string text;
        long result;
    };
    const Row rows[] = {
        {"a record", "settings stored; user \"alice\"", ErrorSuccess},
        {"letters beyond ASCII", "host name \"caf\xC3\xA9\"", ErrorSuccess},
        {"the longest", std::string(MaxLogText, 'x'), ErrorSuccess},
        {"one byte too long", std::string(MaxLogText + 1, 'x'), ErrorInvalidParameter},
        {"empty", "", ErrorInvalidParameter},
        {"a line feed", "first\nsecond", ErrorInvalidParameter},
        {"a carriage return", "first\rsecond", ErrorInvalidParameter},
        {"a tab", "a\tb", ErrorInvalidParameter},
        {"an escape sequence", "\x1B[2Jcleared", ErrorInvalidParameter},
        {"delete", "a\x7F", ErrorInvalidParameter},
        {"a C1 control in UTF-8", "a\xC2\x9B" "2J", ErrorInvalidParameter},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const LogLevel level : {LogLevel::Notice, LogLevel::Warning}) {
            EXPECT_EQ(this->log_.Write(level, 1, row.text), row.result);
            const auto delivered = this->service_.Delivered();
            if (!delivered) continue;
            const std::vector<std::string> expected =
                row.result == ErrorSuccess ? std::vector<std::string>{row.text} : std::vector<std::string>{};
            EXPECT_EQ(*delivered, expected);
        }
    }
}

}  // namespace
}  // namespace os
