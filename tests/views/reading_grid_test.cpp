// The reading grid's texts and the row commands' ranges and selections.
#include "views/reading_grid.h"

#include <gtest/gtest.h>

#include "support/recording_frontend.h"

namespace kro {
namespace {

MemberRecord member(const std::string& code, std::vector<std::int32_t> readings) {
  MemberData d;
  d.code = code;
  d.designThickness = 120;
  for (std::int32_t t : readings) d.readings.push_back({0, t, 0});
  return MemberRecord(std::move(d));
}

TEST(ReadingGrid, CellTexts) {
  MemberRecord m = member("0001", {117, 128, 115, 129});
  const GridRows rows = gridRows(&m);
  EXPECT_EQ(gridRowCount(rows), 5);
  EXPECT_EQ(gridCellText(rows, 0, 1), "\r\n厚度值(mm)");
  EXPECT_EQ(gridCellText(rows, 1, 0), "1");
  EXPECT_EQ(gridCellText(rows, 1, 1), "117");
  EXPECT_EQ(gridCellText(rows, 1, 2), "-3");
  EXPECT_EQ(gridCellText(rows, 1, 3), "3");
  EXPECT_EQ(gridCellText(rows, 2, 4), "√");  // on the upper limit
  EXPECT_EQ(gridCellText(rows, 3, 4), "√");  // on the lower limit
  EXPECT_EQ(gridCellText(rows, 4, 4), "×");
  EXPECT_EQ(gridCellText(rows, 5, 1), "");
  EXPECT_TRUE(gridCellEditable(rows, 1, 1));
  EXPECT_FALSE(gridCellEditable(rows, 1, 2));
  EXPECT_FALSE(gridCellEditable(rows, 0, 1));
}

// The new row is blank and numbered; the readings below it move down a row.
TEST(ReadingGrid, TheNewRowExistsOnlyInTheGrid) {
  MemberRecord m = member("0001", {117, 128});
  const GridRows rows = gridRows(&m, 1);
  EXPECT_EQ(gridRowCount(rows), 4);
  EXPECT_EQ(gridCellText(rows, 2, 0), "2");
  EXPECT_EQ(gridCellText(rows, 2, 1), "");
  EXPECT_EQ(gridCellText(rows, 2, 4), "");
  EXPECT_EQ(gridCellText(rows, 3, 1), "128");
  EXPECT_TRUE(gridCellEditable(rows, 2, 1));
  EXPECT_EQ(rows.readingOf(2), 1);
  EXPECT_EQ(rows.readingOf(1), std::nullopt);
  EXPECT_EQ(rows.rowOf(1), 2);
  // A member without readings always shows one; a place out of range gives none.
  MemberRecord empty = member("0002", {});
  EXPECT_EQ(gridRows(&empty).pending, 0);
  EXPECT_EQ(gridRowCount(gridRows(&empty)), 2);
  EXPECT_EQ(gridRows(&m, 5).pending, std::nullopt);
}

TEST(ReadingGrid, TypedAndPastedValuesAreWholeNumbersOrRefused) {
  EXPECT_EQ(parseTypedThickness(" 121 "), 121);
  EXPECT_EQ(parseTypedThickness("-5"), -5);
  for (const char* bad : {"", "abc", "1x1", "12.5", "99999999999"})
    EXPECT_EQ(parseTypedThickness(bad), std::nullopt) << bad;
  EXPECT_EQ(parsePastedThicknesses("121\r\n122\t√\n\n123\n").value(),
            (std::vector<std::int32_t>{121, 122, 123}));
  auto refused = parsePastedThicknesses("121\n122\nabc\n");
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.message(), "第 3 行“abc”不是整数，没有粘贴。");
}

TEST(ReadingGrid, WithoutAMemberFiftyEmptyNumberedRows) {
  const GridRows none = gridRows(nullptr);
  EXPECT_EQ(gridRowCount(none), 51);
  EXPECT_EQ(gridCellText(none, 50, 0), "50");
  EXPECT_EQ(gridCellText(none, 50, 1), "");
  EXPECT_EQ(gridCellText(none, 0, 4), "\r\n是否合格");
  EXPECT_FALSE(gridCellEditable(none, 1, 1));
}

class RowCommandTest : public ::testing::Test {
 protected:
  void load(std::vector<MemberRecord> members) {
    doc.resetProject({std::move(members)});
    doc.selectMember(0);
  }
  GridRows rows(std::optional<int> pending = std::nullopt) {
    return gridRows(doc.currentMemberRecord(), pending);
  }
  test::RecordingFrontend ui;
  CKroAnalyzeDoc doc{&ui};
};

// The inserts open a new row and leave the document alone: a reading counts once typed.
TEST_F(RowCommandTest, InsertsOpenTheNewRow) {
  load({member("0001", {1, 2, 3})});
  int row = 1;
  RowCommandResult above = runRowCommand(doc, RowCommand::InsertAbove, rows(), row, std::nullopt);
  EXPECT_TRUE(above.ran);
  EXPECT_EQ(above.pending, 1);
  EXPECT_EQ(above.selection, (GridSelection{2, 1, 1}));
  row = 2;
  EXPECT_EQ(runRowCommand(doc, RowCommand::InsertBelow, rows(), row, std::nullopt).pending, 3);
  EXPECT_EQ(doc.currentMemberRecord()->readingCount(), 3);
  EXPECT_FALSE(doc.isModified());
  // Deleting the new row removes it and nothing else.
  row = 1;
  RowCommandResult gone = runRowCommand(doc, RowCommand::Delete, rows(1), row, std::nullopt);
  EXPECT_TRUE(gone.ran);
  EXPECT_EQ(gone.pending, std::nullopt);
  EXPECT_EQ(doc.currentMemberRecord()->readingCount(), 3);
  row = -1;  // a click on the header row
  EXPECT_FALSE(runRowCommand(doc, RowCommand::InsertAbove, rows(), row, std::nullopt).ran);
}

TEST_F(RowCommandTest, DeleteMovesTheRowBackAtTheEnd) {
  load({member("0001", {1, 2, 3})});
  int row = 2;
  RowCommandResult r = runRowCommand(doc, RowCommand::Delete, rows(), row, GridSelection{3, 0, 4});
  EXPECT_EQ(row, 1);
  EXPECT_EQ(r.selection, (GridSelection{2, 1, 4}));
  row = 0;
  runRowCommand(doc, RowCommand::Delete, rows(), row, std::nullopt);
  EXPECT_EQ(row, 0);
  runRowCommand(doc, RowCommand::Delete, rows(), row, std::nullopt);
  EXPECT_EQ(row, -1);  // the only reading is gone
  EXPECT_EQ(doc.currentMemberRecord()->readingCount(), 0);
}

TEST_F(RowCommandTest, GridMembersKeepOrClearTheirSelection) {
  load({member("W001", {1, 2, 3, 4})});
  int row = 1;
  RowCommandResult kept = runRowCommand(doc, RowCommand::Delete, rows(), row, GridSelection{2, 2, 4});
  EXPECT_EQ(kept.selection, (GridSelection{2, 1, 3}));
  RowCommandResult cleared = runRowCommand(doc, RowCommand::Delete, rows(), row, GridSelection{2, 4, 4});
  EXPECT_TRUE(cleared.cleared);
  EXPECT_FALSE(cleared.selection.has_value());
}

TEST_F(RowCommandTest, NothingWithoutACurrentMember) {
  int row = 0;
  EXPECT_FALSE(runRowCommand(doc, RowCommand::InsertAbove, rows(), row, std::nullopt).ran);
  EXPECT_EQ(refillSelection(doc), (GridSelection{1, 0, 4}));
}

}  // namespace
}  // namespace kro
