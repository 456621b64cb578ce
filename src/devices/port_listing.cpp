// Port listing: what every platform shares, and the USB instruments through libusb. The serial
// ports themselves are listed by the platform layer.
#include "devices/port_listing.h"

#ifdef KRO_WITH_LIBUSB
#include "devices/libusb_ch375.h"
#endif

namespace kro {

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
