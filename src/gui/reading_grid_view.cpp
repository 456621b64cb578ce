// Reading grid view.
#include "gui/reading_grid_view.h"

#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>

#include "settings/settings_file.h"

namespace kro::gui {

ReadingGridModel::ReadingGridModel(CKroAnalyzeDoc& doc, QObject* parent)
    : QAbstractTableModel(parent), doc_(doc) {}

int ReadingGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int ReadingGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kGridColumns;
}

QVariant ReadingGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      return QString::fromStdString(
          gridCellText(doc_.currentMemberRecord(), index.row() + 1, index.column()));
    case Qt::TextAlignmentRole:
      return int(Qt::AlignCenter);
    case Qt::BackgroundRole:
      // The number column is fixed, like the header.
      if (index.column() == 0) return QApplication::palette().button();
      if (index.column() == 1 && marks_.count(index.row()) > 0) return QColor(255, 224, 178);
      return {};
    case Qt::ToolTipRole:
      if (index.column() == 1) {
        auto mark = marks_.find(index.row());
        if (mark == marks_.end()) return {};
        return mark->second ? QString("原始值：%1").arg(*mark->second) : QString("原始数据中没有此测点");
      }
      return {};
    default:
      return {};
  }
}

bool ReadingGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable)) return false;
  doc_.setCellValue(index.row(), index.column(), atoiValue(value.toString().toStdString()));
  return true;
}

Qt::ItemFlags ReadingGridModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (gridCellEditable(doc_.currentMemberRecord(), index.row() + 1, index.column())) f |= Qt::ItemIsEditable;
  return f;
}

QVariant ReadingGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kGridColumns) {
    // The headers sit on the second line of the header row.
    QString text = QString::fromStdString(gridCellText(nullptr, 0, section));
    return text.replace("\r\n", "\n");
  }
  return QAbstractTableModel::headerData(section, orientation, role);
}

void ReadingGridModel::refresh() {
  const int rows = gridRowCount(doc_.currentMemberRecord()) - 1;
  if (rows != rows_) {
    beginResetModel();
    rows_ = rows;
    endResetModel();
  } else if (rows_ > 0) {
    emit dataChanged(index(0, 0), index(rows_ - 1, kGridColumns - 1));
  }
}

ReadingGridView::ReadingGridView(CKroAnalyzeDoc& doc, QWidget* parent)
    : QTableView(parent), doc_(doc), model_(doc) {
  setObjectName("readingGrid");
  setModel(&model_);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(kGridRowHeight);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setFixedHeight(kGridHeaderHeight);
  horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
  for (int c = 0; c < kGridColumns - 1; ++c) setColumnWidth(c, kGridColumnWidth);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  refill();
}

void ReadingGridView::refill() {
  filling_ = true;
  model_.refresh();
  if (doc_.currentMemberRecord() != nullptr) select(refillSelection(doc_));
  filling_ = false;
}

void ReadingGridView::select(const GridSelection& s) {
  const int row = s.row - 1;  // grid rows count the header
  if (row < 0 || row >= model_.rowCount()) {
    selectionModel()->clearSelection();
    return;
  }
  const QItemSelection range(model_.index(row, s.firstColumn), model_.index(row, s.lastColumn));
  selectionModel()->setCurrentIndex(model_.index(row, std::max(s.firstColumn, 1)),
                                    QItemSelectionModel::NoUpdate);
  selectionModel()->select(range, QItemSelectionModel::ClearAndSelect);
}

std::optional<GridSelection> ReadingGridView::selection() const {
  const QModelIndexList selected = selectionModel()->selectedIndexes();
  if (selected.isEmpty()) return std::nullopt;
  int top = selected.front().row(), left = selected.front().column(), right = left;
  for (const QModelIndex& i : selected) {
    top = std::min(top, i.row());
    left = std::min(left, i.column());
    right = std::max(right, i.column());
  }
  return GridSelection{top + 1, left, right};
}

void ReadingGridView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (filling_ || !current.isValid()) return;
  // Row choice: the whole row is selected and becomes the current reading.
  currentRow_ = current.row();
  filling_ = true;
  selectionModel()->select(
      QItemSelection(model_.index(current.row(), 0), model_.index(current.row(), kGridColumns - 1)),
      QItemSelectionModel::ClearAndSelect);
  filling_ = false;
  if (doc_.currentMemberRecord() != nullptr) doc_.setCurrentReading(currentRow_, false, true);
}

void ReadingGridView::runRowCommand(RowCommand command) {
  const RowCommandResult result = kro::runRowCommand(doc_, command, currentRow_, selection());
  if (!result.ran) return;
  filling_ = true;
  if (result.cleared) selectionModel()->clearSelection();
  if (result.selection) select(*result.selection);
  filling_ = false;
}

void ReadingGridView::copySelection() {
  const std::optional<GridSelection> s = selection();
  if (!s) return;
  QStringList lines;
  int bottom = s->row - 1;
  for (const QModelIndex& i : selectionModel()->selectedIndexes()) bottom = std::max(bottom, i.row());
  for (int row = s->row - 1; row <= bottom; ++row) {
    QStringList cells;
    for (int column = s->firstColumn; column <= s->lastColumn; ++column) {
      cells << model_.data(model_.index(row, column), Qt::DisplayRole).toString();
    }
    lines << cells.join('\t');
  }
  QApplication::clipboard()->setText(lines.join('\n') + '\n');
}

void ReadingGridView::cutSelection() {
  copySelection();
  // The cut cells become 0, as an empty typed text would, in one undoable step.
  std::vector<CellValue> cells;
  for (const QModelIndex& i : selectionModel()->selectedIndexes()) {
    if (model_.flags(i) & Qt::ItemIsEditable) cells.push_back({i.row(), i.column(), 0});
  }
  doc_.setCellValues(cells, ReadingEditKind::Cut);
}

void ReadingGridView::paste() {
  const QModelIndex start = currentIndex();
  if (!start.isValid()) return;
  const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
  const int column = std::max(start.column(), 1);
  // Each line's first cell goes down the thickness column, in one undoable step.
  std::vector<CellValue> cells;
  for (int k = 0; k < lines.size(); ++k) {
    const QModelIndex target = model_.index(start.row() + k, column);
    if (!target.isValid()) break;
    if (!(model_.flags(target) & Qt::ItemIsEditable)) continue;
    cells.push_back({target.row(), column, atoiValue(lines[k].section('\t', 0, 0).trimmed().toStdString())});
  }
  doc_.setCellValues(cells, ReadingEditKind::Paste);
}

bool ReadingGridView::event(QEvent* event) {
  // Ctrl+C belongs to the main window (delete member), not to the view's own copy.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Copy)) {
      event->ignore();
      return false;
    }
  }
  return QTableView::event(event);
}

}  // namespace kro::gui
