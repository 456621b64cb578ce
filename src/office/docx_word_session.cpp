// The selection and the documents of a Word session on .docx files.
#include "office/docx_word_session.h"

#include <algorithm>
#include <limits>

namespace kro {

Status DocxWordSession::make(const std::filesystem::path& path) {
  auto doc = DocxDocument::load(path);
  if (!doc) return Error{doc.message()};
  documents_.push_back({std::move(doc.value()), {}});
  active_ = static_cast<int>(documents_.size()) - 1;
  position_ = {};
  desiredColumn_.reset();
  clearSelection();
  return Status::success();
}

// Both make a document in memory from the file; the file itself is never written.
Status DocxWordSession::addDocument(const std::filesystem::path& templatePath) { return make(templatePath); }
Status DocxWordSession::openDocument(const std::filesystem::path& path) { return make(path); }

Status DocxWordSession::saveAs(const std::filesystem::path& path) {
  if (active_ < 0) return Error{"没有打开的文档。"};
  documents_[static_cast<std::size_t>(active_)].savedName = path;
  return Status::success();
}

void DocxWordSession::clearSelection() {
  anchor_.reset();
  selectedRuns_.clear();
}

void DocxWordSession::moveDown(int lines) {
  DocxDocument* doc = activeDocument();
  if (doc == nullptr || doc->lineCount() == 0) return;
  if (!desiredColumn_) desiredColumn_ = position_.column;
  position_.line = std::clamp(position_.line + std::max(0, lines), 0, doc->lineCount() - 1);
  position_.column = std::min(*desiredColumn_, doc->lineLength(position_.line));
  clearSelection();
}

void DocxWordSession::moveRight(int characters, bool extend) {
  DocxDocument* doc = activeDocument();
  if (doc == nullptr || doc->lineCount() == 0) return;
  selectedRuns_.clear();
  if (extend && !anchor_) anchor_ = position_;
  if (!extend) anchor_.reset();
  desiredColumn_.reset();
  for (int i = 0; i < characters; ++i) {
    if (position_.column < doc->lineLength(position_.line)) {
      ++position_.column;
    } else if (position_.line + 1 < doc->lineCount()) {
      ++position_.line;
      position_.column = 0;
    } else {
      break;
    }
  }
}

void DocxWordSession::homeKey() {
  position_.column = 0;
  desiredColumn_.reset();
  clearSelection();
}

void DocxWordSession::typeText(std::string_view utf8) {
  DocxDocument* doc = activeDocument();
  if (doc == nullptr) return;
  position_ = doc->insert(position_, utf8);
  desiredColumn_.reset();
  clearSelection();
}

void DocxWordSession::typeParagraph() { typeText("\r\n"); }

void DocxWordSession::replaceSelection(std::string_view utf8) {
  DocxDocument* doc = activeDocument();
  if (doc == nullptr) return;
  std::vector<pugi::xml_node> runs;
  position_ = doc->insert(position_, utf8, &runs);
  desiredColumn_.reset();
  anchor_.reset();
  selectedRuns_ = std::move(runs);
}

void DocxWordSession::applyFont(const WordFontChange& change) {
  DocxDocument::applyFont(selectedRuns_, change);
}

Status DocxWordSession::mergeSelectedCells() {
  DocxDocument* doc = activeDocument();
  if (doc == nullptr) return Error{"没有打开的文档。"};
  const DocxDocument::Position from = anchor_.value_or(position_);
  if (from.line != position_.line) return Error{"选定的单元格不在同一行，无法合并。"};
  const int first = std::min(from.column, position_.column);
  const int last = std::max(first, std::max(from.column, position_.column) - 1);
  Status merged = doc->mergeCells(position_.line, first, last);
  position_.column = first;
  clearSelection();
  return merged;
}

Status DocxWordSession::setCellText(int table, int row, int column, std::string_view utf8) {
  DocxDocument* doc = activeDocument();
  if (doc == nullptr) return Error{"没有打开的文档。"};
  return doc->setCellText(table, row, column, utf8);
}

Status DocxWordSession::setCellTextColor(int table, int row, int column, std::uint32_t rgb) {
  DocxDocument* doc = activeDocument();
  if (doc == nullptr) return Error{"没有打开的文档。"};
  return doc->setCellTextColor(table, row, column, rgb);
}

Status DocxWordSession::keepRowsTogether(int table, int first, int last) {
  DocxDocument* doc = activeDocument();
  if (doc == nullptr) return Error{"没有打开的文档。"};
  return doc->keepRows(table, first, last, false);
}

Status DocxWordSession::repeatBlockHeading(int table, int first, int last) {
  DocxDocument* doc = activeDocument();
  if (doc == nullptr) return Error{"没有打开的文档。"};
  return doc->repeatBlockHeading(table, first, last);
}

Status DocxWordSession::keepTableWithNext(int table) {
  DocxDocument* doc = activeDocument();
  if (doc == nullptr) return Error{"没有打开的文档。"};
  return doc->keepRows(table, std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), true);
}

Status DocxWordSession::addTable(int rows, int columns) {
  DocxDocument* doc = activeDocument();
  if (doc == nullptr) return Error{"没有打开的文档。"};
  position_ = doc->addTable(position_, rows, columns);
  desiredColumn_.reset();
  clearSelection();
  return Status::success();
}

void DocxWordSession::discardDocument() {
  if (active_ < 0) return;
  documents_.erase(documents_.begin() + active_);
  active_ = static_cast<int>(documents_.size()) - 1;
  position_ = {};
  desiredColumn_.reset();
  clearSelection();
}

Status DocxWordSession::finish(std::size_t& written) {
  written = 0;
  for (Open& open : documents_) {
    if (open.savedName.empty()) continue;
    if (Status s = open.doc->save(open.savedName); !s) return s;
    ++written;
  }
  return Status::success();
}

}  // namespace kro
