// UTF-8 host text to the UTF-16 units that payload names are made of.
#pragma once

#include <string>
#include <string_view>

namespace tarvek {

// Strict conversion: invalid UTF-8 (bad sequences, overlong forms, encoded
// surrogates, values above U+10FFFF) throws payload_error naming the text.
std::u16string utf8_to_utf16(std::string_view text);

// UTF-16LE bytes of the units, without a terminator.
std::string utf16le_bytes(const std::u16string &units);

} // namespace tarvek
