// The report parameters dialog and the report and spreadsheet commands of the main window.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QDateEdit>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include "gui/dialogs.h"
#include "gui/format_manager_dialog.h"
#include "gui/judging_rules_dialog.h"
#include "gui/main_window.h"
#include "gui/report_parameters_dialog.h"
#include "model/analysis_file.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/report_figures.h"
#include "model/sample_project.h"
#include "render/qt_paths.h"
#include "report/user_format.h"
#include "support/docx_text.h"
#include "support/temp_dir.h"
#include "support/when_shown.h"

namespace kro::gui {
namespace {

class ReportDialogTest : public ::testing::Test {
 protected:
  ReportDialogTest() { Dialogs::setTestMode(true); }
  SettingsLocation location() const { return SettingsLocation::inFolder(dir.path()); }
  test::TempDir dir;
};

TEST_F(ReportDialogTest, FirstUseShowsNoFormatAndTheBuiltInTexts) {
  ReportParametersDialog dialog(defaultParameters(location()), -1);
  EXPECT_EQ(dialog.windowTitle(), "报告参数");
  EXPECT_EQ(dialog.formatList()->currentIndex(), -1);
  EXPECT_EQ(dialog.formatList()->itemText(4), "甘肃格式");
  EXPECT_EQ(dialog.ruleField()->text(), "90");
  auto* date = qobject_cast<QDateEdit*>(dialog.field(0, "报告日期"));
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(date->displayFormat(), "yyyy年M月d日");
  dialog.formatList()->setCurrentIndex(0);
  EXPECT_EQ(date->text(), "未设置");  // a date nobody set
  EXPECT_EQ(qobject_cast<QLineEdit*>(dialog.field(0, "检测依据"))->text(),
            "《混凝土结构工程施工质量验收规范》（GB50204-2002）");
}

TEST_F(ReportDialogTest, AFieldTypedOnOnePageIsTheSameOnEveryPage) {
  ReportParametersDialog dialog(defaultParameters(location()), 0);
  qobject_cast<QLineEdit*>(dialog.field(0, "工程名称"))->setText("阳光花园");
  qobject_cast<QLineEdit*>(dialog.field(0, "工程地址"))->setText("滨河路");
  qobject_cast<QDateEdit*>(dialog.field(0, "报告日期"))->setDate(QDate(2026, 12, 8));
  dialog.formatList()->setCurrentIndex(2);
  EXPECT_EQ(qobject_cast<QLineEdit*>(dialog.field(2, "工程名称"))->text(), "阳光花园");
  // 工程地点 of format 3 is 工程地址.
  EXPECT_EQ(qobject_cast<QLineEdit*>(dialog.field(2, "工程地点"))->text(), "滨河路");
  qobject_cast<QLineEdit*>(dialog.field(2, "执行标准"))->setText("GB50204-2015");
  dialog.ruleField()->setText("87.5");
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.chosenFormat(), 2);
  EXPECT_EQ(dialog.values()("检测依据"), "GB50204-2015");
  EXPECT_EQ(dialog.values()("报告日期"), "2026年12月 8日");
  EXPECT_EQ(dialog.values().rule().threshold, AcceptanceRule{875});
}

// Choosing a rule brings its definition and 检测依据; a rule that fixes its rate shows it and takes
// no other, and the project's rate comes back with a rule that takes it.
TEST_F(ReportDialogTest, AJudgingRuleIsChosenWithItsRate) {
  ReportParametersDialog dialog(defaultParameters(location()), 0);
  EXPECT_EQ(dialog.ruleList()->currentText(), "逐点判定");
  dialog.ruleField()->setText("85");
  dialog.ruleList()->setCurrentText("GB 50204-2015 附录F");
  EXPECT_FALSE(dialog.ruleField()->isEnabled());
  EXPECT_EQ(dialog.ruleField()->text(), "80");
  EXPECT_TRUE(dialog.findChild<QLabel*>("ruleSummary")->text().contains("每个构件的平均值"));
  dialog.ruleList()->setCurrentText("逐点判定");
  EXPECT_EQ(dialog.ruleField()->text(), "85");
  dialog.ruleList()->setCurrentText("GB 50204-2015 附录F");
  dialog.findChild<QLineEdit*>("代表性自然间总数")->setText("300");
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  const RuleInForce rule = dialog.values().rule();
  EXPECT_EQ(rule.rule.name, "GB 50204-2015 附录F");
  EXPECT_EQ(rule.threshold, AcceptanceRule{800});
  EXPECT_EQ(dialog.values()("检测依据"), "《混凝土结构工程施工质量验收规范》（GB 50204-2015）");
  EXPECT_EQ(dialog.values()("代表性自然间总数"), "300");
}

// An office rule made in 判定规则 is saved as a file of the office, offered for projects, and
// judges as defined.
TEST_F(ReportDialogTest, AnOfficeRuleMadeInTheDialogJudgesAsDefined) {
  JudgingRulesDialog rules(location());
  ASSERT_EQ(rules.list()->count(), 2);
  rules.list()->setCurrentRow(1);  // GB 50204-2015 附录F
  rules.makeNew();
  rules.field("名称")->setText("本院规则");
  rules.field("允许偏差")->setText("-3/+6");
  rules.field("合格率")->setText("90");
  ASSERT_TRUE(rules.saveShown());
  EXPECT_EQ(rules.list()->count(), 3);
  EXPECT_TRUE(std::filesystem::exists(officeRuleFolder(location()) / pathFromUtf8("本院规则.ini")));
  rules.field("允许偏差")->setText("-3");  // no band: refused, named
  EXPECT_FALSE(rules.saveShown());
  EXPECT_TRUE(Dialogs::takeMessages().front().contains("允许偏差"));

  ReportParametersDialog dialog(defaultParameters(location()), 0, {}, {}, officeRules(location()).rules);
  dialog.ruleList()->setCurrentText("本院规则");
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  Project slabs;
  for (std::int32_t t : {117, 122, 127}) {  // means to judge against 120 -3/+6: pass, pass, fail
    MemberData d;
    d.code = "S";
    d.designThickness = 120;
    d.selected = 1;
    for (int k = 0; k < 3; ++k) d.readings.push_back({0, t, 0});
    slabs.members.push_back(MemberRecord(std::move(d)));
  }
  const ReportFigures f = reportFigures(slabs, dialog.values().rule());
  EXPECT_EQ(f.memberPassCount, 2);
  EXPECT_EQ(f.verdict(), "不合格");  // 66.7 % against 90 %
  // The built-in rules cannot be deleted; the office's can.
  rules.list()->setCurrentRow(0);
  EXPECT_FALSE(rules.deleteChosen());
  Dialogs::takeMessages();
}

TEST_F(ReportDialogTest, ARuleThatIsNoRateIsRefused) {
  ReportParametersDialog dialog(defaultParameters(location()), 0);
  dialog.ruleField()->setText("101");
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Dialogs::takeMessages().size(), 1);
}

TEST_F(ReportDialogTest, ControlCharactersAreDroppedAsTypedOrPasted) {
  ReportParametersDialog dialog(defaultParameters(location()), 0);
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
  ParameterValues values = defaultParameters(location());
  values.set("强度等级", "C3");
  ReportParametersDialog matched(values, 1);
  EXPECT_EQ(qobject_cast<QComboBox*>(matched.field(1, "强度等级"))->currentText(), "C30");
  values.set("强度等级", "C55");
  ReportParametersDialog kept(values, 2);
  EXPECT_EQ(qobject_cast<QComboBox*>(kept.field(2, "强度等级"))->currentText(), "C55");
  kept.accept();
  EXPECT_EQ(kept.values()("强度等级"), "C55");
}

// The values belong to the project; only the office fields carry over to the next one.
TEST_F(ReportDialogTest, ParametersTravelWithTheProjectNotToTheNextOne) {
  MainWindow window;
  window.setSettingsLocation(location());
  window.document().resetProject({makeSampleProject()});
  ParameterValues values = window.parameters();
  values.set("工程名称", "阳光花园");
  values.set("检测单位", "市建设工程质量检测中心");
  values.set("合格率要求", "85");
  ASSERT_TRUE(window.applyReportParameters(values, 3));
  EXPECT_TRUE(window.document().isModified());
  EXPECT_EQ(window.parameters()("工程名称"), "阳光花园");
  EXPECT_EQ(window.parameters().rule().threshold, AcceptanceRule{850});
  EXPECT_EQ(loadChosenFormat(location()), 3);
  // One undo step gives the old values back.
  window.document().undo();
  EXPECT_EQ(window.parameters()("工程名称"), "");
  window.document().redo();
  ASSERT_TRUE(window.document().writeAnalysisFile(dir / "a.KRO").ok());
  // The next project shows the office's values and no project field of the last one.
  window.document().resetProject({makeSampleProject()});
  EXPECT_EQ(window.parameters()("工程名称"), "");
  EXPECT_EQ(window.parameters()("检测单位"), "市建设工程质量检测中心");
  EXPECT_EQ(window.parameters().rule().threshold, AcceptanceRule{850});
  // Opening the first again brings its own back.
  ASSERT_TRUE(window.openFile(qtPath(dir / "a.KRO"), false));
  EXPECT_EQ(window.parameters()("工程名称"), "阳光花园");
  Dialogs::queueSaveChoice(SaveChoice::Discard);
}

TEST_F(ReportDialogTest, WordReportAndSpreadsheetCommands) {
  MainWindow window;
  window.setSettingsLocation(location());
  const char* bin = std::getenv("KRO_BIN_DIR");
  window.setOfficePaths(
      {{bin != nullptr ? std::filesystem::path(bin) : ProgramPaths::programFolder() / ".." / "bin"},
       dir / "unused",
       {}});
  window.action("actionWordReport")->trigger();  // no members
  EXPECT_EQ(Dialogs::takeMessages().size(), 1);
  window.document().resetProject({makeSampleProject()});
  // No format chosen yet: the parameters dialog opens, and with its OK the report goes on.
  test::whenShown<ReportParametersDialog>([](ReportParametersDialog* d) {
    d->formatList()->setCurrentIndex(4);
    d->findChild<QPushButton*>("okButton")->click();
  });
  // The format's parameters are all empty: the check says so first, and "no" stops the report.
  window.action("actionWordReport")->trigger();
  EXPECT_EQ(loadChosenFormat(location()), 4);
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
  Dialogs::queuePath(qtPath(dir / "一号楼.docx"));
  window.action("actionWordReport")->trigger();
  EXPECT_TRUE(Dialogs::takeMessages().isEmpty());
  EXPECT_EQ(Dialogs::takeOpenedFiles().size(), 2);
  EXPECT_TRUE(std::filesystem::exists(dir / "一号楼.docx"));
  EXPECT_TRUE(std::filesystem::exists(dir / "一号楼-数据表格.docx"));
  EXPECT_FALSE(std::filesystem::exists(dir / "unused"));
  // The sample's members are sound: the workbook asks nothing.
  Dialogs::takeQuestions();
  Dialogs::queuePath(qtPath(dir / "数据.xlsx"));
  window.action("actionSpreadsheet")->trigger();
  EXPECT_TRUE(Dialogs::takeQuestions().isEmpty());
  EXPECT_EQ(Dialogs::takeOpenedFiles(), QStringList{qtPath(dir / "数据.xlsx")});
  // The status bar names what was written, beside a button that opens its folder.
  EXPECT_TRUE(window.statusBar()->currentMessage().contains("数据.xlsx"));
  auto* folder = window.findChild<QPushButton*>("openFolderButton");
  ASSERT_NE(folder, nullptr);
  folder->click();
  EXPECT_EQ(Dialogs::takeOpenedFiles(), QStringList{qtPath(dir.path())});
  Dialogs::queueSaveChoice(SaveChoice::Discard);
}

// The printed report saved as a PDF without a printer: where the user chose, then opened.
TEST_F(ReportDialogTest, SavePdfCommand) {
  MainWindow window;
  window.setSettingsLocation(location());
  window.document().resetProject({makeSampleProject()});
  Dialogs::queuePath(std::nullopt);  // cancelled: nothing written
  window.action("actionPdf")->trigger();
  EXPECT_TRUE(Dialogs::takeOpenedFiles().isEmpty());
  const std::filesystem::path pdf = dir / "一号楼.pdf";
  Dialogs::queuePath(qtPath(pdf));
  window.action("actionPdf")->trigger();
  EXPECT_TRUE(Dialogs::takeMessages().isEmpty());
  EXPECT_EQ(Dialogs::takeOpenedFiles(), QStringList{qtPath(pdf)});
  EXPECT_EQ(test::readBytes(pdf).substr(0, 5), "%PDF-");
  Dialogs::queueSaveChoice(SaveChoice::Discard);
}

// A user format made in the manager, chosen in the parameters dialog with its own parameter, and
// written by the report command.
TEST_F(ReportDialogTest, AUserFormatFromTheManagerToTheReport) {
  const char* bin = std::getenv("KRO_BIN_DIR");
  ASSERT_NE(bin, nullptr);
  FormatManagerDialog manager(location(), std::filesystem::path(bin) / pathFromUtf8("自定义格式样板.docx"));
  Dialogs::queueText("本站格式");
  ASSERT_TRUE(manager.makeNew());
  EXPECT_TRUE(std::filesystem::exists(userFormatFolder(location()) / pathFromUtf8("本站格式.docx")));
  EXPECT_EQ(Dialogs::takeOpenedFiles().size(), 1);  // opened in the word processor
  EXPECT_EQ(manager.list()->count(), kReportFormatCount + 1);
  manager.checkChosen();
  EXPECT_TRUE(Dialogs::takeMessages().front().contains("没有问题"));

  MainWindow window;
  window.setSettingsLocation(location());
  window.document().resetProject({makeSampleProject()});
  window.setOfficePaths({{std::filesystem::path(bin)}, dir / "unused", {}});
  test::whenShown<ReportParametersDialog>([](ReportParametersDialog* d) {
    d->formatList()->setCurrentIndex(kReportFormatCount);  // the user format, after the six
    auto* own = d->findChild<QLineEdit*>("监理编号");
    ASSERT_NE(own, nullptr);
    own->setText("JL-7");
    d->findChild<QPushButton*>("okButton")->click();
  });
  Dialogs::queueYesNo(true);  // go on although parameters are empty
  Dialogs::queuePath(qtPath(dir / "本站.docx"));
  window.action("actionWordReport")->trigger();
  ASSERT_TRUE(std::filesystem::exists(dir / "本站.docx")) << Dialogs::takeMessages().join("\n").toStdString();
  EXPECT_EQ(chosenFormat(location())->name, "本站格式");
  EXPECT_EQ(window.parameters()("监理编号"), "JL-7");
  // The format's own parameter, typed in the dialog, stands in the report.
  EXPECT_NE(test::docxText(dir / "本站.docx").find("JL-7"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir / "本站-数据表格.docx"));
  Dialogs::queueSaveChoice(SaveChoice::Discard);
}

}  // namespace
}  // namespace kro::gui
