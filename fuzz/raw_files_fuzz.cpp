// Fuzz target: the index-file and member-data-file readers.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/raw_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (auto index = kro::decodeIndexFile(bytes)) {
    for (const std::string& code : index.value().codes) {
      if (code.size() > 10) std::abort();
      kro::isSafeMemberCode(code);
    }
  }
  if (auto member = kro::decodeMemberDataFile(bytes)) {
    const kro::MemberRecord& m = member.value().member;
    // Never more readings than the file holds.
    if (static_cast<std::size_t>(m.readingCount()) > (size - kro::kMemberDataHeaderSize) / 2) std::abort();
    if (m.code().size() > kro::MemberRecord::kCodeCapacity) std::abort();
    if (m.testDate().size() > kro::MemberRecord::kDateCapacity) std::abort();
  }
  return 0;
}
