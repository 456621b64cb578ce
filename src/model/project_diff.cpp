// Pairing members by code and comparing readings.
#include "model/project_diff.h"

#include <algorithm>
#include <map>

#include "model/gbk_text.h"

namespace kro {

ProjectDiff diffProjects(const Project& original, const Project& edited) {
  ProjectDiff d;
  // The original's members of each code, in order; each is taken by the edited member of the
  // same code and rank.
  std::map<std::string, std::vector<int>> byCode;
  for (int i = 0; i < original.memberCount(); ++i) byCode[original.memberAt(i)->code()].push_back(i);
  std::map<std::string, std::size_t> taken;
  std::vector<bool> paired(static_cast<std::size_t>(original.memberCount()), false);
  d.originalOf.resize(static_cast<std::size_t>(edited.memberCount()));
  for (int e = 0; e < edited.memberCount(); ++e) {
    const std::string& code = edited.memberAt(e)->code();
    auto found = byCode.find(code);
    std::size_t& rank = taken[code];
    if (found == byCode.end() || rank >= found->second.size()) {
      d.addedMembers.push_back(e);
      continue;
    }
    const int o = found->second[rank++];
    paired[static_cast<std::size_t>(o)] = true;
    d.originalOf[static_cast<std::size_t>(e)] = o;
  }
  for (int o = 0; o < original.memberCount(); ++o) {
    if (!paired[static_cast<std::size_t>(o)]) d.removedMembers.push_back(o);
  }
  for (int e = 0; e < edited.memberCount(); ++e) {
    const std::optional<int> o = d.originalOf[static_cast<std::size_t>(e)];
    if (!o) continue;
    const MemberRecord& before = *original.memberAt(*o);
    const MemberRecord& after = *edited.memberAt(e);
    const int common = std::min(before.readingCount(), after.readingCount());
    for (int j = 0; j < common; ++j) {
      if (before.readingAt(j) != after.readingAt(j))
        d.changed.push_back({e, j, before.readingAt(j), after.readingAt(j)});
    }
    for (int j = common; j < after.readingCount(); ++j) d.addedReadings.push_back({e, j, after.readingAt(j)});
    auto field = [&](const char* name, std::string from, std::string to) {
      if (from != to) d.fields.push_back({e, name, std::move(from), std::move(to)});
    };
    auto band = [](const MemberRecord& m) {
      return std::to_string(m.minusDeviation()) + "/" + (m.plusDeviation() > 0 ? "+" : "") +
             std::to_string(m.plusDeviation());
    };
    field("设计厚度", std::to_string(before.designThickness()), std::to_string(after.designThickness()));
    field("允许偏差", band(before), band(after));
    field("测试日期", gbkToUtf8(before.testDate()), gbkToUtf8(after.testDate()));
    field("构件名称", gbkToUtf8(before.name()), gbkToUtf8(after.name()));
    field("勾选", before.selected() != 0 ? "是" : "否", after.selected() != 0 ? "是" : "否");
    for (int j = common; j < before.readingCount(); ++j)
      d.removedReadings.push_back({*o, j, before.readingAt(j)});
  }
  return d;
}

}  // namespace kro
