// Choosing the USB backend.
#include "devices/usb_backend.h"

#include <cstdlib>

#include "devices/simulated_ch375.h"
#include "model/project.h"
#include "transfer/instrument_encoder.h"
#ifdef KRO_WITH_LIBUSB
#include "devices/libusb_ch375.h"
#endif

namespace kro {

Result<std::unique_ptr<Ch375Library>> makeUsbLibrary() {
  if (const char* file = std::getenv("KRO_USB_SIMULATE"); file != nullptr && *file != '\0') {
    auto loaded = loadProject(file);
    if (!loaded) return loaded.error();
    auto image = encodeUsbImage(loaded.value().project.members);
    if (!image) return image.error();
    return std::unique_ptr<Ch375Library>(std::make_unique<SimulatedCh375>(usbMemoryFromImage(image.value())));
  }
#ifdef KRO_WITH_LIBUSB
  return std::unique_ptr<Ch375Library>(std::make_unique<LibusbCh375>());
#else
  return Error{"本程序构建时没有 USB 支持（libusb-1.0）。"};
#endif
}

}  // namespace kro
