// Reading and writing the stored date forms.
#include "model/date_text.h"

#include <gtest/gtest.h>

#include "model/gbk_text.h"

namespace kro {
namespace {

std::string gbk(const char* utf8) { return *utf8ToGbk(utf8); }

TEST(DateText, ReadsTheThreeStoredForms) {
  EXPECT_EQ(parseStoredDate("2026--12--07"), (CalendarDate{2026, 12, 7}));
  EXPECT_EQ(parseStoredDate(gbk("2008年05月12日")), (CalendarDate{2008, 5, 12}));
  EXPECT_EQ(parseStoredDate(gbk("2026年 1月 7日")), (CalendarDate{2026, 1, 7}));
  EXPECT_EQ(parseStoredDate(gbk("2026年12月25日")), (CalendarDate{2026, 12, 25}));
}

TEST(DateText, AnythingElseGivesNothing) {
  EXPECT_FALSE(parseStoredDate(""));
  EXPECT_FALSE(parseStoredDate("2026-12-07"));
  EXPECT_FALSE(parseStoredDate(gbk("2026年1月7日")));
  EXPECT_FALSE(parseStoredDate(gbk("2026年02月30日")));
  EXPECT_FALSE(parseStoredDate("2026--13--01"));
  EXPECT_FALSE(parseStoredDate("\xFF\xFF"));
  EXPECT_TRUE(parseStoredDate(gbk("2024年 2月29日")));
  EXPECT_FALSE(parseStoredDate(gbk("2023年 2月29日")));
}

TEST(DateText, PaddedTextIsFourteenBytes) {
  EXPECT_EQ(paddedDateText({2005, 3, 7}), gbk("2005年 3月 7日"));
  EXPECT_EQ(paddedDateText({2005, 12, 25}), gbk("2005年12月25日"));
  EXPECT_EQ(paddedDateText({2026, 1, 7}).size(), 14u);
  EXPECT_EQ(parseStoredDate(paddedDateText({2026, 1, 7})), (CalendarDate{2026, 1, 7}));
}

}  // namespace
}  // namespace kro
