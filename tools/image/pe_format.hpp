// The parts of the PE32+ format that the launcher link rewrites and the
// image check reads: field offsets, little-endian access, and the headers
// and section table of an image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarvek::pe {

inline uint16_t u16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t u32(const uint8_t *p) { return u16(p) | static_cast<uint32_t>(u16(p + 2)) << 16; }
inline uint64_t u64(const uint8_t *p) { return u32(p) | static_cast<uint64_t>(u32(p + 4)) << 32; }
inline void put_u16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put_u32(uint8_t *p, uint32_t v)
{
    put_u16(p, static_cast<uint16_t>(v));
    put_u16(p + 2, static_cast<uint16_t>(v >> 16));
}

constexpr size_t dos_new_header_offset = 0x3C; // u32: file offset of "PE\0\0"
constexpr size_t signature_size = 4;
constexpr size_t coff_header_size = 20;
constexpr size_t section_header_size = 40;
constexpr uint16_t pe32_plus_magic = 0x20B;
constexpr size_t data_directory_count = 16;

// Offsets in the COFF file header.
namespace coff {
constexpr size_t machine = 0, number_of_sections = 2, time_date_stamp = 4, pointer_to_symbol_table = 8,
                 number_of_symbols = 12, size_of_optional_header = 16, characteristics = 18;
}

// Offsets in the PE32+ optional header.
namespace optional {
constexpr size_t magic = 0, major_linker_version = 2, size_of_code = 4, size_of_initialized_data = 8,
                 size_of_uninitialized_data = 12, address_of_entry_point = 16, base_of_code = 20, image_base = 24,
                 section_alignment = 32, file_alignment = 36, major_os_version = 40, minor_os_version = 42,
                 major_image_version = 44, minor_image_version = 46, major_subsystem_version = 48,
                 minor_subsystem_version = 50, win32_version_value = 52, size_of_image = 56, size_of_headers = 60,
                 check_sum = 64, subsystem = 68, dll_characteristics = 70, size_of_stack_reserve = 72,
                 size_of_stack_commit = 80, size_of_heap_reserve = 88, size_of_heap_commit = 96, loader_flags = 104,
                 number_of_rva_and_sizes = 108, data_directories = 112;
constexpr size_t size = data_directories + 8 * data_directory_count;
} // namespace optional

// Data directory indices.
namespace directory {
constexpr size_t export_table = 0, import_table = 1, resource = 2, exception = 3, certificate = 4,
                 base_relocation = 5, debug = 6, architecture = 7, global_pointer = 8, tls = 9, load_config = 10,
                 bound_import = 11, import_address_table = 12, delay_import = 13, clr_runtime = 14, reserved = 15;
}

// Offsets in a section header.
namespace section_field {
constexpr size_t name = 0, virtual_size = 8, virtual_address = 12, size_of_raw_data = 16, pointer_to_raw_data = 20,
                 pointer_to_relocations = 24, pointer_to_line_numbers = 28, number_of_relocations = 32,
                 number_of_line_numbers = 34, characteristics = 36;
}

struct section {
    std::string name;
    uint32_t virtual_size = 0;
    uint32_t virtual_address = 0;
    uint32_t raw_size = 0;
    uint32_t raw_offset = 0;
    uint32_t characteristics = 0;
    size_t header_offset = 0; // of its section header in the file
};

struct headers {
    size_t coff_offset = 0;     // the COFF file header, after "PE\0\0"
    size_t optional_offset = 0; // the PE32+ optional header
    std::vector<section> sections;
    // Bytes from the start of the file to the end of the section table.
    size_t end = 0;
};

// Reads the headers from the first bytes of an image (at least
// headers_read_size of them, or the whole file when it is shorter). Throws
// tool_error, naming `shown`, unless they are those of a PE32+ image whose
// section table lies within `head`.
constexpr size_t headers_read_size = 4096;
headers read_headers(std::span<const uint8_t> head, const std::string &shown);

} // namespace tarvek::pe
