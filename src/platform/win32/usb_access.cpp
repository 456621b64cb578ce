#include "platform/usb_access.h"

namespace kro::platform {

std::string_view usbAccessAdvice() { return "仪器已连接时，请按说明用 Zadig 为它安装 WinUSB 驱动。"; }

}  // namespace kro::platform
