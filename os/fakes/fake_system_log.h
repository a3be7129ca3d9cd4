// An os::SystemLog for tests: keeps the records it takes, or fails every write with a chosen code.
#pragma once

#include <string>
#include <vector>

#include "os/system_log.h"

namespace os::fakes {

class FakeSystemLog : public SystemLog {
public:
    struct Record {
        LogLevel level;
        std::uint16_t eventId;
        std::string text;
    };

    std::vector<Record> records;
    // Not ErrorSuccess: the log is unavailable, every write gives this code and keeps nothing.
    long failWith = ErrorSuccess;

    long Write(LogLevel level, std::uint16_t eventId, std::string_view text) override {
        if (!IsLogLine(text)) return ErrorInvalidParameter;
        if (failWith != ErrorSuccess) return failWith;
        records.push_back({level, eventId, std::string(text)});
        return ErrorSuccess;
    }
};

}  // namespace os::fakes
