#include "image/pe_format.hpp"

#include "common/error.hpp"

namespace tarvek::pe {

headers read_headers(std::span<const uint8_t> head, const std::string &shown)
{
    if (head.size() < dos_new_header_offset + 4 || head[0] != 'M' || head[1] != 'Z')
        throw tool_error(shown + ": not an executable image: no MZ header");
    headers h;
    size_t signature = u32(&head[dos_new_header_offset]);
    h.coff_offset = signature + signature_size;
    if (h.coff_offset + coff_header_size > head.size() || u32(&head[signature]) != 0x00004550)
        throw tool_error(shown + ": not a PE image: no PE signature where the MZ header points");
    const uint8_t *coff = &head[h.coff_offset];
    h.optional_offset = h.coff_offset + coff_header_size;
    size_t optional_size = u16(coff + coff::size_of_optional_header);
    if (optional_size < optional::size || h.optional_offset + optional_size > head.size() ||
        u16(&head[h.optional_offset]) != pe32_plus_magic)
        throw tool_error(shown + ": not a PE32+ image: no 64-bit optional header");
    size_t table = h.optional_offset + optional_size;
    size_t count = u16(coff + coff::number_of_sections);
    h.end = table + count * section_header_size;
    if (h.end > head.size())
        throw tool_error(shown + ": section table runs past the image headers");
    for (size_t i = 0; i < count; ++i) {
        const uint8_t *s = &head[table + i * section_header_size];
        section entry;
        size_t length = 0;
        while (length < 8 && s[length] != 0)
            ++length;
        entry.name.assign(reinterpret_cast<const char *>(s), length);
        entry.virtual_size = u32(s + section_field::virtual_size);
        entry.virtual_address = u32(s + section_field::virtual_address);
        entry.raw_size = u32(s + section_field::size_of_raw_data);
        entry.raw_offset = u32(s + section_field::pointer_to_raw_data);
        entry.characteristics = u32(s + section_field::characteristics);
        entry.header_offset = table + i * section_header_size;
        h.sections.push_back(entry);
    }
    return h;
}

} // namespace tarvek::pe
