// The spreadsheet's calls on an .xlsx workbook kept as a model and written with libxlsxwriter
// on save (libxlsxwriter fixes a sheet's name when the sheet is made).
//
// Alignment numbers follow the spreadsheet's own scale, one above the file format's codes:
// horizontal 1 general, 2 left, 3 centre, 4 right, 5 fill, 6 justify, 7 centre across;
// vertical 1 top, 2 centre, 3 bottom, 4 justify, 5 distributed. The export's 2 and 4 are
// therefore "left" and "vertical justify".
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "export/excel_session.h"

namespace kro {

class XlsxExcelSession : public ExcelSession {
 public:
  struct Merge {
    int row, column, rows, columns;
    auto operator<=>(const Merge&) const = default;
  };
  struct Sheet {
    std::string name;
    std::map<std::pair<int, int>, std::string> cells;
    std::vector<Merge> merges;   // in the order made
    std::set<Merge> mergesMade;  // the same, to make each once
    std::optional<std::pair<int, int>> alignment;
  };

  Status addWorkbook() override;
  void setVisible(bool) override {}
  Status renameSheet(std::string_view from, std::string_view to) override;
  Status useSheet(std::string_view name) override;
  Status addSheet(std::string_view name) override;
  void setCellText(int row, int column, std::string_view utf8) override;
  void mergeCells(int row, int column, int rows, int columns) override;
  void setColumnsAlignment(int horizontal, int vertical) override;
  Status saveAs(const std::filesystem::path& path) override;

  const std::vector<Sheet>& sheets() const { return sheets_; }

 private:
  Sheet* find(std::string_view name);

  std::vector<Sheet> sheets_;
  int current_ = -1;
};

}  // namespace kro
