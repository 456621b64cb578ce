// The settings files: one section of key=value lines, GBK text with CR LF line ends.
//
// Lookups are forgiving, as the files have always been read: a section is the first line that
// contains its name anywhere; after it, the first line whose part before the first "=" contains
// the key anywhere wins, scanning on to the end of the file (past later sections). Lines without
// "=" and section lines (those whose first character is "[") are skipped, so any value, "["
// included, reads back as written. Values are trimmed of plain spaces. Matching walks GBK
// characters, so a two-byte character whose second byte is "[" is not taken for one.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/file_io.h"
#include "settings/program_paths.h"

namespace kro {

class SettingsFile {
 public:
  SettingsFile() = default;
  // A file named name + ".ini" placed by the location's rules.
  SettingsFile(const SettingsLocation& location, std::string_view name);

  // An explicit folder for both reading and writing.
  void setDirectory(std::filesystem::path directory);
  // The file name becomes name + ".ini"; "reportini" in any letter case is one file.
  void setName(std::string_view name);
  const std::string& fileName() const { return fileName_; }

  // Reads the file into memory; fails when it is missing or unreadable.
  Status openForRead();
  // Reads from bytes that hold a file's contents, as openForRead does from the file.
  void openForRead(std::string_view bytes);
  // Prepares a new file that replaces the old one when close succeeds; fails when the folder
  // cannot take it.
  Status openForWrite();
  // Ends reading, or finishes writing: fails when the file could not be written completely
  // (the old file is then unchanged), with the first reason (a text GBK cannot hold, the disk).
  Status close();
  // Ends reading or writing without writing anything.
  void discard();

  // Texts are UTF-8 here and GBK in the file.
  bool findSection(std::string_view section) const;
  bool writeSection(std::string_view name);
  bool writeInt(std::string_view key, int value);
  bool writeString(std::string_view key, std::string_view value);
  bool readInt(std::string_view section, std::string_view key, int& out) const;
  bool readString(std::string_view section, std::string_view key, std::string& out) const;

  // Parses file bytes into lines; CR LF and LF both end a line.
  static std::vector<std::string> splitLines(std::string_view bytes);

 private:
  enum class Mode { Closed, Reading, Writing };

  std::filesystem::path readPath() const;
  std::filesystem::path writePath() const;
  // Index of the line after the section line, or npos.
  std::size_t sectionEnd(std::string_view gbkSection) const;
  bool writeLine(std::string_view key, std::string_view value);

  std::optional<SettingsLocation> location_;
  std::filesystem::path directory_;
  std::string fileName_;
  Mode mode_ = Mode::Closed;
  std::vector<std::string> lines_;
  AtomicFile out_;
  std::optional<std::string> writeFailure_;
};

// The C library's decimal text-to-integer conversion: optional blanks and sign, then the
// leading digits; 0 when there are none. Values beyond int saturate.
int atoiValue(std::string_view text);

}  // namespace kro
