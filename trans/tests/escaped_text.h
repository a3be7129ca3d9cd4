// The override file's escaped form of any text, for tests that write texts the way the file does.
#pragma once

#include <string>

namespace qor::transtest {

// Every byte that would end the line or the text (zero, CR, LF, bar), and the backslash itself,
// written as its escape.
inline std::string Escaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '\0':
            escaped += "\\0";
            break;
        case '\r':
            escaped += "\\n";
            break;
        case '|':
            escaped += "\\p";
            break;
        case '\n':
            escaped += "\\r";
            break;
        case '\\':
            escaped += "\\s";
            break;
        case '\t':
            escaped += "\\t";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace qor::transtest
