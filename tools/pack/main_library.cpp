#include "main_library.hpp"

#include <cstdio>

#include "mapped_file.hpp"
#include "pack_error.hpp"
#include "pe_view.hpp"
#include "windows_names.hpp"

namespace tarvek {

namespace {

std::string hex16(uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

} // namespace

void check_main_library(std::span<const uint8_t> bytes, const std::string &shown)
{
    std::optional<pe_view> pe = read_pe(bytes);
    if (!pe)
        throw pack_error(shown + ": not a Windows library (no PE header); the main library must be a 64-bit DLL");
    if (pe->machine != machine_amd64)
        throw pack_error(shown + ": built for machine " + hex16(pe->machine) + ", not x86-64 (0x8664)" +
                         (pe->machine == 0x014C ? ": a 32-bit library" : ""));
    if (pe->magic != pe32_plus_magic)
        throw pack_error(shown + ": not a PE32+ (64-bit) image");
    if ((pe->characteristics & file_is_dll) == 0)
        throw pack_error(shown + ": a program, not a library (DLL)");
    std::vector<std::string> names = pe_export_names(*pe, bytes, shown);
    std::string near;
    for (const std::string &name : names) {
        if (name == entry_point_name)
            return;
        if (near.empty() && name.find(entry_point_name) != std::string::npos)
            near = name;
    }
    if (!near.empty())
        throw pack_error(shown + ": exports no run_code but '" + printable(near) +
                         "': declare it extern \"C\" so that its name is not decorated");
    throw pack_error(shown + (names.empty() ? ": exports nothing" : ": does not export run_code") +
                     "; the launcher calls its export run_code");
}

void check_main_library_file(const std::filesystem::path &path)
{
    mapped_file file(path);
    check_main_library(file.bytes(), printable(path.string()));
}

} // namespace tarvek
