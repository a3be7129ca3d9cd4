// The REGEDIT4 text form of the POSIX registry hives (see hive_format.h).
#include "os/posix/hive_format.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <unordered_map>

#include "os/registry.h"

namespace os::posix {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Every byte's Windows-1252 lower-case form, as Windows compares registry names: ASCII, the accented
// capitals 0xC0-0xDE (0xD7, the times sign, is none), and the four capitals of the 0x80 row.
constexpr std::array<unsigned char, 256> FoldTable = [] {
    std::array<unsigned char, 256> table{};
    for (int b = 0; b < 256; ++b) {
        int folded = b;
        if (b >= 'A' && b <= 'Z') {
            folded = b + 0x20;
        } else if (b >= 0xC0 && b <= 0xDE && b != 0xD7) {
            folded = b + 0x20;
        } else if (b == 0x8A || b == 0x8C || b == 0x8E) {  // S caron, OE, Z caron
            folded = b + 0x10;
        } else if (b == 0x9F) {  // Y diaeresis
            folded = 0xFF;
        }
        table[static_cast<std::size_t>(b)] = static_cast<unsigned char>(folded);
    }
    return table;
}();

unsigned char FoldName(char c) { return FoldTable[static_cast<unsigned char>(c)]; }

// A hash of a name by a coarser form than its folded one, so that names that are the same name hash
// alike: every byte with the bit that tells an ASCII letter's cases apart set (0x20), and for a byte
// from 0x80 up the bits that tell the cases of the Windows-1252 letters apart (0x10, 0x20 and 0x40),
// which takes eight bytes at a time. Names that differ in those bits only hash alike; the index
// compares the names themselves.
std::uint32_t NameHash(std::string_view name) {
    constexpr std::uint64_t Ones = 0x0101010101010101u;
    std::uint64_t h = 0x9E3779B97F4A7C15u ^ name.size();
    // A multiply per word; the shifts at the end bring its upper bits down to the lower ones.
    auto mix = [&h](std::uint64_t word) {
        h = (h ^ (word | 0x20 * Ones | ((word >> 7) & Ones) * 0x50)) * 0xBF58476D1CE4E5B9u;
    };
    std::size_t at = 0;
    for (; name.size() - at >= 8; at += 8) {
        std::uint64_t word;
        std::memcpy(&word, name.data() + at, 8);
        mix(word);
    }
    if (at < name.size()) {
        // The last eight bytes again when there are so many, else the few there are.
        std::uint64_t word = 0;
        if (name.size() >= 8) {
            std::memcpy(&word, name.data() + name.size() - 8, 8);
        } else {
            for (; at < name.size(); ++at) word = word << 8 | static_cast<unsigned char>(name[at]);
        }
        mix(word);
    }
    h ^= h >> 29;
    h *= 0x94D049BB133111EBu;
    return static_cast<std::uint32_t>(h >> 32);
}

// Where in a list of names (a hive's keys, a key's values) each name is, found by its folded form, so
// that reading a hive looks up each of its lines' names at a constant cost whatever the size. Open
// addressing over a power-of-two table of slots, at most half of them used; a slot holds the name's
// hash and its position in the list, which the caller keeps.
class NameIndex {
public:
    // Room for `names` names before the table grows; only for an empty index.
    void Reserve(std::size_t names) {
        std::size_t size = 16;
        while (size < names * 2) size *= 2;
        slots_.assign(size, Slot{});
    }

    // The position of the name that is the same name as `name`, or `position` once the name has been
    // noted there (the caller then puts it there). `nameAt(p)` gives the name at position p.
    template <typename NameAt>
    std::size_t FindOrAdd(std::string_view name, std::uint32_t hash, std::size_t position, NameAt nameAt) {
        if ((used_ + 1) * 2 > slots_.size()) Grow();
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (slot.position == 0) {
                slot = Slot{hash, static_cast<std::uint32_t>(position + 1)};
                ++used_;
                return position;
            }
            if (slot.hash == hash && SameName(nameAt(slot.position - 1), name)) return slot.position - 1;
        }
    }

private:
    struct Slot {
        std::uint32_t hash = 0;
        // In the list, plus one; 0 for an empty slot. Each name takes a line of a file read whole
        // into memory, so there are never 2^32 of them.
        std::uint32_t position = 0;
    };

    void Grow() {
        std::vector<Slot> old(slots_.empty() ? 16 : slots_.size() * 2);
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.position == 0) continue;
            std::size_t i = slot.hash & mask;
            while (slots_[i].position != 0) i = (i + 1) & mask;
            slots_[i] = slot;
        }
    }

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

// The lines of a text, each without its line end (LF or CR LF).
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {}

    bool Next(std::string_view& line) {
        if (at_ >= text_.size()) return false;
        const void* found = std::memchr(text_.data() + at_, '\n', text_.size() - at_);
        const std::size_t end =
            found ? static_cast<std::size_t>(static_cast<const char*>(found) - text_.data()) : text_.size();
        line = text_.substr(at_, end - at_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        at_ = end + 1;
        return true;
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    const char l = Lower(c);
    if (l >= 'a' && l <= 'f') return l - 'a' + 10;
    return -1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    const std::string_view start = text.substr(0, prefix.size());
    return start == prefix || SameName(start, prefix);
}

// Reads a quoted string starting at text[pos] == '"' into a std::string or the bytes of a value; only
// \\ and \" are escapes in this format.
template <typename Out>
bool ReadQuoted(std::string_view text, std::size_t& pos, Out& out) {
    if (pos >= text.size() || text[pos] != '"') return false;
    ++pos;
    out.clear();
    // Most strings have no escape: they are taken whole.
    std::size_t plain = pos;
    while (plain < text.size() && text[plain] != '"' && text[plain] != '\\') ++plain;
    out.insert(out.end(), text.begin() + static_cast<std::ptrdiff_t>(pos),
               text.begin() + static_cast<std::ptrdiff_t>(plain));
    pos = plain;
    while (pos < text.size()) {
        const char c = text[pos++];
        if (c == '"') return true;
        if (c == '\\') {
            if (pos >= text.size()) return false;
            const char e = text[pos++];
            if (e != '\\' && e != '"') return false;
            out.push_back(static_cast<typename Out::value_type>(e));
        } else {
            out.push_back(static_cast<typename Out::value_type>(c));
        }
    }
    return false;
}

bool ReadHexList(std::string_view text, std::vector<std::uint8_t>& out) {
    out.clear();
    // Each byte takes two digits and all but the last a comma.
    out.reserve((text.size() + 1) / 3);
    std::size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    };
    skipBlanks();
    if (pos == text.size()) return true;
    while (true) {
        skipBlanks();
        if (pos + 2 > text.size()) return false;
        const int hi = HexDigit(text[pos]);
        const int lo = HexDigit(text[pos + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        pos += 2;
        skipBlanks();
        if (pos == text.size()) return true;
        if (text[pos] != ',') return false;
        ++pos;
    }
}

bool ParseData(std::string_view text, HiveValue& value) {
    if (!text.empty() && text[0] == '"') {
        std::size_t pos = 0;
        // Room for the text between the quotes and a terminator.
        value.data.reserve(text.size() - 1);
        if (!ReadQuoted(text, pos, value.data) || pos != text.size()) return false;
        value.type = RegSz;
        value.data.push_back(0);
        return true;
    }
    if (StartsWithNoCase(text, "dword:")) {
        const std::string_view digits = text.substr(6);
        if (digits.size() != 8) return false;
        std::uint32_t v = 0;
        for (char c : digits) {
            const int d = HexDigit(c);
            if (d < 0) return false;
            v = v * 16 + static_cast<std::uint32_t>(d);
        }
        value.type = RegDword;
        value.data = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                      static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
        return true;
    }
    if (StartsWithNoCase(text, "hex:")) {
        value.type = RegBinary;
        return ReadHexList(text.substr(4), value.data);
    }
    if (StartsWithNoCase(text, "hex(")) {
        const std::size_t close = text.find("):");
        if (close == std::string_view::npos || close == 4 || close > 12) return false;
        std::uint32_t type = 0;
        for (char c : text.substr(4, close - 4)) {
            const int d = HexDigit(c);
            if (d < 0) return false;
            type = type * 16 + static_cast<std::uint32_t>(d);
        }
        value.type = type;
        return ReadHexList(text.substr(close + 2), value.data);
    }
    return false;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

// A name is written on one line: a line feed in it would end that line.
bool OnOneLine(std::string_view name) { return name.find('\n') == std::string_view::npos; }

void AppendQuoted(std::string& out, std::string_view s) {
    out.push_back('"');
    // The text between the characters to escape goes in whole.
    std::size_t from = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' && s[i] != '"') continue;
        out.append(s, from, i - from);
        out.push_back('\\');
        from = i;
    }
    out.append(s, from, s.size() - from);
    out.push_back('"');
}

// A string value can be written as "text" only when its bytes are exactly one line and one terminator.
bool QuotableString(const HiveValue& value) {
    if (value.type != RegSz || value.data.empty() || value.data.back() != 0) return false;
    for (std::size_t i = 0; i + 1 < value.data.size(); ++i) {
        const std::uint8_t b = value.data[i];
        if (b == 0 || b == '\r' || b == '\n') return false;
    }
    return true;
}

// A number in lower-case hex digits, at least `digits` of them.
void AppendHexNumber(std::string& out, std::uint32_t v, int digits) {
    constexpr char Digits[] = "0123456789abcdef";
    char text[8];
    int n = 8;
    do {
        text[--n] = Digits[v & 0xF];
        v >>= 4;
    } while (v != 0 || 8 - n < digits);
    out.append(text + n, static_cast<std::size_t>(8 - n));
}

void AppendHex(std::string& out, std::size_t lineStart, const std::vector<std::uint8_t>& data) {
    constexpr std::size_t Width = 80;
    for (std::size_t i = 0; i < data.size(); ++i) {
        AppendHexNumber(out, data[i], 2);
        if (i + 1 == data.size()) break;
        out.push_back(',');
        // Continue long lists on the next line, as the registry editor does.
        if (out.size() - lineStart > Width - 4) {
            out += "\\\r\n  ";
            lineStart = out.size() - 2;
        }
    }
}

// The grammar of the file, for every reader of it: `sink.Section(path)` for each section and, for each
// value line, `sink.Value(value)` once the line is read into `sink.Slot()`, in the file's order, then
// `sink.End()`; false, at once, when the text is not a well-formed hive of HiveRootName. A slot may be
// one used before: every part of it is written.
template <typename Sink>
bool ReadHive(std::string_view text, Sink& sink) {
    Lines lines(text);
    std::string_view line;
    do {
        if (!lines.Next(line)) return false;
    } while (TrimRight(line).empty());
    if (TrimRight(line) != "REGEDIT4") return false;

    bool inSection = false;
    std::string joined;
    while (lines.Next(line)) {
        line = TrimRight(line);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (line.back() != ']') return false;
            const std::string_view name = line.substr(1, line.size() - 2);
            if (!StartsWithNoCase(name, HiveRootName)) return false;
            std::string_view path = name.substr(HiveRootName.size());
            if (!path.empty()) {
                if (path.front() != '\\') return false;
                path.remove_prefix(1);
                if (path.empty()) return false;
            }
            if (!ValidKeyPath(path)) return false;
            sink.Section(path);
            inSection = true;
            continue;
        }
        if (!inSection) return false;

        HiveValue& value = sink.Slot();
        std::size_t pos = 0;
        if (line.front() == '@') {
            value.name.clear();
            pos = 1;
        } else if (!ReadQuoted(line, pos, value.name)) {
            return false;
        }
        if (pos >= line.size() || line[pos] != '=') return false;
        std::string_view data = line.substr(pos + 1);
        // Hex lists may go on over several lines, each but the last ending in a backslash.
        if (!data.empty() && data.back() == '\\' && StartsWithNoCase(data, "hex")) {
            joined = data;
            while (!joined.empty() && joined.back() == '\\') {
                joined.pop_back();
                std::string_view next;
                if (!lines.Next(next)) return false;
                joined += TrimLeft(TrimRight(next));
            }
            data = joined;
        }
        if (!ParseData(data, value)) return false;
        sink.Value(value);
    }
    sink.End();
    return true;
}

// Builds the hive of ParseHive. A section of a key met before adds to that key, and a value met
// before in its key replaces that value's type and data; both keep the spelling first read. Keys are
// found by an index of their names, a key's values by a scan while they are few and by an index of
// their own once they are more, so that the whole read takes time in proportion to the text.
class HiveBuilder {
public:
    explicit HiveBuilder(std::size_t textSize) {
        // Room from the start for the keys of a file of small keys.
        keyIndex_.Reserve(textSize / 128);
    }

    void Section(std::string_view path) {
        EndSection();
        currentAt_ = keyIndex_.FindOrAdd(path, NameHash(path), hive_.keys.size(),
                                         [this](std::size_t at) -> std::string_view { return hive_.keys[at].path; });
        if (currentAt_ == hive_.keys.size()) hive_.keys.push_back(HiveKey{std::string(path), {}});
        current_ = &hive_.keys[currentAt_];
        // The values of a key read for the first time gather apart and go to the key at the end of its
        // section, in one piece; a key met again takes them directly.
        values_ = current_->values.empty() ? &pending_ : &current_->values;
        valueIndex_ = values_->size() > ScannedValues ? &valueIndexes_[currentAt_] : nullptr;
    }

    // The value is read where it goes, after the section's others.
    HiveValue& Slot() { return values_->emplace_back(); }

    void Value(HiveValue& value) {
        auto nameAt = [this](std::size_t at) -> std::string_view { return (*values_)[at].name; };
        const std::size_t last = values_->size() - 1;
        std::size_t at = last;
        if (valueIndex_) {
            at = valueIndex_->FindOrAdd(value.name, NameHash(value.name), last, nameAt);
        } else {
            for (std::size_t i = 0; i < last; ++i) {
                if (SameName((*values_)[i].name, value.name)) {
                    at = i;
                    break;
                }
            }
        }
        if (at != last) {
            (*values_)[at].type = value.type;
            (*values_)[at].data = std::move(value.data);
            values_->pop_back();
            return;
        }
        if (!valueIndex_ && values_->size() > ScannedValues) {
            valueIndex_ = &valueIndexes_[currentAt_];
            for (std::size_t i = 0; i < values_->size(); ++i) {
                valueIndex_->FindOrAdd((*values_)[i].name, NameHash((*values_)[i].name), i, nameAt);
            }
        }
    }

    void End() { EndSection(); }

    Hive Take() { return std::move(hive_); }

private:
    // Values a key holds before they are looked up through an index rather than one by one.
    static constexpr std::size_t ScannedValues = 8;

    void EndSection() {
        if (values_ != &pending_ || pending_.empty()) return;
        current_->values.assign(std::make_move_iterator(pending_.begin()), std::make_move_iterator(pending_.end()));
        pending_.clear();
    }

    Hive hive_;
    NameIndex keyIndex_;
    std::size_t currentAt_ = 0;
    HiveKey* current_ = nullptr;
    std::vector<HiveValue> pending_;
    std::vector<HiveValue>* values_ = nullptr;
    // The index of the values of each key that has more than ScannedValues, by the key's position.
    std::unordered_map<std::size_t, NameIndex> valueIndexes_;
    NameIndex* valueIndex_ = nullptr;
};

// Whether a key with a section of `section` makes the key `path` exist: it is that key or lies below it.
bool Implies(std::string_view section, std::string_view path) {
    return section.size() >= path.size() && SameName(section.substr(0, path.size()), path) &&
           (section.size() == path.size() || section[path.size()] == '\\');
}

// Finds what LookUpHive gives while the text is read, keeping nothing else.
class KeyLookup {
public:
    KeyLookup(std::string_view path, std::optional<std::string_view> name) : path_(path), name_(name) {}

    void Section(std::string_view section) {
        if (Implies(section, path_)) found_.keyExists = true;
        inKey_ = SameName(section, path_);
    }

    HiveValue& Slot() { return slot_; }

    void Value(const HiveValue& value) {
        if (!inKey_ || !name_ || !SameName(value.name, *name_)) return;
        if (found_.value) {
            found_.value->type = value.type;
            found_.value->data = value.data;
        } else {
            found_.value = value;
        }
    }

    void End() {}

    HiveLookup Take() { return std::move(found_); }

private:
    std::string_view path_;
    std::optional<std::string_view> name_;
    bool inKey_ = false;
    // Every value line is read here, so that reading allocates nothing once it holds the longest.
    HiveValue slot_;
    HiveLookup found_;
};

}  // namespace

bool ValidKeyPath(std::string_view path) {
    // One pass: no line feed, and no component empty (none at the start, between two backslashes or
    // at the end).
    bool componentStarts = true;
    for (const char c : path) {
        if (c == '\n') return false;
        if (c == '\\') {
            if (componentStarts) return false;
            componentStarts = true;
        } else {
            componentStarts = false;
        }
    }
    return path.empty() || !componentStarts;
}

bool ValidValueName(std::string_view name) { return OnOneLine(name); }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldName(a[i]) != FoldName(b[i])) return false;
    }
    return true;
}

HiveKey* FindKey(Hive& hive, std::string_view path) {
    for (auto& key : hive.keys) {
        if (SameName(key.path, path)) return &key;
    }
    return nullptr;
}

HiveValue* FindValue(HiveKey& key, std::string_view name) {
    for (auto& value : key.values) {
        if (SameName(value.name, name)) return &value;
    }
    return nullptr;
}

bool KeyExists(const Hive& hive, std::string_view path) {
    // A key's section implies its parents, as the registry editor reads such a file.
    for (const auto& key : hive.keys) {
        if (Implies(key.path, path)) return true;
    }
    return false;
}

bool EnsureKey(Hive& hive, std::string_view path) {
    // One pass over the keys finds whether the key has a section and which of its parents are there,
    // as sections or implied by deeper ones. A parent implies every shorter one, so what the pass
    // keeps is the length up to which they are all there: a parent whose backslash in `path` lies
    // below `there` is there.
    std::size_t there = 0;
    for (const auto& key : hive.keys) {
        const std::string_view other = key.path;
        const std::size_t shorter = std::min(other.size(), path.size());
        std::size_t same = 0;
        while (same < shorter && FoldName(other[same]) == FoldName(path[same])) ++same;
        if (same == other.size() && same == path.size()) return false;
        // `other` lies below every parent whose backslash falls inside the part they share (a
        // backslash is the same only as a backslash), and is the parent that ends where it ends.
        there = std::max(there, same == other.size() ? same + 1 : same);
    }
    std::size_t end = 0;
    while ((end = path.find('\\', end)) != std::string_view::npos) {
        if (end >= there) hive.keys.push_back(HiveKey{std::string(path.substr(0, end)), {}});
        ++end;
    }
    hive.keys.push_back(HiveKey{std::string(path), {}});
    return true;
}

std::optional<Hive> ParseHive(std::string_view text) {
    HiveBuilder builder(text.size());
    if (!ReadHive(text, builder)) return std::nullopt;
    return builder.Take();
}

std::optional<HiveLookup> LookUpHive(std::string_view text, std::string_view path,
                                     std::optional<std::string_view> name) {
    KeyLookup lookup(path, name);
    if (!ReadHive(text, lookup)) return std::nullopt;
    return lookup.Take();
}

std::string FormatHive(const Hive& hive) {
    // Room for the whole text at once, so that a large hive is not copied over and over as it grows:
    // no name or value takes more than this (each of their bytes escaped, or written as three or four
    // characters of a hex list).
    std::size_t room = 16;
    for (const auto& key : hive.keys) {
        room += HiveRootName.size() + key.path.size() + 8;
        for (const auto& value : key.values) room += 2 * value.name.size() + 4 * value.data.size() + 32;
    }
    std::string out;
    out.reserve(room);
    out += "REGEDIT4\r\n";
    for (const auto& key : hive.keys) {
        out += "\r\n[";
        out += HiveRootName;
        if (!key.path.empty()) {
            out.push_back('\\');
            out += key.path;
        }
        out += "]\r\n";
        for (const auto& value : key.values) {
            const std::size_t lineStart = out.size();
            if (value.name.empty()) {
                out.push_back('@');
            } else {
                AppendQuoted(out, value.name);
            }
            out.push_back('=');
            if (QuotableString(value)) {
                AppendQuoted(out,
                             std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1));
            } else if (value.type == RegDword && value.data.size() == 4) {
                const std::uint32_t v =
                    static_cast<std::uint32_t>(value.data[0]) | static_cast<std::uint32_t>(value.data[1]) << 8 |
                    static_cast<std::uint32_t>(value.data[2]) << 16 | static_cast<std::uint32_t>(value.data[3]) << 24;
                out += "dword:";
                AppendHexNumber(out, v, 8);
            } else {
                if (value.type == RegBinary) {
                    out += "hex:";
                } else {
                    out += "hex(";
                    AppendHexNumber(out, value.type, 1);
                    out += "):";
                }
                AppendHex(out, lineStart, value.data);
            }
            out += "\r\n";
        }
    }
    out += "\r\n";
    return out;
}

}  // namespace os::posix
