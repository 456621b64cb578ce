// The overview dock.
#include "gui/overview_dock.h"

#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include "model/statistics.h"
#include "render/painter_canvas.h"

namespace kro::gui {

namespace {

constexpr int kSortRole = Qt::UserRole;
constexpr int kMemberRole = Qt::UserRole + 1;
const QStringList kHeaders = {"测区编号", "构件名称", "测试日期", "测点数", "设计厚度", "允许偏差",
                              "最大值",   "最小值",   "平均值",   "标准差", "合格点数", "合格率"};

// A cell showing text and sorting by a number (or by the text when there is none).
QStandardItem* cell(const QString& text, const QVariant& sortKey = {}) {
  auto* item = new QStandardItem(text);
  item->setEditable(false);
  item->setData(sortKey.isValid() ? sortKey : QVariant(text), kSortRole);
  if (sortKey.isValid()) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

template <class T>
QStandardItem* optionalCell(const std::optional<T>& value, int decimals = 0) {
  if (!value) return cell("-", -1e300);
  const double v = static_cast<double>(*value);
  return cell(decimals > 0 ? QString::number(v, 'f', decimals) : QString::number(*value), v);
}

}  // namespace

HistogramView::HistogramView(QWidget* parent) : QWidget(parent) {
  setObjectName("deviationHistogram");
  setMinimumHeight(140);
}

void HistogramView::setFigures(SelectionFigures figures, std::optional<HistogramBand> band) {
  figures_ = std::move(figures);
  band_ = band;
  update();
}

void HistogramView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  PainterCanvas canvas(painter);
  drawDeviationHistogram(canvas, figures_, band_, width(), height());
}

OverviewDock::OverviewDock(QWidget* parent)
    : QDockWidget("工程概览", parent),
      model_(new QStandardItemModel(0, static_cast<int>(kHeaders.size()), this)),
      sorted_(new QSortFilterProxyModel(this)),
      table_(new QTableView),
      histogram_(new HistogramView),
      comparison_(new QWidget),
      comparisonTitle_(new QLabel),
      differences_(new QListWidget) {
  setObjectName("overviewDock");
  model_->setHorizontalHeaderLabels(kHeaders);
  sorted_->setSourceModel(model_);
  sorted_->setSortRole(kSortRole);
  sorted_->setDynamicSortFilter(true);
  table_->setObjectName("overviewTable");
  table_->setModel(sorted_);
  table_->setSortingEnabled(true);
  table_->sortByColumn(-1, Qt::AscendingOrder);  // file order until a header is clicked
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->setToolTip("双击一行，转到该构件；点击列标题排序");
  connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    const QModelIndex first = sorted_->mapToSource(index.siblingAtColumn(0));
    emit memberChosen(model_->data(first, kMemberRole).toInt());
  });

  differences_->setObjectName("differenceList");
  comparisonTitle_->setWordWrap(true);
  auto* close = new QPushButton("结束比较");
  connect(close, &QPushButton::clicked, this, &OverviewDock::comparisonClosed);
  auto* comparisonLayout = new QVBoxLayout(comparison_);
  comparisonLayout->setContentsMargins(0, 0, 0, 0);
  comparisonLayout->addWidget(comparisonTitle_);
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

void OverviewDock::refresh(const Project& project) {
  model_->setRowCount(0);
  for (const OverviewRow& row : overviewRows(project)) {
    const MemberFigures& f = row.figures;
    QList<QStandardItem*> items = {
        cell(QString::fromStdString(row.code)),
        cell(QString::fromStdString(row.name)),
        cell(QString::fromStdString(row.testDate)),
        cell(QString::number(f.readingCount), f.readingCount),
        cell(QString::number(row.designThickness), row.designThickness),
        cell(QString("%1/+%2").arg(row.minusDeviation).arg(row.plusDeviation),
             row.plusDeviation - row.minusDeviation),
        optionalCell(f.maxThickness),
        optionalCell(f.minThickness),
        optionalCell(f.mean, 1),
        optionalCell(f.standardDeviation, 2),
        cell(QString::number(f.passCount), f.passCount),
        f.passRate ? cell(QString::number(*f.passRate * 100.0, 'f', 1) + "%", *f.passRate) : cell("-", -1.0),
    };
    items.front()->setData(row.member, kMemberRole);
    if (row.belowReportRate) {
      for (QStandardItem* item : items) {
        item->setBackground(QColor(255, 214, 214));
        item->setToolTip("合格率低于报告的 90.0%");
      }
    }
    model_->appendRow(items);
  }
  histogram_->setFigures(selectionFigures(project.members), histogramBand(project));
}

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
