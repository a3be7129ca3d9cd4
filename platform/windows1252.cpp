#include "platform/windows1252.h"

#include <array>

namespace qor {
namespace {

// 0x80..0x9F: where Windows-1252 differs from Latin-1.
constexpr std::array<char32_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        // Every code point of the code page lies in the Basic Multilingual Plane.
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

char32_t FromWindows1252(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) return HighControls[byte - 0x80];
    return byte;
}

char ToWindows1252(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<char>(codePoint);
    for (std::size_t i = 0; i < HighControls.size(); ++i) {
        if (HighControls[i] == codePoint) return static_cast<char>(0x80 + i);
    }
    return '?';
}

std::string Windows1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) AppendUtf8(out, FromWindows1252(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace qor
