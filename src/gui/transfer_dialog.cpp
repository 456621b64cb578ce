// Data transfer dialog.
#include "gui/transfer_dialog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>

#include "devices/port_listing.h"
#include "devices/usb_backend.h"
#include "gui/dialogs.h"
#include "gui/window_settings.h"
#include "model/file_io.h"
#include "render/qt_paths.h"

namespace kro::gui {
namespace {

// "楼板数据-yyyyMMdd-HHmm.KRO" for now.
// A dated name in the folder, with -2, -3… after it when a transfer of the same minute is there.
QString proposedTransferPath(const QDir& folder) {
  const QString stem = "楼板数据-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmm");
  QString path = folder.filePath(stem + ".KRO");
  for (int n = 2; QFileInfo::exists(path); ++n) path = folder.filePath(QString("%1-%2.KRO").arg(stem).arg(n));
  return path;
}

// After this long without a byte the status area says the instrument seems silent.
constexpr auto kSilenceNotice = std::chrono::seconds(10);
// Beyond twice the time its stated length takes, what a transfer may take (as kro transfer's
// default --timeout).
constexpr auto kTransferTimeLimit = std::chrono::seconds(60);

std::unique_ptr<Ch375Library> usbLibraryOrNone(QString& problem) {
  auto library = makeUsbLibrary();
  if (library) return std::move(library.value());
  problem = QString::fromStdString(library.message());
  return nullptr;
}

}  // namespace

TransferDialog::TransferDialog(Prompter& ui, std::filesystem::path openedPath, bool canAppend,
                               std::function<bool()> closeOpenFile, QWidget* parent)
    : QDialog(parent),
      openedPath_(std::move(openedPath)),
      closeOpenFile_(std::move(closeOpenFile)),
      ui_(ui),
      usb_(usbLibraryOrNone(usbProblem_)),
      session_(&serialPort_, usb_.get()) {
  setObjectName("transferDialog");
  session_.offerFirstBlock(true);
  session_.setTimeLimit(kTransferTimeLimit);
  setWindowTitle("数据传输");
  // A dated name in the folder of the last transfer, so that a day's transfers never meet; the
  // first time in the user's documents (on Windows 文档, not the profile folder).
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  const QString folderUsed =
      windowSettings()
          ->value("transferFolder",
                  !documents.isEmpty() && QDir(documents).exists() ? documents : QDir::homePath())
          .toString();
  path_ = new QLineEdit(QDir::toNativeSeparators(proposedTransferPath(QDir(folderUsed))), this);
  path_->setObjectName("pathEdit");
  path_->setMinimumWidth(320);
  path_->setToolTip("收到的数据保存到这个文件；可以直接修改");
  append_ = new QCheckBox("追加到当前工程", this);
  append_->setObjectName("appendCheck");
  append_->setEnabled(canAppend);
  append_->setToolTip("把收到的构件追加到当前打开的工程（一步，可撤销）；数据仍保存到上面的文件");
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
  grid->addWidget(append_, 3, 1, 1, 2);
  grid->addWidget(new QLabel("传输状态", this), 4, 0);
  grid->addWidget(status_, 5, 0, 1, 4);

  connect(folder, &QPushButton::clicked, this, &TransferDialog::chooseFolder);
  connect(startButton, &QPushButton::clicked, this, &TransferDialog::start);
  connect(cancel, &QPushButton::clicked, this, &TransferDialog::reject);
  connect(usbButton_, &QRadioButton::clicked, this, [this] { fillPorts(true); });
  connect(comButton_, &QRadioButton::clicked, this, [this] { fillPorts(false); });
  connect(&timer_, &QTimer::timeout, this, &TransferDialog::tick);

  usbButton_->setChecked(true);
  fillPorts(true);
  // The port of the last transfer.
  const QString last = windowSettings()->value("transferPort").toString();
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
  ports_->setToolTip(usb ? QString() : "选择端口，或输入" + QString::fromUtf8(platform::typedPortHint()));
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

bool TransferDialog::appendChosen() const { return append_->isEnabled() && append_->isChecked(); }

void TransferDialog::chooseFolder() {
  if (auto folder = Dialogs::folder(this, "选择存放文件夹")) {
    const QString name = QFileInfo(path_->text()).fileName();
    path_->setText(QDir::toNativeSeparators(name.isEmpty() ? proposedTransferPath(QDir(*folder))
                                                           : QDir(*folder).filePath(name)));
  }
}

bool TransferDialog::takeDestination() {
  QString typed = path_->text().trimmed();
  if (typed.isEmpty()) {
    Dialogs::message(this, MessageKind::Warning, "请填写文件存储路径。");
    return false;
  }
  if (QFileInfo(typed).isDir()) {
    Dialogs::message(this, MessageKind::Warning,
                     QString("“%1”是一个文件夹，请在后面写上文件名。").arg(typed));
    return false;
  }
  if (QFileInfo(typed).suffix().isEmpty()) typed += ".KRO";
  const QFileInfo file(typed);
  if (!file.absoluteDir().exists()) {
    Dialogs::message(
        this, MessageKind::Warning,
        QString("文件夹“%1”不存在，请选择存放目录。").arg(QDir::toNativeSeparators(file.absolutePath())));
    return false;
  }
  path_->setText(QDir::toNativeSeparators(file.absoluteFilePath()));
  session_.setDestination(pathFromQt(file.absoluteFilePath()));
  // The open file would be replaced: the user may close it first.
  if (!openedPath_.empty() && sameFile(session_.destination(), openedPath_)) {
    if (!Dialogs::askYesNo(
            this,
            QString("“%1”是当前打开的文件，传输会替换它。先关闭这个文件再传输吗？").arg(file.fileName())) ||
        !closeOpenFile_ || !closeOpenFile_()) {
      return false;
    }
    openedPath_.clear();
    append_->setChecked(false);
    append_->setEnabled(false);
  }
  return true;
}

void TransferDialog::start() {
  timer_.stop();
  if (!takeDestination()) return;
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
  TransferStep step = session_.start(link, openedPath_);
  if (step.state == TransferState::Idle && !step.question.empty()) {
    if (!ui_.askYesNo(step.question)) {
      status_->clear();
      return;
    }
    step = session_.start(link, openedPath_, true);
  }
  if (step.state != TransferState::Running) {
    showNotice(step);
    status_->clear();
    return;
  }
  windowSettings()->setValue("transferPort", portName());
  windowSettings()->setValue("transferFolder", QFileInfo(path_->text()).absolutePath());
  receiving_.invalidate();
  showStatus();
  timer_.start(kTransferTick);
}

void TransferDialog::tick() {
  TransferStep step = session_.tick();
  showStatus();
  if (step.state == TransferState::Running) return;
  timer_.stop();
  if (step.state == TransferState::Asking) step = session_.answerFirstBlock(ui_.askYesNo(step.question));
  showNotice(step);
  if (step.state == TransferState::Completed) accept();
}

void TransferDialog::showNotice(const TransferStep& step) {
  if (!step.notice) return;
  showStatus();
  ui_.showMessage(step.notice->kind, step.notice->text);
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
