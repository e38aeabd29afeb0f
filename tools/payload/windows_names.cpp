#include "payload/windows_names.hpp"

#include "common/utf.hpp"

#include <clocale>
#include <cwctype>
#include <locale.h>

#include <cstdio>

namespace tarvek {

namespace {

// Device names that Windows opens as devices wherever they stand in a path,
// with any extension: "nul.txt" is the null device. COM0, LPT0 and the
// superscript digits are in Windows' own list too.
bool is_device_name(const std::u16string &component)
{
    // The part before the first dot, with trailing spaces dropped as
    // Windows does, compared without regard to case.
    std::u16string base = component.substr(0, component.find(u'.'));
    while (!base.empty() && base.back() == u' ')
        base.pop_back();
    base = case_folded(base);
    for (const char16_t *name : {u"CON", u"PRN", u"AUX", u"NUL"})
        if (base == name)
            return true;
    if (base.size() == 4 && (base.compare(0, 3, u"COM") == 0 || base.compare(0, 3, u"LPT") == 0)) {
        char16_t digit = base[3];
        return (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' || digit == u'\u00B3';
    }
    // The console's own names, without extension.
    return base == component && (base == u"CONIN$" || base == u"CONOUT$");
}

std::string unit_text(char16_t unit)
{
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(unit));
    return text;
}

} // namespace

std::optional<std::string> component_problem(const std::u16string &component)
{
    constexpr std::u16string_view reserved = u"<>:\"/\\|?*";
    if (component.empty())
        return "is empty";
    if (component == u"." || component == u"..")
        return "is '.' or '..', which Windows takes as a folder, not a name";
    for (char16_t unit : component) {
        if (unit < 0x20 || unit == 0x7F)
            return "has control character " + unit_text(unit) + ", which Windows does not allow in file names";
        if (reserved.find(unit) != std::u16string_view::npos)
            return std::string("has '") + static_cast<char>(unit) +
                   "', which Windows does not allow in file names (none of <>:\"/\\|?*)";
    }
    if (component.back() == u'.' || component.back() == u' ')
        return std::string("ends in a ") + (component.back() == u'.' ? "dot" : "space") +
               ", which Windows drops from file names";
    if (is_device_name(component))
        return "is a device name on Windows (CON, PRN, AUX, NUL, COM0-9, LPT0-9, with or without an extension; "
               "CONIN$, CONOUT$)";
    return std::nullopt;
}

std::optional<std::string> entry_name_problem(const std::u16string &name)
{
    size_t start = 0;
    for (;;) {
        size_t end = name.find(u'\\', start);
        std::u16string component = name.substr(start, end == std::u16string::npos ? end : end - start);
        if (std::optional<std::string> problem = component_problem(component))
            return "its component '" + utf16_to_utf8(component) + "' " + *problem;
        if (end == std::u16string::npos)
            return std::nullopt;
        start = end + 1;
    }
}

std::u16string case_folded(const std::u16string &name)
{
    // The C library's wide case mapping follows the locale: take it from
    // UTF-8, whatever the environment says.
    static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    std::u16string folded = name;
    for (char16_t &unit : folded) {
        if (unit >= u'a' && unit <= u'z') {
            unit = static_cast<char16_t>(unit - u'a' + u'A');
        } else if (unit >= 0x80 && (unit < 0xD800 || unit > 0xDFFF) && utf8 != static_cast<locale_t>(0)) {
            wint_t upper = towupper_l(static_cast<wint_t>(unit), utf8);
            if (upper <= 0xFFFF && (upper < 0xD800 || upper > 0xDFFF))
                unit = static_cast<char16_t>(upper);
        }
    }
    return folded;
}

} // namespace tarvek
