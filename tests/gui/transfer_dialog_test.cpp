// The transfer dialog: its defaults, the destination rules, the overwrite question and a
// complete transfer from the virtual instrument.
#include "gui/transfer_dialog.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTest>
#include <atomic>
#include <thread>

#include "devices/pty_instrument.h"
#include "gui/dialogs.h"
#include "model/analysis_file.h"
#include "model/sample_project.h"
#include "settings/program_paths.h"
#include "support/recording_frontend.h"
#include "support/temp_dir.h"
#include "transfer/instrument_encoder.h"

namespace kro::gui {
namespace {

class TransferDialogTest : public ::testing::Test {
 protected:
  TransferDialogTest() {
    Dialogs::setTestMode(true);
    QSettings().remove("transferPort");
  }

  test::TempDir dir;
  test::RecordingFrontend ui;
};

TEST_F(TransferDialogTest, StartsWithUsbAndTheHomeFolder) {
  TransferDialog dialog(ui, {});
  EXPECT_EQ(dialog.findChild<QLineEdit*>("pathEdit")->text().toStdString(),
            (kro::ProgramPaths::homeFolder() / "KRODat.KRO").string());
  EXPECT_TRUE(dialog.findChild<QRadioButton*>("usbButton")->isChecked());
  auto* ports = dialog.findChild<QComboBox*>("portList");
  EXPECT_EQ(ports->currentText(), "USB1");

  dialog.findChild<QRadioButton*>("comButton")->click();
  // Each entry names the device it opens; COM1..COM6 stay in their places.
  EXPECT_EQ(ports->itemData(0).toString(), "COM1");
  EXPECT_TRUE(ports->itemText(0).startsWith("COM1  /dev/ttyS0"));
  EXPECT_EQ(ports->itemData(5).toString(), "COM6");
  EXPECT_TRUE(ports->isEditable());
  dialog.findChild<QRadioButton*>("usbButton")->click();
  EXPECT_EQ(ports->count(), 6);
  EXPECT_EQ(ports->itemText(5), "USB6");
}

TEST_F(TransferDialogTest, FolderChoiceAndTheOpenDocumentsFile) {
  TransferDialog dialog(ui, dir / "KRODat.KRO");
  Dialogs::queuePath(QString::fromStdString(dir.path().string()));
  dialog.findChild<QPushButton*>("folderButton")->click();
  EXPECT_EQ(dialog.destination(), dir / "KRODat.KRO");
  EXPECT_EQ(dialog.findChild<QLineEdit*>("pathEdit")->text().toStdString(), (dir / "KRODat.KRO").string());
  // A cancelled folder choice changes nothing.
  Dialogs::queuePath(std::nullopt);
  dialog.chooseFolder();
  EXPECT_EQ(dialog.destination(), dir / "KRODat.KRO");

  dialog.choosePort("COM1");
  dialog.start();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, kFileIsOpenMessage);
}

TEST_F(TransferDialogTest, CompleteTransferFromTheVirtualInstrument) {
  auto instrument = PtyInstrument::create(encodeSerialBlock(makeSampleProject()).value(), true);
  ASSERT_TRUE(instrument.ok());
  std::atomic<bool> stop{false};
  std::thread server([&] { instrument.value()->serve(stop); });

  test::writeBytes(dir / "KRODat.KRO", "old");
  TransferDialog dialog(ui, {});
  dialog.session().setDestination(dir / "KRODat.KRO");
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
  // The next transfer starts on the same port.
  TransferDialog again(ui, {});
  EXPECT_EQ(again.portName(), typed);
}

TEST_F(TransferDialogTest, CancelStopsAndDoesNotComplete) {
  auto silent = PtyInstrument::create("", true);
  ASSERT_TRUE(silent.ok());
  TransferDialog dialog(ui, {});
  dialog.session().setDestination(dir / "KRODat.KRO");
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

}  // namespace
}  // namespace kro::gui
