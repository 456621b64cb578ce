// Lock files beside open documents.
#include "model/file_lock.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <random>
#include <set>

#include "model/date_text.h"
#include "model/file_io.h"

namespace kro {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFirstLine = "kroanalyze lock 1";
constexpr std::uint64_t kMaxLockFileSize = 4096;

std::optional<LockOwner> parseLock(std::string_view text) {
  if (!text.starts_with(kFirstLine)) return std::nullopt;
  LockOwner owner;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, eq);
    const std::string value(line.substr(eq + 1));
    if (key == "account") owner.account = value;
    if (key == "host") owner.host = value;
    if (key == "program") owner.program = value;
    if (key == "time") owner.time = value;
    if (key == "token") owner.token = value;
    if (key == "pid") {
      try {
        owner.pid = std::stol(value);
      } catch (...) {
        return std::nullopt;
      }
    }
  }
  if (owner.host.empty() || owner.pid <= 0) return std::nullopt;
  return owner;
}

std::string newToken() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  return std::to_string(random()) + "-" + std::to_string(++counter);
}

// The tokens of the locks this process holds, so that a lock of this process is told apart from
// one it left behind, and one window's lock holds against another's.
std::mutex liveMutex;
std::set<std::string>& liveTokens() {
  static std::set<std::string> tokens;
  return tokens;
}
bool isLive(const std::string& token) {
  std::lock_guard lock(liveMutex);
  return liveTokens().count(token) != 0;
}
void setLive(const std::string& token, bool live) {
  std::lock_guard lock(liveMutex);
  if (live) {
    liveTokens().insert(token);
  } else {
    liveTokens().erase(token);
  }
}

}  // namespace

fs::path lockFileFor(const fs::path& file) {
  return file.parent_path() / pathFromUtf8("." + displayPath(file.filename()) + ".lock");
}

bool isLockFileName(const fs::path& path) {
  const std::string name = displayPath(path.filename());
  return name.size() > 6 && name.front() == '.' && name.ends_with(".lock");
}

LockStatus lockStatus(const fs::path& file) {
  const fs::path lock = lockFileFor(file);
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(lock, ec))) return {};
  LockStatus status;
  auto bytes = readWholeFile(lock, kMaxLockFileSize);
  std::optional<LockOwner> owner = bytes ? parseLock(bytes.value()) : std::nullopt;
  if (!owner) {
    status.state = LockState::Unknown;
    return status;
  }
  status.owner = *owner;
  const ProcessIdentity self = currentProcessIdentity();
  if (owner->host != self.host) {
    status.state = LockState::Unknown;
  } else if (owner->pid == self.pid) {
    status.state = isLive(owner->token) ? LockState::Held : LockState::Stale;
  } else {
    status.state = processRunning(owner->pid) ? LockState::Held : LockState::Stale;
  }
  return status;
}

std::string describeLockOwner(const LockOwner& owner) {
  if (owner.host.empty()) return "未知的用户（锁文件无法读取）";
  std::string text = owner.account.empty() ? std::string("未知的用户") : owner.account;
  text += "（计算机 " + owner.host + "，" + (owner.program.empty() ? std::string("程序") : owner.program) +
          " 进程 " + std::to_string(owner.pid);
  if (!owner.time.empty()) {
    // "2026-12-09T10:20:30+08:00" is shown as "2026-12-09 10:20:30".
    std::string shown = owner.time.substr(0, 19);
    if (shown.size() > 10 && shown[10] == 'T') shown[10] = ' ';
    text += "，自 " + shown + " 起";
  }
  return text + "）";
}

std::optional<std::string> lockedByAnother(const fs::path& file) {
  const LockStatus status = lockStatus(file);
  if (status.state != LockState::Held && status.state != LockState::Unknown) return std::nullopt;
  const ProcessIdentity self = currentProcessIdentity();
  if (status.owner.host == self.host && status.owner.pid == self.pid) return std::nullopt;
  std::string message = "“" + displayPath(file) + "”正由 " + describeLockOwner(status.owner) +
                        " 打开，没有写入：请先在那里关闭它。";
  if (status.state == LockState::Unknown) {
    message += "若确认那里已经关闭，删除锁文件“" + displayPath(lockFileFor(file)) + "”后再试。";
  }
  return message;
}

FileLock::FileLock(FileLock&& other) noexcept
    : file_(std::move(other.file_)), lock_(std::move(other.lock_)), token_(std::move(other.token_)) {
  other.lock_.clear();
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    release();
    file_ = std::move(other.file_);
    lock_ = std::move(other.lock_);
    token_ = std::move(other.token_);
    other.lock_.clear();
  }
  return *this;
}

Result<FileLock> FileLock::take(const fs::path& file, const std::string& program, bool takeOver) {
  const fs::path lock = lockFileFor(file);
  const ProcessIdentity self = currentProcessIdentity();
  FileLock taken;
  taken.file_ = file;
  taken.token_ = newToken();
  const std::string content = std::string(kFirstLine) + "\naccount=" + self.account + "\nhost=" + self.host +
                              "\npid=" + std::to_string(self.pid) + "\nprogram=" + program +
                              "\ntime=" + isoLocalTime(std::time(nullptr)) + "\ntoken=" + taken.token_ + "\n";
  // Two rounds: a stale or surrendered lock is removed, then the new one made where none is.
  for (int round = 0; round < 2; ++round) {
    const LockStatus status = lockStatus(file);
    const bool replace = status.state == LockState::Stale || (takeOver && status.state != LockState::Free);
    if (status.state != LockState::Free && !replace) {
      return Error{"“" + displayPath(file.filename()) + "”已由 " + describeLockOwner(status.owner) +
                   " 打开。"};
    }
    if (replace) removeQuietly(lock);
    Status made = createNewFile(lock, content, true);
    if (made) {
      taken.lock_ = lock;
      setLive(taken.token_, true);
      return taken;
    }
    std::error_code ec;
    // Another program made one in between: look again. Anything else is the folder's refusal.
    if (!fs::exists(fs::symlink_status(lock, ec))) return Error{made.message()};
  }
  return Error{"“" + displayPath(file.filename()) + "”正被另一个程序同时打开。"};
}

void FileLock::release() {
  if (lock_.empty()) return;
  auto bytes = readWholeFile(lock_, kMaxLockFileSize);
  std::optional<LockOwner> owner = bytes ? parseLock(bytes.value()) : std::nullopt;
  if (owner && owner->token == token_) removeQuietly(lock_);
  setLive(token_, false);
  lock_.clear();
}

}  // namespace kro
