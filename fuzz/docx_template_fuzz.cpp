// Fuzz target: the .docx template reader over arbitrary package bytes, then the line model the
// report generator walks and edits.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "office/docx_document.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto loaded = kro::DocxDocument::loadBytes(bytes, "fuzz.docx");
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
  return 0;
}
