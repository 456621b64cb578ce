// Batch edit dialog.
#include "gui/batch_edit_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/date_text.h"

namespace kro::gui {
namespace {

QSpinBox* numberBox(QWidget* parent, const char* name, int low, int high, int value) {
  auto* box = new QSpinBox(parent);
  box->setObjectName(name);
  box->setRange(low, high);
  box->setValue(value);
  box->setSuffix(" mm");
  box->setEnabled(false);
  return box;
}

}  // namespace

BatchEditDialog::BatchEditDialog(const MemberRecord* current, int ticked, int total, bool allMembers,
                                 int appended, QWidget* parent)
    : QDialog(parent) {
  setObjectName("batchEditDialog");
  setWindowTitle("批量设置构件参数");

  auto* values = new QGroupBox("设置以下参数（未勾选的保持不变）", this);
  auto* grid = new QGridLayout(values);
  setDesign_ = new QCheckBox("设计厚度", values);
  setDesign_->setObjectName("setDesign");
  setPlus_ = new QCheckBox("允许正偏差", values);
  setPlus_->setObjectName("setPlus");
  setMinus_ = new QCheckBox("允许负偏差", values);
  setMinus_->setObjectName("setMinus");
  setDate_ = new QCheckBox("测试日期", values);
  setDate_->setObjectName("setDate");
  const int design = current != nullptr && isPlausibleThickness(current->designThickness())
                         ? current->designThickness()
                         : 120;
  design_ = numberBox(values, "designBox", kLowestPlausibleReading, kHighestPlausibleReading, design);
  plus_ = numberBox(values, "plusBox", -9999, 9999, current != nullptr ? current->plusDeviation() : 8);
  minus_ = numberBox(values, "minusBox", -9999, 9999, current != nullptr ? current->minusDeviation() : -5);
  minus_->setToolTip("允许负偏差按负数保存：输入正数时按其负数设置。");
  date_ = new QDateEdit(QDate::currentDate(), values);
  date_->setObjectName("dateBox");
  date_->setDisplayFormat("yyyy年M月d日");
  date_->setCalendarPopup(true);
  date_->setEnabled(false);
  setSample_ = new QCheckBox("抽样批次", values);
  setSample_->setObjectName("setSample");
  sample_ = numberBox(values, "sampleBox", 1, 2, current != nullptr ? current->sample() : 1);
  sample_->setSuffix("");
  sample_->setToolTip("1：第一次抽样；2：按判定规则需要二次抽样时，第二次抽样的构件");
  const std::pair<QCheckBox*, QWidget*> rows[] = {{setDesign_, design_},
                                                  {setPlus_, plus_},
                                                  {setMinus_, minus_},
                                                  {setDate_, date_},
                                                  {setSample_, sample_}};
  int row = 0;
  for (const auto& [check, box] : rows) {
    grid->addWidget(check, row, 0);
    grid->addWidget(box, row, 1);
    connect(check, &QCheckBox::toggled, box, &QWidget::setEnabled);
    connect(check, &QCheckBox::toggled, this, &BatchEditDialog::updateOk);
    ++row;
  }

  auto* scope = new QGroupBox("应用于", this);
  auto* scopeLayout = new QVBoxLayout(scope);
  ticked_ = new QRadioButton(QString("勾选的构件（%1 个）").arg(ticked), scope);
  ticked_->setObjectName("tickedMembers");
  all_ = new QRadioButton(QString("全部构件（%1 个）").arg(total), scope);
  all_->setObjectName("allMembers");
  (ticked > 0 && !allMembers ? ticked_ : all_)->setChecked(true);
  ticked_->setEnabled(ticked > 0);
  scopeLayout->addWidget(ticked_);
  scopeLayout->addWidget(all_);
  if (appended > 0) {
    appended_ = new QRadioButton(QString("刚追加的构件（%1 个）").arg(appended), scope);
    appended_->setObjectName("appendedMembers");
    appended_->setChecked(true);
    scopeLayout->addWidget(appended_);
  }

  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton("确 定", QDialogButtonBox::AcceptRole);
  ok_->setObjectName("okButton");
  buttons->addButton("取 消", QDialogButtonBox::RejectRole)->setObjectName("cancelButton");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(values);
  layout->addWidget(scope);
  layout->addWidget(buttons);
  updateOk();
}

void BatchEditDialog::updateOk() {
  ok_->setEnabled(setDesign_->isChecked() || setPlus_->isChecked() || setMinus_->isChecked() ||
                  setDate_->isChecked() || setSample_->isChecked());
}

BatchEditRequest BatchEditDialog::request() const {
  BatchEditRequest r;
  r.tickedOnly = ticked_->isChecked();
  if (setDesign_->isChecked()) r.values.designThickness = design_->value();
  if (setPlus_->isChecked()) r.values.plusDeviation = plus_->value();
  if (setMinus_->isChecked()) r.values.minusDeviation = minus_->value();
  if (setDate_->isChecked()) {
    const QDate d = date_->date();
    r.values.testDate = paddedDateText({d.year(), d.month(), d.day()});
  }
  if (setSample_->isChecked()) r.values.sample = static_cast<std::uint8_t>(sample_->value());
  return r;
}

}  // namespace kro::gui
