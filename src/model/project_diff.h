// What changed between an original project (as received) and an edited one. Members are paired
// by 测区编号, the k-th occurrence of a code in one with the k-th in the other; readings of a
// pair are compared position by position.
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
  // For each edited member, the original member paired with it.
  std::vector<std::optional<int>> originalOf;

  bool empty() const {
    return changed.empty() && addedMembers.empty() && removedMembers.empty() && addedReadings.empty() &&
           removedReadings.empty();
  }
};

ProjectDiff diffProjects(const Project& original, const Project& edited);

}  // namespace kro
