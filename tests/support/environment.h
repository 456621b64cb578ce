// Setting and clearing environment variables in tests, on POSIX and on Windows.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "model/file_io.h"

namespace kro::test {

// The folder of the programs and the report templates the build made (KRO_BIN_DIR).
inline std::filesystem::path binDir() {
  const char* dir = std::getenv("KRO_BIN_DIR");
  return dir != nullptr ? pathFromUtf8(dir) : std::filesystem::path(".");
}

inline void setEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
  ::_putenv_s(name, value.c_str());
#else
  ::setenv(name, value.c_str(), 1);
#endif
}

inline void unsetEnvironment(const char* name) {
#ifdef _WIN32
  ::_putenv_s(name, "");
#else
  ::unsetenv(name);
#endif
}

}  // namespace kro::test
