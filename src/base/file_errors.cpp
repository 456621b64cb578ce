// Error numbers and paths in the user's words.
#include "base/file_errors.h"

#include <cerrno>

namespace kro {
namespace fs = std::filesystem;

std::string fileErrorReason(int error) {
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
#ifdef EDQUOT
    case EDQUOT:
      return "超出磁盘配额";
#endif
    case EROFS:
      return "只读文件系统";
    case EFBIG:
      return "文件过大";
    case EIO:
      return "输入输出错误";
    case EEXIST:
      return "文件已存在";
    case ENAMETOOLONG:
      return "文件名过长";
#ifdef ELOOP
    case ELOOP:
      return "符号链接层数过多";
#endif
    case EMFILE:
    case ENFILE:
      return "打开的文件过多";
    case ENXIO:
    case ENODEV:
      return "设备不存在或已断开";
    case EBUSY:
#ifdef ETXTBSY
    case ETXTBSY:
#endif
      return "文件正被使用";
    case EXDEV:
      return "不能跨文件系统移动文件";
    case EINVAL:
      return "文件名或参数无效";
    case EBADF:
      return "文件没有打开";
    default:
      // No system text: those are English; the number lets a technician look it up.
      return "系统错误（错误号 " + std::to_string(error) + "）";
  }
}

std::string fileErrorMessage(std::string_view action, const fs::path& path, int error) {
  return std::string(action) + "“" + displayPath(path) + "”：" + fileErrorReason(error) + "。";
}

fs::path pathFromUtf8(std::string_view text) { return fs::path(std::u8string(text.begin(), text.end())); }

std::string displayPath(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace kro
