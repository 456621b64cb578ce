#include "platform/local_time.h"

namespace kro::platform {

std::tm localTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  return local;
}

std::time_t fieldsAsUtc(std::tm fields) { return timegm(&fields); }

}  // namespace kro::platform
