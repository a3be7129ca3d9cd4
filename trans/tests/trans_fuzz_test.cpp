// Seeded random and mutated file contents: any bytes are read without a fault, and texts written in
// the file's own form come back exactly, by the first-text-wins rule.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>

#include "trans/tests/escaped_text.h"
#include "trans/tests/trans_testing.h"
#include "trans/trans.h"

namespace qor {
namespace {

using namespace std::string_literals;
using transtest::Escaped;

class Fuzz : public transtest::TableTest {
protected:
    // Bytes drawn mostly from the ones the grammar and the escapes care about.
    char Byte() {
        static const std::string Interesting = "0123456789||||\\\\\\nrpst0N\r\n\0 ;"s;
        if (Pick(3) == 0) return static_cast<char>(Pick(256));
        return Interesting[Pick(Interesting.size())];
    }
    std::string Bytes(std::size_t maxLength) {
        std::string bytes(Pick(maxLength + 1), '\0');
        for (char& c : bytes) c = Byte();
        return bytes;
    }
    std::size_t Pick(std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(random_); }

    static void ExpectEntryZeroEmpty() {
        for (const std::string_view text : TranslationTable[0].Texts) EXPECT_EQ(text, "");
    }

    std::mt19937 random_{20260611};
};

TEST_F(Fuzz, EscapedTextsComeBackExactly) {
    for (int round = 0; round < 3000; ++round) {
        const std::string text = Bytes(40);
        std::string unescaped = Escaped(text);
        UnescapeText(unescaped);
        ASSERT_EQ(unescaped, text) << "round " << round;
    }
}

TEST_F(Fuzz, RandomFilesStoreTheFirstTextOfEachSlot) {
    static const char* const LineEnds[] = {"\r\n", "\r", "\n", "\n\r"};
    for (int round = 0; round < 20; ++round) {
        ReleaseTranslationTable();
        std::map<std::pair<std::int32_t, std::uint8_t>, std::string> expected;
        std::string content;
        for (int line = 0; line < 200; ++line) {
            const auto id = static_cast<std::int32_t>(Pick(7100));
            const auto language = static_cast<std::uint8_t>(Pick(7));
            const std::string text = Pick(5) == 0 ? std::string() : Bytes(30);
            content += "2|" + std::to_string(language) + "|" + std::to_string(id) + "|" + Escaped(text) + "|" +
                       LineEnds[Pick(4)];
            if (id >= 1 && id <= MaxTextId && language < LanguageCount && !text.empty()) {
                expected.emplace(std::make_pair(id, language), text);
            }
        }
        ReadTranslationText(content);
        for (const auto& [slot, text] : expected) {
            ASSERT_EQ(Slot(slot.first, slot.second), text) << "round " << round << ", id " << slot.first;
        }
        ASSERT_EQ(FilledSlots(), static_cast<int>(expected.size())) << "round " << round;
    }
}

TEST_F(Fuzz, RandomBytesAreReadWithoutAFault) {
    for (int round = 0; round < 3000; ++round) {
        ReadTranslationText(Bytes(300));
        if (round % 100 == 99) {
            ExpectEntryZeroEmpty();
            ReleaseTranslationTable();
        }
    }
}

TEST_F(Fuzz, MutatedFilesAreReadWithoutAFault) {
    std::string valid;
    for (std::int32_t id = 1; id <= 60; ++id) {
        valid += "2|" + std::to_string(id % 5) + "|" + std::to_string(id * 113) + "|Text\\n\\r" + std::to_string(id) +
                 "\\p\\s|\r\n";
    }
    for (int round = 0; round < 3000; ++round) {
        std::string mutated = valid;
        for (std::size_t edits = 1 + Pick(8); edits > 0; --edits) {
            const std::size_t at = Pick(mutated.size() + 1);
            switch (Pick(4)) {
            case 0:
                if (at < mutated.size()) mutated[at] = Byte();
                break;
            case 1:
                mutated.insert(at, 1, Byte());
                break;
            case 2:
                mutated.erase(at, Pick(20));
                break;
            default:
                mutated.insert(at, mutated.substr(Pick(mutated.size() + 1), Pick(40)));
            }
        }
        ReadTranslationText(mutated);
        if (round % 100 == 99) {
            ExpectEntryZeroEmpty();
            ReleaseTranslationTable();
        }
    }
}

}  // namespace
}  // namespace qor
