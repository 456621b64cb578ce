// The report engine on templates made here: fields split over runs, member and reading parts,
// conditions, options, pictures, every mistake a template can hold named with where it stands,
// and templates that would exhaust the program refused.
#include "office/docx_template.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <chrono>
#include <set>

#include "base/sha256.h"
#include "model/file_io.h"
#include "model/modification_log.h"
#include "model/record_replay.h"
#include "model/sample_project.h"
#include "office/package.h"
#include "report/project_check.h"
#include "report/report_parameters.h"
#include "support/docx_text.h"
#include "support/environment.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

using test::binDir;

constexpr const char* kOpen =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><w:body>)";
constexpr const char* kClose =
    R"(<w:sectPr><w:headerReference w:type="default" r:id="rIdHeader"/></w:sectPr></w:body></w:document>)";

std::string p(const std::string& runs) { return "<w:p>" + runs + "</w:p>"; }
std::string r(const std::string& text, const std::string& props = "") {
  return "<w:r>" + (props.empty() ? "" : "<w:rPr>" + props + "</w:rPr>") + "<w:t xml:space=\"preserve\">" +
         text + "</w:t></w:r>";
}
std::string row(const std::vector<std::string>& cells) {
  std::string x = "<w:tr>";
  for (const std::string& c : cells) x += "<w:tc>" + p(r(c)) + "</w:tc>";
  return x + "</w:tr>";
}
std::string table(const std::vector<std::string>& rows) {
  std::string x = "<w:tbl>";
  for (const std::string& rw : rows) x += rw;
  return x + "</w:tbl>";
}

// The starting template with its body (and header) replaced.
std::filesystem::path makeTemplate(const test::TempDir& dir, const std::string& name, const std::string& body,
                                   const std::string& header = "") {
  const std::filesystem::path file = dir / (name + ".docx");
  std::filesystem::copy_file(binDir() / pathFromUtf8("自定义格式样板.docx"), file,
                             std::filesystem::copy_options::overwrite_existing);
  zip_t* archive = zip_open(displayPath(file).c_str(), 0, nullptr);
  const std::string document = kOpen + body + kClose;
  zip_file_add(archive, "word/document.xml", zip_source_buffer(archive, document.data(), document.size(), 0),
               ZIP_FL_OVERWRITE);
  const std::string hdr =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><w:hdr xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">)" +
      (header.empty() ? p(r("页眉")) : header) + "</w:hdr>";
  zip_file_add(archive, "word/header1.xml", zip_source_buffer(archive, hdr.data(), hdr.size(), 0),
               ZIP_FL_OVERWRITE);
  EXPECT_EQ(zip_close(archive), 0);
  return file;
}

ReportValues sampleValues() {
  Project project;
  project.members = makeSampleProject();
  project.members[1] = MemberRecord([] {
    MemberData d = makeSampleProject()[1].data();
    d.selected = 0;  // an unticked member is no part of the report
    return d;
  }());
  ParameterValues parameters;
  parameters.set("工程名称", "阳光花园");
  parameters.set("检测单位", "市质检中心");
  parameters.set("监理编号", "JL-7");
  return reportValues(project, parameters, {2026, 12, 8});
}

std::string part(const std::filesystem::path& docx, std::string_view name) {
  auto parts = readPackage(test::readBytes(docx), docx);
  if (!parts) return {};
  for (const auto& [n, data] : parts.value()) {
    if (n == name) return data;
  }
  return {};
}

std::size_t count(const std::string& text, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

Status fill(const std::filesystem::path& file, const ReportValues& values, const std::filesystem::path& out) {
  return DocxTemplateFiller(fieldCatalog()).fill(file, values, out);
}

TemplateFields check(const std::filesystem::path& file) {
  auto checked = DocxTemplateFiller(fieldCatalog()).check(file);
  EXPECT_TRUE(checked.ok()) << checked.message();
  return checked.ok() ? checked.value() : TemplateFields{};
}

// A field Word split over runs keeps the first character's formatting; member rows and reading
// rows repeat; the header is filled; a failing reading is red.
TEST(DocxTemplate, FillsSplitFieldsMembersReadingsAndHeaders) {
  test::TempDir dir;
  const std::string body =
      p(r("工程：") + r("{{工", "<w:b/>") + r("程名", "<w:color w:val=\"0000FF\"/>") + r("称}}") + r("。")) +
      p(r("监理编号 {{参数:监理编号}}，结论 {{结论}}，共 {{构件数}} 个构件")) +
      table({row({"{{#构件}}{{序号}}", "{{测区编号}}", "{{合格率}}", "{{结论}}"}),
             row({"{{#测点}}{{测点1}}", "{{测点2}}", "{{测点10}}", ""}), row({"{{/构件}}", "", "", ""})});
  const auto file = makeTemplate(dir, "格式", body, p(r("{{检测单位}} 报告")));
  ASSERT_TRUE(check(file).problems.empty());
  const ReportValues values = sampleValues();
  ASSERT_TRUE(fill(file, values, dir / "out.docx").ok());

  const std::string text = test::docxText(dir / "out.docx");
  EXPECT_TRUE(text.starts_with("\n工程：阳光花园。\n监理编号 JL-7，结论 不合格，共 11 个构件\n"));
  // 11 ticked members: a heading row, ceil(n / 10) reading rows and a closing row each.
  const std::string document = part(dir / "out.docx", "word/document.xml");
  std::size_t rows = 0;
  for (const MemberFieldValues& m : values.members) rows += 2 + (m.readings.size() + 9) / 10;
  EXPECT_EQ(count(document, "<w:tr>"), rows);
  EXPECT_NE(text.find("\n1\n0001\n95.0\n合格\n116\n"), std::string::npos);  // 0001's first row
  EXPECT_NE(text.find("\n" + std::to_string(makeSampleProject()[0].readingAt(19)) + "\n\n\n"),
            std::string::npos);                         // reading 20
  EXPECT_EQ(text.find("\n0002\n"), std::string::npos);  // 0002 is not ticked
  EXPECT_NE(part(dir / "out.docx", "word/header1.xml").find("市质检中心 报告"), std::string::npos);
  EXPECT_NE(document.find("<w:b/></w:rPr><w:t xml:space=\"preserve\">阳光花园"), std::string::npos);
  EXPECT_EQ(document.find("{{"), std::string::npos);
  EXPECT_NE(document.find("<w:color w:val=\"FF0000\"/>"), std::string::npos);  // 0001's 114
}

// A paragraph, or a table row, is kept only when its condition holds; a member part's
// conditions ask its member.
TEST(DocxTemplate, ConditionsKeepOrLeaveOutParagraphsAndRows) {
  test::TempDir dir;
  const std::string body =
      p(r("{{?检测单位}}单位：{{检测单位}}")) + p(r("{{^检测单位}}工程质量检测中心")) +
      p(r("{{?委托单位}}委托：{{委托单位}}")) + table({row({"甲"}), row({"{{?委托单位}}乙"}), row({"丙"})}) +
      table({row({"{{#构件}}{{测区编号}}"}), row({"{{?构件名称}}名：{{构件名称}}{{/构件}}"})});
  const auto file = makeTemplate(dir, "条件", body);
  ASSERT_TRUE(check(file).problems.empty());
  ReportValues values = sampleValues();
  values.members.resize(2);
  values.members[1].fields["构件名称"] = "";
  ASSERT_TRUE(fill(file, values, dir / "out.docx").ok());
  const std::string text = test::docxText(dir / "out.docx");
  EXPECT_TRUE(text.starts_with("\n单位：市质检中心\n甲\n丙\n0001\n名："));
  EXPECT_EQ(text.find("工程质量检测中心"), std::string::npos);
  EXPECT_EQ(text.find("委托"), std::string::npos);
  EXPECT_EQ(count(text, "名："), 1u);  // the second member has no name
  EXPECT_EQ(count(part(dir / "out.docx", "word/document.xml"), "<w:tr>"), 2u + 3u);
}

// The options of a member part: rows of a member on one page, a member longer than a page in a
// table of its own whose heading repeats, padding copies up to a least number; the table's last
// row with what follows; the failing readings' formatting of the template's choosing.
TEST(DocxTemplate, MemberPartOptionsTableEndAndFailingFormat) {
  test::TempDir dir;
  const std::string body =
      p(r("{{不合格格式}}", "<w:b/><w:color w:val=\"0000FF\"/>")) +
      table({row({"头"}), row({"{{#构件 同页 续表头}}{{测区编号}}"}), row({"{{#测点}}{{测点1}}{{/构件}}"})}) +
      p(r("")) + table({row({"{{表尾同页}}{{#构件 至少5行}}{{序号}}{{/构件}}"})});
  const auto file = makeTemplate(dir, "选项", body);
  ASSERT_TRUE(check(file).problems.empty());
  ReportValues values = sampleValues();
  values.members.resize(3);
  // The second member: 400 readings, 41 rows: longer than a page.
  values.members[1].readings.assign(400, {"120", true});
  values.members[1].readings[0] = {"99", false};
  ASSERT_TRUE(fill(file, values, dir / "out.docx").ok());
  const std::string document = part(dir / "out.docx", "word/document.xml");
  EXPECT_EQ(document.find("不合格格式"), std::string::npos);
  EXPECT_NE(document.find("<w:rPr><w:b/><w:color w:val=\"0000FF\"/></w:rPr><w:t xml:space=\"preserve\">99"),
            std::string::npos);
  // Three tables of the first table's rows (the long member alone in the middle one, its heading
  // repeated), kept apart by separators, then the padded table.
  EXPECT_EQ(count(document, "<w:tbl>"), 4u);
  EXPECT_EQ(count(document, "w:line=\"20\""), 2u);
  EXPECT_EQ(count(document, "<w:tblHeader/>"), 1u);
  // Padding: 5 rows for 3 members, the last two without values.
  const std::string last = document.substr(document.rfind("<w:tbl>"));
  EXPECT_EQ(count(last, "<w:tr>"), 5u);
  EXPECT_NE(test::docxText(dir / "out.docx").find("\n1\n2\n3\n\n\n"), std::string::npos);
  // The short members' rows: never split, each kept with the next but the member's last.
  const std::string firstTable = document.substr(0, document.find("w:line=\"20\""));
  EXPECT_EQ(count(firstTable, "<w:cantSplit/>"), 3u);  // 0001: heading and 2 reading rows
  EXPECT_EQ(count(firstTable, "<w:keepNext/>"), 2u);
  // The padded table's last row stays with what follows; no other row of it.
  EXPECT_EQ(count(last, "<w:keepNext/>"), 1u);
  EXPECT_NE(last.substr(last.rfind("<w:tr>")).find("<w:keepNext/>"), std::string::npos);
}

// A picture at a field, sized in millimetres, with its part, relationship and content type; a
// field without a picture shows nothing.
TEST(DocxTemplate, ImageFieldsPlaceAPictureOfTheirSize) {
  test::TempDir dir;
  const auto file = makeTemplate(dir, "图", p(r("码：{{图:校验码 20x30}}。")), p(r("{{图:页码 5x5}}")));
  const TemplateFields fields = check(file);
  ASSERT_TRUE(fields.problems.empty());
  EXPECT_EQ(fields.images, (std::vector<std::string>{"校验码", "页码"}));
  ReportValues values = sampleValues();
  const std::string png("\x89PNG\r\n\x1a\n fake", 13);
  values.images["校验码"] = png;
  ASSERT_TRUE(fill(file, values, dir / "out.docx").ok());
  const std::string document = part(dir / "out.docx", "word/document.xml");
  EXPECT_NE(document.find("<wp:extent cx=\"720000\" cy=\"1080000\"/>"), std::string::npos) << document;
  EXPECT_EQ(test::docxText(dir / "out.docx"), "\n码：。\n");
  EXPECT_NE(part(dir / "out.docx", "word/_rels/document.xml.rels").find("media/kro-image-1.png"),
            std::string::npos);
  EXPECT_EQ(part(dir / "out.docx", "word/media/kro-image-1.png"), png);
  EXPECT_NE(part(dir / "out.docx", "[Content_Types].xml").find("Extension=\"png\""), std::string::npos);
  EXPECT_EQ(part(dir / "out.docx", "word/header1.xml").find("drawing"), std::string::npos);
  EXPECT_TRUE(checkWrittenPackage(dir / "out.docx", "out.docx").ok());
}

// Texts that are no UTF-8, or hold control characters, still give a document every reader opens.
TEST(DocxTemplate, AnyValueGivesWellFormedXml) {
  test::TempDir dir;
  const auto file = makeTemplate(dir, "值", p(r("{{工程名称}}")));
  ReportValues values = sampleValues();
  values.project["工程名称"] = std::string("甲\x0b乙\x01\xff\xfe丙\t丁\r\n戊", 22);
  ASSERT_TRUE(fill(file, values, dir / "out.docx").ok());
  EXPECT_TRUE(checkWrittenPackage(dir / "out.docx", "out.docx").ok());
  EXPECT_EQ(test::docxText(dir / "out.docx"), "\n甲\n乙\xEF\xBF\xBD\xEF\xBF\xBD丙\t丁\n戊\n");
}

// A template nested deeper than the program walks, or too large, is refused at once, naming why.
TEST(DocxTemplate, TemplatesThatWouldExhaustTheProgramAreRefused) {
  test::TempDir dir;
  std::string deep;
  for (int i = 0; i < 30000; ++i) deep += "<w:sdt><w:sdtContent>";
  for (int i = 0; i < 30000; ++i) deep += "</w:sdtContent></w:sdt>";
  const auto file = makeTemplate(dir, "深", p(r("x")) + deep);
  const auto start = std::chrono::steady_clock::now();
  auto checked = DocxTemplateFiller(fieldCatalog()).check(file);
  ASSERT_FALSE(checked.ok());
  EXPECT_NE(checked.message().find("嵌套超过 256 层"), std::string::npos) << checked.message();
  EXPECT_FALSE(fill(file, sampleValues(), dir / "never.docx").ok());
  EXPECT_FALSE(std::filesystem::exists(dir / "never.docx"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

// A part that is no UTF-8, declares a document type or refers to an entity is refused naming the
// part; so are templates past the limits on fields and member parts, and one that would make
// a report beyond reason; a long list of mistakes ends by saying it was cut.
TEST(DocxTemplate, TemplatesBeyondTheirLimitsAreRefusedNamingThem) {
  test::TempDir dir;
  auto refusal = [&](const std::string& name, const std::string& document) {
    const auto file = makeTemplate(dir, name, "");
    zip_t* archive = zip_open(displayPath(file).c_str(), 0, nullptr);
    zip_file_add(archive, "word/document.xml",
                 zip_source_buffer(archive, document.data(), document.size(), 0), ZIP_FL_OVERWRITE);
    EXPECT_EQ(zip_close(archive), 0);
    auto checked = DocxTemplateFiller(fieldCatalog()).check(file);
    EXPECT_FALSE(fill(file, sampleValues(), dir / "never.docx").ok()) << name;
    EXPECT_FALSE(std::filesystem::exists(dir / "never.docx")) << name;
    return checked.ok() ? std::string() : checked.message();
  };
  const std::string declaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";
  const std::string open = kOpen;
  const std::string body = open.substr(open.find("<w:document"));
  EXPECT_NE(refusal("坏字", kOpen + p(r("甲\xff乙")) + kClose).find("“word/document.xml”第 "),
            std::string::npos);
  EXPECT_NE(refusal("坏字", kOpen + p(r("甲\xff乙")) + kClose).find("不是 UTF-8 文字"), std::string::npos);
  EXPECT_NE(refusal("类型", declaration + "<!DOCTYPE w:document [<!ENTITY a \"aaaa\">]>" + body +
                                p(r("&a;")) + kClose)
                .find("文档类型定义"),
            std::string::npos);
  EXPECT_NE(refusal("实体", kOpen + p(r("&a;")) + kClose).find("未定义的实体“&a;”"), std::string::npos);
  // XML's own entities and references are text as ever.
  const auto plain = makeTemplate(dir, "转义", p(r("&lt;{{工程名称}}&amp;&#x4E01;")));
  ASSERT_TRUE(fill(plain, sampleValues(), dir / "out.docx").ok());
  EXPECT_EQ(test::docxText(dir / "out.docx"), "\n<阳光花园&丁\n");

  std::string fields;
  for (int i = 0; i <= 100'000; ++i) fields += "{{工程名称}}";
  EXPECT_NE(refusal("字段", kOpen + p(r(fields)) + kClose).find("字段超过 100000 个"), std::string::npos);

  std::string parts;
  for (int i = 0; i < 1002; ++i) parts += p(r("{{#构件}}")) + p(r("{{/构件}}"));
  const TemplateFields many = check(makeTemplate(dir, "部分", parts));
  ASSERT_EQ(many.problems.size(), 1u);
  EXPECT_EQ(many.problems.front(), "构件部分超过 1000 个（从正文第 2001 段起）");

  std::string unknown;
  for (int i = 0; i < 150; ++i) unknown += p(r("{{未知}}"));
  const TemplateFields mistakes = check(makeTemplate(dir, "错多", unknown));
  ASSERT_EQ(mistakes.problems.size(), 101u);
  EXPECT_EQ(mistakes.problems.back(), "问题太多，只列出了前 100 个");

  // 1,000 copies at least of a member part of 8,002 rows: 40 million elements.
  std::vector<std::string> rows{row({"{{#构件 至少1000行}}"})};
  rows.insert(rows.end(), 8000, row({"x"}));
  rows.push_back(row({"{{/构件}}"}));
  const auto huge = makeTemplate(dir, "巨大", table(rows));
  EXPECT_TRUE(check(huge).problems.empty());
  Status filled = fill(huge, sampleValues(), dir / "never.docx");
  ASSERT_FALSE(filled.ok());
  EXPECT_NE(filled.message().find("超过了 2000 万的上限"), std::string::npos) << filled.message();
  EXPECT_FALSE(std::filesystem::exists(dir / "never.docx"));
}

// Every mistake is found before any work, named with where it stands, and nothing is written.
TEST(DocxTemplate, MistakesAreNamedWithWhereTheyStand) {
  test::TempDir dir;
  struct Case {
    std::string body, header, expected;
  };
  const std::vector<Case> cases = {
      {p(r("{{工程名}}")), "", "未知的字段 {{工程名}}（正文第 1 段）：是否应为 {{工程名称}}？"},
      {p(r("x")) + p(r("{{?委托单立}}")), "",
       "未知的字段 {{?委托单立}}（正文第 2 段）：是否应为 {{?委托单位}}？"},
      {table({row({"a"}), row({"b"})}) + p(r("{{完全不像}}")), "", "未知的字段 {{完全不像}}（正文第 1 段）"},
      {p(r("{{测区编号}}")), "", "构件字段 {{测区编号}} 应在 {{#构件}} … {{/构件}} 之内（正文第 1 段）"},
      {p(r("{{#构件}}")) + p(r("x")), "", "{{#构件}} 没有对应的 {{/构件}}（正文第 1 段）"},
      {p(r("{{/构件}}")), "", "{{/构件}} 之前没有 {{#构件}}（正文第 1 段）"},
      {p(r("{{工程名称")), "", "“{{”没有对应的“}}”（正文第 1 段）"},
      {p(r("x")), p(r("{{#构件}}")), "{{#构件}} 只能用在正文中（页眉第 1 段）"},
      {p(r("{{#构件}}{{#测点}}{{测点1}}")) + p(r("{{/构件}}")), "",
       "{{#测点}} 应在 {{#构件}} … {{/构件}} 之内的表格行中（正文第 1 段）"},
      {table({row({"{{#构件}}{{测点3}}"}), row({"{{/构件}}"})}), "",
       "测点字段 {{测点3}} 应在有 {{#测点}} 的表格行中（正文表格 1 第 1 行第 1 列）"},
      {table({row({"{{#构件}}"})}) + p(r("{{/构件}}")), "",
       "{{/构件}} 应与 {{#构件}} 在同一个表格中（正文第 1 段）"},  // a table's cells count apart
      {table({row({"{{#构件 整页}}{{/构件}}"})}), "",
       "{{#构件}} 不认识的选项“整页”：可用 同页、续表头、至少N行（正文表格 1 第 1 行第 1 列）"},
      {p(r("{{图:码}}")), "", "图片字段 {{图:码}} 应写出宽和高（毫米），例如 {{图:码 30x30}}（正文第 1 段）"},
      {p(r("{{表尾同页}}")), "", "{{表尾同页}} 应在表格之中（正文第 1 段）"},
      {p(r("{{?测区编号}}")), "", "构件字段 {{?测区编号}} 应在 {{#构件}} … {{/构件}} 之内（正文第 1 段）"},
      {p(r("{{工程名称 粗}}")), "", "字段 {{工程名称}} 不带选项（正文第 1 段）"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto file = makeTemplate(dir, "错" + std::to_string(i), cases[i].body, cases[i].header);
    const TemplateFields fields = check(file);
    ASSERT_FALSE(fields.problems.empty()) << cases[i].expected;
    EXPECT_EQ(fields.problems.front(), cases[i].expected);
    Status filled = fill(file, sampleValues(), dir / "never.docx");
    EXPECT_FALSE(filled.ok());
    EXPECT_FALSE(std::filesystem::exists(dir / "never.docx"));
  }
}

// The six built-in formats are sound templates, and the parameters they print are those the
// check before a report names when empty.
TEST(DocxTemplate, TheBuiltInFormatsPrintTheirListedParameters) {
  for (int format = 0; format < kReportFormatCount; ++format) {
    const TemplateFields fields = check(binDir() / pathFromUtf8(reportFormatInfo(format).templateFile));
    EXPECT_TRUE(fields.problems.empty()) << format;
    std::set<std::string> printed, listed;
    for (const std::string& p : fields.parameters) printed.insert(std::string(canonicalParameterName(p)));
    for (std::string_view p : printedParameters(format))
      listed.insert(std::string(canonicalParameterName(p)));
    EXPECT_EQ(printed, listed) << "format " << format + 1;
  }
  const TemplateFields table = check(binDir() / pathFromUtf8("表格.docx"));
  EXPECT_TRUE(table.problems.empty());
  EXPECT_EQ(table.memberParts, 1);
}

// The data table of a project whose transferred reading was corrected: the value then struck
// through beside the value now and its entry's number, a typed reading marked, the legend, and
// the 修改记录 table with the last entry's SHA-256; a project without a log gets none of it.
TEST(DocxTemplate, TheDataTableShowsCorrectionsAndTheLog) {
  test::TempDir dir;
  Project project;
  project.members = makeSampleProject();
  const auto table = binDir() / pathFromUtf8("表格.docx");
  ASSERT_TRUE(fill(table, reportValues(project, {}, {2026, 12, 9}), dir / "plain.docx").ok());
  const std::string plain = test::docxText(dir / "plain.docx");
  EXPECT_EQ(plain.find("修改记录"), std::string::npos);
  EXPECT_EQ(plain.find("注："), std::string::npos);
  EXPECT_EQ(count(part(dir / "plain.docx", "word/document.xml"), "<w:tbl>"), 1u);

  beginRecord(project, std::nullopt, recorderNamed("张工"));
  const std::vector<MemberRecord> before = project.members;
  project.members[0].setReading(1, {0, 150, 0, ReadingOrigin::Transfer});  // was 122
  project.members[0].setReading(2, {0, 131, 0, ReadingOrigin::Typed});
  recordChanges(project, before, project.parameters, recorderNamed("李工"));
  ASSERT_TRUE(fill(table, reportValues(project, {}, {2026, 12, 9}), dir / "corrected.docx").ok());
  const std::string text = test::docxText(dir / "corrected.docx");
  const std::string document = part(dir / "corrected.docx", "word/document.xml");
  EXPECT_NE(document.find("<w:strike/><w:sz w:val=\"16\"/><w:szCs w:val=\"16\"/></w:rPr><w:t "
                          "xml:space=\"preserve\">122</w:t>"),
            std::string::npos);
  EXPECT_NE(text.find("150[1]"), std::string::npos);
  EXPECT_NE(text.find("131[2]"), std::string::npos);  // the correction's number, not the origin
  EXPECT_NE(text.find(std::string(kReadingMarksLegend)), std::string::npos);
  const std::size_t log = text.find("修改记录（共 2 条）");
  ASSERT_NE(log, std::string::npos) << text;
  for (const std::string& expected : {std::string("\n1\n0001\n2\n122\n150\n李工\n"),
                                      std::string("\n2\n0001\n3\n"), hexOf(project.log.back().hash)})
    EXPECT_NE(text.find(expected, log), std::string::npos) << expected << "\n" << text.substr(log);
  EXPECT_EQ(count(document, "<w:tbl>"), 2u);
}

// A 修改记录 part's mistakes are named: its fields outside it, a member's inside it, an end that
// closes the other kind of part, and reading rows in it.
TEST(DocxTemplate, LogPartMistakesAreNamed) {
  test::TempDir dir;
  const auto file =
      makeTemplate(dir, "记录",
                   p(r("{{原因}}")) +
                       table({row({"{{#修改记录}}{{测区编号}}{{序号}}"}), row({"{{#测点}}{{/修改记录}}"})}) +
                       p(r("{{#构件}}")) + p(r("{{/修改记录}}")) + p(r("{{/构件}}")));
  const std::vector<std::string> problems = check(file).problems;
  const std::vector<std::string> expected = {
      "修改记录字段 {{原因}} 应在 {{#修改记录}} … {{/修改记录}} 之内（正文第 1 段）",
      "构件字段 {{测区编号}} 不能用在 {{#修改记录}} … {{/修改记录}} 之内（正文表格 1 第 1 行第 1 列）",
      "{{#测点}} 应在 {{#构件}} … {{/构件}} 之内的表格行中（正文表格 1 第 2 行第 1 列）",
      "{{/修改记录}} 之前没有 {{#修改记录}}（正文第 3 段）"};
  for (const std::string& e : expected)
    EXPECT_NE(std::find(problems.begin(), problems.end(), e), problems.end()) << e;
}

// The starting template is a sound format that uses every field.
TEST(DocxTemplate, TheStartingTemplateShowsEveryField) {
  const TemplateFields fields = check(binDir() / pathFromUtf8("自定义格式样板.docx"));
  EXPECT_TRUE(fields.problems.empty());
  EXPECT_EQ(fields.memberParts, 1);
  EXPECT_EQ(fields.declaredParameters, std::vector<std::string>{"监理编号"});
  const std::string body = [] {
    auto parts = readPackage(test::readBytes(binDir() / pathFromUtf8("自定义格式样板.docx")), "t.docx");
    for (const auto& [name, data] : parts.value()) {
      if (name == "word/document.xml") return data;
    }
    return std::string();
  }();
  for (FieldScope scope :
       {FieldScope::Project, FieldScope::Member, FieldScope::Reading, FieldScope::LogEntry}) {
    for (const std::string& name : fieldNames(scope)) {
      EXPECT_NE(body.find("{{" + name + "}}"), std::string::npos) << name;
    }
  }
}

}  // namespace
}  // namespace kro
