// Win32 serial ports: the line set up with SetCommState; overlapped reads of what is queued
// (the link polls, a read never waits) and writes bounded by the line's write timeout. The
// ports Windows lists.
#include "platform/serial_port.h"

// clang-format off
#include <windows.h>
// clang-format on

#include <algorithm>

#include "base/file_errors.h"

namespace kro::platform {
namespace {

HANDLE handleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// The system's reason in the user's words.
std::string reasonFor(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "没有这个串口，请检查连接线或另选一个串口";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return "串口正被另一个程序使用";
    case ERROR_INVALID_PARAMETER:
    case ERROR_NOT_SUPPORTED:
      return "这个设备不是串口，或不支持 2400 波特 8N1";
    case ERROR_DEVICE_REMOVED:
    case ERROR_BAD_COMMAND:
    case ERROR_OPERATION_ABORTED:
    case ERROR_GEN_FAILURE:
      return "设备已断开";
    default:
      return "系统错误（错误号 " + std::to_string(error) + "）";
  }
}

// UTF-16 to UTF-8 as the program turns every system name into text.
std::string utf8Of(const wchar_t* text, DWORD length) {
  return displayPath(std::filesystem::path(std::wstring(text, length)));
}

// COM10 after COM9: by the number after "COM", then by name.
unsigned comNumber(const std::string& name) {
  if (name.size() < 4 || name.compare(0, 3, "COM") != 0) return ~0u;
  unsigned n = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || n > 100000) return ~0u;
    n = n * 10 + static_cast<unsigned>(name[i] - '0');
  }
  return n;
}

std::wstring devicePathOf(const std::string& name) {
  const std::string device = name.rfind("\\\\.\\", 0) == 0 ? name : "\\\\.\\" + name;
  return pathFromUtf8(device).wstring();
}

}  // namespace

Status SystemSerialPort::open(const std::string& name, const SerialLineSettings& settings) {
  close();
  failure_.clear();
  HANDLE handle = CreateFileW(devicePathOf(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Error{reasonFor(GetLastError())};
  handle_ = reinterpret_cast<std::intptr_t>(handle);
  writeTimeoutMs_ = settings.writeTimeoutMs;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  COMMTIMEOUTS timeouts{};
  // A read returns at once with what is queued; a write gives up after the line's timeout.
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(settings.writeTimeoutMs);
  const bool configured =
      GetCommState(handle, &dcb) &&
      [&] {
        dcb.BaudRate = static_cast<DWORD>(settings.baudRate);
        dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
        dcb.Parity = settings.parity == 'E' ? EVENPARITY : settings.parity == 'O' ? ODDPARITY : NOPARITY;
        dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = settings.parity != 'N';
        dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fOutX = dcb.fInX = FALSE;
        return SetCommState(handle, &dcb) != 0;
      }() &&
      SetupComm(handle, static_cast<DWORD>(settings.inputQueue), static_cast<DWORD>(settings.outputQueue)) &&
      SetCommTimeouts(handle, &timeouts) && PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
  if (!configured) {
    const DWORD error = GetLastError();
    close();
    return Error{reasonFor(error)};
  }
  return Status::success();
}

void SystemSerialPort::close() {
  if (handle_ != -1) CloseHandle(handleOf(handle_));
  handle_ = -1;
}

namespace {

// One overlapped read or write, waited for: 0 and the count it moved, or the Windows error.
DWORD transfer(HANDLE handle, bool writing, char* data, std::size_t size, std::size_t& moved) {
  moved = 0;
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (overlapped.hEvent == nullptr) return GetLastError();
  const DWORD length = static_cast<DWORD>(std::min<std::size_t>(size, 1 << 20));
  DWORD done = 0;
  BOOL ok = writing ? WriteFile(handle, data, length, &done, &overlapped)
                    : ReadFile(handle, data, length, &done, &overlapped);
  if (!ok && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(handle, &overlapped, &done, TRUE);
  const DWORD error = ok ? 0 : GetLastError();
  CloseHandle(overlapped.hEvent);
  if (error == 0) moved = done;
  return error;
}

}  // namespace

void SystemSerialPort::fail(unsigned long error) {
  if (failure_.empty()) failure_ = reasonFor(error);
}

std::size_t SystemSerialPort::bytesQueued() {
  if (handle_ == -1) return 0;
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(handleOf(handle_), &errors, &status)) {
    fail(GetLastError());
    return 0;
  }
  return status.cbInQue;
}

std::size_t SystemSerialPort::read(char* buffer, std::size_t max) {
  // Only what is queued, so that the read completes at once.
  const std::size_t queued = std::min(bytesQueued(), max);
  std::size_t got = 0;
  if (queued == 0) return 0;
  if (const DWORD error = transfer(handleOf(handle_), false, buffer, queued, got); error != 0) {
    fail(error);
    return 0;
  }
  return got;
}

bool SystemSerialPort::write(std::string_view bytes) {
  if (handle_ == -1) return false;
  while (!bytes.empty()) {
    std::string chunk(bytes.substr(0, 1 << 20));
    std::size_t written = 0;
    if (const DWORD error = transfer(handleOf(handle_), true, chunk.data(), chunk.size(), written);
        error != 0) {
      fail(error);
      return false;
    }
    if (written == 0) return false;  // the write timeout passed
    bytes.remove_prefix(written);
  }
  return true;
}

std::string serialDevicePath(std::string_view portName) { return std::string(portName); }

std::string_view typedPortHint() { return "端口名（例如 COM7）"; }

// The ports Windows lists under HARDWARE\DEVICEMAP\SERIALCOMM: each value names a driver's
// device ("\Device\Serial0", "\Device\VCP0") and holds its port name ("COM3").
std::vector<SerialPortEntry> listSerialPorts() {
  std::vector<SerialPortEntry> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return ports;
  for (DWORD index = 0;; ++index) {
    wchar_t device[256];
    wchar_t port[64];
    DWORD deviceLength = 256, portBytes = sizeof port, type = 0;
    const LONG status = RegEnumValueW(key, index, device, &deviceLength, nullptr, &type,
                                      reinterpret_cast<BYTE*>(port), &portBytes);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    DWORD portLength = portBytes / sizeof(wchar_t);
    while (portLength > 0 && port[portLength - 1] == L'\0') --portLength;
    SerialPortEntry entry;
    entry.path = utf8Of(port, portLength);
    const std::string driver = utf8Of(device, deviceLength);
    // "\Device\Serial0" says nothing a user knows; an adapter's driver name ("VCP0") may.
    if (driver.find("\\Serial") == std::string::npos) entry.description = driver;
    if (!entry.path.empty()) ports.push_back(std::move(entry));
  }
  RegCloseKey(key);
  std::sort(ports.begin(), ports.end(), [](const SerialPortEntry& a, const SerialPortEntry& b) {
    return std::pair(comNumber(a.path), a.path) < std::pair(comNumber(b.path), b.path);
  });
  return ports;
}

}  // namespace kro::platform
