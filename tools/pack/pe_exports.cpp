#include "pack/pe_exports.hpp"

#include "common/error.hpp"

namespace tarvek {

namespace {

// Export directory fields.
constexpr size_t export_directory_size = 40, number_of_names = 24, address_of_names = 32;
// More names than any library has: a damaged count.
constexpr uint32_t most_export_names = 1u << 20;
constexpr uint32_t longest_export_name = 4096;

} // namespace

std::span<const uint8_t> pe_bytes_at(const pe::headers &headers, std::span<const uint8_t> file, uint32_t rva,
                                     uint32_t size)
{
    for (const pe::section &section : headers.sections) {
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

std::vector<std::string> pe_export_names(const pe::headers &headers, std::span<const uint8_t> file,
                                         const std::string &shown)
{
    std::vector<std::string> names;
    const uint8_t *optional = file.data() + headers.optional_offset;
    if (pe::u32(optional + pe::optional::number_of_rva_and_sizes) <= pe::directory::export_table)
        return names;
    const uint8_t *entry = optional + pe::optional::data_directories + 8 * pe::directory::export_table;
    const uint32_t rva = pe::u32(entry);
    if (rva == 0 || pe::u32(entry + 4) == 0)
        return names;
    auto broken = [&] { return tool_error(shown + ": its export table points outside the file"); };
    std::span<const uint8_t> directory = pe_bytes_at(headers, file, rva, export_directory_size);
    if (directory.empty())
        throw broken();
    const uint32_t count = pe::u32(&directory[number_of_names]);
    if (count > most_export_names)
        throw broken();
    std::span<const uint8_t> pointers = pe_bytes_at(headers, file, pe::u32(&directory[address_of_names]), count * 4);
    if (count > 0 && pointers.empty())
        throw broken();
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t name_rva = pe::u32(&pointers[4 * i]);
        std::string name;
        for (uint32_t k = 0;; ++k) {
            std::span<const uint8_t> byte = pe_bytes_at(headers, file, name_rva + k, 1);
            if (byte.empty() || k > longest_export_name)
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
