// A project: the members of one document as a value, with the loaders and writers of the
// program's files. Loaders need nobody to talk to: they return the project and the warnings a
// successful load gives, or a message naming the file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/member_record.h"
#include "model/result.h"

namespace kro {

// The report parameters a project carries (工程名称, 合格率要求, ...): GBK name and value pairs
// in the order they were stored, any name. A file without them has none, and reports use the
// defaults of the settings files (report/project_parameters.h).
struct ProjectParameters {
  std::vector<std::pair<std::string, std::string>> values;
  bool stored = false;  // the project carries parameters: read from its file or set by the user
  // A block that could not be read (damaged, or of a newer version), kept as it was read: it is
  // written back unchanged until the user sets the parameters.
  std::string keptBlock;

  // The value stored under a GBK name; none when absent.
  const std::string* find(std::string_view gbkName) const;
  bool operator==(const ProjectParameters&) const = default;
};

struct Project {
  Project() = default;
  Project(std::vector<MemberRecord> m, ProjectParameters p = {})  // NOLINT: a list of members is a project
      : members(std::move(m)), parameters(std::move(p)) {}

  std::vector<MemberRecord> members;
  ProjectParameters parameters;

  int memberCount() const { return static_cast<int>(members.size()); }
  // The member at index, or none out of range.
  const MemberRecord* memberAt(int index) const;

  bool operator==(const Project&) const = default;
};

// The kinds of file the program opens.
enum class ProjectFileKind { Analysis, RawIndex, ReceivedBytes };

struct LoadedProject {
  Project project;
  std::vector<std::string> warnings;           // ready to show
  std::vector<std::filesystem::path> sources;  // every file read: the file named, then member files
  ProjectFileKind kind = ProjectFileKind::Analysis;
};

// The codes (GBK) of members that the project already has, in the order of members, each once.
std::vector<std::string> sharedCodes(const Project& project, const std::vector<MemberRecord>& members);
// The members with prefix (GBK) before each code, cut at the code's capacity.
std::vector<MemberRecord> withCodePrefix(std::vector<MemberRecord> members, std::string_view prefix);

// True exactly for the extensions "KRO", "Kro" and "kro".
bool isAnalysisExtension(const std::filesystem::path& path);

// Reads a file as a project, deciding by its content what it is: an analysis file, an
// instrument index file with its member data files, or bytes received from the instrument and
// kept (decoded as a new project). A selection export is refused, and so is anything else
// ("不是楼板仪数据文件" and why). By name: a .KRO file is taken as an analysis file (bytes after
// its last member ignored), a .DEX file as an index file (as leniently as the instrument's files
// need), .serial and .usb as received bytes of that link. Nothing is recomputed: analysis files
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
// Nothing when the file is no .KRO file, is whole, unreadable, or has no intact member to save.
std::optional<RecoveredProject> recoverAnalysisFile(const std::filesystem::path& path);

}  // namespace kro
