// Reading grid contents and the row commands' selection rules.
#include "views/reading_grid.h"

#include <charconv>
#include <cstdlib>

#include "model/statistics.h"

namespace kro {

int GridRows::count() const {
  if (member == nullptr) return kGridEmptyRows;
  return member->readingCount() + (pending ? 1 : 0);
}

std::optional<int> GridRows::readingOf(int row) const {
  if (member == nullptr || row < 0 || row >= count() || isNew(row)) return std::nullopt;
  return pending && row > *pending ? row - 1 : row;
}

GridRows gridRows(const MemberRecord* member, std::optional<int> pending) {
  GridRows rows{member, std::nullopt};
  if (member == nullptr) return rows;
  if (member->readingCount() == 0) pending = 0;
  if (pending && *pending >= 0 && *pending <= member->readingCount()) rows.pending = pending;
  return rows;
}

int gridRowCount(const GridRows& rows) { return rows.count() + 1; }

std::string gridCellText(const GridRows& rows, int row, int column) {
  if (column < 0 || column >= kGridColumns || row < 0 || row >= gridRowCount(rows)) return {};
  if (row == 0) return std::string(kGridHeaders[static_cast<std::size_t>(column)]);
  if (column == 0) return std::to_string(row);
  const std::optional<int> reading = rows.readingOf(row - 1);
  if (!reading) return {};
  const MemberRecord& m = *rows.member;
  switch (column) {
    case 1:
      return std::to_string(m.readingAt(*reading));
    case 2:
      return std::to_string(deviationOf(m, *reading));
    case 3:
      return std::to_string(std::llabs(deviationOf(m, *reading)));
    default:
      return gridRowFails(rows, row) ? "×" : "√";
  }
}

bool gridRowFails(const GridRows& rows, int row) {
  if (rows.member == nullptr || row < 1) return false;
  const std::optional<int> reading = rows.readingOf(row - 1);
  if (!reading) return false;
  const MemberRecord& m = *rows.member;
  return !(rows.rule != nullptr ? readingPasses(m, *reading, *rows.rule) : passesTolerance(m, *reading));
}

bool gridCellEditable(const GridRows& rows, int row, int column) {
  return rows.member != nullptr && column == 1 && row >= 1 && row <= rows.count();
}

std::optional<std::int32_t> parseTypedThickness(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  std::int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || at != end) return std::nullopt;
  return value;
}

Result<std::vector<std::int32_t>> parsePastedThicknesses(std::string_view text) {
  std::vector<std::int32_t> values;
  int line = 0;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view row = text.substr(start, end - start);
    ++line;
    start = end + 1;
    if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
    const std::string_view cell = row.substr(0, row.find('\t'));
    if (cell.find_first_not_of(" \t") == std::string_view::npos) continue;
    const auto value = parseTypedThickness(cell);
    if (!value) {
      return Error{"第 " + std::to_string(line) + " 行“" + std::string(cell) + "”不是整数，没有粘贴。"};
    }
    values.push_back(*value);
  }
  return values;
}

GridSelection refillSelection(const CKroAnalyzeDoc& doc) {
  const MemberRecord* member = doc.currentMemberRecord();
  if (member != nullptr && member->readingCount() == 0) return {1, 1, 1};  // the blank row, for typing
  return {doc.currentReading() + 1, 0, kGridColumns - 1};
}

RowCommandResult runRowCommand(CKroAnalyzeDoc& doc, RowCommand command, const GridRows& rows, int& currentRow,
                               std::optional<GridSelection> before) {
  const MemberRecord* member = doc.currentMemberRecord();
  if (member == nullptr || currentRow < 0 || currentRow >= rows.count()) return {};
  const bool gridKind = member->memberKind() == MemberKind::GridTest;
  const std::optional<int> reading = rows.readingOf(currentRow);
  RowCommandResult result;
  result.ran = true;
  switch (command) {
    case RowCommand::InsertAbove:
    case RowCommand::InsertBelow: {
      // The new row takes the place of the row's reading (above) or of the one after it
      // (below); on the new row itself it stays where it is.
      int at = reading ? *reading + (command == RowCommand::InsertBelow ? 1 : 0) : *rows.pending;
      result.pending = at;
      currentRow = at;
      result.selection = GridSelection{at + 1, 1, 1};
      return result;
    }
    case RowCommand::Delete: {
      if (!reading) {  // the new row goes, and nothing else
        result.pending = std::nullopt;
        currentRow = std::max(0, std::min(currentRow, member->readingCount() - 1));
        result.selection = GridSelection{currentRow + 1, 1, kGridColumns - 1};
        return result;
      }
      doc.deleteReading(*reading);
      const int remaining = doc.currentMemberRecord()->readingCount();
      currentRow = std::min(*reading, remaining - 1);
      if (gridKind) {
        if (before && before->firstColumn <= 3) {
          result.selection = GridSelection{before->row, 1, 3};
        } else {
          result.cleared = true;
        }
        return result;
      }
      result.selection = GridSelection{currentRow + 1, 1, kGridColumns - 1};
      return result;
    }
  }
  return result;
}

}  // namespace kro
