// Just enough of the PE format to check a main library and to find a
// launcher's payload: the headers, the sections and the export names.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarvek {

constexpr uint16_t machine_amd64 = 0x8664;
constexpr uint16_t file_is_dll = 0x2000;
constexpr uint16_t pe32_plus_magic = 0x20B;

struct pe_section {
    std::string name;
    uint32_t virtual_address = 0;
    uint32_t virtual_size = 0;
    uint32_t raw_offset = 0;
    uint32_t raw_size = 0;
};

struct pe_view {
    uint16_t machine = 0;
    uint16_t characteristics = 0;
    uint16_t magic = 0; // of the optional header
    // Export directory: relative virtual address and size; 0 when absent.
    uint32_t export_rva = 0;
    uint32_t export_size = 0;
    std::vector<pe_section> sections;
};

// Reads the headers. Returns nothing when `bytes` do not start with the MZ
// header, a PE signature where it points, and a section table within the
// file: not a Windows executable or library at all.
std::optional<pe_view> read_pe(std::span<const uint8_t> bytes);

// The bytes behind a relative virtual address range, within one section's
// stored data; empty when the range is not stored in the file.
std::span<const uint8_t> pe_bytes_at(const pe_view &pe, std::span<const uint8_t> file, uint32_t rva,
                                     uint32_t size);

// The names in the export table; empty when it has none. Throws pack_error
// (with `shown` as the file's name) when the table points outside the file.
std::vector<std::string> pe_export_names(const pe_view &pe, std::span<const uint8_t> file, const std::string &shown);

} // namespace tarvek
