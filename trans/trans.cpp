// The translation table, its override file reader and its store rules.
#include "trans/trans.h"

#include <utility>

#include "support/error.h"
#include "support/log_except.h"
#include "support/qor_file.h"

namespace qor {

std::array<TTransRecord, MaxTextId + 1> TranslationTable;
bool TranslationFileRead = false;

namespace {

// Another program may hold the file open for writing for a while: the load is tried this often, with
// this pause after each failed attempt.
constexpr int LoadAttempts = 100;
constexpr std::uint32_t AttemptPauseMs = 500;

constexpr std::uint32_t RecordTypeText = 2;

std::string FileError(const char* what, const std::string& path, std::uint32_t code) {
    return std::string(what) + " file \"" + path + "\" (error " + std::to_string(code) + ")";
}

// Closes the handle on every way out of a load attempt.
class OpenFile {
public:
    OpenFile(os::Files& files, os::FileHandle handle) : files_(files), handle_(handle) {}
    ~OpenFile() { files_.Close(handle_); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

private:
    os::Files& files_;
    os::FileHandle handle_;
};

// One attempt: the whole file, opened so that nobody may be writing it while it is read.
std::string LoadOnce(const std::string& path, os::Files& files) {
    const os::OpenResult opened = files.Open(path, os::Files::GenericRead, os::Files::ShareRead,
                                             os::Files::OpenExisting, os::Files::AttributeNormal);
    if (opened.handle == os::InvalidFileHandle) throw Error(FileError("Cannot open", path, opened.error));
    const OpenFile open(files, opened.handle);
    const os::SizeResult size = files.Size(opened.handle);
    if (size.error != 0) throw Error(FileError("Cannot read", path, size.error));
    std::string bytes(size.size, '\0');
    const os::TransferResult read = files.Read(opened.handle, bytes.data(), size.size);
    if (!read.ok) throw Error(FileError("Cannot read", path, read.error));
    bytes.resize(read.count);
    return bytes;
}

// The last attempt's error, whatever it was, is the one passed on.
std::string Load(const std::string& path, os::Files& files, os::System& system) {
    for (int attempt = 1;; ++attempt) {
        try {
            return LoadOnce(path, files);
        } catch (...) {
            system.Sleep(AttemptPauseMs);
            if (attempt == LoadAttempts) throw;
        }
    }
}

// Digits up to the first other character, which is consumed with the field; no digits give 0. Values
// past 32 bits wrap: the range checks of the store apply to what comes out.
std::uint32_t NumberField(std::string_view line, std::size_t& at) {
    std::uint32_t value = 0;
    while (at < line.size()) {
        const char c = line[at++];
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

// A text record: type 2, language, id, then the escaped text up to its closing bar.
void ReadTranslationLine(std::string_view line) {
    std::size_t at = 0;
    if (NumberField(line, at) != RecordTypeText) return;
    const auto language = static_cast<std::uint8_t>(NumberField(line, at));
    const auto id = static_cast<std::int32_t>(NumberField(line, at));
    const std::size_t bar = line.find('|', at);
    if (bar == std::string_view::npos) return;
    std::string text(line.substr(at, bar - at));
    UnescapeText(text);
    StoreTranslation(std::move(text), id, language);
}

// The byte an escape letter stands for; nothing for any other letter.
bool Unescaped(char letter, char& produced) {
    switch (letter) {
    case '0':
        produced = '\0';
        return true;
    case 'n':
        produced = '\r';
        return true;
    case 'p':
        produced = '|';
        return true;
    case 'r':
        produced = '\n';
        return true;
    case 's':
        produced = '\\';
        return true;
    case 't':
        produced = '\t';
        return true;
    default:
        return false;
    }
}

bool AlwaysReplaced(std::int32_t id) { return (id >= 1 && id <= 1000) || (id >= 4000 && id <= 6000); }

bool ValidId(std::int32_t id) { return id >= 1 && id <= MaxTextId; }

}  // namespace

void ReadTranslationFile(os::Files& files, os::System& system) {
    try {
        // "|" stands for the program's own directory.
        std::string besideProgram(1, '|');
        besideProgram += TranslationFileName;
        const std::string path = ExpandExeRelative(besideProgram, system);
        if (!files.FindFirst(path, os::Files::AttributeDirectory)) return;
        ReadTranslationText(Load(path, files, system));
        TranslationFileRead = true;
    } catch (...) {
        // Start-up goes on without the file's texts; the entry describes the error being handled.
        LogException("Trans", "ReadTranslationFile", {}, system, files);
    }
}

void StoreTranslation(std::string text, std::int32_t id, std::uint8_t language) {
    if (language >= LanguageCount || !ValidId(id)) return;
    std::string& slot = TranslationTable[static_cast<std::size_t>(id)].Texts[language];
    if (slot.empty()) slot = std::move(text);
}

void UnescapeText(std::string& text) {
    // One pass with a read and a write position: a produced byte is never read again, and the last
    // byte never starts an escape.
    std::size_t out = 0;
    for (std::size_t in = 0; in < text.size(); ++in, ++out) {
        char produced = text[in];
        if (produced == '\\' && in + 1 < text.size() && Unescaped(text[in + 1], produced)) ++in;
        text[out] = produced;
    }
    text.resize(out);
}

void RegisterText(std::int32_t id, const std::string& text) {
    if (!ValidId(id)) return;
    std::string& slot = TranslationTable[static_cast<std::size_t>(id)].Texts[0];
    if (AlwaysReplaced(id) || slot.empty()) slot = text;
}

std::vector<std::string_view> SplitLines(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        // CR LF is one line end; LF CR is two.
        start = end + 1;
        if (bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n') ++start;
    }
    return lines;
}

void ReadTranslationText(std::string_view bytes) {
    for (const std::string_view line : SplitLines(bytes)) ReadTranslationLine(line);
}

void StartTranslationTable() { ReadTranslationFile(); }

void ReleaseTranslationTable() {
    // Swapping with a new string gives the memory back; clearing would keep it.
    for (TTransRecord& record : TranslationTable) {
        for (std::string& text : record.Texts) std::string().swap(text);
    }
    TranslationFileRead = false;
}

}  // namespace qor
