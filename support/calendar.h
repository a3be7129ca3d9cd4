// Calendar helpers: 16-bit day numbers and 2-second time units, their conversion into dates,
// ISO weeks and 4-week periods, and the fixed-width texts that stamp log entries and file names.
//
// Nothing here throws. A conversion that fails returns false, zeroes its outputs and leaves a code
// in CalendarError; only DayNumberToText clears that byte again.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "os/system.h"
#include "support/language.h"

namespace qor {

// Days since 1 January 1901. Day 0 (1 January 1901 itself) means "no date" and never converts.
using DayNumber = std::uint16_t;
// Whole 2-second units since local midnight.
using TimeUnits = std::uint16_t;
// Which kind of period a day number is turned into.
using PeriodType = std::uint8_t;

inline constexpr PeriodType PeriodDate = 0;         // day of month, month, year
inline constexpr PeriodType PeriodWeek = 1;         // ISO weekday, week, week-numbering year
inline constexpr PeriodType PeriodFourWeeks13 = 2;  // day 1..35 of period 1..13, week year
inline constexpr PeriodType PeriodFourWeeks14 = 3;  // day 1..28 of period 1..14, week year

// Codes left in CalendarError.
inline constexpr std::uint8_t CalendarNoError = 0;
inline constexpr std::uint8_t CalendarDateOutOfRange = 2;
inline constexpr std::uint8_t CalendarWeekOutOfRange = 4;
inline constexpr std::uint8_t CalendarWrongPeriodType = 255;

// The error of the last failed conversion. Process-wide; the conversions only ever set it.
inline std::uint8_t CalendarError = CalendarNoError;

// 31 December 2075, the last day with a calendar date.
inline constexpr DayNumber LastDateDay = 63917;
// Monday 31 December 2074, the first day of week 1 of 2075: the week-based types stop here.
inline constexpr DayNumber LastWeekDay = 63552;

// Monday = 1 ... Sunday = 7; day 0 was a Tuesday. No range check.
constexpr std::uint16_t WeekdayOfDay(DayNumber day) { return static_cast<std::uint16_t>((day + 1) % 7 + 1); }

namespace CalendarTables {

inline constexpr int FirstYear = 1901;
inline constexpr int YearCount = 175;  // 1901..2075

inline constexpr std::array<std::uint16_t, 12> DaysBeforeMonth = {0,   31,  59,  90,  120, 151,
                                                                  181, 212, 243, 273, 304, 334};
inline constexpr std::array<std::uint16_t, 12> DaysBeforeMonthLeap = {0,   31,  60,  91,  121, 152,
                                                                      182, 213, 244, 274, 305, 335};

inline constexpr std::string_view Digits = "0123456789";

// Exactly as wide as a formatted date, trailing blanks included, so columns stay aligned.
inline constexpr std::array<std::string_view, LanguageCount> NoDateTexts = {"Geen datum", "No date   ", "Kein Datum",
                                                                            "Pas date  ",
                                                                            "D\xE1"
                                                                            "tum \xFC"
                                                                            "res"};

// Index 0 is "--", 1..7 are Monday..Sunday.
inline constexpr std::array<std::array<std::string_view, 8>, LanguageCount> WeekdayAbbreviations = {{
    {"--", "Ma", "Di", "Wo", "Do", "Vr", "Za", "Zo"},
    {"--", "Mo", "Tu", "We", "Th", "Fr", "Sa", "Su"},
    {"--", "Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"},
    {"--", "Lu", "Ma", "Me", "Je", "Ve", "Sa", "Di"},
    {"--", "H\xE9", "Ke", "Se", "Cs", "P\xE9", "So", "Va"},
}};

// Split so that no "??-" or "??/" trigraph sequence appears in the source.
inline constexpr std::string_view DateTemplate =
    "??"
    "-"
    "??"
    "-"
    "????";
inline constexpr std::string_view PeriodTemplate =
    "??"
    "/"
    "??"
    "/"
    "????";

// The Monday that starts ISO week 1 (the week holding 4 January) of each year 1901..2075.
// 1901's Monday, 31 December 1900, lies before day 0, so that year counts from day 0 (a Tuesday):
// its Mondays land in the week before the ISO one, which stored week numbers rely on.
constexpr std::array<DayNumber, YearCount> MakeWeekStarts() {
    std::array<DayNumber, YearCount> starts{};
    for (int index = 0; index < YearCount; ++index) {
        // Every fourth year is a leap year, which holds throughout 1901..2075.
        const int january4 = index * 365 + index / 4 + 3;
        const int monday = january4 - (WeekdayOfDay(static_cast<DayNumber>(january4)) - 1);
        starts[index] = static_cast<DayNumber>(monday < 0 ? 0 : monday);
    }
    return starts;
}
inline constexpr std::array<DayNumber, YearCount> WeekStarts = MakeWeekStarts();
static_assert(WeekStarts[0] == 0 && WeekStarts[1] == 363 && WeekStarts[2] == 727 && WeekStarts[3] == 1098);
static_assert(WeekStarts[YearCount - 1] == LastWeekDay);

}  // namespace CalendarTables

// The parts a conversion produces; what A and B mean depends on the period type.
struct DayParts {
    std::uint16_t A = 0;
    std::uint16_t B = 0;
    std::uint16_t Year = 0;
    friend bool operator==(const DayParts&, const DayParts&) = default;
};

struct TimeParts {
    std::int32_t Hours = 0;
    std::int32_t Minutes = 0;
    std::int32_t Seconds = 0;
    friend bool operator==(const TimeParts&, const TimeParts&) = default;
};

// Today's local date as days since 1 January 1901, kept to 16 bits: from 6 June 2080 on it
// wraps to 0 and counts again from there.
DayNumber TodayDayNumber(os::System& sys = os::RealSystem());
// The local time of day in whole 2-second units (odd seconds and milliseconds dropped).
TimeUnits NowTimeUnits(os::System& sys = os::RealSystem());

TimeParts SplitTimeUnits(TimeUnits units);
// "hh:mm:ss"; a value beyond one day is written as it is (65535 gives "36:24:30").
std::string TimeUnitsToText(TimeUnits units);

// A day of month, B month, Year calendar year. Days 1..LastDateDay.
bool DayToDate(DayNumber day, DayParts& parts);
// A weekday (Monday = 1), B ISO week, Year week-numbering year. Days 1..LastWeekDay.
bool DayToWeek(DayNumber day, DayParts& parts);
// A day in period 1..35, B period 1..13: week 53 joins period 13.
bool DayToPeriod13(DayNumber day, DayParts& parts);
// A day in period 1..28, B period 1..14: week 53 makes period 14.
bool DayToPeriod14(DayNumber day, DayParts& parts);
// One of the four conversions above, by type; a type above 3 fails with CalendarWrongPeriodType.
bool DecodeDayNumber(DayNumber day, PeriodType type, DayParts& parts);

// Ten characters ("06-12-2026", "Zo/49/2026", "32/13/2026"), the no-date text of LanguageNumber
// for a day that does not convert, or "Wrong period type". Clears CalendarError first.
std::string DayNumberToText(DayNumber day, PeriodType type);

// Writes value right-aligned into buffer[0..width), the rest filled with fill. The last position
// always gets a digit; digits that do not fit are dropped on the left. A width below 1 writes nothing.
void PutDigits(std::uint16_t value, char* buffer, int width, char fill);
// The decimal text of value, filled in front up to width and then cut to its first width
// characters, so a number that is too wide keeps its leading digits (12345 in width 4 is "1234").
std::string PadNumber(std::int32_t value, int width, char fill);
// Copies count bytes (the areas may overlap) when count is above 0.
void MoveBytes(const void* source, void* dest, std::int32_t count);

}  // namespace qor
