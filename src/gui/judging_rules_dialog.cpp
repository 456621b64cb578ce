// The judging rules dialog.
#include "gui/judging_rules_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>

#include "gui/dialogs.h"
#include "model/file_io.h"
#include "report/project_parameters.h"

namespace kro::gui {
namespace {

std::string utf8(const QString& text) { return text.toStdString(); }

}  // namespace

JudgingRulesDialog::JudgingRulesDialog(SettingsLocation settings, QWidget* parent)
    : QDialog(parent), settings_(std::move(settings)) {
  setObjectName("judgingRulesDialog");
  setWindowTitle("判定规则");
  list_ = new QListWidget(this);
  list_->setObjectName("ruleList");
  list_->setMaximumWidth(220);
  auto line = [this](const char* key, const QString& tip) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(key);
    edit->setToolTip(tip);
    return edit;
  };
  name_ = line("名称", "规则的名称，也是本单位规则文件的文件名");
  citation_ = line("依据", "检测依据：工程参数中没有另外填写时，报告打印的依据");
  band_ = line("允许偏差", "“构件自身”（各构件的允许偏差），或围绕设计厚度的下、上偏差（毫米），如 -5/+10");
  threshold_ = line("合格率", "合格率（0 到 100，最多一位小数），或“合格率要求”（用工程参数中的值）");
  points_ = line("测点数", "每个构件应有的测点数，0 为不限");
  least_ = line("最少构件数", "抽样至少的构件数，0 为不限");
  second_ = line("二次抽样",
                 "按构件判定时，第一次抽样的合格率低于合格率而不低于此值时需二次抽样；“无”为不二次抽样");
  judged_ = new QComboBox(this);
  judged_->setObjectName("对象");
  judged_->addItems({"测点", "构件平均值"});
  rounding_ = new QComboBox(this);
  rounding_->setObjectName("修约");
  rounding_->addItems({"不修约", "整毫米"});
  rounding_->setToolTip("构件平均值先按 GB/T 8170 修约到整毫米再判定");
  method_ = new QPlainTextEdit(this);
  method_->setObjectName("方法");
  method_->setMaximumHeight(70);
  sampling_ = new QPlainTextEdit(this);
  sampling_->setObjectName("抽样");
  sampling_->setMaximumHeight(50);
  auto* form = new QFormLayout;
  form->addRow("名称", name_);
  form->addRow("检测依据", citation_);
  form->addRow("判定对象", judged_);
  form->addRow("平均值修约", rounding_);
  form->addRow("允许偏差", band_);
  form->addRow("合格率（%）", threshold_);
  form->addRow("每构件测点数", points_);
  form->addRow("最少构件数", least_);
  form->addRow("二次抽样起（%）", second_);
  form->addRow("检测方法", method_);
  form->addRow("抽样方法", sampling_);

  auto* newButton = new QPushButton("新建(&N)", this);
  newButton->setObjectName("newRuleButton");
  auto* saveButton = new QPushButton("保存(&S)", this);
  saveButton->setObjectName("saveRuleButton");
  auto* deleteButton = new QPushButton("删除(&D)", this);
  deleteButton->setObjectName("deleteRuleButton");
  connect(newButton, &QPushButton::clicked, this, &JudgingRulesDialog::makeNew);
  connect(saveButton, &QPushButton::clicked, this, [this] { saveShown(); });
  connect(deleteButton, &QPushButton::clicked, this, [this] { deleteChosen(); });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(newButton);
  buttons->addWidget(saveButton);
  buttons->addWidget(deleteButton);
  buttons->addStretch(1);
  auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
  close->button(QDialogButtonBox::Close)->setText("关闭");
  connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* right = new QVBoxLayout;
  right->addLayout(form);
  right->addLayout(buttons);
  auto* note = new QLabel(
      "工程保存自己选用的规则的完整定义：在这里修改规则只影响以后选用它的工程。与内置规则同名的本单位规则"
      "代替内置规则。",
      this);
  note->setWordWrap(true);
  right->addWidget(note);
  auto* body = new QHBoxLayout;
  body->addWidget(list_);
  body->addLayout(right, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body);
  layout->addWidget(close);
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0 && row < static_cast<int>(rules_.size())) show(rules_[static_cast<std::size_t>(row)]);
  });
  refill();
}

QLineEdit* JudgingRulesDialog::field(const char* key) const { return findChild<QLineEdit*>(key); }

void JudgingRulesDialog::refill(const QString& current) {
  const OfficeRules office = officeRules(settings_);
  rules_ = office.rules;
  list_->clear();
  for (const JudgingRule& rule : rules_) {
    const bool builtIn = builtInRule(rule.name) != nullptr && *builtInRule(rule.name) == rule;
    list_->addItem(qt(rule.name) + (builtIn ? "（内置）" : ""));
  }
  int row = 0;
  for (std::size_t i = 0; i < rules_.size(); ++i) {
    if (qt(rules_[i].name) == current) row = static_cast<int>(i);
  }
  list_->setCurrentRow(row);
  if (!office.problems.empty()) {
    QString text;
    for (const std::string& p : office.problems) text += qt(p) + "\n";
    Dialogs::message(this, MessageKind::Warning, text.trimmed());
  }
}

void JudgingRulesDialog::show(const JudgingRule& rule) {
  std::map<std::string, std::string, std::less<>> fields;
  for (const auto& [key, value] : ruleFields(rule)) fields[key] = value;
  name_->setText(qt(rule.name));
  citation_->setText(qt(rule.citation));
  judged_->setCurrentText(qt(fields["对象"]));
  rounding_->setCurrentText(qt(fields["修约"]));
  band_->setText(qt(fields["允许偏差"]));
  threshold_->setText(qt(fields["合格率"]));
  points_->setText(qt(fields["测点数"]));
  least_->setText(qt(fields["最少构件数"]));
  second_->setText(qt(fields["二次抽样"]));
  method_->setPlainText(qt(rule.method));
  sampling_->setPlainText(qt(rule.sampling));
}

Result<JudgingRule> JudgingRulesDialog::shownRule() const {
  const std::map<std::string, std::string, std::less<>> fields = {
      {std::string(kRuleNameKey), utf8(name_->text().trimmed())},
      {"依据", utf8(citation_->text().trimmed())},
      {"对象", utf8(judged_->currentText())},
      {"修约", utf8(rounding_->currentText())},
      {"允许偏差", utf8(band_->text().trimmed())},
      {"合格率", utf8(threshold_->text().trimmed())},
      {"测点数", utf8(points_->text().trimmed())},
      {"最少构件数", utf8(least_->text().trimmed())},
      {"二次抽样", utf8(second_->text().trimmed())},
      {"方法", utf8(method_->toPlainText().simplified())},
      {"抽样", utf8(sampling_->toPlainText().simplified())},
  };
  return ruleFromFields([&](std::string_view key) -> std::optional<std::string> {
    auto it = fields.find(key);
    return it == fields.end() ? std::nullopt : std::optional<std::string>(it->second);
  });
}

void JudgingRulesDialog::makeNew() {
  // The chosen rule under a name of its own, to be changed and saved.
  QString name = name_->text() + "（本单位）";
  for (int n = 2;
       std::any_of(rules_.begin(), rules_.end(), [&](const JudgingRule& r) { return qt(r.name) == name; });
       ++n)
    name = name_->text() + QString("（本单位%1）").arg(n);
  name_->setText(name);
  list_->clearSelection();
  name_->setFocus();
  name_->selectAll();
}

bool JudgingRulesDialog::saveShown() {
  auto rule = shownRule();
  if (!rule) {
    Dialogs::message(this, MessageKind::Warning, "规则没有保存：" + qt(rule.message()) + "。");
    return false;
  }
  if (Status saved = saveOfficeRule(settings_, rule.value()); !saved) {
    Dialogs::message(this, MessageKind::Error, qt(saved.message()));
    return false;
  }
  refill(qt(rule.value().name));
  return true;
}

bool JudgingRulesDialog::isOfficeFile(const QString& name) const {
  std::error_code ec;
  return std::filesystem::is_regular_file(officeRuleFolder(settings_) / pathFromUtf8(utf8(name) + ".ini"),
                                          ec);
}

bool JudgingRulesDialog::deleteChosen() {
  const int row = list_->currentRow();
  if (row < 0 || row >= static_cast<int>(rules_.size())) return false;
  const QString name = qt(rules_[static_cast<std::size_t>(row)].name);
  if (!isOfficeFile(name)) {
    Dialogs::message(this, MessageKind::Information, "“" + name + "”是内置规则，不能删除。");
    return false;
  }
  if (!Dialogs::askYesNo(this, "删除本单位的判定规则“" + name + "”吗？已选用它的工程仍保存着它的定义。"))
    return false;
  std::error_code ec;
  std::filesystem::remove(officeRuleFolder(settings_) / pathFromUtf8(utf8(name) + ".ini"), ec);
  if (ec) {
    Dialogs::message(this, MessageKind::Error,
                     qt(fileErrorMessage("无法删除", officeRuleFolder(settings_), ec.value())));
    return false;
  }
  refill();
  return true;
}

}  // namespace kro::gui
