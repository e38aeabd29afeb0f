#include "image/launcher_settings.hpp"

#include <cctype>
#include <charconv>

#include "common/error.hpp"
#include "common/utf.hpp"

namespace tarvek {

std::string version_text(const std::array<uint16_t, 4> &version)
{
    std::string text = std::to_string(version[0]);
    for (size_t i = 1; i < version.size(); ++i) {
        text += '.';
        text += std::to_string(version[i]);
    }
    return text;
}

std::array<uint16_t, 4> parse_version(std::string_view text)
{
    std::array<uint16_t, 4> version{};
    const std::string quoted = "version '" + printable(text) + "'";
    const char *at = text.data();
    const char *end = text.data() + text.size();
    for (size_t i = 0; i < version.size(); ++i) {
        if (i > 0) {
            if (at == end)
                return version; // the numbers not given are 0
            if (*at != '.')
                throw tool_error(quoted + " is not one to four numbers A[.B[.C[.D]]]");
            ++at;
        }
        if (at == end || *at < '0' || *at > '9')
            throw tool_error(quoted + " is not one to four numbers A[.B[.C[.D]]]");
        auto [next, error] = std::from_chars(at, end, version[i]);
        if (error != std::errc())
            throw tool_error(quoted + ": each number must be at most 65535");
        at = next;
    }
    if (at != end)
        throw tool_error(quoted + " is not one to four numbers A[.B[.C[.D]]]");
    return version;
}

std::string file_description(const launcher_settings &settings)
{
    return settings.description.value_or(settings.internal_name + ".exe");
}

std::string default_internal_name(const std::filesystem::path &output)
{
    std::string name = output.filename().string();
    if (name.size() > 4) {
        std::string ending = name.substr(name.size() - 4);
        for (char &c : ending)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ending == ".exe")
            name.resize(name.size() - 4);
    }
    return name;
}

namespace {

void check_text(const char *what, const std::string &text)
{
    if (!is_utf8(text))
        throw tool_error(std::string(what) + ": not valid UTF-8: '" + printable(text) + "'");
    const std::u16string units = utf8_to_utf16(text);
    if (units.empty())
        throw tool_error(std::string(what) + " must not be empty");
    if (units.size() > max_setting_units)
        throw tool_error(std::string(what) + " '" + text + "' is longer than " +
                          std::to_string(max_setting_units) + " UTF-16 units");
    for (char16_t unit : units)
        if (unit < 0x20 || unit == 0x7F)
            throw tool_error(std::string(what) + " '" + text + "' holds a control character");
}

} // namespace

void check_settings(const launcher_settings &settings)
{
    check_text("company", settings.company);
    check_text("product", settings.product);
    if (!settings.internal_name.empty()) {
        check_text("internal name", settings.internal_name);
        const std::string &name = settings.internal_name;
        if (name.find_first_of("<>:\"/\\|?*") != std::string::npos || name.back() == '.' || name.back() == ' ')
            throw tool_error("internal name '" + name + "' is not a file name (OriginalFilename is it plus .exe)");
    }
    if (settings.description)
        check_text("description", *settings.description);
    if (!settings.icons.empty() && settings.icons.size() != icon_sizes.size())
        throw tool_error("give no icon or seven icons (16, 24, 32, 48, 64, 128, 256 pixels), not " +
                          std::to_string(settings.icons.size()));
}

} // namespace tarvek
