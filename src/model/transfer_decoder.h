// The instrument's two data layouts: end tests and decoding into members.
//
// Integers are unsigned big-endian. Serial block: 4 bytes not interpreted, member count N (2),
// total length L (2), then N entries of a 14-byte member header followed by its readings.
// USB image: 4 bytes, N (2), reading-area term R (3), 7 bytes, then N headers of 16 bytes
// (a member header and 2 spare bytes), then every member's readings back to back from
// offset 16 x (N + 1). Member header: four code values, year within the century, month, day,
// design thickness (2), reading count (2), 2 unused bytes, one byte taken as the pass rate.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "model/member_record.h"

namespace kro {

enum class TransferLayout { Serial, Usb };

inline constexpr std::string_view kNoDataMessage = "没有数据，请测试数据后再进行传输!";
inline constexpr std::string_view kTransferDoneMessage = "数据传输结束!";

// The number of bytes the data take; nothing while too few bytes are held to know it (8 for
// the serial block, 9 for the USB image). Serial: L. USB: 16 x N + 15 + R until the N headers
// are in, then 16 x (N + 1) + 2 x (sum of the reading counts), since instruments differ on
// whether R counts one byte more than the reading area.
std::optional<std::uint64_t> expectedTransferSize(TransferLayout layout, std::string_view bytes);

// Whether the expected size is held. A serial transfer is complete only once the line has also
// fallen silent after it, which the session watches.
bool transferComplete(TransferLayout layout, std::string_view bytes);

// Bytes of a serial run beyond its stated length L (an instrument that restarted its block, a
// line that added a byte); 0 for the USB image, whose last 64-byte block is padded.
std::uint64_t bytesBeyondBlock(TransferLayout layout, std::string_view bytes);

// What to make of bytes beyond a serial block: refuse them (a transfer), or decode the first
// block and name the rest in a warning (asked for by the user).
enum class ExtraBytes { Refuse, Ignore };

struct DecodedTransfer {
  std::vector<MemberRecord> members;
  std::vector<std::string> warnings;
};

// Decodes received bytes into a fresh member list, all or nothing. Refused with a message
// saying how much arrived when the bytes are fewer than the stated length, or when the member
// sizes do not add up exactly to it (serial: 8 + sum of 14 + 2n = L; USB: R is 2 x sum of n or
// one more); serial bytes after L as `extra` says, USB bytes after the reading area ignored. A
// member whose month is outside 1-12, day outside 1-31 or design thickness outside 1-9999, and
// readings of 0 or above 9999 mm, are kept and named in a warning.
Result<DecodedTransfer> decodeTransfer(TransferLayout layout, std::string_view bytes,
                                       ExtraBytes extra = ExtraBytes::Refuse);
// The refusal of a serial run longer than its block.
std::string tooManyBytesMessage(std::uint64_t extra);

// Member-code value to character: 0..9 give "0".."9", 10..35 give "A".."Z", others "0".
char memberCodeCharacter(std::uint8_t value);
// The test date as the transfer stores it: year 8, month 5, day 12 give 2008年05月12日 (GBK).
std::string transferDateText(std::uint8_t year, std::uint8_t month, std::uint8_t day);

}  // namespace kro
