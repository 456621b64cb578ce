// Whole-file reads and atomic writes: a file is replaced only by a complete new one.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_errors.h"
#include "base/result.h"

namespace kro {

// Size limits for what the program reads whole: a 1,000-member project of 500 readings each is
// about 6 MB.
inline constexpr std::uint64_t kMaxProjectFileSize = 256ull << 20;  // analysis, raw, transfer files
inline constexpr std::uint64_t kMaxSettingsFileSize = 1ull << 20;
inline constexpr std::uint64_t kMaxTemplateEntrySize = 64ull << 20;  // one part of a .docx template
inline constexpr std::uint64_t kMaxTemplateFileSize = 256ull << 20;

// Reads a whole regular file into memory. Devices, FIFOs, sockets and folders are refused
// without waiting on them, and so is a file larger than maxBytes.
Result<std::string> readWholeFile(const std::filesystem::path& path, std::uint64_t maxBytes);

// What a file held when it was read or written: its size, modification time and a hash of its
// bytes (64-bit FNV-1a: enough to tell a change, not a signature), so that a later save can tell
// whether something else changed it meanwhile.
struct FileStamp {
  std::uint64_t size = 0;
  std::filesystem::file_time_type modified{};
  std::uint64_t hash = 0;
  bool operator==(const FileStamp&) const = default;
};
std::uint64_t contentHash(std::string_view bytes);
// The stamp of bytes just read from or written to path, with the file's time as it is now.
FileStamp stampOf(const std::filesystem::path& path, std::string_view bytes);
// Nothing while the file still holds what stamp describes (a new time over the same bytes
// counts as unchanged) or is gone; otherwise its stamp now.
std::optional<FileStamp> changedSince(const std::filesystem::path& path, const FileStamp& stamp);
// A file time as seconds since 1970, for showing it.
std::time_t toTimeT(std::filesystem::file_time_type time);

// Refuses a path that is not a regular file of at most maxBytes (for readers that open files
// themselves, such as the zip library).
Status checkInputFile(const std::filesystem::path& path, std::uint64_t maxBytes);

// Writes to a temporary file in the target's folder and renames it over the target only when
// it is complete and flushed. A failure leaves the old file as it was and removes the
// temporary file. A symbolic link as target stays a link: the file it names is replaced. The
// replaced file keeps its permissions and, when root writes, its owner. open() refuses what
// checkOutputPath refuses.
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
  bool inPlace_ = false;  // a hard-linked target written in place, as asked
};

Status writeFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// For writers that create their file by path themselves (zip, workbook and PDF libraries): a
// fresh hidden name beside target, and the replacement of target by the complete file, as
// AtomicFile does it (flushed to the disk, the replaced file's permissions kept, a symbolic
// link kept and the file it names replaced). A failed replacement removes the temporary file
// and says why. Temporary names carry the writer's process id; making one removes those of
// earlier writes to the same target whose process no longer runs.
std::filesystem::path temporaryPathBeside(const std::filesystem::path& target);
// The same name, created empty, so that a folder that cannot take the file is reported with
// its reason before a library tries (and fails without one).
Result<std::filesystem::path> createTemporaryBeside(const std::filesystem::path& target);
Status replaceWithTemporary(const std::filesystem::path& temporary, const std::filesystem::path& target);

// True when two paths name the same file: the same existing file by device and inode (through
// links, other spellings and hard links), or the same path once made absolute and normal.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// The files data were read from, which no output may replace while this object lives: every
// write through this file (AtomicFile, the temporaries of library writers) refuses them, so no
// caller can forget the check.
class ProtectedInputs {
 public:
  ProtectedInputs() = default;
  explicit ProtectedInputs(std::vector<std::filesystem::path> files);
  ~ProtectedInputs();
  ProtectedInputs(ProtectedInputs&& other) noexcept;
  ProtectedInputs& operator=(ProtectedInputs&& other) noexcept;
  ProtectedInputs(const ProtectedInputs&) = delete;
  ProtectedInputs& operator=(const ProtectedInputs&) = delete;

  const std::vector<std::filesystem::path>& files() const { return files_; }

 private:
  std::vector<std::filesystem::path> files_;
  unsigned id_ = 0;
};

// While it lives, every file the process reads whole (or checks as an input) is protected: a
// command's inputs, whatever reads them.
class ProtectingEveryFileRead {
 public:
  ProtectingEveryFileRead();
  ~ProtectingEveryFileRead();
  ProtectingEveryFileRead(const ProtectingEveryFileRead&) = delete;
  ProtectingEveryFileRead& operator=(const ProtectingEveryFileRead&) = delete;
};

// While it lives, the file at path may be replaced although it is a protected input: saving a
// document over the analysis file it was read from.
class ReplacingOwnFile {
 public:
  explicit ReplacingOwnFile(const std::filesystem::path& path);
  ~ReplacingOwnFile();
  ReplacingOwnFile(const ReplacingOwnFile&) = delete;
  ReplacingOwnFile& operator=(const ReplacingOwnFile&) = delete;

 private:
  unsigned id_ = 0;
};

// Whether target may be written, by the rules every write follows: not a protected input; not
// a device, FIFO, socket or folder; a file the user may write (as a shell redirection would
// find it: a read-only file is refused, except for root); a symbolic link only where the kernel
// would follow it for this user, and never one that names nothing; no file with several hard
// links (replacing it would leave the other names with the old data) unless writing those in
// place was asked for.
Status checkOutputPath(const std::filesystem::path& target);
// Hard-linked outputs are written in place, not atomically (the command line's
// --force-in-place).
void writeLinkedFilesInPlace(bool inPlace);

// Makes a write beyond the file-size limit (ulimit -f) fail with "文件过大" like any failed
// write, instead of the signal that would end the program without a word. Programs call it at
// start.
void reportOversizedWritesAsFailures();

// Creates path holding bytes, only when nothing of that name exists: an existing file is never
// replaced (the message then says 文件已存在). hidden: hidden from file lists where the system
// marks that by an attribute (a leading dot hides it elsewhere).
Status createNewFile(const std::filesystem::path& path, std::string_view bytes, bool hidden = false);

// Who this process is, for lock files: the system account, the computer's name and the process id.
struct ProcessIdentity {
  std::string account;
  std::string host;
  long pid = 0;
};
ProcessIdentity currentProcessIdentity();
// True when a process of this id runs on this computer.
bool processRunning(long pid);

// Removes a file if it is there (a temporary file given up); errors are of no use then.
void removeQuietly(const std::filesystem::path& path);

}  // namespace kro
