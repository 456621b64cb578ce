// Choosing the USB backend.
#include "devices/usb_backend.h"

#include <cstdlib>

#include "devices/simulated_ch375.h"
#include "model/document.h"
#include "transfer/instrument_encoder.h"
#ifdef KRO_WITH_LIBUSB
#include "devices/libusb_ch375.h"
#endif

namespace kro {

Result<std::unique_ptr<Ch375Library>> makeUsbLibrary() {
  if (const char* file = std::getenv("KRO_USB_SIMULATE"); file != nullptr && *file != '\0') {
    HeadlessFrontend quiet;
    CKroAnalyzeDoc doc(&quiet);
    if (!doc.open(file)) {
      return Error{quiet.messages().empty() ? std::string("无法打开模拟仪器的数据文件。")
                                            : quiet.messages().back().text};
    }
    auto image = encodeUsbImage(doc.members());
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
