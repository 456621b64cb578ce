// The system's local time.
#pragma once

#include <ctime>

namespace kro::platform {

// A moment in the local time zone, with daylight saving time as the system has it.
std::tm localTime(std::time_t when);
// Local fields read as if they were UTC: the moment those fields name in UTC. The difference to
// the moment the fields came from is the local offset.
std::time_t fieldsAsUtc(std::tm fields);

}  // namespace kro::platform
