// Whole-file reads and temp-file-and-rename writes (POSIX).
#include "model/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace kro {
namespace fs = std::filesystem;

namespace {

std::string reasonFor(int error) {
  switch (error) {
    case ENOENT:
      return "文件或文件夹不存在";
    case EACCES:
    case EPERM:
      return "没有访问权限";
    case EISDIR:
      return "这是一个文件夹";
    case ENOTDIR:
      return "路径中的某一项不是文件夹";
    case ENOSPC:
      return "磁盘空间不足";
    case EDQUOT:
      return "超出磁盘配额";
    case EROFS:
      return "只读文件系统";
    case EFBIG:
      return "文件过大";
    case EIO:
      return "输入输出错误";
    default:
      return std::strerror(error);
  }
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

std::string displayPath(const fs::path& path) { return path.string(); }

std::string fileErrorMessage(std::string_view action, const fs::path& path, int error) {
  return std::string(action) + "“" + displayPath(path) + "”：" + reasonFor(error) + "。";
}

Result<std::string> readWholeFile(const fs::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Error{fileErrorMessage("无法打开文件", path, errno)};
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return Error{fileErrorMessage("无法打开文件", path, EISDIR)};
  }
  std::string bytes;
  if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      ::close(fd);
      return Error{fileErrorMessage("无法读取文件", path, error)};
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

AtomicFile::~AtomicFile() { discard(); }

Status AtomicFile::open(const fs::path& target) {
  discard();
  error_ = 0;
  target_ = target;
  // Write through a symbolic link to the file it names, keeping the link.
  std::error_code ec;
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::canonical(target, ec);
    if (!ec) target_ = resolved;
  }
  if (target_.filename().empty()) return Error{fileErrorMessage("无法写入", target, EISDIR)};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = temporaryPathBeside(target_);
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) break;
    if (errno != EEXIST) {
      int error = errno;
      temp_.clear();
      return Error{fileErrorMessage("无法写入", target, error)};
    }
  }
  if (fd_ < 0) return Error{fileErrorMessage("无法写入", target, EEXIST)};
  // A replaced file keeps its permissions.
  struct stat st {};
  if (::stat(target_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      discard();
      return Error{fileErrorMessage("无法写入", target, EISDIR)};
    }
    ::fchmod(fd_, st.st_mode & 07777);
  }
  return Status::success();
}

void AtomicFile::write(std::string_view bytes) {
  if (fd_ >= 0 && error_ == 0 && !writeAll(fd_, bytes)) error_ = errno;
}

Status AtomicFile::commit() {
  if (fd_ < 0) return Error{fileErrorMessage("无法写入", target_, EBADF)};
  int error = error_;
  if (error == 0 && ::fsync(fd_) != 0) error = errno;
  if (::close(fd_) != 0 && error == 0) error = errno;
  fd_ = -1;
  if (error == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp_.c_str());
    temp_.clear();
    return Error{fileErrorMessage("无法写入", target_, error)};
  }
  temp_.clear();
  // Make the rename itself durable.
  fs::path folder = target_.parent_path();
  int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return Status::success();
}

void AtomicFile::discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

fs::path temporaryPathBeside(const fs::path& target) {
  static std::atomic<unsigned> counter{0};
  const std::string name = "." + target.filename().string() + ".tmp" + std::to_string(::getpid()) + "-" +
                           std::to_string(counter++);
  return target.parent_path().empty() ? fs::path(name) : target.parent_path() / name;
}

Status replaceWithTemporary(const fs::path& temporary, const fs::path& target) {
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return Error{fileErrorMessage("无法写入", target, error)};
  }
  return Status::success();
}

Status writeFileAtomically(const fs::path& target, std::string_view bytes) {
  AtomicFile file;
  if (Status s = file.open(target); !s) return s;
  file.write(bytes);
  return file.commit();
}

}  // namespace kro
