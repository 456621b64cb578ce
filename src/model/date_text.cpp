// Date texts.
#include "model/date_text.h"

#include <cstdio>
#include <cstdlib>
#include <regex>

#include "model/gbk_text.h"
#include "platform/local_time.h"

namespace kro {

std::tm localTime(std::time_t when) { return platform::localTime(when); }

std::tm localTimeNow() { return localTime(std::time(nullptr)); }

std::string isoLocalTime(std::time_t when) {
  const std::tm local = localTime(when);
  // The offset from UTC: the local fields read back as if they were UTC, less the instant.
  const std::time_t shifted = platform::fieldsAsUtc(local);
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
