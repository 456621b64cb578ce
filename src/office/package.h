// The parts of an Office Open XML package (a .docx or .xlsx zip file), read with bounded sizes,
// and the check that the XML of a written package is well-formed.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/result.h"

namespace kro {

// Every file of a package from its bytes, in archive order (folders left out). A damaged
// package, a part claiming an unreasonable size or one whose data do not match what it claims
// gives one message naming path.
using PackageParts = std::vector<std::pair<std::string, std::string>>;
Result<PackageParts> readPackage(std::string_view bytes, const std::filesystem::path& path);

// True for the UTF-8 of U+FFFE and U+FFFF at byte i, which XML 1.0 does not allow.
bool isNonCharacter(std::string_view utf8, std::size_t i);

// A text as XML 1.0 can hold it, as a reader would show it: a vertical tab or form feed (a
// manual line break or page break pasted from a word processor) becomes a line feed, tabs and
// line ends stay, other control characters and U+FFFE, U+FFFF are dropped, and bytes that are
// no UTF-8 become the replacement character U+FFFD.
std::string xmlSafeText(std::string_view utf8);

// Why serialized XML is not a well-formed XML 1.0 document, empty when it is. Without parse,
// only what can be checked byte by byte: characters, UTF-8, references, no document type.
std::string xmlProblem(std::string_view xml, bool parse = true);

// Reads back a package just written to `file` and checks the XML of every part (.xml and
// .rels); the message names `shownAs`, the file the user asked for. A part of more than 32 MB
// (a sheet of a million readings) is checked byte by byte only: its parse would take several
// times its size in memory, and its structure is the writing library's own.
Status checkWrittenPackage(const std::filesystem::path& file, const std::filesystem::path& shownAs);

}  // namespace kro
