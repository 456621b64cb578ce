// Qt Serial Port backend and the serial ports Qt lists. Works without an event loop: pending
// bytes are collected on demand.
#include "devices/qt_serial_port.h"

#include <QSerialPortInfo>

#include "devices/port_listing.h"

namespace kro {

bool QtSerialPort::open(const std::string& name, const SerialLineSettings& settings) {
  close();
  port_.setPortName(QString::fromStdString(name));
  if (!port_.open(QIODevice::ReadWrite)) return false;
  const bool configured =
      port_.setBaudRate(settings.baudRate) &&
      port_.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)) &&
      port_.setParity(settings.parity == 'N'   ? QSerialPort::NoParity
                      : settings.parity == 'E' ? QSerialPort::EvenParity
                                               : QSerialPort::OddParity) &&
      port_.setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
      port_.setFlowControl(QSerialPort::NoFlowControl);
  if (!configured) {
    port_.close();
    return false;
  }
  port_.clear(QSerialPort::AllDirections);
  writeTimeoutMs_ = settings.writeTimeoutMs;
  return true;
}

void QtSerialPort::close() {
  if (port_.isOpen()) port_.close();
}

std::size_t QtSerialPort::bytesQueued() {
  if (!port_.isOpen()) return 0;
  // Without an event loop, bytes reach Qt's buffer only when asked for.
  port_.waitForReadyRead(0);
  return static_cast<std::size_t>(port_.bytesAvailable());
}

std::size_t QtSerialPort::read(char* buffer, std::size_t max) {
  const qint64 n = port_.read(buffer, static_cast<qint64>(max));
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool QtSerialPort::write(std::string_view bytes) {
  if (!port_.isOpen()) return false;
  const qint64 n = port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
  if (n != static_cast<qint64>(bytes.size())) return false;
  while (port_.bytesToWrite() > 0) {
    if (!port_.waitForBytesWritten(writeTimeoutMs_)) return false;
  }
  return true;
}

std::string QtSerialPort::failure() {
  // A timeout only means nothing arrived; every other error means the device is gone or broken.
  switch (port_.error()) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
      return {};
    case QSerialPort::DeviceNotFoundError:
      return "设备不存在（请检查连接线，或选择另一个端口）";
    case QSerialPort::PermissionError:
      return "没有访问权限（当前用户可能不在 dialout 组中：运行 sudo usermod -aG dialout "
             "用户名，重新登录后再试；"
             "或者端口正被另一个程序使用）";
    case QSerialPort::ResourceError:
      return "设备已断开或不再可用";
    case QSerialPort::OpenError:
      return "端口已经打开";
    case QSerialPort::UnsupportedOperationError:
      return "这不是一个串口设备";
    case QSerialPort::ReadError:
      return "读取出错";
    case QSerialPort::WriteError:
      return "写入出错";
    default:
      return "串口出错";
  }
}

std::vector<SerialPortEntry> listSerialPorts() {
  std::vector<SerialPortEntry> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    SerialPortEntry e;
    e.path = info.systemLocation().toStdString();
    e.description = info.description().trimmed().toStdString();
    e.manufacturer = info.manufacturer().trimmed().toStdString();
    if (info.hasVendorIdentifier()) e.vendorId = info.vendorIdentifier();
    if (info.hasProductIdentifier()) e.productId = info.productIdentifier();
    ports.push_back(std::move(e));
  }
  return ports;
}

}  // namespace kro
