// UTF-8 byte strings: whole characters, and texts made valid for outputs that must be UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kro {

// The length (1-4) of the UTF-8 sequence at text[i] when it is a whole, shortest encoding of a
// scalar value; 0 otherwise (a stray continuation byte, a cut sequence, an overlong form, a
// surrogate, a value beyond U+10FFFF). i < text.size().
std::size_t utf8SequenceAt(std::string_view text, std::size_t i);

// The offset of the first byte that is no part of a valid UTF-8 sequence, or npos.
std::size_t invalidUtf8At(std::string_view text);

// The text with every byte that is no UTF-8 shown as \xHH, as file names from another encoding
// are shown in messages.
std::string utf8Shown(std::string_view text);

}  // namespace kro
