// User report formats: fields split over runs, member and reading parts, and every mistake a
// template can hold, named with where it stands.
#include "office/field_template.h"

#include <gtest/gtest.h>
#include <zip.h>

#include "model/file_io.h"
#include "model/sample_project.h"
#include "office/docx_document.h"
#include "office/package.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

std::filesystem::path binDir() {
  const char* dir = std::getenv("KRO_BIN_DIR");
  return dir != nullptr ? dir : ".";
}

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

UserReportValues sampleValues() {
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
  return userReportValues(project, parameters, {2026, 12, 8});
}

// A field Word split over runs keeps the first character's formatting; member rows and reading
// rows repeat; the header is filled; a failing reading is red.
TEST(FieldTemplate, FillsSplitFieldsMembersReadingsAndHeaders) {
  test::TempDir dir;
  const std::string body =
      p(r("工程：") + r("{{工", "<w:b/>") + r("程名", "<w:color w:val=\"0000FF\"/>") + r("称}}") + r("。")) +
      p(r("监理编号 {{参数:监理编号}}，结论 {{结论}}，共 {{构件数}} 个构件")) +
      table({row({"{{#构件}}{{序号}}", "{{测区编号}}", "{{合格率}}", "{{结论}}"}),
             row({"{{#测点}}{{测点1}}", "{{测点2}}", "{{测点10}}", ""}), row({"{{/构件}}", "", "", ""})});
  const auto file = makeTemplate(dir, "格式", body, p(r("{{检测单位}} 报告")));
  ASSERT_TRUE(checkUserTemplate(file).value().problems.empty());
  const UserReportValues values = sampleValues();
  ASSERT_TRUE(fillUserTemplate(file, values, dir / "out.docx").ok());

  auto doc = DocxDocument::load(dir / "out.docx");
  ASSERT_TRUE(doc.ok());
  EXPECT_EQ(doc.value()->lineText(0), "工程：阳光花园。");
  EXPECT_EQ(doc.value()->lineText(1), "监理编号 JL-7，结论 不合格，共 11 个构件");
  // 11 ticked members: a heading row, ceil(n / 10) reading rows and a closing row each.
  int rows = 0;
  for (const MemberFieldValues& m : values.members)
    rows += 2 + static_cast<int>((m.readings.size() + 9) / 10);
  EXPECT_EQ(doc.value()->rowCount(1), rows);
  EXPECT_EQ(doc.value()->cellText(1, 1, 2), "0001");
  EXPECT_EQ(doc.value()->cellText(1, 1, 1), "1");
  EXPECT_EQ(doc.value()->cellText(1, 1, 3), "95.0");
  EXPECT_EQ(doc.value()->cellText(1, 2, 1), "116");  // reading 1 of member 0001
  EXPECT_EQ(doc.value()->cellText(1, 3, 3),
            std::to_string(makeSampleProject()[0].readingAt(19)));  // reading 20
  EXPECT_EQ(doc.value()->cellText(1, 5, 2), "0003");                // 0002 is not ticked

  auto parts = readPackage(test::readBytes(dir / "out.docx"), "out.docx");
  ASSERT_TRUE(parts.ok());
  std::string document, header;
  for (const auto& [name, data] : parts.value()) {
    if (name == "word/document.xml") document = data;
    if (name == "word/header1.xml") header = data;
  }
  EXPECT_NE(header.find("市质检中心 报告"), std::string::npos) << header;
  EXPECT_NE(document.find("<w:b/></w:rPr><w:t xml:space=\"preserve\">阳光花园"), std::string::npos);
  EXPECT_EQ(document.find("{{"), std::string::npos);
  EXPECT_NE(document.find("<w:color w:val=\"FF0000\"/>"), std::string::npos);  // 0001's 114
}

// Every mistake is found before any work, named with where it stands, and nothing is written.
TEST(FieldTemplate, MistakesAreNamedWithWhereTheyStand) {
  test::TempDir dir;
  struct Case {
    std::string body, header, expected;
  };
  const std::vector<Case> cases = {
      {p(r("{{工程名}}")), "", "未知的字段 {{工程名}}（正文第 1 段）"},
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
       "{{/构件}} 应与 {{#构件}} 在同一个表格中（正文第 2 段）"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto file = makeTemplate(dir, "错" + std::to_string(i), cases[i].body, cases[i].header);
    auto checked = checkUserTemplate(file);
    ASSERT_TRUE(checked.ok()) << checked.message();
    ASSERT_FALSE(checked.value().problems.empty()) << cases[i].expected;
    EXPECT_EQ(checked.value().problems.front(), cases[i].expected);
    Status filled = fillUserTemplate(file, sampleValues(), dir / "never.docx");
    EXPECT_FALSE(filled.ok());
    EXPECT_FALSE(std::filesystem::exists(dir / "never.docx"));
  }
}

// The starting template is a sound format that uses every field.
TEST(FieldTemplate, TheStartingTemplateShowsEveryField) {
  auto checked = checkUserTemplate(binDir() / pathFromUtf8("自定义格式样板.docx"));
  ASSERT_TRUE(checked.ok());
  EXPECT_TRUE(checked.value().problems.empty());
  EXPECT_EQ(checked.value().memberParts, 1);
  EXPECT_EQ(checked.value().declaredParameters, std::vector<std::string>{"监理编号"});
  const std::string body = [] {
    auto parts = readPackage(test::readBytes(binDir() / pathFromUtf8("自定义格式样板.docx")), "t.docx");
    for (const auto& [name, data] : parts.value()) {
      if (name == "word/document.xml") return data;
    }
    return std::string();
  }();
  for (FieldScope scope : {FieldScope::Project, FieldScope::Member, FieldScope::Reading}) {
    for (const std::string& name : userFieldNames(scope)) {
      EXPECT_NE(body.find("{{" + name + "}}"), std::string::npos) << name;
    }
  }
}

}  // namespace
}  // namespace kro
