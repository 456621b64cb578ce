// Win32 file calls, on the C runtime's descriptors with wide names.
#include "platform/file_system.h"

// clang-format off
#include <windows.h>
// clang-format on
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "platform/win32/errors.h"

namespace kro::platform {
namespace fs = std::filesystem;

namespace {

FileStatus statusOfHandle(HANDLE handle) {
  FileStatus status;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info)) {
    status.dev = info.dwVolumeSerialNumber;
    status.ino = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    status.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    status.links = info.nNumberOfLinks;
    status.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    status.regular = !status.directory;
  }
  return status;  // a device, pipe or console: neither regular nor a folder
}

constexpr int kBinary = _O_BINARY | _O_NOINHERIT;

}  // namespace

int statusOf(const fs::path& path, FileStatus& status) {
  HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return errnoFor(GetLastError());
  status = statusOfHandle(handle);
  CloseHandle(handle);
  return 0;
}

// Links are followed as the system opens them.
int linkStatusOf(const fs::path& path, FileStatus& status) { return statusOf(path, status); }

int statusOfOpen(int fd, FileStatus& status) {
  const intptr_t handle = _get_osfhandle(fd);
  if (handle == -1) return EBADF;
  status = statusOfHandle(reinterpret_cast<HANDLE>(handle));
  return 0;
}

int openForReading(const fs::path& path) { return ::_wopen(path.c_str(), _O_RDONLY | kBinary); }
void readBlocking(int) {}
int createExclusive(const fs::path& path, bool readOnly) {
  return ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | kBinary,
                  readOnly ? _S_IREAD : _S_IREAD | _S_IWRITE);
}
int openTruncating(const fs::path& path) { return ::_wopen(path.c_str(), _O_WRONLY | _O_TRUNC | kBinary); }
// Windows flushes only what may be written.
int openForSyncing(const fs::path& path) { return ::_wopen(path.c_str(), _O_WRONLY | kBinary); }
long writeSome(int fd, const char* data, std::size_t size) {
  return ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
long readSome(int fd, char* data, std::size_t size) {
  return ::_read(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
int closeFile(int fd) { return ::_close(fd); }
int syncFile(int fd) { return ::_commit(fd) == 0 ? 0 : errno; }
void removeFile(const fs::path& path) {
  // A read-only file too; its attribute comes back when it cannot be removed.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly) SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (::_wunlink(path.c_str()) != 0 && readOnly) SetFileAttributesW(path.c_str(), attributes);
}
void syncFolderOf(const fs::path&) {}  // the replacement is written through

int replaceFile(const fs::path& from, const fs::path& target) {
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (!MoveFileExW(from.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return errnoFor(GetLastError());
  }
  constexpr DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kept) != 0) {
    SetFileAttributesW(target.c_str(), attributes & kept);
  }
  return 0;
}

// A rename without MOVEFILE_REPLACE_EXISTING never replaces.
int moveWithoutReplacing(const fs::path& from, const fs::path& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return 0;
  return errnoFor(GetLastError());
}

// Read-only files are refused as on POSIX.
int writable(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return errnoFor(GetLastError());
  return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? EACCES : 0;
}

void keepModeAndOwner(int, const FileStatus&) {}  // no POSIX permissions; see replaceFile

void makeReadOnly(const fs::path& path) { SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY); }

void hideFile(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES)
    SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
}

std::optional<fs::path> plantedLinkOnTheWay(const fs::path&) { return std::nullopt; }

void reportOversizedWritesAsFailures() {}  // no file-size signal

bool folderWritable(const fs::path& folder) { return ::_waccess(folder.c_str(), 2) == 0; }

bool onNetworkFileSystem(const fs::path& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  const std::wstring text = absolute.native();
  if (text.rfind(L"\\\\", 0) == 0 && text.rfind(L"\\\\?\\", 0) != 0) return true;  // \\server\share
  if (text.rfind(L"\\\\?\\UNC\\", 0) == 0) return true;
  const std::wstring root = absolute.root_path().native();
  return !root.empty() && ::GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
}

}  // namespace kro::platform
