// Reading grid contents and the row commands' selection rules.
#include "views/reading_grid.h"

#include <cstdlib>

#include "model/statistics.h"

namespace kro {

int gridRowCount(const MemberRecord* member) {
  return (member != nullptr ? member->readingCount() : kGridEmptyRows) + 1;
}

std::string gridCellText(const MemberRecord* member, int row, int column) {
  if (column < 0 || column >= kGridColumns || row < 0 || row >= gridRowCount(member)) return {};
  if (row == 0) return std::string(kGridHeaders[static_cast<std::size_t>(column)]);
  if (column == 0) return std::to_string(row);
  if (member == nullptr) return {};
  const int k = row - 1;
  switch (column) {
    case 1:
      return std::to_string(member->readingAt(k));
    case 2:
      return std::to_string(deviationOf(*member, k));
    case 3:
      return std::to_string(std::llabs(deviationOf(*member, k)));
    default:
      return passesTolerance(*member, k) ? "√" : "×";
  }
}

bool gridCellEditable(const MemberRecord* member, int row, int column) {
  return member != nullptr && column == 1 && row >= 1 && row <= member->readingCount();
}

GridSelection refillSelection(const CKroAnalyzeDoc& doc) {
  return {doc.currentReading() + 1, 0, kGridColumns - 1};
}

RowCommandResult runRowCommand(CKroAnalyzeDoc& doc, RowCommand command, int& currentRow,
                               std::optional<GridSelection> before) {
  const MemberRecord* member = doc.currentMemberRecord();
  if (member == nullptr) return {};
  const int count = member->readingCount();
  const bool gridKind = member->memberKind() == MemberKind::GridTest;
  RowCommandResult result;
  switch (command) {
    case RowCommand::InsertAbove:
      if (currentRow < 0 || currentRow > count) return {};
      doc.insertReadingBefore(currentRow);
      break;
    case RowCommand::InsertBelow:
      if (currentRow < 0 || currentRow > count - 1) return {};
      doc.insertReadingAfter(currentRow);
      break;
    case RowCommand::Delete: {
      if (currentRow < 0 || currentRow > count - 1) return {};
      doc.deleteReading(currentRow);
      const int remaining = doc.currentMemberRecord()->readingCount();
      if (currentRow >= remaining - 1) currentRow = remaining - 1;
      if (gridKind) {
        result.ran = true;
        if (before && before->firstColumn <= 3) {
          result.selection = GridSelection{before->row, 1, 3};
        } else {
          result.cleared = true;
        }
        return result;
      }
      break;
    }
  }
  result.ran = true;
  if (!gridKind) result.selection = GridSelection{currentRow + 1, 1, kGridColumns - 1};
  return result;
}

}  // namespace kro
