// The overview dock.
#include "gui/overview_dock.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "model/statistics.h"
#include "render/painter_canvas.h"

namespace kro::gui {

namespace {

const QStringList kHeaders = {"测区编号", "构件名称", "测试日期", "测点数", "设计厚度", "允许偏差",
                              "最大值",   "最小值",   "平均值",   "标准差", "合格点数", "合格率"};
enum Column { Code, Name, Date, Readings, Design, Tolerance, Max, Min, Mean, Deviation, Passed, Rate };

template <class T>
QString shown(const std::optional<T>& value) {
  return value ? QString::number(*value) : QString("-");
}

// Absent figures sort before every present one.
template <class T>
QVariant sortKey(const std::optional<T>& value) {
  return value ? QVariant(static_cast<double>(*value)) : QVariant(-1e300);
}

}  // namespace

void OverviewModel::setRows(std::vector<OverviewRow> rows, AcceptanceRule rule) {
  beginResetModel();
  rows_ = std::move(rows);
  rule_ = rule;
  endResetModel();
}

int OverviewModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int OverviewModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(kHeaders.size());
}

QVariant OverviewModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const OverviewRow& row = rows_[static_cast<std::size_t>(index.row())];
  const MemberFigures& f = row.figures;
  const auto column = static_cast<Column>(index.column());
  switch (role) {
    case Qt::DisplayRole:
      switch (column) {
        case Code:
          return QString::fromStdString(row.code);
        case Name:
          return QString::fromStdString(row.name);
        case Date:
          return QString::fromStdString(row.testDate);
        case Readings:
          return f.readingCount;
        case Design:
          return row.designThickness;
        case Tolerance:
          return QString("%1/+%2").arg(row.minusDeviation).arg(row.plusDeviation);
        case Max:
          return shown(f.maxThickness);
        case Min:
          return shown(f.minThickness);
        case Mean:
          return QString::fromStdString(row.meanText);
        case Deviation:
          return QString::fromStdString(row.deviationText);
        case Passed:
          return f.passCount;
        case Rate:
          return QString::fromStdString(row.rateText);
      }
      return {};
    case kSortRole:
      switch (column) {
        case Code:
        case Name:
        case Date:
          return data(index, Qt::DisplayRole);
        case Readings:
          return f.readingCount;
        case Design:
          return row.designThickness;
        case Tolerance:
          return static_cast<double>(row.plusDeviation) - row.minusDeviation;
        case Max:
          return sortKey(f.maxThickness);
        case Min:
          return sortKey(f.minThickness);
        case Mean:
          return sortKey(f.mean);
        case Deviation:
          return sortKey(f.standardDeviation);
        case Passed:
          return f.passCount;
        case Rate:
          return sortKey(f.passRate);
      }
      return {};
    case kMemberRole:
      return row.member;
    case Qt::TextAlignmentRole:
      return column >= Readings ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    case Qt::BackgroundRole:
      return row.belowRule ? QVariant(QColor(255, 214, 214)) : QVariant();
    case Qt::ToolTipRole:
      return row.belowRule ? QVariant(QString::fromStdString(belowRuleNote(rule_))) : QVariant();
    default:
      return {};
  }
}

QVariant OverviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kHeaders.size())
    return kHeaders[section];
  return QAbstractTableModel::headerData(section, orientation, role);
}

HistogramView::HistogramView(QWidget* parent) : QWidget(parent) {
  setObjectName("deviationHistogram");
  setMinimumHeight(140);
}

void HistogramView::setFigures(SelectionFigures figures, std::optional<HistogramBand> band,
                               AcceptanceRule rule) {
  figures_ = std::move(figures);
  band_ = band;
  rule_ = rule;
  update();
}

void HistogramView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  PainterCanvas canvas(painter);
  drawDeviationHistogram(canvas, figures_, band_, rule_, width(), height());
}

OverviewDock::OverviewDock(QWidget* parent)
    : QDockWidget("工程概览", parent),
      model_(new OverviewModel(this)),
      sorted_(new QSortFilterProxyModel(this)),
      table_(new QTableView),
      histogram_(new HistogramView),
      comparison_(new QWidget),
      comparisonTitle_(new QLabel),
      readingsOnly_(new QCheckBox("只列测点的改动")),
      differences_(new QListWidget) {
  setObjectName("overviewDock");
  sorted_->setSourceModel(model_);
  sorted_->setSortRole(OverviewModel::kSortRole);
  sorted_->setDynamicSortFilter(true);
  table_->setObjectName("overviewTable");
  table_->setModel(sorted_);
  table_->setSortingEnabled(true);
  table_->sortByColumn(-1, Qt::AscendingOrder);  // file order until a header is clicked
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  table_->setToolTip("双击一行，转到该构件；点击列标题排序");
  connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    const QModelIndex first = sorted_->mapToSource(index.siblingAtColumn(0));
    emit memberChosen(model_->data(first, OverviewModel::kMemberRole).toInt());
  });

  differences_->setObjectName("differenceList");
  comparisonTitle_->setWordWrap(true);
  auto* close = new QPushButton("结束比较");
  connect(close, &QPushButton::clicked, this, &OverviewDock::comparisonClosed);
  auto* comparisonLayout = new QVBoxLayout(comparison_);
  comparisonLayout->setContentsMargins(0, 0, 0, 0);
  readingsOnly_->setObjectName("readingsOnly");
  readingsOnly_->setToolTip("不列出设计厚度、允许偏差、测试日期、构件名称和勾选的改动");
  connect(readingsOnly_, &QCheckBox::toggled, this, &OverviewDock::comparisonFilterChanged);
  comparisonLayout->addWidget(comparisonTitle_);
  comparisonLayout->addWidget(readingsOnly_);
  comparisonLayout->addWidget(differences_);
  comparisonLayout->addWidget(close, 0, Qt::AlignRight);
  comparison_->hide();

  auto* splitter = new QSplitter(Qt::Vertical);
  splitter->addWidget(table_);
  splitter->addWidget(histogram_);
  splitter->addWidget(comparison_);
  splitter->setSizes({300, 180, 160});
  setWidget(splitter);
}

void OverviewDock::refresh(const Project& project, AcceptanceRule rule) {
  const bool wasEmpty = model_->rowCount() == 0;
  model_->setRows(overviewRows(project, rule), rule);
  // Columns fit their contents when a project arrives, not on every edit (that would measure
  // every row each time).
  if (wasEmpty && model_->rowCount() > 0) table_->resizeColumnsToContents();
  histogram_->setFigures(selectionFigures(project.members), histogramBand(project), rule);
}

bool OverviewDock::readingsOnly() const { return readingsOnly_->isChecked(); }

void OverviewDock::setComparison(const std::optional<std::string>& source,
                                 const std::vector<std::string>& lines) {
  comparison_->setVisible(source.has_value());
  differences_->clear();
  if (!source) return;
  comparisonTitle_->setText(
      QString("与原始数据比较：%1（%2 处不同）").arg(QString::fromStdString(*source)).arg(lines.size()));
  for (const std::string& line : lines) differences_->addItem(QString::fromStdString(line));
  if (lines.empty()) differences_->addItem("与原始数据相同。");
}

}  // namespace kro::gui
