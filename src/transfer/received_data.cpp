// Keeping and reading received bytes.
#include "transfer/received_data.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <functional>

#include "model/file_io.h"

namespace kro {
namespace fs = std::filesystem;

namespace {

std::string extensionOf(TransferLayout layout) { return layout == TransferLayout::Usb ? ".usb" : ".serial"; }

#ifdef _WIN32
// Windows: a rename that never replaces gives the complete bytes their name; read-only is the
// file's attribute.
Result<fs::path> keepUnderFreeName(const fs::path& temporary, const std::function<fs::path(int)>& nameFor) {
  SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_READONLY);
  for (int n = 1; n < 1000; ++n) {
    const fs::path name = nameFor(n);
    if (MoveFileExW(temporary.c_str(), name.c_str(), MOVEFILE_WRITE_THROUGH)) return name;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) continue;
    SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(temporary.c_str());
    return Error{fileErrorMessage("无法写入", name, error == ERROR_ACCESS_DENIED ? EACCES : EIO)};
  }
  SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(temporary.c_str());
  return Error{"无法写入“" + displayPath(nameFor(1)) + "”：同一秒的原始数据文件太多。"};
}
#endif

}  // namespace

Result<fs::path> keepReceivedBytes(const fs::path& destination, TransferLayout layout, std::string_view bytes,
                                   const std::tm& localTime, bool hardLinks) {
  const fs::path folder = destination.parent_path() / pathFromUtf8(kReceivedFolderName);
  // Only the folder itself: a destination whose folder is missing fails on its own.
  std::error_code ec;
  fs::create_directory(folder, ec);
  if (ec) return Error{fileErrorMessage("无法创建文件夹", folder, ec.value())};
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &localTime);
  auto nameFor = [&](int n) {
    return n == 1 ? folder / (std::string(stamp) + extensionOf(layout))
                  : folder / (std::string(stamp) + "-" + std::to_string(n) + extensionOf(layout));
  };
#ifdef _WIN32
  (void)hardLinks;
  const fs::path temporary = temporaryPathBeside(nameFor(1));
  if (Status written = writeFileAtomically(temporary, bytes); !written) return Error{written.message()};
  return keepUnderFreeName(temporary, nameFor);
#else
  // The complete bytes under a temporary name first; a hard link then gives them their name
  // only if nothing has it, so no kept file is ever replaced.
  fs::path temporary;
  if (hardLinks) {
    temporary = temporaryPathBeside(nameFor(1));
    if (Status written = writeFileAtomically(temporary, bytes); !written) return Error{written.message()};
    ::chmod(temporary.c_str(), 0444);
  }
  for (int n = 1; n < 1000; ++n) {
    const fs::path name = nameFor(n);
    if (!temporary.empty()) {
      if (::link(temporary.c_str(), name.c_str()) == 0) {
        ::unlink(temporary.c_str());
        return name;
      }
      if (errno == EEXIST) continue;
      const int error = errno;
      ::unlink(temporary.c_str());
      temporary.clear();
      // No hard links on this filesystem: the name is created exclusively instead.
      if (error != EPERM && error != EOPNOTSUPP && error != ENOSYS && error != EMLINK) {
        return Error{fileErrorMessage("无法写入", name, error)};
      }
    }
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0444);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return Error{fileErrorMessage("无法写入", name, errno)};
    }
    int error = 0;
    for (std::string_view rest = bytes; error == 0 && !rest.empty();) {
      const ssize_t written = ::write(fd, rest.data(), rest.size());
      if (written < 0 && errno != EINTR) error = errno;
      if (written > 0) rest.remove_prefix(static_cast<std::size_t>(written));
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) {
      ::unlink(name.c_str());  // never a part of the bytes under the name
      return Error{fileErrorMessage("无法写入", name, error)};
    }
    return name;
  }
  if (!temporary.empty()) ::unlink(temporary.c_str());
  return Error{"无法写入“" + displayPath(nameFor(1)) + "”：同一秒的原始数据文件太多。"};
#endif
}

bool isReceivedBytesFile(const fs::path& path) {
  const std::string extension = displayPath(path.extension());
  return extension == ".serial" || extension == ".usb";
}

}  // namespace kro
