// The report parameters dialog ("报告参数"): the report format list, the acceptance rule, and one
// page of parameters per format. A field of the same name is one value on every page; the
// values belong to the project (the window stores them as an undoable change), the format
// choice and the office fields become the defaults of later projects.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QStackedWidget>
#include <map>
#include <vector>

#include "report/project_parameters.h"

namespace kro::gui {

class ReportParametersDialog : public QDialog {
  Q_OBJECT

 public:
  // The project's values and the chosen format (-1: none).
  ReportParametersDialog(ParameterValues values, int chosenFormat, QWidget* parent = nullptr);

  QComboBox* formatList() const { return formats_; }
  QLineEdit* ruleField() const { return rule_; }
  // The field of a key on a format's page (QLineEdit, QComboBox or QDateEdit), by the name the
  // format gives it.
  QWidget* field(int format, const std::string& key) const;

  // After OK: the values of every field, and the chosen format (-1: none).
  const ParameterValues& values() const { return values_; }
  int chosenFormat() const { return shown_; }

 public slots:
  void accept() override;

 private:
  void buildPage(int format);
  void showValues(int format);
  void takeValues(int format);
  void onFormatChosen(int format);

  ParameterValues values_;
  QComboBox* formats_;
  QLineEdit* rule_;
  QStackedWidget* pages_;
  std::vector<std::map<std::string, QWidget*>> fields_;
  int shown_ = -1;
};

}  // namespace kro::gui
