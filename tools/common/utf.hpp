// Text between the host's UTF-8 and the UTF-16 of Windows names, converted
// by utfcpp, and host text made fit for one line of a message.
#pragma once

#include <string>
#include <string_view>

namespace tarvek {

// Whether `text` is valid UTF-8: no bad sequences, overlong forms, encoded
// surrogates or values above U+10FFFF.
bool is_utf8(std::string_view text);

// Valid UTF-8 as UTF-16; anything else throws tool_error naming the text.
std::u16string utf8_to_utf16(std::string_view text);

// UTF-16 units as UTF-8 for messages; lone surrogates become U+FFFD.
std::string utf16_to_utf8(std::u16string_view units);

// UTF-16LE bytes of the units, without a terminator.
std::string utf16le_bytes(std::u16string_view units);

// Host text fit for one line of a message: bytes that are not UTF-8, and
// control characters, are shown as \xNN.
std::string printable(std::string_view text);

} // namespace tarvek
