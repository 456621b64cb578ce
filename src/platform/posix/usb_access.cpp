#include "platform/usb_access.h"

namespace kro::platform {

std::string_view usbAccessAdvice() { return "仪器已连接时，请按说明添加 udev 规则，让当前用户可以访问它。"; }

}  // namespace kro::platform
