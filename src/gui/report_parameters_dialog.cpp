// Report parameters dialog.
#include "gui/report_parameters_dialog.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>

#include "gui/dialogs.h"
#include "model/gbk_text.h"

namespace kro::gui {
namespace {

// Drops control characters as they are typed or pasted: a parameter is one line of text, and
// such characters could not be written into a report.
class NoControlCharacters : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& pos) const override {
    for (int i = input.size() - 1; i >= 0; --i) {
      if (input[i].category() == QChar::Other_Control) {
        input.remove(i, 1);
        if (i < pos) --pos;
      }
    }
    return Acceptable;
  }
};

const QDate kUnsetDate(1900, 1, 1);

// Opens the calendar of a date that was never set at today's month instead of 1900.
class CalendarAtToday : public QObject {
 public:
  explicit CalendarAtToday(QDateEdit* edit) : QObject(edit), edit_(edit) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && edit_->date() == kUnsetDate) {
      const QDate today = QDate::currentDate();
      static_cast<QCalendarWidget*>(watched)->setCurrentPage(today.year(), today.month());
    }
    return false;
  }

 private:
  QDateEdit* edit_;
};

ParameterKind kindOf(int format, std::string_view key) {
  for (const ParameterField& f : reportFormatInfo(format).fields) {
    if (f.key == key) return f.kind;
  }
  return ParameterKind::Text;
}

}  // namespace

ReportParametersDialog::ReportParametersDialog(ParameterValues values, int chosenFormat,
                                               std::vector<UserFormatPage> userFormats,
                                               const std::string& chosenUser, std::vector<JudgingRule> rules,
                                               QWidget* parent)
    : QDialog(parent),
      values_(std::move(values)),
      fields_(kReportFormatCount + userFormats.size()),
      userFormats_(std::move(userFormats)) {
  setObjectName("reportParametersDialog");
  setWindowTitle("报告参数");
  formats_ = new QComboBox(this);
  formats_->setObjectName("formatList");
  for (int f = 0; f < kReportFormatCount; ++f) formats_->addItem(qt(reportFormatInfo(f).comboText));
  for (const UserFormatPage& u : userFormats_) formats_->addItem(qt(u.name) + "（用户格式）");
  rule_ = new QLineEdit(this);
  rule_->setObjectName(qt(kAcceptanceRuleKey));
  rule_->setMaximumWidth(80);
  rule_->setValidator(new QRegularExpressionValidator(QRegularExpression("\\d{0,3}(\\.\\d?)?"), rule_));
  rule_->setToolTip("合格点率达到此值时，报告、打印和工程概览判定为合格（0 到 100，最多一位小数）");
  rule_->setText(qt(values_(kAcceptanceRuleKey)));
  // The project's rule first when the office has none of its name (or another definition).
  const JudgingRule own = values_.rule().rule;
  if (std::none_of(rules.begin(), rules.end(), [&](const JudgingRule& r) { return r == own; })) {
    std::erase_if(rules, [&](const JudgingRule& r) { return r.name == own.name; });
    rules.insert(rules.begin(), own);
  }
  ruleChoices_ = std::move(rules);
  rules_ = new QComboBox(this);
  rules_->setObjectName(qt(kJudgingRuleKey));
  for (const JudgingRule& r : ruleChoices_) rules_->addItem(qt(r.name));
  rules_->setCurrentIndex(rules_->findText(qt(own.name)));
  ruleSummary_ = new QLabel(this);
  ruleSummary_->setObjectName("ruleSummary");
  ruleSummary_->setWordWrap(true);
  rooms_ = new QLineEdit(this);
  rooms_->setObjectName(qt(kRoomCountKey));
  rooms_->setMaximumWidth(80);
  rooms_->setValidator(new QRegularExpressionValidator(QRegularExpression("\\d{0,6}"), rooms_));
  rooms_->setToolTip("按构件判定的规则抽查其中的 1%（且不少于规则的最少构件数）；检查时据此核对勾选的构件数");
  rooms_->setText(qt(values_(kRoomCountKey)));
  pages_ = new QStackedWidget(this);
  pages_->setMinimumSize(450, 260);
  for (int f = 0; f < kReportFormatCount; ++f) buildPage(f);
  pages_->addWidget(new QWidget(pages_));  // nothing chosen: an empty page
  for (const UserFormatPage& u : userFormats_) buildUserPage(u);

  auto* top = new QGridLayout;
  top->addWidget(new QLabel("Word报告格式", this), 0, 0);
  top->addWidget(formats_, 0, 1);
  top->addWidget(new QLabel("判定规则", this), 1, 0);
  top->addWidget(rules_, 1, 1);
  top->addWidget(ruleSummary_, 2, 1);
  top->addWidget(new QLabel("合格率要求", this), 3, 0);
  auto* ruleLine = new QHBoxLayout;
  ruleLine->addWidget(rule_);
  ruleLine->addWidget(new QLabel("%", this));
  ruleLine->addSpacing(24);
  ruleLine->addWidget(new QLabel("代表性自然间总数", this));
  ruleLine->addWidget(rooms_);
  ruleLine->addStretch(1);
  top->addLayout(ruleLine, 3, 1);
  top->setColumnStretch(1, 1);
  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  auto* note = new QLabel(
      "参数随工程保存，各报告格式中同名的参数是同一项。检测单位、检测仪器、仪器编号、检测依据、检测人员、"
      "合格率要求和判定规则也作为以后新工程的默认值。",
      this);
  note->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton("确定", QDialogButtonBox::AcceptRole)->setObjectName("okButton");
  buttons->addButton("取消", QDialogButtonBox::RejectRole)->setObjectName("cancelButton");
  connect(buttons, &QDialogButtonBox::accepted, this, &ReportParametersDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(line);
  layout->addWidget(pages_, 1);
  layout->addWidget(note);
  layout->addWidget(buttons);

  shown_ = chosenFormat >= 0 && chosenFormat < kReportFormatCount ? chosenFormat : -1;
  for (std::size_t u = 0; chosenFormat == -1 && u < userFormats_.size(); ++u) {
    if (userFormats_[u].name == chosenUser) shown_ = kReportFormatCount + static_cast<int>(u);
  }
  if (shown_ >= 0) showValues(shown_);
  formats_->setCurrentIndex(shown_);
  pages_->setCurrentIndex(pageOf(shown_));
  connect(formats_, &QComboBox::currentIndexChanged, this, &ReportParametersDialog::onFormatChosen);
  connect(rules_, &QComboBox::currentIndexChanged, this, &ReportParametersDialog::onRuleChosen);
  onRuleChosen(rules_->currentIndex());
}

void ReportParametersDialog::onRuleChosen(int index) {
  if (index < 0) return;
  const JudgingRule& rule = ruleChoices_[static_cast<std::size_t>(index)];
  // A rule that fixes its rate shows it and takes no other.
  const AcceptanceRule threshold =
      rule.threshold(parseAcceptanceRule(rule_->text().toStdString()).value_or(AcceptanceRule{}));
  // The rate typed for the project comes back when a rule that takes it is chosen again.
  if (rule_->isEnabled()) typedRate_ = rule_->text();
  rule_->setEnabled(!rule.fixedThreshold);
  rule_->setText(rule.fixedThreshold ? qt(ruleText(*rule.fixedThreshold)) : typedRate_);
  rule_->setToolTip(rule.fixedThreshold
                        ? "判定规则“" + qt(rule.name) + "”规定了合格率，不能修改"
                        : "合格点率达到此值时，报告、打印和工程概览判定为合格（0 到 100，最多一位小数）");
  ruleSummary_->setText(qt(ruleSummary(rule, threshold) + (rule.method.empty() ? "" : "。" + rule.method)));
}

void ReportParametersDialog::buildPage(int format) {
  auto* page = new QWidget(pages_);
  auto* grid = new QGridLayout(page);
  const ReportFormatInfo& info = reportFormatInfo(format);
  const std::vector<std::string_view>* columns[] = {&info.leftColumn, &info.rightColumn};
  for (int side = 0; side < 2; ++side) {
    int row = 0;
    for (std::string_view key : *columns[side]) {
      QWidget* field = nullptr;
      switch (kindOf(format, key)) {
        case ParameterKind::Text:
          field = new QLineEdit(page);
          static_cast<QLineEdit*>(field)->setValidator(new NoControlCharacters(field));
          break;
        case ParameterKind::Grade: {
          auto* grades = new QComboBox(page);
          grades->setEditable(true);
          grades->setValidator(new NoControlCharacters(grades));
          for (std::string_view g : kStrengthGrades) grades->addItem(qt(g));
          field = grades;
          break;
        }
        case ParameterKind::Date: {
          auto* date = new QDateEdit(page);
          date->setDisplayFormat("yyyy年M月d日");
          date->setCalendarPopup(true);
          // The lowest date stands for "never set", shown as 未设置; its calendar opens at today.
          date->setMinimumDate(kUnsetDate);
          date->setSpecialValueText("未设置");
          date->calendarWidget()->installEventFilter(new CalendarAtToday(date));
          field = date;
          break;
        }
      }
      field->setObjectName(qt(key));
      // A field other formats call by another name says so.
      QString label = qt(key);
      const std::string_view own = canonicalParameterName(key);
      if (own != key) {
        label += "（" + qt(own) + "）";
        field->setToolTip("与其他报告格式的“" + qt(own) + "”是同一项");
      }
      grid->addWidget(new QLabel(label, page), row, side * 2);
      grid->addWidget(field, row, side * 2 + 1);
      fields_[static_cast<std::size_t>(format)][std::string(key)] = field;
      ++row;
    }
  }
  grid->setRowStretch(grid->rowCount(), 1);
  pages_->addWidget(page);
}

void ReportParametersDialog::buildUserPage(const UserFormatPage& format) {
  auto* page = new QWidget(pages_);
  auto* grid = new QGridLayout(page);
  auto& fields = fields_[static_cast<std::size_t>(kReportFormatCount) + (&format - userFormats_.data())];
  int at = 0;
  auto add = [&](const std::string& key, const QString& label) {
    auto* line = new QLineEdit(page);
    line->setValidator(new NoControlCharacters(line));
    line->setObjectName(qt(key));
    grid->addWidget(new QLabel(label, page), at / 2, (at % 2) * 2);
    grid->addWidget(line, at / 2, (at % 2) * 2 + 1);
    fields[key] = line;
    ++at;
  };
  for (const std::string& key : format.parameters) {
    if (key != kAcceptanceRuleKey) add(key, qt(key));
  }
  for (const std::string& key : format.declared) add(key, qt(key) + "（本格式）");
  if (at == 0) grid->addWidget(new QLabel("这个格式不打印工程参数。", page), 0, 0);
  grid->setRowStretch(grid->rowCount(), 1);
  pages_->addWidget(page);
}

int ReportParametersDialog::pageOf(int format) const {
  if (format < 0) return kReportFormatCount;
  return format < kReportFormatCount ? format : format + 1;
}

std::optional<std::string> ReportParametersDialog::chosenUserFormat() const {
  if (shown_ < kReportFormatCount) return std::nullopt;
  return userFormats_[static_cast<std::size_t>(shown_ - kReportFormatCount)].name;
}

QWidget* ReportParametersDialog::field(int format, const std::string& key) const {
  const auto& page = fields_.at(static_cast<std::size_t>(format));
  auto it = page.find(key);
  return it == page.end() ? nullptr : it->second;
}

void ReportParametersDialog::showValues(int format) {
  for (const auto& [key, widget] : fields_[static_cast<std::size_t>(format)]) {
    const std::string value = values_(key);
    if (auto* line = qobject_cast<QLineEdit*>(widget)) {
      line->setText(QString::fromStdString(value));
    } else if (auto* grades = qobject_cast<QComboBox*>(widget)) {
      // The first grade that begins with the stored text; a stored text none begins is kept.
      if (auto grade = matchingGrade(value)) {
        grades->setCurrentIndex(grades->findText(qt(*grade)));
      } else {
        grades->setCurrentIndex(-1);
        grades->setEditText(QString::fromStdString(value));
      }
    } else if (auto* date = qobject_cast<QDateEdit*>(widget)) {
      const CalendarDate d = parameterDate(value);
      date->setDate(value.empty() ? kUnsetDate : QDate(d.year, d.month, d.day));
    }
  }
}

void ReportParametersDialog::takeValues(int format) {
  if (format < 0) return;
  for (const auto& [key, widget] : fields_[static_cast<std::size_t>(format)]) {
    if (auto* line = qobject_cast<QLineEdit*>(widget)) {
      values_.set(key, line->text().toStdString());
    } else if (auto* grades = qobject_cast<QComboBox*>(widget)) {
      values_.set(key, grades->currentText().toStdString());
    } else if (auto* date = qobject_cast<QDateEdit*>(widget)) {
      const QDate d = date->date();
      values_.set(key, d == kUnsetDate ? std::string() : parameterDateText({d.year(), d.month(), d.day()}));
    }
  }
}

void ReportParametersDialog::onFormatChosen(int format) {
  // The fields shared with the page shown next carry what was typed on this one.
  takeValues(shown_);
  if (format >= 0) showValues(format);
  shown_ = format;
  pages_->setCurrentIndex(pageOf(format));
}

void ReportParametersDialog::accept() {
  takeValues(shown_);
  const JudgingRule& chosen = ruleChoices_[static_cast<std::size_t>(std::max(0, rules_->currentIndex()))];
  const std::string rule = rule_->text().toStdString();
  if (!chosen.fixedThreshold) {
    if (!parseAcceptanceRule(rule)) {
      Dialogs::message(this, MessageKind::Warning,
                       "合格率要求应是 0 到 100 之间、最多一位小数的数，例如 90 或 87.5。");
      rule_->setFocus();
      return;
    }
    values_.set(kAcceptanceRuleKey, rule);
  }
  // A rule chosen anew brings its definition (and 检测依据 follows it unless typed otherwise).
  if (!(chosen == values_.rule().rule)) values_.setRule(chosen);
  values_.set(kRoomCountKey, rooms_->text().toStdString());
  // A value GBK cannot hold is refused before anything is stored.
  for (const auto& [key, value] : values_.all()) {
    std::string bad;
    if (!utf8ToGbk(value, &bad)) {
      Dialogs::message(
          this, MessageKind::Warning,
          QString("“%1”中的字符“%2”无法以 GBK 编码保存，请修改后再确定。").arg(qt(key), qt(bad)));
      return;
    }
  }
  QDialog::accept();
}

}  // namespace kro::gui
