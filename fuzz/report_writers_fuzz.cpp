// Fuzz target: the report and workbook writers over arbitrary texts. The first byte picks the
// report format; the rest, split at NUL bytes (a text may be repeated up to 64 KB), gives the
// format's parameters in order, then
// each member's code, name and test date (as the instrument's GBK bytes) and readings. Every
// document must be written (a writer refusing its own output is a finding too) and every XML
// part of what was written must parse.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "export/spreadsheet_export.h"
#include "model/gbk_text.h"
#include "office/docx_template.h"
#include "office/package.h"
#include "office/xlsx_excel_session.h"
#include "report/project_parameters.h"
#include "report/report_generator.h"

namespace fs = std::filesystem;

namespace {

// The templates beside the programs: KRO_BIN_DIR, else ../bin from this executable's folder.
fs::path templateFolder() {
  if (const char* dir = std::getenv("KRO_BIN_DIR")) return dir;
  return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin";
}

const fs::path& workFolder() {
  static const fs::path folder = [] {
    std::string name = (fs::temp_directory_path() / "kro-writers-XXXXXX").string();
    if (::mkdtemp(name.data()) == nullptr) std::abort();
    fs::create_directories(fs::path(name) / "config");
    return fs::path(name);
  }();
  // Registered once the path exists, so it runs before the path is destroyed.
  static const bool removedAtExit = std::atexit([] {
                                      std::error_code ignored;
                                      fs::remove_all(workFolder(), ignored);
                                    }) == 0;
  static_cast<void>(removedAtExit);
  return folder;
}

[[noreturn]] void finding(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::abort();
}

void mustBeWellFormed(const fs::path& file) {
  if (kro::Status parsed = kro::checkWrittenPackage(file, file); !parsed) finding(parsed.message());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int format = data[0] % kro::kReportFormatCount;
  // A text beginning with 0xFF and two bytes n is its remaining bytes repeated to n bytes, so
  // that short inputs reach texts of up to 64 KB.
  std::vector<std::string> texts(1);
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] == 0) {
      texts.emplace_back();
    } else if (texts.back().size() < 200) {
      texts.back() += static_cast<char>(data[i]);
    }
  }
  for (std::string& text : texts) {
    if (text.size() < 4 || static_cast<unsigned char>(text[0]) != 0xFF) continue;
    const std::size_t length =
        (static_cast<unsigned char>(text[1]) << 8) | static_cast<unsigned char>(text[2]);
    const std::string unit = text.substr(3);
    text.clear();
    while (text.size() < length) text += unit;
    text.resize(length);
  }
  std::size_t next = 0;
  auto take = [&]() -> std::string { return next < texts.size() ? texts[next++] : std::string(); };

  // The project's parameters (texts decoded, so any character may occur).
  kro::ParameterValues parameters;
  for (const kro::ParameterDefinition& field : kro::parameterDefinitions()) {
    parameters.set(field.name, kro::gbkToUtf8(take()));
  }

  kro::Project project;
  while (next < texts.size() && project.members.size() < 12) {
    kro::MemberData m;
    m.code = take();
    m.name = take();
    m.testDate = take();
    const std::string readings = take();
    m.designThickness = readings.empty() ? 120 : static_cast<unsigned char>(readings[0]);
    for (std::size_t i = 1; i < readings.size(); ++i) {
      m.readings.push_back({0, static_cast<unsigned char>(readings[i]) * 2, 0});
    }
    project.members.emplace_back(std::move(m));
  }
  if (project.members.empty()) project.members.emplace_back(kro::MemberData{});

  const kro::OfficePaths paths{{templateFolder()}, workFolder(), {}};
  kro::DocxTemplateFiller filler(kro::fieldCatalog());
  auto written = kro::writeReport(project, parameters, kro::ChosenFormat{format, {}, "fuzz"}, filler, paths,
                                  {2026, 12, 8});
  if (!written) finding("报告未写成：" + written.message());
  if (!written.value().dataTableError.empty()) finding("数据表格未写成：" + written.value().dataTableError);
  mustBeWellFormed(written.value().report);
  mustBeWellFormed(written.value().dataTable);

  kro::XlsxExcelSession excel;
  auto workbook = kro::exportToSpreadsheet(project, {}, excel, workFolder() / "w.xlsx");
  if (!workbook) finding("工作簿未写成：" + workbook.message());
  mustBeWellFormed(workbook.value());
  return 0;
}
