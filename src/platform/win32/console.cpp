#include "platform/console.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace kro::platform {

bool isTerminal(StandardStream stream) {
  return ::_isatty(::_fileno(stream == StandardStream::Output ? stdout : stderr)) != 0;
}

bool withoutDisplay() { return false; }

bool systemFileDialogs() { return true; }

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
