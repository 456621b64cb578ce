// GBK character walking, cuts at a capacity and conversions.
#include "model/gbk_text.h"

#include <gtest/gtest.h>

namespace kro {
namespace {

// "中文" in GBK: D6 D0 CE C4. Trail bytes can equal "[" (0x5B) and "\" (0x5C).
const std::string kZhongWen = "\xD6\xD0\xCE\xC4";
const std::string kTrailBracket = "\x81\x5B";    // a two-byte character ending in "["
const std::string kTrailBackslash = "\x81\x5C";  // a two-byte character ending in "\"

TEST(GbkText, CharacterLengths) {
  EXPECT_EQ(gbkCharLength("a" + kZhongWen, 0), 1u);
  EXPECT_EQ(gbkCharLength("a" + kZhongWen, 1), 2u);
  // A lead byte at the very end, or before a byte that cannot follow it, stands alone.
  EXPECT_EQ(gbkCharLength("\xD6", 0), 1u);
  EXPECT_EQ(gbkCharLength("\xD6\x7F", 0), 1u);
}

TEST(GbkText, TruncateNeverSplitsACharacter) {
  const std::string text = "ab" + kZhongWen;  // 6 bytes: a b [D6 D0] [CE C4]
  EXPECT_EQ(gbkTruncate(text, 6), text);
  EXPECT_EQ(gbkTruncate(text, 5), "ab\xD6\xD0");
  EXPECT_EQ(gbkTruncate(text, 4), "ab\xD6\xD0");
  EXPECT_EQ(gbkTruncate(text, 3), "ab");
  EXPECT_EQ(gbkTruncate(text, 0), "");
  EXPECT_EQ(gbkTruncate("abc", 9), "abc");
}

TEST(GbkText, FindSkipsTrailBytes) {
  // The "[" inside a two-byte character is not the character "[".
  EXPECT_EQ(gbkFind(kTrailBracket + "x", "["), std::string::npos);
  EXPECT_EQ(gbkFind(kTrailBracket + "[", "["), 2u);
  EXPECT_EQ(gbkFind("ab" + kTrailBackslash, "\\"), std::string::npos);
  // A match must start on a character boundary: D0 CE is not a character of "中文".
  EXPECT_EQ(gbkFind(kZhongWen, "\xD0\xCE"), std::string::npos);
  EXPECT_EQ(gbkFind(kZhongWen, "\xCE\xC4"), 2u);
  EXPECT_EQ(gbkFind("key=value", "="), 3u);
  EXPECT_EQ(gbkFind("abc", ""), 0u);
}

TEST(GbkText, ConvertsBothWays) {
  EXPECT_EQ(gbkToUtf8(kZhongWen), "中文");
  EXPECT_EQ(utf8ToGbk("中文"), kZhongWen);
  EXPECT_EQ(utf8ToGbk("2008年05月12日")->size(), 14u);
  const std::string grade = "楼板厚度测试仪数据分析处理软件V1.10";
  EXPECT_EQ(gbkToUtf8(*utf8ToGbk(grade)), grade);
}

TEST(GbkText, UndecodableBytesBecomeReplacementCharacters) {
  // 0xFF is never valid in GBK; the characters around it survive.
  EXPECT_EQ(gbkToUtf8("a\xFF" + kZhongWen), "a\xEF\xBF\xBD中文");
  EXPECT_EQ(gbkToUtf8("ab\xD6"), "ab\xEF\xBF\xBD");
}

TEST(GbkText, RefusesCharactersGbkCannotHold) {
  std::string bad;
  EXPECT_FALSE(utf8ToGbk("abc😀def", &bad).has_value());
  EXPECT_EQ(bad, "😀");
  EXPECT_FALSE(utf8ToGbk("\xFF").has_value());
}

}  // namespace
}  // namespace kro
