// File names between Qt's texts and paths, through UTF-16 on every system: Windows' own wide names
// as they are, Linux's bytes read as UTF-8, so that any name (Chinese folders and files above
// all) survives.
#pragma once

#include <QString>
#include <filesystem>

namespace kro {

// In Qt's own form ("/" on Windows too), as QFileInfo and the file dialogs give them; shown to
// the user through QDir::toNativeSeparators. A Linux name that is not UTF-8 (a GBK name from an
// old archive) is shown with replacement characters rather than refused.
inline QString qtPath(const std::filesystem::path& path) {
  try {
    return QString::fromStdU16String(path.generic_u16string());
  } catch (const std::exception&) {
    const std::u8string bytes = path.generic_u8string();
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()),
                             static_cast<qsizetype>(bytes.size()));
  }
}

// Qt's "/" as the system writes it, for messages.
inline std::filesystem::path pathFromQt(const QString& text) {
  try {
    return std::filesystem::path(text.toStdU16String()).make_preferred();
  } catch (const std::exception&) {
    return std::filesystem::path(text.toStdString()).make_preferred();  // an unpaired surrogate
  }
}

}  // namespace kro
