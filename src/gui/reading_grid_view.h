// The reading grid: the current member's readings, one row each, with only the thickness
// editable. Choosing a row makes it the document's current reading; the row commands act on it.
// Enter commits a value and moves down; below the last reading it opens a new row, so a column
// of readings is typed from the keyboard alone.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <map>
#include <optional>

#include "model/document.h"
#include "views/reading_grid.h"

namespace kro::gui {

class ReadingGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ReadingGridModel(CKroAnalyzeDoc& doc, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // A typed value: a whole number goes to the document (into the new row: a new reading);
  // anything else is refused with a message.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Brings every cell up to date, without a new row; the row count may have changed.
  void refresh();
  // The new row, where reading `at` would stand, or none.
  void setPending(std::optional<int> at);
  GridRows rows() const {
    GridRows r = gridRows(doc_.currentMemberRecord(), pending_);
    r.rule = &rule_;
    return r;
  }
  // The project's rule, whose band the grid's marks follow.
  void setRule(JudgingRule rule) { rule_ = std::move(rule); }
  // Readings that differ from original data: reading index -> the original value, or nothing
  // for a reading the original does not have. Their thickness cells are coloured and their
  // tooltips say what the original held.
  void setMarks(std::map<int, std::optional<std::int32_t>> marks) { marks_ = std::move(marks); }

 private:
  CKroAnalyzeDoc& doc_;
  std::map<int, std::optional<std::int32_t>> marks_;
  // The current member's readings changed since its log began (model/record_replay.h).
  std::vector<bool> corrected_;
  std::optional<int> pending_;
  int rows_ = kGridEmptyRows;
  JudgingRule rule_ = pointRule();
};

class ReadingGridView : public QTableView {
  Q_OBJECT

 public:
  ReadingGridView(CKroAnalyzeDoc& doc, QWidget* parent = nullptr);

  // Rebuilds the grid from the document and selects the current reading's row.
  void refill();
  void runRowCommand(RowCommand command);
  int currentRow() const { return currentRow_; }
  // Differences from original data for the next refill (see ReadingGridModel::setMarks).
  void setMarks(std::map<int, std::optional<std::int32_t>> marks) { model_.setMarks(std::move(marks)); }

  // Clipboard: tab-separated cells. A paste fills the thickness column from the current row
  // down, appending readings beyond the last one, in one step; a line that is not a whole
  // number, or not a thickness a slab can have, refuses it with a message naming the line. A cut
  // copies the selected rows, then removes their readings in one step, as Delete does.
  void copySelection();
  void cutSelection();
  void paste();
  void removeSelection(ReadingRemoval why);
  ReadingGridModel& gridModel() { return model_; }

 signals:
  void contextMenuWanted(const QPoint& globalPosition);

 protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // The columns keep their width while the grid is wide enough and share a narrower one (a
  // 1366-pixel screen), so that 是否合格 is seen without scrolling.
  void resizeEvent(QResizeEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void select(const GridSelection& selection);
  std::optional<GridSelection> selection() const;
  // Moves to the row below, opening a new row below the last reading.
  void moveToNextRow();

  CKroAnalyzeDoc& doc_;
  ReadingGridModel model_;
  int currentRow_ = 0;
  bool filling_ = false;
};

}  // namespace kro::gui
