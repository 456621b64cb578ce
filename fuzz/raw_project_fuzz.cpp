// Fuzz target: a raw project's lookup of member data files from an arbitrary index file, in a
// folder holding a few data files (in several letter cases) beside a file outside it. Nothing
// outside the folder is ever read, and every member file read is listed once.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string_view>

#include "model/raw_files.h"

namespace {

namespace fs = std::filesystem;

fs::path folder() {
  static const fs::path made = [] {
    const fs::path root = fs::temp_directory_path() / ("kro-raw-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(root / "p");
    auto put = [](const fs::path& path, const std::string& code, int readings) {
      kro::MemberData d;
      d.code = code;
      d.designThickness = 120;
      d.readings.assign(static_cast<std::size_t>(readings), kro::Reading{0, 120, 0});
      std::ofstream(path, std::ios::binary)
          << kro::encodeMemberDataFile(kro::MemberRecord(std::move(d))).value();
    };
    put(root / "p" / "A001.DAT", "A001", 20);
    put(root / "p" / "b002.dat", "B002", 3);
    put(root / "p" / "C003.Dat", "C003", 0);
    put(root / "OUT.DAT", "OUT", 1);
    return root / "p";
  }();
  return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const fs::path dir = folder();
  auto project = kro::readRawProject(dir / "P.DEX", bytes);
  if (!project) return 0;
  std::set<fs::path> seen;
  for (const fs::path& file : project.value().memberFiles) {
    if (file.parent_path() != dir) std::abort();
    if (!seen.insert(file).second) std::abort();
  }
  for (const kro::MemberRecord& m : project.value().members) {
    if (m.code() == "OUT") std::abort();
  }
  for (const std::string& warning : project.value().warnings) {
    if (warning.size() > 4096) std::abort();  // long lists are summarised
  }
  return 0;
}
