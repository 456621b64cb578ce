// The print header, footer and page-number settings ("printini", section "Data") and the
// page-number texts.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "settings/program_paths.h"
#include "settings/settings_file.h"

namespace kro {

inline constexpr std::string_view kPrintSettingsFile = "printini";
inline constexpr std::array<std::string_view, 5> kPageNumberFormats = {".1.", "1", "--1--", "第1页",
                                                                       "共1页  第1页"};
inline constexpr std::array<std::string_view, 6> kPageNumberPositions = {"底部居右", "底部居中", "底部居左",
                                                                         "顶部居右", "顶部居中", "顶部居左"};

struct PrintSettings {
  int printHeader = 0;
  int printFooter = 0;
  int printPageNumber = 0;
  std::string headerText;  // UTF-8
  std::string footerText;
  int pageNumberFormat = -1;  // list index; -1: nothing selected
  int startPageNumber = 0;
  int pageNumberPosition = -1;
};

// The settings a file holds; keys not found keep the values of `start`.
PrintSettings readPrintSettings(const SettingsFile& file, PrintSettings start = {});
// Reads the settings file; keys not found keep the values of `start`. Nothing when the file
// cannot be read.
std::optional<PrintSettings> loadPrintSettings(const SettingsLocation& location, PrintSettings start = {});
// Rewrites the settings file, the eight keys in their order; the old file is replaced only by a
// complete new one.
Status savePrintSettings(const SettingsLocation& location, const PrintSettings& settings);

// The settings as a printed page reads them: a missing file or key gives 0 or the empty text.
PrintSettings printSettingsForPage(const SettingsLocation& location);

// The page number's text for page (from 1) of pageCount pages; empty for a format outside the list.
std::string pageNumberText(int format, int startNumber, int page, int pageCount);

}  // namespace kro
