// The rule a project's verdict is judged by (判定规则), as data: what is judged (each reading
// against its band, or each member by the mean of its readings), the band, the pass rate, and
// the sentences documents print. Two rules are built in; an office adds its own, and a project
// stores the whole definition of its rule, so that its verdict never depends on the machine
// that opens it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/result.h"
#include "model/figure_text.h"
#include "model/member_record.h"
#include "model/statistics.h"

namespace kro {

inline constexpr std::string_view kPointRuleName = "逐点判定";
inline constexpr std::string_view kSlabRuleName = "GB 50204-2015 附录F";

enum class Judged { Reading, MemberMean };

struct JudgingRule {
  std::string name;
  std::string citation;  // printed as 检测依据 unless the user typed another
  Judged judged = Judged::Reading;
  bool meanToWholeMm = false;  // the mean first recorded to whole mm (GB/T 8170)
  // The band around the design thickness (-5/+10: minus -5, plus 10); none: the member's own
  // deviations.
  std::optional<std::pair<int, int>> fixedBand;
  // The pass rate the rule fixes; none: the project's 合格率要求.
  std::optional<AcceptanceRule> fixedThreshold;
  // A first sample whose rate reaches this but not the threshold needs a second sample of as
  // many members, judged together with it; none: no second sample.
  std::optional<AcceptanceRule> secondSampleFrom;
  int points = 0;        // readings a member should have; 0 for any number
  int leastMembers = 0;  // members a sample should have at least; 0 for no least
  std::string method;    // the sentence on how a member is measured and judged
  std::string sampling;  // the sentence on how members are chosen

  bool judgesMembers() const { return judged == Judged::MemberMean; }
  // The threshold with the project's 合格率要求 where the rule fixes none.
  AcceptanceRule threshold(AcceptanceRule projectRate) const { return fixedThreshold.value_or(projectRate); }
  bool operator==(const JudgingRule&) const = default;
};

// "逐点判定" and "GB 50204-2015 附录F", in that order.
const std::vector<JudgingRule>& builtInRules();
const JudgingRule& pointRule();
const JudgingRule* builtInRule(std::string_view name);

// A rule as named fields (UTF-8), in a fixed order; the keys of the project file and of the
// office's rule files.
inline constexpr std::string_view kRuleNameKey = "名称";
std::vector<std::pair<std::string, std::string>> ruleFields(const JudgingRule& rule);
// The rule from its fields, looked up by key; a missing or malformed field is named.
Result<JudgingRule> ruleFromFields(const std::function<std::optional<std::string>(std::string_view)>& field);

// What the rule judges a member by, and the band: the member's own, or the rule's around its
// design thickness.
ToleranceBand ruleBand(const MemberRecord& member, const JudgingRule& rule);
bool readingPasses(const MemberRecord& member, int index, const JudgingRule& rule);

// A member judged by its mean: the mean as a fraction of its readings, the value recorded (to
// whole mm when the rule says so, else the exact mean) and whether it lies in the band. Absent
// without readings.
struct MemberMean {
  std::int64_t sum = 0;
  std::int64_t count = 0;
  std::optional<std::int64_t> recorded;  // whole mm, when the rule records it so
  bool passes = false;
  std::string text;  // "114.7", or "115" when recorded to whole mm
};
std::optional<MemberMean> judgeMemberMean(const MemberRecord& member, const JudgingRule& rule);

// sum / count to a whole number as GB/T 8170 rounds: a half goes to the even neighbour.
std::int64_t roundedToEven(std::int64_t sum, std::int64_t count);

// A rule with the threshold it judges by in a project.
struct RuleInForce {
  JudgingRule rule = pointRule();
  AcceptanceRule threshold;
};

// "逐点判定（每个测点，合格率不低于 90%）", "GB 50204-2015 附录F（每个构件的平均值，合格率不低于 80%）"
std::string ruleSummary(const JudgingRule& rule, AcceptanceRule threshold);

}  // namespace kro
