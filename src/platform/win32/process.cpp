// Win32 processes, the computer's name and the account; the error numbers of Windows errors.
#include "platform/process.h"

// clang-format off
#include <windows.h>
// clang-format on

#include <cerrno>

#include "base/file_errors.h"
#include "platform/win32/errors.h"

namespace kro::platform {
namespace fs = std::filesystem;

int errnoFor(unsigned long error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
      return EINVAL;
    default:
      return EIO;
  }
}

long currentProcess() { return static_cast<long>(GetCurrentProcessId()); }

bool processGone(long pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
  const bool gone = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return gone;
}

std::string hostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &size) ? displayPath(fs::path(std::wstring(name, size))) : std::string();
}

std::string accountName() {
  wchar_t name[257];
  DWORD size = 257;
  return GetUserNameW(name, &size) && size > 0 ? displayPath(fs::path(std::wstring(name, size - 1)))
                                               : std::string();
}

}  // namespace kro::platform
