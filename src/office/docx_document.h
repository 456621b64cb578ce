// A .docx document in memory, seen as lines and tables, with the edits the reports make.
//
// The line model: every paragraph outside a table is one line, or several when it holds line
// breaks (each break starts a new line); every table row is one line, whatever its cells hold.
// A paragraph line is as long as its characters (a tab counts as one); a row line is as long
// as its cells, and its columns are the cell boundaries (column c is "in cell c", column =
// cells is the end of the row). The label of a numbered paragraph is not part of its text.
// Tables are counted from 1 in document order, top-level tables only.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "model/result.h"
#include "office/package.h"
#include "report/word_session.h"

namespace kro {

class DocxDocument {
 public:
  struct Position {
    int line = 0;
    int column = 0;
    bool operator==(const Position&) const = default;
  };

  // Reads a whole .docx package.
  static Result<std::unique_ptr<DocxDocument>> load(const std::filesystem::path& path);
  // The same from a file's bytes; path only names the file in messages.
  static Result<std::unique_ptr<DocxDocument>> loadBytes(std::string_view bytes,
                                                         const std::filesystem::path& path);
  // The same from the package's parts, already read.
  static Result<std::unique_ptr<DocxDocument>> loadParts(PackageParts parts,
                                                         const std::filesystem::path& path);
  // Writes the package to a temporary file beside path and renames it over path when complete.
  Status save(const std::filesystem::path& path);

  int lineCount();
  int lineLength(int line);
  bool isRowLine(int line);
  // A paragraph line: its numbering label, then its text. A row line: its cells' texts joined
  // by tabs.
  std::string lineText(int line);

  // Inserts text at a position. "\r\n" or "\r" starts a new paragraph (with the same paragraph
  // properties), a lone "\n" a line break. In a row line the text goes at the end of the cell at
  // the column. New text takes the formatting of the text before it. Returns the position after
  // the text; *runs receives the runs made.
  Position insert(Position at, std::string_view utf8, std::vector<pugi::xml_node>* runs = nullptr);
  static void applyFont(const std::vector<pugi::xml_node>& runs, const WordFontChange& change);
  // Merges cells first..last (from 0) of a row line into the first.
  Status mergeCells(int line, int first, int last);

  int tableCount();
  int rowCount(int table);
  int cellCount(int table, int row);
  std::string cellText(int table, int row, int column);  // paragraphs joined by "\n"
  // Replaces a cell's text; rows missing below the table are added (copies of its last row,
  // emptied). Fails for a table or column that does not exist.
  Status setCellText(int table, int row, int column, std::string_view utf8);
  Status setCellTextColor(int table, int row, int column, std::uint32_t rgb);
  // Rows first..last (clamped to the table) never split across pages and each stays with the
  // next row; with withNext the last one also stays with the paragraph after the table.
  Status keepRows(int table, int first, int last, bool withNext);
  // Rows first..last of a table are a block headed by row first. When the block may not fit on
  // one page it becomes a table of its own (the rows after it another), whose heading row
  // repeats at the top of every page; the tables after it are numbered higher.
  Status repeatBlockHeading(int table, int first, int last);
  // A table of rows x columns at a position: in place of an empty paragraph's line (the
  // paragraph stays after the table), else after the paragraph. Returns the first cell's
  // position. No rows: nothing is added.
  Position addTable(Position at, int rows, int columns);

 private:
  // The cell at table, row and column (all from 1), or none.
  pugi::xml_node existingCell(int table, int row, int column);
  struct Line {
    pugi::xml_node node;  // w:p or w:tr
    int segment = 0;      // for paragraphs: which break-separated part
  };

  void indexLines();
  void indexTables();
  bool mayBeLongerThanAPage(int rows);
  void invalidate() { linesValid_ = tablesValid_ = false; }
  int lineOf(pugi::xml_node node, int segment);
  Position insertInParagraph(pugi::xml_node paragraph, int segment, int column, std::string_view utf8,
                             std::vector<pugi::xml_node>* runs);
  std::string label(pugi::xml_node paragraph) const;

  std::vector<std::pair<std::string, std::string>> parts_;  // every package part but the body, in order
  pugi::xml_document body_;
  std::map<std::string, std::string> labels_;  // numbering id -> label text
  std::vector<Line> lines_;
  bool linesValid_ = false;
  std::vector<std::vector<pugi::xml_node>> tables_;  // rows of each top-level table
  bool tablesValid_ = false;
};

}  // namespace kro
