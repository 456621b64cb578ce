// Member panel.
#include "gui/member_panel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "gui/dialogs.h"
#include "model/date_text.h"
#include "model/gbk_text.h"
#include "model/panel_texts.h"
#include "model/record_replay.h"
#include "settings/settings_file.h"

namespace kro::gui {
namespace {

// Shows a text in a box; a box the user is typing in keeps its text while it says the same
// number ("", "-" and "0" all mean 0), so typing is never interrupted.
void showNumber(QLineEdit* box, const std::string& text) {
  if (box->hasFocus() && !text.empty() && atoiValue(box->text().toStdString()) == atoiValue(text)) return;
  box->setText(qt(text));
}

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
  // The current member's row highlighted; Ctrl and Shift choose more rows to tick together.
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  for (std::size_t c = 0; c < kMemberListWidths.size(); ++c) {
    list_->header()->resizeSection(static_cast<int>(c), kMemberListWidths[c]);
  }
  connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid() && current.row() != doc_.currentMember()) onRowChosen(current);
          });
  // A click on the current row shows it again.
  connect(list_, &QTreeView::clicked, this, [this](const QModelIndex& index) {
    onRowChosen(index);
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
  average_ = addField(grid, 4, 1, "平均厚度", "averageEdit", false, &averageMark_);
  passCount_ = addField(grid, 5, 0, "合格点数", "passCountEdit", false);
  passRate_ = addField(grid, 5, 1, "合格率", "passRateEdit", false, &passRateMark_);
  // Under a rule that judges members by their means: the mean as recorded, the band, the verdict.
  judged_ = addField(grid, 6, 0, "平均值判定", "judgedEdit", false);
  judgedCaption_ = qobject_cast<QLabel*>(grid->itemAtPosition(6, 0)->widget());
  grid->removeWidget(judged_);
  grid->addWidget(judged_, 6, 1, 1, 3);
  // Under a rule with a second sample: which sample the member belongs to.
  sampleCaption_ = new QLabel("抽样批次", current);
  sample_ = new QComboBox(current);
  sample_->setObjectName("sampleBox");
  sample_->addItems({"第一次抽样", "第二次抽样"});
  sample_->setToolTip("判定规则需要二次抽样时，第二次抽样的构件与第一次抽样合并判定");
  grid->addWidget(sampleCaption_, 7, 0);
  grid->addWidget(sample_, 7, 1, 1, 3);
  connect(sample_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (filling_ || index < 0 || doc_.currentMember() < 0) return;
    BatchEditRequest request;
    request.only = {doc_.currentMember()};
    request.values.sample = static_cast<std::uint8_t>(index + 1);
    if (auto set = doc_.batchEdit(request); !set)
      Dialogs::message(this, MessageKind::Warning, QString::fromStdString(set.message()));
  });
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  averageMark_->setObjectName("averageMark");
  passRateMark_->setObjectName("passRateMark");

  auto* totals = new QGroupBox("全部构件（含未勾选的）", this);
  auto* totalsGrid = new QGridLayout(totals);
  totalReadings_ = addField(totalsGrid, 0, 0, "所有测点个数", "totalReadingsEdit", false);
  totalPass_ = addField(totalsGrid, 0, 1, "所有合格测点数", "totalPassEdit", false);
  overallRate_ = addField(totalsGrid, 1, 0, "整体合格率", "overallRateEdit", false);
  // The totals reports use: the ticked members', with the verdict.
  tickedTotals_ = new QLabel(totals);
  tickedTotals_->setObjectName("tickedTotals");
  tickedTotals_->setWordWrap(true);
  tickedTotals_->setToolTip("打印、Word报告和数据表格只包括勾选的构件");
  totalsGrid->addWidget(tickedTotals_, 2, 0, 1, 4);
  recordSummary_ = new QLabel(totals);
  recordSummary_->setObjectName("recordSummary");
  recordSummary_->setWordWrap(true);
  recordSummary_->setToolTip(
      "测点表中：改 = 修改过，手 = 手工输入，导 = 导入，仪 = 仪器文件；详见 工具 → 修改记录");
  totalsGrid->addWidget(recordSummary_, 3, 0, 1, 4);

  registerState_ = new QLabel("签发状态：未签发", this);
  registerState_->setObjectName("registerState");
  registerState_->setToolTip("这个工程在本单位台账中的状态：文件 → 签发报告、报告台账");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(registerState_);
  layout->addWidget(list_, 37);
  layout->addWidget(current, 38);
  layout->addWidget(totals, 25);

  connect(name_, &QLineEdit::textEdited, this, &MemberPanel::onNameEdited);
  connect(design_, &QLineEdit::textEdited, this, &MemberPanel::onDesignEdited);
  connect(design_, &QLineEdit::editingFinished, this, &MemberPanel::onDesignFinished);
  connect(plus_, &QLineEdit::textEdited, this,
          [this] { onNumberEdited(plus_, &CKroAnalyzeDoc::setPlusDeviation); });
  connect(minus_, &QLineEdit::textEdited, this, &MemberPanel::onMinusEdited);
  connect(date_, &QDateEdit::dateChanged, this, &MemberPanel::onDateChanged);
  // Typing in one box is one undo step until the user leaves the box.
  for (QLineEdit* box : {name_, design_, plus_, minus_}) {
    connect(box, &QLineEdit::editingFinished, this, [this] { doc_.closeUndoStep(); });
  }

  // Ctrl+Z and Ctrl+Y in the boxes undo and redo the document's commands (the panel's edits are
  // commands too), not the box's own typing.
  for (QWidget* w : std::initializer_list<QWidget*>{name_, design_, plus_, minus_, date_})
    w->installEventFilter(this);
  if (auto* dateText = date_->findChild<QLineEdit*>()) dateText->installEventFilter(this);
}

QLineEdit* MemberPanel::addField(QGridLayout* grid, int row, int side, const char* label, const char* name,
                                 bool editable, QLabel** mark) {
  // Each row holds two label-and-box pairs, left (side 0) and right (side 1).
  QWidget* parent = grid->parentWidget();
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setReadOnly(!editable);
  // Wide enough for any figure shown, so the right column never shrinks to a sliver beside the
  // date box; the panel grows instead.
  box->setMinimumWidth(box->fontMetrics().horizontalAdvance("1000.0%") + 12);
  auto* caption = new QLabel(label, parent);
  caption->setBuddy(box);
  grid->addWidget(caption, row, side * 2);
  if (mark == nullptr) {
    grid->addWidget(box, row, side * 2 + 1);
    return box;
  }
  // A stored figure gets a mark beside it, shown when the readings give another figure.
  auto* cell = new QWidget(parent);
  auto* line = new QHBoxLayout(cell);
  line->setContentsMargins(0, 0, 0, 0);
  line->setSpacing(2);
  line->addWidget(box);
  *mark = new QLabel(
      QString::fromUtf8(kStoredFigureMark.data(), static_cast<qsizetype>(kStoredFigureMark.size())), cell);
  (*mark)->setVisible(false);
  line->addWidget(*mark);
  grid->addWidget(cell, row, side * 2 + 1);
  return box;
}

bool MemberPanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool control = key->modifiers() == Qt::ControlModifier;
    // Ctrl+E (数据导入Excel) would move the cursor to the line's end in a text box.
    if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
        (control && (key->key() == Qt::Key_Y || key->key() == Qt::Key_E))) {
      // Left unaccepted, the key reaches the window's actions.
      event->ignore();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void MemberPanel::rebuildList() {
  filling_ = true;
  model_.rebuild();
  filling_ = false;
  highlightCurrent();
}

void MemberPanel::updateRow(int row) { model_.updateRow(row); }

void MemberPanel::highlightCurrent() {
  filling_ = true;
  const int current = doc_.currentMember();
  if (current >= 0 && current < model_.rowCount()) {
    const QModelIndex index = model_.index(current, 0);
    // Rows chosen together stay chosen while the current member is one of them.
    const bool chosen = list_->selectionModel()->isRowSelected(current, {});
    list_->selectionModel()->setCurrentIndex(
        index, chosen ? QItemSelectionModel::NoUpdate
                      : QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list_->scrollTo(index);
  } else {
    list_->selectionModel()->clearSelection();
  }
  filling_ = false;
}

void MemberPanel::showMember(const MemberRecord* member) {
  filling_ = true;
  const PanelTexts t = panelTexts(doc_.project(), doc_.currentMember(), rule_ ? rule_() : RuleInForce{});
  tickedTotals_->setText(qt(t.tickedTotals));
  recordSummary_->setText(qt(kro::recordSummary(
      originCounts(doc_.members(), correctedReadings(doc_.members(), doc_.recordedChanges())),
      doc_.recordedEntryCount())));
  sample_->setVisible(t.sample > 0);
  sampleCaption_->setVisible(t.sample > 0);
  if (t.sample > 0) sample_->setCurrentIndex(t.sample - 1);
  judged_->setVisible(!t.judged.empty());
  judgedCaption_->setVisible(!t.judged.empty());
  judged_->setText(qt(t.judged));
  judged_->setStyleSheet(t.judgedPass ? "color: #106010;" : "color: #b01010;");
  tickedTotals_->setStyleSheet(t.tickedPass ? "color: #106010;" : "color: #b01010;");
  const std::pair<QLineEdit*, const std::string*> figures[] = {
      {code_, &t.code},
      {average_, &t.averageThickness},
      {max_, &t.maxThickness},
      {min_, &t.minThickness},
      {count_, &t.readingCount},
      {passCount_, &t.passCount},
      {passRate_, &t.passRate},
      {totalReadings_, &t.totalReadingCount},
      {totalPass_, &t.totalPassCount},
      {overallRate_, &t.overallPassRate},
  };
  for (const auto& [box, text] : figures) box->setText(qt(*text));
  if (!name_->hasFocus() || name_->text() != qt(t.name)) name_->setText(qt(t.name));
  lastName_ = name_->text();
  showNumber(design_, t.designThickness);
  showNumber(plus_, t.plusDeviation);
  showNumber(minus_, t.minusDeviation);
  const std::tuple<QLineEdit*, QLabel*, const std::string*, bool> marks[] = {
      {passRate_, passRateMark_, &t.passRateNote, t.passRateDiffers},
      {average_, averageMark_, &t.averageNote, t.averageDiffers}};
  for (const auto& [box, mark, note, differs] : marks) {
    mark->setVisible(!note->empty());
    // Orange where the readings give another figure, quiet where they agree.
    mark->setStyleSheet(differs ? "color: #c05000;" : "color: palette(mid);");
    mark->setToolTip(qt(*note));
    box->setToolTip(qt(*note));
  }
  if (member != nullptr) {
    // A stored date in none of the known forms shows today's date.
    if (auto d = parseStoredDate(member->testDate())) {
      date_->setDate(QDate(d->year, d->month, d->day));
    } else {
      date_->setDate(QDate::currentDate());
    }
  }
  filling_ = false;
  highlightCurrent();
}

void MemberPanel::onRowChosen(const QModelIndex& index) {
  if (filling_ || !index.isValid()) return;
  doc_.selectMember(index.row());
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

void MemberPanel::onDesignEdited() {
  if (doc_.currentMemberRecord() == nullptr) return;
  // Empty or half typed ("", "-"): the member keeps its last valid value until a number stands
  // there; a number no slab can have is refused, and the box shows the stored one when left.
  bool number = false;
  const qlonglong typed = design_->text().trimmed().toLongLong(&number);
  if (!number) return;
  if (Status s = doc_.setDesignThickness(
          static_cast<std::int32_t>(std::clamp<qlonglong>(typed, INT32_MIN, INT32_MAX)));
      !s) {
    emit statusMessage(qt(s.message()));
  }
}

void MemberPanel::onDesignFinished() {
  const MemberRecord* m = doc_.currentMemberRecord();
  if (m == nullptr) return;
  const QString stored = QString::number(m->designThickness());
  if (design_->text().trimmed() == stored) return;
  if (!design_->text().trimmed().isEmpty()) {
    emit statusMessage(QString("设计厚度“%1”没有输入，仍为 %2 mm。").arg(design_->text().trimmed(), stored));
  }
  design_->setText(stored);
}

void MemberPanel::onMinusEdited() {
  if (doc_.currentMemberRecord() == nullptr) return;
  const std::int32_t typed = atoiValue(minus_->text().toStdString());
  const std::int32_t stored = doc_.setMinusDeviation(typed);
  if (typed != stored) {
    // The deviation is held negative: the box shows what was stored.
    minus_->setText(QString::number(stored));
    emit statusMessage(QString("允许负偏差按负数保存：输入的 %1 已存为 %2。").arg(typed).arg(stored));
  }
}

void MemberPanel::onDateChanged(const QDate& date) {
  if (filling_ || doc_.currentMemberRecord() == nullptr) return;
  doc_.setTestDate(paddedDateText({date.year(), date.month(), date.day()}));
}

void MemberPanel::setRegisterState(const QString& text) { registerState_->setText(text); }

}  // namespace kro::gui
