// Data transfer dialog.
#include "gui/transfer_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QSettings>
#include <algorithm>
#include <cstdio>

#include "devices/port_listing.h"
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
  // The port of the last transfer.
  const QString last = QSettings().value("transferPort").toString();
  if (!last.isEmpty()) choosePort(last);
}

TransferDialog::~TransferDialog() {
  timer_.stop();
  session_.cancel();
}

void TransferDialog::fillPorts(bool usb) {
  ports_->clear();
  // Each entry shows what the system says of the device; its name is kept as the item's data.
  auto add = [this](const QString& name, const std::string& about) {
    ports_->addItem(about.empty() ? name : name + "  " + QString::fromStdString(about), name);
    if (!about.empty())
      ports_->setItemData(ports_->count() - 1, QString::fromStdString(about), Qt::ToolTipRole);
  };
  if (usb) {
    const std::vector<UsbInstrumentEntry> found = listUsbInstruments();
    for (unsigned n = 0; n < 6; ++n) {
      std::string about;
      for (const UsbInstrumentEntry& u : found) {
        if (u.index != n) continue;
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04x:%04x", u.vendorId, u.productId);
        about = std::string("已连接 ") + ids;
      }
      add(QString("USB%1").arg(n + 1), about);
    }
  } else {
    const std::vector<SerialPortEntry> found = listSerialPorts();
    std::vector<std::string> paths;
    for (const SerialPortEntry& p : found) paths.push_back(p.path);
    for (const std::string& port : serialPortChoices(paths)) {
      std::string about;
      for (const SerialPortEntry& p : found) {
        if (p.path == serialDevicePath(port)) about = serialPortSummary(p);
      }
      if (about.empty() && serialDevicePath(port) != port) about = serialDevicePath(port);
      add(QString::fromStdString(port), about);
    }
  }
  // A device path (a USB serial adapter, the virtual instrument's pseudo-terminal) may be typed.
  ports_->setEditable(!usb);
  ports_->setToolTip(usb ? QString() : "选择端口，或输入设备路径（例如 /dev/ttyUSB0）");
  ports_->setCurrentIndex(0);
}

void TransferDialog::choosePort(const QString& name) {
  const bool usb = name.startsWith("USB");
  (usb ? usbButton_ : comButton_)->setChecked(true);
  fillPorts(usb);
  int index = ports_->findData(name);
  if (index < 0) {
    ports_->addItem(name, name);
    index = ports_->count() - 1;
  }
  ports_->setCurrentIndex(index);
}

QString TransferDialog::portName() const {
  const int index = ports_->currentIndex();
  if (index >= 0 && ports_->currentText() == ports_->itemText(index))
    return ports_->itemData(index).toString();
  return ports_->currentText().trimmed();
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
    link.serialPort = portName().toStdString();
    if (link.serialPort.empty()) {
      Dialogs::message(this, MessageKind::Warning, "请选择端口，或输入设备路径。");
      return;
    }
  }
  if (!session_.start(link, openedPath_)) {
    status_->clear();
    return;
  }
  QSettings().setValue("transferPort", portName());
  receiving_.invalidate();
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
  if (p.expected && *p.expected > 0) {
    text += QString("（%1%）").arg(std::min<std::uint64_t>(100, p.received * 100 / *p.expected));
  }
  // The rate since the first byte, and from it the time left (a large project takes minutes
  // at 2400 baud).
  if (p.received > 0 && !receiving_.isValid()) {
    receiving_.start();
    receivedAtStart_ = p.received;
  }
  const double seconds = receiving_.isValid() ? static_cast<double>(receiving_.elapsed()) / 1000.0 : 0.0;
  if (session_.state() == TransferState::Running && seconds >= 1.0 && p.received > receivedAtStart_) {
    const double rate = static_cast<double>(p.received - receivedAtStart_) / seconds;
    text += QString("，%1 字节/秒").arg(rate, 0, 'f', 0);
    if (p.expected && *p.expected > p.received) {
      const auto left = static_cast<long long>(static_cast<double>(*p.expected - p.received) / rate + 0.5);
      text += left >= 60 ? QString("，约剩 %1 分 %2 秒").arg(left / 60).arg(left % 60)
                         : QString("，约剩 %1 秒").arg(left);
    }
  }
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
