// Members: kinds, reading access, texts and reading rows.
#include "model/member_record.h"

#include <gtest/gtest.h>

namespace kro {
namespace {

MemberRecord memberWith(std::vector<std::int32_t> thicknesses, std::int32_t design = 120,
                        std::int32_t minus = -5, std::int32_t plus = 8) {
  MemberData d;
  d.code = "0001";
  d.designThickness = design;
  d.minusDeviation = minus;
  d.plusDeviation = plus;
  for (std::size_t i = 0; i < thicknesses.size(); ++i) {
    d.readings.push_back(
        {static_cast<std::int32_t>(100 + i), thicknesses[i], static_cast<std::int32_t>(200 + i)});
  }
  return MemberRecord(std::move(d));
}

std::vector<std::int32_t> thicknesses(const MemberRecord& m) {
  std::vector<std::int32_t> out;
  for (const Reading& r : m.readings()) out.push_back(r.thickness);
  return out;
}

TEST(MemberRecord, ConstructedValues) {
  MemberRecord m;
  EXPECT_EQ(m.code(), "");
  EXPECT_EQ(m.selected(), 1);
  EXPECT_EQ(m.minusDeviation(), -5);
  EXPECT_EQ(m.plusDeviation(), 8);
  EXPECT_EQ(m.readingCount(), 0);
  EXPECT_EQ(m.passRate(), 0.0f);
}

TEST(MemberRecord, KindFollowsFirstByteOfCode) {
  MemberRecord m;
  EXPECT_EQ(m.memberKind(), MemberKind::ThicknessTest);
  m.setCode("P001");
  EXPECT_EQ(m.memberKind(), MemberKind::ProfileTest);
  m.setCode("W001");
  EXPECT_EQ(m.memberKind(), MemberKind::GridTest);
  m.setCode("p001");
  EXPECT_EQ(m.memberKind(), MemberKind::ThicknessTest);
  m.setCode("w001");
  EXPECT_EQ(m.memberKind(), MemberKind::ThicknessTest);
  EXPECT_EQ(static_cast<int>(MemberKind::GridTest), 3);
}

TEST(MemberRecord, IndexChecksGiveZero) {
  MemberRecord m = memberWith({118, 125});
  EXPECT_EQ(m.readingAt(-1), 0);
  EXPECT_EQ(m.readingAt(2), 0);
  EXPECT_EQ(m.readingAt(1), 125);
  EXPECT_FALSE(m.setReading(2, {}));
  EXPECT_TRUE(m.setReading(1, {1, 2, 3}));
  EXPECT_EQ(m.readings()[1], (Reading{1, 2, 3}));
}

TEST(MemberRecord, NewTextsAreCutAtCapacityOnCharacterBoundaries) {
  MemberData d;
  d.code = "ABCDEFGHIJKL";
  // 49 two-byte characters and one more: 100 bytes would not fit 99; the last one goes whole.
  for (int i = 0; i < 50; ++i) d.name += "\xD6\xD0";
  d.testDate =
      "2008\xC4\xEA"
      "05\xD4\xC2"
      "12\xC8\xD5"
      "xxxxxx";  // 20 bytes
  MemberRecord m = MemberRecord::withTextsCut(d);
  EXPECT_EQ(m.code(), "ABCDEFGHI");
  EXPECT_EQ(m.name().size(), 98u);
  EXPECT_EQ(m.testDate().size(), 19u);
  // Seven characters of two bytes: 14 bytes fit, a fifth byte of a character does not.
  d.code = "\xD6\xD0\xD6\xD0\xD6\xD0\xD6\xD0\xD6\xD0";
  EXPECT_EQ(MemberRecord::withTextsCut(d).code().size(), 8u);
  // A text read from a file keeps every byte.
  EXPECT_EQ(MemberRecord(d).code().size(), 10u);
}

TEST(MemberRecord, StoredStatisticsAsOneGroup) {
  MemberRecord m = memberWith({1});
  const StoredStatistics s{7, 9, 3, 2, 0.5f};
  m.setStoredStatistics(s);
  EXPECT_EQ(m.storedStatistics(), s);
  EXPECT_EQ(m.averageThickness(), 7);
  EXPECT_EQ(m.maxThickness(), 9);
  EXPECT_EQ(m.minThickness(), 3);
  EXPECT_EQ(m.passCount(), 2);
  EXPECT_EQ(m.passRate(), 0.5f);
}

TEST(ReadingRows, InsertBefore) {
  MemberRecord m = memberWith({1, 2, 3});
  EXPECT_TRUE(m.insertReadingBefore(1));
  EXPECT_EQ(thicknesses(m), (std::vector<std::int32_t>{1, 0, 2, 3}));
  EXPECT_TRUE(m.insertReadingBefore(4));  // at readingCount: appends
  EXPECT_EQ(thicknesses(m), (std::vector<std::int32_t>{1, 0, 2, 3, 0}));
  EXPECT_FALSE(m.insertReadingBefore(6));
  EXPECT_FALSE(m.insertReadingBefore(-1));
  EXPECT_EQ(m.readingCount(), 5);
}

TEST(ReadingRows, InsertAfterAndDelete) {
  MemberRecord m = memberWith({1, 2, 3});
  EXPECT_TRUE(m.insertReadingAfter(2));
  EXPECT_EQ(thicknesses(m), (std::vector<std::int32_t>{1, 2, 3, 0}));
  EXPECT_FALSE(m.insertReadingAfter(4));
  EXPECT_TRUE(m.deleteReading(0));
  EXPECT_EQ(thicknesses(m), (std::vector<std::int32_t>{2, 3, 0}));
  EXPECT_FALSE(m.deleteReading(3));

  MemberRecord single = memberWith({7});
  EXPECT_TRUE(single.deleteReading(0));
  EXPECT_EQ(single.readingCount(), 0);
  EXPECT_FALSE(single.deleteReading(0));
  EXPECT_FALSE(single.insertReadingAfter(0));
  EXPECT_TRUE(single.insertReadingBefore(0));
}

TEST(ReadingRows, ReadingsKeepAllFieldsAndNewOnesAreZero) {
  MemberRecord m = memberWith({1, 2, 3});  // aux 100.., spare 200..
  m.insertReadingBefore(1);
  m.deleteReading(0);
  ASSERT_EQ(m.readingCount(), 3);
  EXPECT_EQ(m.readings()[0], (Reading{0, 0, 0}));
  EXPECT_EQ(m.readings()[1], (Reading{101, 2, 201}));
  EXPECT_EQ(m.readings()[2], (Reading{102, 3, 202}));
}

TEST(AppendedMember, CodesAndValues) {
  EXPECT_EQ(appendedMemberCode(1), "0001");
  EXPECT_EQ(appendedMemberCode(42), "0042");
  EXPECT_EQ(appendedMemberCode(100), "0100");
  EXPECT_EQ(appendedMemberCode(1234), "0123");
  MemberRecord m = newAppendedMember("0007", "2026--12--07", nullptr);
  EXPECT_EQ(m.code(), "0007");
  EXPECT_EQ(m.testDate(), "2026--12--07");
  EXPECT_EQ(m.readingCount(), 0);
  EXPECT_EQ(m.storedStatistics(), StoredStatistics{});
  EXPECT_EQ(m.designThickness(), 120);  // a floor slab's band, not one that marks every reading
  EXPECT_EQ(m.minusDeviation(), -5);
  EXPECT_EQ(m.plusDeviation(), 8);
  EXPECT_EQ(m.secondColumnStart(), 20);
}

TEST(MemberBand, KeptAsTextAndReadBackOnlyWhenWhole) {
  EXPECT_EQ(memberBandText({150, -10, 12}), "150,-10,12");
  EXPECT_EQ(parseMemberBand("150,-10,12"), (MemberBand{150, -10, 12}));
  for (const char* bad : {"", "150", "150,-10", "150,-10,12,1", "0,-5,8", "10000,-5,8", "150,-5,x", "150,,8",
                          "150,-5,8 ", "150,5,-8"})
    EXPECT_FALSE(parseMemberBand(bad).has_value()) << bad;
}

}  // namespace
}  // namespace kro
