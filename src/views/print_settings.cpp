// Print settings file and page-number texts.
#include "views/print_settings.h"

#include <cstdint>

#include "settings/settings_file.h"

namespace kro {
namespace {

constexpr std::string_view kSection = "Data";

}  // namespace

std::optional<PrintSettings> loadPrintSettings(const SettingsLocation& location, PrintSettings start) {
  SettingsFile file(location, kPrintSettingsFile);
  if (!file.openForRead()) return std::nullopt;
  return readPrintSettings(file, start);
}

PrintSettings readPrintSettings(const SettingsFile& file, PrintSettings s) {
  file.readInt(kSection, "打印页眉", s.printHeader);
  file.readInt(kSection, "打印页脚", s.printFooter);
  file.readInt(kSection, "打印页码", s.printPageNumber);
  file.readString(kSection, "页眉内容", s.headerText);
  file.readString(kSection, "页脚内容", s.footerText);
  file.readInt(kSection, "页码格式", s.pageNumberFormat);
  file.readInt(kSection, "起始页码", s.startPageNumber);
  file.readInt(kSection, "页码位置", s.pageNumberPosition);
  return s;
}

Status savePrintSettings(const SettingsLocation& location, const PrintSettings& s) {
  SettingsFile file(location, kPrintSettingsFile);
  if (Status opened = file.openForWrite(); !opened) return Error{"无法保存打印设置：" + opened.message()};
  file.writeSection(kSection);
  file.writeInt("打印页眉", s.printHeader);
  file.writeInt("打印页脚", s.printFooter);
  file.writeInt("打印页码", s.printPageNumber);
  file.writeString("页眉内容", s.headerText);
  file.writeString("页脚内容", s.footerText);
  file.writeInt("页码格式", s.pageNumberFormat);
  file.writeInt("起始页码", s.startPageNumber);
  file.writeInt("页码位置", s.pageNumberPosition);
  if (Status written = file.close(); !written) return Error{"无法保存打印设置：" + written.message()};
  return Status::success();
}

PrintSettings printSettingsForPage(const SettingsLocation& location) {
  PrintSettings zero;
  zero.pageNumberFormat = 0;
  zero.pageNumberPosition = 0;
  return loadPrintSettings(location, zero).value_or(zero);
}

std::string pageNumberText(int format, int start, int page, int pageCount) {
  // In 64 bits: a start number near the integer limit must not wrap to negative numbers.
  const std::string number = std::to_string(std::int64_t{page} + start - 1);
  switch (format) {
    case 0:
      return "." + number + ".";
    case 1:
      return number;
    case 2:
      return "--" + number + "--";
    case 3:
      return "第" + number + "页";
    case 4:
      return "共" + std::to_string(std::int64_t{pageCount} + start - 1) + "页 第" + number + "页";
    default:
      return {};
  }
}

}  // namespace kro
