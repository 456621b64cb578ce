// A project: the members of one document as a value, with the loaders and writers of the
// program's files. Loaders need nobody to talk to: they return the project and the warnings a
// successful load gives, or a message naming the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/result.h"
#include "model/file_io.h"
#include "model/member_record.h"
#include "model/modification_log.h"

namespace kro {

// The report parameters a project carries (工程名称, 合格率要求, ...): GBK name and value pairs
// in the order they were stored, any name. A file without them has none until the office's
// defaults are given to it (report/project_parameters.h).
struct ProjectParameters {
  std::vector<std::pair<std::string, std::string>> values;
  bool stored = false;  // the project carries parameters: read from its file or set
  // Given from the office's defaults because the file had none: the project differs from its
  // file until it is saved.
  bool fromDefaults = false;
  // The version of the block they were read from (0: not read), so that a file written again
  // without a judging rule keeps its version and older programs still read it.
  std::uint16_t readVersion = 0;

  // The value stored under a GBK name; none when absent.
  const std::string* find(std::string_view gbkName) const;
  bool operator==(const ProjectParameters& other) const {
    return values == other.values && stored == other.stored && fromDefaults == other.fromDefaults;
  }
};

// A block after the last member that this version cannot read, kept byte for byte.
struct KeptBlock {
  enum class Why { Unknown, Newer, Damaged };
  std::string tag;  // empty for bytes that form no block
  std::uint16_t version = 0;
  std::string bytes;  // the whole block as read
  Why why = Why::Unknown;
  bool operator==(const KeptBlock&) const = default;
};

struct Project {
  Project() = default;
  Project(std::vector<MemberRecord> m, ProjectParameters p = {})  // NOLINT: a list of members is a project
      : members(std::move(m)), parameters(std::move(p)) {}

  std::vector<MemberRecord> members;
  ProjectParameters parameters;
  // Blocks after the members that this version cannot read, written back as they were.
  std::vector<KeptBlock> keptBlocks;
  // Where the members came from, and the modification log (model/modification_log.h).
  std::vector<ProjectSource> sources;
  std::vector<LogEntry> log;

  int memberCount() const { return static_cast<int>(members.size()); }
  // The member at index, or none out of range.
  const MemberRecord* memberAt(int index) const;
  // The kept block of a tag, or none.
  const KeptBlock* keptBlock(std::string_view tag) const;
  // The modification log could not be read or its entries do not follow one another: it is kept
  // byte for byte, and the project may not be changed until a new log is begun after it.
  bool logDamaged() const;

  bool operator==(const Project&) const = default;
};

// The kinds of file the program opens.
enum class ProjectFileKind { Analysis, RawIndex, ReceivedBytes };

struct LoadedProject {
  Project project;
  std::vector<std::string> warnings;           // ready to show
  std::vector<std::filesystem::path> sources;  // every file read: the file named, then member files
  ProjectFileKind kind = ProjectFileKind::Analysis;
  // What the file named held when it was read (for a raw project: the index file); none for
  // bytes from standard input.
  std::optional<FileStamp> stamp;
};

// The codes (GBK) of members that the project already has, in the order of members, each once.
std::vector<std::string> sharedCodes(const Project& project, const std::vector<MemberRecord>& members);
// The members with prefix (GBK) before each code, cut at the code's capacity.
std::vector<MemberRecord> withCodePrefix(std::vector<MemberRecord> members, std::string_view prefix);

// True exactly for the extensions "KRO", "Kro" and "kro".
bool isAnalysisExtension(const std::filesystem::path& path);

inline constexpr std::string_view kNotProjectFile = "不是楼板仪数据文件";

// Reads a file as a project, deciding by its content what it is (model/analysis_file.h's
// analysisShape, model/raw_files.h's indexFileProblem, the transfer layouts): an analysis file,
// an instrument index file with its member data files, or bytes received from the instrument
// and kept (decoded as a new project). A selection export is refused, and so is anything else
// ("不是楼板仪数据文件" and why). The name settles only what the content leaves open: a .KRO file
// may carry any bytes after its members (kept), a .DEX file may hold fewer codes than it states,
// .serial and .usb say which link kept bytes came from. Nothing is recomputed: analysis files
// keep the figures they stored. A file that cannot be read or is damaged gives a message naming it.
Result<LoadedProject> loadProject(const std::filesystem::path& path);
// The same for bytes already read (standard input): named by `name` in messages, not protected as
// a file, and never an index file, whose member data files lie beside it.
Result<LoadedProject> loadProjectBytes(const std::filesystem::path& name, std::string_view content);

// What can be saved of a damaged analysis file: the members before the first damaged one.
struct RecoveredProject {
  Project project;
  int damagedMember = 0;  // the first damaged member, counted from 1
};
// Nothing when the file is no analysis file, is whole, unreadable, or has no intact member to save.
std::optional<RecoveredProject> recoverAnalysisFile(const std::filesystem::path& path);

}  // namespace kro
