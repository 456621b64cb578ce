// Keeping and reading received bytes.
#include "transfer/received_data.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "model/file_io.h"

namespace kro {
namespace fs = std::filesystem;

namespace {

std::string extensionOf(TransferLayout layout) { return layout == TransferLayout::Usb ? ".usb" : ".serial"; }

}  // namespace

Result<fs::path> keepReceivedBytes(const fs::path& destination, TransferLayout layout, std::string_view bytes,
                                   const std::tm& localTime) {
  const fs::path folder = destination.parent_path() / std::string(kReceivedFolderName);
  // Only the folder itself: a destination whose folder is missing fails on its own.
  std::error_code ec;
  fs::create_directory(folder, ec);
  if (ec) return Error{fileErrorMessage("无法创建文件夹", folder, ec.value())};
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &localTime);
  // The complete bytes under a temporary name first; a hard link then gives them their name
  // only if nothing has it, so no kept file is ever replaced.
  const fs::path first = folder / (std::string(stamp) + extensionOf(layout));
  const fs::path temporary = temporaryPathBeside(first);
  if (Status written = writeFileAtomically(temporary, bytes); !written) return Error{written.message()};
  ::chmod(temporary.c_str(), 0444);
  for (int n = 1; n < 1000; ++n) {
    const fs::path name =
        n == 1 ? first : folder / (std::string(stamp) + "-" + std::to_string(n) + extensionOf(layout));
    if (::link(temporary.c_str(), name.c_str()) == 0) {
      ::unlink(temporary.c_str());
      return name;
    }
    if (errno != EEXIST) {
      const int error = errno;
      ::unlink(temporary.c_str());
      return Error{fileErrorMessage("无法写入", name, error)};
    }
  }
  ::unlink(temporary.c_str());
  return Error{"无法写入“" + displayPath(first) + "”：同一秒的原始数据文件太多。"};
}

bool isReceivedBytesFile(const fs::path& path) {
  const std::string extension = path.extension().string();
  return extension == ".serial" || extension == ".usb";
}

}  // namespace kro
