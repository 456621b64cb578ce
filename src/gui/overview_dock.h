// The project overview beside the grid: a sortable table of every member's figures (members
// that miss the project's acceptance rule marked), the deviation histogram of the ticked members, and, while
// comparing with original data, the list of differences.
#pragma once

#include <QAbstractTableModel>
#include <QDockWidget>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "model/project.h"
#include "model/statistics.h"
#include "views/project_overview.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace kro::gui {

class HistogramView : public QWidget {
  Q_OBJECT

 public:
  explicit HistogramView(QWidget* parent = nullptr);
  void setFigures(SelectionFigures figures, std::optional<HistogramBand> band, ReportFigures verdict);
  const SelectionFigures& figures() const { return figures_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  SelectionFigures figures_;
  std::optional<HistogramBand> band_;
  ReportFigures verdict_;
};

// The overview's rows as a table: texts to show, numbers to sort by.
class OverviewModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kSortRole = Qt::UserRole;
  static constexpr int kMemberRole = Qt::UserRole + 1;

  using QAbstractTableModel::QAbstractTableModel;
  void setRows(std::vector<OverviewRow> rows, RuleInForce rule);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  // The row of a member, -1 when none.
  int rowOf(int member) const;

 signals:
  // A tick box was clicked.
  void tickToggled(int member, bool ticked);

 private:
  std::vector<OverviewRow> rows_;
  RuleInForce rule_;
};

class OverviewDock : public QDockWidget {
  Q_OBJECT

 public:
  explicit OverviewDock(QWidget* parent = nullptr);

  // Every figure again from the project, members judged by its acceptance rule.
  void refresh(const Project& project, const RuleInForce& rule);
  // The differences from original data, one line each; no source ends the comparison.
  void setComparison(const std::optional<std::string>& source, const std::vector<ComparisonLine>& lines);
  // The current member's row is highlighted.
  void showCurrent(int member);
  // The members of the rows chosen (several with Ctrl or Shift), in the table's order.
  std::vector<int> chosenMembers() const;
  // Whether the comparison lists only the readings, not the members' other fields.
  bool readingsOnly() const;

  QTableView* table() const { return table_; }
  HistogramView* histogram() const { return histogram_; }
  QListWidget* differences() const { return differences_; }

 signals:
  // A member's row, or a comparison line about a member, was double-clicked.
  void memberChosen(int member);
  // A comparison line about one reading was double-clicked.
  void readingChosen(int member, int reading);
  // A member's tick box was clicked.
  void tickToggled(int member, bool ticked);
  // 结束比较 was pressed.
  void comparisonClosed();
  // The switch between all changes and readings only was turned.
  void comparisonFilterChanged();

 private:
  OverviewModel* model_;
  QSortFilterProxyModel* sorted_;
  QTableView* table_;
  HistogramView* histogram_;
  QWidget* comparison_;
  QLabel* comparisonTitle_;
  QCheckBox* readingsOnly_;
  QListWidget* differences_;
  int current_ = -1;

  // growOnly: a column only widens, keeping a width the user gave it.
  void fitColumns(bool growOnly = false);
};

}  // namespace kro::gui
