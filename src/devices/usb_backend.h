// The USB chip library to use: the simulated instrument when KRO_USB_SIMULATE names a file
// (index 0 serves that file's members), else libusb.
#pragma once

#include <memory>

#include "base/result.h"
#include "transfer/usb_link.h"

namespace kro {

Result<std::unique_ptr<Ch375Library>> makeUsbLibrary();

}  // namespace kro
