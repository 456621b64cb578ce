// Print settings dialog.
#include "gui/print_settings_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "gui/dialogs.h"
#include "views/print_settings.h"

namespace kro::gui {

PrintSettingsDialog::PrintSettingsDialog(SettingsLocation location, QWidget* parent)
    : QDialog(parent), location_(std::move(location)) {
  setObjectName("printSettingsDialog");
  setWindowTitle("页眉页脚设置");
  printHeader_ = new QCheckBox("打印页眉", this);
  printHeader_->setObjectName("printHeader");
  printFooter_ = new QCheckBox("打印页脚", this);
  printFooter_->setObjectName("printFooter");
  printPageNumber_ = new QCheckBox("打印页码", this);
  printPageNumber_->setObjectName("printPageNumber");
  header_ = new QLineEdit(this);
  header_->setObjectName("headerText");
  footer_ = new QLineEdit(this);
  footer_->setObjectName("footerText");
  start_ = new QLineEdit(this);
  start_->setObjectName("startPageNumber");
  format_ = new QComboBox(this);
  format_->setObjectName("pageNumberFormat");
  for (std::string_view item : kPageNumberFormats) format_->addItem(qt(item));
  position_ = new QComboBox(this);
  position_->setObjectName("pageNumberPosition");
  for (std::string_view item : kPageNumberPositions) position_->addItem(qt(item));

  auto* grid = new QGridLayout(this);
  grid->addWidget(printHeader_, 0, 0);
  grid->addWidget(printFooter_, 0, 1);
  grid->addWidget(printPageNumber_, 0, 2);
  grid->addWidget(new QLabel("页眉内容", this), 1, 0);
  grid->addWidget(header_, 1, 1, 1, 2);
  grid->addWidget(new QLabel("页脚内容", this), 2, 0);
  grid->addWidget(footer_, 2, 1, 1, 2);
  grid->addWidget(new QLabel("页码格式", this), 3, 0);
  grid->addWidget(format_, 3, 1, 1, 2);
  grid->addWidget(new QLabel("起始页码", this), 4, 0);
  grid->addWidget(start_, 4, 1, 1, 2);
  grid->addWidget(new QLabel("页码位置", this), 5, 0);
  grid->addWidget(position_, 5, 1, 1, 2);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton("确 定", QDialogButtonBox::AcceptRole)->setObjectName("okButton");
  buttons->addButton("取 消", QDialogButtonBox::RejectRole)->setObjectName("cancelButton");
  connect(buttons, &QDialogButtonBox::accepted, this, &PrintSettingsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  grid->addWidget(buttons, 6, 0, 1, 3);

  // Everything starts cleared; the file, when there is one, fills in the keys it holds.
  const PrintSettings s = loadPrintSettings(location_).value_or(PrintSettings{});
  printHeader_->setChecked(s.printHeader != 0);
  printFooter_->setChecked(s.printFooter != 0);
  printPageNumber_->setChecked(s.printPageNumber != 0);
  header_->setText(QString::fromStdString(s.headerText));
  footer_->setText(QString::fromStdString(s.footerText));
  format_->setCurrentIndex(
      s.pageNumberFormat >= 0 && s.pageNumberFormat < format_->count() ? s.pageNumberFormat : -1);
  position_->setCurrentIndex(
      s.pageNumberPosition >= 0 && s.pageNumberPosition < position_->count() ? s.pageNumberPosition : -1);
  start_->setText(QString::number(s.startPageNumber));
  // A text can be edited only while it is printed; it is kept either way.
  header_->setReadOnly(!printHeader_->isChecked());
  footer_->setReadOnly(!printFooter_->isChecked());
  connect(printHeader_, &QCheckBox::toggled, this, [this](bool on) { header_->setReadOnly(!on); });
  connect(printFooter_, &QCheckBox::toggled, this, [this](bool on) { footer_->setReadOnly(!on); });
}

void PrintSettingsDialog::accept() {
  bool ok = false;
  const int start = start_->text().trimmed().toInt(&ok);
  if (!ok) {
    Dialogs::message(this, MessageKind::Warning, "起始页码必须是一个整数。");
    start_->setFocus();
    return;
  }
  PrintSettings s;
  s.printHeader = printHeader_->isChecked() ? 1 : 0;
  s.printFooter = printFooter_->isChecked() ? 1 : 0;
  s.printPageNumber = printPageNumber_->isChecked() ? 1 : 0;
  s.headerText = header_->text().toStdString();
  s.footerText = footer_->text().toStdString();
  s.pageNumberFormat = format_->currentIndex();
  s.startPageNumber = start;
  s.pageNumberPosition = position_->currentIndex();
  Status saved = savePrintSettings(location_, s);
  if (!saved) {
    Dialogs::message(this, MessageKind::Error, QString::fromStdString(saved.message()));
    return;
  }
  QDialog::accept();
}

}  // namespace kro::gui
