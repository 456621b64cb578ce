// Loading a project from the program's files.
#include "model/project.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>

#include "base/byte_io.h"
#include "model/analysis_file.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/project_blocks.h"
#include "model/raw_files.h"
#include "model/transfer_decoder.h"

namespace kro {
namespace fs = std::filesystem;

const MemberRecord* Project::memberAt(int index) const {
  if (index < 0 || index >= memberCount()) return nullptr;
  return &members[static_cast<std::size_t>(index)];
}

const KeptBlock* Project::keptBlock(std::string_view tag) const {
  for (const KeptBlock& block : keptBlocks) {
    if (block.tag == tag) return &block;
  }
  return nullptr;
}

bool Project::logDamaged() const {
  for (const KeptBlock& block : keptBlocks) {
    if (block.tag != kLogTag) continue;
    // A damaged log is settled by a new log whose first entry names it.
    const Sha256 digest = sha256(block.bytes);
    const bool settled = std::any_of(log.begin(), log.end(), [&](const LogEntry& e) {
      return e.change.kind == LogKind::NewSegment && e.previous == digest;
    });
    if (!settled) return true;
  }
  return false;
}

const std::string* ProjectParameters::find(std::string_view gbkName) const {
  for (const auto& [name, value] : values) {
    if (name == gbkName) return &value;
  }
  return nullptr;
}

std::vector<std::string> sharedCodes(const Project& project, const std::vector<MemberRecord>& members) {
  std::set<std::string, std::less<>> existing, seen;
  for (const MemberRecord& m : project.members) existing.insert(m.code());
  std::vector<std::string> shared;
  for (const MemberRecord& m : members) {
    if (existing.count(m.code()) != 0 && seen.insert(m.code()).second) shared.push_back(m.code());
  }
  return shared;
}

std::vector<MemberRecord> withCodePrefix(std::vector<MemberRecord> members, std::string_view prefix) {
  for (MemberRecord& m : members) {
    const std::string code = std::string(prefix) + m.code();
    m.setCode(gbkTruncate(code, MemberRecord::kCodeCapacity));
  }
  return members;
}

bool isAnalysisExtension(const fs::path& path) {
  // The text after the last "." of the file name; none without a ".".
  const std::string name = displayPath(path.filename());
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string_view ext = std::string_view(name).substr(dot + 1);
  return ext == "KRO" || ext == "Kro" || ext == "kro";
}

namespace {

bool hasExtension(const fs::path& path, std::string_view wanted) {
  std::string extension = displayPath(path.extension());
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == wanted;
}

Result<LoadedProject> loadReceived(const fs::path& path, std::string_view bytes, TransferLayout layout) {
  auto decoded = decodeTransfer(layout, bytes);
  if (!decoded) return Error{"无法解码“" + displayPath(path) + "”：" + decoded.message()};
  LoadedProject loaded;
  loaded.project.members = std::move(decoded.value().members);
  loaded.project.sources = {sourceOf(
      layout == TransferLayout::Usb ? ProjectSource::Kind::UsbTransfer : ProjectSource::Kind::SerialTransfer,
      {{path, std::string(bytes)}}, loaded.project.members.size())};
  loaded.warnings = std::move(decoded.value().warnings);
  loaded.sources = {path};
  loaded.kind = ProjectFileKind::ReceivedBytes;
  return loaded;
}

Result<LoadedProject> loadRaw(const fs::path& path, std::string_view bytes, const std::string& cannotOpen) {
  auto raw = readRawProject(path, bytes);
  if (!raw) return Error{cannotOpen + raw.message()};
  LoadedProject loaded;
  loaded.project.members = std::move(raw.value().members);
  loaded.warnings = std::move(raw.value().warnings);
  loaded.sources.push_back(path);
  // The instrument's files as they are now: the record names them with their SHA-256.
  std::vector<std::pair<fs::path, std::string>> files{{path, std::string(bytes)}};
  for (fs::path& file : raw.value().memberFiles) {
    if (auto held = readWholeFile(file, kMaxProjectFileSize))
      files.emplace_back(file, std::move(held.value()));
    loaded.sources.push_back(std::move(file));
  }
  loaded.project.sources = {
      sourceOf(ProjectSource::Kind::InstrumentFiles, files, loaded.project.members.size())};
  loaded.kind = ProjectFileKind::RawIndex;
  return loaded;
}

}  // namespace

Result<LoadedProject> loadProject(const fs::path& path) {
  auto bytes = readWholeFile(path, kMaxProjectFileSize);
  if (!bytes) return bytes.error();
  auto loaded = loadProjectBytes(path, bytes.value());
  if (loaded) loaded.value().stamp = stampOf(path, bytes.value());
  return loaded;
}

// What a file is comes from its content; its name only settles what its content leaves open
// (bytes after the members of a .KRO file, a .DEX file holding fewer codes than it states, which
// link kept bytes came from) and which reason a refusal gives.
Result<LoadedProject> loadProjectBytes(const fs::path& path, std::string_view content) {
  const std::string cannotOpen = "无法打开“" + displayPath(path) + "”：";
  const bool namedAnalysis = isAnalysisExtension(path);
  const bool namedIndex = hasExtension(path, ".dex");
  const AnalysisShape shape = analysisShape(content);
  if (shape.kind == AnalysisShape::Kind::Whole &&
      (namedAnalysis || shape.end == content.size() || startsWithBlock(content.substr(shape.end)))) {
    std::vector<std::string> warnings;
    auto project = decodeProjectFile(content, warnings);
    if (!project) return Error{cannotOpen + project.message()};
    LoadedProject loaded;
    loaded.project = std::move(project.value());
    for (std::string& warning : warnings) loaded.warnings.push_back("“" + displayPath(path) + "”" + warning);
    loaded.sources.push_back(path);
    return loaded;
  }
  if (isSelectionExport(content)) {
    return Error{cannotOpen + "这是用“保存选择构件”导出的文件，不是仪器的原始数据文件，本程序不能读取它。"};
  }
  if (hasExtension(path, ".serial")) return loadReceived(path, content, TransferLayout::Serial);
  if (hasExtension(path, ".usb")) return loadReceived(path, content, TransferLayout::Usb);
  const std::optional<std::string> notIndex = indexFileProblem(path, content, namedIndex);
  if (!notIndex) return loadRaw(path, content, cannotOpen);
  for (TransferLayout layout : {TransferLayout::Serial, TransferLayout::Usb}) {
    // Recognised also when longer than its block, so that the refusal says so.
    if (decodeTransfer(layout, content, ExtraBytes::Ignore)) return loadReceived(path, content, layout);
  }
  // An analysis file whose first member is sound and which breaks later: the members before the
  // damage can still be saved (recoverAnalysisFile).
  if (shape.kind == AnalysisShape::Kind::DamagedLater) return Error{cannotOpen + shape.reason};
  std::string reason;
  if (namedAnalysis) {
    reason = "作为分析结果文件，" + shape.reason;
  } else if (namedIndex) {
    reason = "作为原始数据索引文件，" + *notIndex;
  } else {
    reason =
        "它既不是分析结果文件（.KRO），也不是仪器的原始数据文件（.DEX 及其 .DAT 文件）"
        "或传输时保存的原始数据（.serial、.usb）。";
  }
  return Error{cannotOpen + std::string(kNotProjectFile) + "：" + reason};
}

std::optional<RecoveredProject> recoverAnalysisFile(const fs::path& path) {
  auto bytes = readWholeFile(path, kMaxProjectFileSize);
  if (!bytes || analysisShape(bytes.value()).kind != AnalysisShape::Kind::DamagedLater) return std::nullopt;
  auto recovered = recoverAnalysisMembers(bytes.value());
  if (!recovered || recovered->members.empty()) return std::nullopt;
  return RecoveredProject{Project{std::move(recovered->members)}, recovered->damagedMember};
}

}  // namespace kro
