// POSIX file calls.
#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <vector>

namespace kro::platform {
namespace fs = std::filesystem;

namespace {

FileStatus statusFrom(const struct stat& st) {
  FileStatus status;
  status.dev = st.st_dev;
  status.ino = st.st_ino;
  status.size = static_cast<std::uint64_t>(st.st_size);
  status.links = st.st_nlink;
  status.regular = S_ISREG(st.st_mode);
  status.directory = S_ISDIR(st.st_mode);
  status.symbolicLink = S_ISLNK(st.st_mode);
  status.mode = st.st_mode & 07777;
  status.uid = st.st_uid;
  status.gid = st.st_gid;
  return status;
}

}  // namespace

int statusOf(const fs::path& path, FileStatus& status) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  status = statusFrom(st);
  return 0;
}

int linkStatusOf(const fs::path& path, FileStatus& status) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno;
  status = statusFrom(st);
  return 0;
}

int statusOfOpen(int fd, FileStatus& status) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return errno;
  status = statusFrom(st);
  return 0;
}

// Non-blocking, so that opening a FIFO does not wait for a writer.
int openForReading(const fs::path& path) {
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
}
void readBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK); }
int createExclusive(const fs::path& path, bool readOnly) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, readOnly ? 0444 : 0666);
}
int openTruncating(const fs::path& path) { return ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC); }
int openForSyncing(const fs::path& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }
long writeSome(int fd, const char* data, std::size_t size) {
  return static_cast<long>(::write(fd, data, std::min<std::size_t>(size, 1u << 30)));
}
long readSome(int fd, char* data, std::size_t size) {
  return static_cast<long>(::read(fd, data, std::min<std::size_t>(size, 1u << 30)));
}
int closeFile(int fd) { return ::close(fd); }
int syncFile(int fd) { return ::fsync(fd) == 0 ? 0 : errno; }
void removeFile(const fs::path& path) { ::unlink(path.c_str()); }

void syncFolderOf(const fs::path& file) {
  const fs::path folder = file.parent_path();
  int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

int replaceFile(const fs::path& from, const fs::path& target) {
  return ::rename(from.c_str(), target.c_str()) == 0 ? 0 : errno;
}

// A hard link gives the name only if nothing has it; rename would replace.
int moveWithoutReplacing(const fs::path& from, const fs::path& to) {
  if (::link(from.c_str(), to.c_str()) != 0) {
    const int error = errno;
    if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK) return ENOTSUP;
    return error;
  }
  ::unlink(from.c_str());
  return 0;
}

// access() rather than the mode bits, so that root is not refused.
int writable(const fs::path& path) { return ::access(path.c_str(), W_OK) == 0 ? 0 : errno; }

void keepModeAndOwner(int fd, const FileStatus& replaced) {
  ::fchmod(fd, replaced.mode);
  if (::geteuid() == 0 && ::fchown(fd, replaced.uid, replaced.gid) != 0) {
    // The owner stays root's; the permissions are kept all the same.
  }
}

void makeReadOnly(const fs::path& path) { ::chmod(path.c_str(), 0444); }

void hideFile(const fs::path&) {}  // the leading dot hides it

namespace {

// A symbolic link the kernel would not follow for this user: one in a sticky folder anyone may
// write to, owned neither by this user nor by the folder's owner.
bool plantedLink(const fs::path& link, const struct stat& linkStatus) {
  const fs::path folder = link.parent_path().empty() ? fs::path(".") : link.parent_path();
  struct stat dir {};
  return ::stat(folder.c_str(), &dir) == 0 && (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0 &&
         linkStatus.st_uid != ::geteuid() && linkStatus.st_uid != dir.st_uid;
}

}  // namespace

std::optional<fs::path> plantedLinkOnTheWay(const fs::path& target) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(target, ec);
  if (ec) return std::nullopt;
  const fs::path relative = absolute.relative_path();
  std::vector<fs::path> rest(relative.begin(), relative.end());
  std::reverse(rest.begin(), rest.end());  // the next component last
  fs::path resolved = absolute.root_path();
  for (int links = 0; !rest.empty();) {
    const fs::path part = rest.back();
    rest.pop_back();
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      resolved = resolved.parent_path();
      continue;
    }
    const fs::path next = resolved / part;
    struct stat st {};
    if (::lstat(next.c_str(), &st) != 0) return std::nullopt;  // nothing further to follow
    if (!S_ISLNK(st.st_mode)) {
      resolved = next;
      continue;
    }
    if (plantedLink(next, st)) return next;
    if (++links > 40) return std::nullopt;  // a loop: the write fails on its own
    const fs::path to = fs::read_symlink(next, ec);
    if (ec) return std::nullopt;
    if (to.is_absolute()) resolved = to.root_path();
    const fs::path toRelative = to.relative_path();
    std::vector<fs::path> parts(toRelative.begin(), toRelative.end());
    rest.insert(rest.end(), parts.rbegin(), parts.rend());
  }
  return std::nullopt;
}

void reportOversizedWritesAsFailures() { std::signal(SIGXFSZ, SIG_IGN); }

bool folderWritable(const fs::path& folder) { return ::access(folder.c_str(), W_OK) == 0; }

bool onNetworkFileSystem(const fs::path& path) {
  std::error_code ec;
  fs::path at = fs::absolute(path, ec);
  while (!at.empty() && !fs::exists(at, ec) && at.has_parent_path() && at.parent_path() != at)
    at = at.parent_path();
  struct statfs info {};
  if (::statfs(at.c_str(), &info) != 0) return false;
  // The magic numbers of linux/magic.h: NFS, SMB, CIFS, SMB2, FUSE (sshfs and the like), Coda, AFS, 9p.
  constexpr unsigned long kNetwork[] = {0x6969,     0x517B,     0xFF534D42, 0xFE534D42,
                                        0x65735546, 0x73757245, 0x5346414F, 0x01021997};
  const auto type = static_cast<unsigned long>(info.f_type);
  return std::find(std::begin(kNetwork), std::end(kNetwork), type) != std::end(kNetwork);
}

}  // namespace kro::platform
