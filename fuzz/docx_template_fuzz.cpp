// Fuzz target: the .docx template reader, then the line model the report generator walks and
// edits, then the document written out and read back. The first byte chooses what the rest is:
// even, the bytes of a whole package; odd, the body (word/document.xml) of a real template, so
// that the XML layer is reached without getting past zip checksums first, checked and filled as
// a user format.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "model/file_io.h"
#include "model/sample_project.h"
#include "office/docx_document.h"
#include "office/field_template.h"
#include "office/package.h"

namespace fs = std::filesystem;

namespace {

// The parts of report 1's template: KRO_BIN_DIR, else ../bin from this executable's folder.
const kro::PackageParts& templateParts() {
  static const kro::PackageParts parts = [] {
    const char* dir = std::getenv("KRO_BIN_DIR");
    const fs::path folder = dir != nullptr
                                ? fs::path(dir)
                                : fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin";
    auto bytes = kro::readWholeFile(folder / "检测报告1.docx", kro::kMaxTemplateFileSize);
    if (!bytes) std::abort();
    auto read = kro::readPackage(bytes.value(), "检测报告1.docx");
    if (!read) std::abort();
    return read.value();
  }();
  return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  kro::Result<std::unique_ptr<kro::DocxDocument>> loaded = kro::Error{};
  if (data[0] % 2 == 0) {
    loaded = kro::DocxDocument::loadBytes(bytes, "fuzz.docx");
  } else {
    kro::PackageParts parts = templateParts();
    for (auto& [name, part] : parts) {
      if (name == "word/document.xml") part = std::string(bytes);
    }
    // As a user format: its fields checked, and filled when they are sound.
    static const fs::path filled =
        fs::temp_directory_path() / ("kro-fuzz-format-" + std::to_string(::getpid()) + ".docx");
    auto fields = kro::checkUserTemplate(parts, "fuzz.docx");
    if (fields && fields.value().problems.empty()) {
      static const kro::UserReportValues values = [] {
        kro::Project project;
        project.members = kro::makeSampleProject();
        return kro::userReportValues(project, kro::ParameterValues{}, {2026, 12, 8});
      }();
      kro::Status written = kro::fillUserTemplate(parts, "fuzz.docx", values, filled);
      if (written && !kro::checkWrittenPackage(filled, filled)) std::abort();
    }
    loaded = kro::DocxDocument::loadParts(std::move(parts), "fuzz.docx");
  }
  if (!loaded) {
    if (loaded.message().empty()) std::abort();  // every refusal says why
    return 0;
  }
  kro::DocxDocument& doc = *loaded.value();
  const int lines = doc.lineCount();
  for (int line = 0; line < lines && line < 200; ++line) {
    const int length = doc.lineLength(line);
    if (length < 0) std::abort();
    doc.lineText(line);
    doc.isRowLine(line);
  }
  for (int table = 1; table <= doc.tableCount() && table <= 8; ++table) doc.rowCount(table);
  if (lines > 0) {
    // An edit in the middle of a line and one at its end, as the generator makes them.
    doc.insert({lines / 2, doc.lineLength(lines / 2) / 2}, "工程\n名称");
    doc.insert({0, doc.lineLength(0)}, "x");
    if (doc.lineCount() < lines) std::abort();
  }
  // What was accepted is written, or refused with a reason, never written broken.
  static const fs::path out =
      fs::temp_directory_path() / ("kro-fuzz-template-" + std::to_string(::getpid()) + ".docx");
  if (kro::Status saved = doc.save(out); saved) {
    if (!kro::checkWrittenPackage(out, out)) std::abort();
  } else if (saved.message().empty()) {
    std::abort();
  }
  return 0;
}
