// Conversion between GBK (code page 936, the instrument's and the file's encoding) and UTF-8
// by the system's converter.
#pragma once

#include <string>
#include <string_view>

namespace kro::platform {

enum class Conversion { GbkToUtf8, Utf8ToGbk };

// Whether the system can convert at all (iconv may lack CP936).
bool canConvert(Conversion conversion);
// Converts as much of in as possible, appending to out, and advances in past what was
// converted: 0 when all of it was, otherwise an error number (EILSEQ: in starts with something
// the other encoding cannot hold or that is not valid in its own; EINVAL: it ends inside a
// character).
int convertText(Conversion conversion, std::string_view& in, std::string& out);

}  // namespace kro::platform
