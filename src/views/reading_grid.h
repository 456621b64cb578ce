// The reading grid's contents and row commands, without any widget.
//
// Row 0 holds the headers, column 0 the reading numbers; row r shows reading r - 1: its
// thickness (the only editable cell), its deviation from the design thickness, the absolute
// deviation, and a pass mark. Without a current member the grid shows 50 empty numbered rows.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "model/document.h"

namespace kro {

inline constexpr int kGridColumns = 5;
inline constexpr int kGridEmptyRows = 50;
inline constexpr int kGridHeaderHeight = 40;
inline constexpr int kGridRowHeight = 25;
inline constexpr int kGridColumnWidth = 100;
inline constexpr std::array<std::string_view, kGridColumns> kGridHeaders = {
    "\r\n测点号", "\r\n厚度值(mm)", "\r\n偏差(mm)", "\r\n相对偏差(mm)", "\r\n是否合格"};

// Rows including the header row.
int gridRowCount(const MemberRecord* member);
// The text of a cell (row 0: headers).
std::string gridCellText(const MemberRecord* member, int row, int column);
bool gridCellEditable(const MemberRecord* member, int row, int column);

enum class RowCommand { InsertAbove, InsertBelow, Delete };

// A selection of columns first..last of one grid row.
struct GridSelection {
  int row = 0;
  int firstColumn = 0;
  int lastColumn = kGridColumns - 1;
  bool operator==(const GridSelection&) const = default;
};

// The selection the grid shows after a refill: the current reading's row across all columns.
GridSelection refillSelection(const CKroAnalyzeDoc& doc);

struct RowCommandResult {
  bool ran = false;
  // What to select afterwards; nothing: keep the refill's selection. cleared: select nothing.
  std::optional<GridSelection> selection;
  bool cleared = false;
};

// Runs a row command on the current member at the grid's current row (a reading index), which
// a deletion may move. before: the grid's selection before the command.
RowCommandResult runRowCommand(CKroAnalyzeDoc& doc, RowCommand command, int& currentRow,
                               std::optional<GridSelection> before);

}  // namespace kro
