// The text of a written .docx as a reader sees it: a paragraph (a table cell's too) to a line,
// line breaks and tabs within them as "\n" and "\t".
#pragma once

#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "model/file_io.h"
#include "office/package.h"

namespace kro::test {

inline void appendText(pugi::xml_node node, std::string& out) {
  for (pugi::xml_node c : node.children()) {
    const std::string_view name = c.name();
    if (name == "w:t") {
      out += c.child_value();
    } else if (name == "w:br" || name == "w:cr") {
      out += '\n';
    } else if (name == "w:tab") {
      out += '\t';
    } else if (name == "w:p") {
      appendText(c, out);
      out += '\n';
    } else {
      appendText(c, out);
    }
  }
}

inline std::string docxText(const std::filesystem::path& file, std::string_view part = "word/document.xml") {
  auto bytes = readWholeFile(file, 1u << 30);
  if (!bytes) return {};
  auto parts = readPackage(bytes.value(), file);
  if (!parts) return {};
  for (const auto& [name, data] : parts.value()) {
    if (name != part) continue;
    pugi::xml_document doc;
    doc.load_buffer(data.data(), data.size());
    std::string out = "\n";
    appendText(doc, out);
    return out;
  }
  return {};
}

}  // namespace kro::test
