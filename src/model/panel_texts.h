// The member panel's texts: the member list's rows and the current member's fields, formatted
// as the panel shows them (UTF-8).
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "base/result.h"
#include "model/figure_text.h"
#include "model/judging_rule.h"
#include "model/project.h"

namespace kro {

inline constexpr std::array<std::string_view, 4> kMemberListHeadings = {"序号", "测区编号", "测点数",
                                                                        "测试日期    "};
inline constexpr std::array<int, 4> kMemberListWidths = {50, 80, 65, 120};

struct MemberListTexts {
  std::string number;  // 1-based
  std::string code;
  std::string readingCount;
  std::string testDate;
};

MemberListTexts memberListTexts(const MemberRecord& member, int index);

// Every field of the panel; the member's are empty without a current member. Counts, maximum,
// minimum and the totals are computed from the readings; the pass rate and a non-zero average
// are the stored figures, each with a note for its mark and tooltip. The totals count every member;
// tickedTotals gives those of the ticked members, which reports use, with the verdict by the project's rule.
// The mark of a stored figure wherever it is shown (panel, kro info), and its note when the
// readings give the same.
inline constexpr std::string_view kStoredFigureMark = "※";
inline constexpr std::string_view kStoredFigureAgrees = "※ 文件中保存的数值（与按测点计算的一致）。";

struct PanelTexts {
  std::string name, code, averageThickness, designThickness, plusDeviation, minusDeviation;
  std::string maxThickness, minThickness, readingCount, passCount, passRate;
  std::string totalReadingCount, totalPassCount, overallPassRate;
  // A stored figure is marked ※, as everywhere it is shown; its note says so, and what the
  // readings give when that differs (the mark then stands out).
  std::string passRateNote, averageNote;  // empty for a figure computed from the readings
  bool passRateDiffers = false, averageDiffers = false;
  std::string tickedTotals;  // "勾选构件（用于报告）：196 点，…：不合格"
  bool tickedPass = false;
  // Under a rule that judges members by their means: "119 mm（115–130）合格"; empty otherwise.
  std::string judged;
  bool judgedPass = false;
  // Under a rule with a second sample: the member's sample number (抽样批次), 0 otherwise.
  int sample = 0;
};

PanelTexts panelTexts(const Project& project, int currentMember, const RuleInForce& rule);

// The note beside a stored figure that differs from what the readings give.
std::string storedFigureNote(const std::string& stored, const std::string& computed);

struct FieldText {
  std::string gbk;
  bool cut = false;  // the text was longer than the field and was cut
};

// Text typed into a field, for a GBK field of capacity bytes: cut at a character boundary when
// too long; refused with a message when a character cannot be stored in GBK.
Result<FieldText> toFieldText(std::string_view utf8, std::size_t capacity);

}  // namespace kro
