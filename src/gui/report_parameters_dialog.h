// The report parameters dialog ("报告参数"): the report format list, the judging rule, the
// acceptance rate (when the rule takes the project's), and one page of parameters per format. A field of the
// same name is one value on every page; the values belong to the project (the window stores them as an
// undoable change), the format choice and the office fields become the defaults of later projects.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "report/project_parameters.h"

namespace kro::gui {

// A user format as the dialog lists it: its name, the report parameters it prints, and the
// parameters it declares for itself ({{参数:名称}}).
struct UserFormatPage {
  std::string name;
  std::vector<std::string> parameters;
  std::vector<std::string> declared;
};

class ReportParametersDialog : public QDialog {
  Q_OBJECT

 public:
  // The project's values and the chosen format (-1: none); the user's formats are listed after
  // the six, chosenUser (by name) chosen when chosenFormat is -1.
  // The judging rules are those the office may choose (its own after the built-in ones).
  ReportParametersDialog(ParameterValues values, int chosenFormat,
                         std::vector<UserFormatPage> userFormats = {}, const std::string& chosenUser = {},
                         std::vector<JudgingRule> rules = builtInRules(), QWidget* parent = nullptr);

  QComboBox* formatList() const { return formats_; }
  QComboBox* ruleList() const { return rules_; }
  QLineEdit* ruleField() const { return rule_; }
  // The field of a key on a format's page (QLineEdit, QComboBox or QDateEdit), by the name the
  // format gives it.
  QWidget* field(int format, const std::string& key) const;

  // After OK: the values of every field, and the chosen format (-1: none or a user format, then
  // named by chosenUserFormat).
  const ParameterValues& values() const { return values_; }
  int chosenFormat() const { return shown_ < kReportFormatCount ? shown_ : -1; }
  std::optional<std::string> chosenUserFormat() const;

 public slots:
  void accept() override;

 private:
  void buildPage(int format);
  void buildUserPage(const UserFormatPage& format);
  // The page of a format in the list: the six, the empty page of no choice, then the user's.
  int pageOf(int format) const;
  void showValues(int format);
  void takeValues(int format);
  void onFormatChosen(int format);
  void onRuleChosen(int index);

  ParameterValues values_;
  QComboBox* formats_;
  QLineEdit* rule_;
  QComboBox* rules_;
  QLineEdit* rooms_;
  QLabel* ruleSummary_;
  QString typedRate_;
  std::vector<JudgingRule> ruleChoices_;  // the list's rules, the project's own first when no office has it
  QStackedWidget* pages_;
  std::vector<std::map<std::string, QWidget*>> fields_;
  std::vector<UserFormatPage> userFormats_;
  int shown_ = -1;
};

}  // namespace kro::gui
