// The REGEDIT4 text form of the POSIX registry hives (see hive_format.h).
#include "os/posix/hive_format.h"

#include <cstdio>

#include "os/registry.h"

namespace os::posix {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// A Windows-1252 letter in its lower-case form, as Windows compares registry names: ASCII, the
// accented capitals 0xC0-0xDE (0xD7, the times sign, is none), and the four capitals of the 0x80 row.
unsigned char FoldName(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0xC0 && b <= 0xDE && b != 0xD7) return static_cast<unsigned char>(b + 0x20);
    switch (b) {
    case 0x8A:  // S caron
    case 0x8C:  // OE
    case 0x8E:  // Z caron
        return static_cast<unsigned char>(b + 0x10);
    case 0x9F:  // Y diaeresis
        return 0xFF;
    default:
        return static_cast<unsigned char>(Lower(c));
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    const char l = Lower(c);
    if (l >= 'a' && l <= 'f') return l - 'a' + 10;
    return -1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

// Reads a quoted string starting at text[pos] == '"'; only \\ and \" are escapes in this format.
bool ReadQuoted(std::string_view text, std::size_t& pos, std::string& out) {
    if (pos >= text.size() || text[pos] != '"') return false;
    ++pos;
    out.clear();
    while (pos < text.size()) {
        const char c = text[pos++];
        if (c == '"') return true;
        if (c == '\\') {
            if (pos >= text.size()) return false;
            const char e = text[pos++];
            if (e != '\\' && e != '"') return false;
            out.push_back(e);
        } else {
            out.push_back(c);
        }
    }
    return false;
}

bool ReadHexList(std::string_view text, std::vector<std::uint8_t>& out) {
    out.clear();
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
        std::string s;
        if (!ReadQuoted(text, pos, s) || pos != text.size()) return false;
        value.type = RegSz;
        value.data.assign(s.begin(), s.end());
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

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
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
    for (char c : s) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
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

void AppendHex(std::string& out, std::size_t lineStart, const std::vector<std::uint8_t>& data) {
    constexpr std::size_t Width = 80;
    for (std::size_t i = 0; i < data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        out += byte;
        if (i + 1 == data.size()) break;
        out.push_back(',');
        // Continue long lists on the next line, as the registry editor does.
        if (out.size() - lineStart > Width - 4) {
            out += "\\\r\n  ";
            lineStart = out.size() - 2;
        }
    }
}

}  // namespace

bool ValidKeyPath(std::string_view path) {
    if (!OnOneLine(path)) return false;
    if (path.empty()) return true;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::size_t len = (end == std::string_view::npos ? path.size() : end) - start;
        if (len == 0) return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
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
    for (const auto& key : hive.keys) {
        // A key's section implies its parents, as the registry editor reads such a file.
        if (key.path.size() >= path.size() && SameName(std::string_view(key.path).substr(0, path.size()), path) &&
            (key.path.size() == path.size() || key.path[path.size()] == '\\')) {
            return true;
        }
    }
    return false;
}

bool EnsureKey(Hive& hive, std::string_view path) {
    if (FindKey(hive, path)) return false;
    std::size_t end = 0;
    while ((end = path.find('\\', end)) != std::string_view::npos) {
        const std::string_view parent = path.substr(0, end);
        if (!KeyExists(hive, parent)) hive.keys.push_back(HiveKey{std::string(parent), {}});
        ++end;
    }
    hive.keys.push_back(HiveKey{std::string(path), {}});
    return true;
}

std::optional<Hive> ParseHive(std::string_view text) {
    const std::vector<std::string_view> lines = SplitLines(text);
    std::size_t i = 0;
    while (i < lines.size() && TrimRight(lines[i]).empty()) ++i;
    if (i == lines.size() || TrimRight(lines[i]) != "REGEDIT4") return std::nullopt;
    ++i;

    Hive hive;
    HiveKey* current = nullptr;
    for (; i < lines.size(); ++i) {
        const std::string_view line = TrimRight(lines[i]);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (line.back() != ']') return std::nullopt;
            const std::string_view name = line.substr(1, line.size() - 2);
            if (!StartsWithNoCase(name, HiveRootName)) return std::nullopt;
            std::string_view path = name.substr(HiveRootName.size());
            if (!path.empty()) {
                if (path.front() != '\\') return std::nullopt;
                path.remove_prefix(1);
                if (path.empty()) return std::nullopt;
            }
            if (!ValidKeyPath(path)) return std::nullopt;
            current = FindKey(hive, path);
            if (!current) {
                hive.keys.push_back(HiveKey{std::string(path), {}});
                current = &hive.keys.back();
            }
            continue;
        }
        if (!current) return std::nullopt;

        HiveValue value;
        std::size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else if (!ReadQuoted(line, pos, value.name)) {
            return std::nullopt;
        }
        if (pos >= line.size() || line[pos] != '=') return std::nullopt;
        std::string data(line.substr(pos + 1));
        // Hex lists may go on over several lines, each but the last ending in a backslash.
        while (!data.empty() && data.back() == '\\' && StartsWithNoCase(data, "hex")) {
            data.pop_back();
            if (++i == lines.size()) return std::nullopt;
            data += TrimLeft(TrimRight(lines[i]));
        }
        if (!ParseData(data, value)) return std::nullopt;
        if (HiveValue* existing = FindValue(*current, value.name)) {
            existing->type = value.type;
            existing->data = std::move(value.data);
        } else {
            current->values.push_back(std::move(value));
        }
    }
    return hive;
}

std::string FormatHive(const Hive& hive) {
    std::string out = "REGEDIT4\r\n";
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
                char dword[16];
                const std::uint32_t v =
                    static_cast<std::uint32_t>(value.data[0]) | static_cast<std::uint32_t>(value.data[1]) << 8 |
                    static_cast<std::uint32_t>(value.data[2]) << 16 | static_cast<std::uint32_t>(value.data[3]) << 24;
                std::snprintf(dword, sizeof dword, "dword:%08x", v);
                out += dword;
            } else {
                char prefix[24];
                if (value.type == RegBinary) {
                    std::snprintf(prefix, sizeof prefix, "hex:");
                } else {
                    std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
                }
                out += prefix;
                AppendHex(out, lineStart, value.data);
            }
            out += "\r\n";
        }
    }
    out += "\r\n";
    return out;
}

}  // namespace os::posix
