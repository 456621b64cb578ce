// What the user does so that the program may open the instrument's USB device.
#pragma once

#include <string_view>

namespace kro::platform {

// Linux: a udev rule; Windows: the WinUSB driver.
std::string_view usbAccessAdvice();

}  // namespace kro::platform
