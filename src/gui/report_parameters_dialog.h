// The report parameters dialog ("报告参数"): the report format list and one page of project
// parameters per format. The loading, reloading and saving rules live in ReportParametersEditor.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QStackedWidget>
#include <map>
#include <vector>

#include "report/report_parameters.h"

namespace kro::gui {

class ReportParametersDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ReportParametersDialog(SettingsLocation location, QWidget* parent = nullptr);

  QComboBox* formatList() const { return formats_; }
  // The field of a key on a format's page (QLineEdit, QComboBox or QDateEdit).
  QWidget* field(int format, const std::string& key) const;

 public slots:
  void accept() override;

 private:
  void buildPage(int format);
  void showValues(int format);
  void takeValues(int format);
  void onFormatChosen(int format);

  ReportParametersEditor editor_;
  QComboBox* formats_;
  QStackedWidget* pages_;
  std::vector<std::map<std::string, QWidget*>> fields_;
  int shown_ = -1;
};

}  // namespace kro::gui
