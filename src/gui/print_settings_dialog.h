// The header and footer settings dialog ("页眉页脚设置"): header, footer and page number of the printed
// report.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>

#include "settings/program_paths.h"

namespace kro::gui {

class PrintSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PrintSettingsDialog(SettingsLocation location, QWidget* parent = nullptr);

 public slots:
  // Checks the start number before anything is written, then saves; a failure is reported and
  // the dialog stays open.
  void accept() override;

 private:
  SettingsLocation location_;
  QCheckBox *printHeader_, *printFooter_, *printPageNumber_;
  QLineEdit *header_, *footer_, *start_;
  QComboBox *format_, *position_;
};

}  // namespace kro::gui
