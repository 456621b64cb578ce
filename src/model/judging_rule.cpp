// The judging rules.
#include "model/judging_rule.h"

#include <charconv>

namespace kro {
namespace {

constexpr std::string_view kCitationKey = "依据";
constexpr std::string_view kJudgedKey = "对象";
constexpr std::string_view kRoundingKey = "修约";
constexpr std::string_view kBandKey = "允许偏差";
constexpr std::string_view kThresholdKey = "合格率";
constexpr std::string_view kPointsKey = "测点数";
constexpr std::string_view kLeastKey = "最少构件数";
constexpr std::string_view kMethodKey = "方法";
constexpr std::string_view kSamplingKey = "抽样";
constexpr std::string_view kSecondSampleKey = "二次抽样";
constexpr std::string_view kNoSecondSample = "无";

constexpr std::string_view kJudgedReading = "测点";
constexpr std::string_view kJudgedMean = "构件平均值";
constexpr std::string_view kToWholeMm = "整毫米";
constexpr std::string_view kNoRounding = "不修约";
constexpr std::string_view kOwnBand = "构件自身";
constexpr std::string_view kProjectRate = "合格率要求";

std::optional<int> wholeNumber(std::string_view text, int least, int most) {
  int value = 0;
  if (text.starts_with('+')) text.remove_prefix(1);
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < least || value > most)
    return std::nullopt;
  return value;
}

// "-5/+10": the lower deviation (not above 0) and the upper one (not below 0).
std::optional<std::pair<int, int>> parseBand(std::string_view text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  auto minus = wholeNumber(text.substr(0, slash), -9999, 0);
  auto plus = wholeNumber(text.substr(slash + 1), 0, 9999);
  if (!minus || !plus) return std::nullopt;
  return std::make_pair(*minus, *plus);
}

std::string bandText(const std::pair<int, int>& band) {
  return std::to_string(band.first) + "/+" + std::to_string(band.second);
}

// The rate as a fraction of whole mm: a mean of 1/3 mm is "0.3" (one decimal, as every figure).
std::string meanText(std::int64_t sum, std::int64_t count) { return tenthsText(sum, count); }

}  // namespace

const std::vector<JudgingRule>& builtInRules() {
  static const std::vector<JudgingRule> rules = [] {
    JudgingRule point;
    point.name = std::string(kPointRuleName);
    point.citation = "《混凝土结构工程施工质量验收规范》（GB50204-2002）";
    point.method = "逐点测量楼板厚度，每个测点按构件的允许偏差判定。";
    JudgingRule slab;
    slab.name = std::string(kSlabRuleName);
    slab.citation = "《混凝土结构工程施工质量验收规范》（GB 50204-2015）";
    slab.judged = Judged::MemberMean;
    slab.meanToWholeMm = true;
    slab.fixedBand = std::make_pair(-5, 10);
    slab.fixedThreshold = AcceptanceRule{800};
    slab.secondSampleFrom = AcceptanceRule{700};
    slab.points = 3;
    slab.leastMembers = 3;
    slab.method =
        "每块楼板测量 3 点（悬挑板沿宽度方向距支座 0.1 m 处测 3 点，其他楼板在一条对角线的中点和距两端各 0.1 "
        "m "
        "处），取 3 点的平均值并精确至 1 mm 作为该板的厚度，允许偏差为 +10 mm、-5 mm。";
    slab.sampling = "按有代表性的自然间抽查 1%，且不少于 3 间。";
    return std::vector<JudgingRule>{point, slab};
  }();
  return rules;
}

const JudgingRule& pointRule() { return builtInRules().front(); }

const JudgingRule* builtInRule(std::string_view name) {
  for (const JudgingRule& rule : builtInRules()) {
    if (rule.name == name) return &rule;
  }
  return nullptr;
}

std::vector<std::pair<std::string, std::string>> ruleFields(const JudgingRule& rule) {
  return {
      {std::string(kRuleNameKey), rule.name},
      {std::string(kCitationKey), rule.citation},
      {std::string(kJudgedKey), std::string(rule.judgesMembers() ? kJudgedMean : kJudgedReading)},
      {std::string(kRoundingKey), std::string(rule.meanToWholeMm ? kToWholeMm : kNoRounding)},
      {std::string(kBandKey), rule.fixedBand ? bandText(*rule.fixedBand) : std::string(kOwnBand)},
      {std::string(kThresholdKey),
       rule.fixedThreshold ? ruleText(*rule.fixedThreshold) : std::string(kProjectRate)},
      {std::string(kPointsKey), std::to_string(rule.points)},
      {std::string(kLeastKey), std::to_string(rule.leastMembers)},
      {std::string(kSecondSampleKey),
       rule.secondSampleFrom ? ruleText(*rule.secondSampleFrom) : std::string(kNoSecondSample)},
      {std::string(kMethodKey), rule.method},
      {std::string(kSamplingKey), rule.sampling},
  };
}

Result<JudgingRule> ruleFromFields(const std::function<std::optional<std::string>(std::string_view)>& field) {
  JudgingRule rule;
  auto need = [&](std::string_view key) -> Result<std::string> {
    auto value = field(key);
    if (!value) return Error{"缺少“" + std::string(key) + "”"};
    return *value;
  };
  auto bad = [](std::string_view key, const std::string& value, std::string_view expected) {
    return Error{"“" + std::string(key) + "”应为" + std::string(expected) + "，而不是“" + value + "”"};
  };
  auto name = need(kRuleNameKey);
  if (!name) return name.error();
  if (name.value().empty()) return Error{"“" + std::string(kRuleNameKey) + "”是空的"};
  rule.name = name.value();
  auto judged = need(kJudgedKey);
  if (!judged) return judged.error();
  if (judged.value() == kJudgedMean) {
    rule.judged = Judged::MemberMean;
  } else if (judged.value() != kJudgedReading) {
    return bad(kJudgedKey, judged.value(), "“测点”或“构件平均值”");
  }
  const std::string rounding = field(kRoundingKey).value_or(std::string(kNoRounding));
  if (rounding != kToWholeMm && rounding != kNoRounding)
    return bad(kRoundingKey, rounding, "“整毫米”或“不修约”");
  rule.meanToWholeMm = rounding == kToWholeMm;
  auto band = need(kBandKey);
  if (!band) return band.error();
  if (band.value() != kOwnBand) {
    rule.fixedBand = parseBand(band.value());
    if (!rule.fixedBand) return bad(kBandKey, band.value(), "“构件自身”或“-5/+10”这样的上下偏差（毫米）");
  }
  auto threshold = need(kThresholdKey);
  if (!threshold) return threshold.error();
  if (threshold.value() != kProjectRate) {
    rule.fixedThreshold = parseAcceptanceRule(threshold.value());
    if (!rule.fixedThreshold)
      return bad(kThresholdKey, threshold.value(), "0 到 100 之间、最多一位小数的数或“合格率要求”");
  }
  const std::string points = field(kPointsKey).value_or("0");
  const std::string least = field(kLeastKey).value_or("0");
  auto p = wholeNumber(points, 0, 9999);
  if (!p) return bad(kPointsKey, points, "0 到 9999 之间的整数");
  auto l = wholeNumber(least, 0, 9999);
  if (!l) return bad(kLeastKey, least, "0 到 9999 之间的整数");
  rule.points = *p;
  rule.leastMembers = *l;
  const std::string second = field(kSecondSampleKey).value_or(std::string(kNoSecondSample));
  if (second != kNoSecondSample) {
    rule.secondSampleFrom = parseAcceptanceRule(second);
    const AcceptanceRule top = rule.fixedThreshold.value_or(AcceptanceRule{1000});
    if (!rule.secondSampleFrom || rule.secondSampleFrom->tenths >= top.tenths || !rule.judgesMembers())
      return bad(kSecondSampleKey, second, "“无”，或按构件判定时低于合格率的数");
  }
  rule.citation = field(kCitationKey).value_or("");
  rule.method = field(kMethodKey).value_or("");
  rule.sampling = field(kSamplingKey).value_or("");
  return rule;
}

ToleranceBand ruleBand(const MemberRecord& member, const JudgingRule& rule) {
  if (!rule.fixedBand) return toleranceBand(member);
  const std::int64_t design = member.designThickness();
  return {design + rule.fixedBand->first, design + rule.fixedBand->second};
}

bool readingPasses(const MemberRecord& member, int index, const JudgingRule& rule) {
  if (index < 0 || index >= member.readingCount()) return true;
  return ruleBand(member, rule).contains(member.readingAt(index));
}

std::int64_t roundedToEven(std::int64_t sum, std::int64_t count) {
  std::int64_t q = sum / count;
  std::int64_t r = sum % count;
  if (r < 0) {  // floor division
    --q;
    r += count;
  }
  if (2 * r > count || (2 * r == count && q % 2 != 0)) ++q;
  return q;
}

std::optional<MemberMean> judgeMemberMean(const MemberRecord& member, const JudgingRule& rule) {
  const int n = member.readingCount();
  if (n == 0) return std::nullopt;
  MemberMean m;
  for (int i = 0; i < n; ++i) m.sum += member.readingAt(i);
  m.count = n;
  const ToleranceBand band = ruleBand(member, rule);
  if (rule.meanToWholeMm) {
    m.recorded = roundedToEven(m.sum, m.count);
    m.passes = band.contains(*m.recorded);
    m.text = std::to_string(*m.recorded);
  } else {
    // The exact mean against the band: lower <= sum / count <= upper.
    m.passes = band.lower * m.count <= m.sum && m.sum <= band.upper * m.count;
    m.text = meanText(m.sum, m.count);
  }
  return m;
}

std::string ruleSummary(const JudgingRule& rule, AcceptanceRule threshold) {
  return rule.name + "（" + (rule.judgesMembers() ? "每个构件的平均值" : "每个测点") + "，合格率不低于 " +
         ruleText(threshold) + "%）";
}

}  // namespace kro
