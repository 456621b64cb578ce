// The .docx line model and edits, and every report format written with the real writer and
// read back line by line and cell by cell.
#include "office/docx_document.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <cstdlib>

#include "export/data_table.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/sample_project.h"
#include "model/statistics.h"
#include "office/docx_word_session.h"
#include "office/package.h"
#include "office/xlsx_excel_session.h"
#include "report/project_parameters.h"
#include "report/report_generator.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

bool finished(DocxWordSession& word) {
  std::size_t written = 0;
  return word.finish(written).ok();
}

std::filesystem::path binDir() {
  const char* dir = std::getenv("KRO_BIN_DIR");
  return dir != nullptr ? dir : ".";
}

std::unique_ptr<DocxDocument> load(const std::filesystem::path& path) {
  auto doc = DocxDocument::load(path);
  EXPECT_TRUE(doc.ok()) << (doc.ok() ? "" : doc.message());
  return doc.ok() ? std::move(doc.value()) : nullptr;
}

TEST(DocxDocument, LinesOfAReportTemplate) {
  auto doc = load(binDir() / pathFromUtf8("检测报告1.docx"));
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->lineText(3), "编号：");
  EXPECT_EQ(doc->lineLength(3), 3);
  EXPECT_EQ(doc->lineText(10), "工程名称：");  // the label is not part of the line's characters
  EXPECT_EQ(doc->lineLength(10), 0);
  EXPECT_TRUE(doc->isRowLine(23));
  EXPECT_EQ(doc->lineLength(23), 2);
  EXPECT_EQ(doc->lineText(23), "工程名称\t");
  EXPECT_EQ(doc->tableCount(), 1);
  EXPECT_EQ(doc->rowCount(1), 5);
  EXPECT_EQ(doc->lineText(44), "五、检测仪器：");
}

// Sets the uncompressed size of every entry, in its local header and in the central directory.
std::string withClaimedSizes(std::string zip, std::uint32_t size) {
  auto put32 = [&zip](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) zip[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  for (std::size_t at = 0; (at = zip.find("PK\x03\x04", at)) != std::string::npos; at += 4)
    put32(at + 22, size);
  for (std::size_t at = 0; (at = zip.find("PK\x01\x02", at)) != std::string::npos; at += 4)
    put32(at + 24, size);
  return zip;
}

TEST(DocxDocument, DamagedTemplatesGiveOneMessageAndNoHugeAllocation) {
  test::TempDir dir;
  const std::string good = test::readBytes(binDir() / pathFromUtf8("检测报告1.docx"));
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"4gb.docx", withClaimedSizes(good, 0xFFFFFFFFu)},
      {"short.docx", withClaimedSizes(good, 100)},
      {"cut.docx", good.substr(0, good.size() / 2)},
      {"empty.docx", ""},
      {"text.docx", "not a zip"},
  };
  for (const Case& c : cases) {
    test::writeBytes(dir / c.name, c.bytes);
    auto loaded = DocxDocument::load(dir / c.name);
    ASSERT_FALSE(loaded.ok()) << c.name;
    EXPECT_NE(loaded.message().find(c.name), std::string::npos) << loaded.message();
    EXPECT_EQ(loaded.message().find('\n'), std::string::npos);
  }
#ifndef _WIN32
  ASSERT_EQ(::mkfifo((dir / "fifo.docx").c_str(), 0600), 0);
  EXPECT_FALSE(DocxDocument::load(dir / "fifo.docx").ok());
#endif
}

// A template whose text holds a reference to a control character would make every report
// written from it one Word refuses: it is refused with the part named.
TEST(DocxDocument, ATemplateWithACharacterReferenceXmlForbidsIsRefused) {
  test::TempDir dir;
  const std::filesystem::path copy = dir / "ref.docx";
  std::filesystem::copy_file(binDir() / pathFromUtf8("检测报告1.docx"), copy);
  auto parts = readPackage(test::readBytes(copy), copy);
  ASSERT_TRUE(parts.ok());
  std::string body;
  for (const auto& [name, data] : parts.value()) {
    if (name == "word/document.xml") body = data;
  }
  body.insert(body.find("<w:t>") + 5, "&#1;");
  zip_t* archive = zip_open(displayPath(copy).c_str(), 0, nullptr);
  ASSERT_NE(archive, nullptr);
  zip_source_t* source = zip_source_buffer(archive, body.data(), body.size(), 0);
  ASSERT_GE(zip_file_add(archive, "word/document.xml", source, ZIP_FL_OVERWRITE), 0);
  ASSERT_EQ(zip_close(archive), 0);
  auto loaded = DocxDocument::load(copy);
  ASSERT_FALSE(loaded.ok());
  EXPECT_NE(loaded.message().find("word/document.xml"), std::string::npos) << loaded.message();
  EXPECT_NE(loaded.message().find("&#1;"), std::string::npos) << loaded.message();
  EXPECT_TRUE(xmlProblem("<a>&#x9;&#65;&#x10FFFF;</a>").empty());
  EXPECT_FALSE(xmlProblem("<a>&#xFFFE;</a>").empty());
}

TEST(DocxDocument, ControlCharactersBecomeBreaksAndTabsOrAreDropped) {
  test::TempDir dir;
  auto doc = load(binDir() / pathFromUtf8("检测报告1.docx"));
  ASSERT_NE(doc, nullptr);
  const int lines = doc->lineCount();
  // A manual line break (U+000B), a form feed, a tab, other control characters, U+FFFF.
  doc->insert({30, 0},
              "a\vb\x01"
              "c\td\fe\x1F"
              "\xEF\xBF\xBF"
              "f");
  EXPECT_EQ(doc->lineCount(), lines + 2);
  EXPECT_EQ(doc->lineText(30), "a");
  EXPECT_EQ(doc->lineText(31), "bc\td");
  EXPECT_EQ(doc->lineText(32), "ef");
  // The same in a table cell.
  const int row = 23;
  ASSERT_TRUE(doc->isRowLine(row));
  doc->insert({row, 1},
              "x\x02"
              "y\vz");
  ASSERT_TRUE(doc->save(dir / "out.docx").ok());
  auto back = load(dir / "out.docx");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->lineText(31), "bc\td");
  EXPECT_EQ(back->lineText(row), "工程名称\txyz");  // the cell lost its control character
}

TEST(DocxDocument, InsertingSplitsRunsAndBreaksLines) {
  test::TempDir dir;
  auto doc = load(binDir() / pathFromUtf8("检测报告1.docx"));
  ASSERT_NE(doc, nullptr);
  // Inside a text: "编号：" becomes "编X号：".
  DocxDocument::Position after = doc->insert({3, 1}, "X");
  EXPECT_EQ(doc->lineText(3), "编X号：");
  EXPECT_EQ(after, (DocxDocument::Position{3, 2}));
  // A line break makes two lines of one paragraph; the position follows the text.
  const int lines = doc->lineCount();
  after = doc->insert({30, 0}, "ab\ncd");
  EXPECT_EQ(doc->lineCount(), lines + 1);
  EXPECT_EQ(doc->lineText(30), "ab");
  EXPECT_EQ(doc->lineText(31), "cd");
  EXPECT_EQ(after, (DocxDocument::Position{31, 2}));
  // A paragraph break splits the paragraph at the insertion point.
  after = doc->insert({45, 2}, "1\r\n2");  // the line of "五、检测仪器：" after the break above
  EXPECT_EQ(doc->lineText(45), "五、1");
  EXPECT_EQ(doc->lineText(46), "2检测仪器：");
  EXPECT_EQ(after, (DocxDocument::Position{46, 1}));
  // Past the end of a line: at its end.
  doc->insert({3, 99}, "Z");
  EXPECT_EQ(doc->lineText(3), "编X号：Z");

  ASSERT_TRUE(doc->save(dir / "out.docx").ok());
  auto back = load(dir / "out.docx");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->lineText(31), "cd");
  EXPECT_EQ(test::entryCount(dir.path()), 1);
}

TEST(DocxDocument, CellsRowsAndTables) {
  auto doc = load(binDir() / pathFromUtf8("检测报告4.docx"));
  ASSERT_NE(doc, nullptr);
  const int rows = doc->rowCount(2);
  ASSERT_TRUE(doc->setCellText(2, rows + 3, 9, "95.0").ok());  // rows are added
  EXPECT_EQ(doc->rowCount(2), rows + 3);
  EXPECT_EQ(doc->cellText(2, rows + 3, 9), "95.0");
  EXPECT_EQ(doc->cellText(2, rows + 2, 9), "");
  EXPECT_FALSE(doc->setCellText(2, 1, 12, "x").ok());
  EXPECT_FALSE(doc->setCellText(3, 1, 1, "x").ok());
  ASSERT_TRUE(doc->setCellText(1, 1, 2, "a\r\nb\nc").ok());
  EXPECT_EQ(doc->cellText(1, 1, 2), "a\nb\nc");

  auto table = load(binDir() / pathFromUtf8("表格.docx"));
  ASSERT_NE(table, nullptr);
  DocxDocument::Position first = table->addTable({0, 0}, 3, 10);
  EXPECT_TRUE(table->isRowLine(first.line));
  EXPECT_EQ(table->lineLength(first.line), 10);
  ASSERT_TRUE(table->mergeCells(first.line, 0, 9).ok());
  EXPECT_EQ(table->lineLength(first.line), 1);
  EXPECT_EQ(table->cellCount(1, 1), 1);
  EXPECT_EQ(table->cellCount(1, 2), 10);
  EXPECT_EQ(table->addTable({0, 0}, 0, 10), (DocxDocument::Position{0, 0}));
}

TEST(DocxDocument, FontsGoOnTheReplacedText) {
  DocxWordSession word;
  ASSERT_TRUE(word.addDocument(binDir() / pathFromUtf8("检测报告1.docx")).ok());
  word.moveDown(10);
  word.replaceSelection("值");
  WordFontChange font;
  font.bold = false;
  font.underline = true;
  font.underlineColor = kAutomaticColor;
  font.size = 14.0f;
  font.name = "宋体";
  word.applyFont(font);
  EXPECT_EQ(word.position(), (DocxDocument::Position{10, 1}));
  test::TempDir dir;
  ASSERT_TRUE(word.saveAs(dir / "f.docx").ok());
  ASSERT_TRUE(finished(word));
  auto doc = load(dir / "f.docx");
  EXPECT_EQ(doc->lineText(10), "工程名称：值");
}

TEST(DocxWordSession, MovesKeepTheColumnAndWrapRight) {
  DocxWordSession word;
  ASSERT_TRUE(word.addDocument(binDir() / pathFromUtf8("检测报告2.docx")).ok());
  word.moveDown(6);
  word.moveRight(26, false);
  EXPECT_EQ(word.position(), (DocxDocument::Position{6, 26}));
  word.moveDown(7);  // an empty line clamps the column
  EXPECT_EQ(word.position(), (DocxDocument::Position{13, 0}));
  word.moveDown(25);
  word.moveRight(4, false);  // four empty lines: one step each
  EXPECT_EQ(word.position(), (DocxDocument::Position{42, 0}));
  word.moveDown(1000);
  EXPECT_EQ(word.position().line, word.activeDocument()->lineCount() - 1);
  word.moveRight(1000, false);
  EXPECT_EQ(word.position().column, word.activeDocument()->lineLength(word.position().line));
}

// Parameters with the given length for every key of a format.
ProjectInfo parameters(int format, std::size_t length) {
  ProjectInfo info = emptyProjectInfo(format);
  int n = 0;
  for (const ParameterField& f : reportFormatInfo(format).fields) {
    std::string value;
    if (f.kind == ParameterKind::Date) {
      value = length == 0 ? "" : parameterDateText({2005, 3, 7});
    } else if (length > 0) {
      const std::string stem = std::string(f.key) + "值" + std::to_string(n++);
      while (value.size() < length) value += stem;
      value = gbkToUtf8(gbkTruncate(*utf8ToGbk(value), length));
    }
    info[std::string(f.key)] = value;
  }
  return info;
}

class RealReportTest : public ::testing::TestWithParam<std::size_t> {
 protected:
  RealReportTest() {
    project.members = makeSampleProject();
    paths.templateFolders = {binDir()};
    paths.outputFolder = dir.path();
  }

  std::unique_ptr<DocxDocument> write(int format) {
    values = ParameterValues{};
    for (const auto& [key, value] : parameters(format, GetParam())) values.set(key, value);
    DocxWordSession word;
    auto out = writeWordReport(project, values, format, word, paths, {2005, 3, 7});
    EXPECT_TRUE(out.ok()) << (out.ok() ? "" : out.message());
    return load(dir / pathFromUtf8("楼板仪报告文档.docx"));
  }

  std::string P(int, const char* key) { return values(key); }

  test::TempDir dir;
  Project project;
  ParameterValues values;
  OfficePaths paths;
};

TEST_P(RealReportTest, Report1ValuesSitBesideTheirLabels) {
  auto r = write(0);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->lineText(3), "编号：" + P(0, "报告编号"));
  EXPECT_EQ(r->lineText(10), "工程名称：" + P(0, "工程名称"));
  EXPECT_EQ(r->lineText(11), "施工单位：" + P(0, "施工单位"));
  EXPECT_EQ(r->lineText(12), "检测内容：" + P(0, "检测内容"));
  EXPECT_EQ(r->lineText(20), "检测单位：" + P(0, "检测单位"));
  EXPECT_EQ(r->lineText(21), "报告日期：2005--3--7");
  EXPECT_EQ(r->cellText(1, 1, 1), "工程名称");
  EXPECT_EQ(r->cellText(1, 1, 2), P(0, "工程名称"));
  EXPECT_EQ(r->cellText(1, 4, 2), P(0, "设计单位"));
  EXPECT_EQ(r->lineText(30).rfind("    " + P(0, "工程名称") + "工程位于", 0), 0u);
  EXPECT_EQ(r->lineText(31).rfind("    受" + P(0, "委托单位"), 0), 0u);
  EXPECT_EQ(r->lineText(35), "    检测依据：" + P(0, "检测依据") + "。");
  EXPECT_EQ(r->lineText(38), "    经检测，结果如下：");
  EXPECT_EQ(r->lineText(39).rfind("    本次检测的", 0), 0u);
  EXPECT_EQ(r->lineText(45), "五、检测仪器：" + P(0, "检测仪器"));
}

// Report 1 with what an engineer typed, read back from the written document: each value where
// the template has its label and in its formatting, the overview and conclusion sentences.
TEST(RealReport, Report1WithTypedValuesByContent) {
  test::TempDir dir;
  Project project;
  MemberData d;
  d.code = "A001";
  d.designThickness = 120;
  for (int i = 0; i < 10; ++i) d.readings.push_back({0, i < 9 ? 120 : 200, 0});
  project.members = {MemberRecord(std::move(d))};
  const std::pair<const char*, const char*> typed[] = {
      {"报告编号", "R-1"},      {"工程名称", "一号楼"},
      {"施工单位", "甲公司"},   {"检测内容", "楼板"},
      {"检测单位", "检测中心"}, {"监理单位", "乙监理"},
      {"设计单位", "丙设计"},   {"工程地址", "滨河路"},
      {"结构类别", "框架"},     {"施工日期", "2005年 3月 7日"},
      {"强度等级", "C30"},      {"委托单位", "丁公司"},
      {"检测仪器", "测厚仪"},   {"检测依据", "《混凝土结构设计规范》（GB50010-2010）"}};
  ParameterValues values;
  for (const auto& [key, value] : typed) values.set(key, value);
  OfficePaths paths{{binDir()}, dir.path(), {}};
  DocxWordSession word;
  ASSERT_TRUE(writeWordReport(project, values, 0, word, paths, {2005, 3, 7}).ok());
  auto r = load(dir / "楼板仪报告文档.docx");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->lineText(3), "编号：R-1");
  EXPECT_EQ(r->lineText(10), "工程名称：一号楼");
  EXPECT_EQ(r->lineText(11), "施工单位：甲公司");
  EXPECT_EQ(r->lineText(12), "检测内容：楼板");
  EXPECT_EQ(r->lineText(20), "检测单位：检测中心");
  EXPECT_EQ(r->lineText(21), "报告日期：2005--3--7");
  const std::vector<std::string> cells = {r->cellText(1, 1, 2), r->cellText(1, 2, 2), r->cellText(1, 3, 2),
                                          r->cellText(1, 4, 2), r->cellText(1, 5, 2)};
  EXPECT_EQ(cells, (std::vector<std::string>{"一号楼", "甲公司", "乙监理", "丙设计", "楼板"}));
  EXPECT_EQ(r->lineText(30),
            "    一号楼工程位于滨河路，为框架结构。由甲公司施工，开工时间为2005年 3月 7日。"
            "根据设计要求，混凝土设计强度等级为C30。");
  EXPECT_EQ(r->lineText(31), "    受丁公司委托，我所对框架楼板厚度进行了检测。 ");
  EXPECT_EQ(r->lineText(35), "    检测依据：《混凝土结构设计规范》（GB50010-2010）。");
  EXPECT_EQ(r->lineText(39),
            "    本次检测的一号楼工程楼板厚度共计10点，其中合格点9个，合格点率为90.0%"
            "，一号楼工程的楼板厚度检测结果为合格。");
  EXPECT_EQ(r->lineText(45), "五、检测仪器：测厚仪");

  // The cover's values are underlined in the automatic colour, the overview is 宋体 14 pt.
  auto parts = readPackage(test::readBytes(dir / "楼板仪报告文档.docx"), "report.docx");
  ASSERT_TRUE(parts.ok());
  pugi::xml_document xml;
  for (const auto& [name, data] : parts.value()) {
    if (name == "word/document.xml") xml.load_string(data.c_str());
  }
  auto runWith = [&](const std::string& text) {
    for (pugi::xpath_node t : xml.select_nodes("//w:r/w:t")) {
      if (std::string(t.node().text().get()).find(text) != std::string::npos) return t.node().parent();
    }
    return pugi::xml_node();
  };
  const pugi::xml_node cover = runWith("一号楼");
  ASSERT_TRUE(cover);
  EXPECT_STREQ(cover.child("w:rPr").child("w:u").attribute("w:val").value(), "single");
  EXPECT_FALSE(cover.child("w:rPr").child("w:u").attribute("w:color"));
  const pugi::xml_node overview = runWith("工程位于滨河路");
  ASSERT_TRUE(overview);
  EXPECT_STREQ(overview.child("w:rPr").child("w:rFonts").attribute("w:eastAsia").value(), "宋体");
  EXPECT_STREQ(overview.child("w:rPr").child("w:sz").attribute("w:val").value(), "28");
  // The data table is written beside it.
  EXPECT_TRUE(std::filesystem::exists(dir / "数据表格.docx"));
}

TEST_P(RealReportTest, Report2ValuesSitBesideTheirLabels) {
  auto r = write(1);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->lineText(6), std::string(21, ' ') + "报告编号：" + P(1, "报告编号"));
  EXPECT_EQ(r->lineText(13), "工程名称：" + P(1, "工程名称"));
  EXPECT_EQ(r->lineText(15), "委托单位：" + P(1, "委托单位"));
  EXPECT_EQ(r->lineText(17), "检测项目：" + P(1, "检测项目"));
  EXPECT_EQ(r->lineText(19), "检测方法：" + P(1, "检测方法"));
  EXPECT_EQ(r->lineText(21), "检测日期：" + P(1, "检测日期"));
  EXPECT_EQ(r->cellText(1, 7, 2), P(1, "工程地址"));
  EXPECT_EQ(r->lineText(37), "三、工程概况");
  EXPECT_EQ(r->lineText(42).rfind("    " + P(1, "工程名称") + "工程位于", 0), 0u);
  EXPECT_EQ(r->lineText(45), "四、检测方法");
  EXPECT_EQ(r->lineText(46), "本次检测采用电磁法检测楼板厚度。");
  EXPECT_EQ(r->lineText(48), "五、检测结论");
  EXPECT_EQ(r->lineText(49).rfind("    本次检测的", 0), 0u);
  EXPECT_EQ(r->cellText(2, 1, 1), "检测依据：\n   " + P(1, "检测依据") + "\n\n\n");
}

TEST_P(RealReportTest, TableReportsFillTheirCells) {
  auto r3 = write(2);
  ASSERT_NE(r3, nullptr);
  EXPECT_EQ(r3->cellText(1, 1, 1), "委托编号");
  EXPECT_EQ(r3->cellText(1, 1, 2), P(2, "委托编号"));
  EXPECT_EQ(r3->cellText(1, 4, 3), "浇筑日期");
  EXPECT_EQ(r3->cellText(1, 4, 4), P(2, "浇筑日期"));
  EXPECT_EQ(r3->cellText(1, 5, 2), P(2, "检测项目"));
  EXPECT_EQ(r3->cellText(1, 8, 1), "执行标准");
  EXPECT_EQ(r3->cellText(1, 8, 2), P(2, "执行标准"));
  EXPECT_EQ(r3->cellText(1, 11, 1), "检测结论");
  EXPECT_EQ(r3->cellText(1, 12, 1).rfind("    本次检测的", 0), 0u);

  auto r4 = write(3);
  ASSERT_NE(r4, nullptr);
  EXPECT_EQ(r4->cellText(1, 6, 3), "检测依据");
  EXPECT_EQ(r4->cellText(1, 6, 4), P(3, "检测依据"));
  EXPECT_EQ(r4->cellText(1, 4, 4), "抽检");
  EXPECT_EQ(r4->cellText(2, 14, 1), "12");  // 12 members: the template's 10 rows grew
  EXPECT_EQ(r4->cellText(2, 14, 2), "W003");

  for (int format : {4, 5}) {
    auto r = write(format);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->cellText(1, 2, 1), "工程名称");
    EXPECT_EQ(r->cellText(1, 2, 2), P(format, "工程名称"));
    EXPECT_EQ(r->cellText(1, 6, 4), P(format, "检测仪器"));
    EXPECT_EQ(r->cellText(1, 9, 1), "结论");
    EXPECT_NE(r->cellText(1, 9, 2).find("检测结果为不合格"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, RealReportTest, ::testing::Values(0u, 12u, 300u));

TEST(RealDataTable, MembersAndReadings) {
  test::TempDir dir;
  Project project;
  SettingsLocation settings = SettingsLocation::inFolder(dir.path());
  project.members = makeSampleProject();
  OfficePaths paths{{binDir()}, dir.path(), {}};
  DocxWordSession word;
  ASSERT_TRUE(exportDataTable(project, word, paths).ok());
  ASSERT_TRUE(finished(word));
  auto table = load(dir / pathFromUtf8("数据表格.docx"));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->lineText(0), "数据列表：");
  EXPECT_EQ(table->rowCount(1), dataTableRowCount(project));
  EXPECT_EQ(table->cellCount(1, 1), 1);
  EXPECT_EQ(table->cellText(1, 1, 1), dataTableHeader(*project.memberAt(0)));
  EXPECT_EQ(table->cellText(1, 2, 1), std::to_string(project.memberAt(0)->readingAt(0)));
  EXPECT_EQ(table->cellText(1, 3, 10), std::to_string(project.memberAt(0)->readingAt(19)));
  EXPECT_EQ(table->cellText(1, 4, 1), dataTableHeader(*project.memberAt(1)));
  EXPECT_EQ(table->cellCount(1, 4), 1);
}

TEST(RealDataTable, AMemberLongerThanAPageHasATableWithARepeatedHeading) {
  test::TempDir dir;
  Project project;
  project.members = makeSampleProject();
  project.members.resize(3);
  MemberData longMember = project.members[1].data();
  longMember.readings.assign(600, {0, 130, 0});  // 60 rows of readings
  project.members[1] = MemberRecord(std::move(longMember));
  OfficePaths paths{{binDir()}, dir.path(), {}};
  DocxWordSession word;
  ASSERT_TRUE(exportDataTable(project, word, paths).ok());
  ASSERT_TRUE(finished(word));
  auto table = load(dir / pathFromUtf8("数据表格.docx"));
  ASSERT_NE(table, nullptr);
  // Before, the long member, after: every row in order, nothing lost.
  ASSERT_EQ(table->tableCount(), 3);
  const MemberRecord& before = *project.memberAt(0);
  EXPECT_EQ(table->rowCount(1), 1 + readingRows(before));
  EXPECT_EQ(table->rowCount(2), 61);
  EXPECT_EQ(table->cellText(2, 1, 1), dataTableHeader(*project.memberAt(1)));
  EXPECT_EQ(table->cellText(2, 61, 10), "130");
  EXPECT_EQ(table->cellText(3, 1, 1), dataTableHeader(*project.memberAt(2)));
  EXPECT_EQ(table->rowCount(1) + table->rowCount(2) + table->rowCount(3), dataTableRowCount(project));

  // Short blocks stay in one table.
  project.members.resize(2);
  MemberData shorter = project.members[1].data();
  shorter.readings.resize(20);
  project.members[1] = MemberRecord(std::move(shorter));
  DocxWordSession again;
  ASSERT_TRUE(exportDataTable(project, again, paths).ok());
  ASSERT_TRUE(finished(again));
  table = load(dir / pathFromUtf8("数据表格.docx"));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->tableCount(), 1);
}

}  // namespace
}  // namespace kro
