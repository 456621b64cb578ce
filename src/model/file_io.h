// Whole-file reads and atomic writes: a file is replaced only by a complete new one.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "model/result.h"

namespace kro {

// Reads a whole file into memory.
Result<std::string> readWholeFile(const std::filesystem::path& path);

// Writes to a temporary file in the target's folder and renames it over the target only when
// it is complete and flushed. A failure leaves the old file as it was and removes the
// temporary file.
class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file; fails at once when the folder cannot take it.
  Status open(const std::filesystem::path& target);
  // Appends to the temporary file; a failure is reported by commit.
  void write(std::string_view bytes);
  // Writes everything, flushes it to the disk and replaces the target.
  Status commit();
  // Drops the temporary file; the target stays as it was.
  void discard();
  bool isOpen() const { return fd_ >= 0; }

 private:
  std::filesystem::path target_;
  std::filesystem::path temp_;
  int fd_ = -1;
  int error_ = 0;
};

Status writeFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// For writers that create their file by path themselves (zip, workbook and PDF libraries): a
// fresh hidden name beside target, and the rename of the complete file over target. A failed
// rename removes the temporary file and says why.
std::filesystem::path temporaryPathBeside(const std::filesystem::path& target);
Status replaceWithTemporary(const std::filesystem::path& temporary, const std::filesystem::path& target);

// The user-facing text for a failed file operation on path, with the reason for errno.
std::string fileErrorMessage(std::string_view action, const std::filesystem::path& path, int error);

// A path as UTF-8 text for messages.
std::string displayPath(const std::filesystem::path& path);

}  // namespace kro
