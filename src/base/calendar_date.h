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

}  // namespace kro
