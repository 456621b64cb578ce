// Writes the manual page kro.1 and the bash completion of kro into a folder, from the commands'
// declarations; run by the build.
#include <fstream>
#include <iostream>
#include <string>

#include "cli/command_declarations.h"

namespace {

bool write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: kro-docgen FOLDER\n";
    return 2;
  }
  const std::string folder = argv[1];
  const bool written = write(folder + "/kro.1", kro::cli::manualPage()) &&
                       write(folder + "/kro.bash-completion", kro::cli::bashCompletion());
  if (!written) std::cerr << "kro-docgen: cannot write into " << folder << "\n";
  return written ? 0 : 1;
}
