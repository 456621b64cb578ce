// The data transfer dialog: link and port, destination folder, start and cancel, and a status
// area with the progress. It drives a TransferSession with a 200 ms timer.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <functional>
#include <memory>

#include "platform/serial_port.h"
#include "transfer/transfer_session.h"

namespace kro::gui {

class TransferDialog : public QDialog {
  Q_OBJECT

 public:
  // openedPath: the file of the open document, which the transfer must not overwrite unless the
  // user lets closeOpenFile close it first. canAppend: the open project has members that the
  // received ones may be appended to.
  TransferDialog(Prompter& ui, std::filesystem::path openedPath, bool canAppend,
                 std::function<bool()> closeOpenFile, QWidget* parent = nullptr);
  ~TransferDialog() override;

  bool completed() const { return session_.completed(); }
  // The received members are to be appended to the open project rather than opened.
  bool appendChosen() const;
  QLineEdit* pathField() const { return path_; }
  std::filesystem::path destination() const { return session_.destination(); }
  // Selects a port by name, adding it to the list when it is not there (e.g. a device path).
  void choosePort(const QString& name);
  // The port a start would use: the chosen entry's name, or the device path typed in.
  QString portName() const;
  TransferSession& session() { return session_; }

 public slots:
  void chooseFolder();
  void start();
  void reject() override;

 private:
  void fillPorts(bool usb);
  void tick();
  void showStatus();
  // The typed path, checked, as the session's destination; false after saying what is wrong.
  bool takeDestination();

  // Shows a step's notice, the status line brought up to date first so that the notice of a
  // finished transfer stands beside the full count, not the last tick's.
  void showNotice(const TransferStep& step);

  std::filesystem::path openedPath_;
  std::function<bool()> closeOpenFile_;
  Prompter& ui_;
  platform::SystemSerialPort serialPort_;
  std::unique_ptr<Ch375Library> usb_;
  QString usbProblem_;
  TransferSession session_;
  QTimer timer_;
  // From the first byte received, for the rate and the time left.
  QElapsedTimer receiving_;
  std::uint64_t receivedAtStart_ = 0;
  QLineEdit* path_;
  QRadioButton* usbButton_;
  QRadioButton* comButton_;
  QComboBox* ports_;
  QLabel* status_;
  QCheckBox* append_;
};

}  // namespace kro::gui
