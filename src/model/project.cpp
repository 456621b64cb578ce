// Loading a project from the program's files.
#include "model/project.h"

#include "model/analysis_file.h"
#include "model/file_io.h"
#include "model/raw_files.h"

namespace kro {
namespace fs = std::filesystem;

const MemberRecord* Project::memberAt(int index) const {
  if (index < 0 || index >= memberCount()) return nullptr;
  return &members[static_cast<std::size_t>(index)];
}

const std::string* ProjectParameters::find(std::string_view gbkName) const {
  for (const auto& [name, value] : values) {
    if (name == gbkName) return &value;
  }
  return nullptr;
}

bool isAnalysisExtension(const fs::path& path) {
  // The text after the last "." of the file name; none without a ".".
  const std::string name = path.filename().string();
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string_view ext = std::string_view(name).substr(dot + 1);
  return ext == "KRO" || ext == "Kro" || ext == "kro";
}

Result<LoadedProject> loadProject(const fs::path& path) {
  auto bytes = readWholeFile(path, kMaxProjectFileSize);
  if (!bytes) return bytes.error();
  const std::string cannotOpen = "无法打开“" + displayPath(path) + "”：";
  LoadedProject loaded;
  loaded.sources.push_back(path);
  if (isAnalysisExtension(path)) {
    auto project = decodeProjectFile(bytes.value(), loaded.warnings);
    if (!project) return Error{cannotOpen + project.message()};
    loaded.project = std::move(project.value());
    for (std::string& warning : loaded.warnings) warning = "“" + displayPath(path) + "”" + warning;
    return loaded;
  }
  if (isSelectionExport(bytes.value())) {
    return Error{cannotOpen + "这是用“保存选择构件”导出的文件，不是仪器的原始数据文件，本程序不能读取它。"};
  }
  auto raw = readRawProject(path, bytes.value());
  if (!raw) return Error{cannotOpen + raw.message()};
  loaded.project.members = std::move(raw.value().members);
  loaded.warnings = std::move(raw.value().warnings);
  for (fs::path& file : raw.value().memberFiles) loaded.sources.push_back(std::move(file));
  return loaded;
}

}  // namespace kro
