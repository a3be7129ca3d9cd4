// Which Dutch text survives start-up: the override file is read first, then the built-in list is
// registered over it.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "trans/builtin_texts.h"
#include "trans/tests/trans_testing.h"
#include "trans/trans.h"

namespace qor {
namespace {

struct OverrideRow {
    const char* name;
    std::int32_t id;
    const char* withFile;     // slot 0 after the file gave "Eigen"
    const char* withoutFile;  // slot 0 when there is no file
};

void PrintTo(const OverrideRow& row, std::ostream* out) { *out << row.name; }

const OverrideRow OverrideRows[] = {
    {"AlwaysReplacedLowRange", 5, "Zoeken", "Zoeken"},
    {"AlwaysReplacedHighRange", 4001, "Deler afdeling", "Deler afdeling"},
    {"FilledOnlyWhenEmpty", 1999, "Eigen", "Tussenliggende tijd"},
    {"FilledOnlyWhenEmptyBlockTwo", 1500, "Eigen", nullptr},
    {"NoBuiltInTextInAReplacedRange", 4837, "Eigen", ""},
    {"GapInTheFirstBlock", 49, "Eigen", ""},
    {"EmptyBuiltInTextEmptiesTheSlot", 4144, "", ""},
};

class StartUpOrder : public transtest::ProgramDirTest, public testing::WithParamInterface<OverrideRow> {
protected:
    // The two start-up steps, in their order.
    void StartUp() {
        ReadTranslationFile(os::RealFiles(), system);
        RegisterBuiltInTexts();
    }
};

TEST_P(StartUpOrder, WithADutchTextInTheFile) {
    const OverrideRow& row = GetParam();
    PutTranslationFile("2|0|" + std::to_string(row.id) + "|Eigen|\r\n");
    StartUp();
    ASSERT_TRUE(TranslationFileRead);
    EXPECT_EQ(Slot(row.id, 0), row.withFile);
}

TEST_P(StartUpOrder, WithoutAFile) {
    const OverrideRow& row = GetParam();
    StartUp();
    EXPECT_FALSE(TranslationFileRead);
    // No quoted built-in text: any, as long as the list has one.
    if (row.withoutFile == nullptr) {
        EXPECT_NE(Slot(row.id, 0), "");
    } else {
        EXPECT_EQ(Slot(row.id, 0), row.withoutFile);
    }
}

INSTANTIATE_TEST_SUITE_P(Ids, StartUpOrder, testing::ValuesIn(OverrideRows),
                         [](const auto& info) { return std::string(info.param.name); });

using BuiltInTexts = transtest::TableTest;

TEST_F(BuiltInTexts, FillOnlyTheDutchSlot) {
    // Every third id carries a text in the other slots beforehand; the list must leave all of them alone.
    for (std::int32_t id = 0; id <= MaxTextId; id += 3) {
        for (std::uint8_t language = 1; language < LanguageCount; ++language) {
            StoreTranslation("file " + std::to_string(id), id, language);
        }
    }

    RegisterBuiltInTexts();

    int dutch = 0;
    for (std::int32_t id = 0; id <= MaxTextId; ++id) {
        dutch += Slot(id, 0).empty() ? 0 : 1;
        for (std::uint8_t language = 1; language < LanguageCount; ++language) {
            const std::string expected = id % 3 == 0 && id > 0 ? "file " + std::to_string(id) : "";
            ASSERT_EQ(Slot(id, language), expected) << "id " << id << ", slot " << int{language};
        }
    }
    // Every text but the empty one of id 4144.
    EXPECT_EQ(dutch, 3349);
}

TEST_F(BuiltInTexts, EveryRowReachesItsSlot) {
    RegisterBuiltInTexts();
    for (const BuiltInText& row : qor::BuiltInTexts) ASSERT_EQ(Slot(row.id, 0), row.text) << "id " << row.id;
}

TEST_F(BuiltInTexts, AreStoredAsTheyAre) {
    RegisterBuiltInTexts();
    EXPECT_NE(Slot(136, 0).find("\\n"), std::string::npos) << Slot(136, 0);
    EXPECT_EQ(Slot(415, 0),
              "LET OP!\r\nOp de ingevulde datum wordt het oude continu rooster,\r\n"
              "vervangen door het nieuwe continu rooster.");
}

}  // namespace
}  // namespace qor
