// The member panel's texts and the typed-field rules.
#include "model/panel_texts.h"

#include <gtest/gtest.h>

#include "model/gbk_text.h"

namespace kro {
namespace {

TEST(PanelTexts, MemberFieldsEmptyWithoutACurrentMember) {
  Project project;
  const PanelTexts t = panelTexts(project, 0, {});
  EXPECT_EQ(t.name, "");
  EXPECT_EQ(t.totalReadingCount, "0");
  EXPECT_EQ(t.overallPassRate, "0.0%");
  project.members.push_back(newAppendedMember("0001", "", nullptr));
  EXPECT_EQ(panelTexts(project, -1, {}).passRate, "");
  EXPECT_EQ(panelTexts(project, 1, {}).passRate, "");
}

TEST(PanelTexts, FiguresOfTheCurrentMember) {
  Project project;
  // Twenty passing readings of 20 mm and a stored average of 16.
  MemberData twenty;
  twenty.code = "0001";
  twenty.designThickness = 20;
  twenty.minusDeviation = -3;
  twenty.plusDeviation = 5;
  twenty.readings.assign(20, Reading{0, 20, 16});
  twenty.averageThickness = 16;
  twenty.passCount = 20;
  twenty.passRate = 1.0f;
  project.members.push_back(MemberRecord(twenty));
  PanelTexts t = panelTexts(project, 0, {});
  EXPECT_EQ(t.code, "0001");
  EXPECT_EQ(t.minusDeviation, "-3");
  EXPECT_EQ(t.passRate, "100.0%");
  EXPECT_EQ(t.averageThickness, "16");  // as stored
  EXPECT_NE(t.averageNote.find("20"), std::string::npos);
  EXPECT_EQ(t.totalReadingCount, "20");
  EXPECT_EQ(t.overallPassRate, "100.0%");
  const MemberListTexts row = memberListTexts(project.members[0], 0);
  EXPECT_EQ(row.number, "1");
  EXPECT_EQ(row.readingCount, "20");

  // Without readings the stored maximum and minimum stand.
  MemberData d;
  d.maxThickness = 9;
  d.minThickness = 3;
  project.members = {MemberRecord(d)};
  t = panelTexts(project, 0, {});
  EXPECT_EQ(t.maxThickness, "9");
  EXPECT_EQ(t.minThickness, "3");
  EXPECT_EQ(t.readingCount, "0");
  // Without readings nothing differs; the stored figure is still marked as stored.
  EXPECT_FALSE(t.passRateDiffers);
  EXPECT_EQ(t.passRateNote, kStoredFigureAgrees);
}

TEST(PanelTexts, FieldTextsAreCutOrRefused) {
  auto ok = toFieldText("楼板", 99);
  ASSERT_TRUE(ok.ok());
  EXPECT_EQ(ok.value().gbk, *utf8ToGbk("楼板"));
  EXPECT_FALSE(ok.value().cut);

  std::string sixty;
  for (int i = 0; i < 60; ++i) sixty += "板";
  auto cut = toFieldText(sixty, 99);
  ASSERT_TRUE(cut.ok());
  EXPECT_TRUE(cut.value().cut);
  EXPECT_EQ(cut.value().gbk.size(), 98u);

  auto refused = toFieldText("a😀", 99);
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find("😀"), std::string::npos);
}

}  // namespace
}  // namespace kro
