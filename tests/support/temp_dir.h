// A temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <concepts>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include "model/file_io.h"

namespace kro::test {

class TempDir {
 public:
  TempDir() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("kro-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // name in UTF-8, as every text of the program.
  std::filesystem::path operator/(std::string_view name) const { return path_ / pathFromUtf8(name); }
  template <typename Path>
  requires std::same_as<Path, std::filesystem::path> std::filesystem::path operator/(const Path& name) const {
    return path_ / name;
  }

 private:
  std::filesystem::path path_;
};

inline void writeBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Number of entries in a folder (to see that no temporary file was left behind).
inline int entryCount(const std::filesystem::path& folder) {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

}  // namespace kro::test
