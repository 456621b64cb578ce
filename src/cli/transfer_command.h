// kro transfer: a transfer from the instrument into an analysis file, over the serial port the
// platform gives (Qt Serial Port on Linux, the Win32 API on Windows) or USB where there is one.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "transfer/serial_link.h"
#include "transfer/usb_link.h"

namespace kro::cli {

// The USB library, or why there is none.
using UsbLibraryMaker = std::function<Result<std::unique_ptr<Ch375Library>>()>;

int runTransfer(const Context& cx, const std::vector<std::string>& args, SerialPort& serialPort,
                const UsbLibraryMaker& makeUsb);

}  // namespace kro::cli
