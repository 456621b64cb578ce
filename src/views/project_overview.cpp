// Overview rows, the histogram and the comparison texts.
#include "views/project_overview.h"

#include <algorithm>
#include <cstdio>

#include "model/file_io.h"
#include "model/gbk_text.h"

namespace kro {

std::vector<OverviewRow> overviewRows(const Project& project, const RuleInForce& inForce) {
  const AcceptanceRule rule = inForce.threshold;
  std::vector<OverviewRow> rows;
  rows.reserve(project.members.size());
  for (int i = 0; i < project.memberCount(); ++i) {
    const MemberRecord& m = *project.memberAt(i);
    OverviewRow row;
    row.member = i;
    row.ticked = m.selected() != 0;
    row.code = gbkToUtf8(m.code());
    row.name = gbkToUtf8(m.name());
    row.testDate = gbkToUtf8(m.testDate());
    if (const std::optional<CalendarDate> date = parseStoredDate(m.testDate())) {
      char text[32];
      std::snprintf(text, sizeof text, "%04d-%02d-%02d", date->year, date->month, date->day);
      row.shortDate = text;
    } else {
      row.shortDate = row.testDate;
    }
    row.designThickness = m.designThickness();
    row.minusDeviation = m.minusDeviation();
    row.plusDeviation = m.plusDeviation();
    row.figures = computeFigures(m);
    const MemberFigures& f = row.figures;
    const bool any = f.readingCount > 0;
    for (int j = 0; j < m.readingCount(); ++j) row.passCount += readingPasses(m, j, inForce.rule) ? 1 : 0;
    row.rateText = any ? ruledRateText(row.passCount, f.readingCount, rule) + "%" : "-";
    row.meanText = any ? tenthsText(f.thicknessSum, f.readingCount) : "-";
    row.deviationText = f.standardDeviation ? decimalText(*f.standardDeviation, 2) : "-";
    if (const auto mean = judgeMemberMean(m, inForce.rule)) {
      row.judgedText = mean->text;
      row.judgedPasses = mean->passes;
    }
    row.belowRule = any && (inForce.rule.judgesMembers() ? !row.judgedPasses
                                                         : !meetsRule(row.passCount, f.readingCount, rule));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string belowRuleNote(const RuleInForce& rule) {
  if (!rule.rule.judgesMembers()) return "合格率低于要求的 " + ruleText(rule.threshold) + "%";
  return rule.rule.fixedBand ? "平均值不在允许偏差 " + std::to_string(rule.rule.fixedBand->first) + "/+" +
                                   std::to_string(rule.rule.fixedBand->second) + " mm 之内"
                             : std::string("平均值不在构件的允许偏差之内");
}

std::optional<HistogramBand> histogramBand(const Project& project) {
  std::map<std::pair<std::int32_t, std::int32_t>, std::int64_t> readingsByBand;
  for (const MemberRecord& m : project.members) {
    if (m.selected() != 0 && m.readingCount() > 0)
      readingsByBand[{m.minusDeviation(), m.plusDeviation()}] += m.readingCount();
  }
  if (readingsByBand.empty()) return std::nullopt;
  auto most = std::max_element(readingsByBand.begin(), readingsByBand.end(),
                               [](const auto& a, const auto& b) { return a.second < b.second; });
  return HistogramBand{most->first.first, most->first.second, readingsByBand.size() == 1};
}

std::optional<HistogramBand> histogramBand(const Project& project, const JudgingRule& rule) {
  if (rule.fixedBand) return HistogramBand{rule.fixedBand->first, rule.fixedBand->second, true};
  return histogramBand(project);
}

std::string histogramTitle(const SelectionFigures& figures, const std::optional<HistogramBand>& band,
                           const ReportFigures& verdict) {
  std::string title = "偏差（mm）分布：勾选构件的 " + std::to_string(figures.readingCount) + " 个测点";
  if (band) {
    title += "  允许偏差 " + std::to_string(band->minus) + "/+" + std::to_string(band->plus) + " mm";
    if (!band->allAlike) title += "（多数构件）";
  }
  if (verdict.judgedCount() > 0) {
    title += std::string("  ") + (verdict.judgesMembers() ? "构件平均值合格率 " : "合格率 ") +
             verdict.rateText + " %（要求 " + verdict.ruleText + " %）：" + verdict.verdict();
  }
  return title;
}

void drawDeviationHistogram(Canvas& c, const SelectionFigures& figures,
                            const std::optional<HistogramBand>& band, const ReportFigures& verdict, int width,
                            int height) {
  constexpr int kLeft = 44, kRight = 12, kTop = 40, kBottom = 30;
  const Rect plot{kLeft, kTop, std::max(kLeft + 1, width - kRight), std::max(kTop + 1, height - kBottom)};
  c.setFont(FontSpec{{}, 9});
  c.setTextColor(kBlack);
  // Two lines in a narrow dock: the readings and band, then the rate and verdict.
  c.drawTextInRect({6, 2, std::max(7, width - 6), kTop - 4}, histogramTitle(figures, band, verdict),
                   kAlignLeft | kAlignTop | kWordBreak);
  if (figures.deviationHistogram.empty()) {
    c.drawTextInRect(plot, "没有测点", kAlignCenter | kAlignVCenter | kSingleLine);
    return;
  }
  // Every deviation from the lowest to the highest (and the band) has a slot.
  std::int64_t low = figures.deviationHistogram.front().first;
  std::int64_t high = figures.deviationHistogram.back().first;
  if (band) {
    low = std::min<std::int64_t>(low, band->minus);
    high = std::max<std::int64_t>(high, band->plus);
  }
  low -= 1;
  high += 1;
  const double slot = static_cast<double>(plot.width()) / static_cast<double>(high - low + 1);
  auto xOf = [&](double deviation) {
    return plot.left + static_cast<int>((deviation - static_cast<double>(low)) * slot);
  };
  std::int64_t most = 1;
  for (const auto& [d, n] : figures.deviationHistogram) most = std::max(most, n);

  if (band)
    c.fillRect({xOf(band->minus), plot.top, xOf(band->plus + 1.0), plot.bottom}, Color{222, 240, 222});
  for (const auto& [d, n] : figures.deviationHistogram) {
    const bool inside = band && d >= band->minus && d <= band->plus;
    const int left = xOf(static_cast<double>(d)) + static_cast<int>(slot * 0.1);
    const int right = std::max(left + 1, xOf(static_cast<double>(d) + 0.9));
    const int top = plot.bottom - static_cast<int>(static_cast<double>(plot.height()) *
                                                   static_cast<double>(n) / static_cast<double>(most));
    c.fillRect({left, top, right, plot.bottom}, inside || !band ? Color{70, 110, 170} : Color{210, 40, 40});
  }
  // Axes, the count scale and the deviations at the band's edges, at 0 and at the ends.
  c.setPen(Pen{});
  c.drawLine(plot.left, plot.bottom, plot.right, plot.bottom);
  c.drawLine(plot.left, plot.top, plot.left, plot.bottom);
  c.drawTextInRect({0, plot.top - 6, plot.left - 4, plot.top + 10}, std::to_string(most),
                   kAlignRight | kSingleLine);
  c.drawTextInRect({0, plot.bottom - 10, plot.left - 4, plot.bottom + 6}, "0", kAlignRight | kSingleLine);
  std::vector<std::int64_t> ticks = {low + 1, 0, high - 1};
  if (band) ticks.insert(ticks.end(), {band->minus, band->plus});
  std::sort(ticks.begin(), ticks.end());
  ticks.erase(std::unique(ticks.begin(), ticks.end()), ticks.end());
  int lastRight = -1000;
  for (std::int64_t t : ticks) {
    const int centre = xOf(static_cast<double>(t) + 0.5);
    if (centre - 20 < lastRight) continue;  // no overlapping labels
    c.drawLine(centre, plot.bottom, centre, plot.bottom + 3);
    // A label at the right end stays inside the picture.
    const int right = std::min(centre + 20, width - 2);
    c.drawTextInRect({right - 40, plot.bottom + 4, right, plot.bottom + 20},
                     (t > 0 ? "+" : "") + std::to_string(t),
                     (right < centre + 20 ? kAlignRight : kAlignCenter) | kSingleLine);
    lastRight = right;
  }
}

std::vector<ComparisonLine> comparisonLines(const ProjectDiff& d, const Project& original,
                                            const Project& edited, bool readingsOnly) {
  auto code = [](const Project& p, int m) { return gbkToUtf8(p.memberAt(m)->code()); };
  auto member = [&](const Project& p, int m) {
    return code(p, m) + "（" + std::to_string(p.memberAt(m)->readingCount()) + " 个测点）";
  };
  // The edited member a reading of the original belongs to, when it has one.
  auto editedOf = [&](int originalMember) {
    for (std::size_t e = 0; e < d.originalOf.size(); ++e) {
      if (d.originalOf[e] == originalMember) return static_cast<int>(e);
    }
    return -1;
  };
  std::vector<ComparisonLine> lines;
  for (const auto& c : d.changed) {
    lines.push_back({code(edited, c.editedMember) + " 测点 " + std::to_string(c.reading + 1) + "：" +
                         std::to_string(c.from) + " → " + std::to_string(c.to),
                     c.editedMember, c.reading});
  }
  for (const auto& r : d.addedReadings) {
    lines.push_back({code(edited, r.member) + " 测点 " + std::to_string(r.reading + 1) + "：新增 " +
                         std::to_string(r.value),
                     r.member, r.reading});
  }
  for (const auto& r : d.removedReadings) {
    lines.push_back({code(original, r.member) + " 测点 " + std::to_string(r.reading + 1) + "：删除 " +
                         std::to_string(r.value),
                     editedOf(r.member), -1});
  }
  for (int m : d.addedMembers) lines.push_back({"新增构件 " + member(edited, m), m, -1});
  for (int m : d.removedMembers) lines.push_back({"删除构件 " + member(original, m), -1, -1});
  if (readingsOnly) return lines;
  // One line per change; the same change on several members once, with their number.
  std::vector<std::pair<const ProjectDiff::ChangedField*, int>> groups;
  for (const ProjectDiff::ChangedField& f : d.fields) {
    auto same = std::find_if(groups.begin(), groups.end(), [&](const auto& g) {
      return g.first->field == f.field && g.first->from == f.from && g.first->to == f.to;
    });
    if (same == groups.end()) {
      groups.emplace_back(&f, 1);
    } else {
      ++same->second;
    }
  }
  auto shown = [](const ProjectDiff::ChangedField& f, const std::string& value) {
    return f.field == "测试日期" || f.field == "构件名称" ? "“" + value + "”" : value;
  };
  for (const auto& [f, count] : groups) {
    const std::string change = shown(*f, f->from) + " → " + shown(*f, f->to);
    if (count > 1) {
      lines.push_back({f->field + " " + change + "：" + std::to_string(count) + " 个构件", -1, -1});
    } else {
      lines.push_back({code(edited, f->editedMember) + " " + f->field + "：" + change, f->editedMember, -1});
    }
  }
  return lines;
}

std::map<int, std::optional<std::int32_t>> readingMarks(const ProjectDiff& d, const Project& edited,
                                                        int editedMember) {
  std::map<int, std::optional<std::int32_t>> marks;
  const MemberRecord* member = edited.memberAt(editedMember);
  if (member == nullptr || editedMember >= static_cast<int>(d.originalOf.size())) return marks;
  if (!d.originalOf[static_cast<std::size_t>(editedMember)]) {
    for (int j = 0; j < member->readingCount(); ++j) marks[j] = std::nullopt;
    return marks;
  }
  for (const auto& c : d.changed) {
    if (c.editedMember == editedMember) marks[c.reading] = c.from;
  }
  for (const auto& r : d.addedReadings) {
    if (r.member == editedMember) marks[r.reading] = std::nullopt;
  }
  return marks;
}

Status OriginalComparison::start(const std::filesystem::path& file) {
  auto loaded = loadProject(file);
  if (!loaded) return loaded.error();
  original_ = std::move(loaded.value().project);
  name_ = displayPath(file.filename());
  diff_.reset();
  return Status::success();
}

void OriginalComparison::end() {
  original_.reset();
  diff_.reset();
}

void OriginalComparison::update(const Project& edited) {
  diff_.reset();
  if (original_) diff_ = diffProjects(*original_, edited);
}

std::vector<ComparisonLine> OriginalComparison::lines(const Project& edited, bool readingsOnly) const {
  if (!diff_) return {};
  return comparisonLines(*diff_, *original_, edited, readingsOnly);
}

std::map<int, std::optional<std::int32_t>> OriginalComparison::marks(const Project& edited,
                                                                     int member) const {
  if (!diff_) return {};
  return readingMarks(*diff_, edited, member);
}

}  // namespace kro
