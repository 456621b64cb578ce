// File names between Qt's texts and paths. On Windows through the system's wide names, so that
// any name (Chinese folders and files above all) survives; on Linux as the bytes they are.
#pragma once

#include <QDir>
#include <QString>
#include <filesystem>

namespace kro {

// In Qt's own form ("/" on Windows too), as QFileInfo and the file dialogs give them; shown to
// the user through QDir::toNativeSeparators.
inline QString qtPath(const std::filesystem::path& path) {
#ifdef _WIN32
  return QDir::fromNativeSeparators(QString::fromStdWString(path.wstring()));
#else
  return QString::fromStdString(path.string());
#endif
}

inline std::filesystem::path pathFromQt(const QString& text) {
#ifdef _WIN32
  // Qt's "/" as Windows writes it, for messages.
  return std::filesystem::path(text.toStdWString()).make_preferred();
#else
  return std::filesystem::path(text.toStdString());
#endif
}

}  // namespace kro
