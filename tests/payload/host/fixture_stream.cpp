#include "fixture_stream.hpp"

#include <algorithm>
#include <fstream>
#include <memory>
#include <vector>

#include "common/error.hpp"
#include "common/utf.hpp"
#include "payload/folder_records.hpp"

namespace tarvek {

byte_source file_source(const std::filesystem::path &file)
{
    std::error_code error;
    uint64_t size = std::filesystem::file_size(file, error);
    if (error)
        throw tool_error("cannot read '" + printable(file.string()) + "': " + error.message());
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
    if (source.type == byte_source::kind::file) {
        read_file_pieces(source.file, source.size, sink);
        return;
    }
    std::vector<char> buffer(chunk);
    generate(source, buffer, sink);
}

std::vector<stream_item> folder_items(const std::filesystem::path &folder)
{
    std::vector<stream_item> items;
    for (const payload_record &record : folder_records(folder))
        items.push_back({stream_item::kind::record, record.name, {byte_source::kind::file, record.file, {}, record.size, 0}});
    return items;
}

namespace {

constexpr size_t copy_chunk = 1 << 20;

uint64_t stream_size(const std::vector<stream_item> &items, bool end_marker)
{
    uint64_t size = end_marker ? tarvek::end_marker().size() : 0;
    for (const stream_item &item : items) {
        if (item.type == stream_item::kind::record)
            size += record_header(item.name, 0).size();
        if (item.type != stream_item::kind::block_end)
            size += source_size(item.content);
    }
    return size;
}

// Writes the stream to `sink` as the payload file compresses it.
class stream_copy {
public:
    explicit stream_copy(const std::filesystem::path &path)
    {
        if (!path.empty())
            out_.open(path, std::ios::binary | std::ios::trunc);
        if (!path.empty() && !out_)
            throw tool_error("cannot write '" + printable(path.string()) + "'");
        path_ = path;
    }
    void write(std::string_view bytes)
    {
        if (out_.is_open())
            out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    void close()
    {
        if (!out_.is_open())
            return;
        out_.close();
        if (!out_)
            throw tool_error("cannot write '" + printable(path_.string()) + "'");
    }

private:
    std::ofstream out_;
    std::filesystem::path path_;
};

} // namespace

fixture_layout write_fixture(const std::vector<stream_item> &items, const fixture_options &options,
                             const std::filesystem::path &output)
{
    fixture_layout layout;
    layout.stream_size = stream_size(items, options.end_marker);
    layout.window_log = options.window_log != 0 ? options.window_log : smallest_window_log(layout.stream_size);
    payload_file file(output, options.frame, layout.window_log);
    stream_copy copy(options.stream_copy);
    auto feed = [&](std::string_view bytes) {
        file.feed(bytes);
        copy.write(bytes);
    };
    for (const stream_item &item : items) {
        switch (item.type) {
        case stream_item::kind::record:
            feed(record_header(item.name, source_size(item.content)));
            read_source(item.content, copy_chunk, feed);
            break;
        case stream_item::kind::raw:
            read_source(item.content, copy_chunk, feed);
            break;
        case stream_item::kind::block_end:
            layout.block_ends.push_back(file.end_block());
            break;
        }
    }
    if (options.end_marker)
        feed(end_marker());
    layout.stored = file.finish();
    copy.close();
    return layout;
}

} // namespace tarvek
