// Checks the shape of the built-in text list: which ids it holds and in what order, the texts
// other parts of the library depend on, and the counts of its special characters, so that an
// accidental edit of a row shows up here.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "trans/builtin_texts.h"

namespace {

using Row = qor::BuiltInText;

std::span<const Row> Rows() { return qor::BuiltInTexts; }

const std::string_view* TextOf(std::int32_t id) {
    for (const Row& row : Rows()) {
        if (row.id == id) return &row.text;
    }
    return nullptr;
}

template <typename Pred>
std::vector<std::int32_t> IdsWhere(Pred pred) {
    std::vector<std::int32_t> ids;
    for (const Row& row : Rows()) {
        if (pred(row.text)) ids.push_back(row.id);
    }
    return ids;
}

bool Contains(std::string_view text, const char* part) { return text.find(part) != std::string_view::npos; }

struct Block {
    const char* name;
    std::int32_t first;
    std::int32_t last;
    std::size_t count;
    std::vector<std::pair<std::int32_t, std::int32_t>> gaps;  // inclusive id ranges without a text
};

const std::vector<Block> Blocks = {
    {"block 1", 1, 999, 984, {{49, 59}, {62, 64}, {696, 696}}},
    {"block 2", 1000, 1999, 1000, {}},
    {"block 3", 2000, 2233, 234, {}},
    {"block 4", 3000, 3999, 0, {{3000, 3999}}},
    {"block 5", 4000, 4999, 998, {{4000, 4000}, {4837, 4837}}},
    {"block 6", 5000, 5233, 134, {{5133, 5232}}},
};

}  // namespace

TEST(BuiltInTextsShape, RegistersEachBlockInOrderWithItsGaps) {
    std::vector<std::int32_t> expected;
    for (const Block& block : Blocks) {
        std::size_t inBlock = 0;
        for (std::int32_t id = block.first; id <= block.last; ++id) {
            const bool gap = std::any_of(block.gaps.begin(), block.gaps.end(),
                                         [id](const auto& g) { return id >= g.first && id <= g.second; });
            if (!gap) {
                expected.push_back(id);
                ++inBlock;
            }
        }
        EXPECT_EQ(inBlock, block.count) << block.name << ": the table of blocks itself is inconsistent";
        const auto actual = std::count_if(Rows().begin(), Rows().end(), [&block](const Row& row) {
            return row.id >= block.first && row.id <= block.last;
        });
        EXPECT_EQ(static_cast<std::size_t>(actual), block.count) << block.name;
    }

    std::vector<std::int32_t> actual;
    for (const Row& row : Rows()) actual.push_back(row.id);
    // Same ids in the same sequence: block order, ascending ids, no repeats, nothing outside.
    EXPECT_EQ(actual.size(), 3350u);
    EXPECT_EQ(actual.size(), expected.size());
    const auto [got, want] = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    if (got != actual.end() || want != expected.end()) {
        ADD_FAILURE() << "first difference at row " << (got - actual.begin()) << ": registered "
                      << (got != actual.end() ? std::to_string(*got) : "nothing") << ", expected "
                      << (want != expected.end() ? std::to_string(*want) : "nothing");
    }
}

TEST(BuiltInTextsShape, QuotedTextsAreExact) {
    const Row quoted[] = {
        {1, "&Ok"},
        {2, "Ok"},
        {3, "&Sluiten"},
        {4, "&Afdrukken"},
        {5, "Zoeken"},
        {6, "&Annuleren"},
        {7, "Annuleren"},
        {10, "&Toevoegen"},
        {11, "&Wijzigen"},
        {12, "&Verwijderen"},
        {100, "Waarschuwing"},
        {101, "Fout"},
        {102, "Informatie"},
        {104, "Januari"},
        {105, "Februari"},
        {106, "Maart"},
        {107, "April"},
        {108, "Mei"},
        {109, "Juni"},
        {110, "Juli"},
        {111, "Augustus"},
        {112, "September"},
        {113, "Oktober"},
        {114, "November"},
        {115, "December"},
        {116, "Maandag"},
        {117, "Dinsdag"},
        {118, "Woensdag"},
        {119, "Donderdag"},
        {120, "Vrijdag"},
        {121, "Zaterdag"},
        {122, "Zondag"},
        {211, "%d%% gebruikt."},
        {229, "Afhandelen alarm: %d, Naam: %s"},
        {415,
         "LET OP!\r\nOp de ingevulde datum wordt het oude continu rooster,\r\n"
         "vervangen door het nieuwe continu rooster."},
        {1000, "About"},
        {1002, "Memory"},
        {1999, "Tussenliggende tijd"},
        {2233, "Nieuwe pagina bij afdrukken na wijziging in eerste kolom"},
        {4001, "Deler afdeling"},
        {4018, "Persoon bestaat al in parkeer groep %s"},
        {4144, ""},
        {5000, "SM bedrijven groep"},
        {5088, "Nederlands"},
        {5089, "Frans"},
        {5090, "Duits"},
        {5091, "Engels"},
        {5132, "Onbekende pas"},
    };
    for (const Row& row : quoted) {
        const std::string_view* text = TextOf(row.id);
        ASSERT_NE(text, nullptr) << "id " << row.id;
        EXPECT_EQ(*text, row.text) << "id " << row.id;
    }
}

TEST(BuiltInTextsShape, TextsAreNotUnescaped) {
    const std::string_view* text = TextOf(136);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(Contains(*text, "\\n")) << *text;
    EXPECT_EQ(text->find_first_of("\r\n"), std::string_view::npos) << "backslash n must stay two characters";
}

TEST(BuiltInTextsShape, OnlyIdFortyOneFortyFourIsEmpty) {
    EXPECT_EQ(IdsWhere([](std::string_view t) { return t.empty(); }), std::vector<std::int32_t>{4144});
}

TEST(BuiltInTextsShape, LineBreaksAreCrLfPairsInThirteenTexts) {
    const auto withCrLf = IdsWhere([](std::string_view t) { return Contains(t, "\r\n"); });
    EXPECT_EQ(withCrLf.size(), 13u);
    for (std::int32_t id : {404, 415, 2219, 4049, 4185, 4186, 4187, 4188, 4189, 4191}) {
        EXPECT_NE(std::find(withCrLf.begin(), withCrLf.end(), id), withCrLf.end()) << "id " << id;
    }

    // A lone CR or LF would be a mistyped break.
    for (const Row& row : Rows()) {
        for (std::size_t i = 0; i < row.text.size(); ++i) {
            if (row.text[i] == '\r') {
                EXPECT_TRUE(i + 1 < row.text.size() && row.text[i + 1] == '\n') << "id " << row.id;
            }
            if (row.text[i] == '\n') {
                EXPECT_TRUE(i > 0 && row.text[i - 1] == '\r') << "id " << row.id;
            }
        }
    }
}

TEST(BuiltInTextsShape, LongestTextIsIdFortyOneEightySeven) {
    const auto longest = std::max_element(Rows().begin(), Rows().end(),
                                          [](const Row& a, const Row& b) { return a.text.size() < b.text.size(); });
    ASSERT_NE(longest, Rows().end());
    EXPECT_EQ(longest->id, 4187);
    EXPECT_EQ(longest->text.size(), 212u);
    EXPECT_EQ(IdsWhere([](std::string_view t) { return t.size() >= 212; }), std::vector<std::int32_t>{4187});
}

TEST(BuiltInTextsShape, CountsOfPlaceholdersMarksAndBlanks) {
    struct Count {
        const char* what;
        bool (*has)(std::string_view);
        std::size_t expected;
    };
    const Count counts[] = {
        {"%s", [](std::string_view t) { return Contains(t, "%s"); }, 65},
        {"%d", [](std::string_view t) { return Contains(t, "%d"); }, 42},
        {"&", [](std::string_view t) { return Contains(t, "&"); }, 59},
        {"leading or trailing blank",
         [](std::string_view t) { return !t.empty() && (t.front() == ' ' || t.back() == ' '); }, 25},
    };
    for (const Count& c : counts) EXPECT_EQ(IdsWhere(c.has).size(), c.expected) << c.what;
}

TEST(BuiltInTextsShape, TextsAreMostlyDistinct) {
    std::set<std::string_view> distinct;
    for (const Row& row : Rows()) distinct.insert(row.text);
    EXPECT_GE(distinct.size(), 3000u);
}
