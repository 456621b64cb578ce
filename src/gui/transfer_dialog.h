// The data transfer dialog: link and port, destination folder, start and cancel, and a status
// area with the progress. It drives a TransferSession with a 200 ms timer.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <memory>

#include "devices/qt_serial_port.h"
#include "transfer/transfer_session.h"

namespace kro::gui {

class TransferDialog : public QDialog {
  Q_OBJECT

 public:
  // openedPath: the file of the open document, which the transfer must not overwrite.
  TransferDialog(Prompter& ui, std::filesystem::path openedPath, QWidget* parent = nullptr);
  ~TransferDialog() override;

  bool completed() const { return session_.completed(); }
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

  std::filesystem::path openedPath_;
  QtSerialPort serialPort_;
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
};

}  // namespace kro::gui
