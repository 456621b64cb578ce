// Member panel texts.
#include "model/panel_texts.h"

#include "model/gbk_text.h"
#include "model/judging_rule.h"
#include "model/report_figures.h"
#include "model/statistics.h"

namespace kro {

MemberListTexts memberListTexts(const MemberRecord& m, int index) {
  return {std::to_string(index + 1), gbkToUtf8(m.code()), std::to_string(m.readingCount()),
          gbkToUtf8(m.testDate())};
}

PanelTexts panelTexts(const Project& project, int currentMember, const RuleInForce& rule) {
  PanelTexts t;
  const Totals totals = documentTotals(project.members);
  t.totalReadingCount = std::to_string(totals.readingCount);
  t.totalPassCount = std::to_string(totals.passCount);
  t.overallPassRate = percentText(totals.passCount, totals.readingCount) + "%";
  const ReportFigures ticked = reportFigures(project, rule);
  t.tickedTotals = ticked.ticked.empty() ? "勾选构件（用于报告）：没有勾选任何构件，报告和打印不能输出"
                                         : tickedTotalsLine(ticked);
  t.tickedPass = ticked.passes;
  const MemberRecord* m = project.memberAt(currentMember);
  if (m == nullptr) return t;
  if (rule.rule.judgesMembers() && rule.rule.secondSampleFrom) t.sample = m->sample();
  if (rule.rule.judgesMembers()) {
    const ToleranceBand band = ruleBand(*m, rule.rule);
    if (const auto mean = judgeMemberMean(*m, rule.rule)) {
      t.judgedPass = mean->passes;
      t.judged = mean->text + " mm（" + std::to_string(band.lower) + "–" + std::to_string(band.upper) + "）" +
                 (mean->passes ? "合格" : "不合格");
    } else {
      t.judged = "没有测点";
    }
  }
  const MemberFigures figures = computeFigures(*m);
  const ShownFigure<float> rate = shownPassRate(*m);
  const ShownFigure<std::int32_t> average = shownAverage(*m);
  t.name = gbkToUtf8(m->name());
  t.code = gbkToUtf8(m->code());
  t.averageThickness = std::to_string(average.shown);
  t.designThickness = std::to_string(m->designThickness());
  t.plusDeviation = std::to_string(m->plusDeviation());
  t.minusDeviation = std::to_string(m->minusDeviation());
  // Without readings there is nothing to compute: the stored figures stand.
  t.maxThickness = std::to_string(figures.maxThickness.value_or(m->maxThickness()));
  t.minThickness = std::to_string(figures.minThickness.value_or(m->minThickness()));
  t.readingCount = std::to_string(figures.readingCount);
  t.passCount = std::to_string(figures.passCount);
  t.passRate = storedRateText(*m) + "%";
  t.passRateDiffers = rate.differsFromReadings();
  t.averageDiffers = average.differsFromReadings();
  if (t.passRateDiffers) {
    t.passRateNote = storedFigureNote(t.passRate, percentText(figures.passCount, figures.readingCount) + "%");
  } else if (rate.stored) {
    t.passRateNote = std::string(kStoredFigureAgrees);
  }
  if (t.averageDiffers) {
    t.averageNote = storedFigureNote(t.averageThickness, std::to_string(*average.computed));
  } else if (average.stored) {
    t.averageNote = std::string(kStoredFigureAgrees);
  }
  return t;
}

std::string storedFigureNote(const std::string& stored, const std::string& computed) {
  return "文件中保存的数值是 " + stored + "，按测点计算为 " + computed +
         "。修改该构件的测点、设计厚度或允许偏差后，将按测点重新计算。";
}

Result<FieldText> toFieldText(std::string_view utf8, std::size_t capacity) {
  std::string bad;
  auto gbk = utf8ToGbk(utf8, &bad);
  if (!gbk) return Error{"字符“" + bad + "”无法以 GBK 编码保存，已拒绝输入。"};
  FieldText out;
  out.gbk = std::string(gbkTruncate(*gbk, capacity));
  out.cut = out.gbk.size() < gbk->size();
  return out;
}

}  // namespace kro
