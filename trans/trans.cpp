// The translation table, its override file reader and its store rules.
#include "trans/trans.h"

#include <algorithm>
#include <bit>
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

bool EndsLine(char c) { return c == '\r' || c == '\n' || c == '\0'; }

// ---- Eight bytes at a time ----
// A word holds eight bytes of the content, the first byte in its lowest bits; a mark is the high bit
// of a byte's eight.
static_assert(std::endian::native == std::endian::little, "the word scans take the first byte as the lowest");

using Word = std::uint64_t;
constexpr Word Ones = 0x0101010101010101u;
constexpr Word Highs = 0x8080808080808080u;
constexpr std::size_t WordSize = sizeof(Word);

Word LoadWord(const char* at) {
    Word word;
    std::memcpy(&word, at, WordSize);
    return word;
}

// Marks every byte below `limit` (at most 128), and perhaps a byte above a marked one (a borrow runs
// on): the first mark is always exact.
constexpr Word MarksBelow(Word word, unsigned limit) { return (word - Ones * limit) & ~word & Highs; }

// Which byte of the word holds the first mark.
constexpr std::size_t FirstMarked(Word marks) { return static_cast<std::size_t>(std::countr_zero(marks)) / 8; }

// The first position at or after `at` that `IsStop` accepts, or the content's size. `Candidates`
// marks at least every stop byte of a word, and its first mark is exact; the others are checked.
template <typename Candidates, typename IsStop>
std::size_t FindStop(std::string_view bytes, std::size_t at, Candidates candidates, IsStop isStop) {
    for (; at + WordSize <= bytes.size(); at += WordSize) {
        for (Word marks = candidates(LoadWord(bytes.data() + at)); marks != 0; marks &= marks - 1) {
            const std::size_t stop = at + FirstMarked(marks);
            if (isStop(bytes[stop])) return stop;
        }
    }
    for (; at < bytes.size(); ++at) {
        if (isStop(bytes[at])) return at;
    }
    return bytes.size();
}

// CR, LF and 0 are below 14; a tab or another control byte among the candidates is passed over.
Word LineEndCandidates(Word word) { return MarksBelow(word, 14); }

// Where a text may stop or need a look: a bar, a backslash or a line end. The bar (0x7c) and the
// backslash (0x5c) differ in one bit only, so setting it in every byte finds both with one test.
Word TextStopCandidates(Word word) { return MarksBelow(word, 14) | MarksBelow((word | Ones * 0x20) ^ Ones * 0x7c, 1); }

bool StopsText(char c) { return c == '|' || c == '\\' || EndsLine(c); }

// A number field at `at` of the content: digits up to the first other byte, which is consumed with
// the field unless it ends the line; no digits give 0. Values past 32 bits wrap: the range checks of
// the store apply to what comes out. Byte by byte: the fields are short, and their lengths, predicted,
// keep the next field's position off the path that waits for the bytes. The result comes back in
// registers rather than through a position in memory, which each field would have to wait for.
struct NumberField {
    std::uint32_t value;
    std::size_t next;  // where the next field begins
};

NumberField ReadNumberField(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (; at < bytes.size(); ++at) {
        const char c = bytes[at];
        if (c < '0' || c > '9') return {value, EndsLine(c) ? at : at + 1};
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return {value, at};
}

// Stores the text records of content the store keeps, in one pass: each line's numbers, then its text
// up to the closing bar, and on to the line's end. A stored text refers to its bytes in the content,
// unescaped where they stand. Lines that cannot store are not looked at past their numbers.
void ReadTexts(char* content, std::size_t size) {
    const std::string_view bytes(content, size);
    std::size_t at = 0;
    while (at < size) {
        std::size_t lineEnd = 0;
        std::string_view* slot = nullptr;
        const NumberField recordType = ReadNumberField(bytes, at);
        at = recordType.next;
        if (recordType.value == RecordTypeText) {
            const NumberField language = ReadNumberField(bytes, at);
            const NumberField id = ReadNumberField(bytes, language.next);
            at = id.next;
            slot = EmptySlot(static_cast<std::int32_t>(id.value), static_cast<std::uint8_t>(language.value));
        }
        if (slot == nullptr) {
            lineEnd = FindLineEnd(bytes, at);
        } else {
            std::size_t stop = FindStop(bytes, at, TextStopCandidates, StopsText);
            std::size_t backslash = std::string_view::npos;
            while (stop < size && bytes[stop] == '\\') {
                if (backslash == std::string_view::npos) backslash = stop;
                stop = FindStop(bytes, stop + 1, TextStopCandidates, StopsText);
            }
            if (stop < size && bytes[stop] == '|') {
                const std::size_t length = stop - at;
                *slot = {content + at,
                         backslash == std::string_view::npos ? length : Unescape(content + at, length, backslash - at)};
                // Mostly the line ends right after the bar.
                lineEnd = stop + 1 < size && EndsLine(bytes[stop + 1]) ? stop + 1 : FindLineEnd(bytes, stop + 1);
            } else {
                lineEnd = stop;
            }
        }
        if (lineEnd == size || bytes[lineEnd] == '\0') return;
        at = LineAfter(bytes, lineEnd);
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
    return FindStop(bytes, start, LineEndCandidates, EndsLine);
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
