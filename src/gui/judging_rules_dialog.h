// 判定规则: the rules an office may choose for its projects, built in and its own (one file each
// in the configuration folder's "判定规则"). A rule is shown as its fields; 新建 starts from the
// chosen rule under a new name, 保存 writes the office's file (a built-in rule's name makes the
// office's own version of it), 删除 removes an office file. Projects keep the definition they
// were given; only new choices see a changed rule.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <optional>
#include <vector>

#include "model/judging_rule.h"
#include "settings/program_paths.h"

namespace kro::gui {

class JudgingRulesDialog : public QDialog {
  Q_OBJECT

 public:
  explicit JudgingRulesDialog(SettingsLocation settings, QWidget* parent = nullptr);

  QListWidget* list() const { return list_; }
  QLineEdit* field(const char* key) const;
  // The actions of the buttons, for the window's tests as for the user.
  void makeNew();
  bool saveShown();
  bool deleteChosen();

 private:
  void refill(const QString& current = QString());
  void show(const JudgingRule& rule);
  // The rule as the fields give it, or a message naming what is wrong.
  Result<JudgingRule> shownRule() const;
  bool isOfficeFile(const QString& name) const;

  SettingsLocation settings_;
  std::vector<JudgingRule> rules_;
  QListWidget* list_;
  QLineEdit *name_, *citation_, *band_, *threshold_, *points_, *least_, *second_;
  QComboBox *judged_, *rounding_;
  QPlainTextEdit *method_, *sampling_;
};

}  // namespace kro::gui
