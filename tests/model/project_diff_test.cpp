// Pairing members by code (k-th with k-th) and comparing readings by position.
#include "model/project_diff.h"

#include <gtest/gtest.h>

namespace kro {
namespace {

MemberRecord member(const std::string& code, std::vector<std::int32_t> readings) {
  MemberData d;
  d.code = code;
  for (std::int32_t t : readings) d.readings.push_back({0, t, 0});
  return MemberRecord(std::move(d));
}

TEST(ProjectDiff, SameProjectsHaveNoDifferences) {
  Project p;
  p.members = {member("A", {1, 2}), member("A", {3}), member("B", {})};
  const ProjectDiff d = diffProjects(p, p);
  EXPECT_TRUE(d.empty());
  EXPECT_EQ(d.originalOf, (std::vector<std::optional<int>>{0, 1, 2}));
}

TEST(ProjectDiff, ChangedAddedAndRemoved) {
  Project original, edited;
  original.members = {member("A", {120, 121, 122}), member("B", {100}), member("A", {90, 91}),
                      member("C", {5})};
  // B moved to the end, the second A lost a reading and gained none, the first A changed one
  // reading and gained two, C removed, D added, a third A added.
  edited.members = {member("A", {120, 125, 122, 130, 131}), member("A", {90}), member("D", {7}),
                    member("B", {100}), member("A", {1})};
  const ProjectDiff d = diffProjects(original, edited);
  ASSERT_EQ(d.changed.size(), 1u);
  EXPECT_EQ(d.changed[0].editedMember, 0);
  EXPECT_EQ(d.changed[0].reading, 1);
  EXPECT_EQ(d.changed[0].from, 121);
  EXPECT_EQ(d.changed[0].to, 125);
  ASSERT_EQ(d.addedReadings.size(), 2u);
  EXPECT_EQ(d.addedReadings[0].member, 0);
  EXPECT_EQ(d.addedReadings[0].reading, 3);
  EXPECT_EQ(d.addedReadings[1].value, 131);
  ASSERT_EQ(d.removedReadings.size(), 1u);
  EXPECT_EQ(d.removedReadings[0].member, 2);  // in the original
  EXPECT_EQ(d.removedReadings[0].reading, 1);
  EXPECT_EQ(d.removedReadings[0].value, 91);
  EXPECT_EQ(d.addedMembers, (std::vector<int>{2, 4}));  // D, and the third A
  EXPECT_EQ(d.removedMembers, (std::vector<int>{3}));   // C
  EXPECT_EQ(d.originalOf, (std::vector<std::optional<int>>{0, 2, std::nullopt, 1, std::nullopt}));
}

}  // namespace
}  // namespace kro
