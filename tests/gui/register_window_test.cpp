// The register from the window: a report signed off by three people at 签发报告, the panel's
// state after each step, and 报告台账 searched, exported and a report voided.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/member_panel.h"
#include "gui/register_dialogs.h"
#include "model/analysis_file.h"
#include "model/gbk_text.h"
#include "register/register_location.h"
#include "render/qt_paths.h"
#include "support/environment.h"
#include "support/temp_dir.h"
#include "support/when_shown.h"

namespace kro::gui {
namespace {

class RegisterWindowTest : public ::testing::Test {
 protected:
  RegisterWindowTest() {
    const SettingsLocation location = SettingsLocation::inFolder(dir.path());
    EXPECT_TRUE(saveRegisterLocation(location, displayPath(dir / "r.sqlite")).ok());
    auto reg = openRegister(dir / "r.sqlite");
    EXPECT_TRUE(reg.ok());
    for (const auto& [name, role] : {std::pair{"张工", Role::Tester}, std::pair{"李工", Role::Reviewer},
                                     std::pair{"王工", Role::Approver}})
      EXPECT_TRUE(reg.value()->addPerson(name, {role}, "2468").ok());
    EXPECT_TRUE(
        reg.value()->addInstrument({"楼板测厚仪", "T-1", "JZ-001", {2026, 1, 1}, {2099, 1, 1}, true}).ok());
    EXPECT_TRUE(reg.value()->setNumbering({"LBHD-{年}-{序号:4}", false}).ok());
    MemberData d;
    d.code = "0001";
    d.designThickness = 120;
    for (int k = 0; k < 10; ++k) d.readings.push_back({0, 100, 0});  // 不合格
    EXPECT_TRUE(writeAnalysisFile(dir / "p.KRO", Project{{MemberRecord(std::move(d))}, {{}, true}}).ok());
    std::filesystem::create_directories(dir / "out");
    window.setSettingsLocation(location);
    window.setOfficePaths({{test::binDir()}, dir / "unused", {}});
  }
  // 签发报告 as the person of the step, with their PIN.
  void step(const char* person) {
    test::whenShown<IssueDialog>([this, person](IssueDialog* d) {
      d->findChild<QComboBox*>("person")->setCurrentText(person);
      d->findChild<QLineEdit*>("pin")->setText("2468");
      if (auto* folder = d->findChild<QLineEdit*>("folder")) folder->setText(qtPath(dir / "out"));
      if (auto* p = d->findChild<QLineEdit*>("passphrase")) p->setText(passphrase);
      d->findChild<QPushButton*>("okButton")->click();
    });
    window.action("actionIssueReport")->trigger();
  }
  QString state() { return window.panel()->registerState()->text(); }

  test::TempDir dir;
  MainWindow window;
  QString passphrase;  // of the office's signing key, typed at 批准
};

TEST_F(RegisterWindowTest, ThreePeopleSignOffAndTheLedgerShowsIt) {
  ASSERT_TRUE(window.openFile(qtPath(dir / "p.KRO")));
  EXPECT_EQ(state(), "签发状态：未签发");
  step("张工");
  EXPECT_EQ(state(), "签发状态：起草") << Dialogs::takeMessages().join("\n").toStdString();
  EXPECT_FALSE(window.document().isModified());  // the file with its identity, as written
  step("李工");
  EXPECT_EQ(state(), "签发状态：已审核");
  step("王工");
  const QStringList said = Dialogs::takeMessages();
  EXPECT_EQ(state(), "签发状态：已签发 LBHD-2026-0001 第 1 版") << said.join("\n").toStdString();
  ASSERT_FALSE(said.isEmpty());
  EXPECT_TRUE(said.back().contains("已签发 LBHD-2026-0001 第 1 版")) << said.back().toStdString();
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / pathFromUtf8("LBHD-2026-0001-第1版.pdf")));

  // The ledger: searched, exported, the report voided.
  test::whenShown<LedgerDialog>([this](LedgerDialog* d) {
    EXPECT_EQ(d->table(0)->rowCount(), 1);
    EXPECT_EQ(d->table(1)->rowCount(), 1);  // 不合格台账
    d->search()->setText("LBHD-2025");
    EXPECT_EQ(d->table(0)->rowCount(), 0);
    d->search()->setText("0001");
    EXPECT_EQ(d->table(0)->rowCount(), 1);
    d->verdictFilter()->setCurrentText("合格");
    EXPECT_EQ(d->table(0)->rowCount(), 0);
    d->verdictFilter()->setCurrentIndex(0);
    Dialogs::queuePath(qtPath(dir / "报告.csv"));
    d->exportTab(false);
    d->table(0)->selectRow(0);
    test::whenShown<QDialog>([](QDialog* form) {
      form->findChild<QComboBox*>("person")->setCurrentText("王工");
      form->findChild<QLineEdit*>("pin")->setText("2468");
      form->findChild<QLineEdit*>("reason")->setText("委托撤回");
      form->findChild<QPushButton*>("okButton")->click();
    });
    d->voidChosen();
    EXPECT_EQ(d->table(0)->item(0, 11)->text(), "已作废");
    d->accept();
  });
  window.action("actionLedger")->trigger();
  EXPECT_EQ(state(), "签发状态：已作废");
  EXPECT_NE(test::readBytes(dir / "报告.csv").find("LBHD-2026-0001,1,"), std::string::npos);
  EXPECT_TRUE(Dialogs::takeMessages().isEmpty());
}

// A key made in 台账设置 by an approver signs the report approved at 签发报告; a wrong
// passphrase takes no number.
TEST_F(RegisterWindowTest, AKeyMadeInSettingsSignsTheApprovedReport) {
  test::whenShown<RegisterSettingsDialog>([](RegisterSettingsDialog* d) {
    test::whenShown<QDialog>([](QDialog* form) {
      form->findChild<QComboBox*>("approver")->setCurrentText("王工");
      form->findChild<QLineEdit*>("pin")->setText("2468");
      form->findChild<QLineEdit*>("office")->setText("某某检测中心");
      form->findChild<QLineEdit*>("passphrase")->setText("office-secret-1");
      form->findChild<QLineEdit*>("passphraseAgain")->setText("office-secret-1");
      form->findChild<QPushButton*>("okButton")->click();
    });
    d->findChild<QPushButton*>("newKey")->click();
    EXPECT_TRUE(d->findChild<QLabel*>("keys")->text().contains("某某检测中心"));
    d->findChild<QPushButton*>("okButton")->click();
  });
  window.action("actionRegisterSettings")->trigger();
  ASSERT_TRUE(window.openFile(qtPath(dir / "p.KRO")));
  step("张工");
  step("李工");
  passphrase = "office-secret-2";
  step("王工");
  EXPECT_EQ(state(), "签发状态：已审核");
  EXPECT_TRUE(Dialogs::takeMessages().join("\n").contains("口令不对"));
  passphrase = "office-secret-1";
  step("王工");
  const QStringList said = Dialogs::takeMessages();
  EXPECT_EQ(state(), "签发状态：已签发 LBHD-2026-0001 第 1 版") << said.join("\n").toStdString();
  EXPECT_NE(
      test::readBytes(dir / "out" / pathFromUtf8("LBHD-2026-0001-第1版.pdf")).find("<kro:kroanalyze-code>"),
      std::string::npos);
}

// 台账设置: a person added with two PINs that agree, none with two that differ.
TEST_F(RegisterWindowTest, SettingsAddPeopleWhosePinsAgree) {
  auto reg = openRegister(dir / "r.sqlite");
  ASSERT_TRUE(reg.ok());
  RegisterSettingsDialog dialog(*reg.value(), qtPath(dir / "r.sqlite"));
  auto* people = dialog.findChild<QTableWidget*>("people");
  ASSERT_EQ(people->rowCount(), 3);
  for (const char* again : {"1357", "2468"}) {
    test::whenShown<QDialog>([again](QDialog* form) {
      form->findChild<QLineEdit*>("name")->setText("赵工");
      form->findChild<QCheckBox*>("审核")->setChecked(true);
      form->findChild<QLineEdit*>("pin")->setText("2468");
      form->findChild<QLineEdit*>("pinAgain")->setText(again);
      form->findChild<QPushButton*>("okButton")->click();
    });
    dialog.findChild<QPushButton*>("addPerson")->click();
  }
  EXPECT_EQ(Dialogs::takeMessages().size(), 1);  // the PINs that differ
  EXPECT_EQ(people->rowCount(), 4);
  EXPECT_TRUE(reg.value()->signIn("赵工", "2468").ok());
}

}  // namespace
}  // namespace kro::gui
