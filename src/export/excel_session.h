// The spreadsheet as the export drives it: a workbook, a renamed sheet, text cells, merged
// ranges and the alignment of the sheet's columns.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "base/result.h"

namespace kro {

class ExcelSession {
 public:
  virtual ~ExcelSession() = default;

  // A new workbook with one sheet, "Sheet1".
  virtual Status addWorkbook() = 0;
  virtual void setVisible(bool visible) = 0;
  // Renames a sheet (names compare without regard to letter case); it becomes the sheet the
  // following calls write to.
  virtual Status renameSheet(std::string_view from, std::string_view to) = 0;
  virtual Status useSheet(std::string_view name) = 0;
  // Adds a sheet after the others; it becomes the sheet the following calls write to.
  virtual Status addSheet(std::string_view name) = 0;
  // Rows and columns count from 1.
  virtual void setCellText(int row, int column, std::string_view utf8) = 0;
  virtual void mergeCells(int row, int column, int rows, int columns) = 0;
  // Alignment of all columns of the sheet, as the spreadsheet's numbers (horizontal 2,
  // vertical 4 in the export).
  virtual void setColumnsAlignment(int horizontal, int vertical) = 0;
  // Writes the workbook.
  virtual Status saveAs(const std::filesystem::path& path) = 0;
};

}  // namespace kro
