#include "platform/windows1252.h"

#include <gtest/gtest.h>

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

}  // namespace
