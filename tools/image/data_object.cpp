#include "image/data_object.hpp"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>

#include "common/error.hpp"
#include "image/pe_format.hpp"

namespace tarvek {

namespace {

constexpr uint16_t machine_amd64 = 0x8664;
// Initialised data, readable, 4096-byte aligned.
constexpr uint32_t rdata_characteristics = 0x40000040 | 0x00D00000;
constexpr uint8_t storage_class_external = 2;
constexpr size_t data_start = pe::coff_header_size + pe::section_header_size;

struct symbol {
    std::string name;
    uint32_t offset;
};

std::string u16_bytes(uint16_t v)
{
    uint8_t b[2];
    pe::put_u16(b, v);
    return std::string(reinterpret_cast<char *>(b), 2);
}

std::string u32_bytes(uint32_t v)
{
    uint8_t b[4];
    pe::put_u32(b, v);
    return std::string(reinterpret_cast<char *>(b), 4);
}

// The symbol table and the string table that holds names of more than 8
// bytes.
std::string symbol_tables(const std::vector<symbol> &symbols)
{
    std::string table, strings;
    for (const symbol &s : symbols) {
        if (s.name.size() <= 8) {
            table += s.name + std::string(8 - s.name.size(), '\0');
        } else {
            table += u32_bytes(0) + u32_bytes(static_cast<uint32_t>(4 + strings.size()));
            strings += s.name + '\0';
        }
        table += u32_bytes(s.offset) + u16_bytes(1) + u16_bytes(0);
        table += static_cast<char>(storage_class_external);
        table += '\0'; // no auxiliary records
    }
    return table + u32_bytes(static_cast<uint32_t>(4 + strings.size())) + strings;
}

void copy_file_into(std::ofstream &out, const std::filesystem::path &file, uint64_t expected)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw tool_error("cannot read the stored payload '" + file.string() + "'");
    std::vector<char> buffer(1 << 20);
    uint64_t copied = 0;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        out.write(buffer.data(), in.gcount());
        copied += static_cast<uint64_t>(in.gcount());
    }
    if (in.bad() || copied != expected)
        throw tool_error("the stored payload '" + file.string() + "' changed while it was read");
}

} // namespace

void write_data_object(const std::filesystem::path &output, const std::filesystem::path &stored_payload,
                       const std::vector<data_text> &texts)
{
    std::error_code error;
    uint64_t payload_size = std::filesystem::file_size(stored_payload, error);
    if (error)
        throw tool_error("cannot read the stored payload '" + stored_payload.string() + "': " + error.message());

    // After the payload: its length, then the texts.
    uint64_t length_offset = (payload_size + 7) / 8 * 8;
    std::string tail(length_offset - payload_size, '\0');
    tail += u32_bytes(static_cast<uint32_t>(payload_size)) + u32_bytes(static_cast<uint32_t>(payload_size >> 32));
    std::vector<symbol> symbols = {{"tarvek_payload", 0}, {"tarvek_payload_length", 0}};
    for (const data_text &t : texts) {
        symbols.push_back({t.symbol, 0});
        for (char16_t unit : t.text + u'\0')
            tail += u16_bytes(unit);
    }
    // The tail starts with the padding up to length_offset.
    uint64_t section_size = payload_size + tail.size();
    uint64_t symbols_at = data_start + section_size;
    if (symbols_at > std::numeric_limits<uint32_t>::max())
        throw tool_error("the stored payload '" + stored_payload.string() + "' (" + std::to_string(payload_size) +
                          " bytes) is too large for one image");
    symbols[1].offset = static_cast<uint32_t>(length_offset);
    uint64_t at = length_offset + 8;
    for (size_t i = 0; i < texts.size(); ++i) {
        symbols[2 + i].offset = static_cast<uint32_t>(at);
        at += 2 * (texts[i].text.size() + 1);
    }

    std::string head = u16_bytes(machine_amd64) + u16_bytes(1) + u32_bytes(0) +
                       u32_bytes(static_cast<uint32_t>(symbols_at)) +
                       u32_bytes(static_cast<uint32_t>(symbols.size())) + u16_bytes(0) + u16_bytes(0);
    std::string section = std::string(".rdata\0\0", 8) + u32_bytes(0) + u32_bytes(0) +
                          u32_bytes(static_cast<uint32_t>(section_size)) + u32_bytes(data_start) + u32_bytes(0) +
                          u32_bytes(0) + u16_bytes(0) + u16_bytes(0) + u32_bytes(rdata_characteristics);

    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out << head << section;
    copy_file_into(out, stored_payload, payload_size);
    out << tail << symbol_tables(symbols);
    out.close();
    if (!out)
        throw tool_error("cannot write '" + output.string() + "'");
}

} // namespace tarvek
