// The instrument's index and member data files, against fixtures placed by their offset tables.
#include "model/raw_files.h"

#include <gtest/gtest.h>

#include "model/sample_project.h"
#include "support/bytes.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

using test::Bytes;

std::string indexFile(const std::vector<std::string>& codes, std::int16_t count) {
  Bytes b;
  b.i16(0, count);
  for (std::size_t i = 0; i < codes.size(); ++i) b.text(2 + 10 * i, codes[i]).resize(2 + 10 * (i + 1));
  return b.str();
}

std::string indexFile(const std::vector<std::string>& codes) {
  return indexFile(codes, static_cast<std::int16_t>(codes.size()));
}

std::string memberFile(const std::string& code, const std::string& date, std::int16_t design,
                       const std::vector<std::int16_t>& readings, int statedCount = -1) {
  Bytes b(74);
  b.text(0, code).text(10, date).i16(32, design).i16(34, 999).i16(36, 555);
  b.i16(38, static_cast<std::int16_t>(statedCount < 0 ? static_cast<int>(readings.size()) : statedCount));
  b.i32(40, 0x7777).i32(70, 0x1234);  // bytes the reader does not use
  for (std::size_t k = 0; k < readings.size(); ++k) b.i16(74 + 2 * k, readings[k]);
  return b.str();
}

std::vector<std::int32_t> thicknesses(const MemberRecord& m) {
  std::vector<std::int32_t> out;
  for (const Reading& r : m.readings()) out.push_back(r.thickness);
  return out;
}

TEST(RawFiles, MemberDataFileFromTheOffsetTable) {
  auto decoded = decodeMemberDataFile(memberFile("A001",
                                                 "2008\xC4\xEA"
                                                 "05\xD4\xC2"
                                                 "12\xC8\xD5",
                                                 120, {118, 125, 131, -1}));
  ASSERT_TRUE(decoded.ok()) << decoded.message();
  MemberRecord m = decoded.value().member;
  EXPECT_TRUE(decoded.value().warnings.empty());
  EXPECT_EQ(m.code(), "A001");
  EXPECT_EQ(m.testDate().size(), 14u);
  EXPECT_EQ(m.designThickness(), 120);
  EXPECT_EQ(m.minusDeviation(), -5);
  EXPECT_EQ(m.plusDeviation(), 8);
  EXPECT_EQ(thicknesses(m), (std::vector<std::int32_t>{118, 125, 131, -1}));  // FF FF reads as -1
  EXPECT_EQ(m.name(), "");
  EXPECT_EQ(m.selected(), 1);
  // The file stores no figures: the member's are its readings' (band 115..128).
  EXPECT_EQ(m.storedStatistics(), (StoredStatistics{93, 131, -1, 2, 0.5f}));
}

TEST(RawFiles, ReadingsAreBoundedByTheFileNotBy500) {
  std::vector<std::int16_t> many(700, 120);
  auto all = decodeMemberDataFile(memberFile("A001", "", 120, many));
  ASSERT_TRUE(all.ok());
  EXPECT_EQ(all.value().member.readingCount(), 700);

  // A count beyond the readings the file holds reads those it holds, with a warning.
  auto truncated = decodeMemberDataFile(memberFile("A001", "", 120, {1, 2, 3}, 10));
  ASSERT_TRUE(truncated.ok());
  EXPECT_EQ(thicknesses(truncated.value().member), (std::vector<std::int32_t>{1, 2, 3}));
  EXPECT_EQ(truncated.value().warnings.size(), 1u);

  // A count below them reads only the stated ones.
  auto fewer = decodeMemberDataFile(memberFile("A001", "", 120, {1, 2, 3}, 2));
  ASSERT_TRUE(fewer.ok());
  EXPECT_EQ(fewer.value().member.readingCount(), 2);

  auto negative = decodeMemberDataFile(memberFile("A001", "", 120, {1, 2}, 0xFFFE));
  ASSERT_TRUE(negative.ok());
  EXPECT_EQ(negative.value().member.readingCount(), 0);
  EXPECT_EQ(negative.value().warnings.size(), 1u);

  EXPECT_FALSE(decodeMemberDataFile(std::string(73, '\0')).ok());
}

TEST(RawFiles, IndexFile) {
  auto index = decodeIndexFile(indexFile({"A001", "A002"}));
  ASSERT_TRUE(index.ok());
  EXPECT_EQ(index.value().codes, (std::vector<std::string>{"A001", "A002"}));
  EXPECT_TRUE(index.value().warnings.empty());

  auto shortIndex = decodeIndexFile(indexFile({"A001"}, 3));
  ASSERT_TRUE(shortIndex.ok());
  EXPECT_EQ(shortIndex.value().codes.size(), 1u);
  EXPECT_EQ(shortIndex.value().warnings.size(), 1u);

  EXPECT_FALSE(decodeIndexFile(indexFile({}, -2)).ok());
  EXPECT_FALSE(decodeIndexFile("\x01").ok());
  EXPECT_TRUE(decodeIndexFile(indexFile({})).ok());
}

TEST(RawFiles, UnsafeCodes) {
  EXPECT_TRUE(isSafeMemberCode("A001"));
  EXPECT_TRUE(isSafeMemberCode(""));
  EXPECT_TRUE(isSafeMemberCode("\x81\x5C"));  // "\" as the second byte of a character
  EXPECT_FALSE(isSafeMemberCode("../x"));
  EXPECT_FALSE(isSafeMemberCode("..\\x"));
  EXPECT_FALSE(isSafeMemberCode("/etc/pa"));
  EXPECT_FALSE(isSafeMemberCode("C:x"));
  EXPECT_FALSE(isSafeMemberCode("A\x01"));
}

TEST(RawProject, LoadsMembersInIndexOrderFromTheIndexFolder) {
  test::TempDir dir;
  test::writeBytes(dir / "PROJ.DEX", indexFile({"A002", "A001"}));
  test::writeBytes(dir / "A001.DAT", memberFile("A001", "d1", 120, {118, 125, 131}));
  // The member's code comes from its data file, not from the index.
  test::writeBytes(dir / "A002.DAT", memberFile("X9", "d2", 100, {100}));
  auto project = readRawProject(dir / "PROJ.DEX");
  ASSERT_TRUE(project.ok()) << project.message();
  ASSERT_EQ(project.value().members.size(), 2u);
  EXPECT_EQ(project.value().members[0].code(), "X9");
  EXPECT_EQ(project.value().members[1].code(), "A001");
  EXPECT_EQ(project.value().members[1].readingCount(), 3);
  EXPECT_TRUE(project.value().warnings.empty());
}

TEST(RawProject, MissingAndUnsafeFilesAreNamedAndTheOthersLoad) {
  test::TempDir dir;
  std::filesystem::create_directories(dir / "sub");
  test::writeBytes(dir / "outside.DAT", memberFile("EVIL", "", 1, {1}));
  test::writeBytes(dir / "sub" / "P.DEX", indexFile({"A001", "B002", "C003", "../outside"}));
  test::writeBytes(dir / "sub" / "A001.DAT", memberFile("A001", "", 120, {120}));
  auto project = readRawProject(dir / "sub" / "P.DEX");
  ASSERT_TRUE(project.ok());
  const auto& members = project.value().members;
  ASSERT_EQ(members.size(), 4u);
  EXPECT_EQ(members[0].code(), "A001");
  EXPECT_EQ(members[1], MemberRecord());
  EXPECT_EQ(members[3], MemberRecord());  // never read from outside the folder
  ASSERT_EQ(project.value().warnings.size(), 2u);
  EXPECT_NE(project.value().warnings[0].find("B002.DAT"), std::string::npos);
  EXPECT_NE(project.value().warnings[0].find("C003.DAT"), std::string::npos);
  EXPECT_NE(project.value().warnings[1].find("../outside"), std::string::npos);
}

TEST(RawProject, FindsDataFilesInAnotherLetterCase) {
  test::TempDir dir;
  test::writeBytes(dir / "P.DEX", indexFile({"A001"}));
  test::writeBytes(dir / "a001.dat", memberFile("A001", "", 120, {121}));
  auto project = readRawProject(dir / "P.DEX");
  ASSERT_TRUE(project.ok());
  EXPECT_EQ(project.value().members[0].readingCount(), 1);
  EXPECT_TRUE(project.value().warnings.empty());
}

TEST(RawProject, LongWarningsAreSummarisedAndEveryFileReadIsListedOnce) {
  test::TempDir dir;
  std::vector<std::string> codes;
  for (int i = 0; i < 500; ++i) codes.push_back("M" + std::to_string(1000 + i));
  codes.push_back("A001");
  codes.push_back("A001");
  test::writeBytes(dir / "P.DEX", indexFile(codes));
  test::writeBytes(dir / "A001.DAT", memberFile("A001", "", 120, {121}));
  auto project = readRawProject(dir / "P.DEX");
  ASSERT_TRUE(project.ok());
  ASSERT_EQ(project.value().members.size(), 502u);
  EXPECT_EQ(project.value().members[501].readingCount(), 1);
  ASSERT_EQ(project.value().warnings.size(), 1u);
  const std::string& warning = project.value().warnings[0];
  EXPECT_NE(warning.find("M1009.DAT"), std::string::npos);
  EXPECT_EQ(warning.find("M1010.DAT"), std::string::npos);
  EXPECT_NE(warning.find("另有 490 个构件文件缺失"), std::string::npos) << warning;
  EXPECT_LT(warning.size(), 400u);
  EXPECT_EQ(project.value().memberFiles, std::vector<std::filesystem::path>{dir / "A001.DAT"});
}

TEST(RawProject, ManyCodesNamingOneLargeFileAreRefusedNotLoaded) {
  test::TempDir dir;
  test::writeBytes(dir / "BIG.DAT", memberFile("BIG", "", 120, std::vector<std::int16_t>(32767, 120)));
  // 123 x 32,767 readings is just over the limit; 122 is under it.
  test::writeBytes(dir / "P.DEX", indexFile(std::vector<std::string>(123, "BIG")));
  auto refused = readRawProject(dir / "P.DEX");
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find("工程过大"), std::string::npos);
  test::writeBytes(dir / "P.DEX", indexFile(std::vector<std::string>(122, "BIG")));
  auto loaded = readRawProject(dir / "P.DEX");
  ASSERT_TRUE(loaded.ok()) << loaded.message();
  EXPECT_EQ(loaded.value().members.size(), 122u);
}

TEST(RawProject, WriterAndReaderAgree) {
  test::TempDir dir;
  const std::vector<MemberRecord> members = makeSampleProject();
  ASSERT_TRUE(writeRawProject(dir.path(), "S.DEX", members).ok());
  auto project = readRawProject(dir / "S.DEX");
  ASSERT_TRUE(project.ok());
  ASSERT_EQ(project.value().members.size(), members.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    const MemberRecord& m = project.value().members[i];
    EXPECT_EQ(m.code(), members[i].code());
    EXPECT_EQ(m.testDate(), members[i].testDate());
    EXPECT_EQ(m.designThickness(), members[i].designThickness());
    EXPECT_EQ(thicknesses(m), thicknesses(members[i]));
  }
}

}  // namespace
}  // namespace kro
