// Data transfer dialog.
#include "gui/transfer_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>

#include "devices/usb_backend.h"
#include "gui/dialogs.h"

namespace kro::gui {
namespace {

// After this long without a byte the status area says the instrument seems silent.
constexpr auto kSilenceNotice = std::chrono::seconds(10);

std::unique_ptr<Ch375Library> usbLibraryOrNone(QString& problem) {
  auto library = makeUsbLibrary();
  if (library) return std::move(library.value());
  problem = QString::fromStdString(library.message());
  return nullptr;
}

}  // namespace

TransferDialog::TransferDialog(Prompter& ui, std::filesystem::path openedPath, QWidget* parent)
    : QDialog(parent),
      openedPath_(std::move(openedPath)),
      usb_(usbLibraryOrNone(usbProblem_)),
      session_(ui, &serialPort_, usb_.get()) {
  setObjectName("transferDialog");
  setWindowTitle("数据传输");
  path_ = new QLineEdit(QString::fromStdString(session_.destination().string()), this);
  path_->setObjectName("pathEdit");
  path_->setReadOnly(true);
  path_->setMinimumWidth(260);
  auto* folder = new QPushButton("存放目录", this);
  folder->setObjectName("folderButton");
  usbButton_ = new QRadioButton("USB", this);
  usbButton_->setObjectName("usbButton");
  comButton_ = new QRadioButton("COM", this);
  comButton_->setObjectName("comButton");
  ports_ = new QComboBox(this);
  ports_->setObjectName("portList");
  status_ = new QLabel(this);
  status_->setObjectName("statusArea");
  status_->setWordWrap(true);
  status_->setMinimumHeight(48);
  status_->setFrameShape(QFrame::StyledPanel);
  auto* startButton = new QPushButton("开始传输", this);
  startButton->setObjectName("startButton");
  startButton->setDefault(true);
  auto* cancel = new QPushButton("取消", this);
  cancel->setObjectName("cancelButton");

  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel("文件存储路径", this), 0, 0);
  grid->addWidget(path_, 0, 1, 1, 2);
  grid->addWidget(folder, 0, 3);
  grid->addWidget(new QLabel("端口类型", this), 1, 0);
  grid->addWidget(usbButton_, 1, 1);
  grid->addWidget(comButton_, 1, 2);
  grid->addWidget(startButton, 1, 3);
  grid->addWidget(new QLabel("端口号", this), 2, 0);
  grid->addWidget(ports_, 2, 1, 1, 2);
  grid->addWidget(cancel, 2, 3);
  grid->addWidget(new QLabel("传输状态", this), 3, 0);
  grid->addWidget(status_, 4, 0, 1, 4);

  connect(folder, &QPushButton::clicked, this, &TransferDialog::chooseFolder);
  connect(startButton, &QPushButton::clicked, this, &TransferDialog::start);
  connect(cancel, &QPushButton::clicked, this, &TransferDialog::reject);
  connect(usbButton_, &QRadioButton::clicked, this, [this] { fillPorts(true); });
  connect(comButton_, &QRadioButton::clicked, this, [this] { fillPorts(false); });
  connect(&timer_, &QTimer::timeout, this, &TransferDialog::tick);

  usbButton_->setChecked(true);
  fillPorts(true);
}

TransferDialog::~TransferDialog() {
  timer_.stop();
  session_.cancel();
}

void TransferDialog::fillPorts(bool usb) {
  ports_->clear();
  if (usb) {
    for (int n = 1; n <= 6; ++n) ports_->addItem(QString("USB%1").arg(n));
  } else {
    for (const std::string& port : serialPortChoices(availableSerialDevices())) {
      ports_->addItem(QString::fromStdString(port));
    }
  }
  ports_->setCurrentIndex(0);
}

void TransferDialog::choosePort(const QString& name) {
  const bool usb = name.startsWith("USB");
  (usb ? usbButton_ : comButton_)->setChecked(true);
  fillPorts(usb);
  int index = ports_->findText(name);
  if (index < 0) {
    ports_->addItem(name);
    index = ports_->count() - 1;
  }
  ports_->setCurrentIndex(index);
}

void TransferDialog::chooseFolder() {
  if (auto folder = Dialogs::folder(this, "Select folder")) {
    session_.chooseFolder(folder->toStdString());
    path_->setText(QString::fromStdString(session_.destination().string()));
  }
}

void TransferDialog::start() {
  timer_.stop();
  LinkChoice link;
  if (usbButton_->isChecked()) {
    if (usb_ == nullptr) {
      Dialogs::message(this, MessageKind::Error, usbProblem_);
      return;
    }
    link.kind = LinkKind::Usb;
    link.usbIndex = static_cast<unsigned>(std::max(0, ports_->currentIndex()));
  } else {
    link.kind = LinkKind::Serial;
    link.serialPort = ports_->currentText().toStdString();
  }
  if (!session_.start(link, openedPath_)) {
    status_->clear();
    return;
  }
  showStatus();
  timer_.start(kTransferTick);
}

void TransferDialog::tick() {
  const TransferState state = session_.tick();
  showStatus();
  if (state == TransferState::Running) return;
  timer_.stop();
  if (state == TransferState::Completed) accept();
}

void TransferDialog::showStatus() {
  if (session_.draining()) {
    status_->setText(
        QString::fromUtf8(kDrainingMessage.data(), static_cast<qsizetype>(kDrainingMessage.size())) + "…");
    return;
  }
  const TransferBuffer::Progress p = session_.progress();
  QString text = QString("已接收 %1").arg(p.received);
  if (p.expected) text += QString(" / %1").arg(*p.expected);
  text += " 字节";
  if (session_.state() == TransferState::Failed) {
    text += "\n传输失败。";
  } else if (session_.state() == TransferState::Running && session_.silentFor() > kSilenceNotice) {
    text += QString("\n仪器已有 %1 秒没有发送数据，请检查连接和仪器。")
                .arg(std::chrono::duration_cast<std::chrono::seconds>(session_.silentFor()).count());
  }
  status_->setText(text);
}

void TransferDialog::reject() {
  timer_.stop();
  session_.cancel();
  QDialog::reject();
}

}  // namespace kro::gui
