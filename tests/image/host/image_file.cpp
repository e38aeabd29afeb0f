#include "image_file.hpp"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "common/error.hpp"

namespace tarvek::check {

const pe::section *image_file::section(const std::string &name) const
{
    for (const pe::section &s : headers.sections)
        if (s.name == name)
            return &s;
    return nullptr;
}

const pe::section *image_file::section_at(uint32_t rva) const
{
    for (const pe::section &s : headers.sections)
        if (rva >= s.virtual_address && rva - s.virtual_address < s.virtual_size)
            return &s;
    return nullptr;
}

const uint8_t *image_file::at(uint32_t rva, size_t size) const
{
    const pe::section *s = section_at(rva);
    if (s == nullptr)
        return nullptr;
    uint64_t offset = rva - s->virtual_address;
    if (offset + size > s->raw_size || offset + size > s->virtual_size ||
        uint64_t(s->raw_offset) + offset + size > bytes.size())
        return nullptr;
    return &bytes[s->raw_offset + offset];
}

bool image_file::inside(uint32_t rva, uint64_t size, const std::string &name) const
{
    const pe::section *s = section(name);
    return s != nullptr && rva >= s->virtual_address && rva + size <= uint64_t(s->virtual_address) + s->virtual_size;
}

std::optional<std::string> image_file::text_at(uint32_t rva) const
{
    std::string text;
    for (;; ++rva) {
        const uint8_t *c = at(rva, 1);
        if (c == nullptr || text.size() > 4096)
            return std::nullopt;
        if (*c == 0)
            return text;
        text += static_cast<char>(*c);
    }
}

uint32_t image_file::directory_rva(size_t index) const
{
    return pe::u32(optional() + pe::optional::data_directories + 8 * index);
}

uint32_t image_file::directory_size(size_t index) const
{
    return pe::u32(optional() + pe::optional::data_directories + 8 * index + 4);
}

image_file read_image(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw tool_error("cannot read '" + path.string() + "'");
    image_file image;
    image.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    image.headers = pe::read_headers(image.bytes, path.string());
    return image;
}

std::map<std::string, std::vector<std::string>> read_allowed_imports(const std::filesystem::path &path)
{
    std::ifstream in(path);
    if (!in)
        throw tool_error("cannot read the allowed import table '" + path.string() + "'");
    std::map<std::string, std::vector<std::string>> table;
    for (std::string line; std::getline(in, line);) {
        line = line.substr(0, line.find('#'));
        std::string library, function, extra;
        std::istringstream words(line);
        words >> library >> function >> extra;
        if (library.empty())
            continue;
        if (function.empty() || !extra.empty())
            throw tool_error("allowed import table: '" + line + "' is not 'LIBRARY FUNCTION'");
        table[library].push_back(function);
    }
    return table;
}

bool report::expect(bool ok, const std::string &item, const std::string &detail)
{
    ++checked_;
    if (!ok) {
        ++failed_;
        std::printf("FAIL: %s%s%s\n", item.c_str(), detail.empty() ? "" : ": ", detail.c_str());
    }
    return ok;
}

void report::note(const std::string &text)
{
    std::printf("note: %s\n", text.c_str());
}

std::string hex(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

} // namespace tarvek::check
