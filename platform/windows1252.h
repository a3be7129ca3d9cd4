// The program's 8-bit texts are in Windows-1252, the Windows code page they are written in. These
// turn them into Unicode for toolkits, terminals and JSON, and back.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qor {

// The Unicode code point of one Windows-1252 byte. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same number, as Windows does.
char32_t FromWindows1252(unsigned char byte);

// The Windows-1252 byte of a code point, or '?' when the code page has none.
char ToWindows1252(char32_t codePoint);

// A whole 8-bit text as UTF-8.
std::string Windows1252ToUtf8(std::string_view text);

// UTF-8 text in the code page; nothing when it is not UTF-8 or holds a character the code page lacks,
// which `refused` then names ("U+4E2D", or "byte 0xFC" where the text is not UTF-8).
std::optional<std::string> Utf8ToWindows1252(std::string_view utf8, std::string& refused);

// The 8-bit text with every control character (C0, DEL, and the C1 controls the undefined bytes stand
// for) written as an escape ("\n", "\r", "\t", "\x1b"), so that it prints on one line and no
// terminal control sequence gets through.
std::string EscapeControls(std::string_view text);

}  // namespace qor
