// What changed between an original project (as received) and an edited one. Members are paired
// by 测区编号, the k-th occurrence of a code in one with the k-th in the other; readings of a
// pair are compared position by position, and so are their other fields (design thickness,
// deviations, test date, name, tick).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/project.h"

namespace kro {

struct ProjectDiff {
  struct ChangedReading {
    int editedMember;  // index in the edited project
    int reading;       // from 0
    std::int32_t from, to;
  };
  struct ReadingOnOneSide {
    int member;  // index in the project that has it
    int reading;
    std::int32_t value;
  };
  std::vector<ChangedReading> changed;
  std::vector<int> addedMembers;                  // indexes in the edited project
  std::vector<int> removedMembers;                // indexes in the original
  std::vector<ReadingOnOneSide> addedReadings;    // in the edited project
  std::vector<ReadingOnOneSide> removedReadings;  // in the original
  // A field other than the readings that differs in a pair: 设计厚度, 允许偏差 ("-5/+8"), 测试日期,
  // 构件名称, 勾选 ("是"/"否"), with the values as shown (UTF-8).
  struct ChangedField {
    int editedMember;
    std::string field;
    std::string from, to;
  };
  std::vector<ChangedField> fields;
  // For each edited member, the original member paired with it.
  std::vector<std::optional<int>> originalOf;

  // Nothing differs; with readingsOnly, nothing but the members' other fields.
  bool empty(bool readingsOnly = false) const {
    return changed.empty() && addedMembers.empty() && removedMembers.empty() && addedReadings.empty() &&
           removedReadings.empty() && (readingsOnly || fields.empty());
  }
};

ProjectDiff diffProjects(const Project& original, const Project& edited);

}  // namespace kro
