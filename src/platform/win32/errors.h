// The C runtime's error number for a Windows error, so that one table of reasons serves both.
#pragma once

namespace kro::platform {

int errnoFor(unsigned long error);

}  // namespace kro::platform
