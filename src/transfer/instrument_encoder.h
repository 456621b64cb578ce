// The inverse of the decoder: what an instrument holding these members would send. Used by the
// virtual instrument and by tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "model/member_record.h"

namespace kro {

// The instrument's memory starts its reading area at block 252 (64-byte blocks); the member
// headers must end before it, which limits a USB image to 1,007 members.
inline constexpr std::uint32_t kUsbReadingBlock = 252;
inline constexpr std::uint32_t kUsbBlockSize = 64;
inline constexpr std::size_t kUsbMaxMembers = 1007;

// The serial block answering the start command. Refused when a member cannot be carried
// (code not four characters of digits and capital letters, design thickness or a reading
// outside 0..65535, a date without year, month and day) or the block exceeds 65,535 bytes.
Result<std::string> encodeSerialBlock(const std::vector<MemberRecord>& members);

// The USB image as the decoder sees it: header area, then all readings. The reading-area term
// R is twice the number of readings plus one, so the image is complete at its last byte.
Result<std::string> encodeUsbImage(const std::vector<MemberRecord>& members);

// The instrument's memory for a USB image: the header area at block 0 and the reading area at
// block 252, so a block request for b answers bytes 64 x b onward.
std::string usbMemoryFromImage(const std::string& image);

}  // namespace kro
