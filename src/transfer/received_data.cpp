// Keeping and reading received bytes.
#include "transfer/received_data.h"

#include <cerrno>
#include <functional>

#include "model/file_io.h"
#include "platform/file_system.h"

namespace kro {
namespace fs = std::filesystem;

namespace {

std::string extensionOf(TransferLayout layout) { return layout == TransferLayout::Usb ? ".usb" : ".serial"; }

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
  // The complete bytes under a temporary name first, read-only; they then get their name only
  // if nothing has it, so no kept file is ever replaced.
  fs::path temporary;
  if (hardLinks) {
    temporary = temporaryPathBeside(nameFor(1));
    if (Status written = writeFileAtomically(temporary, bytes); !written) return Error{written.message()};
    platform::makeReadOnly(temporary);
  }
  for (int n = 1; n < 1000; ++n) {
    const fs::path name = nameFor(n);
    if (!temporary.empty()) {
      const int error = platform::moveWithoutReplacing(temporary, name);
      if (error == 0) return name;
      if (error == EEXIST) continue;
      platform::removeFile(temporary);
      temporary.clear();
      // Where the file system cannot, the name is created exclusively instead.
      if (error != ENOTSUP) return Error{fileErrorMessage("无法写入", name, error)};
    }
    const int fd = platform::createExclusive(name, true);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return Error{fileErrorMessage("无法写入", name, errno)};
    }
    int error = 0;
    for (std::string_view rest = bytes; error == 0 && !rest.empty();) {
      const long written = platform::writeSome(fd, rest.data(), rest.size());
      if (written < 0 && errno != EINTR) error = errno;
      if (written > 0) rest.remove_prefix(static_cast<std::size_t>(written));
    }
    if (error == 0) error = platform::syncFile(fd);
    if (platform::closeFile(fd) != 0 && error == 0) error = errno;
    if (error != 0) {
      platform::removeFile(name);  // never a part of the bytes under the name
      return Error{fileErrorMessage("无法写入", name, error)};
    }
    return name;
  }
  if (!temporary.empty()) platform::removeFile(temporary);
  return Error{"无法写入“" + displayPath(nameFor(1)) + "”：同一秒的原始数据文件太多。"};
}

bool isReceivedBytesFile(const fs::path& path) {
  const std::string extension = displayPath(path.extension());
  return extension == ".serial" || extension == ".usb";
}

}  // namespace kro
