#include "support/startup_defaults.h"

#include <cmath>
#include <cstdio>

#include "support/halt.h"
#include "support/records.h"

namespace qor {
namespace {

// Days since 30 December 1899 plus the fraction of the day, from the date and the hour only.
double DateHourValue(const os::SystemTime& t) {
    const int y = t.wYear - (t.wMonth <= 2 ? 1 : 0);
    const int m = t.wMonth <= 2 ? t.wMonth + 9 : t.wMonth - 3;
    const int era = y / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * m + 2) / 5 + t.wDay - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const long daysSince1970 = static_cast<long>(era) * 146097 + dayOfEra - 719468;
    constexpr long Days1899To1970 = 25569;
    return static_cast<double>(daysSince1970 + Days1899To1970) + t.wHour / 24.0;
}

[[noreturn]] void FailCheck(const char* format, std::string_view name, std::int32_t a, std::int32_t b) {
    char message[256];
    const std::string n(name);
    std::snprintf(message, sizeof message, format, n.c_str(), static_cast<int>(a), static_cast<int>(b));
    if (ShowErrorMessageBox) ShowErrorMessageBox("Error", message);
    throw Halt{1};
}

}  // namespace

std::int32_t ComputeUtcOffsetHours(const os::SystemTime& utc, const os::SystemTime& local) {
    const double utcValue = DateHourValue(utc);
    const double localValue = DateHourValue(local);
    const double minutes = std::trunc(std::fabs(utcValue - localValue) * 1440.0);
    // The truncation can leave one minute short of the hour; round to the nearest, halves to even.
    auto hours = static_cast<std::int32_t>(std::nearbyint(minutes / 60.0));
    if (utcValue < localValue) hours = -hours;
    return hours;
}

void StartCalendarModule(os::System& system) {
    const os::SystemTime utc = system.UtcTime();
    const os::SystemTime local = system.LocalTime();
    UtcOffsetHours = ComputeUtcOffsetHours(utc, local);
}

void StartRegistryRootA() {
    if (RegistryRootA == 0) RegistryRootA = os::HkeyLocalMachine;
}

void StartRegistryRootC() {
    if (RegistryRootC == 0) RegistryRootC = os::HkeyLocalMachine;
}

void StartPlaceholderText() { PlaceholderText = "??"; }

void StopPlaceholderText() { PlaceholderText.clear(); }

void StartSharedLocks() {
    SharedLockA = std::make_unique<TCriticalSection>();
    SharedLockB = std::make_unique<TCriticalSection>();
    SharedLockC = std::make_unique<TCriticalSection>();
    SharedLockCount = 20;
}

void StopSharedLocks() {
    SharedLockA.reset();
    SharedLockB.reset();
    SharedLockC.reset();
}

void CheckRecordSize(std::string_view name, std::int32_t size, std::int32_t required) {
    if (size != required) FailCheck("SizeOf(%s) = %d instead of %d. Check ZiDu.", name, size, required);
}

void CheckRecordSizeBelow(std::string_view name, std::int32_t size, std::int32_t maximum) {
    if (size >= maximum) FailCheck("SizeOf(%s) = %d, the maximum = %d. Check ZiDu / Net_Sess.", name, size, maximum);
}

namespace {

struct RequiredSize {
    std::string_view name;
    std::int32_t size;
};

// In the order they are checked; the last is a maximum, not an exact size.
constexpr RequiredSize RequiredSizes[] = {
    {"AtsHist", 64},
    {"CommDevRecord", 1024},
    {"DoorRecord", 512},
    {"KanHist", 512},
    {"KanProdRecord", 512},
    {"KindOfId", 128},
    {"LookupPersRecord", 1024},
    {"PersRecord", 3584},
    {"SwmHist", 256},
    {"SwmProdRecord", 64},
    {"SwmStRecord", 414},
    {"VendLayout", 512},
    {"VisitorAanmelding", 1024},
    {"Movie", 3072},
    {"TBlokAutoRecord", 8000},
};

}  // namespace

void CheckRecordSizes(std::span<const std::int32_t, CheckedRecordCount> sizes) {
    static_assert(std::size(RequiredSizes) == CheckedRecordCount);
    for (std::size_t i = 0; i + 1 < CheckedRecordCount; ++i) {
        CheckRecordSize(RequiredSizes[i].name, sizes[i], RequiredSizes[i].size);
    }
    const RequiredSize& last = RequiredSizes[CheckedRecordCount - 1];
    CheckRecordSizeBelow(last.name, sizes[CheckedRecordCount - 1], last.size);
}

void StartRecordChecks() {
    const std::int32_t actual[CheckedRecordCount] = {
        sizeof(AtsHist),           sizeof(CommDevRecord), sizeof(DoorRecord),       sizeof(KanHist),
        sizeof(KanProdRecord),     sizeof(KindOfId),      sizeof(LookupPersRecord), sizeof(PersRecord),
        sizeof(SwmHist),           sizeof(SwmProdRecord), sizeof(SwmStRecord),      sizeof(VendLayout),
        sizeof(VisitorAanmelding), sizeof(Movie),         sizeof(TBlokAutoRecord),
    };
    CheckRecordSizes(actual);
}

}  // namespace qor
