// Whole-file reads and temp-file-and-rename writes, over the system's file calls.
#include "model/file_io.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "model/file_lock.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace kro {
namespace fs = std::filesystem;
using namespace platform;  // the file calls of this system

namespace {

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const long n = writeSome(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

void removeQuietly(const fs::path& path) { removeFile(path); }

Status createNewFile(const fs::path& path, std::string_view bytes, bool hidden) {
  const int fd = createExclusive(path);
  if (fd < 0) return Error{fileErrorMessage("无法创建", path, errno)};
  const bool written = writeAll(fd, bytes);
  const int error = written ? 0 : errno;
  closeFile(fd);
  if (!written) {
    removeFile(path);
    return Error{fileErrorMessage("无法写入", path, error)};
  }
  if (hidden) hideFile(path);
  return Status::success();
}

ProcessIdentity currentProcessIdentity() { return {accountName(), hostName(), currentProcess()}; }

bool processRunning(long pid) { return pid > 0 && !processGone(pid); }

void reportOversizedWritesAsFailures() { platform::reportOversizedWritesAsFailures(); }

bool sameFile(const fs::path& a, const fs::path& b) {
  if (a.empty() || b.empty()) return false;
  FileStatus sa;
  FileStatus sb;
  if (statusOf(a, sa) == 0 && statusOf(b, sb) == 0) return sa.is(sb);
  std::error_code ec;
  const fs::path na = fs::weakly_canonical(fs::absolute(a, ec), ec).lexically_normal();
  const fs::path nb = fs::weakly_canonical(fs::absolute(b, ec), ec).lexically_normal();
  return na == nb;
}

namespace {

// A file by device and inode, as it was when it was protected, with the name it was read by.
struct Identity {
  FileStatus file;
  fs::path path;
  bool is(const FileStatus& st) const { return file.is(st); }
};

// The protected inputs of the whole process (the window's document, a command's reads), and the
// files that may be replaced all the same.
struct Registry {
  std::mutex mutex;
  std::map<unsigned, std::vector<Identity>> inputs;  // 0: every file read, when asked for
  std::map<unsigned, Identity> ownFiles;
  unsigned next = 1;
  int everyRead = 0;  // ProtectingEveryFileRead objects alive
  bool inPlace = false;
};

Registry& registry() {
  static Registry r;
  return r;
}

std::optional<Identity> identityOf(const fs::path& path) {
  FileStatus st;
  if (statusOf(path, st) != 0) return std::nullopt;
  return Identity{st, path};
}

void noteRead(const fs::path& path, const FileStatus& st) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (r.everyRead > 0) r.inputs[0].push_back({st, path});
}

// The protected input the file with this status is, unless it may be replaced.
std::optional<fs::path> protectedInputFor(const FileStatus& st) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  for (const auto& [id, own] : r.ownFiles) {
    if (own.is(st)) return std::nullopt;
  }
  for (const auto& [id, files] : r.inputs) {
    for (const Identity& file : files) {
      if (file.is(st)) return file.path;
    }
  }
  return std::nullopt;
}

}  // namespace

ProtectedInputs::ProtectedInputs(std::vector<fs::path> files) : files_(std::move(files)) {
  std::vector<Identity> identities;
  for (const fs::path& file : files_) {
    if (auto id = identityOf(file)) identities.push_back(std::move(*id));
  }
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  id_ = r.next++;
  r.inputs[id_] = std::move(identities);
}

ProtectedInputs::~ProtectedInputs() {
  if (id_ == 0) return;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.inputs.erase(id_);
}

ProtectedInputs::ProtectedInputs(ProtectedInputs&& other) noexcept
    : files_(std::move(other.files_)), id_(std::exchange(other.id_, 0)) {}

ProtectedInputs& ProtectedInputs::operator=(ProtectedInputs&& other) noexcept {
  if (this != &other) {
    ProtectedInputs old(std::move(*this));
    files_ = std::move(other.files_);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

ProtectingEveryFileRead::ProtectingEveryFileRead() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  ++r.everyRead;
}

ProtectingEveryFileRead::~ProtectingEveryFileRead() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (--r.everyRead == 0) r.inputs.erase(0);
}

ReplacingOwnFile::ReplacingOwnFile(const fs::path& path) {
  auto id = identityOf(path);
  if (!id) return;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  id_ = r.next++;
  r.ownFiles[id_] = std::move(*id);
}

ReplacingOwnFile::~ReplacingOwnFile() {
  if (id_ == 0) return;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.ownFiles.erase(id_);
}

void writeLinkedFilesInPlace(bool inPlace) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.inPlace = inPlace;
}

namespace {

bool linkedFilesInPlace() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return r.inPlace;
}

// The file a write to target replaces (target itself, or the file a symbolic link names, so
// that the link stays a link), or why target must not be written.

Result<fs::path> outputFile(const fs::path& target) {
  auto refuse = [&](const std::string& why) {
    return Error{"不能写入“" + displayPath(target) + "”：" + why};
  };
  if (auto planted = plantedLinkOnTheWay(target)) {
    std::error_code ec;
    return refuse(*planted == fs::absolute(target, ec).lexically_normal()
                      ? "它是别人在公共文件夹中放的符号链接，不会跟随它写入。"
                      : "路径中的“" + displayPath(*planted) +
                            "”是别人在公共文件夹中放的符号链接，不会跟随它写入。");
  }
  if (target.filename().empty()) return Error{fileErrorMessage("无法写入", target, EISDIR)};
  fs::path real = target;
  FileStatus link;
  if (const int error = linkStatusOf(target, link); error != 0) {
    if (error == ENOENT) return target;  // a new file; a missing folder fails when it is made
    return Error{fileErrorMessage("无法写入", target, error)};
  }
  if (link.symbolicLink) {
    // Planted links on the way, this one included, were refused above.
    std::error_code ec;
    real = fs::canonical(target, ec);
    if (ec) return refuse("它是符号链接，指向的文件不存在。");
  }
  FileStatus st;
  if (const int error = statusOf(real, st); error != 0)
    return Error{fileErrorMessage("无法写入", target, error)};
  if (!st.regular) return refuse("这不是普通文件。");
  if (auto input = protectedInputFor(st)) {
    return refuse("它是读取数据的输入文件“" + displayPath(*input) +
                  "”，写入会毁掉原来的数据。请另选一个文件名。");
  }
  // A file a window has open (its lock file beside it) is written only there.
  for (const fs::path& named : {target, real}) {
    if (auto held = lockedByAnother(named)) return Error{*held};
  }
  if (const int error = writable(real); error != 0) {
    return refuse(error == EROFS ? "只读文件系统。" : "文件是只读的，没有写权限。");
  }
  if (st.links > 1 && !linkedFilesInPlace()) {
    const std::string n = std::to_string(st.links);
    return refuse("它有 " + n + " 个硬链接（同一个文件的 " + n +
                  " 个名字），替换它会使其余的名字仍是旧的内容（命令行可用 --force-in-place 原地改写）。");
  }
  return real;
}

// Writes the complete temporary file into the target itself (a hard-linked target, asked for),
// then removes the temporary file; 0 or the error.
int copyInPlace(const fs::path& temporary, const fs::path& target) {
  auto bytes = readWholeFile(temporary, std::numeric_limits<std::uint64_t>::max());
  removeFile(temporary);
  if (!bytes) return EIO;
  const int fd = openTruncating(target);
  if (fd < 0) return errno;
  int error = writeAll(fd, bytes.value()) ? 0 : errno;
  if (error == 0) error = syncFile(fd);
  if (closeFile(fd) != 0 && error == 0) error = errno;
  return error;
}

}  // namespace

Status checkOutputPath(const fs::path& target) {
  auto real = outputFile(target);
  if (!real) return real.error();
  return Status::success();
}

namespace {

std::string sizeText(std::uint64_t bytes) {
  return bytes >= (1u << 20) ? std::to_string(bytes >> 20) + " MB" : std::to_string(bytes) + " 字节";
}

// Why a file with this status cannot be read as a whole file, empty when it can.
std::string refusalFor(const fs::path& path, const FileStatus& st, std::uint64_t maxBytes) {
  if (st.directory) return fileErrorMessage("无法打开文件", path, EISDIR);
  if (!st.regular) {
    return "无法打开文件“" + displayPath(path) + "”：它不是普通文件（而是设备、管道或套接字）。";
  }
  if (st.size > maxBytes) {
    return "无法打开文件“" + displayPath(path) + "”：文件有 " + sizeText(st.size) + "，超过了 " +
           sizeText(maxBytes) + " 的上限，不像是本程序能读的文件。";
  }
  return {};
}

}  // namespace

std::uint64_t contentHash(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

FileStamp stampOf(const fs::path& path, std::string_view bytes) {
  std::error_code ec;
  return {bytes.size(), fs::last_write_time(path, ec), contentHash(bytes)};
}

std::optional<FileStamp> changedSince(const fs::path& path, const FileStamp& stamp) {
  std::error_code ec;
  const fs::file_time_type modified = fs::last_write_time(path, ec);
  if (ec) return std::nullopt;  // gone: nothing of it can be lost
  const std::uintmax_t size = fs::file_size(path, ec);
  if (!ec && size == stamp.size && modified == stamp.modified) return std::nullopt;
  auto bytes = readWholeFile(path, kMaxProjectFileSize);
  if (!bytes) return FileStamp{ec ? 0 : size, modified, 0};
  FileStamp now{bytes.value().size(), modified, contentHash(bytes.value())};
  if (now.size == stamp.size && now.hash == stamp.hash) return std::nullopt;
  return now;
}

std::time_t toTimeT(fs::file_time_type time) {
  return std::chrono::system_clock::to_time_t(
      std::chrono::file_clock::to_sys(std::chrono::time_point_cast<std::chrono::file_clock::duration>(time)));
}

Status checkInputFile(const fs::path& path, std::uint64_t maxBytes) {
  FileStatus st;
  if (const int error = statusOf(path, st); error != 0)
    return Error{fileErrorMessage("无法打开文件", path, error)};
  if (std::string refusal = refusalFor(path, st, maxBytes); !refusal.empty()) return Error{refusal};
  noteRead(path, st);
  return Status::success();
}

Result<std::string> readWholeFile(const fs::path& path, std::uint64_t maxBytes) {
  int fd = openForReading(path);
  if (fd < 0) return Error{fileErrorMessage("无法打开文件", path, errno)};
  FileStatus st;
  if (const int error = statusOfOpen(fd, st); error != 0) {
    closeFile(fd);
    return Error{fileErrorMessage("无法读取文件", path, error)};
  }
  if (std::string refusal = refusalFor(path, st, maxBytes); !refusal.empty()) {
    closeFile(fd);
    return Error{refusal};
  }
  noteRead(path, st);
  readBlocking(fd);
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(st.size));
  char buffer[1 << 16];
  for (;;) {
    const long n = readSome(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      closeFile(fd);
      return Error{fileErrorMessage("无法读取文件", path, error)};
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {  // the file grew while being read
      closeFile(fd);
      return Error{"无法打开文件“" + displayPath(path) + "”：文件超过了 " + sizeText(maxBytes) + " 的上限。"};
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  closeFile(fd);
  return bytes;
}

namespace {

// The file a write to target replaces: target itself, or the file a symbolic link names, so
// that the link stays a link.
fs::path resolvedTarget(const fs::path& target) {
  std::error_code ec;
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) return resolved;
  }
  return target;
}

constexpr std::string_view kTempMarker = ".tmp";
// A temporary's name, with the zip library's own ".XXXXXX" after it, must fit where the target's
// name fits (255 bytes; on Windows 255 UTF-16 units, never more than the UTF-8 bytes): a long
// target name is cut in the temporary's and a digest of it keeps it apart from its neighbours.
constexpr std::size_t kMaxNameBytes = 255 - 7;
constexpr std::size_t kTempNumbersBytes = 4 + 20 + 1 + 10;  // ".tmp", process id, "-", counter

// The process id and counter of a temporary name's end ("123-4" after the marker), if it is one.
std::optional<long> temporaryProcess(std::string_view rest) {
  const std::size_t dash = rest.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash + 1 == rest.size() ||
      rest.find_first_not_of("0123456789-") != std::string_view::npos ||
      rest.find('-', dash + 1) != std::string_view::npos) {
    return std::nullopt;
  }
  const long pid = std::strtol(std::string(rest.substr(0, dash)).c_str(), nullptr, 10);
  if (pid <= 0) return std::nullopt;
  return pid;
}

// The start of every temporary name beside target: "." + its name + ".tmp". A target that is a
// temporary of this process (a writer that fills a file another makes complete) shares its
// prefix, so that no name grows and every one is found as stale.
std::string temporaryPrefix(const fs::path& target) {
  std::string name = displayPath(target.filename());
  if (const std::size_t marker = name.rfind(kTempMarker);
      name.starts_with(".") && marker != std::string::npos) {
    if (temporaryProcess(std::string_view(name).substr(marker + kTempMarker.size())) == currentProcess())
      return name.substr(0, marker + kTempMarker.size());
  }
  if (1 + name.size() + kTempNumbersBytes > kMaxNameBytes) {
    const std::uint64_t digest = contentHash(name);
    std::size_t cut = kMaxNameBytes - kTempNumbersBytes - 1 - 17;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;  // on a character
    char hex[20];
    std::snprintf(hex, sizeof hex, "~%016llx", static_cast<unsigned long long>(digest));
    name = name.substr(0, cut) + hex;
  }
  return "." + name + std::string(kTempMarker);
}

// Removes temporary files of earlier writes to target whose writer no longer runs (killed in
// the middle of a write), and those the zip library made of them (our name and ".XXXXXX"). The
// name carries the writer's process id; a file of a process that still runs, this one
// included, is left alone.
void removeStaleTemporaries(const fs::path& target) {
  const std::string prefix = temporaryPrefix(target);
  std::error_code ec;
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = displayPath(entry.path().filename());
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string rest = name.substr(prefix.size());
    if (const std::size_t dot = rest.find('.'); dot != std::string::npos) {
      const std::string suffix = rest.substr(dot + 1);
      if (suffix.size() != 6 || std::find_if(suffix.begin(), suffix.end(), [](char c) {
                                  return std::isalnum(static_cast<unsigned char>(c)) == 0;
                                }) != suffix.end()) {
        continue;
      }
      rest.erase(dot);
    }
    const std::optional<long> pid = temporaryProcess(rest);
    if (!pid || *pid == currentProcess()) continue;
    if (processGone(*pid)) removeFile(entry.path());
  }
}

}  // namespace

AtomicFile::~AtomicFile() { discard(); }

Status AtomicFile::open(const fs::path& target) {
  discard();
  error_ = 0;
  inPlace_ = false;
  auto real = outputFile(target);
  if (!real) return real.error();
  target_ = real.value();
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = temporaryPathBeside(target_);
    fd_ = createExclusive(temp_);
    if (fd_ >= 0) break;
    if (errno != EEXIST) {
      int error = errno;
      temp_.clear();
      return Error{fileErrorMessage("无法写入", target, error)};
    }
  }
  if (fd_ < 0) return Error{fileErrorMessage("无法写入", target, EEXIST)};
  if (FileStatus st; statusOf(target_, st) == 0) {
    keepModeAndOwner(fd_, st);
    inPlace_ = st.links > 1;  // allowed by outputFile only when asked for
  }
  return Status::success();
}

void AtomicFile::write(std::string_view bytes) {
  if (fd_ >= 0 && error_ == 0 && !writeAll(fd_, bytes)) error_ = errno;
}

Status AtomicFile::commit() {
  if (fd_ < 0) return Error{fileErrorMessage("无法写入", target_, EBADF)};
  int error = error_;
  if (error == 0) error = syncFile(fd_);
  if (closeFile(fd_) != 0 && error == 0) error = errno;
  fd_ = -1;
  if (error == 0 && inPlace_) {
    error = copyInPlace(temp_, target_);
    temp_.clear();
    return error == 0 ? Status::success() : Status(Error{fileErrorMessage("无法写入", target_, error)});
  }
  if (error == 0) error = replaceFile(temp_, target_);
  if (error != 0) {
    removeFile(temp_);
    temp_.clear();
    return Error{fileErrorMessage("无法写入", target_, error)};
  }
  temp_.clear();
  syncFolderOf(target_);
  return Status::success();
}

void AtomicFile::discard() {
  if (fd_ >= 0) {
    closeFile(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    removeFile(temp_);
    temp_.clear();
  }
}

fs::path temporaryPathBeside(const fs::path& target) {
  static std::atomic<unsigned> counter{0};
  const fs::path real = resolvedTarget(target);
  removeStaleTemporaries(real);
  const fs::path name = pathFromUtf8(temporaryPrefix(real) + std::to_string(currentProcess()) + "-" +
                                     std::to_string(counter++));
  return real.parent_path().empty() ? name : real.parent_path() / name;
}

Result<fs::path> createTemporaryBeside(const fs::path& target) {
  auto real = outputFile(target);
  if (!real) return real.error();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path temp = temporaryPathBeside(real.value());
    const int fd = createExclusive(temp);
    if (fd >= 0) {
      closeFile(fd);
      return temp;
    }
    if (errno != EEXIST) return Error{fileErrorMessage("无法写入", target, errno)};
  }
  return Error{fileErrorMessage("无法写入", target, EEXIST)};
}

Status replaceWithTemporary(const fs::path& temporary, const fs::path& target) {
  auto checked = outputFile(target);
  if (!checked) {
    removeFile(temporary);
    return checked.error();
  }
  const fs::path real = checked.value();
  int error = 0;
  bool inPlace = false;
  // Like AtomicFile: the data on the disk before the rename, and the replaced file's permissions.
  const int fd = openForSyncing(temporary);
  if (fd < 0) {
    error = errno;
  } else {
    if (FileStatus st; statusOf(real, st) == 0) {
      keepModeAndOwner(fd, st);
      inPlace = st.links > 1;
    }
    error = syncFile(fd);
    closeFile(fd);
  }
  if (error == 0 && inPlace) {
    error = copyInPlace(temporary, real);
    return error == 0 ? Status::success() : Status(Error{fileErrorMessage("无法写入", target, error)});
  }
  if (error == 0) error = replaceFile(temporary, real);
  if (error != 0) {
    removeFile(temporary);
    return Error{fileErrorMessage("无法写入", target, error)};
  }
  syncFolderOf(real);
  return Status::success();
}

Status writeFileAtomically(const fs::path& target, std::string_view bytes) {
  AtomicFile file;
  if (Status s = file.open(target); !s) return s;
  file.write(bytes);
  return file.commit();
}

}  // namespace kro
