#include "common/utf.hpp"

#include <utf8.h>

#include <cstdio>

#include "common/error.hpp"

namespace tarvek {

namespace {

bool is_lead_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_trail_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

std::string escaped(unsigned char byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", byte);
    return text;
}

} // namespace

bool is_utf8(std::string_view text) { return utf8::is_valid(text); }

std::u16string utf8_to_utf16(std::string_view text)
{
    if (!is_utf8(text))
        throw tool_error("not valid UTF-8: '" + printable(text) + "'");
    return utf8::utf8to16(text);
}

std::string utf16_to_utf8(std::u16string_view units)
{
    std::u16string whole(units);
    for (size_t i = 0; i < whole.size(); ++i) {
        if (is_lead_surrogate(whole[i]) && i + 1 < whole.size() && is_trail_surrogate(whole[i + 1]))
            ++i;
        else if (is_lead_surrogate(whole[i]) || is_trail_surrogate(whole[i]))
            whole[i] = u'\uFFFD';
    }
    return utf8::utf16to8(whole);
}

std::string utf16le_bytes(std::u16string_view units)
{
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t unit : units) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

std::string printable(std::string_view text)
{
    std::string out;
    while (!text.empty()) {
        const size_t bad = utf8::find_invalid(text);
        // Within valid UTF-8 every byte below 0x80 is a character of its own.
        for (char c : text.substr(0, bad)) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7F)
                out += escaped(byte);
            else
                out += c;
        }
        if (bad == std::string_view::npos)
            break;
        out += escaped(static_cast<unsigned char>(text[bad]));
        text.remove_prefix(bad + 1);
    }
    return out;
}

} // namespace tarvek
