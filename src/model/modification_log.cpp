// Sources, reading origins and the modification log.
#include "model/modification_log.h"

#include <algorithm>

#include "base/byte_io.h"
#include "base/file_errors.h"
#include "model/analysis_file.h"
#include "model/date_text.h"
#include "model/gbk_text.h"
#include "model/project.h"
#include "platform/process.h"

namespace kro {

namespace {

void putText16(std::string& out, std::string_view text) {
  const std::string_view kept = text.substr(0, 0xFFFF);
  ByteWriter(out).u16(static_cast<std::uint16_t>(kept.size()));
  out.append(kept);
}
void putText32(std::string& out, std::string_view text) {
  ByteWriter(out).u32(static_cast<std::uint32_t>(text.size()));
  out.append(text);
}
bool takeText16(ByteReader& in, std::string& text) {
  if (!in.canRead(2)) return false;
  const std::size_t length = in.u16();
  if (!in.canRead(length)) return false;
  text = std::string(in.take(length));
  return true;
}
bool takeText32(ByteReader& in, std::string& text) {
  if (!in.canRead(4)) return false;
  const std::size_t length = in.u32();
  if (!in.canRead(length)) return false;
  text = std::string(in.take(length));
  return true;
}

std::string encodeBody(const LogEntry& e) {
  std::string out;
  ByteWriter w(out);
  const LogChange& c = e.change;
  w.u8(static_cast<std::uint8_t>(c.kind));
  w.i32(c.member);
  putText16(out, c.code);
  w.i32(c.reading);
  w.i32(c.source);
  putText16(out, c.field);
  putText32(out, c.oldValue);
  putText32(out, c.newValue);
  putText16(out, e.who);
  putText16(out, e.account);
  putText16(out, e.host);
  putText16(out, e.when);
  putText32(out, e.why);
  putText32(out, c.data);
  out.append(bytesOf(e.previous));
  return out;
}

}  // namespace

std::optional<LogEntry> decodeLogEntry(std::string_view body) {
  ByteReader in(body);
  LogEntry e;
  LogChange& c = e.change;
  if (!in.canRead(5)) return std::nullopt;
  const std::uint8_t kind = in.u8();
  if (kind < 1 || kind > static_cast<std::uint8_t>(LogKind::Parameter)) return std::nullopt;
  c.kind = static_cast<LogKind>(kind);
  c.member = in.i32();
  if (!takeText16(in, c.code) || !in.canRead(8)) return std::nullopt;
  c.reading = in.i32();
  c.source = in.i32();
  if (!takeText16(in, c.field) || !takeText32(in, c.oldValue) || !takeText32(in, c.newValue) ||
      !takeText16(in, e.who) || !takeText16(in, e.account) || !takeText16(in, e.host) ||
      !takeText16(in, e.when) || !takeText32(in, e.why) || !takeText32(in, c.data) ||
      !digestFrom(in.take(32), e.previous) || in.remaining() != 0) {
    return std::nullopt;
  }
  e.body = std::string(body);
  e.hash = sha256(body);
  return e;
}

namespace {

std::string memberBytes(const MemberRecord& m) {
  return encodeMembers({m}, MemberLayout::Analysis).substr(4);
}

std::string numberText(std::int64_t value) { return std::to_string(value); }

// A member's fields as the log names them, with their texts.
struct FieldText {
  std::string_view name;
  std::string (*get)(const MemberRecord&);
};
const FieldText kMemberFields[] = {
    {"编号", [](const MemberRecord& m) { return m.code(); }},
    {"名称", [](const MemberRecord& m) { return m.name(); }},
    {"检测日期", [](const MemberRecord& m) { return m.testDate(); }},
    {"设计厚度", [](const MemberRecord& m) { return numberText(m.designThickness()); }},
    {"正偏差", [](const MemberRecord& m) { return numberText(m.plusDeviation()); }},
    {"负偏差", [](const MemberRecord& m) { return numberText(m.minusDeviation()); }},
    {"抽样批次", [](const MemberRecord& m) { return numberText(m.sample()); }},
};
const std::string& gbk(std::string_view utf8) {
  // The field names are few: each converted once.
  static std::vector<std::pair<std::string, std::string>> cache;
  for (const auto& [u, g] : cache)
    if (u == utf8) return g;
  cache.emplace_back(std::string(utf8), utf8ToGbkLossy(utf8));
  return cache.back().second;
}

// The changes of one member's readings: a common start and end, and between them an edit script
// by the longest common subsequence (pairs of removal and addition at one place become changes).
void readingChanges(const MemberRecord& before, const MemberRecord& after, std::int32_t member,
                    std::vector<LogChange>& out) {
  const std::vector<Reading>& a = before.readings();
  const std::vector<Reading>& b = after.readings();
  auto change = [&](LogKind kind, std::size_t index, const Reading* old, const Reading* now) {
    LogChange c;
    c.kind = kind;
    c.member = member;
    c.code = after.code();
    c.reading = static_cast<std::int32_t>(index);
    c.field = gbk(kFieldReading);
    if (old) c.oldValue = readingText(*old);
    if (now) c.newValue = readingText(*now);
    out.push_back(std::move(c));
  };
  std::size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  std::size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
    ++tail;
  const std::size_t n = a.size() - head - tail, m = b.size() - head - tail;
  if (n == m) {
    for (std::size_t k = 0; k < n; ++k) {
      if (!(a[head + k] == b[head + k]))
        change(LogKind::ReadingChanged, head + k, &a[head + k], &b[head + k]);
    }
    return;
  }
  // The script, from the table of common subsequence lengths (a step's middle is small).
  std::vector<std::vector<std::uint32_t>> lcs(n + 1, std::vector<std::uint32_t>(m + 1, 0));
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = m; j-- > 0;) {
      lcs[i][j] = a[head + i] == b[head + j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    }
  }
  std::size_t i = 0, j = 0, at = head;  // at: the position in the project as changed so far
  while (i < n || j < m) {
    if (i < n && j < m && a[head + i] == b[head + j]) {
      ++i, ++j, ++at;
    } else if (i < n && j < m && lcs[i + 1][j + 1] == lcs[i][j]) {
      change(LogKind::ReadingChanged, at, &a[head + i], &b[head + j]);
      ++i, ++j, ++at;
    } else if (j < m && (i == n || lcs[i][j + 1] >= lcs[i + 1][j])) {
      change(LogKind::ReadingAdded, at, nullptr, &b[head + j]);
      ++j, ++at;
    } else {
      change(LogKind::ReadingRemoved, at, &a[head + i], nullptr);
      ++i;
    }
  }
}

void memberChanges(const MemberRecord& before, const MemberRecord& after, std::int32_t member,
                   std::vector<LogChange>& out) {
  for (const FieldText& f : kMemberFields) {
    std::string old = f.get(before), now = f.get(after);
    if (old == now) continue;
    LogChange c;
    c.kind = LogKind::MemberField;
    c.member = member;
    c.code = after.code();
    c.field = gbk(f.name);
    c.oldValue = std::move(old);
    c.newValue = std::move(now);
    out.push_back(std::move(c));
  }
  readingChanges(before, after, member, out);
}

LogChange memberChange(LogKind kind, const MemberRecord& m, std::size_t position) {
  LogChange c;
  c.kind = kind;
  c.member = static_cast<std::int32_t>(position);
  c.code = m.code();
  c.field = gbk(kFieldMember);
  (kind == LogKind::MemberAdded ? c.newValue : c.oldValue) =
      m.code() + utf8ToGbkLossy("（" + std::to_string(m.readingCount()) + " 个测点）");
  c.data = memberBytes(m);
  return c;
}

}  // namespace

ProjectSource sourceOf(ProjectSource::Kind kind,
                       const std::vector<std::pair<std::filesystem::path, std::string>>& files,
                       std::size_t members, std::string codePrefix) {
  ProjectSource s;
  s.kind = kind;
  s.when = isoLocalTime(std::time(nullptr));
  s.members = static_cast<std::uint32_t>(members);
  s.codePrefix = std::move(codePrefix);
  for (const auto& [path, bytes] : files) {
    const std::filesystem::path absolute = std::filesystem::absolute(path).lexically_normal();
    s.files.push_back({displayPath(absolute.filename()), displayPath(absolute.parent_path()), sha256(bytes)});
  }
  return s;
}

std::string sourceKindName(ProjectSource::Kind kind) {
  switch (kind) {
    case ProjectSource::Kind::SerialTransfer:
      return "串口传输";
    case ProjectSource::Kind::UsbTransfer:
      return "USB 传输";
    case ProjectSource::Kind::InstrumentFiles:
      return "仪器文件";
    case ProjectSource::Kind::Import:
      return "导入";
    case ProjectSource::Kind::Merge:
      return "合并";
  }
  return "未知来源";
}

std::string originName(ReadingOrigin origin) {
  switch (origin) {
    case ReadingOrigin::Transfer:
      return "传输";
    case ReadingOrigin::InstrumentFile:
      return "仪器文件";
    case ReadingOrigin::Imported:
      return "导入";
    case ReadingOrigin::Typed:
      return "手工";
    case ReadingOrigin::Unrecorded:
      break;
  }
  return "未记录";
}

std::string originKey(ReadingOrigin origin) {
  switch (origin) {
    case ReadingOrigin::Transfer:
      return "transfer";
    case ReadingOrigin::InstrumentFile:
      return "instrumentFile";
    case ReadingOrigin::Imported:
      return "imported";
    case ReadingOrigin::Typed:
      return "typed";
    case ReadingOrigin::Unrecorded:
      break;
  }
  return "unrecorded";
}

Recorder recorderNamed(std::string name) {
  return Recorder{std::move(name), platform::accountName(), platform::hostName()};
}

LogEntry sealEntry(const LogChange& change, const Recorder& recorder, std::string_view when,
                   std::string_view why, const Sha256& previous) {
  LogEntry e;
  e.change = change;
  e.who = utf8ToGbkLossy(recorder.name);
  e.account = utf8ToGbkLossy(recorder.account);
  e.host = utf8ToGbkLossy(recorder.host);
  e.when = std::string(when);
  e.why = utf8ToGbkLossy(why);
  e.previous = previous;
  e.body = encodeBody(e);
  e.hash = sha256(e.body);
  return e;
}

std::string encodeLog(const std::vector<LogEntry>& entries) {
  std::string out;
  ByteWriter w(out);
  w.u32(static_cast<std::uint32_t>(entries.size()));
  for (const LogEntry& e : entries) {
    putText32(out, e.body);
    out.append(bytesOf(e.hash));
  }
  return out;
}

DecodedLog decodeLog(std::string_view payload) {
  DecodedLog out;
  ByteReader in(payload);
  if (!in.canRead(4)) return {{}, "修改记录不完整"};
  const std::uint32_t count = in.u32();
  // Each entry takes far more than 36 bytes, which bounds the count before anything is reserved.
  if (count > in.remaining() / 36) return {{}, "修改记录的条数超出了数据"};
  out.entries.reserve(count);
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::string number = "第 " + std::to_string(k + 1) + " 条修改记录";
    std::string body;
    Sha256 stored{};
    if (!takeText32(in, body) || !digestFrom(in.take(32), stored)) return {{}, number + "不完整"};
    std::optional<LogEntry> e = decodeLogEntry(body);
    if (!e) return {{}, number + "已损坏"};
    if (e->hash != stored) return {{}, number + "的内容与它的校验值不符（被改动过）"};
    const bool begins = e->change.kind == LogKind::Start || e->change.kind == LogKind::NewSegment;
    if (k == 0 && !begins) return {{}, "修改记录的开头缺失"};
    if (k > 0 && e->previous != out.entries.back().hash) {
      return {{}, number + "与前一条不相连（中间的记录被删除或改动过）"};
    }
    out.entries.push_back(std::move(*e));
  }
  if (in.remaining() != 0) return {{}, "修改记录末尾有多余的数据"};
  return out;
}

std::string encodeSources(const std::vector<ProjectSource>& sources) {
  std::string out;
  ByteWriter w(out);
  w.u32(static_cast<std::uint32_t>(sources.size()));
  for (const ProjectSource& s : sources) {
    w.u8(static_cast<std::uint8_t>(s.kind));
    putText16(out, s.when);
    w.u32(s.members);
    putText16(out, s.codePrefix);
    w.u16(static_cast<std::uint16_t>(std::min<std::size_t>(s.files.size(), 0xFFFF)));
    for (std::size_t k = 0; k < s.files.size() && k < 0xFFFF; ++k) {
      putText16(out, s.files[k].name);
      putText16(out, s.files[k].location);
      out.append(bytesOf(s.files[k].sha256));
    }
  }
  return out;
}

std::optional<std::vector<ProjectSource>> decodeSources(std::string_view payload) {
  ByteReader in(payload);
  if (!in.canRead(4)) return std::nullopt;
  const std::uint32_t count = in.u32();
  if (count > in.remaining() / 11) return std::nullopt;
  std::vector<ProjectSource> sources(count);
  for (ProjectSource& s : sources) {
    if (!in.canRead(1)) return std::nullopt;
    const std::uint8_t kind = in.u8();
    if (kind < 1 || kind > static_cast<std::uint8_t>(ProjectSource::Kind::Merge)) return std::nullopt;
    s.kind = static_cast<ProjectSource::Kind>(kind);
    if (!takeText16(in, s.when) || !in.canRead(4)) return std::nullopt;
    s.members = in.u32();
    if (!takeText16(in, s.codePrefix) || !in.canRead(2)) return std::nullopt;
    const std::size_t files = in.u16();
    if (files > in.remaining() / 36) return std::nullopt;
    s.files.resize(files);
    for (SourceFile& f : s.files) {
      if (!takeText16(in, f.name) || !takeText16(in, f.location) || !digestFrom(in.take(32), f.sha256))
        return std::nullopt;
    }
  }
  if (in.remaining() != 0) return std::nullopt;
  return sources;
}

std::string encodeOrigins(const std::vector<MemberRecord>& members) {
  std::string out;
  ByteWriter w(out);
  w.u32(static_cast<std::uint32_t>(members.size()));
  for (const MemberRecord& m : members) {
    std::vector<std::pair<ReadingOrigin, std::uint32_t>> runs;
    for (const Reading& r : m.readings()) {
      if (!runs.empty() && runs.back().first == r.origin) {
        ++runs.back().second;
      } else {
        runs.emplace_back(r.origin, 1);
      }
    }
    w.u32(static_cast<std::uint32_t>(runs.size()));
    for (const auto& [origin, count] : runs) {
      w.u8(static_cast<std::uint8_t>(origin));
      w.u32(count);
    }
  }
  return out;
}

bool applyOrigins(std::string_view payload, std::vector<MemberRecord>& members) {
  ByteReader in(payload);
  if (!in.canRead(4) || in.u32() != members.size()) return false;
  std::vector<std::vector<ReadingOrigin>> origins(members.size());
  for (std::size_t k = 0; k < members.size(); ++k) {
    if (!in.canRead(4)) return false;
    const std::uint32_t runs = in.u32();
    if (runs > in.remaining() / 5) return false;
    for (std::uint32_t r = 0; r < runs; ++r) {
      const std::uint8_t origin = in.u8();
      const std::uint32_t count = in.u32();
      if (origin > static_cast<std::uint8_t>(ReadingOrigin::Typed) ||
          count > static_cast<std::size_t>(members[k].readingCount()) - origins[k].size()) {
        return false;
      }
      origins[k].insert(origins[k].end(), count, static_cast<ReadingOrigin>(origin));
    }
    if (origins[k].size() != static_cast<std::size_t>(members[k].readingCount())) return false;
  }
  if (in.remaining() != 0) return false;
  for (std::size_t k = 0; k < members.size(); ++k) {
    std::vector<Reading> readings = members[k].readings();
    for (std::size_t j = 0; j < readings.size(); ++j) readings[j].origin = origins[k][j];
    members[k].setReadings(std::move(readings));
  }
  return true;
}

Sha256 memberDigest(const MemberRecord& m) {
  std::string out;
  ByteWriter w(out);
  putText16(out, m.code());
  putText16(out, m.name());
  putText16(out, m.testDate());
  w.i32(m.selected());
  w.i32(m.designThickness());
  w.i32(m.minusDeviation());
  w.i32(m.plusDeviation());
  w.i32(m.secondColumnStart());
  w.i32(m.reserved());
  w.u8(m.sample());
  w.u32(static_cast<std::uint32_t>(m.readingCount()));
  for (const Reading& r : m.readings()) {
    w.i32(r.auxValue);
    w.i32(r.thickness);
    w.i32(r.spare);
  }
  return sha256(out);
}

std::string readingText(const Reading& r) {
  if (r.auxValue == 0 && r.spare == 0) return std::to_string(r.thickness);
  return std::to_string(r.thickness) + "/" + std::to_string(r.auxValue) + "/" + std::to_string(r.spare);
}

std::optional<Reading> parseReadingText(std::string_view text) {
  Reading r;
  std::int32_t* fields[] = {&r.thickness, &r.auxValue, &r.spare};
  std::size_t at = 0;
  for (std::size_t k = 0; k < 3; ++k) {
    const std::size_t end = std::min(text.find('/', at), text.size());
    const std::string_view part = text.substr(at, end - at);
    if (part.empty() || part.size() > 11) return std::nullopt;
    try {
      std::size_t used = 0;
      const long long v = std::stoll(std::string(part), &used);
      if (used != part.size() || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
      *fields[k] = static_cast<std::int32_t>(v);
    } catch (...) {
      return std::nullopt;
    }
    if (end == text.size()) return k == 0 || k == 2 ? std::optional<Reading>(r) : std::nullopt;
    at = end + 1;
  }
  return std::nullopt;
}

LogChange startChange(const std::vector<MemberRecord>& members, std::int32_t source) {
  LogChange c;
  c.kind = LogKind::Start;
  c.source = source;
  c.field = gbk("记录开始");
  c.newValue = utf8ToGbkLossy(std::to_string(members.size()) + " 个构件");
  for (const MemberRecord& m : members) c.data.append(bytesOf(memberDigest(m)));
  return c;
}

void beginRecord(Project& project, std::optional<ProjectSource> source, const Recorder& recorder) {
  std::int32_t index = -1;
  if (source) {
    project.sources.push_back(std::move(*source));
    index = static_cast<std::int32_t>(project.sources.size() - 1);
  }
  project.log = {
      sealEntry(startChange(project.members, index), recorder, isoLocalTime(std::time(nullptr)), "", {})};
}

void recordChanges(Project& project, const std::vector<MemberRecord>& before,
                   const ProjectParameters& beforeParameters, const Recorder& recorder) {
  const std::vector<LogChange> changes = changesBetween(before, beforeParameters, project);
  if (changes.empty()) return;
  const std::string now = isoLocalTime(std::time(nullptr));
  if (project.log.empty()) project.log.push_back(sealEntry(startChange(before, -1), recorder, now, "", {}));
  for (const LogChange& c : changes)
    project.log.push_back(sealEntry(c, recorder, now, "", project.log.back().hash));
}

std::vector<LogChange> changesBetween(const std::vector<MemberRecord>& before,
                                      const ProjectParameters& beforeParameters, const Project& after,
                                      const std::vector<int>* positions) {
  std::vector<LogChange> out;
  const std::vector<MemberRecord>& now = after.members;
  LogChange ticks;
  ticks.kind = LogKind::Ticks;
  ticks.field = gbk(kFieldTick);
  std::vector<std::string> tickedCodes;
  auto inPlace = [&](const MemberRecord& a, const MemberRecord& b, std::size_t k) {
    if (a.selected() != b.selected()) {
      ByteWriter w(ticks.data);
      w.u32(static_cast<std::uint32_t>(k));
      w.i32(a.selected());
      w.i32(b.selected());
      tickedCodes.push_back(b.code());
    }
    memberChanges(a, b, static_cast<std::int32_t>(k), out);
  };
  if (positions != nullptr) {
    for (std::size_t k = 0; k < positions->size() && k < before.size(); ++k) {
      const auto at = static_cast<std::size_t>((*positions)[k]);
      if (at < now.size()) inPlace(before[k], now[at], at);
    }
  } else {
    std::size_t head = 0;
    while (head < before.size() && head < now.size() && before[head] == now[head]) ++head;
    std::size_t tail = 0;
    while (tail < before.size() - head && tail < now.size() - head &&
           before[before.size() - 1 - tail] == now[now.size() - 1 - tail]) {
      ++tail;
    }
    const std::size_t removed = before.size() - head - tail, added = now.size() - head - tail;
    if (removed == added) {
      for (std::size_t k = head; k < head + added; ++k) inPlace(before[k], now[k], k);
    } else {
      // Members removed, then members added, at one place (a command adds or removes, not both).
      for (std::size_t k = 0; k < removed; ++k)
        out.push_back(memberChange(LogKind::MemberRemoved, before[head + k], head));
      for (std::size_t k = 0; k < added; ++k)
        out.push_back(memberChange(LogKind::MemberAdded, now[head + k], head + k));
    }
  }
  if (!tickedCodes.empty()) {
    ByteReader first(ticks.data);
    first.skip(8);
    const std::int32_t nowTicked = first.i32();
    ticks.member = tickedCodes.size() == 1 ? static_cast<std::int32_t>(ByteReader(ticks.data).u32()) : -1;
    for (const std::string& code : tickedCodes) ticks.code += (ticks.code.empty() ? "" : gbk("、")) + code;
    ticks.oldValue = gbk(nowTicked != 0 ? "未勾选" : "勾选");
    ticks.newValue = gbk(nowTicked != 0 ? "勾选" : "未勾选");
    if (tickedCodes.size() > 1) {
      ticks.oldValue = gbk("（各构件原样）");
      ticks.newValue = utf8ToGbkLossy(std::to_string(tickedCodes.size()) + " 个构件改变勾选");
    }
    out.insert(out.begin(), std::move(ticks));
  }
  // Parameters by name: changed, added, removed.
  const auto& a = beforeParameters.values;
  const auto& b = after.parameters.values;
  auto find = [](const auto& values, const std::string& name) -> const std::string* {
    for (const auto& [n, v] : values)
      if (n == name) return &v;
    return nullptr;
  };
  auto parameter = [&](const std::string& name, const std::string* old, const std::string* value) {
    LogChange c;
    c.kind = LogKind::Parameter;
    c.field = name;
    if (old) c.oldValue = *old;
    if (value) c.newValue = *value;
    out.push_back(std::move(c));
  };
  for (const auto& [name, value] : b) {
    const std::string* old = find(a, name);
    if (old == nullptr || *old != value) parameter(name, old, &value);
  }
  for (const auto& [name, value] : a) {
    if (find(b, name) == nullptr) parameter(name, &value, nullptr);
  }
  return out;
}

LogChange inverse(const LogChange& change) {
  LogChange c = change;
  std::swap(c.oldValue, c.newValue);
  switch (change.kind) {
    case LogKind::ReadingAdded:
      c.kind = LogKind::ReadingRemoved;
      break;
    case LogKind::ReadingRemoved:
      c.kind = LogKind::ReadingAdded;
      break;
    case LogKind::MemberAdded:
      c.kind = LogKind::MemberRemoved;
      c.source = -1;
      break;
    case LogKind::MemberRemoved:
      c.kind = LogKind::MemberAdded;
      break;
    case LogKind::Ticks: {
      // Each member's old and new tick swapped.
      std::string data;
      ByteReader in(change.data);
      ByteWriter w(data);
      while (in.canRead(12)) {
        const std::uint32_t position = in.u32();
        const std::int32_t old = in.i32();
        const std::int32_t now = in.i32();
        w.u32(position);
        w.i32(now);
        w.i32(old);
      }
      c.data = std::move(data);
      break;
    }
    default:
      break;
  }
  return c;
}

bool touchesTransferredReading(const LogChange& change, const std::vector<MemberRecord>& before,
                               const std::vector<int>* positions) {
  auto at = static_cast<std::size_t>(change.member);
  if (positions != nullptr) {
    const auto it = std::find(positions->begin(), positions->end(), change.member);
    at = static_cast<std::size_t>(it - positions->begin());
  }
  const MemberRecord* m = change.member >= 0 && at < before.size() ? &before[at] : nullptr;
  if (m == nullptr) return false;
  auto transferred = [](const Reading& r) { return r.origin == ReadingOrigin::Transfer; };
  switch (change.kind) {
    case LogKind::ReadingChanged:
    case LogKind::ReadingRemoved:
      return m->validIndex(change.reading) &&
             transferred(m->readings()[static_cast<std::size_t>(change.reading)]);
    case LogKind::MemberRemoved:
      return std::any_of(m->readings().begin(), m->readings().end(), transferred);
    default:
      return false;
  }
}

// --- LogDraft ---

void LogDraft::reset(const std::vector<MemberRecord>& members, Start start, std::int32_t source) {
  start_ = start;
  startChange_ = start == Start::AtLoad ? startChange(members, source) : LogChange{};
  startAfter_ = {};
  steps_.clear();
  pending_.clear();
}

void LogDraft::beginAfterDamage(const std::vector<MemberRecord>& members, const Sha256& damaged) {
  start_ = Start::AtLoad;
  startChange_ = startChange(members, -1);
  startChange_.kind = LogKind::NewSegment;
  startChange_.field = gbk("新的修改记录");
  startAfter_ = damaged;
  pending_.clear();
}

std::vector<std::string> reasonsUsed(const std::vector<LogEntry>& log) {
  std::vector<std::string> out;
  for (auto it = log.rbegin(); it != log.rend(); ++it) {
    if (it->why.empty()) continue;
    std::string why = gbkToUtf8(it->why);
    if (why.starts_with("撤销已保存的修改")) continue;
    if (std::find(out.begin(), out.end(), why) == out.end()) out.push_back(std::move(why));
  }
  return out;
}

void LogDraft::ran(std::size_t historySize, bool merged, std::vector<LogChange> changes, std::string when,
                   std::string why) {
  if (merged && !steps_.empty()) {
    // Keystrokes in one box: one change of the field, from its first old value to its last value.
    Step& step = steps_.back();
    for (LogChange& c : changes) {
      auto same = std::find_if(step.changes.begin(), step.changes.end(), [&](const LogChange& earlier) {
        return earlier.kind == c.kind && earlier.member == c.member && earlier.reading == c.reading &&
               earlier.field == c.field;
      });
      if (same == step.changes.end()) {
        step.changes.push_back(std::move(c));
      } else if (same->oldValue == c.newValue) {
        step.changes.erase(same);
      } else {
        same->newValue = std::move(c.newValue);
      }
    }
    if (!pending_.empty() && pending_.back().id == step.id && !pending_.back().inverse) {
      pending_.back().changes = step.changes;
    }
    return;
  }
  // The history dropped what could have been redone.
  if (historySize > 0 && steps_.size() >= historySize) steps_.resize(historySize - 1);
  Step step{nextId_++, std::move(changes), std::move(when), std::move(why)};
  pending_.push_back({step.id, false, step.changes, step.when, step.why});
  steps_.push_back(std::move(step));
}

void LogDraft::undone(std::size_t step, std::string when) {
  if (step >= steps_.size()) return;
  const Step& s = steps_[step];
  if (!pending_.empty() && pending_.back().id == s.id && !pending_.back().inverse) {
    pending_.pop_back();
    return;
  }
  std::vector<LogChange> changes;
  for (auto it = s.changes.rbegin(); it != s.changes.rend(); ++it) changes.push_back(inverse(*it));
  pending_.push_back({s.id, true, std::move(changes), std::move(when),
                      "撤销已保存的修改" + (s.why.empty() ? "" : "（原因：" + s.why + "）")});
}

void LogDraft::redone(std::size_t step, std::string when) {
  if (step >= steps_.size()) return;
  const Step& s = steps_[step];
  if (!pending_.empty() && pending_.back().id == s.id && pending_.back().inverse) {
    pending_.pop_back();
    return;
  }
  pending_.push_back({s.id, false, s.changes, std::move(when), s.why});
}

std::vector<LogEntry> LogDraft::entriesToSave(const Project& project, const Recorder& recorder) const {
  std::vector<LogEntry> out;
  Sha256 previous = project.log.empty() || start_ != Start::Continue ? startAfter_ : project.log.back().hash;
  auto add = [&](const LogChange& change, const std::string& when, const std::string& why) {
    out.push_back(sealEntry(change, recorder, when, why, previous));
    previous = out.back().hash;
  };
  const std::string now = isoLocalTime(std::time(nullptr));
  if (start_ == Start::AtSave) {
    add(startChange(project.members, -1), now, "");
    return out;
  }
  if (start_ == Start::AtLoad) add(startChange_, now, "");
  // A reading added and then changed before it was ever saved is logged once, with its last value.
  std::vector<std::pair<LogChange, const Pending*>> changes;
  for (const Pending& p : pending_) {
    for (const LogChange& c : p.changes) {
      if (c.kind == LogKind::ReadingChanged && !changes.empty()) {
        LogChange& last = changes.back().first;
        if (last.kind == LogKind::ReadingAdded && last.member == c.member && last.reading == c.reading) {
          last.newValue = c.newValue;
          continue;
        }
      }
      changes.emplace_back(c, &p);
    }
  }
  for (const auto& [change, p] : changes) add(change, p->when, p->why);
  return out;
}

void LogDraft::collect(std::vector<const LogChange*>& out) const {
  if (start_ == Start::AtSave) return;
  for (const Pending& p : pending_) {
    for (const LogChange& c : p.changes) {
      const LogChange* last = out.empty() ? nullptr : out.back();
      if (c.kind == LogKind::ReadingChanged && last != nullptr && last->kind == LogKind::ReadingAdded &&
          last->member == c.member && last->reading == c.reading) {
        continue;
      }
      out.push_back(&c);
    }
  }
}

std::size_t LogDraft::entryCount() const {
  if (start_ == Start::AtSave) return 0;  // nothing is logged before the first save
  std::vector<const LogChange*> changes;
  collect(changes);
  return changes.size() + (start_ == Start::AtLoad ? 1 : 0);
}

void LogDraft::saved() {
  start_ = Start::Continue;
  pending_.clear();
}

}  // namespace kro
