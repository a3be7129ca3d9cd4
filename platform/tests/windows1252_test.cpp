#include "platform/windows1252.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

TEST(Windows1252, BytesWhereItDiffersFromLatin1) {
    struct Case {
        unsigned char byte;
        char32_t codePoint;
    };
    for (const Case c :
         {Case{0x41, U'A'}, Case{0x80, U'\u20AC'}, Case{0x8A, U'\u0160'}, Case{0x93, U'\u201C'}, Case{0x9F, U'\u0178'},
          Case{0x81, U'\u0081'}, Case{0xA0, U'\u00A0'}, Case{0xE9, U'\u00E9'}, Case{0xFF, U'\u00FF'}}) {
        EXPECT_EQ(qor::FromWindows1252(c.byte), c.codePoint) << int{c.byte};
    }
}

TEST(Windows1252, EveryByteComesBackAndOthersBecomeAQuestionMark) {
    for (int byte = 0; byte < 256; ++byte) {
        EXPECT_EQ(
            static_cast<unsigned char>(qor::ToWindows1252(qor::FromWindows1252(static_cast<unsigned char>(byte)))),
            byte);
    }
    EXPECT_EQ(qor::ToWindows1252(U'\u0100'), '?');
    EXPECT_EQ(qor::ToWindows1252(U'\u4E2D'), '?');
    EXPECT_EQ(qor::ToWindows1252(U'\U0001F600'), '?');
}

TEST(Windows1252, Utf8OfAWholeText) {
    EXPECT_EQ(qor::Windows1252ToUtf8("caf\xE9 \x80 5"), "caf\xC3\xA9 \xE2\x82\xAC 5");
    EXPECT_EQ(qor::Windows1252ToUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(qor::Windows1252ToUtf8(""), "");
}

TEST(Windows1252, FromUtf8OrTheCharacterItLacks) {
    struct Case {
        std::string_view utf8;
        std::optional<std::string> text;
        std::string refused;
    };
    const Case cases[] = {
        {"b\xC3\xBC"
         "cher.example",
         "b\xFC"
         "cher.example",
         ""},
        {"\xE2\x82\xAC\xC5\xB8?", "\x80\x9F?", ""},
        {"a\xE4\xB8\xAD", std::nullopt, "U+4E2D"},
        {"\xF0\x9F\x98\x80", std::nullopt, "U+1F600"},
        {"b\xFC"
         "cher",
         std::nullopt, "byte 0xFC"},                  // Latin-1, not UTF-8
        {"\xC0\xAE", std::nullopt, "byte 0xC0"},      // an overlong "."
        {"\xED\xA0\x80", std::nullopt, "byte 0xED"},  // a surrogate
        {"\xE2\x82", std::nullopt, "byte 0xE2"},      // cut short
    };
    for (const Case& c : cases) {
        std::string refused;
        EXPECT_EQ(qor::Utf8ToWindows1252(c.utf8, refused), c.text) << c.utf8;
        EXPECT_EQ(refused, c.refused) << c.utf8;
    }
}

TEST(Windows1252, ControlCharactersAreEscaped) {
    EXPECT_EQ(qor::EscapeControls("a\nb\x1b[2J\r\t\x7f\x90 caf\xE9 \x80"),
              "a\\nb\\x1b[2J\\r\\t\\x7f\\x90 caf\xE9 \x80");
    EXPECT_EQ(qor::EscapeControls(std::string_view("\0", 1)), "\\x00");
}

}  // namespace
