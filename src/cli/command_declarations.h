// Every kro command and its options, declared once: the parser, the usage texts, the manual page
// and the shell completion are all made from these declarations, so they cannot drift apart.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kro::cli {

// What completes an argument in the shell.
enum class Completion { None, InputFile, CsvFile, RawFile, OutputFile, Folder, Format, Port };

struct OptionDeclaration {
  std::string_view name;      // "--json", "-o"
  std::string_view argument;  // empty for a flag, else what it takes ("DIR", "N")
  std::string_view help;
  Completion completion = Completion::None;
  bool repeatable = false;  // every value counts (--set), not only the last
};

// What every use of a command needs, checked before it runs (with the usage message when missing).
struct CommandDeclaration {
  std::string_view name;
  std::string_view summary;                   // one line
  std::vector<std::string_view> synopses;     // the forms of the command after its name
  Completion inputs = Completion::InputFile;  // what its positional arguments are
  std::vector<OptionDeclaration> options;
  int inputCount = 1;                      // positional arguments every use takes (kAnyInputs: the
                                           // command counts them itself)
  std::string_view requiredOutput;         // what -o names when every use needs it ("输出文件")
  bool readsProject = false;               // its first input is a project, loaded before it runs
  bool reportsFindings = false;            // exit 1 means something was found; failures exit 2
  std::string_view notToStandardOutput{};  // the usage message for "-o -" where no stream will do
};

inline constexpr int kAnyInputs = -1;

// The option that writes hard-linked outputs in place, declared by every command that writes.
inline constexpr std::string_view kForceInPlace = "--force-in-place";

// Every command, in the order the usage lists them.
const std::vector<CommandDeclaration>& commandDeclarations();
// The command of that name; nullptr for none.
const CommandDeclaration* findCommand(std::string_view name);

// The terminal columns a UTF-8 text takes: East Asian characters take two.
std::size_t displayWidth(std::string_view text);

// The program's version, as --version prints it.
std::string versionText();
// The usage of every command (kro --help) and of one (kro COMMAND --help).
std::string usageText();
std::string commandHelp(const CommandDeclaration& declaration);
// The manual page kro.1 (groff, Chinese with an English NAME line) and the bash completion.
std::string manualPage();
std::string bashCompletion();

}  // namespace kro::cli
