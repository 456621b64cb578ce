// The reading grid's contents and row commands, without any widget.
//
// Row 0 holds the headers, column 0 the row numbers; the rows below show the readings: the
// thickness (the only editable cell), the deviation from the design thickness, the absolute
// deviation, and a pass mark. Without a current member the grid shows 50 empty numbered rows.
//
// The grid may hold one new row, blank, that exists only in the grid: it is no reading, counts
// in no figure and is never saved until a value is typed into it. A member without readings
// always shows one.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "model/document.h"
#include "model/judging_rule.h"

namespace kro {

inline constexpr int kGridColumns = 5;
inline constexpr int kGridEmptyRows = 50;
inline constexpr int kGridHeaderHeight = 40;
inline constexpr int kGridRowHeight = 25;
inline constexpr int kGridColumnWidth = 100;
inline constexpr std::array<std::string_view, kGridColumns> kGridHeaders = {
    "\r\n测点号", "\r\n厚度值(mm)", "\r\n偏差(mm)", "\r\n相对偏差(mm)", "\r\n是否合格"};

// The data rows of a member's grid (without the header row), with its new row.
struct GridRows {
  const MemberRecord* member = nullptr;
  std::optional<int> pending;  // the new row stands where reading `pending` would (0..readings)
  // The band a reading is marked by: the project's rule's; none for the member's own.
  const JudgingRule* rule = nullptr;

  int count() const;
  bool isNew(int row) const { return pending && row == *pending; }
  // The reading a data row (from 0) shows; nothing for the new row and out of range.
  std::optional<int> readingOf(int row) const;
  // The data row of a reading.
  int rowOf(int reading) const { return pending && reading >= *pending ? reading + 1 : reading; }
};
// The grid of a member with the new row asked for: kept in 0..readings, and at 0 for a member
// without readings.
GridRows gridRows(const MemberRecord* member, std::optional<int> pending = std::nullopt);

// Rows including the header row.
int gridRowCount(const GridRows& rows);
// The text of a cell (row 0: headers).
std::string gridCellText(const GridRows& rows, int row, int column);
// True for a row whose reading is outside the band it is judged by (the grid shows it in red).
bool gridRowFails(const GridRows& rows, int row);
// The thickness of every reading, and of the new row.
bool gridCellEditable(const GridRows& rows, int row, int column);

// A value typed into a thickness cell: a whole number of millimetres (blanks around it
// allowed); nothing for anything else.
std::optional<std::int32_t> parseTypedThickness(std::string_view text);
// Pasted text: the first cell of each line (tab-separated; empty lines skipped). Refused, naming
// the line, when one is not a whole number.
Result<std::vector<std::int32_t>> parsePastedThicknesses(std::string_view text);

enum class RowCommand { InsertAbove, InsertBelow, Delete };

// A selection of columns first..last of one grid row.
struct GridSelection {
  int row = 0;
  int firstColumn = 0;
  int lastColumn = kGridColumns - 1;
  bool operator==(const GridSelection&) const = default;
};

// The selection the grid shows after a refill: the current reading's row across all columns; in
// a member without readings, the thickness cell of its blank new row.
GridSelection refillSelection(const CKroAnalyzeDoc& doc);

struct RowCommandResult {
  bool ran = false;
  // What to select afterwards; nothing: keep the refill's selection. cleared: select nothing.
  std::optional<GridSelection> selection;
  bool cleared = false;
  // The grid's new row afterwards: the inserts make one (the document is not changed until a
  // value is typed), deleting it removes it.
  std::optional<int> pending;
};

// Runs a row command on the current member at the grid's current data row, which a deletion may
// move. rows: the grid before the command; before: its selection.
RowCommandResult runRowCommand(CKroAnalyzeDoc& doc, RowCommand command, const GridRows& rows, int& currentRow,
                               std::optional<GridSelection> before);

}  // namespace kro
