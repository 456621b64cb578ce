// The settings files: the forgiving lookup rules, GBK on disk, CR LF, and safe saves.
#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <memory>

#include "model/gbk_text.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

class SettingsFileTest : public ::testing::Test {
 protected:
  // Writes UTF-8 lines as a GBK file with the given line end.
  void writeFile(const std::string& name, const std::vector<std::string>& lines,
                 const std::string& end = "\r\n") {
    std::string bytes;
    for (const std::string& line : lines) bytes += *utf8ToGbk(line) + end;
    test::writeBytes(dir / (name + ".ini"), bytes);
  }

  std::unique_ptr<SettingsFile> open(const std::string& name) {
    auto file = std::make_unique<SettingsFile>(SettingsLocation::inFolder(dir.path()), name);
    EXPECT_TRUE(file->openForRead());
    return file;
  }

  std::string read(const std::string& name, const std::string& key) {
    std::string value = "(unchanged)";
    open(name)->readString("Data", key, value);
    return value;
  }

  test::TempDir dir;
};

TEST_F(SettingsFileTest, SaveWritesGbkWithCrLf) {
  SettingsFile file(SettingsLocation::inFolder(dir.path()), "printini");
  ASSERT_TRUE(file.openForWrite());
  EXPECT_TRUE(file.writeSection("Data"));
  EXPECT_TRUE(file.writeString("打印页眉", "楼板厚度检测"));
  EXPECT_TRUE(file.writeInt("起始页码", -12));
  ASSERT_TRUE(file.close());
  EXPECT_EQ(test::readBytes(dir / "printini.ini"), "[Data]\r\n" + *utf8ToGbk("打印页眉=楼板厚度检测") +
                                                       "\r\n" + *utf8ToGbk("起始页码=-12") + "\r\n");

  int number = 0;
  EXPECT_TRUE(open("printini")->readInt("Data", "起始页码", number));
  EXPECT_EQ(number, -12);
}

TEST_F(SettingsFileTest, LfLineEndsAreReadToo) {
  writeFile("a", {"[Data]", "工程名称=P1"}, "\n");
  EXPECT_EQ(read("a", "工程名称"), "P1");
}

TEST_F(SettingsFileTest, KeysMatchBySubstringAndTheFirstLineWins) {
  writeFile("a", {"[Data]", "检测单位名称=A", "单位=B"});
  EXPECT_EQ(read("a", "单位"), "A");
  EXPECT_EQ(read("a", "检测单位名称"), "A");
  EXPECT_EQ(read("a", "nope"), "(unchanged)");
}

TEST_F(SettingsFileTest, ValuesSplitAtTheFirstEqualsAndLoseOnlySpaces) {
  writeFile("a", {"[Data]", "公式=a=b", "空格=  x y  ", "制表=\tx\t", "无值="});
  EXPECT_EQ(read("a", "公式"), "a=b");
  EXPECT_EQ(read("a", "空格"), "x y");
  EXPECT_EQ(read("a", "制表"), "\tx\t");
  EXPECT_EQ(read("a", "无值"), "");
}

TEST_F(SettingsFileTest, SectionLinesAndLinesWithoutNameAreSkipped) {
  writeFile("a", {"[Data]", "[键=1]", "=孤值", "没有等号", "键=2"});
  EXPECT_EQ(read("a", "键"), "2");
}

TEST_F(SettingsFileTest, ValuesHoldingABracketRoundTrip) {
  for (const std::string value : {"1#楼[A区]", "[A]", "a]b[", "]"}) {
    SettingsFile file(SettingsLocation::inFolder(dir.path()), "a");
    ASSERT_TRUE(file.openForWrite());
    file.writeSection("Data");
    file.writeString("工程名称", value);
    ASSERT_TRUE(file.close());
    EXPECT_EQ(read("a", "工程名称"), value);
  }
}

TEST_F(SettingsFileTest, ASecondByteEqualToBracketIsNotABracket) {
  // 0x815B is a GBK character whose second byte is "[".
  const std::string key = "\x81\x5B";
  test::writeBytes(dir / "a.ini", "[Data]\r\n" + key + "=v\r\n");
  EXPECT_EQ(read("a", gbkToUtf8(key)), "v");
}

TEST_F(SettingsFileTest, SectionsAreFoundBySubstringAndScanningRunsToTheEnd) {
  writeFile("a", {"header", "[MyData]", "x=1", "[Other]", "y=2"});
  EXPECT_EQ(read("a", "y"), "2");  // a later section's line satisfies the lookup
  auto file = open("a");
  EXPECT_TRUE(file->findSection("Data"));
  EXPECT_FALSE(file->findSection("Missing"));
  std::string v;
  EXPECT_FALSE(file->readString("Missing", "x", v));
}

TEST_F(SettingsFileTest, IntegersConvertLikeAtoi) {
  EXPECT_EQ(atoiValue("12abc"), 12);
  EXPECT_EQ(atoiValue("  -7"), -7);
  EXPECT_EQ(atoiValue("+3"), 3);
  EXPECT_EQ(atoiValue("abc"), 0);
  EXPECT_EQ(atoiValue(""), 0);
  EXPECT_EQ(atoiValue("99999999999"), INT_MAX);
  EXPECT_EQ(atoiValue("-99999999999"), INT_MIN);
}

TEST_F(SettingsFileTest, OperationsOnAClosedFileFail) {
  SettingsFile file(SettingsLocation::inFolder(dir.path()), "x");
  std::string v;
  int i = 0;
  EXPECT_FALSE(file.writeSection("Data"));
  EXPECT_FALSE(file.writeString("a", "b"));
  EXPECT_FALSE(file.readString("Data", "a", v));
  EXPECT_FALSE(file.readInt("Data", "a", i));
  EXPECT_FALSE(file.openForRead());
}

TEST_F(SettingsFileTest, SavingRewritesTheWholeFile) {
  writeFile("a", {"[Data]", "old=1", "keep=2"});
  SettingsFile file(SettingsLocation::inFolder(dir.path()), "a");
  ASSERT_TRUE(file.openForWrite());
  file.writeSection("Data");
  file.writeString("keep", "3");
  ASSERT_TRUE(file.close());
  EXPECT_EQ(read("a", "old"), "(unchanged)");
  EXPECT_EQ(read("a", "keep"), "3");
}

TEST_F(SettingsFileTest, AFailedSaveKeepsTheOldFile) {
  writeFile("a", {"[Data]", "k=old"});
  SettingsFile file(SettingsLocation::inFolder(dir.path()), "a");
  ASSERT_TRUE(file.openForWrite());
  file.writeSection("Data");
  EXPECT_FALSE(file.writeString("k", "😀"));  // GBK cannot hold it
  file.writeString("k2", "fine");
  EXPECT_EQ(file.close().message(), "字符“😀”无法以 GBK 编码保存。");  // the first failure, said once
  EXPECT_EQ(read("a", "k"), "old");
  EXPECT_EQ(test::entryCount(dir.path()), 1);

  SettingsFile nowhere;
  nowhere.setDirectory(dir / "a.ini");  // a file, not a folder
  nowhere.setName("b");
  EXPECT_FALSE(nowhere.openForWrite());
}

TEST_F(SettingsFileTest, LineBreaksInValuesCannotSplitTheLine) {
  SettingsFile file(SettingsLocation::inFolder(dir.path()), "a");
  ASSERT_TRUE(file.openForWrite());
  file.writeSection("Data");
  file.writeString("k", "one\r\nevil=1");
  ASSERT_TRUE(file.close());
  EXPECT_EQ(read("a", "evil"), "(unchanged)");
  EXPECT_EQ(read("a", "k"), "one  evil=1");
}

TEST_F(SettingsFileTest, FormatChoiceFileIsOneFileInAnyCase) {
  SettingsFile a(SettingsLocation::inFolder(dir.path()), "Reportini");
  SettingsFile b(SettingsLocation::inFolder(dir.path()), "reportini");
  EXPECT_EQ(a.fileName(), "reportini.ini");
  EXPECT_EQ(b.fileName(), "reportini.ini");
  SettingsFile c(SettingsLocation::inFolder(dir.path()), "reportGansuini");
  EXPECT_EQ(c.fileName(), "reportGansuini.ini");
}

}  // namespace
}  // namespace kro
