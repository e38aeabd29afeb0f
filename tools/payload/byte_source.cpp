#include "payload/byte_source.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "common/error.hpp"

namespace tarvek {

byte_source file_source(const std::filesystem::path &file)
{
    std::error_code error;
    uint64_t size = std::filesystem::file_size(file, error);
    if (error)
        throw tool_error("cannot read '" + file.string() + "': " + error.message());
    return {byte_source::kind::file, file, {}, size, 0};
}

byte_source literal_source(std::string bytes)
{
    uint64_t size = bytes.size();
    return {byte_source::kind::literal, {}, std::move(bytes), size, 0};
}

byte_source pattern_source(uint64_t size)
{
    return {byte_source::kind::pattern, {}, {}, size, 0};
}

byte_source random_source(uint64_t size, uint64_t seed)
{
    return {byte_source::kind::random, {}, {}, size, seed};
}

uint64_t source_size(const byte_source &source)
{
    return source.type == byte_source::kind::literal ? source.literal.size() : source.size;
}

namespace {

uint64_t splitmix64(uint64_t &state)
{
    uint64_t z = state += 0x9E3779B97F4A7C15u;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

void read_file(const byte_source &source, std::vector<char> &buffer,
               const std::function<void(std::string_view)> &sink)
{
    const std::string name = source.file.string();
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(name.c_str(), "rb"), std::fclose);
    if (!file)
        throw tool_error("cannot read '" + name + "': " + std::strerror(errno));
    uint64_t total = 0;
    for (;;) {
        size_t n = std::fread(buffer.data(), 1, buffer.size(), file.get());
        if (n > 0) {
            total += n;
            if (total > source.size)
                break;
            sink(std::string_view(buffer.data(), n));
        }
        if (n < buffer.size()) {
            if (std::ferror(file.get()))
                throw tool_error("cannot read '" + name + "': " + std::strerror(errno));
            break;
        }
    }
    if (total != source.size)
        throw tool_error("'" + name + "' changed its size while it was being stored");
}

// Pattern and random bytes, produced a chunk at a time.
void generate(const byte_source &source, std::vector<char> &buffer,
              const std::function<void(std::string_view)> &sink)
{
    uint64_t state = source.seed;
    uint64_t value = 0;
    for (uint64_t offset = 0; offset < source.size;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), source.size - offset));
        for (size_t i = 0; i < n; ++i) {
            uint64_t at = offset + i;
            if (source.type == byte_source::kind::pattern) {
                buffer[i] = static_cast<char>(at % 251);
            } else {
                if (at % 8 == 0)
                    value = splitmix64(state);
                buffer[i] = static_cast<char>(value >> (8 * (at % 8)));
            }
        }
        sink(std::string_view(buffer.data(), n));
        offset += n;
    }
}

} // namespace

void read_source(const byte_source &source, size_t chunk,
                 const std::function<void(std::string_view)> &sink)
{
    if (source.type == byte_source::kind::literal) {
        std::string_view rest = source.literal;
        for (; !rest.empty(); rest.remove_prefix(std::min(chunk, rest.size())))
            sink(rest.substr(0, chunk));
        return;
    }
    std::vector<char> buffer(chunk);
    if (source.type == byte_source::kind::file)
        read_file(source, buffer, sink);
    else
        generate(source, buffer, sink);
}

} // namespace tarvek
