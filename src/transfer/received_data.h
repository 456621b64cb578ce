// The bytes of every completed transfer, kept untouched beside the file they became, and read
// back for comparison.
#pragma once

#include <ctime>
#include <filesystem>
#include <string_view>

#include "base/result.h"
#include "model/project.h"
#include "model/transfer_decoder.h"

namespace kro {

inline constexpr std::string_view kReceivedFolderName = "原始数据";

// Writes the bytes received into the folder "原始数据" beside destination, as
// yyyyMMdd-HHmmss.serial or .usb for the given local time, "-2", "-3", ... added on a clash. The
// file is created new (never over another file), complete or not at all, and made read-only:
// the program never writes to it again. Returns its path. The complete file is given its name
// by a move that never replaces (a hard link on POSIX); where the filesystem cannot (no hard
// links on FAT and exFAT sticks), or hardLinks is false, by creating the name exclusively and
// writing it.
Result<std::filesystem::path> keepReceivedBytes(const std::filesystem::path& destination,
                                                TransferLayout layout, std::string_view bytes,
                                                const std::tm& localTime, bool hardLinks = true);

// True for the extensions of kept received bytes, ".serial" and ".usb".
bool isReceivedBytesFile(const std::filesystem::path& path);

}  // namespace kro
