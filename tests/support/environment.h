// Setting and clearing environment variables in tests, on POSIX and on Windows.
#pragma once

#include <cstdlib>
#include <string>

namespace kro::test {

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
