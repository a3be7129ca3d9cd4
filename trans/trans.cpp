// The translation table, its override file reader and its store rules.
#include "trans/trans.h"

#include <cstring>
#include <memory>
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

// The whole file's bytes, in a buffer that is not cleared before the read fills it.
struct FileBytes {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;

    std::string_view View() const { return {data.get(), size}; }
};

// One attempt: the whole file, opened so that nobody may be writing it while it is read.
FileBytes LoadOnce(const std::string& path, os::Files& files) {
    const os::OpenResult opened = files.Open(path, os::Files::GenericRead, os::Files::ShareRead,
                                             os::Files::OpenExisting, os::Files::AttributeNormal);
    if (opened.handle == os::InvalidFileHandle) throw Error(FileError("Cannot open", path, opened.error));
    const OpenFile open(files, opened.handle);
    const os::SizeResult size = files.Size(opened.handle);
    if (size.error != 0) throw Error(FileError("Cannot read", path, size.error));
    FileBytes bytes{std::make_unique_for_overwrite<char[]>(size.size), 0};
    const os::TransferResult read = files.Read(opened.handle, bytes.data.get(), size.size);
    if (!read.ok) throw Error(FileError("Cannot read", path, read.error));
    bytes.size = read.count;
    return bytes;
}

// The last attempt's error, whatever it was, is the one passed on.
FileBytes Load(const std::string& path, os::Files& files, os::System& system) {
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

// The slot a file text may go to: none for a language above 4 or an id outside the table, and none
// once the slot holds a text.
std::string* EmptySlot(std::int32_t id, std::uint8_t language) {
    if (language >= LanguageCount || !ValidId(id)) return nullptr;
    std::string& slot = TranslationTable[static_cast<std::size_t>(id)].Texts[language];
    return slot.empty() ? &slot : nullptr;
}

// True when any of the word's eight bytes is below 14, the range that holds CR, LF and 0. Exact: a
// borrow only runs on from a byte that is itself below 14.
bool AnyByteBelowFourteen(std::uint64_t word) {
    constexpr std::uint64_t Ones = 0x0101010101010101u;
    constexpr std::uint64_t Highs = 0x8080808080808080u;
    return ((word - Ones * 14) & ~word & Highs) != 0;
}

bool EndsLine(char c) { return c == '\r' || c == '\n' || c == '\0'; }

}  // namespace

void ReadTranslationFile(os::Files& files, os::System& system) {
    try {
        // "|" stands for the program's own directory.
        std::string besideProgram(1, '|');
        besideProgram += TranslationFileName;
        const std::string path = ExpandExeRelative(besideProgram, system);
        if (!files.FindFirst(path, os::Files::AttributeDirectory)) return;
        ReadTranslationText(Load(path, files, system).View());
        TranslationFileRead = true;
    } catch (...) {
        // Start-up goes on without the file's texts; the entry describes the error being handled.
        LogException("Trans", "ReadTranslationFile", {}, system, files);
    }
}

void StoreTranslation(std::string text, std::int32_t id, std::uint8_t language) {
    if (std::string* slot = EmptySlot(id, language)) *slot = std::move(text);
}

void UnescapeText(std::string& text) {
    // Most texts hold no backslash; the scan starts at the first one. One pass with a read and a
    // write position: a produced byte is never read again, and the last byte never starts an escape.
    const std::size_t first = text.find('\\');
    if (first == std::string::npos) return;
    std::size_t out = first;
    for (std::size_t in = first; in < text.size(); ++in, ++out) {
        char produced = text[in];
        if (produced == '\\' && in + 1 < text.size() && Unescaped(text[in + 1], produced)) ++in;
        text[out] = produced;
    }
    text.resize(out);
}

void RegisterText(std::int32_t id, std::string_view text) {
    if (!ValidId(id)) return;
    std::string& slot = TranslationTable[static_cast<std::size_t>(id)].Texts[0];
    if (AlwaysReplaced(id) || slot.empty()) slot = text;
}

std::size_t FindLineEnd(std::string_view bytes, std::size_t start) {
    // Eight bytes at a time past the words that cannot hold a line end; a word that may is looked at
    // byte by byte.
    std::size_t at = start;
    while (at + sizeof(std::uint64_t) <= bytes.size()) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + at, sizeof word);
        if (AnyByteBelowFourteen(word)) {
            for (std::size_t i = at; i < at + sizeof word; ++i)
                if (EndsLine(bytes[i])) return i;
        }
        at += sizeof word;
    }
    for (; at < bytes.size(); ++at)
        if (EndsLine(bytes[at])) return at;
    return bytes.size();
}

void ReadTranslationLine(std::string_view line) {
    std::size_t at = 0;
    if (NumberField(line, at) != RecordTypeText) return;
    const auto language = static_cast<std::uint8_t>(NumberField(line, at));
    const auto id = static_cast<std::int32_t>(NumberField(line, at));
    // A line that could store nothing is not looked at further; the text goes straight into its slot.
    std::string* slot = EmptySlot(id, language);
    if (slot == nullptr) return;
    const std::size_t bar = line.find('|', at);
    if (bar == std::string_view::npos) return;
    *slot = std::string(line.substr(at, bar - at));
    UnescapeText(*slot);
}

void ReadTranslationText(std::string_view bytes) {
    SplitLines(bytes, [](std::string_view line) { ReadTranslationLine(line); });
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
