// Calendar dates in the texts the program stores: reading the three stored forms of a member's
// test date, and writing the blank-padded long form.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "base/calendar_date.h"

namespace kro {

// The local time now, and today's date by it.
std::tm localTime(std::time_t when);
std::tm localTimeNow();
// A moment as local time with its offset from UTC, ISO 8601: "2026-12-09T10:20:30+08:00".
std::string isoLocalTime(std::time_t when);
// A moment as people read it: "2026-12-09 10:20:30" (local time).
std::string shownLocalTime(std::time_t when);
CalendarDate today();

// Reads "2026--12--07" (the insert-member form), "2008年05月12日" (the transfer's form) and
// "2026年 1月 7日" (the date picker's and the report parameters' form), all in GBK. Anything
// else, or a date that does not exist, gives nothing.
std::optional<CalendarDate> parseStoredDate(std::string_view gbk);

// The year, 年, the month and the day right-aligned in two characters (a blank before a single
// digit), 月 and 日: 7 March 2005 is "2005年 3月 7日", 14 bytes in GBK.
std::string paddedDateText(const CalendarDate& date);

// A date written the way example is: "2026--12--07" (the insert-member form), "2026年 1月 7日"
// (blank-padded) or, for anything else and an empty example, "2026年01月07日" (the transfer's
// zero-padded form). GBK.
std::string dateTextLike(const CalendarDate& date, std::string_view exampleGbk);

}  // namespace kro
