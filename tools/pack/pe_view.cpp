#include "pe_view.hpp"

#include "pack_error.hpp"

namespace tarvek {

namespace {

uint32_t le(std::span<const uint8_t> bytes, size_t at, size_t count)
{
    uint32_t value = 0;
    for (size_t i = count; i > 0; --i)
        value = value << 8 | bytes[at + i - 1];
    return value;
}

constexpr size_t new_header_pointer = 0x3C;
constexpr size_t coff_header_size = 20;
constexpr size_t section_header_size = 40;
// In the PE32+ optional header: the count of data directories, then the
// directories, 8 bytes each; the export table is the first.
constexpr size_t directory_count_field = 108;
constexpr size_t directories = 112;

} // namespace

std::optional<pe_view> read_pe(std::span<const uint8_t> bytes)
{
    if (bytes.size() < 64 || bytes[0] != 'M' || bytes[1] != 'Z')
        return std::nullopt;
    const size_t signature = le(bytes, new_header_pointer, 4);
    const size_t coff = signature + 4;
    if (coff + coff_header_size > bytes.size() || le(bytes, signature, 4) != 0x00004550)
        return std::nullopt;
    pe_view pe;
    pe.machine = static_cast<uint16_t>(le(bytes, coff, 2));
    pe.characteristics = static_cast<uint16_t>(le(bytes, coff + 18, 2));
    const size_t optional = coff + coff_header_size;
    const size_t optional_size = le(bytes, coff + 16, 2);
    const size_t count = le(bytes, coff + 2, 2);
    const size_t table = optional + optional_size;
    if (table + count * section_header_size > bytes.size() || optional_size < 2)
        return std::nullopt;
    pe.magic = static_cast<uint16_t>(le(bytes, optional, 2));
    if (pe.magic == pe32_plus_magic && optional_size >= directories + 8 &&
        le(bytes, optional + directory_count_field, 4) >= 1) {
        pe.export_rva = le(bytes, optional + directories, 4);
        pe.export_size = le(bytes, optional + directories + 4, 4);
    }
    for (size_t i = 0; i < count; ++i) {
        const size_t at = table + i * section_header_size;
        pe_section section;
        for (size_t k = 0; k < 8 && bytes[at + k] != 0; ++k)
            section.name += static_cast<char>(bytes[at + k]);
        section.virtual_size = le(bytes, at + 8, 4);
        section.virtual_address = le(bytes, at + 12, 4);
        section.raw_size = le(bytes, at + 16, 4);
        section.raw_offset = le(bytes, at + 20, 4);
        pe.sections.push_back(section);
    }
    return pe;
}

std::span<const uint8_t> pe_bytes_at(const pe_view &pe, std::span<const uint8_t> file, uint32_t rva, uint32_t size)
{
    for (const pe_section &section : pe.sections) {
        const uint64_t start = section.virtual_address;
        if (rva < start || uint64_t{rva} + size > start + section.raw_size)
            continue;
        const uint64_t offset = section.raw_offset + (rva - start);
        if (offset + size > file.size())
            return {};
        return file.subspan(static_cast<size_t>(offset), size);
    }
    return {};
}

std::vector<std::string> pe_export_names(const pe_view &pe, std::span<const uint8_t> file, const std::string &shown)
{
    std::vector<std::string> names;
    if (pe.export_rva == 0 || pe.export_size == 0)
        return names;
    auto broken = [&] { return pack_error(shown + ": its export table points outside the file"); };
    // Export directory: number of names at 24, the name pointer table at 32.
    std::span<const uint8_t> directory = pe_bytes_at(pe, file, pe.export_rva, 40);
    if (directory.empty())
        throw broken();
    const uint32_t count = le(directory, 24, 4);
    std::span<const uint8_t> pointers = pe_bytes_at(pe, file, le(directory, 32, 4), count * 4);
    if (count > (1u << 20) || (count > 0 && pointers.empty()))
        throw broken();
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t rva = le(pointers, 4 * i, 4);
        std::string name;
        for (uint32_t k = 0;; ++k) {
            std::span<const uint8_t> byte = pe_bytes_at(pe, file, rva + k, 1);
            if (byte.empty() || k > 4096)
                throw broken();
            if (byte[0] == 0)
                break;
            name += static_cast<char>(byte[0]);
        }
        names.push_back(std::move(name));
    }
    return names;
}

} // namespace tarvek
