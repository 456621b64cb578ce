// Figures as text and the acceptance rule.
#include "model/figure_text.h"

#include <cmath>
#include <cstdio>

#include "model/statistics.h"

namespace kro {
namespace {

// Wide enough that no product of counts and sums below can overflow.
__extension__ using Wide = __int128;

// numerator / denominator x 10^decimals rounded half away from zero, as an integer.
Wide scaledRounded(std::int64_t numerator, std::int64_t denominator, int decimals) {
  Wide n = numerator;
  for (int i = 0; i < decimals; ++i) n *= 10;
  const bool negative = n < 0;
  if (negative) n = -n;
  const Wide d = denominator;
  const Wide q = (2 * n + d) / (2 * d);
  return negative ? -q : q;
}

std::string withDecimals(Wide scaled, int decimals) {
  const bool negative = scaled < 0;
  if (negative) scaled = -scaled;
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(scaled % 10)));
    scaled /= 10;
  } while (scaled > 0);
  if (digits.size() <= static_cast<std::size_t>(decimals))
    digits.insert(0, static_cast<std::size_t>(decimals) + 1 - digits.size(), '0');
  if (decimals > 0) digits.insert(digits.size() - static_cast<std::size_t>(decimals), ".");
  // Nothing rounds to "-0.0".
  const bool zero = digits.find_first_not_of("0.") == std::string::npos;
  return negative && !zero ? "-" + digits : digits;
}

std::string fractionText(std::int64_t numerator, std::int64_t denominator, int decimals) {
  if (denominator <= 0) return withDecimals(0, decimals);
  return withDecimals(scaledRounded(numerator, denominator, decimals), decimals);
}

}  // namespace

std::string tenthsText(std::int64_t numerator, std::int64_t denominator) {
  return fractionText(numerator, denominator, 1);
}

std::string percentText(std::int64_t passed, std::int64_t count) {
  return fractionText(passed * 100, count, 1);
}

std::string decimalText(double value, int decimals) {
  if (!std::isfinite(value)) return std::to_string(value);
  long double scaled = value;
  for (int i = 0; i < decimals; ++i) scaled *= 10;
  const long double rounded = std::floor(std::fabs(scaled) + 0.5L);
  if (rounded > 1e30L) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
  }
  const auto magnitude = static_cast<Wide>(rounded);
  return withDecimals(value < 0 ? -magnitude : magnitude, decimals);
}

std::string storedRateText(const MemberRecord& m) {
  if (m.readingCount() > 0 && m.passRate() == passRateOf(m.passCount(), m.readingCount()))
    return percentText(m.passCount(), m.readingCount());
  return decimalText(static_cast<double>(m.passRate()) * 100.0, 1);
}

std::optional<AcceptanceRule> parseAcceptanceRule(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '%')) text.remove_suffix(1);
  int whole = 0, tenth = 0, digits = 0;
  std::size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    if (digits >= 3) return std::nullopt;
    whole = whole * 10 + (text[i] - '0');
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size()) {
    if (text[i] != '.' || i + 2 != text.size() || text[i + 1] < '0' || text[i + 1] > '9') return std::nullopt;
    tenth = text[i + 1] - '0';
  }
  const int tenths = whole * 10 + tenth;
  if (tenths > 1000) return std::nullopt;
  return AcceptanceRule{tenths};
}

std::string ruleText(AcceptanceRule rule) {
  const std::string whole = std::to_string(rule.tenths / 10);
  return rule.tenths % 10 == 0 ? whole : whole + "." + std::to_string(rule.tenths % 10);
}

bool meetsRule(std::int64_t passed, std::int64_t count, AcceptanceRule rule) {
  return count > 0 && static_cast<Wide>(passed) * 1000 >= static_cast<Wide>(rule.tenths) * count;
}

std::string ruledRateText(std::int64_t passed, std::int64_t count, AcceptanceRule rule) {
  if (count <= 0 || meetsRule(passed, count, rule) || scaledRounded(passed * 100, count, 1) < rule.tenths) {
    return percentText(passed, count);
  }
  // Rounded to one decimal the rate would read as the rule it misses: two decimals, cut
  // rather than rounded so that they never read as the rule either.
  const Wide hundredths = static_cast<Wide>(passed) * 10000 / count;
  return withDecimals(hundredths, 2);
}

}  // namespace kro
