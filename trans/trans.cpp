// The translation table, its override file reader and its store rules.
#include "trans/trans.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

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
};

// The bytes the table's texts live in: whole file contents, kept as they were read (their texts
// unescaped in place, which only ever shortens a text), and blocks that copies of other texts are
// packed into. Everything goes at once, when the table is released.
class TextStore {
public:
    // Keeps a block until the release and gives its bytes.
    char* Keep(std::unique_ptr<char[]> block, std::size_t size) {
        char* const bytes = block.get();
        blocks_.push_back(std::move(block));
        held_ += size;
        return bytes;
    }

    std::string_view Copy(std::string_view text) {
        if (text.empty()) return {};
        if (text.size() > room_) {
            // A text longer than a block gets one of its own; what the old block has left is not used.
            room_ = std::max(text.size(), BlockSize);
            free_ = Keep(std::make_unique_for_overwrite<char[]>(room_), room_);
        }
        char* const copy = free_;
        std::memcpy(copy, text.data(), text.size());
        free_ += text.size();
        room_ -= text.size();
        return {copy, text.size()};
    }

    void Release() {
        std::vector<std::unique_ptr<char[]>>().swap(blocks_);
        held_ = 0;
        free_ = nullptr;
        room_ = 0;
    }

    std::size_t Held() const { return held_; }

private:
    // Copies are few and short (the file's texts and the built-in ones are not copied): one block holds
    // hundreds of them.
    static constexpr std::size_t BlockSize = 16 * 1024;

    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t held_ = 0;
    char* free_ = nullptr;
    std::size_t room_ = 0;
};

TextStore Store;

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
std::string_view* EmptySlot(std::int32_t id, std::uint8_t language) {
    if (language >= LanguageCount || !ValidId(id)) return nullptr;
    std::string_view& slot = TranslationTable[static_cast<std::size_t>(id)].Texts[language];
    return slot.empty() ? &slot : nullptr;
}

// The Dutch slot a registered text goes to, if it may.
std::string_view* RegisterSlot(std::int32_t id) {
    if (!ValidId(id)) return nullptr;
    std::string_view& slot = TranslationTable[static_cast<std::size_t>(id)].Texts[0];
    return AlwaysReplaced(id) || slot.empty() ? &slot : nullptr;
}

// Resolves the escapes of a text in place, from its first backslash on, and gives the new length.
// One pass with a read and a write position: a produced byte is never read again, and the last byte
// never starts an escape.
std::size_t Unescape(char* text, std::size_t size, std::size_t firstBackslash) {
    std::size_t out = firstBackslash;
    for (std::size_t in = firstBackslash; in < size; ++in, ++out) {
        char produced = text[in];
        if (produced == '\\' && in + 1 < size && Unescaped(text[in + 1], produced)) ++in;
        text[out] = produced;
    }
    return out;
}

// True when any of the word's eight bytes is below 14, the range that holds CR, LF and 0. Exact: a
// borrow only runs on from a byte that is itself below 14.
bool AnyByteBelowFourteen(std::uint64_t word) {
    constexpr std::uint64_t Ones = 0x0101010101010101u;
    constexpr std::uint64_t Highs = 0x8080808080808080u;
    return ((word - Ones * 14) & ~word & Highs) != 0;
}

bool EndsLine(char c) { return c == '\r' || c == '\n' || c == '\0'; }

// Stores the text records of content the store keeps: each stored text refers to its bytes in the
// content, unescaped where they stand. Lines that cannot store are not looked at past their numbers.
void ReadTexts(char* content, std::size_t size) {
    const std::string_view bytes(content, size);
    std::size_t start = 0;
    while (start < size) {
        const std::size_t lineEnd = FindLineEnd(bytes, start);
        const std::string_view line = bytes.substr(start, lineEnd - start);
        std::size_t at = 0;
        if (NumberField(line, at) == RecordTypeText) {
            const auto language = static_cast<std::uint8_t>(NumberField(line, at));
            const auto id = static_cast<std::int32_t>(NumberField(line, at));
            std::string_view* const slot = EmptySlot(id, language);
            const std::size_t bar = slot == nullptr ? std::string_view::npos : line.find('|', at);
            if (bar != std::string_view::npos) {
                char* const text = content + start + at;
                const std::size_t length = bar - at;
                const std::size_t backslash = line.substr(at, length).find('\\');
                *slot = {text, backslash == std::string_view::npos ? length : Unescape(text, length, backslash)};
            }
        }
        if (lineEnd == size || bytes[lineEnd] == '\0') return;
        start = LineAfter(bytes, lineEnd);
    }
}

}  // namespace

void ReadTranslationFile(os::Files& files, os::System& system) {
    try {
        // "|" stands for the program's own directory.
        std::string besideProgram(1, '|');
        besideProgram += TranslationFileName;
        const std::string path = ExpandExeRelative(besideProgram, system);
        if (!files.FindFirst(path, os::Files::AttributeDirectory)) return;
        FileBytes bytes = Load(path, files, system);
        // The texts stay where they were read: the table keeps the content.
        ReadTexts(Store.Keep(std::move(bytes.data), bytes.size), bytes.size);
        TranslationFileRead = true;
    } catch (...) {
        // Start-up goes on without the file's texts; the entry describes the error being handled.
        LogException("Trans", "ReadTranslationFile", {}, system, files);
    }
}

void StoreTranslation(std::string_view text, std::int32_t id, std::uint8_t language) {
    if (std::string_view* slot = EmptySlot(id, language)) *slot = Store.Copy(text);
}

void UnescapeText(std::string& text) {
    // Most texts hold no backslash; the scan starts at the first one.
    const std::size_t first = text.find('\\');
    if (first != std::string::npos) text.resize(Unescape(text.data(), text.size(), first));
}

void RegisterText(std::int32_t id, std::string_view text) {
    if (std::string_view* slot = RegisterSlot(id)) *slot = Store.Copy(text);
}

void RegisterConstantText(std::int32_t id, std::string_view text) {
    if (std::string_view* slot = RegisterSlot(id)) *slot = text;
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

void ReadTranslationText(std::string_view bytes) {
    if (bytes.empty()) return;
    auto copy = std::make_unique_for_overwrite<char[]>(bytes.size());
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    ReadTexts(Store.Keep(std::move(copy), bytes.size()), bytes.size());
}

std::size_t TranslationTextBytes() { return Store.Held(); }

void StartTranslationTable() { ReadTranslationFile(); }

void ReleaseTranslationTable() {
    TranslationTable.fill({});
    Store.Release();
    TranslationFileRead = false;
}

}  // namespace qor
