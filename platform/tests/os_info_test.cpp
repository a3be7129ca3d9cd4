#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "os/fakes/fake_system.h"
#include "platform/os_info.h"
#include "support/error.h"
#include "support/language.h"

namespace {

using os::fakes::FakeSystem;

struct VersionRow {
    const char* name;
    std::uint32_t platform, major, minor;
    const char* csd;
    int expectedClass;
    const char* expectedText;
};

void PrintTo(const VersionRow& row, std::ostream* out) { *out << row.name; }

const VersionRow VersionRows[] = {
    {"Win32s", 0, 3, 11, "", 0, "Win 3.1 (0.3.11)"},
    {"Win95", 1, 4, 0, "", 1, "Win 95 (1.4.0)"},
    {"Win98", 1, 4, 10, "", 2, "Win 98 (1.4.10)"},
    {"Win98SecondEdition", 1, 4, 10, " A ", 3, "Win 98SE (1.4.10)"},
    {"Win98LowercaseA", 1, 4, 10, " a ", 2, "Win 98 (1.4.10)"},
    {"Win98AFirstCharacterOnly", 1, 4, 10, "A", 2, "Win 98 (1.4.10)"},
    {"WinMe", 1, 4, 90, "", 4, "Win ME (1.4.90)"},
    {"Win9xOtherVersion", 1, 4, 3, "", -1, "Unknown (1.4.3)"},
    {"Win9xMajor5", 1, 5, 0, "", -1, "Unknown (1.5.0)"},
    {"NT351", 2, 3, 51, "", 5, "Win NT (2.3.51)"},
    {"NT4", 2, 4, 0, "", 5, "Win NT (2.4.0)"},
    {"Win2000", 2, 5, 0, "", 6, "Win 2000 (2.5.0)"},
    {"WinXp", 2, 5, 1, "", 7, "Win XP (2.5.1)"},
    {"Win2003", 2, 5, 2, "", 8, "Win 2003 (2.5.2)"},
    {"Nt53", 2, 5, 3, "", -1, "Unknown (2.5.3)"},
    {"Vista", 2, 6, 0, "", 9, "Win Vista (2.6.0)"},
    {"Win7", 2, 6, 1, "Service Pack 1", 12, "Win 7 (2.6.1)"},
    {"Win8AsReported", 2, 6, 2, "", -1, "Unknown (2.6.2)"},
    {"Win10Major", 2, 10, 0, "", -1, "Unknown (2.10.0)"},
    {"Nt7", 2, 7, 0, "", -1, "Unknown (2.7.0)"},
    {"PlatformCe", 3, 6, 1, "", -1, "Unknown (3.6.1)"},
};

class VersionTable : public testing::TestWithParam<VersionRow> {};

TEST_P(VersionTable, ClassAndText) {
    const VersionRow& row = GetParam();
    FakeSystem system;
    system.version.dwPlatformId = row.platform;
    system.version.dwMajorVersion = row.major;
    system.version.dwMinorVersion = row.minor;
    std::strcpy(system.version.szCSDVersion, row.csd);

    os::VersionRecord record;
    EXPECT_EQ(qor::GetOsVersionClass(record, system), row.expectedClass);
    EXPECT_EQ(record.dwOSVersionInfoSize, 148u);
    EXPECT_EQ(qor::GetOsVersionText(system), row.expectedText);
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionTable, testing::ValuesIn(VersionRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OsVersion, FailedQueryIsUnknownWithZeroes) {
    FakeSystem system;
    system.versionOk = false;
    system.version.dwPlatformId = 2;
    system.version.dwMajorVersion = 6;
    os::VersionRecord record;
    EXPECT_EQ(qor::GetOsVersionClass(record, system), -1);
    EXPECT_EQ(qor::GetOsVersionText(system), "Unknown (0.0.0)");
}

TEST(OsVersion, RealSystemGivesATextWithSuffix) {
    const std::string text = qor::GetOsVersionText();
    EXPECT_NE(text.find(" ("), std::string::npos) << text;
    EXPECT_EQ(text.back(), ')');
}

TEST(Wow64, AnswersAndFailure) {
    FakeSystem system;
    system.wow64 = os::Wow64Query::Yes;
    EXPECT_TRUE(qor::IsWow64(system));
    system.wow64 = os::Wow64Query::No;
    EXPECT_FALSE(qor::IsWow64(system));
    system.wow64 = os::Wow64Query::NoExport;
    EXPECT_FALSE(qor::IsWow64(system));
    system.wow64 = os::Wow64Query::Failed;
    try {
        qor::IsWow64(system);
        FAIL() << "no error raised";
    } catch (const qor::Error& e) {
        EXPECT_STREQ(e.what(), "Bad process handle");
    }
}

TEST(YesNo, WordsOfEveryLanguage) {
    const char* expected[5][2] = {{"Nee", "Ja"}, {"No", "Yes"}, {"Nein", "Ja"}, {"Non", "Oui"}, {"Nem", "Igen"}};
    for (std::uint8_t language = 0; language < 5; ++language) {
        qor::LanguageNumber = language;
        EXPECT_EQ(qor::YesNoText(false), expected[language][0]) << int(language);
        EXPECT_EQ(qor::YesNoText(true), expected[language][1]) << int(language);
    }
    qor::LanguageNumber = 0;
}

}  // namespace
