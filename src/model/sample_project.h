// A realistic sample project, made by our own code, for demonstrations, tests and benchmarks.
#pragma once

#include <vector>

#include "model/member_record.h"

namespace kro {

// Twelve members of the three kinds: four-character codes of digits and capital letters,
// readings around their design thickness with some outside tolerance, test dates in the
// instrument's form ("2008年05月12日"), statistics computed. Always the same members.
std::vector<MemberRecord> makeSampleProject();

// memberCount members of readingsPerMember readings each, with the same kind of values, for
// benchmarks and large-file tests.
std::vector<MemberRecord> makeLargeProject(int memberCount, int readingsPerMember);

}  // namespace kro
