#include "app/settings_record.h"

#include <exception>
#include <optional>

#include "platform/windows1252.h"
#include "support/log_except.h"

namespace corvix {
namespace {

// No text from outside may make a record longer than this many bytes of UTF-8 per field: a whole DNS
// name fits, and the record stays well inside os::MaxLogText.
constexpr std::size_t FieldLimit = 255;

// Backslash escapes for what could split a record or steer a terminal: the ASCII controls, DEL and
// the five bytes Windows-1252 leaves undefined (they decode to C1 controls); in a quoted field quotes
// and backslashes too, so that it ends where it seems to. Cut near FieldLimit bytes of UTF-8, counting
// three for a byte above 0x7F (Windows-1252 decodes to at most three).
std::string EscapedStart(const std::string& text, bool quoted, bool& cut) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    std::size_t taken = 0;
    for (std::size_t length = 0; taken < text.size() && length < FieldLimit; ++taken) {
        const auto byte = static_cast<unsigned char>(text[taken]);
        const bool control =
            byte < 0x20 || byte == 0x7F || byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
        const std::size_t before = out.size();
        if (control) {
            out += {'\\', 'x', Hex[byte >> 4], Hex[byte & 0xF]};
        } else {
            if (quoted && (byte == '"' || byte == '\\')) out += '\\';
            out += static_cast<char>(byte);
        }
        length += byte > 0x7F && !control ? 3 : out.size() - before;
    }
    cut = taken < text.size();
    return out;
}

std::string CutNote(const std::string& text) { return "... (" + std::to_string(text.size()) + " bytes)"; }

std::string Escaped(const std::string& text) {
    bool cut = false;
    std::string escaped = EscapedStart(text, false, cut);
    return cut ? escaped + CutNote(text) : escaped;
}

std::string Quoted(const std::string& text) {
    bool cut = false;
    const std::string escaped = "\"" + EscapedStart(text, true, cut) + "\"";
    return cut ? escaped + CutNote(text) : escaped;
}

// The host name the settings held, read without creating or writing anything.
std::string StoredHostName(os::Registry& registry) {
    ServerSettings before;  // the port stays 0 unless the key was read
    try {
        ReadSettings(before, registry);
    } catch (const std::exception& error) {
        return "unknown (" + Escaped(error.what()) + ")";
    }
    return before.port == 0 ? "unknown (the key cannot be read)" : Quoted(before.hostName);
}

// The program's file name, without its directory (either separator, as the error log cuts it).
std::string ProgramName(os::System& system) {
    const std::string path = system.ModulePath();
    return path.substr(path.find_last_of("/\\") + 1);
}

struct Attempt {
    std::string before;  // as StoredHostName gives it
    const std::string& hostName;
    std::optional<std::int32_t> port;
    std::optional<std::string> refusal;  // none: stored
};

void Record(const Attempt& attempt, os::System& system, os::SystemLog& log) {
    const bool stored = !attempt.refusal;
    std::string text = std::string(stored ? "settings stored" : "settings NOT stored") + "; user " +
                       Quoted(system.UserName()) + "; program " + Quoted(ProgramName(system)) + "; host name " +
                       attempt.before + " -> " + Quoted(attempt.hostName);
    if (attempt.port) text += "; port " + std::to_string(*attempt.port);
    if (!stored) text += "; reason: " + Escaped(*attempt.refusal);
    const long written = log.Write(stored ? os::LogLevel::Notice : os::LogLevel::Warning,
                                   stored ? EventSettingsStored : EventSettingsNotStored, qor::Windows1252ToUtf8(text));
    if (written != os::ErrorSuccess) {
        qor::LogException("SettingsRecord", "RecordSettingsChange",
                          text + " [not in the system log: error " + std::to_string(written) + "]");
    }
}

}  // namespace

long StoreSettingsRecorded(const ServerSettings& settings, os::Registry& registry, os::System& system,
                           os::SystemLog& log) {
    Attempt attempt{StoredHostName(registry), settings.hostName, settings.port, std::nullopt};
    long opened = os::ErrorSuccess;
    try {
        opened = SaveSettings(settings, registry);
    } catch (const std::exception& error) {
        attempt.refusal = error.what();
        Record(attempt, system, log);
        throw;
    }
    if (opened != os::ErrorSuccess) attempt.refusal = NotStoredReason(opened);
    Record(attempt, system, log);
    return opened;
}

void RecordSettingsRefused(const std::string& newHostName, const std::string& reason, os::Registry& registry,
                           os::System& system, os::SystemLog& log) {
    Record({StoredHostName(registry), newHostName, std::nullopt, reason}, system, log);
}

}  // namespace corvix
