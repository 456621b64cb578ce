// Kept received bytes: names, clashes, never replaced; and read back for comparison.
#include "transfer/received_data.h"

#include <gtest/gtest.h>

#include "model/analysis_file.h"
#include "model/raw_files.h"
#include "model/sample_project.h"
#include "support/temp_dir.h"
#include "transfer/instrument_encoder.h"

namespace kro {
namespace {

std::tm at(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

TEST(ReceivedBytes, NamedByTimeAndNeverReplaced) {
  test::TempDir dir;
  const std::tm t = at(2026, 12, 8, 9, 5, 7);
  auto first = keepReceivedBytes(dir / "a.KRO", TransferLayout::Serial, "one", t);
  ASSERT_TRUE(first.ok()) << first.message();
  EXPECT_EQ(first.value(), dir / pathFromUtf8("原始数据") / "20261208-090507.serial");
  auto second = keepReceivedBytes(dir / "b.KRO", TransferLayout::Serial, "two", t);
  // As on a stick without hard links: the name is created exclusively, the clash still seen.
  auto third = keepReceivedBytes(dir / "c.KRO", TransferLayout::Serial, std::string("\0three", 6), t, false);
  ASSERT_TRUE(second.ok() && third.ok());
  EXPECT_EQ(second.value().filename(), "20261208-090507-2.serial");
  EXPECT_EQ(third.value().filename(), "20261208-090507-3.serial");
  EXPECT_EQ(test::readBytes(first.value()), "one");
  EXPECT_EQ(test::readBytes(third.value()), std::string("\0three", 6));
  EXPECT_EQ(std::filesystem::status(third.value()).permissions() & std::filesystem::perms::owner_write,
            std::filesystem::perms::none);
  auto usb = keepReceivedBytes(dir / "a.KRO", TransferLayout::Usb, "u", t);
  EXPECT_EQ(usb.value().filename(), "20261208-090507.usb");
  // Only the kept files are left: no temporary names.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir / pathFromUtf8("原始数据"))) {
    ++files;
    EXPECT_TRUE(isReceivedBytesFile(entry.path())) << entry.path();
  }
  EXPECT_EQ(files, 4);

  // A destination whose folder does not exist: refused, nothing created.
  EXPECT_FALSE(keepReceivedBytes(dir / "none" / "a.KRO", TransferLayout::Serial, "x", t).ok());
  EXPECT_FALSE(std::filesystem::exists(dir / "none"));
}

TEST(ReceivedBytes, ReadBackDecodedOrRefusedWithTheFileNamed) {
  test::TempDir dir;
  const std::vector<MemberRecord> members = makeSampleProject();
  auto block = encodeSerialBlock(members);
  ASSERT_TRUE(block.ok());
  test::writeBytes(dir / "r.serial", block.value());
  auto loaded = loadProject(dir / "r.serial");
  ASSERT_TRUE(loaded.ok()) << loaded.message();
  EXPECT_EQ(loaded.value().kind, ProjectFileKind::ReceivedBytes);
  EXPECT_EQ(loaded.value().project.memberCount(), 12);
  EXPECT_EQ(loaded.value().project.memberAt(0)->readings(), members[0].readings());

  test::writeBytes(dir / "cut.serial", block.value().substr(0, 40));
  auto cut = loadProject(dir / "cut.serial");
  ASSERT_FALSE(cut.ok());
  EXPECT_NE(cut.message().find("cut.serial"), std::string::npos);
}

// What a file is, the program tells by its content, not only by its name.
TEST(OpeningByContent, EveryKindIsRecognisedAndAnythingElseRefused) {
  test::TempDir dir;
  const std::vector<MemberRecord> members = makeSampleProject();
  test::writeBytes(dir / "received", encodeSerialBlock(members).value());
  test::writeBytes(dir / "image", encodeUsbImage(members).value());
  ASSERT_TRUE(writeAnalysisFile(dir / "analysis.bak", members).ok());
  ASSERT_TRUE(writeRawProject(dir.path(), "INDEX.IDX", members).ok());
  for (const char* name : {"received", "image", "analysis.bak", "INDEX.IDX"}) {
    auto loaded = loadProject(dir / name);
    ASSERT_TRUE(loaded.ok()) << name << ": " << loaded.message();
    EXPECT_EQ(loaded.value().project.memberCount(), 12) << name;
  }
  EXPECT_EQ(loadProject(dir / "received").value().kind, ProjectFileKind::ReceivedBytes);
  EXPECT_EQ(loadProject(dir / "INDEX.IDX").value().kind, ProjectFileKind::RawIndex);
  // A text file is none of them: refused, never read as empty members.
  test::writeBytes(dir / "passwd",
                   "root:x:0:0:root:/root:/bin/bash\ndaemon:x:1:1::/usr/sbin:/usr/sbin/nologin\n");
  auto refused = loadProject(dir / "passwd");
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find("不是楼板仪数据文件"), std::string::npos);
  EXPECT_NE(refused.message().find("passwd"), std::string::npos);
  // Neither is it when named like one of them: the refusal says what did not fit.
  std::filesystem::copy_file(dir / "passwd", dir / "x.KRO");
  std::filesystem::copy_file(dir / "passwd", dir / "x.DEX");
  const std::pair<const char*, const char*> named[] = {{"x.KRO", "作为分析结果文件"},
                                                       {"x.DEX", "一个也没有"}};
  for (const auto& [name, why] : named) {
    auto text = loadProject(dir / name);
    ASSERT_FALSE(text.ok()) << name;
    EXPECT_NE(text.message().find("不是楼板仪数据文件"), std::string::npos) << text.message();
    EXPECT_NE(text.message().find(why), std::string::npos) << text.message();
  }
  // Binary noise, and members followed by foreign bytes under another name, are refused too.
  std::string noise(4096, '\0');
  std::uint32_t x = 12345;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
  test::writeBytes(dir / "noise.KRO", noise);
  EXPECT_FALSE(loadProject(dir / "noise.KRO").ok());
  EXPECT_FALSE(recoverAnalysisFile(dir / "noise.KRO").has_value());
  test::writeBytes(dir / "tail.bak", encodeMembers(members, MemberLayout::Analysis) + "tail");
  EXPECT_FALSE(loadProject(dir / "tail.bak").ok());
  // An index file whose member data files are all missing is no project to open.
  std::filesystem::create_directories(dir / "lonely");
  std::filesystem::copy_file(dir / "INDEX.IDX", dir / "lonely" / "INDEX.DEX");
  auto lonely = loadProject(dir / "lonely" / "INDEX.DEX");
  ASSERT_FALSE(lonely.ok());
  EXPECT_NE(lonely.message().find("一个也没有"), std::string::npos) << lonely.message();
}

TEST(OpeningByContent, TheIntactMembersOfADamagedFileCanBeRecovered) {
  test::TempDir dir;
  const std::vector<MemberRecord> members = makeSampleProject();
  const std::string bytes = encodeMembers(members, MemberLayout::Analysis);
  // Cut inside the fifth member: four are whole.
  const std::size_t fifth = 4 + [&] {
    std::size_t size = 0;
    for (int i = 0; i < 4; ++i)
      size += memberBlockFixedSize(MemberLayout::Analysis) + 12 * members[i].readings().size();
    return size;
  }();
  test::writeBytes(dir / "cut.KRO", bytes.substr(0, fifth + 30));
  EXPECT_FALSE(loadProject(dir / "cut.KRO").ok());
  auto recovered = recoverAnalysisFile(dir / "cut.KRO");
  ASSERT_TRUE(recovered.has_value());
  EXPECT_EQ(recovered->damagedMember, 5);
  EXPECT_EQ(recovered->project.members, std::vector<MemberRecord>(members.begin(), members.begin() + 4));
  // A whole file needs no recovery; a file without one whole member has nothing to recover.
  test::writeBytes(dir / "whole.KRO", bytes);
  EXPECT_FALSE(recoverAnalysisFile(dir / "whole.KRO").has_value());
  test::writeBytes(dir / "none.KRO", bytes.substr(0, 40));
  EXPECT_FALSE(recoverAnalysisFile(dir / "none.KRO").has_value());
  // A sound first member makes an analysis file whatever follows: a count far beyond what the
  // file holds is damage, not a foreign file.
  std::string huge = bytes.substr(0, fifth);
  huge[3] = 0x40;
  test::writeBytes(dir / "huge.KRO", huge);
  auto damaged = loadProject(dir / "huge.KRO");
  ASSERT_FALSE(damaged.ok());
  EXPECT_EQ(damaged.message().find("不是楼板仪数据文件"), std::string::npos) << damaged.message();
  ASSERT_TRUE(recoverAnalysisFile(dir / "huge.KRO").has_value());
  EXPECT_EQ(recoverAnalysisFile(dir / "huge.KRO")->damagedMember, 5);
}

}  // namespace
}  // namespace kro
