// Process-wide defaults of the support library and the self check of its record sizes.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "os/registry.h"
#include "os/system.h"

namespace qor {

// Hours of UTC minus local time: positive west of Greenwich.
inline std::int32_t UtcOffsetHours = 0;

// The library's registry roots; each module gives its own HKEY_LOCAL_MACHINE when still 0.
inline os::RegKey RegistryRootA = 0;
inline os::RegKey RegistryRootC = 0;

inline std::string PlaceholderText;

// A critical section: recursive, as those of the platform are.
class TCriticalSection {
public:
    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
};

inline std::unique_ptr<TCriticalSection> SharedLockA;
inline std::unique_ptr<TCriticalSection> SharedLockB;
inline std::unique_ptr<TCriticalSection> SharedLockC;
inline std::int32_t SharedLockCount = 0;

// The whole hours between the two clock readings, each cut to its hour.
std::int32_t ComputeUtcOffsetHours(const os::SystemTime& utc, const os::SystemTime& local);

// The start-up and shut-down steps of the modules that own these values.
void StartCalendarModule(os::System& system = os::RealSystem());
void StartRegistryRootA();
void StartRegistryRootC();
void StartPlaceholderText();
void StopPlaceholderText();
void StartSharedLocks();
void StopSharedLocks();

// Shows a modal error box (caption "Error", error icon, one OK button). The front end installs the
// real one before the modules start.
using ErrorMessageBox = void (*)(const std::string& caption, const std::string& text);
inline ErrorMessageBox ShowErrorMessageBox = nullptr;

// A wrong size shows its message and halts the process with exit code 1 (raises qor::Halt).
void CheckRecordSize(std::string_view name, std::int32_t size, std::int32_t required);
void CheckRecordSizeBelow(std::string_view name, std::int32_t size, std::int32_t maximum);

inline constexpr std::size_t CheckedRecordCount = 15;

// Checks the records' sizes, given in check order: all but the last must have their required size,
// the last must stay below its maximum. The first failure halts.
void CheckRecordSizes(std::span<const std::int32_t, CheckedRecordCount> sizes);

// The start-up step of the record module: the library's own records.
void StartRecordChecks();

}  // namespace qor
