// Reading grid view.
#include "gui/reading_grid_view.h"

#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <algorithm>
#include <array>

#include "gui/dialogs.h"
#include "model/record_replay.h"

namespace kro::gui {
namespace {

// The thickness editor takes digits and a minus sign only.
class ThicknessDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      line->setValidator(new QRegularExpressionValidator(QRegularExpression("\\s*-?\\d{0,10}\\s*"), line));
    }
    return editor;
  }
};

}  // namespace

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
    case Qt::EditRole: {
      QString text = QString::fromStdString(gridCellText(rows(), index.row() + 1, index.column()));
      // The number carries the reading's record marks: corrected, not sent by the instrument.
      if (index.column() == 0 && role == Qt::DisplayRole) {
        if (const auto reading = rows().readingOf(index.row())) {
          const auto at = static_cast<std::size_t>(*reading);
          const std::string mark =
              readingMark(rows().member->readings()[at], at < corrected_.size() && corrected_[at]);
          if (!mark.empty()) text += " " + qt(mark);
        }
      }
      return text;
    }
    case Qt::TextAlignmentRole:
      return int(Qt::AlignCenter);
    case Qt::ForegroundRole:
      // A failing reading in red, as the chart shows it.
      if (index.column() > 0 && gridRowFails(rows(), index.row() + 1)) return QColor(200, 0, 0);
      return {};
    case Qt::BackgroundRole:
      // The number column is fixed, like the header.
      if (index.column() == 0) return QApplication::palette().button();
      if (index.column() == 1 && rows().readingOf(index.row()) &&
          marks_.count(*rows().readingOf(index.row())) > 0)
        return QColor(255, 224, 178);
      return {};
    case Qt::ToolTipRole:
      if (rows().isNew(index.row())) return QString("新的一行：输入厚度值后才成为测点");
      if (index.column() == 0 && rows().readingOf(index.row())) {
        const auto at = static_cast<std::size_t>(*rows().readingOf(index.row()));
        const bool corrected = at < corrected_.size() && corrected_[at];
        return qt("来源：" + originName(rows().member->readings()[at].origin) +
                  (corrected ? "；已修改（见 工具 → 修改记录）" : ""));
      }
      if (index.column() == 1 && rows().readingOf(index.row())) {
        auto mark = marks_.find(*rows().readingOf(index.row()));
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
  const GridRows grid = rows();
  const QString text = value.toString();
  // Leaving the new row blank adds nothing.
  if (grid.isNew(index.row()) && text.trimmed().isEmpty()) return false;
  const std::optional<std::int32_t> thickness = parseTypedThickness(text.toStdString());
  if (!thickness) {
    Dialogs::message(nullptr, MessageKind::Warning,
                     QString("“%1”不是整数毫米数，没有输入。").arg(text.trimmed()));
    return false;
  }
  const Status done = grid.isNew(index.row())
                          ? doc_.insertReading(*grid.pending, *thickness)
                          : doc_.setCellValue(*grid.readingOf(index.row()), index.column(), *thickness);
  if (!done) {
    Dialogs::message(nullptr, MessageKind::Warning, QString::fromStdString(done.message()));
    return false;
  }
  return true;
}

Qt::ItemFlags ReadingGridModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (gridCellEditable(rows(), index.row() + 1, index.column())) f |= Qt::ItemIsEditable;
  return f;
}

QVariant ReadingGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kGridColumns) {
    // The headers sit on the second line of the header row.
    QString text = QString::fromStdString(gridCellText(GridRows{}, 0, section));
    return text.replace("\r\n", "\n");
  }
  if (orientation == Qt::Horizontal && role == Qt::ToolTipRole && section == kGridColumns - 1) {
    // The marks say which band they follow.
    return rule_.fixedBand ? QString("按判定规则“%1”的允许偏差 %2/+%3 mm 判定")
                                 .arg(QString::fromStdString(rule_.name))
                                 .arg(rule_.fixedBand->first)
                                 .arg(rule_.fixedBand->second)
                           : QString("按构件的允许偏差判定");
  }
  return QAbstractTableModel::headerData(section, orientation, role);
}

void ReadingGridModel::refresh() {
  const std::vector<std::vector<bool>> corrected = correctedReadings(doc_.members(), doc_.recordedChanges());
  const auto member = static_cast<std::size_t>(doc_.currentMember());
  corrected_ = doc_.currentMemberRecord() != nullptr && member < corrected.size() ? corrected[member]
                                                                                  : std::vector<bool>();
  setPending(std::nullopt);
}

void ReadingGridModel::setPending(std::optional<int> at) {
  pending_ = at;
  const int count = rows().count();
  if (count != rows_) {
    beginResetModel();
    rows_ = count;
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
  // Never narrower than its columns at their least (each as wide as its heading, see
  // resizeEvent): on a small or scaled screen the docks give way, not the 是否合格 column (nor the
  // chart below, as wide as the grid, and its caption).
  int least = verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
  for (int c = 0; c < kGridColumns; ++c) least += horizontalHeader()->sectionSizeHint(c);
  setMinimumWidth(least);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  setItemDelegateForColumn(1, new ThicknessDelegate(this));
  refill();
}

void ReadingGridView::refill() {
  filling_ = true;
  model_.refresh();
  if (doc_.currentMemberRecord() != nullptr) {
    const GridSelection s = refillSelection(doc_);  // no new row after a refill but a blank member's
    select(s);
    currentRow_ = s.row - 1;
  }
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
  GridRows rows = model_.rows();
  int row = current.row();
  // Moving on from the new row while it is blank removes it; the rows below move up.
  if (rows.pending && doc_.currentMemberRecord()->readingCount() > 0 && !rows.isNew(row)) {
    const int reading = *rows.readingOf(row);
    filling_ = true;
    model_.setPending(std::nullopt);
    rows = model_.rows();
    row = rows.rowOf(reading);
    selectionModel()->setCurrentIndex(model_.index(row, current.column()), QItemSelectionModel::NoUpdate);
    filling_ = false;
  }
  // Row choice: the whole row is selected and becomes the current reading.
  currentRow_ = row;
  filling_ = true;
  selectionModel()->select(QItemSelection(model_.index(row, 0), model_.index(row, kGridColumns - 1)),
                           QItemSelectionModel::ClearAndSelect);
  filling_ = false;
  if (const std::optional<int> reading = rows.readingOf(row)) doc_.setCurrentReading(*reading, false, true);
}

void ReadingGridView::runRowCommand(RowCommand command) {
  const GridRows before = model_.rows();
  const RowCommandResult result = kro::runRowCommand(doc_, command, before, currentRow_, selection());
  if (!result.ran) return;
  filling_ = true;
  if (command != RowCommand::Delete || !before.readingOf(currentRow_)) model_.setPending(result.pending);
  if (result.cleared) selectionModel()->clearSelection();
  if (result.selection) select(*result.selection);
  filling_ = false;
}

void ReadingGridView::moveToNextRow() {
  const QModelIndex at = currentIndex();
  if (!at.isValid() || doc_.currentMemberRecord() == nullptr) return;
  const GridRows rows = model_.rows();
  int row = at.row() + 1;
  if (row >= rows.count()) {
    // Below the last reading: a new row, where the next value is typed.
    if (rows.pending) return;  // the blank new row is the last row already
    filling_ = true;
    model_.setPending(doc_.currentMemberRecord()->readingCount());
    filling_ = false;
    row = model_.rows().count() - 1;
  }
  setCurrentIndex(model_.index(row, 1));
}

void ReadingGridView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  const bool enter = hint == QAbstractItemDelegate::SubmitModelCache;
  QTableView::closeEditor(editor, enter ? QAbstractItemDelegate::NoHint : hint);
  if (enter) moveToNextRow();
}

void ReadingGridView::keyPressEvent(QKeyEvent* event) {
  // A figure typed into an empty project starts its first member, and is its first reading.
  if (doc_.currentMemberRecord() == nullptr && event->modifiers() == Qt::NoModifier &&
      event->text().size() == 1 && event->text().front().isDigit()) {
    doc_.appendMember();
    const QModelIndex first = model_.index(0, 1);
    setCurrentIndex(first);
    edit(first, QAbstractItemView::AnyKeyPressed, event);  // the editor opens with the key typed
    return;
  }
  // Enter on a row that is not being edited moves down, as after a typed value.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && state() != EditingState) {
    moveToNextRow();
    return;
  }
  if (event->matches(QKeySequence::Copy)) {
    copySelection();
    return;
  }
  if (event->matches(QKeySequence::Paste)) {
    paste();
    return;
  }
  if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && state() != EditingState) {
    removeSelection(ReadingRemoval::Delete);
    return;
  }
  // Down on the last row opens the blank row below it, where typing or a paste appends.
  if (event->key() == Qt::Key_Down && event->modifiers() == Qt::NoModifier && state() != EditingState &&
      currentIndex().isValid() && currentIndex().row() == model_.rows().count() - 1) {
    moveToNextRow();
    return;
  }
  QTableView::keyPressEvent(event);
}

void ReadingGridView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  // Each column at least as wide as its header, the room left shared out up to the usual width.
  int needed = 0;
  std::array<int, kGridColumns> least{};
  for (int c = 0; c < kGridColumns; ++c) {
    least[static_cast<std::size_t>(c)] = horizontalHeader()->sectionSizeHint(c);
    needed += least[static_cast<std::size_t>(c)];
  }
  const int spare = std::max(0, viewport()->width() - needed) / kGridColumns;
  for (int c = 0; c < kGridColumns; ++c) {
    const int at = least[static_cast<std::size_t>(c)];
    setColumnWidth(c, std::max(at, std::min(at + spare, kGridColumnWidth)));
  }
}

void ReadingGridView::contextMenuEvent(QContextMenuEvent* event) {
  emit contextMenuWanted(event->globalPos());
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
  removeSelection(ReadingRemoval::Cut);
}

void ReadingGridView::removeSelection(ReadingRemoval why) {
  // The readings of the selected rows go, in one undoable step.
  const GridRows rows = model_.rows();
  std::vector<int> readings;
  for (const QModelIndex& i : selectionModel()->selectedIndexes()) {
    if (const std::optional<int> reading = rows.readingOf(i.row())) readings.push_back(*reading);
  }
  doc_.deleteReadings(readings, why);
}

void ReadingGridView::paste() {
  const QModelIndex start = currentIndex();
  if (!start.isValid() || doc_.currentMemberRecord() == nullptr) return;
  auto values = parsePastedThicknesses(QApplication::clipboard()->text().toStdString());
  if (!values) {
    Dialogs::message(this, MessageKind::Warning, QString::fromStdString(values.message()));
    return;
  }
  const GridRows rows = model_.rows();
  const std::optional<int> reading = rows.readingOf(start.row());
  if (Status s = doc_.pasteReadings(reading ? *reading : *rows.pending, values.value()); !s) {
    Dialogs::message(this, MessageKind::Warning, QString::fromStdString(s.message()));
  }
}

bool ReadingGridView::event(QEvent* event) {
  // Copy, paste and Delete act on the grid's readings here, before any window shortcut.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Paste) ||
        (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier)) {
      event->accept();
      return true;
    }
  }
  return QTableView::event(event);
}

}  // namespace kro::gui
