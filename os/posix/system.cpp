// os::System on POSIX: uname, clock_gettime, /proc/self/exe, getpwuid_r.
#include "os/system.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace os {
namespace {

// The version record of a POSIX system. No Windows platform fits, so the platform id is 3 (the first
// value the classification knows nothing of): the window truthfully shows "Unknown", and the suffix
// carries the kernel's own release numbers.
//   dwPlatformId   3
//   dwMajorVersion first number of uname's release ("6" of "6.1.0-18-amd64")
//   dwMinorVersion second number ("1")
//   dwBuildNumber  third number ("0")
//   szCSDVersion   the kernel's name ("Linux"), cut to fit
void FillFromUname(VersionRecord& record, const utsname& names) {
    std::uint32_t numbers[3] = {0, 0, 0};
    const char* p = names.release;
    for (auto& number : numbers) {
        std::uint32_t value = 0;
        while (*p >= '0' && *p <= '9') {
            value = value * 10 + static_cast<std::uint32_t>(*p - '0');
            ++p;
        }
        number = value;
        if (*p != '.') break;
        ++p;
    }
    record.dwPlatformId = 3;
    record.dwMajorVersion = numbers[0];
    record.dwMinorVersion = numbers[1];
    record.dwBuildNumber = numbers[2];
    std::snprintf(record.szCSDVersion, sizeof record.szCSDVersion, "%s", names.sysname);
}

SystemTime FromTm(const tm& t, long nanoseconds) {
    SystemTime s;
    s.wYear = static_cast<std::uint16_t>(t.tm_year + 1900);
    s.wMonth = static_cast<std::uint16_t>(t.tm_mon + 1);
    s.wDayOfWeek = static_cast<std::uint16_t>(t.tm_wday);
    s.wDay = static_cast<std::uint16_t>(t.tm_mday);
    s.wHour = static_cast<std::uint16_t>(t.tm_hour);
    s.wMinute = static_cast<std::uint16_t>(t.tm_min);
    // A leap second reads as 59, as Windows never shows 60.
    s.wSecond = static_cast<std::uint16_t>(t.tm_sec > 59 ? 59 : t.tm_sec);
    s.wMilliseconds = static_cast<std::uint16_t>(nanoseconds / 1000000);
    return s;
}

// PRETTY_NAME of os-release, unquoted; empty where there is none.
std::string DistributionName() {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        FILE* file = std::fopen(path, "r");
        if (!file) continue;
        char line[512];
        std::string name;
        while (name.empty() && std::fgets(line, sizeof line, file)) {
            std::string_view text(line);
            if (!text.starts_with("PRETTY_NAME=")) continue;
            text.remove_prefix(12);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
            if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front()) {
                text = text.substr(1, text.size() - 2);
            }
            name = text;
        }
        std::fclose(file);
        return name;
    }
    return {};
}

class PosixSystem final : public System {
public:
    bool ReadVersion(VersionRecord& record) override {
        if (record.dwOSVersionInfoSize != sizeof(VersionRecord)) return false;
        utsname names{};
        if (uname(&names) != 0) return false;
        FillFromUname(record, names);
        return true;
    }

    std::string VersionDetails() override {
        std::string details = DistributionName();
        utsname names{};
        if (uname(&names) == 0) {
            if (!details.empty()) details += ", ";
            details += std::string(names.sysname) + " " + names.release;
        }
        return details;
    }

    Wow64Query IsWow64Process() override {
        // A 32-bit process on a 64-bit kernel is what WOW64 means on Windows.
        if constexpr (sizeof(void*) != 4) return Wow64Query::No;
        utsname names{};
        if (uname(&names) != 0) return Wow64Query::Failed;
        const std::string_view machine = names.machine;
        const bool kernel64 = machine == "x86_64" || machine == "aarch64" || machine == "ppc64" ||
                              machine == "ppc64le" || machine == "s390x" || machine == "riscv64";
        return kernel64 ? Wow64Query::Yes : Wow64Query::No;
    }

    SystemTime LocalTime() override {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tm t{};
        localtime_r(&now.tv_sec, &t);
        return FromTm(t, now.tv_nsec);
    }

    SystemTime UtcTime() override {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tm t{};
        gmtime_r(&now.tv_sec, &t);
        return FromTm(t, now.tv_nsec);
    }

    std::string ModulePath() override {
        char buffer[4096];
        const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return {};
        return std::string(buffer, static_cast<std::size_t>(n));
    }

    std::string UserName() override {
        const uid_t uid = geteuid();
        passwd entry{};
        passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
            return found->pw_name;
        }
        return "uid " + std::to_string(uid);
    }

    void Beep() override {
        // The terminal bell, when the program has a terminal; silent otherwise, like a box without a sound card.
        const int fd = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return;
        [[maybe_unused]] const ssize_t written = write(fd, "\a", 1);
        close(fd);
    }

    void Sleep(std::uint32_t milliseconds) override {
        timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
        while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
        }
    }
};

}  // namespace

System& RealSystem() {
    static PosixSystem system;
    return system;
}

}  // namespace os
