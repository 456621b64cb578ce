// Member panel texts.
#include "model/panel_texts.h"

#include "model/gbk_text.h"

namespace kro {

MemberListTexts memberListTexts(const MemberRecord& m, int index) {
  return {std::to_string(index + 1), gbkToUtf8(m.code()), std::to_string(m.readingCount()),
          gbkToUtf8(m.testDate())};
}

PanelTexts panelTexts(const CKroAnalyzeDoc& doc) {
  const MemberRecord* m = doc.currentMemberRecord();
  if (m == nullptr) return {};
  PanelTexts t;
  t.name = gbkToUtf8(m->name());
  t.code = gbkToUtf8(m->code());
  t.averageThickness = std::to_string(m->averageThickness());
  t.designThickness = std::to_string(m->designThickness());
  t.plusDeviation = std::to_string(m->plusDeviation());
  t.minusDeviation = std::to_string(m->minusDeviation());
  t.maxThickness = std::to_string(m->maxThickness());
  t.minThickness = std::to_string(m->minThickness());
  t.readingCount = std::to_string(m->readingCount());
  t.passCount = std::to_string(m->passCount());
  t.passRate = formatRate(m->passRate());
  t.totalReadingCount = std::to_string(doc.totalReadingCount());
  t.totalPassCount = std::to_string(doc.totalPassCount());
  t.overallPassRate = formatRate(doc.overallPassRate());
  return t;
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
