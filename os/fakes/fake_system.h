// An os::System for tests: a chosen version record, WOW64 answer and clock readings.
#pragma once

#include <cstring>
#include <vector>

#include "os/system.h"

namespace os::fakes {

// A clock reading for tests.
inline SystemTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int milliseconds = 0) {
    SystemTime t;
    t.wYear = static_cast<std::uint16_t>(year);
    t.wMonth = static_cast<std::uint16_t>(month);
    t.wDay = static_cast<std::uint16_t>(day);
    t.wHour = static_cast<std::uint16_t>(hour);
    t.wMinute = static_cast<std::uint16_t>(minute);
    t.wSecond = static_cast<std::uint16_t>(second);
    t.wMilliseconds = static_cast<std::uint16_t>(milliseconds);
    return t;
}

class FakeSystem : public System {
public:
    bool versionOk = true;
    VersionRecord version = [] {
        VersionRecord r;
        r.dwPlatformId = 2;
        r.dwMajorVersion = 6;
        r.dwMinorVersion = 1;
        return r;
    }();
    Wow64Query wow64 = Wow64Query::No;
    SystemTime local;
    SystemTime utc;
    std::string modulePath = "/opt/corvix/corvix-tcpip";
    std::string versionDetails = "Windows 10.0 build 19045";
    std::string userName = "alice";
    int beeps = 0;
    std::vector<std::uint32_t> sleeps;

    bool ReadVersion(VersionRecord& record) override {
        if (!versionOk) return false;
        const auto size = record.dwOSVersionInfoSize;
        record = version;
        record.dwOSVersionInfoSize = size;
        return true;
    }
    Wow64Query IsWow64Process() override { return wow64; }
    std::string VersionDetails() override { return versionDetails; }
    SystemTime LocalTime() override { return local; }
    SystemTime UtcTime() override { return utc; }
    std::string ModulePath() override { return modulePath; }
    std::string UserName() override { return userName; }
    void Beep() override { ++beeps; }
    void Sleep(std::uint32_t milliseconds) override { sleeps.push_back(milliseconds); }
};

}  // namespace os::fakes
