// Lock files: while a window has a file open, a lock file beside it says who has it, so that a
// second window and every write by kro hear it before anything is lost.
//
// The lock of "X.KRO" is ".X.KRO.lock" in the same folder (hidden; never listed as a document),
// created only where none exists (never replacing one), and holding UTF-8 lines:
//
//   kroanalyze lock 1
//   account=<the system account>
//   host=<the computer's name>
//   pid=<the process id>
//   program=<kroanalyze>
//   time=<when it was taken: local time with its offset, ISO 8601>
//   token=<a number of this lock's own>
//
// Staleness: a lock is stale when it names this computer and no process of its id runs (the
// program ended without removing it), or names this process but none of its open locks; a stale
// lock is replaced without asking. A lock naming
// another computer, or one that cannot be read, is never declared stale: only the user may say
// so (take it over). The holder removes its lock when it closes the file, and only while the lock
// file is still its own (same token).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "base/result.h"

namespace kro {

struct LockOwner {
  std::string account;
  std::string host;
  std::string program;
  std::string time;  // as written: ISO 8601
  long pid = 0;
  std::string token;
};

enum class LockState {
  Free,     // no lock file
  Held,     // a running process on this computer (this one too: another window's lock)
  Unknown,  // another computer's, or a lock file that cannot be read: only the user can tell
  Stale,    // this computer's, and its holder no longer runs
};

struct LockStatus {
  LockState state = LockState::Free;
  LockOwner owner;
};

std::filesystem::path lockFileFor(const std::filesystem::path& file);
// True for a name that is a lock file's (".….lock").
bool isLockFileName(const std::filesystem::path& path);
LockStatus lockStatus(const std::filesystem::path& file);
// Who holds a lock, for messages: "zhang（计算机 pc-01，kroanalyze 进程 1234，自 2026-12-09 10:20:30 起）".
std::string describeLockOwner(const LockOwner& owner);
// The refusal of a write to a file another process holds (held, or of unknown state), or
// nothing when it may be written. This process's own locks never refuse its writes.
std::optional<std::string> lockedByAnother(const std::filesystem::path& file);

// A lock this process holds; released when destroyed.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { release(); }
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock of file. A free or stale lock is taken; a held one (or one of unknown state)
  // only with takeOver, which the user must have agreed to. Fails with the
  // holder named, or with the reason the folder takes no lock file (a read-only folder).
  static Result<FileLock> take(const std::filesystem::path& file, const std::string& program,
                               bool takeOver = false);

  bool held() const { return !lock_.empty(); }
  const std::filesystem::path& file() const { return file_; }
  // Removes the lock file while it is still this lock's.
  void release();

 private:
  std::filesystem::path file_;
  std::filesystem::path lock_;
  std::string token_;
};

}  // namespace kro
