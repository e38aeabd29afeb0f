#include "image/image_layout.hpp"

#include <cstdint>
#include <fstream>
#include <vector>

#include "common/error.hpp"
#include "common/utf.hpp"
#include "image/pe_format.hpp"

namespace tarvek {

namespace {

constexpr uint32_t page_size = 4096;

uint32_t round_up(uint32_t value, uint32_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

void copy_bytes(std::ifstream &in, std::ofstream &out, uint64_t count)
{
    std::vector<char> buffer(1 << 20);
    while (count > 0 && in) {
        auto chunk = static_cast<std::streamsize>(std::min<uint64_t>(count, buffer.size()));
        in.read(buffer.data(), chunk);
        out.write(buffer.data(), in.gcount());
        count -= static_cast<uint64_t>(in.gcount());
    }
    if (count != 0)
        throw tool_error("the linked image ends early");
}

} // namespace

void write_page_aligned_image(const std::filesystem::path &linked, const std::filesystem::path &output)
{
    std::ifstream in(linked, std::ios::binary);
    std::vector<uint8_t> head(pe::headers_read_size);
    in.read(reinterpret_cast<char *>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    pe::headers h = pe::read_headers(head, printable(linked.string()));
    uint8_t *optional = &head[h.optional_offset];
    uint32_t header_size = pe::u32(optional + pe::optional::size_of_headers);
    uint32_t file_alignment = pe::u32(optional + pe::optional::file_alignment);

    if (h.sections.size() < 2 || h.sections[0].name != ".text" || h.sections[1].name != ".rdata" ||
        h.sections[0].raw_offset != header_size ||
        h.sections[1].raw_offset != h.sections[0].raw_offset + h.sections[0].raw_size || header_size > page_size ||
        file_alignment != 512)
        throw tool_error("the linked image does not start with .text and .rdata as the launcher link expects");
    for (size_t index : {pe::directory::certificate, pe::directory::debug})
        if (pe::u32(optional + pe::optional::data_directories + 8 * index) != 0)
            throw tool_error("the linked image has a certificate or debug directory");

    // p bytes of padding move .rdata to a page boundary: x of them extend
    // .text's raw data up to the end of its last page, y extend the headers,
    // which end at the first section's page at the latest.
    const pe::section &text = h.sections[0];
    uint32_t padding = round_up(h.sections[1].raw_offset, page_size) - h.sections[1].raw_offset;
    uint32_t text_room = round_up(text.virtual_size, page_size) - text.raw_size;
    uint32_t text_padding = std::min(padding, text_room);
    uint32_t header_padding = padding - text_padding;
    if (header_size + header_padding > text.virtual_address)
        throw tool_error("the linked image leaves no room to align .rdata");

    pe::put_u32(optional + pe::optional::size_of_headers, header_size + header_padding);
    pe::put_u32(optional + pe::optional::size_of_code,
                pe::u32(optional + pe::optional::size_of_code) + text_padding);
    for (size_t i = 0; i < h.sections.size(); ++i) {
        uint8_t *entry = &head[h.sections[i].header_offset];
        if (i == 0)
            pe::put_u32(entry + pe::section_field::size_of_raw_data, text.raw_size + text_padding);
        uint32_t offset = h.sections[i].raw_offset;
        if (offset != 0)
            pe::put_u32(entry + pe::section_field::pointer_to_raw_data,
                        offset + (i == 0 ? header_padding : padding));
    }

    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(head.data()), header_size);
    out << std::string(header_padding, '\0');
    in.clear();
    in.seekg(header_size);
    copy_bytes(in, out, text.raw_size);
    out << std::string(text_padding, '\0');
    std::vector<char> buffer(1 << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        out.write(buffer.data(), in.gcount());
    }
    out.close();
    if (in.bad() || !out)
        throw tool_error("cannot write '" + output.string() + "'");
}

} // namespace tarvek
