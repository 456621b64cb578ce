// The project checked against its sources and its modification log.
#include "model/record_replay.h"

#include <algorithm>
#include <map>
#include <optional>

#include "base/byte_io.h"
#include "base/file_errors.h"
#include "model/analysis_file.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/raw_files.h"
#include "model/transfer_decoder.h"

namespace kro {
namespace fs = std::filesystem;

namespace {

std::string utf8(std::string_view gbk) { return gbkToUtf8(gbk); }

std::string readingName(std::string_view code, std::size_t index) {
  return "构件 " + utf8(code) + " 第 " + std::to_string(index + 1) + " 个测点";
}

std::optional<MemberRecord> memberOf(std::string_view data) {
  std::string file;
  ByteWriter(file).i32(1);
  file.append(data);
  auto members = decodeAnalysisFile(file);
  if (!members || members.value().size() != 1) return std::nullopt;
  return members.value().front();
}

// Sets a member's field from its logged text; false when the text is no value of it.
bool setField(MemberRecord& m, const std::string& fieldGbk, const std::string& value) {
  const std::string field = utf8(fieldGbk);
  auto number = [&](std::int32_t& out) {
    try {
      std::size_t used = 0;
      const long long v = std::stoll(value, &used);
      if (used != value.size() || v < INT32_MIN || v > INT32_MAX) return false;
      out = static_cast<std::int32_t>(v);
      return true;
    } catch (...) {
      return false;
    }
  };
  std::int32_t n = 0;
  if (field == "编号") {
    m.setCode(value);
  } else if (field == "名称") {
    m.setMemberName(value);
  } else if (field == "检测日期") {
    m.setTestDate(value);
  } else if (field == "设计厚度" && number(n)) {
    m.setDesignThickness(n);
  } else if (field == "正偏差" && number(n)) {
    m.setPlusDeviation(n);
  } else if (field == "负偏差" && number(n)) {
    m.setMinusDeviation(n);
  } else if (field == "抽样批次" && number(n) && n > 0 && n < 256) {
    m.setSample(static_cast<std::uint8_t>(n));
  } else {
    return false;
  }
  return true;
}

std::string fieldText(const MemberRecord& m, const std::string& fieldGbk) {
  const std::string field = utf8(fieldGbk);
  if (field == "编号") return m.code();
  if (field == "名称") return m.name();
  if (field == "检测日期") return m.testDate();
  if (field == "设计厚度") return std::to_string(m.designThickness());
  if (field == "正偏差") return std::to_string(m.plusDeviation());
  if (field == "负偏差") return std::to_string(m.minusDeviation());
  if (field == "抽样批次") return std::to_string(m.sample());
  return {};
}

// The project taken back entry by entry, each checked against the value it recorded.
class Rewind {
 public:
  explicit Rewind(const std::vector<MemberRecord>& members) : state_(members) {}

  // Takes one entry back; false when the members no longer fit the log (nothing further can be
  // taken back).
  bool back(const LogEntry& entry, std::size_t number) {
    const LogChange& c = entry.change;
    const std::string label = "第 " + std::to_string(number) + " 条修改记录";
    if (c.kind == LogKind::Parameter) return true;
    if (c.kind == LogKind::Ticks) {
      ByteReader in(c.data);
      while (in.canRead(12)) {
        const std::uint32_t position = in.u32();
        const std::int32_t old = in.i32();
        const std::int32_t now = in.i32();
        if (position >= state_.size()) return lost(label, c.code, position);
        MemberRecord& m = state_[position];
        if (m.selected() != now)
          find("构件 " + utf8(m.code()) + " 的勾选与" + label + "不同，但没有修改记录");
        m.setSelected(old);
      }
      return true;
    }
    const std::size_t position = static_cast<std::size_t>(c.member);
    const bool insertsMember = c.kind == LogKind::MemberRemoved;
    if (c.member < 0 || position > state_.size() || (!insertsMember && position == state_.size()) ||
        (!insertsMember && state_[position].code() != c.code)) {
      return lost(label, c.code, position);
    }
    switch (c.kind) {
      case LogKind::MemberAdded: {
        // A member from a source with files is checked against them (or, when they cannot be
        // had, against the log); any other against what the log recorded.
        std::optional<MemberRecord> added = memberOf(c.data);
        if (c.source >= 0) {
          fromSource_[c.source].push_back({state_[position], std::move(added), label});
        } else if (added) {
          compareReadings(state_[position], *added, "与" + label + "所记的不同");
        }
        state_.erase(state_.begin() + static_cast<std::ptrdiff_t>(position));
        return true;
      }
      case LogKind::MemberRemoved: {
        const std::optional<MemberRecord> removed = memberOf(c.data);
        if (!removed) {
          find(label + "所记的构件 " + utf8(c.code) + " 已损坏，无法继续核对更早的记录");
          return false;
        }
        state_.insert(state_.begin() + static_cast<std::ptrdiff_t>(position), *removed);
        return true;
      }
      case LogKind::MemberField: {
        MemberRecord& m = state_[position];
        if (fieldText(m, c.field) != c.newValue) {
          find("构件 " + utf8(c.code) + " 的" + utf8(c.field) + "与" + label + "所记的不同（记为“" +
               utf8(c.newValue) + "”，实为“" + utf8(fieldText(m, c.field)) + "”），但没有修改记录");
        }
        if (!setField(m, c.field, c.oldValue)) find(label + "的原值无法读取");
        return true;
      }
      default:
        break;
    }
    MemberRecord& m = state_[position];
    std::vector<Reading> readings = m.readings();
    const auto index = static_cast<std::size_t>(c.reading);
    const bool inserts = c.kind == LogKind::ReadingRemoved;
    if (c.reading < 0 || index > readings.size() || (!inserts && index == readings.size())) {
      find(label + "所记的" + readingName(c.code, index) + "不存在（数据被改动过），无法继续核对更早的记录");
      return false;
    }
    auto checkNow = [&] {
      const std::string now = readingText(readings[index]);
      if (now != c.newValue) {
        find(readingName(c.code, index) + "与" + label + "所记的不同（记为 " + utf8(c.newValue) + "，实为 " +
             now + "），但没有修改记录");
      }
    };
    const std::optional<Reading> old = parseReadingText(c.oldValue);
    switch (c.kind) {
      case LogKind::ReadingChanged:
        checkNow();
        if (old) {
          const ReadingOrigin origin = readings[index].origin;
          readings[index] = *old;
          readings[index].origin = origin;
        }
        break;
      case LogKind::ReadingAdded:
        checkNow();
        readings.erase(readings.begin() + static_cast<std::ptrdiff_t>(index));
        break;
      case LogKind::ReadingRemoved:
        readings.insert(readings.begin() + static_cast<std::ptrdiff_t>(index), old.value_or(Reading{}));
        break;
      default:
        break;
    }
    m.setReadings(std::move(readings));
    return true;
  }

  // Readings of the state that differ from another record of the member; true when any does.
  bool compareReadings(const MemberRecord& now, const MemberRecord& recorded, const std::string& differs) {
    if (now.readingCount() != recorded.readingCount()) {
      find("构件 " + utf8(now.code()) + " 的测点数" + differs + "（记为 " +
           std::to_string(recorded.readingCount()) + " 个，实为 " + std::to_string(now.readingCount()) +
           " 个），但没有修改记录");
      return true;
    }
    bool any = false;
    for (std::size_t j = 0; j < now.readings().size(); ++j) {
      if (!(now.readings()[j] == recorded.readings()[j])) {
        find(readingName(now.code(), j) + differs + "，但没有修改记录");
        any = true;
      }
    }
    return any;
  }

  void find(std::string finding) { findings_.push_back(std::move(finding)); }
  bool lost(const std::string& label, std::string_view code, std::size_t position) {
    find(label + "所记的构件 " + utf8(code) + " 不在第 " + std::to_string(position + 1) +
         " 个位置（数据被改动过），无法继续核对更早的记录");
    return false;
  }

  std::vector<MemberRecord> state_;
  // The members each source gave, as they are before the entry that added them, with what that
  // entry recorded of them (none for the members a log began with).
  struct FromSource {
    MemberRecord member;
    std::optional<MemberRecord> recorded;
    std::string label;
  };
  std::map<std::int32_t, std::vector<FromSource>> fromSource_;
  std::vector<std::string> findings_;
};

// The entry a log's current segment begins with: the last Start or NewSegment.
std::size_t segmentStart(const std::vector<LogEntry>& entries) {
  for (std::size_t k = entries.size(); k-- > 0;) {
    const LogKind kind = entries[k].change.kind;
    if (kind == LogKind::Start || kind == LogKind::NewSegment) return k;
  }
  return 0;
}

// The bytes of a source's file: where it was recorded, else beside the project (in the folder of
// kept received bytes, or beside the file itself).
std::optional<std::string> sourceBytes(const SourceFile& f, const fs::path& projectFile,
                                       std::string& problem) {
  std::vector<fs::path> places{pathFromUtf8(f.location) / pathFromUtf8(f.name)};
  if (!projectFile.empty()) {
    const fs::path folder = projectFile.parent_path();
    places.push_back(folder / pathFromUtf8("原始数据") / pathFromUtf8(f.name));
    places.push_back(folder / pathFromUtf8(f.name));
  }
  for (const fs::path& place : places) {
    std::error_code ec;
    if (!fs::exists(place, ec)) continue;
    auto bytes = readWholeFile(place, kMaxProjectFileSize);
    if (!bytes) {
      problem = "无法读取：" + bytes.message();
      return std::nullopt;
    }
    if (sha256(bytes.value()) != f.sha256) {
      problem = "“" + displayPath(place) + "”已被改动（SHA-256 与记录不符）";
      return std::nullopt;
    }
    return std::move(bytes.value());
  }
  problem = "找不到（记录的位置：" + f.location + "）";
  return std::nullopt;
}

// The members a source gives as recorded, or why they cannot be had.
std::optional<std::vector<MemberRecord>> sourceMembers(const ProjectSource& s, const fs::path& projectFile,
                                                       std::string& problem) {
  if (s.files.empty()) return std::nullopt;
  const std::string named = sourceKindName(s.kind) + "的文件“" + s.files.front().name + "”";
  std::vector<MemberRecord> members;
  if (s.kind == ProjectSource::Kind::SerialTransfer || s.kind == ProjectSource::Kind::UsbTransfer) {
    std::string why;
    const std::optional<std::string> bytes = sourceBytes(s.files.front(), projectFile, why);
    if (!bytes) {
      problem = named + why + "，无法与仪器数据核对";
      return std::nullopt;
    }
    auto decoded = decodeTransfer(
        s.kind == ProjectSource::Kind::UsbTransfer ? TransferLayout::Usb : TransferLayout::Serial, *bytes,
        ExtraBytes::Ignore);
    if (!decoded) {
      problem = named + "无法解码：" + decoded.message();
      return std::nullopt;
    }
    members = std::move(decoded.value().members);
  } else if (s.kind == ProjectSource::Kind::InstrumentFiles) {
    for (const SourceFile& f : s.files) {
      std::string why;
      if (!sourceBytes(f, projectFile, why)) {
        problem = "仪器文件“" + f.name + "”" + why + "，未能与仪器文件核对";
        return std::nullopt;
      }
    }
    const SourceFile& index = s.files.front();
    auto raw = readRawProject(pathFromUtf8(index.location) / pathFromUtf8(index.name));
    if (!raw) {
      problem = named + "无法读取：" + raw.message();
      return std::nullopt;
    }
    members = std::move(raw.value().members);
  } else {
    return std::nullopt;  // imports and merges: their members are in the log itself
  }
  return s.codePrefix.empty() ? members : withCodePrefix(std::move(members), s.codePrefix);
}

}  // namespace

ReplayReport replayRecord(const Project& project, const fs::path& file, bool readSources) {
  ReplayReport report;
  if (project.logDamaged())
    report.findings.push_back("修改记录已损坏，已原样保留；开始新的修改记录之前不能修改本工程");
  if (project.log.empty()) {
    report.corrected = correctedReadings(project.members, {});
    return report;
  }
  const std::vector<LogEntry>& log = project.log;
  const std::size_t first = segmentStart(log);
  Rewind rewind(project.members);
  bool whole = true;
  for (std::size_t k = log.size(); k-- > first + 1;) {
    if (!rewind.back(log[k], k + 1)) {
      whole = false;
      break;
    }
  }
  const LogEntry& start = log[first];
  const EntryTexts begins = entryTexts(start);
  report.start = "修改记录从 " + begins.when + " 开始（" + std::to_string(log.size() - first) + " 条）";
  const bool fromSource =
      start.change.source >= 0 && static_cast<std::size_t>(start.change.source) < project.sources.size();
  if (fromSource) {
    report.start += "，核对从" +
                    sourceKindName(project.sources[static_cast<std::size_t>(start.change.source)].kind) +
                    "的数据开始";
    for (const MemberRecord& m : rewind.state_)
      rewind.fromSource_[start.change.source].push_back({m, std::nullopt, {}});
  } else {
    report.start += "，核对从那时的数据开始；此前的修改没有记录";
  }
  // Members the instrument's data contradicts, named reading by reading.
  std::vector<std::string> named;
  if (whole && readSources) {
    for (const auto& [index, members] : rewind.fromSource_) {
      if (index < 0 || static_cast<std::size_t>(index) >= project.sources.size()) continue;
      std::string problem;
      const auto given = sourceMembers(project.sources[static_cast<std::size_t>(index)], file, problem);
      if (!problem.empty()) rewind.find(problem);
      const ProjectSource& source = project.sources[static_cast<std::size_t>(index)];
      for (const auto& from : members) {
        const MemberRecord& m = from.member;
        if (!given) {
          if (from.recorded) rewind.compareReadings(m, *from.recorded, "与" + from.label + "所记的不同");
          continue;
        }
        const auto it = std::find_if(given->begin(), given->end(),
                                     [&](const MemberRecord& g) { return g.code() == m.code(); });
        if (it == given->end()) {
          rewind.find("构件 " + utf8(m.code()) + " 不在" + sourceKindName(source.kind) +
                      "的数据中，但没有修改记录");
        } else if (rewind.compareReadings(m, *it, "与仪器数据不同")) {
          named.push_back(m.code());
        }
      }
    }
  }
  // The members as the log's beginning recorded them.
  if (whole) {
    const std::string& digests = start.change.data;
    const std::vector<MemberRecord>& state = rewind.state_;
    if (digests.size() != state.size() * 32) {
      rewind.find("修改记录开始时有 " + std::to_string(digests.size() / 32) +
                  " 个构件，按修改记录倒推现在的数据得到 " + std::to_string(state.size()) +
                  " 个，但没有修改记录");
    } else {
      for (std::size_t k = 0; k < state.size(); ++k) {
        Sha256 recorded{};
        digestFrom(std::string_view(digests).substr(k * 32, 32), recorded);
        if (recorded == memberDigest(state[k]) ||
            std::find(named.begin(), named.end(), state[k].code()) != named.end()) {
          continue;
        }
        rewind.find("构件 " + utf8(state[k].code()) + " 与修改记录开始时的数据不同，但没有修改记录");
      }
    }
  }
  report.findings.insert(report.findings.end(), rewind.findings_.begin(), rewind.findings_.end());
  report.corrected = correctedReadings(project.members, changesSinceBeginning(project.log));
  return report;
}

std::vector<const LogChange*> changesSinceBeginning(const std::vector<LogEntry>& log) {
  std::vector<const LogChange*> out;
  for (std::size_t k = log.empty() ? 0 : segmentStart(log) + 1; k < log.size(); ++k)
    out.push_back(&log[k].change);
  return out;
}

namespace {

// Takes the changes back from the last, following positions only, and calls changed(member,
// reading, change index) for each reading change that still names a reading of the project.
template <class Changed>
void walkCorrections(const std::vector<MemberRecord>& members, const std::vector<const LogChange*>& changes,
                     Changed&& changed) {
  // For each member of the state reached, the project's member it is (or -1), and, once a change
  // touched it, its readings' positions in that member.
  std::vector<int> memberMap(members.size());
  for (std::size_t k = 0; k < members.size(); ++k) memberMap[k] = static_cast<int>(k);
  std::vector<std::optional<std::vector<int>>> readingMaps(members.size());
  auto readings = [&](std::size_t position) -> std::vector<int>& {
    std::optional<std::vector<int>>& map = readingMaps[position];
    if (!map) {
      const auto count = members[static_cast<std::size_t>(memberMap[position])].readings().size();
      map.emplace(count);
      for (std::size_t j = 0; j < count; ++j) (*map)[j] = static_cast<int>(j);
    }
    return *map;
  };
  for (std::size_t n = changes.size(); n-- > 0;) {
    const LogChange& c = *changes[n];
    const auto position = static_cast<std::size_t>(c.member);
    if (c.member < 0 || c.kind == LogKind::Ticks || c.kind == LogKind::Parameter ||
        c.kind == LogKind::MemberField) {
      continue;
    }
    if (c.kind == LogKind::MemberRemoved) {
      if (position > memberMap.size()) break;
      const std::optional<MemberRecord> removed = memberOf(c.data);
      memberMap.insert(memberMap.begin() + static_cast<std::ptrdiff_t>(position), -1);
      readingMaps.insert(readingMaps.begin() + static_cast<std::ptrdiff_t>(position),
                         std::vector<int>(removed ? removed->readings().size() : 0, -1));
      continue;
    }
    if (position >= memberMap.size()) break;  // the members no longer fit the log
    if (c.kind == LogKind::MemberAdded) {
      memberMap.erase(memberMap.begin() + static_cast<std::ptrdiff_t>(position));
      readingMaps.erase(readingMaps.begin() + static_cast<std::ptrdiff_t>(position));
      continue;
    }
    std::vector<int>& map = readings(position);
    const auto index = static_cast<std::size_t>(c.reading);
    if (c.reading < 0 || index > map.size() || (c.kind != LogKind::ReadingRemoved && index == map.size()))
      break;
    if (c.kind == LogKind::ReadingChanged && memberMap[position] >= 0 && map[index] >= 0) {
      changed(memberMap[position], map[index], n);
    } else if (c.kind == LogKind::ReadingAdded) {
      map.erase(map.begin() + static_cast<std::ptrdiff_t>(index));
    } else if (c.kind == LogKind::ReadingRemoved) {
      map.insert(map.begin() + static_cast<std::ptrdiff_t>(index), -1);
    }
  }
}

}  // namespace

std::vector<std::vector<bool>> correctedReadings(const std::vector<MemberRecord>& members,
                                                 const std::vector<const LogChange*>& changes) {
  std::vector<std::vector<bool>> corrected(members.size());
  for (std::size_t k = 0; k < members.size(); ++k) corrected[k].resize(members[k].readings().size());
  walkCorrections(members, changes, [&](int member, int reading, std::size_t) {
    corrected[static_cast<std::size_t>(member)][static_cast<std::size_t>(reading)] = true;
  });
  return corrected;
}

std::map<std::pair<int, int>, ReadingCorrection> readingCorrections(
    const std::vector<MemberRecord>& members, const std::vector<const LogChange*>& changes) {
  std::map<std::pair<int, int>, ReadingCorrection> out;
  // Walked from the newest change: the first seen is the newest, the last seen holds the original.
  walkCorrections(members, changes, [&](int member, int reading, std::size_t n) {
    auto [it, first] = out.try_emplace({member, reading});
    if (first) it->second.change = n;
    it->second.original = changes[n]->oldValue;
  });
  return out;
}

EntryTexts entryTexts(const LogEntry& e) {
  EntryTexts t;
  const LogChange& c = e.change;
  t.member = utf8(c.code);
  if (c.reading >= 0) t.reading = std::to_string(std::int64_t{c.reading} + 1);
  t.field = utf8(c.field);
  t.oldValue = utf8(c.oldValue);
  t.newValue = utf8(c.newValue);
  switch (c.kind) {
    case LogKind::NewSegment:
      t.field = "新的修改记录（之前的已损坏）";
      break;
    case LogKind::ReadingAdded:
      t.field = "增加测点";
      break;
    case LogKind::ReadingRemoved:
      t.field = "删除测点";
      break;
    case LogKind::MemberAdded:
      t.field = "增加构件";
      break;
    case LogKind::MemberRemoved:
      t.field = "删除构件";
      break;
    default:
      break;
  }
  t.who = utf8(e.who);
  t.account = utf8(e.account);
  t.host = utf8(e.host);
  t.when = e.when;
  t.why = utf8(e.why);
  t.hash = hexOf(e.hash);
  return t;
}

OriginCounts originCounts(const std::vector<MemberRecord>& members,
                          const std::vector<std::vector<bool>>& corrected) {
  OriginCounts n;
  for (std::size_t k = 0; k < members.size(); ++k) {
    const std::vector<Reading>& readings = members[k].readings();
    for (std::size_t j = 0; j < readings.size(); ++j) {
      switch (readings[j].origin) {
        case ReadingOrigin::Transfer:
          ++n.transfer;
          break;
        case ReadingOrigin::InstrumentFile:
          ++n.instrumentFile;
          break;
        case ReadingOrigin::Imported:
          ++n.imported;
          break;
        case ReadingOrigin::Typed:
          ++n.typed;
          break;
        case ReadingOrigin::Unrecorded:
          ++n.unrecorded;
          break;
      }
      if (k < corrected.size() && j < corrected[k].size() && corrected[k][j]) ++n.corrected;
    }
  }
  return n;
}

std::string recordSummary(const OriginCounts& n, std::size_t entries) {
  std::string text;
  const std::pair<const char*, int> parts[] = {{"传输", n.transfer},
                                               {"仪器文件", n.instrumentFile},
                                               {"导入", n.imported},
                                               {"手工", n.typed},
                                               {"未记录", n.unrecorded}};
  for (const auto& [name, count] : parts) {
    if (count > 0) text += std::string(text.empty() ? "" : "，") + name + " " + std::to_string(count);
  }
  if (text.empty()) text = "无测点";
  return "测点来源：" + text + "；修改过 " + std::to_string(n.corrected) + " 个测点，修改记录 " +
         std::to_string(entries) + " 条";
}

ShownRecord shownRecord(const Project& project, const std::vector<int>& members) {
  ShownRecord shown;
  const std::vector<const LogChange*> changes = changesSinceBeginning(project.log);
  shown.logFirst = project.log.size() - changes.size();
  if (!changes.empty()) shown.corrections = readingCorrections(project.members, changes);
  for (int index : members) {
    const MemberRecord* m = project.memberAt(index);
    if (m == nullptr) continue;
    for (std::size_t j = 0; j < m->readings().size() && !shown.legend; ++j) {
      shown.legend = !readingMark(m->readings()[j], false).empty() ||
                     shown.corrections.count({index, static_cast<int>(j)}) > 0;
    }
  }
  return shown;
}

std::string struckValue(const ReadingCorrection& correction) {
  const std::string original = utf8(correction.original);
  return original.substr(0, original.find('/'));
}

ListedEntry listedEntry(const LogEntry& entry) {
  EntryTexts t = entryTexts(entry);
  std::string when = t.when.substr(0, 16);
  if (when.size() > 10) when[10] = ' ';
  return {std::move(t.member),
          t.reading.empty() ? std::move(t.field) : std::move(t.reading),
          std::move(t.oldValue),
          std::move(t.newValue),
          t.who.empty() ? std::move(t.account) : std::move(t.who),
          std::move(when),
          std::move(t.why)};
}

std::string readingMark(const Reading& reading, bool corrected) {
  std::string mark = corrected ? "改" : "";
  switch (reading.origin) {
    case ReadingOrigin::Typed:
      return mark + "手";
    case ReadingOrigin::Imported:
      return mark + "导";
    case ReadingOrigin::InstrumentFile:
      return mark + "仪";
    default:
      return mark;
  }
}

}  // namespace kro
