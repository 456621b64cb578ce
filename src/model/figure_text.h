// Figures as text, by one rule everywhere: one decimal, half away from zero, rounded from the
// exact fraction (a pass rate of 1/16 shows as 6.3, a mean of 119.25 as 119.3); and the
// acceptance rule a project's verdict is judged by.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/member_record.h"

namespace kro {

// numerator / denominator with one decimal; "0.0" when denominator is 0 or less.
std::string tenthsText(std::int64_t numerator, std::int64_t denominator);
// A pass rate in per cent, without the sign: passed / count x 100 ("85.3").
std::string percentText(std::int64_t passed, std::int64_t count);
// A value that is no fraction of integers (a stored float rate, a standard deviation) with
// `decimals` decimals, half away from zero.
std::string decimalText(double value, int decimals);
// The pass rate a member's file stored, in per cent without the sign: from the stored
// passCount / readingCount when the stored rate is exactly that fraction's float, otherwise
// from the stored value.
std::string storedRateText(const MemberRecord& member);

// The pass rate a project must reach, in tenths of a per cent (90 % is 900).
struct AcceptanceRule {
  int tenths = 900;
  bool operator==(const AcceptanceRule&) const = default;
};

// "90", "87.5", "90.0", "90%": 0 to 100 with at most one decimal; nothing for anything else.
std::optional<AcceptanceRule> parseAcceptanceRule(std::string_view text);
// The rule in its shortest form: "90", "87.5".
std::string ruleText(AcceptanceRule rule);
// passed / count reaches the rule, compared exactly; never without readings.
bool meetsRule(std::int64_t passed, std::int64_t count, AcceptanceRule rule);
// A rate beside its verdict: one decimal, or two when one decimal would show the rule that the
// rate misses ("89.96" against 90).
std::string ruledRateText(std::int64_t passed, std::int64_t count, AcceptanceRule rule);

}  // namespace kro
