#include "pack/run_program.hpp"

#include <vector>

#include "common/error.hpp"
#include "common/mapped_file.hpp"
#include "common/utf.hpp"
#include "image/adapter_link.hpp"
#include "pack/launcher_payload.hpp"
#include "pack/pe_exports.hpp"
#include "pack/x64_image.hpp"

namespace tarvek {

namespace fs = std::filesystem;

namespace {

// Longer than any entry name a launcher unpacks: a damaged text.
constexpr size_t longest_program_name = 32768;

} // namespace

std::u16string run_program_name(const std::string &given, const fs::path &application)
{
    const std::string quoted = "--run '" + printable(given) + "'";
    const std::string folder = printable(application.string());
    if (given.empty() || given[0] == '/' || given[0] == '\\' || (given.size() > 1 && given[1] == ':'))
        throw tool_error(quoted + ": give the program's path relative to the application folder " + folder);
    if (!is_utf8(given))
        throw tool_error(quoted + ": the name is not valid UTF-8");
    std::vector<std::string> components;
    size_t start = 0;
    for (size_t end = 0; end <= given.size(); ++end) {
        if (end < given.size() && given[end] != '/' && given[end] != '\\')
            continue;
        const std::string component = given.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".")
            continue;
        if (component != "..") {
            components.push_back(component);
            continue;
        }
        if (components.empty())
            throw tool_error(quoted + ": leads out of the application folder " + folder);
        components.pop_back();
    }
    std::string name;
    fs::path host = application;
    for (const std::string &component : components) {
        name += (name.empty() ? "" : "\\") + component;
        host /= component;
    }
    std::error_code error;
    if (components.empty() || !fs::is_regular_file(host, error))
        throw tool_error(quoted + ": no such file in the application folder " + folder);
    return utf8_to_utf16(name);
}

void check_run_program(std::span<const uint8_t> bytes, const std::string &shown)
{
    const std::string role = "--run starts a 64-bit Windows program (.exe)";
    const pe::headers headers = read_x64_image(bytes, shown, image_kind::program, role);
    const uint16_t subsystem = pe::u16(&bytes[headers.optional_offset + pe::optional::subsystem]);
    if (subsystem != subsystem_windowed && subsystem != subsystem_console)
        throw tool_error(shown + ": built for subsystem " + std::to_string(subsystem) +
                         ", not a windowed (2) or console (3) program; " + role);
}

void check_run_program_file(const fs::path &path, const std::string &shown)
{
    mapped_file file(path);
    check_run_program(file.bytes(), shown);
}

std::optional<std::u16string> program_run_by(std::span<const uint8_t> bytes, const std::string &shown)
{
    const pe::headers headers = pe::read_headers(bytes, shown);
    const std::optional<uint32_t> address = pe_export_address(headers, bytes, run_program_symbol, shown);
    if (!address)
        return std::nullopt;
    std::u16string name;
    for (uint32_t at = *address;; at += 2) {
        std::span<const uint8_t> unit = pe_bytes_at(headers, bytes, at, 2);
        if (unit.empty() || name.size() > longest_program_name)
            throw tool_error(shown + ": its " + run_program_symbol + " is no text within the file");
        if (pe::u16(unit.data()) == 0)
            return name;
        name += static_cast<char16_t>(pe::u16(unit.data()));
    }
}

} // namespace tarvek
