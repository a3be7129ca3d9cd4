// The translation table, its override file reader and its store rules.
#include "trans/trans.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <experimental/simd>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "support/error.h"
#include "support/log_except.h"
#include "support/qor_file.h"

namespace qor {

namespace stdx = std::experimental;

namespace {

// The table itself: only this module writes it.
std::array<TTransRecord, MaxTextId + 1> Table;

}  // namespace

const std::array<TTransRecord, MaxTextId + 1>& TranslationTable = Table;
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

// ---- A block of bytes at a time ----
// The widest vector of bytes the target compares in one step. The scans below are forced inline: a
// call per line costs as much as the scan of the line itself.
using Block = stdx::native_simd<char>;
constexpr std::size_t BlockSize = Block::size();

bool EndsLine(char c) { return c == '\r' || c == '\n' || c == '\0'; }

constexpr auto LineEnds = [](const Block& bytes) {
    return bytes == Block('\r') || bytes == Block('\n') || bytes == Block('\0');
};

// The bar (0x7c) and the backslash (0x5c) differ in one bit only: setting it in every byte finds both
// with one comparison.
constexpr auto BarsAndBackslashes = [](const Block& bytes) { return (bytes | Block(0x20)) == Block(0x7c); };

constexpr auto Bars = [](const Block& bytes) { return bytes == Block('|'); };

// Which byte of the block at `at` is the first that `marks` marks, or the block's size for none.
template <typename Marks>
[[gnu::always_inline]] inline std::size_t FirstMarked(const char* at, Marks marks) {
    const Block::mask_type marked = marks(Block(at, stdx::element_aligned));
    return stdx::any_of(marked) ? static_cast<std::size_t>(stdx::find_first_set(marked)) : BlockSize;
}

// The first marked position at or after `at` and before `end`, or `end`. Whole blocks are read, so
// the content must go on for a block past `end`.
template <typename Marks>
std::size_t FirstMarkedBefore(const char* content, std::size_t at, std::size_t end, Marks marks) {
    for (; at < end; at += BlockSize) {
        const std::size_t found = FirstMarked(content + at, marks);
        if (found < BlockSize) return std::min(at + found, end);
    }
    return end;
}

// The first CR, LF or byte of value 0 at or after `at`, or the content's size: whole blocks while
// they fit, then the rest byte by byte.
[[gnu::always_inline]] inline std::size_t LineEnd(std::string_view bytes, std::size_t at) {
    for (; at + BlockSize <= bytes.size(); at += BlockSize) {
        const std::size_t found = FirstMarked(bytes.data() + at, LineEnds);
        if (found < BlockSize) return at + found;
    }
    while (at < bytes.size() && !EndsLine(bytes[at])) ++at;
    return at;
}

// Calls `onLine` with each line of the content: CR LF, a lone CR and a lone LF each end a line, a
// byte of value 0 ends the whole text, and the last line needs no line end.
template <typename OnLine>
void ForEachLine(std::string_view bytes, OnLine&& onLine) {
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = LineEnd(bytes, start);
        const bool textEnds = end == bytes.size() || bytes[end] == '\0';
        // A line that nothing ends is one only if it holds something. One call: the reader's line work
        // is inlined here.
        if (!textEnds || end > start) onLine(bytes.substr(start, end - start));
        if (textEnds) return;
        // CR LF is one line end, LF CR two.
        start = end + (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1);
    }
}

// The read keeps this many bytes of value 0 after the content, so that a line's fields can be read
// in whole blocks and its end stops any run of digits.
constexpr std::size_t Padding = BlockSize;

// The whole file's bytes, in a buffer that is not cleared before the read fills it, with the padding
// after them.
struct FileBytes {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;

    explicit FileBytes(std::size_t capacity) : data(std::make_unique_for_overwrite<char[]>(capacity + Padding)) {}

    void Pad(std::size_t filled) {
        size = filled;
        std::fill_n(data.get() + size, Padding, '\0');
    }
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
    FileBytes bytes(size.size);
    const os::TransferResult read = files.Read(opened.handle, bytes.data.get(), size.size);
    if (!read.ok) throw Error(FileError("Cannot read", path, read.error));
    bytes.Pad(read.count);
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

// For each byte after a backslash, the byte that escape stands for, or -1 where it forms no escape. A
// table rather than a switch: one load instead of a jump that depends on the letter.
constexpr std::array<std::int16_t, 256> EscapedBytes = [] {
    std::array<std::int16_t, 256> produced{};
    produced.fill(-1);
    produced['0'] = '\0';
    produced['n'] = '\r';
    produced['p'] = '|';
    produced['r'] = '\n';
    produced['s'] = '\\';
    produced['t'] = '\t';
    return produced;
}();

// The byte an escape letter stands for; nothing for any other letter.
bool Unescaped(char letter, char& produced) {
    const std::int16_t escaped = EscapedBytes[static_cast<unsigned char>(letter)];
    if (escaped < 0) return false;
    produced = static_cast<char>(escaped);
    return true;
}

bool AlwaysReplaced(std::int32_t id) { return (id >= 1 && id <= 1000) || (id >= 4000 && id <= 6000); }

bool ValidId(std::int32_t id) { return id >= 1 && id <= MaxTextId; }

// Which slots hold a text, one flag each, kept with every change of the table: whether a slot is free
// is asked of every line of the file, and the flags answer from 35 KB where the table's slots are
// spread over more than half a megabyte. Bytes rather than bits: fewer instructions per line.
std::array<bool, (MaxTextId + 1) * LanguageCount> Filled;

std::size_t SlotIndex(std::int32_t id, std::uint8_t language) {
    return static_cast<std::size_t>(id) * LanguageCount + language;
}

// Whether a file text may go to the slot: not for a language above 4 or an id outside the table, and
// not once the slot holds a text.
bool MayFill(std::int32_t id, std::uint8_t language) {
    return language < LanguageCount && ValidId(id) && !Filled[SlotIndex(id, language)];
}

// Whether a registered text may go to the Dutch slot of an id.
bool MayRegister(std::int32_t id) { return ValidId(id) && (AlwaysReplaced(id) || !Filled[SlotIndex(id, 0)]); }

[[gnu::always_inline]] inline void Put(std::int32_t id, std::uint8_t language, std::string_view text) {
    Table[static_cast<std::size_t>(id)].Texts[language] = text;
    Filled[SlotIndex(id, language)] = !text.empty();
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

// A number field at `at`: digits up to the first other byte, which is consumed with the field unless
// it ends the line; no digits give 0. Values past 32 bits wrap: the range checks of the store apply
// to what comes out. The line's end, or the padding after the last line, stops the digits.
struct NumberField {
    std::uint32_t value;
    std::size_t next;  // where the next field begins
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

[[gnu::always_inline]] inline NumberField ReadNumberField(const char* content, std::size_t at) {
    std::uint32_t value = 0;
    for (;; ++at) {
        const char c = content[at];
        if (!IsDigit(c)) return {value, EndsLine(c) ? at : at + 1};
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
}

// Stores the text record of the line from `start` to its end at `end`, if it is one and its slot is
// empty: its numbers, then its text up to its first bar, unescaped where it stands.
void ReadLine(char* content, std::size_t start, std::size_t end) {
    NumberField language;
    if (content[start] == '2' && content[start + 1] == '|' && IsDigit(content[start + 2]) &&
        content[start + 3] == '|') {
        // A text record as the file is written: its type and a one-digit language.
        language = {static_cast<std::uint32_t>(content[start + 2] - '0'), start + 4};
    } else {
        const NumberField recordType = ReadNumberField(content, start);
        if (recordType.value != RecordTypeText) return;
        language = ReadNumberField(content, recordType.next);
    }
    const NumberField id = ReadNumberField(content, language.next);
    const auto textId = static_cast<std::int32_t>(id.value);
    const auto languageNumber = static_cast<std::uint8_t>(language.value);
    if (!MayFill(textId, languageNumber)) return;
    const std::size_t text = id.next;
    std::size_t bar = FirstMarkedBefore(content, text, end, BarsAndBackslashes);
    if (bar == end) return;
    const std::size_t backslash = content[bar] == '\\' ? bar : std::string_view::npos;
    if (backslash != std::string_view::npos) {
        bar = FirstMarkedBefore(content, backslash + 1, end, Bars);
        if (bar == end) return;
    }
    const std::size_t length = bar - text;
    Put(textId, languageNumber,
        {content + text,
         backslash == std::string_view::npos ? length : Unescape(content + text, length, backslash - text)});
}

// Stores the text records of content the store keeps, followed by its padding. The work on a line's
// fields does not hold up finding the next line's end.
void ReadTexts(char* content, std::size_t size) {
    ForEachLine({content, size}, [content](std::string_view line) {
        const auto start = static_cast<std::size_t>(line.data() - content);
        ReadLine(content, start, start + line.size());
    });
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
        ReadTexts(Store.Keep(std::move(bytes.data), bytes.size + Padding), bytes.size);
        TranslationFileRead = true;
    } catch (...) {
        // Start-up goes on without the file's texts; the entry describes the error being handled.
        LogException("Trans", "ReadTranslationFile", {}, system, files);
    }
}

void StoreTranslation(std::string_view text, std::int32_t id, std::uint8_t language) {
    if (MayFill(id, language)) Put(id, language, Store.Copy(text));
}

void UnescapeText(std::string& text) {
    // Most texts hold no backslash; the scan starts at the first one.
    const std::size_t first = text.find('\\');
    if (first != std::string::npos) text.resize(Unescape(text.data(), text.size(), first));
}

void RegisterText(std::int32_t id, std::string_view text) {
    if (MayRegister(id)) Put(id, 0, Store.Copy(text));
}

void RegisterConstantText(std::int32_t id, std::string_view text) {
    if (MayRegister(id)) Put(id, 0, text);
}

void SplitLines(std::string_view bytes, const std::function<void(std::string_view)>& onLine) {
    ForEachLine(bytes, onLine);
}

void ReadTranslationText(std::string_view bytes) {
    if (bytes.empty()) return;
    FileBytes copy(bytes.size());
    std::memcpy(copy.data.get(), bytes.data(), bytes.size());
    copy.Pad(bytes.size());
    ReadTexts(Store.Keep(std::move(copy.data), copy.size + Padding), copy.size);
}

std::size_t TranslationTextBytes() { return Store.Held(); }

void StartTranslationTable() { ReadTranslationFile(); }

void ReleaseTranslationTable() {
    Table.fill({});
    Filled.fill(false);
    Store.Release();
    TranslationFileRead = false;
}

}  // namespace qor
