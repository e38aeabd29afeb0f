#include "utf16_text.hpp"

#include <cstdint>

#include "payload_error.hpp"

namespace tarvek {

namespace {

[[noreturn]] void invalid(std::string_view text)
{
    throw payload_error("not valid UTF-8: '" + std::string(text) + "'");
}

// Length of the sequence that starts with `lead`, and the bits it carries;
// 0 for a byte that cannot start one.
unsigned sequence_length(unsigned char lead, uint32_t &value)
{
    if (lead < 0x80) {
        value = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        value = lead & 0x1F;
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        value = lead & 0x0F;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        value = lead & 0x07;
        return 4;
    }
    return 0;
}

} // namespace

std::u16string utf8_to_utf16(std::string_view text)
{
    constexpr uint32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    std::u16string units;
    for (size_t i = 0; i < text.size();) {
        uint32_t value = 0;
        unsigned length = sequence_length(static_cast<unsigned char>(text[i]), value);
        if (length == 0 || i + length > text.size())
            invalid(text);
        for (unsigned k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                invalid(text);
            value = value << 6 | (next & 0x3F);
        }
        if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            invalid(text);
        if (value >= 0x10000) {
            value -= 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 | value >> 10));
            units.push_back(static_cast<char16_t>(0xDC00 | (value & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(value));
        }
        i += length;
    }
    return units;
}

std::string utf16le_bytes(const std::u16string &units)
{
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t unit : units) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

} // namespace tarvek
