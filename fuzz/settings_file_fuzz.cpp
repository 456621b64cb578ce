// Fuzz target: settings-file lookups over arbitrary bytes.
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  kro::SettingsFile file;
  file.openForRead(bytes);
  std::string text;
  int number = 0;
  for (const char* key : {"工程名称", "报告格式", "打印页眉", "=", "[", "Data"}) {
    file.readString("Data", key, text);
    file.readInt("Data", key, number);
  }
  file.findSection("");
  return 0;
}
