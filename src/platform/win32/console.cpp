#include "platform/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace kro::platform {

bool isTerminal(StandardStream stream) {
  return ::_isatty(::_fileno(stream == StandardStream::Output ? stdout : stderr)) != 0;
}

bool withoutDisplay() { return false; }

std::optional<std::string> readSecret(std::string_view prompt) {
  HANDLE in = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return std::nullopt;
  HANDLE out = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  auto say = [&](std::string_view text) {
    if (out == INVALID_HANDLE_VALUE) return;
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    DWORD written = 0;
    ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  };
  say(prompt);
  DWORD mode = 0;
  const bool console = ::GetConsoleMode(in, &mode) != 0;
  if (console) ::SetConsoleMode(in, (mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT);
  wchar_t buffer[1024];
  DWORD read = 0;
  const bool ok = console && ::ReadConsoleW(in, buffer, 1023, &read, nullptr) != 0;
  if (console) ::SetConsoleMode(in, mode);
  say("\n");
  ::CloseHandle(in);
  if (out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
  if (!ok) return std::nullopt;
  std::wstring line(buffer, read);
  while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0,
                                      nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), utf8.data(), n, nullptr,
                        nullptr);
  return utf8;
}

bool systemFileDialogs() { return true; }

bool iconInExecutable() { return true; }

SilencedErrorStream::SilencedErrorStream() {
  std::fflush(stderr);
  saved_ = ::_dup(::_fileno(stderr));
  const int null = ::_open("NUL", _O_WRONLY | _O_NOINHERIT);
  if (null >= 0) {
    ::_dup2(null, ::_fileno(stderr));
    ::_close(null);
  }
}

SilencedErrorStream::~SilencedErrorStream() {
  std::fflush(stderr);
  if (saved_ >= 0) {
    ::_dup2(saved_, ::_fileno(stderr));
    ::_close(saved_);
  }
}

}  // namespace kro::platform
