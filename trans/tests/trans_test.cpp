// The override file's line splitting, line grammar and escapes, and the two store rules.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "trans/tests/trans_testing.h"
#include "trans/trans.h"

namespace qor {
namespace {

using namespace std::string_literals;

// ---- Line splitting ----

struct SplitRow {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
};

void PrintTo(const SplitRow& row, std::ostream* out) { *out << row.name; }

const SplitRow SplitRows[] = {
    {"CrLf", "a\r\nb\r\n", {"a", "b"}},
    {"LoneCr", "a\rb\r", {"a", "b"}},
    {"LoneLf", "a\nb\n", {"a", "b"}},
    {"MixedEnds", "a\r\nb\rc\nd", {"a", "b", "c", "d"}},
    {"LfCrEndsTwoLines", "a\n\rb", {"a", "", "b"}},
    {"LfCrLfEndsTwoLines", "a\n\r\nb", {"a", "", "b"}},
    {"CrCrLf", "a\r\r\nb", {"a", "", "b"}},
    {"LastLineWithoutEnd", "a\r\nb", {"a", "b"}},
    {"Empty", "", {}},
    {"OnlyALineEnd", "\r\n", {""}},
    {"EmptyLines", "\r\n\n\r", {"", "", ""}},
    {"ZeroByteEndsTheText", "a\r\nb\0c\r\nd"s, {"a", "b"}},
    {"ZeroByteFirst", "\0a\r\n"s, {}},
    {"ZeroByteRightAfterALineEnd", "a\r\n\0b"s, {"a"}},
    {"NothingTrimmed", " a \t\r\n\t", {" a \t", "\t"}},
    {"HighBytesKept", "\xe9\xff\x80\r\n", {"\xe9\xff\x80"}},
};

class SplitTable : public testing::TestWithParam<SplitRow> {};

TEST_P(SplitTable, Lines) {
    const SplitRow& row = GetParam();
    std::vector<std::string> lines;
    SplitLines(row.bytes, [&lines](std::string_view line) { lines.emplace_back(line); });
    EXPECT_EQ(lines, row.lines);
}

INSTANTIATE_TEST_SUITE_P(Split, SplitTable, testing::ValuesIn(SplitRows),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Escapes ----

struct EscapeRow {
    const char* name;
    std::string escaped;
    std::string unescaped;
};

void PrintTo(const EscapeRow& row, std::ostream* out) { *out << row.name; }

const EscapeRow EscapeRows[] = {
    {"CrLfIsBackslashNBackslashR", "a\\n\\rb", "a\r\nb"},
    {"EachLetter", "\\0\\n\\p\\r\\s\\t", "\0\r|\n\\\t"s},
    {"ProducedBackslashDoesNotPair", "x\\sn", "x\\n"},
    {"TwoBackslashesThenN", "\\\\n", "\\\r"},
    {"UnknownLetterStays", "\\x", "\\x"},
    {"CapitalLetterStays", "\\N", "\\N"},
    {"BackslashAtTheEndStays", "ab\\", "ab\\"},
    {"LoneBackslash", "\\", "\\"},
    {"EscapeAtTheEnd", "ab\\s", "ab\\"},
    {"ZeroCountsInTheLength", "a\\0b", "a\0b"s},
    {"BackslashBeforeEscapeStays", "\\\\\\p", "\\\\|"},
    {"Empty", "", ""},
    {"NoEscapes", "Hello", "Hello"},
};

class EscapeTable : public testing::TestWithParam<EscapeRow> {};

TEST_P(EscapeTable, Unescaped) {
    const EscapeRow& row = GetParam();
    std::string text = row.escaped;
    UnescapeText(text);
    EXPECT_EQ(text, row.unescaped);
}

INSTANTIATE_TEST_SUITE_P(Escapes, EscapeTable, testing::ValuesIn(EscapeRows),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Lines to slots ----

// What a file's content leaves in the table: one slot's text, or nothing anywhere when `text` is empty.
struct GrammarRow {
    const char* name;
    std::string content;
    std::int32_t id;
    std::uint8_t language;
    std::string text;
};

void PrintTo(const GrammarRow& row, std::ostream* out) { *out << row.name; }

const GrammarRow GrammarRows[] = {
    {"TextRecord", "2|3|100|Hello|", 100, 3, "Hello"},
    {"NoClosingBar", "2|3|100|Hello", 0, 0, ""},
    {"LanguageFive", "2|5|100|x|", 0, 0, ""},
    {"LanguageLowEightBitsOne", "2|257|100|x|", 100, 1, "x"},
    {"LanguageLowEightBitsFive", "2|261|100|x|", 0, 0, ""},
    {"LastLanguage", "2|4|100|x|", 100, 4, "x"},
    {"IdZero", "2|0|0|x|", 0, 0, ""},
    {"IdSevenThousandOne", "2|0|7001|x|", 0, 0, ""},
    {"IdSevenThousand", "2|0|7000|x|", 7000, 0, "x"},
    {"IdOne", "2|0|1|x|", 1, 0, "x"},
    {"IdPastSignedRangeIsNegative", "2|0|2147483649|x|", 0, 0, ""},
    {"RecordTypeOne", "1|3|100|x|", 0, 0, ""},
    {"RecordTypeTwenty", "20|3|100|x|", 0, 0, ""},
    {"RecordTypeZeroTwo", "02|3|100|x|", 100, 3, "x"},
    {"LeadingBlank", " 2|3|100|x|", 0, 0, ""},
    {"BlanksAroundBars", "2 | 3 | 100 | x |", 0, 0, ""},
    {"AnySeparator", "2;3;100;Hello|", 100, 3, "Hello"},
    {"TextRightAfterIdSeparator", "2|3|100||x|", 0, 0, ""},
    {"OnlyTheRecordType", "2", 0, 0, ""},
    {"WhateverFollowsIsIgnored", "2|3|100|Hello|World|", 100, 3, "Hello"},
    {"TextIsUnescaped", "2|0|1500|a\\n\\rb\\p|", 1500, 0, "a\r\nb|"},
    {"BlanksInTheTextKept", "2|2|9| x |", 9, 2, " x "},
    {"FirstTextWins", "2|3|100|A|\r\n2|3|100|B|", 100, 3, "A"},
    {"EmptyTextDoesNotWin", "2|3|100||\r\n2|3|100|B|", 100, 3, "B"},
    {"SkippedLinesBetween", "junk\r\n\r\n1|3|100|A|\n2|3|100|B|", 100, 3, "B"},
};

class GrammarTable : public transtest::TableTest, public testing::WithParamInterface<GrammarRow> {};

TEST_P(GrammarTable, Slots) {
    const GrammarRow& row = GetParam();
    ReadTranslationText(row.content);
    if (row.text.empty()) {
        EXPECT_EQ(FilledSlots(), 0);
    } else {
        EXPECT_EQ(Slot(row.id, row.language), row.text);
        EXPECT_EQ(FilledSlots(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, GrammarTable, testing::ValuesIn(GrammarRows),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Store rules ----

using StoreRules = transtest::TableTest;

TEST_F(StoreRules, ZeroBytesAreKeptInTheSlot) {
    StoreTranslation("a\0b"s, 12, 0);
    EXPECT_EQ(Slot(12, 0), "a\0b"s);
}

// RegisterText over a slot 0 that already holds a text, at the edges of the always-replaced ranges.
struct RegisterRow {
    const char* name;
    std::int32_t id;
    bool replaces;
};

void PrintTo(const RegisterRow& row, std::ostream* out) { *out << row.name; }

const RegisterRow RegisterRows[] = {
    {"One", 1, true},
    {"OneThousand", 1000, true},
    {"OneThousandOne", 1001, false},
    {"ThreeThousandNineHundredNinetyNine", 3999, false},
    {"FourThousand", 4000, true},
    {"SixThousand", 6000, true},
    {"SixThousandOne", 6001, false},
    {"SevenThousand", 7000, false},
};

class RegisterTable : public transtest::TableTest, public testing::WithParamInterface<RegisterRow> {};

TEST_P(RegisterTable, FilledSlotZero) {
    const RegisterRow& row = GetParam();
    StoreTranslation("file", row.id, 0);
    StoreTranslation("other", row.id, 1);
    RegisterText(row.id, "built-in");
    EXPECT_EQ(Slot(row.id, 0), row.replaces ? "built-in" : "file");
    EXPECT_EQ(Slot(row.id, 1), "other");
}

TEST_P(RegisterTable, EmptySlotZeroAlwaysTakesTheText) {
    const RegisterRow& row = GetParam();
    RegisterText(row.id, "built-in");
    EXPECT_EQ(Slot(row.id, 0), "built-in");
    EXPECT_EQ(FilledSlots(), 1);
}

TEST_P(RegisterTable, EmptyTextEmptiesOnlyAnAlwaysReplacedSlot) {
    const RegisterRow& row = GetParam();
    StoreTranslation("file", row.id, 0);
    RegisterText(row.id, "");
    EXPECT_EQ(Slot(row.id, 0), row.replaces ? "" : "file");
    // A slot emptied so is free again; one that kept its text is not.
    StoreTranslation("again", row.id, 0);
    ReadTranslationText("2|0|" + std::to_string(row.id) + "|file again|");
    EXPECT_EQ(Slot(row.id, 0), row.replaces ? "again" : "file");
}

INSTANTIATE_TEST_SUITE_P(Ids, RegisterTable, testing::ValuesIn(RegisterRows),
                         [](const auto& info) { return std::string(info.param.name); });

// The table keeps its own copy: what the caller does with its bytes afterwards changes no slot.
TEST_F(StoreRules, TextsAreTheTablesOwn) {
    std::string stored = "stored text";
    std::string registered = "registered text";
    std::string content = "2|1|20|file text|\r\n";
    StoreTranslation(stored, 10, 2);
    RegisterText(1500, registered);
    ReadTranslationText(content);

    stored.assign(stored.size(), '#');
    registered.assign(registered.size(), '#');
    content.assign(content.size(), '#');

    EXPECT_EQ(Slot(10, 2), "stored text");
    EXPECT_EQ(Slot(1500, 0), "registered text");
    EXPECT_EQ(Slot(20, 1), "file text");
}

TEST_F(StoreRules, RegisterIgnoresIdsOutsideTheTable) {
    for (const std::int32_t id : {0, -1, 7001, -2147483647 - 1, 2147483647}) RegisterText(id, "x");
    EXPECT_EQ(FilledSlots(), 0);
}

TEST_F(StoreRules, ReleaseGivesEveryTextBackAndForgetsTheFile) {
    const std::string longText(100, 'x');
    StoreTranslation(longText, 1, 0);
    StoreTranslation(longText, 7000, 4);
    TranslationFileRead = true;

    EXPECT_GE(TranslationTextBytes(), 2 * longText.size());

    ReleaseTranslationTable();

    EXPECT_EQ(TranslationTextBytes(), 0u);
    EXPECT_EQ(FilledSlots(), 0);
    EXPECT_FALSE(TranslationFileRead);
    // Every slot is free again.
    StoreTranslation("after", 1, 0);
    ReadTranslationText("2|4|7000|after|");
    EXPECT_EQ(Slot(1, 0), "after");
    EXPECT_EQ(Slot(7000, 4), "after");
}

}  // namespace
}  // namespace qor
