// Fuzz target: the report engine on any template: read, checked and, when sound, filled, and
// the document written read back. The first byte chooses what the rest is: even, the bytes of a
// whole package; odd, the body (word/document.xml) of a real template, so that the XML layer is
// reached without getting past zip checksums first. Every message is UTF-8 whatever the
// template holds (it reaches JSON and the terminal).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "model/file_io.h"
#include "model/sample_project.h"
#include "model/utf8_text.h"
#include "office/docx_template.h"
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
  kro::PackageParts parts;
  if (data[0] % 2 == 0) {
    auto read = kro::readPackage(bytes, "fuzz.docx");
    if (!read) {
      if (read.message().empty()) std::abort();  // every refusal says why
      return 0;
    }
    parts = std::move(read.value());
  } else {
    parts = templateParts();
    for (auto& [name, part] : parts) {
      if (name == "word/document.xml") part = std::string(bytes);
    }
  }
  // Checked, and filled when its fields are sound: what is written must parse.
  static const fs::path filled =
      fs::temp_directory_path() / ("kro-fuzz-format-" + std::to_string(::getpid()) + ".docx");
  auto utf8 = [](const std::string& text) { return kro::invalidUtf8At(text) == std::string::npos; };
  auto fields = kro::checkTemplateParts(parts, "fuzz.docx", kro::fieldCatalog());
  if (!fields) {
    if (fields.message().empty() || !utf8(fields.message())) std::abort();
    return 0;
  }
  for (const std::string& problem : fields.value().problems) {
    if (!utf8(problem)) std::abort();
  }
  if (!fields.value().problems.empty()) return 0;
  static const kro::ReportValues values = [] {
    kro::Project project;
    project.members = kro::makeSampleProject();
    return kro::reportValues(project, kro::ParameterValues{}, {2026, 12, 8});
  }();
  kro::Status written =
      kro::fillTemplateParts(std::move(parts), "fuzz.docx", kro::fieldCatalog(), values, filled);
  if (written && !kro::checkWrittenPackage(filled, filled)) std::abort();
  if (!written && !utf8(written.message())) std::abort();
  kro::removeQuietly(filled);
  return 0;
}
