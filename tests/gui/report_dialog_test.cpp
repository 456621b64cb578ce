// The report parameters dialog and the report and spreadsheet commands of the main window.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QDateEdit>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>

#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/report_parameters_dialog.h"
#include "model/analysis_file.h"
#include "model/gbk_text.h"
#include "model/sample_project.h"
#include "support/temp_dir.h"

namespace kro::gui {
namespace {

class ReportDialogTest : public ::testing::Test {
 protected:
  ReportDialogTest() { Dialogs::setTestMode(true); }
  SettingsLocation location() const { return SettingsLocation::inFolder(dir.path()); }
  test::TempDir dir;
};

TEST_F(ReportDialogTest, FirstUseShowsNoFormat) {
  ReportParametersDialog dialog(location());
  EXPECT_EQ(dialog.windowTitle(), "报告参数");
  EXPECT_EQ(dialog.formatList()->currentIndex(), -1);
  EXPECT_EQ(dialog.formatList()->itemText(4), "甘肃格式");
  auto* date = qobject_cast<QDateEdit*>(dialog.field(0, "报告日期"));
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(date->text(), "未设置");  // a date nobody set
  EXPECT_EQ(date->displayFormat(), "yyyy年M月d日");
}

TEST_F(ReportDialogTest, EditsSurviveSwitchingAndOkSavesTheSelectedFormat) {
  {
    ReportParametersDialog dialog(location());
    dialog.formatList()->setCurrentIndex(2);
    auto* number = qobject_cast<QLineEdit*>(dialog.field(2, "委托编号"));
    ASSERT_NE(number, nullptr);
    number->setText("WT-7");
    qobject_cast<QDateEdit*>(dialog.field(2, "浇筑日期"))->setDate(QDate(2005, 3, 7));
    dialog.formatList()->setCurrentIndex(0);
    qobject_cast<QLineEdit*>(dialog.field(0, "工程名称"))->setText("丢失");
    dialog.formatList()->setCurrentIndex(2);
    EXPECT_EQ(number->text(), "WT-7");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  EXPECT_EQ(ReportParameterValues(location(), 3)("委托编号"), "WT-7");
  EXPECT_EQ(ReportParameterValues(location(), 3)("浇筑日期"), "2005年 3月 7日");
  EXPECT_EQ(ReportParameterValues(location(), 3)("委托日期"), "");  // never set, stored empty
  EXPECT_FALSE(std::filesystem::exists(dir / "report1ini.ini"));
  ReportParametersDialog again(location());
  EXPECT_EQ(again.formatList()->currentIndex(), 2);
  EXPECT_EQ(qobject_cast<QLineEdit*>(again.field(2, "委托编号"))->text(), "WT-7");
}

TEST_F(ReportDialogTest, ControlCharactersAreDroppedAsTypedOrPasted) {
  ReportParametersDialog dialog(location());
  auto* name = qobject_cast<QLineEdit*>(dialog.field(0, "工程名称"));
  ASSERT_NE(name, nullptr);
  name->insert(
      QString::fromUtf8("甲\v乙\x01"
                        "丙\t丁"));
  EXPECT_EQ(name->text(), "甲乙丙丁");
  QGuiApplication::clipboard()->setText(QString::fromUtf8("\x0c戊\n己"));
  name->paste();
  EXPECT_EQ(name->text(), "甲乙丙丁戊己");
  QTest::keyClicks(name, "x");
  EXPECT_EQ(name->text(), "甲乙丙丁戊己x");
}

TEST_F(ReportDialogTest, StoredGradesAreMatchedOrKept) {
  test::writeBytes(dir / "report2ini.ini", *utf8ToGbk("[Data]\r\n强度等级=C3\r\n"));
  test::writeBytes(dir / "report3ini.ini", *utf8ToGbk("[Data]\r\n强度等级=C55\r\n"));
  ReportParametersDialog dialog(location());
  EXPECT_EQ(qobject_cast<QComboBox*>(dialog.field(1, "强度等级"))->currentText(), "C30");
  EXPECT_EQ(qobject_cast<QComboBox*>(dialog.field(2, "强度等级"))->currentText(), "C55");
  dialog.formatList()->setCurrentIndex(2);
  dialog.accept();
  EXPECT_EQ(ReportParameterValues(location(), 3)("强度等级"), "C55");
}

TEST_F(ReportDialogTest, WordReportAndSpreadsheetCommands) {
  MainWindow window;
  window.document().setSettingsLocation(location());
  const char* bin = std::getenv("KRO_BIN_DIR");
  window.setOfficePaths(
      {{bin != nullptr ? std::filesystem::path(bin) : ProgramPaths::programFolder() / ".." / "bin"},
       dir / "unused",
       {}});
  window.action("actionWordReport")->trigger();  // no members
  EXPECT_EQ(Dialogs::takeMessages().size(), 1);
  window.document().resetProject({makeSampleProject()});
  window.action("actionWordReport")->trigger();  // no chosen format
  const QStringList refused = Dialogs::takeMessages();
  ASSERT_EQ(refused.size(), 1);
  EXPECT_TRUE(refused.front().contains("报告格式"));
  ASSERT_TRUE(saveChosenFormat(location(), 4).ok());
  // The format's parameters are all empty: the check says so first, and "no" stops the report.
  window.action("actionWordReport")->trigger();
  const QStringList asked = Dialogs::takeQuestions();
  ASSERT_EQ(asked.size(), 1);
  EXPECT_TRUE(asked.front().contains("甘肃格式的工程参数“工程名称”是空的。")) << asked.front().toStdString();
  EXPECT_TRUE(Dialogs::takeOpenedFiles().isEmpty());
  // Going on anyway, then cancelling the save dialog, writes nothing.
  Dialogs::queueYesNo(true);
  Dialogs::queuePath(std::nullopt);
  window.action("actionWordReport")->trigger();
  EXPECT_TRUE(Dialogs::takeOpenedFiles().isEmpty());
  // The report where the user chose, the data table beside it; both opened.
  Dialogs::queueYesNo(true);
  Dialogs::queuePath(QString::fromStdString((dir / "一号楼.docx").string()));
  window.action("actionWordReport")->trigger();
  EXPECT_TRUE(Dialogs::takeMessages().isEmpty());
  EXPECT_EQ(Dialogs::takeOpenedFiles().size(), 2);
  EXPECT_TRUE(std::filesystem::exists(dir / "一号楼.docx"));
  EXPECT_TRUE(std::filesystem::exists(dir / "一号楼-数据表格.docx"));
  EXPECT_FALSE(std::filesystem::exists(dir / "unused"));
  // The sample's members are sound: the workbook asks nothing.
  Dialogs::takeQuestions();
  Dialogs::queuePath(QString::fromStdString((dir / "数据.xlsx").string()));
  window.action("actionSpreadsheet")->trigger();
  EXPECT_TRUE(Dialogs::takeQuestions().isEmpty());
  EXPECT_EQ(Dialogs::takeOpenedFiles(), QStringList{QString::fromStdString((dir / "数据.xlsx").string())});
  Dialogs::queueSaveChoice(SaveChoice::Discard);
}

}  // namespace
}  // namespace kro::gui
