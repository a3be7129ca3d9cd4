#include "support/calendar.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "os/fakes/fake_system.h"

namespace {

using namespace std::chrono;
using qor::CalendarError;
using qor::DayNumber;
using qor::DayParts;
using testing::Return;

constexpr sys_days DayZero = 1901y / January / 1;

DayNumber DayOf(year_month_day date) { return static_cast<DayNumber>((sys_days{date} - DayZero).count()); }

// Word tables and the error byte are process-wide: every test starts from the state at start-up.
class CalendarTest : public testing::Test {
protected:
    void SetUp() override {
        qor::LanguageNumber = 0;
        CalendarError = qor::CalendarNoError;
    }
    void TearDown() override { qor::LanguageNumber = 0; }
};

// ---- DayNumberToText -----------------------------------------------------------------------

struct TextRow {
    const char* name;
    std::uint8_t language;
    DayNumber day;
    qor::PeriodType type;
    std::string text;
    std::uint8_t errorAfter;
};

TEST_F(CalendarTest, DayNumberToTextGivesTheFixedWidthForms) {
    const DayNumber sunday6Dec2026 = DayOf(2026y / December / 6);
    const DayNumber thursday31Dec2026 = DayOf(2026y / December / 31);
    const DayNumber monday4Jan2027 = DayOf(2027y / January / 4);
    const std::vector<TextRow> rows = {
        {"first day", 0, 1, 0, "02-01-1901", 0},
        {"Sunday 6 December 2026", 0, sunday6Dec2026, 0, "06-12-2026", 0},
        {"last calendar day", 0, 63917, 0, "31-12-2075", 0},
        {"day 0 is no date", 0, 0, 0, "Geen datum", 2},
        {"after the last calendar day", 0, 63918, 0, "Geen datum", 2},
        {"ISO week 49", 0, sunday6Dec2026, 1, "Zo/49/2026", 0},
        {"last week-based day", 0, 63552, 1, "Ma/01/2075", 0},
        {"week types end before the calendar", 0, 63553, 1, "Geen datum", 4},
        {"week 53 joins period 13", 0, thursday31Dec2026, 2, "32/13/2026", 0},
        {"week 53 makes period 14", 0, thursday31Dec2026, 3, "04/14/2026", 0},
        {"week 1 of 2027", 0, monday4Jan2027, 1, "Ma/01/2027", 0},
        {"period 1 of 2027, 13 periods", 0, monday4Jan2027, 2, "01/01/2027", 0},
        {"period 1 of 2027, 14 periods", 0, monday4Jan2027, 3, "01/01/2027", 0},
        {"period type beyond 3", 0, sunday6Dec2026, 4, "Wrong period type", 255},
        {"period type 255", 0, sunday6Dec2026, 255, "Wrong period type", 255},
        {"period type wins over a bad day", 0, 0, 4, "Wrong period type", 255},
        {"day 0 in a period type", 0, 0, 2, "Geen datum", 4},
        {"English no-date text", 1, 0, 0, "No date   ", 2},
        {"German no-date text", 2, 63553, 3, "Kein Datum", 4},
        {"French no-date text", 3, 0, 1, "Pas date  ", 4},
        {"Hungarian no-date text", 4, 0, 0, "D\xE1tum \xFCres", 2},
        {"English Sunday", 1, sunday6Dec2026, 1, "Su/49/2026", 0},
        {"French Sunday", 3, sunday6Dec2026, 1, "Di/49/2026", 0},
        {"Hungarian Monday", 4, monday4Jan2027, 1, "H\xE9/01/2027", 0},
        {"Hungarian Friday", 4, DayOf(2027y / January / 8), 1, "P\xE9/01/2027", 0},
        {"language beyond the tables reads Dutch", 9, 0, 0, "Geen datum", 2},
    };
    for (const TextRow& row : rows) {
        SCOPED_TRACE(row.name);
        qor::LanguageNumber = row.language;
        CalendarError = 77;  // cleared by every call, whatever it held
        EXPECT_EQ(qor::DayNumberToText(row.day, row.type), row.text);
        EXPECT_EQ(CalendarError, row.errorAfter);
    }
}

// ---- Conversions ---------------------------------------------------------------------------

TEST_F(CalendarTest, FailedConversionsZeroTheirOutputsAndLeaveTheirCode) {
    struct Row {
        const char* name;
        bool (*convert)(DayNumber, DayParts&);
        DayNumber day;
        std::uint8_t error;
    };
    const Row rows[] = {
        {"date of day 0", qor::DayToDate, 0, 2},
        {"date after 2075", qor::DayToDate, 63918, 2},
        {"date of the last day number", qor::DayToDate, 65535, 2},
        {"week of day 0", qor::DayToWeek, 0, 4},
        {"week past the last week start", qor::DayToWeek, 63553, 4},
        {"13-period of day 0", qor::DayToPeriod13, 0, 4},
        {"13-period past the end", qor::DayToPeriod13, 63553, 4},
        {"14-period past the end", qor::DayToPeriod14, 65535, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CalendarError = 0;
        DayParts parts{9, 9, 9};
        EXPECT_FALSE(row.convert(row.day, parts));
        EXPECT_EQ(parts, DayParts{});
        EXPECT_EQ(CalendarError, row.error);
    }
}

TEST_F(CalendarTest, DecodeDayNumberRejectsAnUnknownPeriodType) {
    DayParts parts{9, 9, 9};
    EXPECT_FALSE(qor::DecodeDayNumber(100, 4, parts));
    EXPECT_EQ(parts, DayParts{});
    EXPECT_EQ(CalendarError, qor::CalendarWrongPeriodType);
}

TEST_F(CalendarTest, OnlyDayNumberToTextClearsTheErrorByte) {
    DayParts parts;
    EXPECT_FALSE(qor::DayToDate(0, parts));
    EXPECT_TRUE(qor::DayToDate(1, parts));
    EXPECT_TRUE(qor::DecodeDayNumber(1, qor::PeriodWeek, parts));
    EXPECT_EQ(CalendarError, qor::CalendarDateOutOfRange);
    // A later failure replaces the code.
    EXPECT_FALSE(qor::DayToWeek(0, parts));
    EXPECT_EQ(CalendarError, qor::CalendarWeekOutOfRange);
    qor::DayNumberToText(1, qor::PeriodDate);
    EXPECT_EQ(CalendarError, qor::CalendarNoError);
}

TEST_F(CalendarTest, MondaysOf1901CountInTheWeekBeforeTheIsoOne) {
    DayParts parts;
    ASSERT_TRUE(qor::DayToWeek(6, parts));  // Monday 7 January 1901, ISO week 2
    EXPECT_EQ(parts, (DayParts{1, 1, 1901}));
    ASSERT_TRUE(qor::DayToWeek(5, parts));  // the Sunday before
    EXPECT_EQ(parts, (DayParts{7, 1, 1901}));
}

// Every day number against the standard library's calendar: a wrong week start, a wrong month
// table entry or an off-by-one at a year or 4-year boundary shows up here.
TEST_F(CalendarTest, EveryDayNumberMatchesAnIndependentCalendar) {
    std::vector<std::string> mismatches;
    const auto check = [&](DayNumber day, qor::PeriodType type, bool ok, DayParts expected, std::uint8_t error) {
        CalendarError = 0;
        DayParts parts{9, 9, 9};
        const bool result = qor::DecodeDayNumber(day, type, parts);
        if (result != ok || parts != expected || CalendarError != error) {
            mismatches.push_back("day " + std::to_string(day) + " type " + std::to_string(type) + ": got " +
                                 std::to_string(parts.A) + "/" + std::to_string(parts.B) + "/" +
                                 std::to_string(parts.Year) + " expected " + std::to_string(expected.A) + "/" +
                                 std::to_string(expected.B) + "/" + std::to_string(expected.Year));
        }
    };
    const auto parts = [](unsigned a, unsigned b, int y) {
        return DayParts{static_cast<std::uint16_t>(a), static_cast<std::uint16_t>(b), static_cast<std::uint16_t>(y)};
    };

    for (int n = 1; n <= qor::LastDateDay; ++n) {
        const DayNumber day = static_cast<DayNumber>(n);
        const sys_days date = DayZero + days{n};
        const year_month_day ymd{date};
        check(day, qor::PeriodDate, true, parts(unsigned{ymd.day()}, unsigned{ymd.month()}, int{ymd.year()}), 0);

        if (n > qor::LastWeekDay) {
            for (qor::PeriodType type = 1; type <= 3; ++type) check(day, type, false, {}, 4);
            continue;
        }
        // ISO 8601: the week belongs to the year of its Thursday.
        const unsigned isoWeekday = weekday{date}.iso_encoding();
        const sys_days thursday = date - days{isoWeekday - 1} + days{3};
        const int isoYear = int{year_month_day{thursday}.year()};
        unsigned week = static_cast<unsigned>((thursday - sys_days{year{isoYear} / January / 1}).count() / 7 + 1);
        if (isoYear == 1901 && isoWeekday == 1) --week;  // 1901 counts its weeks from Tuesday 1 January
        check(day, qor::PeriodWeek, true, parts(isoWeekday, week, isoYear), 0);

        // The periods are runs of 28 days through the week year; 13 periods take the 53rd week into the last.
        const unsigned dayOfWeekYear = (week - 1) * 7 + isoWeekday;
        const unsigned period14 = (dayOfWeekYear - 1) / 28 + 1;
        const unsigned period13 = std::min(period14, 13u);
        check(day, qor::PeriodFourWeeks13, true, parts(dayOfWeekYear - (period13 - 1) * 28, period13, isoYear), 0);
        check(day, qor::PeriodFourWeeks14, true, parts(dayOfWeekYear - (period14 - 1) * 28, period14, isoYear), 0);
    }
    mismatches.resize(std::min<std::size_t>(mismatches.size(), 10));
    EXPECT_THAT(mismatches, testing::IsEmpty());
}

// ---- Times and helpers ---------------------------------------------------------------------

TEST_F(CalendarTest, TimeUnitsSplitIntoEvenSecondsAndHhMmSs) {
    struct Row {
        qor::TimeUnits units;
        qor::TimeParts parts;
        const char* text;
    };
    const Row rows[] = {
        {0, {0, 0, 0}, "00:00:00"},        {1, {0, 0, 2}, "00:00:02"},
        {30, {0, 1, 0}, "00:01:00"},       {23613, {13, 7, 6}, "13:07:06"},
        {43199, {23, 59, 58}, "23:59:58"}, {65535, {36, 24, 30}, "36:24:30"},  // beyond a day is not rejected
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(qor::SplitTimeUnits(row.units), row.parts);
        EXPECT_EQ(qor::TimeUnitsToText(row.units), row.text);
    }
}

TEST_F(CalendarTest, PutDigitsFillsOnTheLeftAndDropsExcessDigitsThere) {
    struct Row {
        std::uint16_t value;
        int width;
        char fill;
        const char* written;
    };
    const Row rows[] = {
        {123, 2, '0', "23"},      {0, 2, ' ', " 0"},    {7, 4, '*', "***7"},   {0, 1, '0', "0"},
        {65535, 5, '0', "65535"}, {65535, 1, '0', "5"}, {1000, 3, '0', "000"}, {42, 0, '0', ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.value) + " in width " + std::to_string(row.width));
        char buffer[12];
        std::memset(buffer, '#', sizeof buffer);
        qor::PutDigits(row.value, buffer + 2, row.width, row.fill);
        // Only the width's characters change; the guard bytes on both sides stay.
        const std::string expected = "##" + std::string(row.written) + std::string(10 - std::strlen(row.written), '#');
        EXPECT_EQ(std::string(buffer, sizeof buffer), expected);
    }
}

TEST_F(CalendarTest, PadNumberFillsInFrontAndCutsOnTheRight) {
    struct Row {
        std::int32_t value;
        int width;
        char fill;
        std::string text;
    };
    const Row rows[] = {
        {7, 3, ' ', "  7"},
        {12345, 4, '0', "1234"},
        {2026, 4, '0', "2026"},
        {-5, 3, '0', "0-5"},
        {-123, 3, '0', "-12"},
        {INT32_MIN, 11, '0', "-2147483648"},
        {INT32_MAX, 11, ' ', " 2147483647"},
        {9, 0, '0', ""},
        {9, -2, '0', ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(qor::PadNumber(row.value, row.width, row.fill), row.text);
    }
}

TEST_F(CalendarTest, MoveBytesCopiesOnlyAPositiveCountAndAllowsOverlap) {
    char text[] = "abcdef";
    qor::MoveBytes("xyz", text, 0);
    qor::MoveBytes("xyz", text, -3);
    EXPECT_STREQ(text, "abcdef");
    qor::MoveBytes(text, text + 2, 3);
    EXPECT_STREQ(text, "ababcf");
    qor::MoveBytes("XY", text + 4, 2);
    EXPECT_STREQ(text, "ababXY");
}

// ---- Clock readings --------------------------------------------------------------------------

class MockSystem : public os::System {
public:
    MOCK_METHOD(bool, ReadVersion, (os::VersionRecord&), (override));
    MOCK_METHOD(std::string, VersionDetails, (), (override));
    MOCK_METHOD(os::Wow64Query, IsWow64Process, (), (override));
    MOCK_METHOD(os::SystemTime, LocalTime, (), (override));
    MOCK_METHOD(os::SystemTime, UtcTime, (), (override));
    MOCK_METHOD(std::string, ModulePath, (), (override));
    MOCK_METHOD(std::string, UserName, (), (override));
    MOCK_METHOD(void, Beep, (), (override));
    MOCK_METHOD(void, Sleep, (std::uint32_t), (override));
};

using os::fakes::At;

TEST_F(CalendarTest, TodayDayNumberCountsLocalDaysKeptTo16Bits) {
    struct Row {
        const char* name;
        os::SystemTime local;
        DayNumber day;
        const char* text;
    };
    const Row rows[] = {
        {"1 January 1901 is no date", At(1901, 1, 1, 12), 0, "Geen datum"},
        {"2 January 1901", At(1901, 1, 2), 1, "02-01-1901"},
        {"leap day 2024", At(2024, 2, 29, 23, 59, 59), 44984, "29-02-2024"},
        {"Sunday 6 December 2026", At(2026, 12, 6), DayOf(2026y / December / 6), "06-12-2026"},
        {"31 December 2075", At(2075, 12, 31), 63917, "31-12-2075"},
        {"1 January 2076", At(2076, 1, 1), 63918, "Geen datum"},
        {"6 June 2080 wraps to 0", At(2080, 6, 6), 0, "Geen datum"},
        {"7 June 2080 reads as 1901", At(2080, 6, 7), 1, "02-01-1901"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testing::StrictMock<MockSystem> sys;
        EXPECT_CALL(sys, LocalTime()).WillOnce(Return(row.local));
        const DayNumber day = qor::TodayDayNumber(sys);
        EXPECT_EQ(day, row.day);
        EXPECT_EQ(qor::DayNumberToText(day, qor::PeriodDate), row.text);
    }
}

TEST_F(CalendarTest, NowTimeUnitsDropsOddSecondsAndMilliseconds) {
    struct Row {
        os::SystemTime local;
        qor::TimeUnits units;
    };
    const Row rows[] = {
        {At(2026, 12, 6, 0, 0, 0), 0},
        {At(2026, 12, 6, 0, 0, 1, 999), 0},
        {At(2026, 12, 6, 13, 7, 7, 500), 23613},
        {At(2026, 12, 6, 23, 59, 59, 999), 43199},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.units);
        testing::StrictMock<MockSystem> sys;
        EXPECT_CALL(sys, LocalTime()).WillOnce(Return(row.local));
        EXPECT_EQ(qor::NowTimeUnits(sys), row.units);
    }
}

}  // namespace
