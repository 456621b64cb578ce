// What the window remembers between runs (recent files, the last folders, the transfer port),
// kept in "window.ini" beside the other settings files, so that a configuration folder given by
// KRO_CONFIG_DIR holds everything the program remembers and nothing leaks into the user's own.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>

#include "render/qt_paths.h"
#include "settings/program_paths.h"

namespace kro::gui {

inline constexpr const char* kWindowSettingsFile = "window.ini";

inline std::unique_ptr<QSettings> windowSettings() {
  const auto path = SettingsLocation::fromEnvironment().pathForWrite(kWindowSettingsFile);
  return std::make_unique<QSettings>(qtPath(path), QSettings::IniFormat);
}

}  // namespace kro::gui
