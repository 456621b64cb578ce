// The serial ports and USB instruments present, for the transfer dialog and `kro ports`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace kro {

using platform::listSerialPorts;
using platform::SerialPortEntry;

// "FT232R USB UART，FTDI" from the description and maker; "" when neither is known.
std::string serialPortSummary(const SerialPortEntry& port);

struct UsbInstrumentEntry {
  unsigned index = 0;  // USB1 is 0, as the transfer numbers them
  int bus = 0, address = 0;
  std::uint16_t vendorId = 0, productId = 0;
  bool knownId = false;  // the chip's own ids rather than only the right endpoints
};

// Devices the USB transfer would open, in its order; empty without USB support.
std::vector<UsbInstrumentEntry> listUsbInstruments();

// What a USB transfer looks for, for messages: "厂商 4348 或 1a86、产品 5537".
inline constexpr const char* kUsbIdsLookedFor = "厂商 4348 或 1a86、产品 5537";

}  // namespace kro
