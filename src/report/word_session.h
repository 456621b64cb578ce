// The word processor as the reports drive it: documents made from templates, one selection that
// moves by lines and characters, typing, replacing, fonts, merged cells, table cells and tables.
//
// Positions count lines and characters in the active document. A move never fails (it stops at
// the ends of the document); operations that need a file or a table cell can fail, and a report
// stops at the first failure. Documents are written to the names given to saveAs when finish()
// is called, once, after the fill-in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "model/result.h"

namespace kro {

// Font properties set on the selection; fields left empty are not changed.
struct WordFontChange {
  std::optional<std::string> name;
  std::optional<bool> bold;
  std::optional<float> size;  // points
  std::optional<bool> underline;
  std::optional<std::uint32_t> underlineColor;  // 0xFF000000: automatic

  bool operator==(const WordFontChange&) const = default;
};

inline constexpr std::uint32_t kAutomaticColor = 0xFF000000;

class WordSession {
 public:
  virtual ~WordSession() = default;

  virtual void setVisible(bool visible) = 0;
  // A new document based on a template (Documents.Add); it becomes the active document.
  virtual Status addDocument(const std::filesystem::path& templatePath) = 0;
  // A template opened itself (Documents.Open); it becomes the active document.
  virtual Status openDocument(const std::filesystem::path& path) = 0;
  // The name under which the active document is saved.
  virtual Status saveAs(const std::filesystem::path& path) = 0;

  // Selection moves: by lines (keeping the column), by characters (extend: grow the selection),
  // and to the start of the line.
  virtual void moveDown(int lines) = 0;
  virtual void moveRight(int characters, bool extend) = 0;
  virtual void homeKey() = 0;
  // Inserts at the cursor and leaves the cursor after the text. "\r\n" or "\r" starts a new
  // paragraph, a lone "\n" a new line within the paragraph.
  virtual void typeText(std::string_view utf8) = 0;
  virtual void typeParagraph() = 0;
  // Replaces the selection by the text and leaves the new text selected.
  virtual void replaceSelection(std::string_view utf8) = 0;
  // Sets font properties of the selection.
  virtual void applyFont(const WordFontChange& change) = 0;
  // Merges the table cells the selection spans.
  virtual Status mergeSelectedCells() = 0;

  // The text of a cell of table `table` (all from 1), replacing what it held.
  virtual Status setCellText(int table, int row, int column, std::string_view utf8) = 0;
  // The text colour (0xRRGGBB) of everything in a cell.
  virtual Status setCellTextColor(int table, int row, int column, std::uint32_t rgb) = 0;
  // Keeps rows first..last of a table on one page when they fit: no row splits across pages
  // and each row but the last stays with the next.
  virtual Status keepRowsTogether(int table, int first, int last) = 0;
  // Rows first..last of a table are a block headed by row first. A block that may be longer
  // than a page goes into a table of its own whose heading row repeats at the top of each page;
  // the tables after it are numbered higher, so blocks are given from the last one up.
  virtual Status repeatBlockHeading(int table, int first, int last) = 0;
  // Keeps a table's last row on one page with the paragraph after it (a signature line).
  virtual Status keepTableWithNext(int table) = 0;
  // A table at the selection; the selection moves into its first cell.
  virtual Status addTable(int rows, int columns) = 0;

  // The active document will not be written; the previous one becomes active.
  virtual void discardDocument() = 0;
  // Writes every document to its saved name, in the order they were made, and stops at the
  // first that cannot be written; written counts those written before it.
  virtual Status finish(std::size_t& written) = 0;
};

}  // namespace kro
