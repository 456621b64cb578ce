// The print settings dialog: loading, the read-only texts, the start number checked before
// anything is written.
#include "gui/print_settings_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "gui/dialogs.h"
#include "support/temp_dir.h"
#include "views/print_settings.h"

namespace kro::gui {
namespace {

TEST(PrintSettingsDialog, StartsClearedWithoutAFile) {
  Dialogs::setTestMode(true);
  test::TempDir dir;
  PrintSettingsDialog dialog(SettingsLocation::inFolder(dir.path()));
  EXPECT_EQ(dialog.windowTitle(), "页眉页脚设置");
  EXPECT_FALSE(dialog.findChild<QCheckBox*>("printHeader")->isChecked());
  EXPECT_TRUE(dialog.findChild<QLineEdit*>("headerText")->isReadOnly());
  EXPECT_EQ(dialog.findChild<QComboBox*>("pageNumberFormat")->currentIndex(), -1);
  EXPECT_EQ(dialog.findChild<QComboBox*>("pageNumberFormat")->itemText(4), "共1页  第1页");
  EXPECT_EQ(dialog.findChild<QComboBox*>("pageNumberPosition")->itemText(0), "底部居右");
  EXPECT_EQ(dialog.findChild<QLineEdit*>("startPageNumber")->text(), "0");
  dialog.findChild<QCheckBox*>("printHeader")->setChecked(true);
  EXPECT_FALSE(dialog.findChild<QLineEdit*>("headerText")->isReadOnly());
}

TEST(PrintSettingsDialog, AnInvalidStartNumberWritesNothing) {
  Dialogs::setTestMode(true);
  test::TempDir dir;
  PrintSettings old;
  old.footerText = "旧页脚";
  old.startPageNumber = 3;
  ASSERT_TRUE(savePrintSettings(SettingsLocation::inFolder(dir.path()), old).ok());
  const std::string before = test::readBytes(dir / "printini.ini");
  PrintSettingsDialog dialog(SettingsLocation::inFolder(dir.path()));
  EXPECT_EQ(dialog.findChild<QLineEdit*>("footerText")->text(), "旧页脚");
  dialog.findChild<QLineEdit*>("footerText")->setText("新页脚");
  dialog.findChild<QLineEdit*>("startPageNumber")->setText("3a");
  dialog.accept();
  EXPECT_EQ(Dialogs::takeMessages().size(), 1);
  EXPECT_EQ(test::readBytes(dir / "printini.ini"), before);
  EXPECT_NE(dialog.result(), QDialog::Accepted);

  dialog.findChild<QLineEdit*>("startPageNumber")->setText("7");
  dialog.findChild<QComboBox*>("pageNumberFormat")->setCurrentIndex(3);
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  auto saved = loadPrintSettings(SettingsLocation::inFolder(dir.path()));
  ASSERT_TRUE(saved.has_value());
  EXPECT_EQ(saved->startPageNumber, 7);
  EXPECT_EQ(saved->footerText, "新页脚");
  EXPECT_EQ(saved->pageNumberFormat, 3);
  EXPECT_EQ(saved->pageNumberPosition, -1);
}

}  // namespace
}  // namespace kro::gui
