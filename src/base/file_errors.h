// System error numbers and paths as the user reads them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kro {

// The reason for errno in the user's words ("磁盘空间不足").
std::string fileErrorReason(int error);
// The user-facing text for a failed file operation on path, with the reason for errno.
std::string fileErrorMessage(std::string_view action, const std::filesystem::path& path, int error);

// File names are UTF-8 texts in this program (arguments, settings, names made from member
// codes); these two convert between such a text and a path, so that on Windows the system's
// wide names are used rather than the narrow code page's.
std::filesystem::path pathFromUtf8(std::string_view text);
std::string displayPath(const std::filesystem::path& path);  // also for messages

}  // namespace kro
