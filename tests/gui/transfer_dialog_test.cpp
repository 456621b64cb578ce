// The transfer dialog: its defaults, the destination rules, the overwrite question and a
// complete transfer from the virtual instrument.
#include "gui/transfer_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <atomic>
#include <thread>

#include "gui/dialogs.h"
#include "gui/window_settings.h"
#include "model/analysis_file.h"
#include "model/sample_project.h"
#include "render/qt_paths.h"
#include "settings/program_paths.h"
#include "support/recording_frontend.h"
#include "support/temp_dir.h"
#include "transfer/instrument_encoder.h"

#ifndef _WIN32
#include "devices/pty_instrument.h"
#endif

namespace kro::gui {
namespace {

class TransferDialogTest : public ::testing::Test {
 protected:
  TransferDialogTest() {
    Dialogs::setTestMode(true);
    windowSettings()->remove("transferPort");
    windowSettings()->remove("transferFolder");
  }

  test::TempDir dir;
  test::RecordingFrontend ui;
};

// Two transfers in one minute never propose the same file.
TEST_F(TransferDialogTest, TheProposedNameIsNeverAFileThatIsThere) {
  windowSettings()->setValue("transferFolder", qtPath(dir.path()));
  const QString first = TransferDialog(ui, {}, false, {}).pathField()->text();
  ASSERT_TRUE(QFile(first).open(QIODevice::WriteOnly));
  const QString second = TransferDialog(ui, {}, false, {}).pathField()->text();
  EXPECT_NE(second, first);
  EXPECT_FALSE(QFileInfo::exists(second));
}

TEST_F(TransferDialogTest, StartsWithUsbAndADatedNameInTheHomeFolder) {
  TransferDialog dialog(ui, {}, false, {});
  const QString proposed = dialog.findChild<QLineEdit*>("pathEdit")->text();
  EXPECT_EQ(pathFromQt(QFileInfo(proposed).absolutePath()), kro::ProgramPaths::homeFolder());
  EXPECT_TRUE(
      QRegularExpression("^楼板数据-\\d{8}-\\d{4}\\.KRO$").match(QFileInfo(proposed).fileName()).hasMatch())
      << proposed.toStdString();
  EXPECT_FALSE(dialog.findChild<QCheckBox*>("appendCheck")->isEnabled());
  EXPECT_TRUE(dialog.findChild<QRadioButton*>("usbButton")->isChecked());
  auto* ports = dialog.findChild<QComboBox*>("portList");
  EXPECT_EQ(ports->currentText(), "USB1");

  dialog.findChild<QRadioButton*>("comButton")->click();
  // Each entry names the device it opens; COM1..COM6 stay in their places.
  EXPECT_EQ(ports->itemData(0).toString(), "COM1");
#ifndef _WIN32
  EXPECT_TRUE(ports->itemText(0).startsWith("COM1  /dev/ttyS0"));
#endif
  EXPECT_EQ(ports->itemData(5).toString(), "COM6");
  EXPECT_TRUE(ports->isEditable());
  dialog.findChild<QRadioButton*>("usbButton")->click();
  EXPECT_EQ(ports->count(), 6);
  EXPECT_EQ(ports->itemText(5), "USB6");
}

TEST_F(TransferDialogTest, TheTypedPathIsCheckedAndTheOpenFileMayBeClosedFirst) {
  int closed = 0;
  TransferDialog dialog(ui, dir / "KRODat.KRO", true, [&] {
    ++closed;
    return true;
  });
  QLineEdit* path = dialog.pathField();
  const QString name = QFileInfo(path->text()).fileName();
  Dialogs::queuePath(qtPath(dir.path()));
  dialog.findChild<QPushButton*>("folderButton")->click();
  EXPECT_EQ(pathFromQt(path->text()), dir / pathFromQt(name));
  // A cancelled folder choice changes nothing.
  Dialogs::queuePath(std::nullopt);
  dialog.chooseFolder();
  EXPECT_EQ(pathFromQt(path->text()), dir / pathFromQt(name));

  // A folder that does not exist, and a folder for a file: refused with a word.
  dialog.choosePort("COM1");
  path->setText(qtPath(dir / "missing" / "a.KRO"));
  dialog.start();
  path->setText(qtPath(dir.path()));
  dialog.start();
  EXPECT_EQ(Dialogs::takeMessages().size(), 2);
  EXPECT_EQ(dialog.session().state(), TransferState::Idle);

  // The open document's file, typed without its extension: the user is asked to close it.
  test::writeBytes(dir / "KRODat.KRO", "open");
  path->setText(qtPath(dir / "KRODat"));
  Dialogs::queueYesNo(false);
  dialog.start();
  EXPECT_EQ(Dialogs::takeQuestions().size(), 1);
  EXPECT_EQ(closed, 0);
  EXPECT_EQ(dialog.session().state(), TransferState::Idle);
  EXPECT_EQ(dialog.destination(), dir / "KRODat.KRO");
  Dialogs::queueYesNo(true);
  dialog.start();
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(dialog.findChild<QCheckBox*>("appendCheck")->isEnabled());
  dialog.reject();
}

// The virtual instrument is a pseudo-terminal: Linux only.
#ifndef _WIN32
TEST_F(TransferDialogTest, CompleteTransferFromTheVirtualInstrument) {
  auto instrument = PtyInstrument::create(encodeSerialBlock(makeSampleProject()).value(), true);
  ASSERT_TRUE(instrument.ok());
  std::atomic<bool> stop{false};
  std::thread server([&] { instrument.value()->serve(stop); });

  test::writeBytes(dir / "KRODat.KRO", "old");
  TransferDialog dialog(ui, {}, false, {});
  dialog.pathField()->setText(qtPath(dir / "KRODat.KRO"));
  // The virtual instrument's pseudo-terminal, typed into the port box.
  const QString typed = QString::fromStdString(instrument.value()->portPath());
  dialog.findChild<QRadioButton*>("comButton")->click();
  dialog.findChild<QComboBox*>("portList")->setEditText(typed);
  EXPECT_EQ(dialog.portName(), typed);
  dialog.show();

  ui.yesNoAnswers = {false};
  dialog.start();  // No to the overwrite question: nothing happens
  EXPECT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(dialog.session().state(), TransferState::Idle);

  ui.yesNoAnswers = {true};
  dialog.start();
  EXPECT_EQ(test::readBytes(dir / "KRODat.KRO"), "old");  // replaced only when complete
  for (int i = 0; i < 50 && dialog.isVisible(); ++i) QTest::qWait(100);
  stop = true;
  server.join();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(dialog.completed());
  EXPECT_EQ(decodeAnalysisFile(test::readBytes(dir / "KRODat.KRO")).value().size(), 12u);
  EXPECT_NE(dialog.findChild<QLabel*>("statusArea")->text().indexOf("（100%）"), -1);
  // The end says what arrived; the bytes themselves are kept beside the file.
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_NE(ui.messages.back().text.find("收到 12 个构件、234 个测点。"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dialog.session().receivedBytesFile()));
  // The next transfer starts on the same port, in the same folder.
  TransferDialog again(ui, {}, false, {});
  EXPECT_EQ(again.portName(), typed);
  EXPECT_EQ(pathFromQt(QFileInfo(again.pathField()->text()).absolutePath()), dir.path());
}

TEST_F(TransferDialogTest, CancelStopsAndDoesNotComplete) {
  auto silent = PtyInstrument::create("", true);
  ASSERT_TRUE(silent.ok());
  TransferDialog dialog(ui, {}, false, {});
  dialog.pathField()->setText(qtPath(dir / "KRODat.KRO"));
  dialog.choosePort(QString::fromStdString(silent.value()->portPath()));
  dialog.show();
  dialog.start();
  EXPECT_EQ(dialog.session().state(), TransferState::Running);
  // The start command waits until the line has been silent; the dialog says so meanwhile.
  EXPECT_TRUE(dialog.session().draining());
  EXPECT_NE(dialog.findChild<QLabel*>("statusArea")->text().indexOf("正在等待仪器停止发送"), -1);
  dialog.findChild<QPushButton*>("cancelButton")->click();
  EXPECT_FALSE(dialog.completed());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_FALSE(std::filesystem::exists(dir / "KRODat.KRO"));
}
#endif

}  // namespace
}  // namespace kro::gui
