// A calendar date and whether it exists.
#pragma once

namespace kro {

struct CalendarDate {
  int year = 1970;
  int month = 1;
  int day = 1;
  bool operator==(const CalendarDate&) const = default;
};

// Years 1 to 9999 of the Gregorian calendar, leap days included.
bool isValidDate(const CalendarDate& date);

// Days since 1970-01-01 (negative before it), and the date of such a day.
int daysFromCivil(const CalendarDate& date);
CalendarDate civilFromDays(int days);

}  // namespace kro
