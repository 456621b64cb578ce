// What every kro command shares: its streams, the exit statuses, loading an input with its
// warnings, and texts made safe for the terminal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "base/result.h"
#include "cli/arguments.h"
#include "cli/command_declarations.h"
#include "model/project.h"
#include "report/user_format.h"
#include "settings/program_paths.h"

namespace kro::cli {

// Fields keep their order.
using Json = nlohmann::ordered_json;

// Every JSON output says its layout first: 2 since readings are objects and totals say whose.
inline constexpr int kJsonFormatVersion = 2;
// A JSON object beginning with the format version.
Json jsonOutput();
// The JSON as one line of UTF-8: bytes of texts that are no UTF-8 shown as \xHH.
std::string jsonText(Json j);
// Reading and pass counts and the pass rate as a fraction (absent without readings), the inner
// names of "totals": {"all": …, "ticked": …}.
Json countsJson(std::int64_t readingCount, std::int64_t passCount);

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 2;

struct Context {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  const CommandDeclaration& declaration;  // the command being run

  // The message on one line and where the usage is on the next, on the error stream; returns
  // kUsage.
  int usage(const std::string& message) const;
  // The message on one line on the error stream; returns kFailure (kUsage for a command whose
  // exit 1 means it found something).
  int fail(const std::string& message) const;
};

// One use of a command, as its declaration asks: the options parsed, the inputs counted, -o given
// where every use needs it, and the project loaded (its warnings shown) for a command that reads
// one. Every file name is UTF-8 here; load, readInput and writeOutput make paths of them.
struct Invocation {
  Arguments args;
  std::string output;                    // -o; empty when not given
  std::optional<LoadedProject> project;  // the first input, for a command that reads a project

  const std::vector<std::string>& inputs() const { return args.positional(); }
  Project& loaded() { return project->project; }
};

// The name of standard input and output in place of a file.
inline constexpr std::string_view kStandardStream = "-";

// Loads a file the program opens ("-": standard input), with its warnings on the error stream.
Result<LoadedProject> load(const Context& cx, const std::string& path);
// The whole of an input file ("-": standard input), within the size the program reads.
Result<std::string> readInput(const Context& cx, const std::string& path);
// Who records the changes kro makes: the name in KRO_USER, the system account and the computer.
Recorder cliRecorder();
// The source an input file is (standard input: one without a file).
ProjectSource sourceFromInput(ProjectSource::Kind kind, const std::string& path, std::string_view bytes,
                              std::size_t members);
// What an output holds: binary data are never sent to a terminal.
enum class OutputKind { Text, Binary };
// Writes an output file by the rules of every write ("-": standard output).
Status writeOutput(const Context& cx, const std::string& path, std::string_view bytes, OutputKind kind);
// The same for a writer that makes its file by path (a workbook, a PDF): for "-" it writes a
// temporary file, which is then copied to standard output and removed.
Status writeOutputByPath(const Context& cx, const std::string& path, OutputKind kind,
                         const std::function<Status(const std::filesystem::path&)>& write);

// The settings folder: --config-dir when given, else the program's.
SettingsLocation settingsFor(const Arguments& a);

// The report format of --format: 1..6, a user format's name, or a .docx file; nothing without
// the option; an error holding the usage message for anything else.
Result<std::optional<ChosenFormat>> formatOption(const Arguments& a, const SettingsLocation& settings);

// A text for the terminal: control characters (which could move the cursor, clear the screen
// or retitle the window) and bytes that are no UTF-8 are shown as \xHH instead of being sent.
std::string printable(std::string_view text);

}  // namespace kro::cli
