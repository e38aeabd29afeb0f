#include "pack/x64_image.hpp"

#include <cstdio>

#include "common/error.hpp"

namespace tarvek {

namespace {

constexpr uint16_t machine_amd64 = 0x8664, machine_i386 = 0x014C;
constexpr uint16_t file_is_dll = 0x2000;
constexpr uint32_t pe_signature = 0x00004550;

std::string hex16(uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

const char *noun(image_kind kind)
{
    return kind == image_kind::library ? "library" : "program";
}

} // namespace

pe::headers read_x64_image(std::span<const uint8_t> bytes, const std::string &shown, image_kind kind,
                           const std::string &role)
{
    // The machine first: a 32-bit image has no PE32+ header to read.
    const bool signed_pe = bytes.size() >= pe::dos_new_header_offset + 4 && bytes[0] == 'M' && bytes[1] == 'Z' &&
                           pe::u32(&bytes[pe::dos_new_header_offset]) <= bytes.size() - pe::signature_size - 2 &&
                           pe::u32(&bytes[pe::u32(&bytes[pe::dos_new_header_offset])]) == pe_signature;
    if (!signed_pe)
        throw tool_error(shown + ": not a Windows " + noun(kind) + " (no PE header); " + role);
    const uint16_t machine = pe::u16(&bytes[pe::u32(&bytes[pe::dos_new_header_offset]) + pe::signature_size]);
    if (machine != machine_amd64)
        throw tool_error(shown + ": built for machine " + hex16(machine) + ", not x86-64 (0x8664)" +
                         (machine == machine_i386 ? std::string(": a 32-bit ") + noun(kind) : "") + "; " + role);
    pe::headers headers;
    try {
        headers = pe::read_headers(bytes, shown);
    } catch (const tool_error &) {
        throw tool_error(shown + ": not a PE32+ (64-bit) image; " + role);
    }
    const bool library = (pe::u16(&bytes[headers.coff_offset + pe::coff::characteristics]) & file_is_dll) != 0;
    if (library && kind == image_kind::program)
        throw tool_error(shown + ": a library (DLL), not a program; " + role);
    if (!library && kind == image_kind::library)
        throw tool_error(shown + ": a program, not a library (DLL); " + role);
    return headers;
}

} // namespace tarvek
