#include "support/calendar.h"

#include <chrono>
#include <cstring>

namespace qor {

namespace {

constexpr int DaysIn4Years = 1461;
constexpr int DaysIn3NormalYears = 1095;

// A failed conversion gives zeros and leaves its code behind.
bool Fail(DayParts& parts, std::uint8_t code) {
    parts = DayParts{};
    CalendarError = code;
    return false;
}

// Both 4-week types share the split of the ISO week; they differ only in what week 53 becomes.
bool DayToPeriod(DayNumber day, DayParts& parts, bool week53JoinsPeriod13) {
    DayParts week;
    if (!DayToWeek(day, week)) return Fail(parts, CalendarWeekOutOfRange);
    int period = (week.B - 1) / 4 + 1;
    int dayInPeriod = (week.B - 1) % 4 * 7 + week.A;
    if (week53JoinsPeriod13 && period == 14) {
        period = 13;
        dayInPeriod += 28;
    }
    parts = {static_cast<std::uint16_t>(dayInPeriod), static_cast<std::uint16_t>(period), week.Year};
    return true;
}

}  // namespace

DayNumber TodayDayNumber(os::System& sys) {
    using namespace std::chrono;
    const os::SystemTime now = sys.LocalTime();
    const sys_days today = year_month_day{year{now.wYear}, month{now.wMonth}, day{now.wDay}};
    constexpr sys_days DayZero = 1901y / January / 1;
    return static_cast<DayNumber>((today - DayZero).count());
}

TimeUnits NowTimeUnits(os::System& sys) {
    const os::SystemTime now = sys.LocalTime();
    return static_cast<TimeUnits>((now.wHour * 3600 + now.wMinute * 60 + now.wSecond) / 2);
}

TimeParts SplitTimeUnits(TimeUnits units) { return {units / 1800, units / 30 % 60, units % 30 * 2}; }

std::string TimeUnitsToText(TimeUnits units) {
    const TimeParts parts = SplitTimeUnits(units);
    std::string text = "??:??:??";
    PutDigits(static_cast<std::uint16_t>(parts.Hours), text.data(), 2, '0');
    PutDigits(static_cast<std::uint16_t>(parts.Minutes), text.data() + 3, 2, '0');
    PutDigits(static_cast<std::uint16_t>(parts.Seconds), text.data() + 6, 2, '0');
    return text;
}

bool DayToDate(DayNumber day, DayParts& parts) {
    if (day == 0 || day > LastDateDay) return Fail(parts, CalendarDateOutOfRange);
    const int cycle = day / DaysIn4Years;
    const int rest = day % DaysIn4Years;
    int year = CalendarTables::FirstYear + 4 * cycle;
    int dayOfYear;  // 1-based
    const std::array<std::uint16_t, 12>* daysBefore;
    // Each cycle runs 1901-style: three normal years, then the leap year.
    if (rest < DaysIn3NormalYears) {
        year += rest / 365;
        dayOfYear = rest % 365 + 1;
        daysBefore = &CalendarTables::DaysBeforeMonth;
    } else {
        year += 3;
        dayOfYear = rest - (DaysIn3NormalYears - 1);
        daysBefore = &CalendarTables::DaysBeforeMonthLeap;
    }
    int month = 12;
    while ((*daysBefore)[month - 1] >= dayOfYear) --month;
    parts = {static_cast<std::uint16_t>(dayOfYear - (*daysBefore)[month - 1]), static_cast<std::uint16_t>(month),
             static_cast<std::uint16_t>(year)};
    return true;
}

bool DayToWeek(DayNumber day, DayParts& parts) {
    if (day == 0 || day > LastWeekDay) return Fail(parts, CalendarWeekOutOfRange);
    // The first entry is 0, so the search always ends inside the table.
    int index = CalendarTables::YearCount - 1;
    while (CalendarTables::WeekStarts[index] > day) --index;
    parts = {WeekdayOfDay(day), static_cast<std::uint16_t>((day - CalendarTables::WeekStarts[index]) / 7 + 1),
             static_cast<std::uint16_t>(CalendarTables::FirstYear + index)};
    return true;
}

bool DayToPeriod13(DayNumber day, DayParts& parts) { return DayToPeriod(day, parts, true); }

bool DayToPeriod14(DayNumber day, DayParts& parts) { return DayToPeriod(day, parts, false); }

bool DecodeDayNumber(DayNumber day, PeriodType type, DayParts& parts) {
    switch (type) {
    case PeriodDate:
        return DayToDate(day, parts);
    case PeriodWeek:
        return DayToWeek(day, parts);
    case PeriodFourWeeks13:
        return DayToPeriod13(day, parts);
    case PeriodFourWeeks14:
        return DayToPeriod14(day, parts);
    default:
        return Fail(parts, CalendarWrongPeriodType);
    }
}

std::string DayNumberToText(DayNumber day, PeriodType type) {
    CalendarError = CalendarNoError;
    DayParts parts;
    if (!DecodeDayNumber(day, type, parts)) {
        if (CalendarError == CalendarWrongPeriodType) return "Wrong period type";
        return std::string(CalendarTables::NoDateTexts[LanguageIndex()]);
    }
    std::string text(type == PeriodDate ? CalendarTables::DateTemplate : CalendarTables::PeriodTemplate);
    if (type == PeriodWeek) {
        const std::string_view weekday = CalendarTables::WeekdayAbbreviations[LanguageIndex()][parts.A];
        text.replace(0, 2, weekday);
    } else {
        PutDigits(parts.A, text.data(), 2, '0');
    }
    PutDigits(parts.B, text.data() + 3, 2, '0');
    PutDigits(parts.Year, text.data() + 6, 4, '0');
    return text;
}

void PutDigits(std::uint16_t value, char* buffer, int width, char fill) {
    int position = width - 1;
    if (position < 0) return;
    do {
        buffer[position--] = CalendarTables::Digits[value % 10];
        value /= 10;
    } while (value != 0 && position >= 0);
    for (; position >= 0; --position) buffer[position] = fill;
}

std::string PadNumber(std::int32_t value, int width, char fill) {
    if (width <= 0) return {};
    std::string text = std::to_string(value);
    if (text.size() < static_cast<std::size_t>(width)) text.insert(0, width - text.size(), fill);
    text.resize(static_cast<std::size_t>(width));
    return text;
}

void MoveBytes(const void* source, void* dest, std::int32_t count) {
    if (count > 0) std::memmove(dest, source, static_cast<std::size_t>(count));
}

}  // namespace qor
