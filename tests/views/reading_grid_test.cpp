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
  EXPECT_EQ(gridRowCount(&m), 5);
  EXPECT_EQ(gridCellText(&m, 0, 1), "\r\n厚度值(mm)");
  EXPECT_EQ(gridCellText(&m, 1, 0), "1");
  EXPECT_EQ(gridCellText(&m, 1, 1), "117");
  EXPECT_EQ(gridCellText(&m, 1, 2), "-3");
  EXPECT_EQ(gridCellText(&m, 1, 3), "3");
  EXPECT_EQ(gridCellText(&m, 2, 4), "√");  // on the upper limit
  EXPECT_EQ(gridCellText(&m, 3, 4), "√");  // on the lower limit
  EXPECT_EQ(gridCellText(&m, 4, 4), "×");
  EXPECT_EQ(gridCellText(&m, 5, 1), "");
  EXPECT_TRUE(gridCellEditable(&m, 1, 1));
  EXPECT_FALSE(gridCellEditable(&m, 1, 2));
  EXPECT_FALSE(gridCellEditable(&m, 0, 1));
}

TEST(ReadingGrid, WithoutAMemberFiftyEmptyNumberedRows) {
  EXPECT_EQ(gridRowCount(nullptr), 51);
  EXPECT_EQ(gridCellText(nullptr, 50, 0), "50");
  EXPECT_EQ(gridCellText(nullptr, 50, 1), "");
  EXPECT_EQ(gridCellText(nullptr, 0, 4), "\r\n是否合格");
  EXPECT_FALSE(gridCellEditable(nullptr, 1, 1));
}

class RowCommandTest : public ::testing::Test {
 protected:
  void load(std::vector<MemberRecord> members) {
    doc.resetProject({std::move(members)});
    doc.selectMember(0);
  }
  test::RecordingFrontend ui;
  CKroAnalyzeDoc doc{&ui};
};

TEST_F(RowCommandTest, InsertAboveOnAnEmptyMemberAppendsTheFirstReading) {
  load({member("0001", {})});
  int row = 0;
  RowCommandResult r = runRowCommand(doc, RowCommand::InsertAbove, row, std::nullopt);
  EXPECT_TRUE(r.ran);
  EXPECT_EQ(doc.currentMemberRecord()->readingCount(), 1);
  EXPECT_EQ(r.selection, (GridSelection{1, 1, 4}));
  // Below and delete need a reading at the row.
  row = 1;
  EXPECT_FALSE(runRowCommand(doc, RowCommand::InsertBelow, row, std::nullopt).ran);
  EXPECT_FALSE(runRowCommand(doc, RowCommand::Delete, row, std::nullopt).ran);
  row = -1;  // a click on the header row
  EXPECT_FALSE(runRowCommand(doc, RowCommand::InsertAbove, row, std::nullopt).ran);
}

TEST_F(RowCommandTest, DeleteMovesTheRowBackAtTheEnd) {
  load({member("0001", {1, 2, 3})});
  int row = 2;
  RowCommandResult r = runRowCommand(doc, RowCommand::Delete, row, GridSelection{3, 0, 4});
  EXPECT_EQ(row, 1);
  EXPECT_EQ(r.selection, (GridSelection{2, 1, 4}));
  row = 0;
  runRowCommand(doc, RowCommand::Delete, row, std::nullopt);
  EXPECT_EQ(row, 0);
  runRowCommand(doc, RowCommand::Delete, row, std::nullopt);
  EXPECT_EQ(row, -1);  // the only reading is gone
  EXPECT_EQ(doc.currentMemberRecord()->readingCount(), 0);
}

TEST_F(RowCommandTest, GridMembersKeepOrClearTheirSelection) {
  load({member("W001", {1, 2, 3, 4})});
  int row = 1;
  RowCommandResult inserted = runRowCommand(doc, RowCommand::InsertBelow, row, std::nullopt);
  EXPECT_TRUE(inserted.ran);
  EXPECT_FALSE(inserted.selection.has_value());
  EXPECT_FALSE(inserted.cleared);

  RowCommandResult kept = runRowCommand(doc, RowCommand::Delete, row, GridSelection{2, 2, 4});
  EXPECT_EQ(kept.selection, (GridSelection{2, 1, 3}));
  RowCommandResult cleared = runRowCommand(doc, RowCommand::Delete, row, GridSelection{2, 4, 4});
  EXPECT_TRUE(cleared.cleared);
  EXPECT_FALSE(cleared.selection.has_value());
}

TEST_F(RowCommandTest, NothingWithoutACurrentMember) {
  int row = 0;
  EXPECT_FALSE(runRowCommand(doc, RowCommand::InsertAbove, row, std::nullopt).ran);
  EXPECT_EQ(refillSelection(doc), (GridSelection{1, 0, 4}));
}

}  // namespace
}  // namespace kro
