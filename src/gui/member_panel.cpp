// Member panel.
#include "gui/member_panel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/dialogs.h"
#include "model/date_text.h"
#include "model/gbk_text.h"
#include "model/panel_texts.h"
#include "settings/settings_file.h"

namespace kro::gui {
namespace {

QString qt(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

MemberPanel::MemberPanel(CKroAnalyzeDoc& doc, QWidget* parent) : QWidget(parent), doc_(doc), model_(doc) {
  setObjectName("memberPanel");
  list_ = new QTreeView(this);
  list_->setObjectName("memberList");
  list_->setModel(&model_);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setAllColumnsShowFocus(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  for (std::size_t c = 0; c < kMemberListWidths.size(); ++c) {
    list_->header()->resizeSection(static_cast<int>(c), kMemberListWidths[c]);
  }
  connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { onCurrentRowChanged(current); });
  connect(list_, &QTreeView::clicked, this, [this](const QModelIndex& index) {
    onCurrentRowChanged(index);
    list_->setFocus();
  });

  auto* current = new QGroupBox("当前构件", this);
  auto* grid = new QGridLayout(current);
  name_ = addField(grid, 0, 0, "构件名称", "nameEdit", true);
  code_ = addField(grid, 0, 1, "构件编号", "codeEdit", false);
  grid->addWidget(new QLabel("测试日期", current), 1, 0);
  date_ = new QDateEdit(current);
  date_->setObjectName("dateEdit");
  date_->setDisplayFormat("yyyy年M月d日");
  date_->setCalendarPopup(true);
  date_->setAlignment(Qt::AlignRight);
  grid->addWidget(date_, 1, 1);
  design_ = addField(grid, 1, 1, "设计厚度", "designEdit", true);
  plus_ = addField(grid, 2, 0, "允许正偏差", "plusEdit", true);
  minus_ = addField(grid, 2, 1, "允许负偏差", "minusEdit", true);
  max_ = addField(grid, 3, 0, "厚度最大值", "maxEdit", false);
  min_ = addField(grid, 3, 1, "厚度最小值", "minEdit", false);
  count_ = addField(grid, 4, 0, "数据个数", "countEdit", false);
  average_ = addField(grid, 4, 1, "平均厚度", "averageEdit", false);
  passCount_ = addField(grid, 5, 0, "合格点数", "passCountEdit", false);
  passRate_ = addField(grid, 5, 1, "合格率", "passRateEdit", false);

  auto* totals = new QGroupBox("全部构件", this);
  auto* totalsGrid = new QGridLayout(totals);
  totalReadings_ = addField(totalsGrid, 0, 0, "所有测点个数", "totalReadingsEdit", false);
  totalPass_ = addField(totalsGrid, 0, 1, "所有合格测点数", "totalPassEdit", false);
  overallRate_ = addField(totalsGrid, 1, 0, "整体合格率", "overallRateEdit", false);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 37);
  layout->addWidget(current, 38);
  layout->addWidget(totals, 25);

  connect(name_, &QLineEdit::textEdited, this, &MemberPanel::onNameEdited);
  connect(design_, &QLineEdit::textEdited, this,
          [this] { onNumberEdited(design_, &CKroAnalyzeDoc::setDesignThickness); });
  connect(plus_, &QLineEdit::textEdited, this,
          [this] { onNumberEdited(plus_, &CKroAnalyzeDoc::setPlusDeviation); });
  connect(minus_, &QLineEdit::textEdited, this,
          [this] { onNumberEdited(minus_, &CKroAnalyzeDoc::setMinusDeviation); });
  connect(date_, &QDateEdit::dateChanged, this, &MemberPanel::onDateChanged);
}

QLineEdit* MemberPanel::addField(QGridLayout* grid, int row, int side, const char* label, const char* name,
                                 bool editable) {
  // Each row holds two label-and-box pairs, left (side 0) and right (side 1).
  auto* box = new QLineEdit(grid->parentWidget());
  box->setObjectName(name);
  box->setReadOnly(!editable);
  auto* caption = new QLabel(label, grid->parentWidget());
  caption->setBuddy(box);
  grid->addWidget(caption, row, side * 2);
  grid->addWidget(box, row, side * 2 + 1);
  return box;
}

void MemberPanel::rebuildList() {
  filling_ = true;
  model_.rebuild();
  const int current = doc_.currentMember();
  if (current >= 0 && current < doc_.memberCount()) {
    const QModelIndex index = model_.index(current, 0);
    list_->selectionModel()->setCurrentIndex(index,
                                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list_->scrollTo(index);
  }
  filling_ = false;
}

void MemberPanel::showMember(const MemberRecord* member) {
  filling_ = true;
  const PanelTexts t = panelTexts(doc_);
  const std::pair<QLineEdit*, const std::string*> fields[] = {
      {name_, &t.name},
      {code_, &t.code},
      {average_, &t.averageThickness},
      {design_, &t.designThickness},
      {plus_, &t.plusDeviation},
      {minus_, &t.minusDeviation},
      {max_, &t.maxThickness},
      {min_, &t.minThickness},
      {count_, &t.readingCount},
      {passCount_, &t.passCount},
      {passRate_, &t.passRate},
      {totalReadings_, &t.totalReadingCount},
      {totalPass_, &t.totalPassCount},
      {overallRate_, &t.overallPassRate},
  };
  for (const auto& [box, text] : fields) box->setText(qt(*text));
  lastName_ = name_->text();
  if (member != nullptr) {
    // A stored date in none of the known forms shows today's date.
    if (auto d = parseStoredDate(member->testDate())) {
      date_->setDate(QDate(d->year, d->month, d->day));
    } else {
      date_->setDate(QDate::currentDate());
    }
  }
  filling_ = false;
}

void MemberPanel::updateCountCell(int row) { model_.updateCountCell(row); }

void MemberPanel::onCurrentRowChanged(const QModelIndex& current) {
  if (filling_ || !current.isValid()) return;
  // The newly highlighted member becomes current, whether clicked or reached by an arrow key.
  if (current.row() != doc_.currentMember()) doc_.selectMember(current.row());
}

void MemberPanel::onNameEdited(const QString& text) {
  if (doc_.currentMemberRecord() == nullptr) return;
  auto field = toFieldText(text.toStdString(), MemberRecord::kNameCapacity);
  if (!field) {
    name_->setText(lastName_);
    Dialogs::message(this, MessageKind::Warning, qt(field.message()));
    return;
  }
  if (field.value().cut) {
    // Text beyond the field's capacity is cut at a character boundary.
    const int cursor = name_->cursorPosition();
    name_->setText(qt(gbkToUtf8(field.value().gbk)));
    name_->setCursorPosition(std::min(cursor, static_cast<int>(name_->text().size())));
  }
  lastName_ = name_->text();
  doc_.setMemberName(field.value().gbk);
}

void MemberPanel::onNumberEdited(QLineEdit* box, void (CKroAnalyzeDoc::*set)(std::int32_t)) {
  if (doc_.currentMemberRecord() == nullptr) return;
  (doc_.*set)(atoiValue(box->text().toStdString()));
}

void MemberPanel::onDateChanged(const QDate& date) {
  if (filling_ || doc_.currentMemberRecord() == nullptr) return;
  doc_.setTestDate(paddedDateText({date.year(), date.month(), date.day()}));
}

}  // namespace kro::gui
