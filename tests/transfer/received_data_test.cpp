// Kept received bytes: names, clashes, never replaced; and read back for comparison.
#include "transfer/received_data.h"

#include <gtest/gtest.h>

#include "model/analysis_file.h"
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
  EXPECT_EQ(first.value(), dir / "原始数据" / "20261208-090507.serial");
  auto second = keepReceivedBytes(dir / "b.KRO", TransferLayout::Serial, "two", t);
  auto third = keepReceivedBytes(dir / "c.KRO", TransferLayout::Serial, std::string("\0three", 6), t);
  ASSERT_TRUE(second.ok() && third.ok());
  EXPECT_EQ(second.value().filename(), "20261208-090507-2.serial");
  EXPECT_EQ(third.value().filename(), "20261208-090507-3.serial");
  EXPECT_EQ(test::readBytes(first.value()), "one");
  EXPECT_EQ(test::readBytes(third.value()), std::string("\0three", 6));
  auto usb = keepReceivedBytes(dir / "a.KRO", TransferLayout::Usb, "u", t);
  EXPECT_EQ(usb.value().filename(), "20261208-090507.usb");
  // Only the kept files are left: no temporary names.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "原始数据")) {
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
  auto loaded = loadProjectOrReceived(dir / "r.serial");
  ASSERT_TRUE(loaded.ok()) << loaded.message();
  EXPECT_EQ(loaded.value().project.memberCount(), 12);
  EXPECT_EQ(loaded.value().project.memberAt(0)->readings(), members[0].readings());

  test::writeBytes(dir / "cut.serial", block.value().substr(0, 40));
  auto cut = loadProjectOrReceived(dir / "cut.serial");
  ASSERT_FALSE(cut.ok());
  EXPECT_NE(cut.message().find("cut.serial"), std::string::npos);

  // Anything else is a file the program opens.
  ASSERT_TRUE(writeAnalysisFile(dir / "p.KRO", members).ok());
  EXPECT_EQ(loadProjectOrReceived(dir / "p.KRO").value().project.members, members);
}

}  // namespace
}  // namespace kro
