#include "platform/local_time.h"

namespace kro::platform {

std::tm localTime(std::time_t when) {
  std::tm local{};
  localtime_s(&local, &when);
  return local;
}

std::time_t fieldsAsUtc(std::tm fields) { return _mkgmtime(&fields); }

}  // namespace kro::platform
