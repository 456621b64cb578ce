// Reading the instrument's index and member data files.
#include "model/raw_files.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>

#include "base/byte_io.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/statistics.h"

namespace kro {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kCodeField = 10;
constexpr std::size_t kDateField = 22;

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Finds member data files in the index file's folder. Files copied from the instrument may
// carry the name in another letter case or with a UTF-8 name; for those the folder is listed
// once, however many codes need it.
class MemberFileFinder {
 public:
  explicit MemberFileFinder(fs::path folder) : folder_(folder.empty() ? fs::path(".") : std::move(folder)) {}

  std::optional<fs::path> find(const std::string& code) {
    const std::string names[] = {code + ".DAT", gbkToUtf8(code) + ".DAT"};
    std::error_code ec;
    for (const std::string& name : names) {
      fs::path candidate = folder_ / name;
      if (fs::is_regular_file(candidate, ec)) return candidate;
    }
    if (!listed_) list();
    for (const std::string& name : names) {
      auto it = byLowerName_.find(lowerAscii(name));
      if (it != byLowerName_.end()) return it->second;
    }
    return std::nullopt;
  }

 private:
  void list() {
    listed_ = true;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder_, ec)) {
      if (entry.is_regular_file(ec))
        byLowerName_.emplace(lowerAscii(displayPath(entry.path().filename())), entry.path());
    }
  }

  fs::path folder_;
  bool listed_ = false;
  std::map<std::string, fs::path> byLowerName_;
};

// Names for a warning: the first ten, then how many more. A name that is itself a message
// loses its full stop, so the sentence ends with one.
std::string joinNames(const std::vector<std::string>& names, std::string_view more = "个") {
  constexpr std::size_t kShown = 10;
  constexpr std::string_view kFullStop = "。";
  std::string out;
  for (std::size_t i = 0; i < names.size() && i < kShown; ++i) {
    if (!out.empty()) out += "、";
    std::string_view name = names[i];
    if (name.ends_with(kFullStop)) name.remove_suffix(kFullStop.size());
    out += name;
  }
  if (names.size() > kShown)
    out += "；另有 " + std::to_string(names.size() - kShown) + " " + std::string(more);
  return out;
}

}  // namespace

Result<IndexFileContents> decodeIndexFile(std::string_view bytes) {
  ByteReader in(bytes);
  if (!in.canRead(2)) return Error{"原始数据文件不足 2 个字节，文件已损坏。"};
  const std::int16_t count = in.i16();
  if (count < 0) return Error{"原始数据文件的构件个数为负数（" + std::to_string(count) + "），文件已损坏。"};
  IndexFileContents contents;
  const std::size_t held =
      std::min<std::size_t>(static_cast<std::size_t>(count), in.remaining() / kCodeField);
  contents.codes.reserve(held);
  for (std::size_t i = 0; i < held; ++i) contents.codes.push_back(in.text(kCodeField));
  if (held < static_cast<std::size_t>(count)) {
    contents.warnings.push_back("原始数据文件声明了 " + std::to_string(count) + " 个构件，但只含 " +
                                std::to_string(held) + " 个构件编号，其余的未读入。");
  }
  return contents;
}

Result<MemberDataContents> decodeMemberDataFile(std::string_view bytes) {
  ByteReader in(bytes);
  if (!in.canRead(kMemberDataHeaderSize)) {
    return Error{"文件只有 " + std::to_string(bytes.size()) + " 个字节，短于 74 字节的文件头"};
  }
  MemberData d;
  d.code = in.text(kCodeField);
  d.testDate = in.text(kDateField);
  d.designThickness = in.i16();
  in.skip(2);  // a value the program does not use
  in.skip(2);
  const std::int16_t count = in.i16();
  in.skip(kMemberDataHeaderSize - 40);
  d.plusDeviation = 8;
  d.minusDeviation = -5;
  MemberDataContents contents;
  if (count < 0) {
    contents.warnings.push_back("测点数为负数（" + std::to_string(count) + "），未读入测点");
  } else {
    const std::size_t held = std::min<std::size_t>(static_cast<std::size_t>(count), in.remaining() / 2);
    d.readings.resize(held);
    for (Reading& r : d.readings) {
      r.thickness = in.i16();
      r.origin = ReadingOrigin::InstrumentFile;
    }
    if (held < static_cast<std::size_t>(count)) {
      contents.warnings.push_back("声明 " + std::to_string(count) + " 个测点，文件只含 " +
                                  std::to_string(held) + " 个");
    }
  }
  contents.member = MemberRecord::withTextsCut(std::move(d));
  // The instrument's files store no figures: they are the readings' from the start.
  contents.member.setStoredStatistics(recomputedStatistics(contents.member));
  return contents;
}

bool isSafeMemberCode(std::string_view code) {
  for (std::size_t i = 0; i < code.size(); i += gbkCharLength(code, i)) {
    if (gbkCharLength(code, i) == 2) continue;
    const auto c = static_cast<unsigned char>(code[i]);
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':') return false;
  }
  return true;
}

std::optional<std::string> indexFileProblem(const fs::path& path, std::string_view bytes, bool lenient) {
  ByteReader in(bytes);
  if (!in.canRead(2)) return "文件只有 " + std::to_string(bytes.size()) + " 个字节。";
  const std::int16_t count = in.i16();
  if (count <= 0) return "开头的构件个数为 " + std::to_string(count) + "。";
  const std::size_t held = in.remaining() / kCodeField;
  if (held == 0 || (!lenient && static_cast<std::size_t>(count) > held)) {
    return "开头声明了 " + std::to_string(count) + " 个构件，文件却只容得下 " + std::to_string(held) +
           " 个构件编号。";
  }
  MemberFileFinder finder(path.parent_path());
  bool anyFile = false;
  for (std::size_t i = 0; i < std::min<std::size_t>(static_cast<std::size_t>(count), held); ++i) {
    const std::string code = in.text(kCodeField);
    if (code.empty() || !isGbkText(code)) return "第 " + std::to_string(i + 1) + " 个构件编号不是 GBK 文字。";
    if (!isSafeMemberCode(code)) {
      if (!lenient) return "第 " + std::to_string(i + 1) + " 个构件编号含有控制字符或路径符号。";
      continue;
    }
    if (!anyFile) anyFile = finder.find(code).has_value();
  }
  if (!anyFile) return "它列出的构件数据文件（编号.DAT）在同一文件夹中一个也没有。";
  return std::nullopt;
}

Result<RawProject> readRawProject(const fs::path& indexPath) {
  auto bytes = readWholeFile(indexPath, kMaxProjectFileSize);
  if (!bytes) return bytes.error();
  return readRawProject(indexPath, bytes.value());
}

Result<RawProject> readRawProject(const fs::path& indexPath, std::string_view indexBytes) {
  auto index = decodeIndexFile(indexBytes);
  if (!index) return index.error();
  RawProject project;
  project.warnings = index.value().warnings;
  MemberFileFinder finder(indexPath.parent_path());
  // Each member data file is read once, however many codes name it.
  std::map<fs::path, Result<MemberDataContents>> read;
  std::vector<std::string> missing, unsafe, damaged;
  std::size_t readings = 0;
  project.members.reserve(index.value().codes.size());
  for (const std::string& code : index.value().codes) {
    const std::string shown = gbkToUtf8(code) + ".DAT";
    if (!isSafeMemberCode(code)) {
      unsafe.push_back(gbkToUtf8(code));
      project.members.emplace_back();
      continue;
    }
    std::optional<fs::path> file = finder.find(code);
    if (!file) {
      missing.push_back(shown);
      project.members.emplace_back();
      continue;
    }
    auto it = read.find(*file);
    if (it == read.end()) {
      auto bytes = readWholeFile(*file, kMaxProjectFileSize);
      Result<MemberDataContents> member =
          bytes ? decodeMemberDataFile(bytes.value()) : Result<MemberDataContents>(Error{bytes.message()});
      if (!member && bytes) member = Error{shown + "：" + member.message()};
      it = read.emplace(*file, std::move(member)).first;
      project.memberFiles.push_back(*file);
      if (it->second) {
        for (const std::string& w : it->second.value().warnings) damaged.push_back(shown + "：" + w);
      }
    }
    if (!it->second) {
      damaged.push_back(it->second.message());
      project.members.emplace_back();
      continue;
    }
    readings += it->second.value().member.readings().size();
    if (readings > kMaxRawProjectReadings) {
      return Error{"构件数据文件中的测点合计超过 " + std::to_string(kMaxRawProjectReadings) +
                   " 个（可能有许多构件编号指向同一个数据文件），工程过大，已拒绝读取。"};
    }
    project.members.push_back(it->second.value().member);
  }
  if (!missing.empty()) {
    project.warnings.push_back("以下构件数据文件不存在，对应的构件为空：" +
                               joinNames(missing, "个构件文件缺失") + "。");
  }
  if (!unsafe.empty()) {
    project.warnings.push_back("以下构件编号指向原始数据文件所在文件夹之外，已拒绝读取：" +
                               joinNames(unsafe) + "。");
  }
  if (!damaged.empty()) {
    project.warnings.push_back("以下构件数据文件有问题：" + joinNames(damaged) + "。");
  }
  return project;
}

Result<std::string> encodeIndexFile(const std::vector<MemberRecord>& members) {
  if (members.size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
    return Error{"构件过多，原始数据文件最多容纳 32767 个构件。"};
  }
  std::string out;
  ByteWriter w(out);
  w.i16(static_cast<std::int16_t>(members.size()));
  for (const MemberRecord& m : members) w.text(gbkTruncate(m.code(), kCodeField - 1), kCodeField);
  return out;
}

Result<std::string> encodeMemberDataFile(const MemberRecord& member) {
  auto fits = [](std::int64_t v) {
    return v >= std::numeric_limits<std::int16_t>::min() && v <= std::numeric_limits<std::int16_t>::max();
  };
  const std::string which = "构件“" + gbkToUtf8(member.code()) + "”";
  if (!fits(member.designThickness())) return Error{which + "的设计厚度超出了原始数据文件的范围。"};
  if (!fits(member.readingCount())) return Error{which + "的测点过多。"};
  std::string out;
  ByteWriter w(out);
  w.text(gbkTruncate(member.code(), kCodeField - 1), kCodeField);
  w.text(gbkTruncate(member.testDate(), kDateField - 1), kDateField);
  w.i16(static_cast<std::int16_t>(member.designThickness()));
  w.i16(0);
  w.i16(0);
  w.i16(static_cast<std::int16_t>(member.readingCount()));
  out.append(kMemberDataHeaderSize - out.size(), '\0');
  for (const Reading& r : member.readings()) {
    if (!fits(r.thickness)) return Error{which + "的测点厚度超出了原始数据文件的范围。"};
    w.i16(static_cast<std::int16_t>(r.thickness));
  }
  return out;
}

Status writeRawProject(const fs::path& folder, const std::string& indexName,
                       const std::vector<MemberRecord>& members) {
  auto index = encodeIndexFile(members);
  if (!index) return index.error();
  for (const MemberRecord& m : members) {
    if (!isSafeMemberCode(m.code()) || m.code().empty()) {
      return Error{"构件编号“" + gbkToUtf8(m.code()) + "”不能用作文件名。"};
    }
    auto data = encodeMemberDataFile(m);
    if (!data) return data.error();
    if (Status s = writeFileAtomically(folder / (m.code() + ".DAT"), data.value()); !s) return s;
  }
  return writeFileAtomically(folder / indexName, index.value());
}

}  // namespace kro
