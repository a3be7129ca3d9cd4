#include "app/qt/text.h"

#include "platform/windows1252.h"

namespace corvix::qt {

QString FromEightBit(std::string_view text) {
    QString decoded;
    decoded.reserve(static_cast<qsizetype>(text.size()));
    // Every code point of the code page is in the Basic Multilingual Plane: one QChar each.
    for (const char c : text)
        decoded += QChar(static_cast<char16_t>(qor::FromWindows1252(static_cast<unsigned char>(c))));
    return decoded;
}

std::string ToEightBit(const QString& text) {
    std::string encoded;
    for (const char32_t c : text.toUcs4()) encoded += qor::ToWindows1252(c);
    return encoded;
}

}  // namespace corvix::qt
