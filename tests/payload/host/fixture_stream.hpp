// The payloads the launcher's tests need, written with the product's
// payload_file (tools/payload/payload_writer.hpp): any sequence of records,
// bytes outside any record and block ends, with or without the end marker,
// the contents made up or taken from files. Every source knows its size
// before it is read, so the whole stream's size is known before
// compression starts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "payload/payload_writer.hpp"

namespace tarvek {

struct byte_source {
    enum class kind {
        file,     // the bytes of `file`; `size` is its size when it was listed
        literal,  // the bytes of `literal`
        pattern,  // `size` bytes, byte i = i mod 251
        random,   // `size` bytes of splitmix64 output from `seed`, each value little-endian
    };
    kind type = kind::literal;
    std::filesystem::path file;
    std::string literal;
    uint64_t size = 0;
    uint64_t seed = 0;
};

byte_source file_source(const std::filesystem::path &file);
byte_source literal_source(std::string bytes);
byte_source pattern_source(uint64_t size);
byte_source random_source(uint64_t size, uint64_t seed);

uint64_t source_size(const byte_source &source);

// Hands the source's bytes to `sink` in pieces of at most `chunk` bytes.
// Throws tool_error when a file cannot be read or no longer has the size
// it had when it was listed.
void read_source(const byte_source &source, size_t chunk, const std::function<void(std::string_view)> &sink);

// One piece of the decompressed stream, in stream order.
struct stream_item {
    enum class kind {
        record,    // name, size, content
        raw,       // content bytes alone, outside any record
        block_end, // the compressed block ends here
    };
    kind type = kind::record;
    std::u16string name;
    byte_source content;
};

struct fixture_options {
    frame_options frame = {.checksum = false};
    // 0: the smallest power of two that holds the whole stream.
    unsigned window_log = 0;
    bool end_marker = true;
    // When not empty, the decompressed stream is also written here.
    std::filesystem::path stream_copy;
};

struct fixture_layout {
    stored_layout stored;
    uint64_t stream_size = 0;
    unsigned window_log = 0;
    // For each block_end item: the offset of the frame byte that follows it.
    std::vector<uint64_t> block_ends;
};

// Records of an application folder as items.
std::vector<stream_item> folder_items(const std::filesystem::path &folder);

// Writes the items as a payload to `output`. Throws tool_error.
fixture_layout write_fixture(const std::vector<stream_item> &items, const fixture_options &options,
                             const std::filesystem::path &output);

} // namespace tarvek
