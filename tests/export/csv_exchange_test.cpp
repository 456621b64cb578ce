// CSV written and read back, and hand-written files: quoting, byte-order mark, GBK, and errors
// that name their line and column.
#include "export/csv_exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "model/gbk_text.h"
#include "model/sample_project.h"

namespace kro {
namespace {

using namespace std::string_literals;

std::string gbk(const std::string& utf8) { return *utf8ToGbk(utf8); }

const std::string kHeader = std::string(kCsvHeader) + "\r\n";

std::string errorOf(const std::string& csv) {
  auto read = membersFromCsv(csv);
  return read.ok() ? "(read)" : read.message();
}

TEST(Csv, WrittenAsSpreadsheetsReadIt) {
  MemberData d;
  d.code = "A1";
  d.name = gbk("梁,\"北\"侧");
  d.testDate = gbk("2008年05月12日");
  d.designThickness = 120;
  d.minusDeviation = -5;
  d.plusDeviation = 8;
  d.readings = {{7, 114, 9, ReadingOrigin::Transfer}, {0, 128, 0, ReadingOrigin::Typed}};
  MemberData empty;
  empty.code = "B2";
  empty.testDate = "2026--12--07";
  Project project;
  project.members = {MemberRecord(d), MemberRecord(empty)};
  EXPECT_EQ(projectToCsv(project), "\xEF\xBB\xBF" + kHeader +
                                       "A1,\"梁,\"\"北\"\"侧\",2008年05月12日,120,-5,8,1,114,-6,×,传输\r\n"
                                       "A1,\"梁,\"\"北\"\"侧\",2008年05月12日,120,-5,8,2,128,8,√,手工\r\n"
                                       "B2,,2026--12--07,0,-5,8,,,,,\r\n");
}

TEST(Csv, ColumnsAreFoundByTheirHeadingsAndOthersAreNamedOnce) {
  // The layout before 来源 was added, as files of that time have it.
  const std::string earlier =
      "测区编号,构件名称,测试日期,设计厚度,允许负偏差,允许正偏差,测点号,厚度值,偏差,是否合格\r\n"
      "A,,,120,-5,8,1,114,-6,×\r\n";
  std::vector<std::string> notes;
  auto read = membersFromCsv(earlier, &notes);
  ASSERT_TRUE(read.ok()) << read.message();
  EXPECT_EQ(read.value()[0].readingAt(0), 114);
  EXPECT_EQ(read.value()[0].readings()[0].origin, ReadingOrigin::Imported);
  EXPECT_TRUE(notes.empty());
  // Columns in another order, one of someone else's: its values are left out, and said so once.
  const std::string moved =
      "厚度值,测点号,备注,测区编号,构件名称,测试日期,设计厚度,允许负偏差,允许正偏差,来源\r\n"
      "114,1,复测,A,,,120,-5,8,传输\r\n"
      "116,2,,A,,,120,-5,8,传输\r\n";
  read = membersFromCsv(moved, &notes);
  ASSERT_TRUE(read.ok()) << read.message();
  ASSERT_EQ(read.value()[0].readingCount(), 2);
  EXPECT_EQ(read.value()[0].readingAt(1), 116);
  EXPECT_EQ(notes, (std::vector<std::string>{"不认识的列没有读入：第 3 列“备注”。"}));
  // A column the members need, missing: named.
  EXPECT_NE(
      errorOf("测区编号,构件名称,测试日期,设计厚度,允许负偏差,测点号,厚度值\r\n").find("没有“允许正偏差”列"),
      std::string::npos);
  // An error names the file's own column.
  EXPECT_NE(
      errorOf(
          "厚度值,测点号,测区编号,构件名称,测试日期,设计厚度,允许负偏差,允许正偏差\r\nx,1,A,,,120,-5,8\r\n")
          .find("第 2 行第 1 列（厚度值）"),
      std::string::npos);
}

TEST(Csv, RoundTripKeepsEveryCarriedField) {
  Project project;
  project.members = makeSampleProject();
  auto back = membersFromCsv(projectToCsv(project));
  ASSERT_TRUE(back.ok()) << back.message();
  ASSERT_EQ(back.value().size(), project.members.size());
  for (std::size_t i = 0; i < back.value().size(); ++i) {
    const MemberRecord& a = project.members[i];
    const MemberRecord& b = back.value()[i];
    EXPECT_EQ(b.code(), a.code());
    EXPECT_EQ(b.name(), a.name());
    EXPECT_EQ(b.testDate(), a.testDate());
    EXPECT_EQ(b.designThickness(), a.designThickness());
    EXPECT_EQ(b.minusDeviation(), a.minusDeviation());
    EXPECT_EQ(b.plusDeviation(), a.plusDeviation());
    ASSERT_EQ(b.readingCount(), a.readingCount());
    for (int j = 0; j < a.readingCount(); ++j) {
      EXPECT_EQ(b.readings()[static_cast<std::size_t>(j)], (Reading{0, a.readingAt(j), 0}));
    }
    EXPECT_EQ(b.selected(), 1);
  }
}

TEST(Csv, HandWrittenFilesWithAndWithoutTheMarkAndInGbk) {
  // No byte-order mark, LF line ends, quoted line break, a blank line, the computed columns
  // left out, rows of two members interleaved, a spreadsheet's 120.0.
  const std::string csv = std::string(kCsvHeader.substr(0, kCsvHeader.rfind(",偏差"))) +
                          "\n"
                          "W1,\"一层\n北\",2026年 3月 7日,120.0,-5,+8,1,119\n"
                          "\n"
                          "W2,,,100,-3,5,1,90\n"
                          "W1,\"一层\n北\",2026年 3月 7日,120,-5,8,2,131\n"
                          "W3,,,150,-5,8,,\n"
                          ",,,,,,,,,\n";
  auto read = membersFromCsv(csv);
  ASSERT_TRUE(read.ok()) << read.message();
  ASSERT_EQ(read.value().size(), 3u);
  const MemberRecord& w1 = read.value()[0];
  EXPECT_EQ(gbkToUtf8(w1.name()), "一层\n北");
  EXPECT_EQ(gbkToUtf8(w1.testDate()), "2026年 3月 7日");
  EXPECT_EQ(w1.readingCount(), 2);
  EXPECT_EQ(w1.readingAt(1), 131);
  EXPECT_EQ(w1.plusDeviation(), 8);
  // Stored statistics agree with the readings.
  EXPECT_EQ(w1.passCount(), 1);
  EXPECT_EQ(w1.maxThickness(), 131);
  EXPECT_EQ(read.value()[1].code(), "W2");
  EXPECT_EQ(read.value()[2].readingCount(), 0);

  // The same in GBK, as a spreadsheet program may save it, and with the mark.
  auto fromGbk = membersFromCsv(gbk(csv));
  ASSERT_TRUE(fromGbk.ok()) << fromGbk.message();
  EXPECT_EQ(fromGbk.value(), read.value());
  auto withMark = membersFromCsv("\xEF\xBB\xBF" + csv);
  ASSERT_TRUE(withMark.ok());
  EXPECT_EQ(withMark.value(), read.value());

  // Members differing only in name or date are different members.
  auto three = membersFromCsv(kHeader + "A,x,,1,0,0,1,1\r\nA,y,,1,0,0,1,1\r\nA,x,d,1,0,0,1,1\r\n");
  ASSERT_TRUE(three.ok());
  EXPECT_EQ(three.value().size(), 3u);
}

// Rows sorted in a spreadsheet (by thickness, say) still put each reading on its point.
TEST(Csv, ReadingsGoToTheirMeasuringPoints) {
  Project project;
  project.members = makeSampleProject();
  const std::string csv = projectToCsv(project);
  std::vector<std::string> rows;
  for (std::size_t at = csv.find("\r\n") + 2, next; at < csv.size(); at = next + 2) {
    next = csv.find("\r\n", at);
    rows.push_back(csv.substr(at, next - at));
  }
  auto thickness = [](const std::string& row) {
    return std::stoi(row.substr(row.rfind(',', row.rfind(',', row.rfind(',') - 1) - 1) + 1));
  };
  std::stable_sort(rows.begin(), rows.end(), [&](auto& a, auto& b) { return thickness(a) < thickness(b); });
  std::string sorted = kHeader;
  for (const std::string& row : rows) sorted += row + "\r\n";
  auto back = membersFromCsv(sorted);
  ASSERT_TRUE(back.ok()) << back.message();
  std::map<std::string, const MemberRecord*> byCode;
  for (const MemberRecord& m : back.value()) byCode[m.code()] = &m;
  for (const MemberRecord& m : project.members) {
    ASSERT_EQ(byCode.at(m.code())->readingCount(), m.readingCount());
    for (int j = 0; j < m.readingCount(); ++j) EXPECT_EQ(byCode.at(m.code())->readingAt(j), m.readingAt(j));
  }
  // Gaps and repeats are named; no numbers at all is row order.
  EXPECT_EQ(errorOf(kHeader + "A,,,120,-5,8,1,120\r\nA,,,120,-5,8,3,121\r\n"),
            "第 3 行：测点号 3 超出该构件的测点数 2；同一构件的测点号应为 1 到 2，不缺不重。");
  EXPECT_EQ(errorOf(kHeader + "A,,,120,-5,8,2,120\r\nA,,,120,-5,8,2,121\r\n"),
            "第 3 行：测点号 2 与第 2 行重复；同一构件的测点号应为 1 到 2，不缺不重。");
  auto rowOrder = membersFromCsv(kHeader + "A,,,120,-5,8,,125\r\nA,,,120,-5,8,,118\r\n");
  ASSERT_TRUE(rowOrder.ok());
  EXPECT_EQ(rowOrder.value()[0].readingAt(1), 118);
}

// Texts a spreadsheet would run as formulas are written as text and come back unchanged.
TEST(Csv, FormulaLikeTextsAreWrittenAsText) {
  Project project;
  for (const char* text : {"=1+1", "+A", "-B", "@C", "'D", "\tE", "\rF", "G=H"}) {
    MemberData d;
    d.code = "A";
    d.name = text;
    d.designThickness = 120;
    project.members.emplace_back(d);
  }
  const std::string csv = projectToCsv(project);
  EXPECT_NE(csv.find("\r\nA,'=1+1,"), std::string::npos);
  EXPECT_NE(csv.find("\r\nA,''D,"), std::string::npos);
  EXPECT_NE(csv.find("\r\nA,G=H,"), std::string::npos);
  EXPECT_NE(csv.find(",120,-5,8,,,,"), std::string::npos);  // numbers never prefixed
  auto back = membersFromCsv(csv);
  ASSERT_TRUE(back.ok()) << back.message();
  for (std::size_t i = 0; i < project.members.size(); ++i)
    EXPECT_EQ(back.value()[i].name(), project.members[i].name());
}

TEST(Csv, ErrorsNameLineAndColumnAndNothingIsRead) {
  EXPECT_EQ(errorOf(""), "文件是空的，没有表头行。");
  EXPECT_NE(errorOf("code,name\r\n").find("第 1 行：没有“测区编号”列"), std::string::npos);
  EXPECT_EQ(errorOf(kHeader + "A,,,12x,-5,8,1,120\r\n"), "第 2 行第 4 列（设计厚度）：“12x”不是整数。");
  EXPECT_EQ(errorOf(kHeader + "A,,,120,,8,1,120\r\n"), "第 2 行第 5 列（允许负偏差）：不能为空。");
  EXPECT_EQ(errorOf(kHeader + "A,,,120,-5,8,1,120\r\nA,,,120,-5,8,,121\r\n"),
            "第 3 行第 7 列（测点号）：同一构件的测点号要么都填写，要么都不填写（第 2 行填写了）。");
  EXPECT_EQ(errorOf(kHeader + "A,x\0y,,120,-5,8\r\n"s), "第 2 行第 2 列（构件名称）：文字中有 NUL 字符。");
  EXPECT_EQ(errorOf(kHeader + "A,,,120,-5,8,0,120\r\n"), "第 2 行第 7 列（测点号）：测点号从 1 起。");
  EXPECT_EQ(errorOf(kHeader + "A,,,120,-5,8,1,\r\n"), "第 2 行第 8 列（厚度值）：不能为空。");
  EXPECT_EQ(errorOf(kHeader + "A,,,120,-5,8,1,99999999999\r\n"),
            "第 2 行第 8 列（厚度值）：“99999999999”不是整数。");
  EXPECT_EQ(errorOf(kHeader + "A,,,120,-5,8,1,120,0,√,x,y\r\n"),
            "第 2 行第 12 列：多出的列（表头只有 11 列）。");
  // A quoted line break moves the line count on.
  EXPECT_EQ(errorOf(kHeader + "A,\"a\r\nb\",,120,-5,8,1,120\r\nA,\"a\r\nb\",,121,-5,8,2,120\r\n"),
            "第 4 行第 4 列（设计厚度）：与同一构件第 2 行的值 120 不同。");
  EXPECT_EQ(errorOf(kHeader + "A,\"open,,120\r\n"), "第 2 行第 2 列：引号没有结束。");
  EXPECT_EQ(errorOf(kHeader + "A,\"x\"y,,120,-5,8\r\n"), "第 2 行第 2 列：结束引号后应为逗号或行尾。");
  EXPECT_EQ(errorOf(kHeader + "0123456789,,,120,-5,8\r\n"),
            "第 2 行第 1 列（测区编号）：“0123456789”超过 9 字节。");
  EXPECT_NE(errorOf(kHeader + "A,\xF0\x9F\x98\x80,,120,-5,8\r\n")
                .find("第 2 行第 2 列（构件名称）：字符“\xF0\x9F\x98\x80”"),
            std::string::npos);
}

}  // namespace
}  // namespace kro
