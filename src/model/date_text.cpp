// Date texts.
#include "model/date_text.h"

#include <cstdio>
#include <cstdlib>
#include <regex>

#include "model/gbk_text.h"

namespace kro {

std::tm localTime(std::time_t when) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &when);
#else
  localtime_r(&when, &local);
#endif
  return local;
}

std::tm localTimeNow() { return localTime(std::time(nullptr)); }

std::string isoLocalTime(std::time_t when) {
  const std::tm local = localTime(when);
  // The offset from UTC: the local fields read back as if they were UTC, less the instant.
  std::tm asUtc = local;
#ifdef _WIN32
  const std::time_t shifted = _mkgmtime(&asUtc);
#else
  const std::time_t shifted = timegm(&asUtc);
#endif
  const long offset = static_cast<long>(shifted - when) / 60;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                offset < 0 ? '-' : '+', std::labs(offset) / 60, std::labs(offset) % 60);
  return text;
}

std::string shownLocalTime(std::time_t when) {
  const std::tm local = localTime(when);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

CalendarDate today() {
  const std::tm local = localTimeNow();
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

bool isValidDate(const CalendarDate& d) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (d.year < 1 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1) return false;
  const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  return d.day <= kDays[d.month - 1] + (d.month == 2 && leap ? 1 : 0);
}

std::optional<CalendarDate> parseStoredDate(std::string_view gbk) {
  static const std::regex dashes(R"(^(\d{4})--(\d{2})--(\d{2})$)");
  static const std::regex chinese("^(\\d{4})年([ \\d]\\d)月([ \\d]\\d)日$");
  const std::string text = gbkToUtf8(gbk);
  std::smatch m;
  if (!std::regex_match(text, m, dashes) && !std::regex_match(text, m, chinese)) return std::nullopt;
  auto number = [&](int i) { return std::stoi(m[i].str()); };  // stoi skips the leading blank
  CalendarDate date{number(1), number(2), number(3)};
  if (!isValidDate(date)) return std::nullopt;
  return date;
}

std::string paddedDateText(const CalendarDate& d) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d年%2d月%2d日", d.year, d.month, d.day);
  return *utf8ToGbk(text);
}

std::string dateTextLike(const CalendarDate& d, std::string_view example) {
  char text[64];
  if (example.find("--") != std::string_view::npos) {
    std::snprintf(text, sizeof text, "%04d--%02d--%02d", d.year, d.month, d.day);
    return text;
  }
  if (parseStoredDate(example) && example.find(' ') != std::string_view::npos) return paddedDateText(d);
  std::snprintf(text, sizeof text, "%04d年%02d月%02d日", d.year, d.month, d.day);
  return *utf8ToGbk(text);
}

}  // namespace kro
