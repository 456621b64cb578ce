// Port listing with Qt Serial Port and libusb.
#include "devices/port_listing.h"

#include <QSerialPortInfo>

#ifdef KRO_WITH_LIBUSB
#include "devices/libusb_ch375.h"
#endif

namespace kro {

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

std::string serialPortSummary(const SerialPortEntry& port) {
  if (port.description.empty()) return port.manufacturer;
  if (port.manufacturer.empty() || port.description.find(port.manufacturer) != std::string::npos)
    return port.description;
  return port.description + "，" + port.manufacturer;
}

std::vector<UsbInstrumentEntry> listUsbInstruments() {
#ifdef KRO_WITH_LIBUSB
  return LibusbCh375::listInstruments();
#else
  return {};
#endif
}

}  // namespace kro
