// The overview dock.
#include "gui/overview_dock.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include "model/report_figures.h"
#include "model/statistics.h"
#include "render/painter_canvas.h"

namespace kro::gui {

namespace {

// Short headings, the rate right after the code, the name last and elided: every column fits a
// dock beside the grid in a 1366-pixel window.
// 判定值 and 判定 are shown only under a rule that judges members by their means.
const QStringList kHeaders = {"",     "编号", "判定值", "判定", "合格率", "点数", "合格",    "平均",
                              "最大", "最小", "标准差", "设计", "偏差",   "日期", "构件名称"};
const QStringList kHeaderTips = {"勾选（用于报告）",
                                 "测区编号",
                                 "判定规则所用的构件平均值（按规则修约）",
                                 "构件按平均值的判定",
                                 "合格率（测点在允许偏差之内）",
                                 "测点数",
                                 "合格点数",
                                 "平均值",
                                 "最大值",
                                 "最小值",
                                 "标准差",
                                 "设计厚度",
                                 "允许偏差",
                                 "测试日期",
                                 "构件名称"};
enum Column {
  Tick,
  Code,
  Judged,
  Verdict,
  Rate,
  Readings,
  Passed,
  Mean,
  Max,
  Min,
  Deviation,
  Design,
  Tolerance,
  Date,
  Name
};

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

void OverviewModel::setRows(std::vector<OverviewRow> rows, RuleInForce rule) {
  beginResetModel();
  rows_ = std::move(rows);
  rule_ = std::move(rule);
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
        case Tick:
          return QVariant();
        case Code:
          return QString::fromStdString(row.code);
        case Name:
          return QString::fromStdString(row.name);
        case Date:
          return QString::fromStdString(row.shortDate);
        case Judged:
          return QString::fromStdString(row.judgedText);
        case Verdict:
          return row.judgedText == "-" ? QString("-") : QString(row.judgedPasses ? "合格" : "不合格");
        case Readings:
          return f.readingCount;
        case Design:
          return row.designThickness;
        case Tolerance:
          if (const auto& band = rule_.rule.fixedBand)
            return QString("%1/+%2").arg(band->first).arg(band->second);
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
          return static_cast<qlonglong>(row.passCount);
        case Rate:
          return QString::fromStdString(row.rateText);
      }
      return {};
    case Qt::CheckStateRole:
      return column == Tick ? QVariant(row.ticked ? Qt::Checked : Qt::Unchecked) : QVariant();
    case kSortRole:
      switch (column) {
        case Tick:
          return row.ticked ? 1 : 0;
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
        case Judged:
          return sortKey(f.mean);
        case Verdict:
          return row.judgedText == "-" ? -1 : (row.judgedPasses ? 1 : 0);
        case Passed:
          return static_cast<qlonglong>(row.passCount);
        case Rate:
          return f.readingCount > 0 ? QVariant(static_cast<double>(row.passCount) / f.readingCount)
                                    : QVariant(-1e300);
      }
      return {};
    case kMemberRole:
      return row.member;
    case Qt::TextAlignmentRole:
      return column >= Judged && column <= Tolerance ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                                                     : QVariant();
    case Qt::BackgroundRole:
      return row.belowRule ? QVariant(QColor(255, 214, 214)) : QVariant();
    case Qt::ToolTipRole:
      if (row.belowRule) return QString::fromStdString(belowRuleNote(rule_));
      return column == Name ? QVariant(QString::fromStdString(row.name)) : QVariant();
    default:
      return {};
  }
}

QVariant OverviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && section >= 0 && section < kHeaders.size()) {
    if (role == Qt::DisplayRole) return kHeaders[section];
    if (role == Qt::ToolTipRole) return kHeaderTips[section];
  }
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags OverviewModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (index.column() == Tick) f |= Qt::ItemIsUserCheckable;
  return f;
}

bool OverviewModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || index.column() != Tick || index.row() >= rowCount()) return false;
  // The document makes the change; the rows follow when the overview is refreshed.
  emit tickToggled(rows_[static_cast<std::size_t>(index.row())].member, value.toInt() == Qt::Checked);
  return true;
}

int OverviewModel::rowOf(int member) const {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].member == member) return static_cast<int>(i);
  }
  return -1;
}

HistogramView::HistogramView(QWidget* parent) : QWidget(parent) {
  setObjectName("deviationHistogram");
  setMinimumHeight(140);
}

void HistogramView::setFigures(SelectionFigures figures, std::optional<HistogramBand> band,
                               ReportFigures verdict) {
  figures_ = std::move(figures);
  band_ = band;
  verdict_ = std::move(verdict);
  update();
}

void HistogramView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  PainterCanvas canvas(painter);
  drawDeviationHistogram(canvas, figures_, band_, verdict_, width(), height());
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
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);  // ticks in bulk
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  table_->horizontalHeader()->setSectionResizeMode(Name, QHeaderView::Stretch);
  table_->horizontalHeader()->setMinimumSectionSize(16);
  table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  table_->setTextElideMode(Qt::ElideRight);
  table_->setWordWrap(false);
  table_->setToolTip("双击一行，转到该构件；点击列标题排序");
  connect(model_, &OverviewModel::tickToggled, this, &OverviewDock::tickToggled);
  connect(table_->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this, [this] { fitColumns(true); });
  connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.column() == Tick) return;
    const QModelIndex first = sorted_->mapToSource(index.siblingAtColumn(0));
    emit memberChosen(model_->data(first, OverviewModel::kMemberRole).toInt());
  });

  differences_->setObjectName("differenceList");
  differences_->setToolTip("双击一行，转到它所说的构件");
  connect(differences_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    const int member = item->data(Qt::UserRole).toInt();
    const QVariant reading = item->data(Qt::UserRole + 1);
    if (member >= 0 && reading.isValid() && reading.toInt() >= 0) {
      emit readingChosen(member, reading.toInt());
    } else if (member >= 0) {
      emit memberChosen(member);
    }
  });
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

void OverviewDock::refresh(const Project& project, const RuleInForce& rule) {
  const int before = model_->rowCount();
  const bool byMean = rule.rule.judgesMembers();
  const bool shownBefore = !table_->isColumnHidden(Judged);
  model_->setRows(overviewRows(project, rule), rule);
  table_->setColumnHidden(Judged, !byMean);
  table_->setColumnHidden(Verdict, !byMean);
  // Other rows or columns: every column fitted afresh. Edited values: a column grows to show a
  // wider one, and keeps a width the user gave it otherwise.
  fitColumns(model_->rowCount() == before && shownBefore == byMean);
  histogram_->setFigures(selectionFigures(project.members), histogramBand(project, rule.rule),
                         reportFigures(project, rule));
  showCurrent(current_);
}

// Distinct texts of one column measured at most; beyond them, a text is measured each time.
constexpr int kMeasuredTextsAtMost = 4096;

void OverviewDock::fitColumns(bool growOnly) {
  // Each column as wide as its widest text and no wider (the header's own sizing would reserve
  // room for the sort mark in every column); the name takes what is left.
  const QFontMetrics metrics = table_->fontMetrics();
  const int margin = 2 * table_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table_) + 6;
  for (int c = 0; c < model_->columnCount(); ++c) {
    if (c == Name) continue;
    int width = metrics.horizontalAdvance(model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
    // The sorted column's header shows its mark beside the text.
    if (table_->horizontalHeader()->isSortIndicatorShown() &&
        table_->horizontalHeader()->sortIndicatorSection() == c)
      width += table_->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, table_) + 4;
    if (c == Tick) width = table_->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, table_) + 4;
    // Only the longest texts are measured, each once: a project of many members would
    // otherwise keep the window busy for seconds.
    int longest = 0;
    QSet<QString> measured;
    for (int r = 0; r < model_->rowCount() && c != Tick; ++r) {
      const QString text = model_->index(r, c).data().toString();
      if (text.size() + 1 < longest || measured.contains(text)) continue;
      longest = std::max<int>(longest, static_cast<int>(text.size()));
      if (measured.size() < kMeasuredTextsAtMost) measured.insert(text);
      width = std::max(width, metrics.horizontalAdvance(text));
    }
    if (!growOnly || width + margin > table_->horizontalHeader()->sectionSize(c))
      table_->horizontalHeader()->resizeSection(c, width + margin);
  }
}

void OverviewDock::showCurrent(int member) {
  current_ = member;
  const int row = model_->rowOf(member);
  if (row < 0) {
    table_->clearSelection();
    return;
  }
  const QModelIndex index = sorted_->mapFromSource(model_->index(row, Code));
  // Rows chosen together stay chosen while the current member is one of them.
  const bool chosen = table_->selectionModel()->isRowSelected(index.row(), {});
  table_->selectionModel()->setCurrentIndex(
      index, chosen ? QItemSelectionModel::NoUpdate
                    : QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  table_->scrollTo(index);
}

std::vector<int> OverviewDock::chosenMembers() const {
  std::vector<int> members;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows())
    members.push_back(model_->data(sorted_->mapToSource(index), OverviewModel::kMemberRole).toInt());
  return members;
}

bool OverviewDock::readingsOnly() const { return readingsOnly_->isChecked(); }

void OverviewDock::setComparison(const std::optional<std::string>& source,
                                 const std::vector<ComparisonLine>& lines) {
  comparison_->setVisible(source.has_value());
  differences_->clear();
  if (!source) return;
  comparisonTitle_->setText(
      QString("与原始数据比较：%1（%2 处不同）").arg(QString::fromStdString(*source)).arg(lines.size()));
  for (const ComparisonLine& line : lines) {
    auto* item = new QListWidgetItem(QString::fromStdString(line.text), differences_);
    item->setData(Qt::UserRole, line.member);
    item->setData(Qt::UserRole + 1, line.reading);
  }
  if (lines.empty()) differences_->addItem("与原始数据相同。");
}

}  // namespace kro::gui
