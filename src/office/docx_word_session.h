// The word processor's calls on .docx documents: each document is made from a template, edited
// through one selection, and written once by finish() to the name saveAs gave it.
//
// The selection: a position (line, column) in the active document's line model (see
// DocxDocument), an anchor while it is extended, and the text a replace inserted.
// - moveDown keeps the column it started from across vertical moves and clamps it to each
//   line's length; it stops at the last line.
// - moveRight steps one character at a time; past the end of a line it goes to the start of
//   the next (a line end counts as one step); it stops at the end of the document.
// - After typing, the cursor is after the text; after a replace, the new text is selected and
//   the next move starts from its end.
// - A table added at the selection takes the place of an empty paragraph (or follows the
//   paragraph) and the selection moves into its first cell.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "office/docx_document.h"
#include "report/word_session.h"

namespace kro {

class DocxWordSession : public WordSession {
 public:
  void setVisible(bool) override {}
  Status addDocument(const std::filesystem::path& templatePath) override;
  Status openDocument(const std::filesystem::path& path) override;
  Status saveAs(const std::filesystem::path& path) override;
  void moveDown(int lines) override;
  void moveRight(int characters, bool extend) override;
  void homeKey() override;
  void typeText(std::string_view utf8) override;
  void typeParagraph() override;
  void replaceSelection(std::string_view utf8) override;
  void applyFont(const WordFontChange& change) override;
  Status mergeSelectedCells() override;
  Status setCellText(int table, int row, int column, std::string_view utf8) override;
  Status setCellTextColor(int table, int row, int column, std::uint32_t rgb) override;
  Status keepRowsTogether(int table, int first, int last) override;
  Status repeatBlockHeading(int table, int first, int last) override;
  Status keepTableWithNext(int table) override;
  Status addTable(int rows, int columns) override;
  void discardDocument() override;
  Status finish(std::size_t& written) override;

  DocxDocument* activeDocument() {
    return active_ < 0 ? nullptr : documents_[static_cast<std::size_t>(active_)].doc.get();
  }
  DocxDocument::Position position() const { return position_; }

 private:
  struct Open {
    std::unique_ptr<DocxDocument> doc;
    std::filesystem::path savedName;
  };
  Status make(const std::filesystem::path& path);
  void clearSelection();

  std::vector<Open> documents_;
  int active_ = -1;
  DocxDocument::Position position_;
  std::optional<DocxDocument::Position> anchor_;
  std::optional<int> desiredColumn_;
  std::vector<pugi::xml_node> selectedRuns_;
};

}  // namespace kro
