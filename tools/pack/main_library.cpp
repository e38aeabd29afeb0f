#include "pack/main_library.hpp"

#include <cstdio>

#include "common/error.hpp"
#include "common/mapped_file.hpp"
#include "common/utf.hpp"
#include "image/pe_format.hpp"
#include "pack/pe_exports.hpp"

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
    constexpr uint16_t machine_amd64 = 0x8664, machine_i386 = 0x014C, file_is_dll = 0x2000;
    // The machine first: a 32-bit library has no PE32+ header to read.
    const bool signed_pe = bytes.size() >= pe::dos_new_header_offset + 4 && bytes[0] == 'M' && bytes[1] == 'Z' &&
                           pe::u32(&bytes[pe::dos_new_header_offset]) <= bytes.size() - pe::signature_size - 2 &&
                           pe::u32(&bytes[pe::u32(&bytes[pe::dos_new_header_offset])]) == 0x00004550;
    if (!signed_pe)
        throw tool_error(shown + ": not a Windows library (no PE header); the main library must be a 64-bit DLL");
    const uint16_t machine = pe::u16(&bytes[pe::u32(&bytes[pe::dos_new_header_offset]) + pe::signature_size]);
    if (machine != machine_amd64)
        throw tool_error(shown + ": built for machine " + hex16(machine) + ", not x86-64 (0x8664)" +
                         (machine == machine_i386 ? ": a 32-bit library" : ""));
    pe::headers headers;
    try {
        headers = pe::read_headers(bytes, shown);
    } catch (const tool_error &) {
        throw tool_error(shown + ": not a PE32+ (64-bit) image");
    }
    if ((pe::u16(&bytes[headers.coff_offset + pe::coff::characteristics]) & file_is_dll) == 0)
        throw tool_error(shown + ": a program, not a library (DLL)");
    std::vector<std::string> names = pe_export_names(headers, bytes, shown);
    std::string near;
    for (const std::string &name : names) {
        if (name == entry_point_name)
            return;
        if (near.empty() && name.find(entry_point_name) != std::string::npos)
            near = name;
    }
    if (!near.empty())
        throw tool_error(shown + ": exports no run_code but '" + printable(near) +
                         "': declare it extern \"C\" so that its name is not decorated");
    throw tool_error(shown + (names.empty() ? ": exports nothing" : ": does not export run_code") +
                     "; the launcher calls its export run_code");
}

void check_main_library_file(const std::filesystem::path &path)
{
    mapped_file file(path);
    check_main_library(file.bytes(), printable(path.string()));
}

} // namespace tarvek
