#include "pack/pe_exports.hpp"

#include <algorithm>

#include "common/error.hpp"

namespace tarvek {

namespace {

// Export directory fields.
constexpr size_t export_directory_size = 40, number_of_functions = 20, number_of_names = 24,
                 address_of_functions = 28, address_of_names = 32, address_of_name_ordinals = 36;
// More names than any library has: a damaged count.
constexpr uint32_t most_export_names = 1u << 20;
constexpr uint32_t longest_export_name = 4096;

tool_error broken_exports(const std::string &shown)
{
    return tool_error(shown + ": its export table points outside the file");
}

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

namespace {

// The export directory, or an empty span when the image has none.
std::span<const uint8_t> export_directory(const pe::headers &headers, std::span<const uint8_t> file,
                                          const std::string &shown)
{
    const uint8_t *optional = file.data() + headers.optional_offset;
    if (pe::u32(optional + pe::optional::number_of_rva_and_sizes) <= pe::directory::export_table)
        return {};
    const uint8_t *entry = optional + pe::optional::data_directories + 8 * pe::directory::export_table;
    const uint32_t rva = pe::u32(entry);
    if (rva == 0 || pe::u32(entry + 4) == 0)
        return {};
    std::span<const uint8_t> directory = pe_bytes_at(headers, file, rva, export_directory_size);
    if (directory.empty())
        throw broken_exports(shown);
    return directory;
}

// A table of `count` entries of `width` bytes at the address held at
// `field` of the directory.
std::span<const uint8_t> export_table(const pe::headers &headers, std::span<const uint8_t> file,
                                      std::span<const uint8_t> directory, size_t field, uint32_t count,
                                      uint32_t width, const std::string &shown)
{
    if (count > most_export_names)
        throw broken_exports(shown);
    std::span<const uint8_t> table = pe_bytes_at(headers, file, pe::u32(&directory[field]), count * width);
    if (count > 0 && table.empty())
        throw broken_exports(shown);
    return table;
}

} // namespace

std::vector<std::string> pe_export_names(const pe::headers &headers, std::span<const uint8_t> file,
                                         const std::string &shown)
{
    std::vector<std::string> names;
    std::span<const uint8_t> directory = export_directory(headers, file, shown);
    if (directory.empty())
        return names;
    const uint32_t count = pe::u32(&directory[number_of_names]);
    std::span<const uint8_t> pointers = export_table(headers, file, directory, address_of_names, count, 4, shown);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t name_rva = pe::u32(&pointers[4 * i]);
        std::string name;
        for (uint32_t k = 0;; ++k) {
            std::span<const uint8_t> byte = pe_bytes_at(headers, file, name_rva + k, 1);
            if (byte.empty() || k > longest_export_name)
                throw broken_exports(shown);
            if (byte[0] == 0)
                break;
            name += static_cast<char>(byte[0]);
        }
        names.push_back(std::move(name));
    }
    return names;
}

std::optional<uint32_t> pe_export_address(const pe::headers &headers, std::span<const uint8_t> file,
                                          const std::string &name, const std::string &shown)
{
    const std::vector<std::string> names = pe_export_names(headers, file, shown);
    auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end())
        return std::nullopt;
    // The name's ordinal, then the function's address at that ordinal.
    std::span<const uint8_t> directory = export_directory(headers, file, shown);
    const uint32_t index = static_cast<uint32_t>(found - names.begin());
    std::span<const uint8_t> ordinals = export_table(headers, file, directory, address_of_name_ordinals,
                                                     static_cast<uint32_t>(names.size()), 2, shown);
    const uint16_t ordinal = pe::u16(&ordinals[2 * index]);
    const uint32_t functions = pe::u32(&directory[number_of_functions]);
    if (ordinal >= functions)
        throw broken_exports(shown);
    std::span<const uint8_t> addresses =
        export_table(headers, file, directory, address_of_functions, functions, 4, shown);
    return pe::u32(&addresses[4 * ordinal]);
}

} // namespace tarvek
