// The error log: entries built from the exception being handled, appended through the record file
// object under a lock that every process writing the same log takes, and rotated under it.
#include "support/log_except.h"

#include <cxxabi.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <typeinfo>
#include <utility>

#include "support/calendar.h"
#include "support/qor_file.h"

namespace qor {
namespace {

// Append access, sharing reading and writing with the other processes that log to the same file.
constexpr std::int32_t LogOpenMode = ModeWrite | ModeShareAny;

// The readable name of the handled exception's type; "??" when nothing is being handled.
std::string HandledClassName() {
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (type == nullptr) return "??";
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> readable(
        abi::__cxa_demangle(type->name(), nullptr, nullptr, &status), &std::free);
    return status == 0 && readable ? std::string(readable.get()) : std::string(type->name());
}

// Every error this program raises derives from std::exception and carries its message in what();
// anything else thrown, or nothing, has no message.
std::string HandledMessage() {
    const std::exception_ptr current = std::current_exception();
    if (!current) return {};
    try {
        std::rethrow_exception(current);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return {};
    }
}

// The file-name part of the program's path: after the last backslash, and here also after the
// platform's own separator.
std::string ModuleName(const std::string& path) {
    const auto cut = path.find_last_of(std::string{'\\', os::PathSeparator()});
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Two lines: class, module and offset, then the message. The raise address cannot be had on these
// platforms, so the module is always the program and the offset that of no address.
std::string DescribeException(os::System& system) {
    return "Exception " + HandledClassName() + " in module " + ModuleName(system.ModulePath()) +
           " at 00000000h.\r\n    \"" + HandledMessage() + "\".";
}

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Letters a-z equal A-Z; every other byte, accented letters included, only equals itself.
bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

std::string EntryHeader(os::System& system) {
    return DayNumberToText(TodayDayNumber(system), PeriodDate) + " " + TimeUnitsToText(NowTimeUnits(system)) +
           " [LocalHostName=" + LogHostName + "] [User=" + LogUserName + "]\r\n";
}

// An exclusive hold on the lock file beside the log, for one append and the rotation after it. The
// platform drops the hold with the handle, so a holder that dies blocks nobody.
class LogLock {
public:
    LogLock(const std::string& name, os::Files& files) : files_(files) {
        constexpr std::uint32_t ShareAll = os::Files::ShareRead | os::Files::ShareWrite | os::Files::ShareDelete;
        os::OpenResult opened = files_.Open(name, os::Files::GenericRead | os::Files::GenericWrite, ShareAll,
                                            os::Files::OpenAlways, os::Files::AttributeNormal);
        // The lock needs only reading: a lock file another user made, and this one may not write, serves.
        if (opened.handle == os::InvalidFileHandle) {
            opened = files_.Open(name, os::Files::GenericRead, ShareAll, os::Files::OpenExisting,
                                 os::Files::AttributeNormal);
        }
        if (opened.handle == os::InvalidFileHandle) return;
        if (files_.LockAppends(opened.handle) == 0) {
            handle_ = opened.handle;
        } else {
            files_.Close(opened.handle);
        }
    }
    ~LogLock() {
        if (!Held()) return;
        files_.UnlockAppends(handle_);
        files_.Close(handle_);
    }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;

    bool Held() const { return handle_ != os::InvalidFileHandle; }

private:
    os::Files& files_;
    os::FileHandle handle_ = os::InvalidFileHandle;
};

}  // namespace

void StartErrorLog() { StartErrorLog(os::RealSystem()); }

void StartErrorLog(os::System& system) {
    LogHostName.clear();
    LogUserName.clear();
    LogFileName = system.ModulePath();
}

void StopErrorLog() {
    LogFileName.clear();
    LogHostName.clear();
    LogUserName.clear();
    LastLogBody.clear();
}

void AppendLogEntry(const std::string& entry, const std::string& programPath, os::Files& files, os::System& system) {
    // Completed against the working directory, an empty path would put a log where none belongs.
    if (programPath.empty()) return;
    // The file object swallows its own failures: a log that cannot be opened or written loses the
    // entry, and the size test below still runs on whatever file is there.
    TQorFile log(programPath, 1, files, system);
    log.OpenMode = LogOpenMode;
    log.ChangeExtension(".log");
    // Two processes that both saw the log past the limit would both rotate, and the second would
    // delete the ".OLD" copy the first had just made. Taken for the append as well: a log that one
    // process is renaming cannot be opened by another, nor renamed while another holds it open.
    const LogLock lock(log.FileName + ".lock", files);
    log.Open(OpenOrCreate);
    log.WriteEndBlock(entry.data(), static_cast<std::int32_t>(entry.size()));
    log.Close();
    // Asked after the write, so the entry that crosses the limit goes with the ".OLD" copy. A lock file
    // that cannot be opened at all must not stop the rotation, or the log would grow without bound:
    // then the size is all there is to go by, and two writers crossing at once may both rotate.
    if (log.GetMaxBytes() <= LogRotateBytes) return;
    const std::string old = log.FileName + ".OLD";
    files.Delete(old);
    log.Rename(old, true);
}

void LogException(const std::string& unitName, const std::string& procName, const std::string& message) noexcept {
    LogException(unitName, procName, message, os::RealSystem(), os::RealFiles());
}

void LogException(const std::string& unitName, const std::string& procName, const std::string& message,
                  os::System& system, os::Files& files) noexcept {
    try {
        std::string body = DescribeException(system);
        if (!unitName.empty()) body = "Unit:    \"" + unitName + "\"  Procedure: \"" + procName + "\"\r\n" + body;
        if (!message.empty()) body = "Message: \"" + message + "\"\r\n" + body;
        const bool repeated = SameIgnoringAsciiCase(body, LastLogBody);
        // Taken before the write, so a body whose entry could not be stored still suppresses its repeat.
        LastLogBody = std::move(body);
        if (repeated) return;
        AppendLogEntry(EntryHeader(system) + LastLogBody + "\r\n\r\n", LogFileName, files, system);
    } catch (...) {
        // The caller is already handling a failure of its own: this one is only heard, never passed on.
        try {
            system.Beep();
        } catch (...) {
        }
    }
}

}  // namespace qor
