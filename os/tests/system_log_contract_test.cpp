// The system log service's contract, held by the real service and by its fake alike. On POSIX the
// real one writes to a socket this test binds; Windows' event log cannot be read back under Wine, so
// there the contract is the call's result.
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

using Texts = std::optional<std::vector<std::string>>;

struct RealSystemLogService {
#ifdef _WIN32
    SystemLog& Get() { return RealSystemLog(); }
    Texts Delivered() { return std::nullopt; }
#else
    testing::LogListener listener;
    posix::SyslogSocket log{listener.Path(), "contract"};
    SystemLog& Get() { return log; }
    // Each datagram's text, after its header.
    Texts Delivered() {
        std::vector<std::string> texts;
        for (const std::string& datagram : listener.Received())
            texts.push_back(datagram.substr(datagram.find("]: ") + 3));
        return texts;
    }
#endif
};

struct FakeSystemLogService {
    fakes::FakeSystemLog fake;
    SystemLog& Get() { return fake; }
    Texts Delivered() {
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
    const std::pair<std::string, long> rows[] = {
        {"settings stored; user \"alice\"", ErrorSuccess},
        {"host name \"caf\xC3\xA9\"", ErrorSuccess},
        {std::string(MaxLogText, 'x'), ErrorSuccess},
        {std::string(MaxLogText + 1, 'x'), ErrorInvalidParameter},
        {"", ErrorInvalidParameter},
        {"first\nsecond", ErrorInvalidParameter},
        {"first\rsecond", ErrorInvalidParameter},
        {"a\tb", ErrorInvalidParameter},
        {"\x1B[2Jcleared", ErrorInvalidParameter},
        {"a\x7F", ErrorInvalidParameter},
        {"a\xC2\x9B"
         "2J",
         ErrorInvalidParameter},  // a C1 control in UTF-8
    };
    for (const auto& [text, result] : rows) {
        SCOPED_TRACE(text.substr(0, 40));
        for (const LogLevel level : {LogLevel::Notice, LogLevel::Warning}) {
            EXPECT_EQ(this->service_.Get().Write(level, 1, text), result);
            if (const Texts delivered = this->service_.Delivered()) {
                EXPECT_EQ(*delivered,
                          result == ErrorSuccess ? std::vector<std::string>{text} : std::vector<std::string>{});
            }
        }
    }
}

}  // namespace
}  // namespace os
