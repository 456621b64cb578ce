// Written packages read back: the workbook with texts XML cannot hold as they stand, and a
// package whose XML is broken.
#include "office/package.h"

#include <gtest/gtest.h>
#include <zip.h>

#include "model/file_io.h"
#include "office/xlsx_excel_session.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

// A zip file of the given parts.
void writeZip(const std::filesystem::path& path, const PackageParts& parts) {
  int error = 0;
  zip_t* archive = zip_open(displayPath(path).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr);
  for (const auto& [name, data] : parts) {
    zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
    ASSERT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8), 0);
  }
  ASSERT_EQ(zip_close(archive), 0);
}

std::string part(const std::filesystem::path& file, std::string_view name) {
  auto bytes = readWholeFile(file, kMaxTemplateFileSize);
  auto parts = readPackage(bytes.value(), file);
  EXPECT_TRUE(parts.ok());
  for (const auto& [n, data] : parts.value()) {
    if (n == name) return data;
  }
  return {};
}

TEST(WrittenPackage, WorkbookTextsWithControlCharactersStayValidXml) {
  test::TempDir dir;
  XlsxExcelSession excel;
  ASSERT_TRUE(excel.addWorkbook().ok());
  ASSERT_TRUE(excel.useSheet("sheet1").ok());
  excel.setCellText(1, 1,
                    "A\x01\x0b"
                    "B\x1f");
  excel.setCellText(1, 2, "\xef\xbf\xbe楼");  // U+FFFE
  excel.setCellText(2, 1, "120");
  excel.mergeCells(3, 1, 1, 3);
  excel.setCellText(3, 1, "合并\x02");
  Status saved = excel.saveAs(dir / "w.xlsx");
  ASSERT_TRUE(saved.ok()) << saved.message();
  EXPECT_TRUE(checkWrittenPackage(dir / "w.xlsx", dir / "w.xlsx").ok());
  const std::string strings = part(dir / "w.xlsx", "xl/sharedStrings.xml");
  EXPECT_NE(strings.find(">A\nB</t>"), std::string::npos) << strings;
  EXPECT_NE(strings.find(">楼</t>"), std::string::npos) << strings;
  EXPECT_TRUE(xmlProblem(strings).empty());
}

TEST(WrittenPackage, BrokenXmlIsNamed) {
  test::TempDir dir;
  writeZip(dir / "bad.xlsx", {{"[Content_Types].xml", "<Types/>"},
                              {"_rels/.rels", "<Relationships/>"},
                              {"xl/worksheets/sheet1.xml", "<worksheet><c>a\x01</c></worksheet>"}});
  Status checked = checkWrittenPackage(dir / "bad.xlsx", dir / "out.xlsx");
  ASSERT_FALSE(checked.ok());
  EXPECT_NE(checked.message().find("out.xlsx"), std::string::npos);
  EXPECT_NE(checked.message().find("xl/worksheets/sheet1.xml"), std::string::npos) << checked.message();

  writeZip(dir / "unclosed.docx", {{"word/document.xml", "<w:document><w:body>"}, {"media/x.png", "\x01"}});
  EXPECT_FALSE(checkWrittenPackage(dir / "unclosed.docx", dir / "r.docx").ok());
  writeZip(dir / "good.docx", {{"word/document.xml", "<d>\t楼\n</d>"}, {"media/x.png", "\x01\x02"}});
  EXPECT_TRUE(checkWrittenPackage(dir / "good.docx", dir / "r.docx").ok());  // only XML parts are read
  test::writeBytes(dir / "notzip.xlsx", "PK but not a zip");
  EXPECT_FALSE(checkWrittenPackage(dir / "notzip.xlsx", dir / "r.xlsx").ok());
}

TEST(WrittenPackage, XmlSafeTexts) {
  EXPECT_EQ(xmlSafeText("a\x0b"
                        "b\x0c"
                        "c\td\r\ne"),
            "a\nb\nc\td\r\ne");
  EXPECT_EQ(xmlSafeText(std::string("\x00\x01楼\x1f\x7f", 7) + "\xef\xbf\xbe\xef\xbf\xbfx"), "楼\x7fx");
  // Bytes that are no UTF-8 (a cut sequence, a lone byte) show as replacement characters.
  EXPECT_EQ(xmlSafeText("a\xef\xbf"), "a\xEF\xBF\xBD\xEF\xBF\xBD");
  std::string five;  // an overlong "/" and a surrogate: five bytes, none of them a character
  for (int i = 0; i < 5; ++i) five += "\xEF\xBF\xBD";
  EXPECT_EQ(xmlSafeText("\xc0\xaf\xed\xa0\x80"), five);
}

TEST(WrittenPackage, XmlProblems) {
  EXPECT_EQ(xmlProblem("<a>\t\r\n x</a>"), "");
  EXPECT_NE(xmlProblem("<a>\x0b</a>"), "");
  EXPECT_NE(xmlProblem("<a>\xef\xbf\xbf</a>"), "");
  EXPECT_NE(xmlProblem("<a><b></a>"), "");
  EXPECT_EQ(xmlProblem("<a>\xef\xbf\xbd</a>"), "");  // U+FFFD is allowed
}

}  // namespace
}  // namespace kro
